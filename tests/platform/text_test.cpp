// Lossless UTF-8 <-> UTF-16 conversion and the path helpers.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "platform/text.h"

namespace cs::platform {
namespace {

std::string Bytes(std::initializer_list<unsigned> values) {
    std::string out;
    for (unsigned v : values)
        out.push_back(static_cast<char>(v));
    return out;
}

TEST(LosslessText, ValidUtf8ConvertsToItsCodePoints) {
    EXPECT_EQ(Utf8ToUtf16Lossless("plain.txt"), u"plain.txt");
    EXPECT_EQ(Utf8ToUtf16Lossless(Bytes({0xC3, 0xA9})), u"\u00E9");        // 2 bytes
    EXPECT_EQ(Utf8ToUtf16Lossless(Bytes({0xE2, 0x82, 0xAC})), u"\u20AC");  // 3 bytes
    EXPECT_EQ(Utf8ToUtf16Lossless(Bytes({0xEF, 0xBF, 0xBF})), u"\uFFFF");  // top of the BMP
    // 4-byte sequences become surrogate pairs, at both ends of the range.
    EXPECT_EQ(Utf8ToUtf16Lossless(Bytes({0xF0, 0x9F, 0x98, 0x80})), u"\U0001F600");
    EXPECT_EQ(Utf8ToUtf16Lossless(Bytes({0xF0, 0x90, 0x80, 0x80})), u"\U00010000");
    EXPECT_EQ(Utf8ToUtf16Lossless(Bytes({0xF4, 0x8F, 0xBF, 0xBF})), u"\U0010FFFF");
    EXPECT_EQ(Utf16ToUtf8Lossless(u"\U0001F600"), Bytes({0xF0, 0x9F, 0x98, 0x80}));
    EXPECT_EQ(Utf16ToUtf8Lossless(u"a\u00E9\u20AC"), Bytes({'a', 0xC3, 0xA9, 0xE2, 0x82, 0xAC}));
}

TEST(LosslessText, EveryHighByteAloneMapsToItsLoneSurrogateAndBack) {
    for (unsigned byte = 0x80; byte <= 0xFF; ++byte) {
        const std::string in = Bytes({'x', byte, 'y'});
        const std::u16string wide = Utf8ToUtf16Lossless(in);
        ASSERT_EQ(wide.size(), 3u) << byte;
        EXPECT_EQ(wide[1], static_cast<char16_t>(0xDC00 + byte)) << byte;
        EXPECT_EQ(Utf16ToUtf8Lossless(wide), in) << byte;
    }
}

TEST(LosslessText, MalformedSequencesBecomeOneSurrogatePerByte) {
    struct Case {
        const char* what;
        std::string bytes;
    };
    const Case cases[] = {
        {"overlong '/' in 2 bytes", Bytes({0xC0, 0xAF})},
        {"overlong NUL", Bytes({0xC0, 0x80})},
        {"overlong in 3 bytes", Bytes({0xE0, 0x80, 0xAF})},
        {"overlong in 4 bytes", Bytes({0xF0, 0x8F, 0xBF, 0xBF})},
        {"encoded high surrogate", Bytes({0xED, 0xA0, 0x80})},
        {"encoded low surrogate U+DC80", Bytes({0xED, 0xB2, 0x80})},
        {"above U+10FFFF", Bytes({0xF4, 0x90, 0x80, 0x80})},
        {"5-byte lead", Bytes({0xF8, 0x88, 0x80, 0x80, 0x80})},
        {"truncated at the end", Bytes({0xE2, 0x82})},
        {"lone continuation", Bytes({0x80})},
    };
    for (const Case& c : cases) {
        const std::u16string wide = Utf8ToUtf16Lossless(c.bytes);
        ASSERT_EQ(wide.size(), c.bytes.size()) << c.what;
        for (size_t i = 0; i < wide.size(); ++i) {
            EXPECT_EQ(wide[i], 0xDC00 + static_cast<unsigned char>(c.bytes[i])) << c.what;
        }
        EXPECT_EQ(Utf16ToUtf8Lossless(wide), c.bytes) << c.what;
    }
}

TEST(LosslessText, InvalidByteDoesNotSwallowTheValidSequenceAfterIt) {
    // The lead byte of a broken sequence is one invalid byte; decoding must
    // resume right after it, not after the length the lead promised.
    EXPECT_EQ(Utf8ToUtf16Lossless(Bytes({0xE2, 0xC3, 0xA9})), u"\xDCE2\u00E9");
    EXPECT_EQ(Utf8ToUtf16Lossless(Bytes({0xF0, 0x9F, 'a'})),
              u"\xDCF0\xDC9F"
              u"a");
    EXPECT_EQ(Utf8ToUtf16Lossless(Bytes({0xFF, 0xF0, 0x9F, 0x98, 0x80})), u"\xDCFF\U0001F600");
}

TEST(LosslessText, RandomByteStringsRoundTrip) {
    // Biased towards bytes that start or continue multi-byte sequences, so
    // valid, truncated and malformed sequences all occur often.
    std::mt19937 rng(20240601);
    const unsigned char alphabet[] = {'a',  '.',  0x80, 0x8F, 0x9F, 0xA0, 0xBF, 0xC0, 0xC2,
                                      0xDF, 0xE0, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF};
    std::uniform_int_distribution<size_t> pick(0, sizeof alphabet - 1);
    std::uniform_int_distribution<size_t> length(0, 24);
    for (int round = 0; round < 20000; ++round) {
        std::string in(length(rng), '\0');
        for (char& c : in)
            c = static_cast<char>(alphabet[pick(rng)]);
        ASSERT_EQ(Utf16ToUtf8Lossless(Utf8ToUtf16Lossless(in)), in) << "round " << round;
    }
}

TEST(LosslessText, NativeFormRoundTripsEveryName) {
#ifdef _WIN32
    // Windows names are UTF-16 already, lone surrogates included.
    const std::u16string name = u"a\xD800z\xDCFF\U0001F600";
    EXPECT_EQ(ToNative(name), std::wstring(L"a\xD800z\xDCFF\U0001F600"));
    EXPECT_EQ(FromNative(ToNative(name)), name);
#else
    const std::string bytes = Bytes({'n', 0xFF, 0xC3, 0xA9, 0xED, 0xA0, 0x80});
    EXPECT_EQ(ToNative(FromNative(bytes)), bytes);
    EXPECT_EQ(FromNative(bytes), u"n\xDCFF\u00E9\xDCED\xDCA0\xDC80");
#endif
}

TEST(PathText, JoinPathPutsOneSeparatorBetween) {
#ifdef _WIN32
    EXPECT_EQ(JoinPath(u"C:", u"a.txt"), u"C:\\a.txt");
    EXPECT_EQ(JoinPath(u"C:\\dir", u"a.txt"), u"C:\\dir\\a.txt");
    EXPECT_EQ(JoinPath(u"C:\\dir\\", u"a.txt"), u"C:\\dir\\a.txt");
#else
    EXPECT_EQ(JoinPath(u"/", u"etc"), u"/etc");
    EXPECT_EQ(JoinPath(u"/srv/data", u"a.txt"), u"/srv/data/a.txt");
    EXPECT_EQ(JoinPath(u"/srv/data/", u"a.txt"), u"/srv/data/a.txt");
    // A backslash is an ordinary name character on Linux.
    EXPECT_EQ(JoinPath(u"/srv/da\\", u"a"), u"/srv/da\\/a");
#endif
}

TEST(PathText, StripTrailingSeparators) {
    EXPECT_EQ(StripTrailingSeparators(u""), u"");
    EXPECT_EQ(StripTrailingSeparators(u"name"), u"name");
#ifdef _WIN32
    EXPECT_EQ(StripTrailingSeparators(u"C:\\"), u"C:");
    EXPECT_EQ(StripTrailingSeparators(u"C:\\dir\\\\"), u"C:\\dir");
    EXPECT_EQ(StripTrailingSeparators(u"C:/dir/"), u"C:/dir");
    EXPECT_EQ(StripTrailingSeparators(u"\\\\server\\share\\"), u"\\\\server\\share");
    EXPECT_EQ(StripTrailingSeparators(u"C:\\dir"), u"C:\\dir");
    // The stored drive root joins back into the paths the walk builds.
    EXPECT_EQ(JoinPath(StripTrailingSeparators(u"D:\\"), u"x"), u"D:\\x");
#else
    EXPECT_EQ(StripTrailingSeparators(u"/"), u"/");
    EXPECT_EQ(StripTrailingSeparators(u"///"), u"/");
    EXPECT_EQ(StripTrailingSeparators(u"/srv/data//"), u"/srv/data");
    EXPECT_EQ(StripTrailingSeparators(u"dir\\"), u"dir\\");
    EXPECT_EQ(JoinPath(StripTrailingSeparators(u"/"), u"x"), u"/x");
#endif
}

}  // namespace
}  // namespace cs::platform
