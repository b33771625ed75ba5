// String helpers, the type-filter extension, and the name keys that decide
// name matches (copy-marker normalisation through 16-bit PCRE2).
#include <gtest/gtest.h>

#include <string>

#include "engine/names.h"
#include "engine/options.h"
#include "engine/strings.h"
#include "support/reference_scan.h"

namespace cs::engine {
namespace {

using test::Utf8;

TEST(Strings, EqualsNoCaseFoldsOnlyAsciiLetters) {
    EXPECT_TRUE(EqualsNoCase(u"Photos.JPG", u"photos.jpg"));
    EXPECT_TRUE(EqualsNoCase(u"AZ", u"az"));
    EXPECT_TRUE(EqualsNoCase(u"", u""));
    EXPECT_FALSE(EqualsNoCase(u"abc", u"abcd"));
    EXPECT_FALSE(EqualsNoCase(u"abc", u"abd"));
    // Neighbours of the letter ranges: a fold by "| 0x20" would equate these.
    EXPECT_FALSE(EqualsNoCase(u"@", u"`"));
    EXPECT_FALSE(EqualsNoCase(u"[", u"{"));
    EXPECT_FALSE(EqualsNoCase(u"^", u"~"));
    // Letters outside ASCII keep their case: no Unicode folding.
    EXPECT_FALSE(EqualsNoCase(u"\u00C9t\u00E9", u"\u00E9t\u00E9"));  // Été / été
    EXPECT_FALSE(EqualsNoCase(u"\u0416", u"\u0436"));                // Ж / ж
    EXPECT_FALSE(EqualsNoCase(u"\u212A", u"k"));                     // Kelvin sign
    EXPECT_TRUE(EqualsNoCase(u"\u0416A", u"\u0416a"));
}

TEST(Strings, FoldAsciiCopyAgreesWithEqualsNoCase) {
    EXPECT_EQ(FoldAsciiCopy(u"AbZ@[`{\u00C9"), u"abz@[`{\u00C9");
    const std::u16string samples[] = {u"Photos",      u"PHOTOS",  u"photos", u"Ph\u00D6tos",
                                      u"ph\u00F6tos", u"Photos ", u"@hotos", u"`hotos"};
    for (const auto& a : samples) {
        for (const auto& b : samples) {
            EXPECT_EQ(EqualsNoCase(a, b), FoldAsciiCopy(a) == FoldAsciiCopy(b))
                << Utf8(a) << " / " << Utf8(b);
        }
    }
}

TEST(Strings, FindTextForwardWithOccurrenceAndStart) {
    const std::u16string h = u"abcabcabc";
    EXPECT_EQ(FindText(h, u"bc", true), 2u);
    EXPECT_EQ(FindText(h, u"bc", true, 2), 5u);
    EXPECT_EQ(FindText(h, u"bc", true, 3), 8u);
    EXPECT_EQ(FindText(h, u"bc", true, 4), 0u);
    EXPECT_EQ(FindText(h, u"abc", true, 1, 2), 4u);  // at or after position 2
    EXPECT_EQ(FindText(h, u"abc", true, 1, 4), 4u);  // a match at the start itself counts
    EXPECT_EQ(FindText(h, u"abc", true, 2, 2), 7u);
    EXPECT_EQ(FindText(h, u"abc", true, 1, 8), 0u);
    EXPECT_EQ(FindText(h, u"c", true, 1, 9), 9u);
    EXPECT_EQ(FindText(u"x", u"x", true), 1u);
}

TEST(Strings, FindTextBackwardFindsTheLastSeparator) {
    EXPECT_EQ(FindText(u"C:\\a\\bb\\c.txt", u"\\", true, -1), 8u);
    EXPECT_EQ(FindText(u"C:\\a\\bb\\c.txt", u"\\", true, -2), 5u);
    EXPECT_EQ(FindText(u"C:\\a\\bb\\c.txt", u"\\", true, -3), 3u);
    EXPECT_EQ(FindText(u"C:\\a\\bb\\c.txt", u"\\", true, -4), 0u);
    EXPECT_EQ(FindText(u"abcabc", u"ABC", false, -1), 4u);
}

TEST(Strings, FindTextCaseModesAndLimits) {
    EXPECT_EQ(FindText(u"|jpg|png|", u"|PNG|", false), 5u);
    EXPECT_EQ(FindText(u"|jpg|png|", u"|PNG|", true), 0u);
    EXPECT_EQ(FindText(u"x\u00C9y", u"\u00E9", false), 0u);  // no non-ASCII folding
    EXPECT_EQ(FindText(u"x@y", u"`", false), 0u);
    EXPECT_EQ(FindText(u"", u"a", true), 0u);
    EXPECT_EQ(FindText(u"abc", u"", true), 0u);
    EXPECT_EQ(FindText(u"ab", u"abc", true), 0u);
    // The length limit cuts the haystack: a match straddling it is no match.
    EXPECT_EQ(FindText(u"abcabc", u"bc", true, 1, 3, 6), 5u);
    EXPECT_EQ(FindText(u"abcabc", u"bc", true, 1, 3, 5), 0u);
    EXPECT_EQ(FindText(u"abcabc", u"bc", true, 1, 1, 3), 2u);
}

TEST(Strings, ReplaceAllDoesNotRescanReplacedText) {
    EXPECT_EQ(ReplaceAll(u"a,b,,c", u",", u"|"), u"a|b||c");
    EXPECT_EQ(ReplaceAll(u"aaa", u"a", u"aa"), u"aaaaaa");
    EXPECT_EQ(ReplaceAll(u"aab", u"ab", u"b"), u"ab");
    EXPECT_EQ(ReplaceAll(u"aaaa", u"aa", u"a"), u"aa");
    EXPECT_EQ(ReplaceAll(u".N.E.F", u".", u""), u"NEF");
    EXPECT_EQ(ReplaceAll(u"abab", u"ab", u""), u"");
    EXPECT_EQ(ReplaceAll(u"none here", u"x", u"y"), u"none here");
    EXPECT_EQ(ReplaceAll(u"", u"x", u"y"), u"");
    EXPECT_EQ(ReplaceAll(u"Ab", u"a", u"x"), u"Ab");  // case matters
}

TEST(Strings, RemoveWhitespaceDeletesOnlyTheFourCharacters) {
    EXPECT_EQ(RemoveWhitespace(u" a\tb\nc\rd e "), u"abcde");
    // Vertical tab, form feed and no-break space are not among them.
    EXPECT_EQ(RemoveWhitespace(u"a\vb\fc\u00A0d"), u"a\vb\fc\u00A0d");
    EXPECT_EQ(RemoveWhitespace(u" \t\r\n"), u"");
}

TEST(Strings, ExtensionOfIgnoresALeadingDot) {
    EXPECT_EQ(ExtensionOf(u"photo.jpg"), u"jpg");
    EXPECT_EQ(ExtensionOf(u"archive.tar.gz"), u"gz");
    EXPECT_EQ(ExtensionOf(u".bashrc"), u"");
    EXPECT_EQ(ExtensionOf(u".config.json"), u"json");
    EXPECT_EQ(ExtensionOf(u"..x"), u"x");  // the second dot is at index 1
    EXPECT_EQ(ExtensionOf(u"name."), u"");
    EXPECT_EQ(ExtensionOf(u"README"), u"");
    EXPECT_EQ(ExtensionOf(u"a.JPG"), u"JPG");
    EXPECT_EQ(ExtensionOf(u""), u"");
}

TEST(Strings, NameOfPath) {
    EXPECT_EQ(NameOfPath(u"/home/u/a.txt", u'/'), u"a.txt");
    EXPECT_EQ(NameOfPath(u"C:\\dir\\b", u'\\'), u"b");
    EXPECT_EQ(NameOfPath(u"C:", u'\\'), u"C:");
    EXPECT_EQ(NameOfPath(u"plain", u'/'), u"plain");
}

class NameKeys : public testing::Test {
protected:
    void SetUp() override {
        patterns.Compile();
        ASSERT_TRUE(patterns.HasFilePattern());
        ASSERT_TRUE(patterns.HasFolderPattern());
    }
    std::u16string Similar(std::u16string_view name) {
        return FileNameKey(CRIT_SIMILAR_NAME, name, patterns);
    }
    std::u16string Folder(std::u16string_view name) { return patterns.NormaliseFolderName(name); }

    NamePatterns patterns;
};

TEST_F(NameKeys, CopyMarkersAreStripped) {
    EXPECT_EQ(Similar(u"a - copy.jpg"), u"a.jpg");
    EXPECT_EQ(Similar(u"a (2).jpg"), u"a.jpg");
    EXPECT_EQ(Similar(u"a.jpg"), u"a.jpg");
    EXPECT_EQ(Similar(u"Holiday 2019 - Copy.JPG"), u"Holiday 2019.JPG");
    EXPECT_EQ(Similar(u"a (12) old.txt"), u"a.txt");
    EXPECT_EQ(Similar(u"a.b - copy.txt"), u"a.b.txt");
    EXPECT_EQ(Similar(u"\u00E9t\u00E9 (3).png"), u"\u00E9t\u00E9.png");
}

TEST_F(NameKeys, SimilarKeysMatchUnderAsciiFolding) {
    const std::u16string a = Similar(u"a.JPG");
    const std::u16string b = Similar(u"A (2).jpg");
    EXPECT_EQ(a, u"a.JPG");
    EXPECT_EQ(b, u"A.jpg");
    EXPECT_TRUE(EqualsNoCase(a, b));
    EXPECT_TRUE(EqualsNoCase(Similar(u"a - copy.jpg"), Similar(u"a.jpg")));
    EXPECT_FALSE(EqualsNoCase(Similar(u"\u00C9 (2).jpg"), Similar(u"\u00E9.jpg")));
}

TEST_F(NameKeys, SeveralMarkersKeepThePartBeforeTheFirst) {
    EXPECT_EQ(Similar(u"a - b - c.jpg"), u"a.jpg");
    EXPECT_EQ(Similar(u"a (2) - copy.jpg"), u"a.jpg");
    EXPECT_EQ(Similar(u"a - copy (2).jpg"), u"a.jpg");
    // The extension kept is the last one.
    EXPECT_EQ(Similar(u"a (2).tar.gz"), u"a.gz");
}

TEST_F(NameKeys, NameNotEndingInDotWordKeepsItsFullText) {
    EXPECT_EQ(Similar(u"a - copy"), u"a - copy");
    EXPECT_EQ(Similar(u"a (2)"), u"a (2)");
    EXPECT_EQ(Similar(u"a (2)."), u"a (2).");
    EXPECT_EQ(Similar(u"a (2).jp-g"), u"a (2).jp-g");
    // \w is ASCII only without UCP: a Cyrillic extension is no extension.
    EXPECT_EQ(Similar(u"a (2).\u0436\u043F\u0433"), u"a (2).\u0436\u043F\u0433");
    // Markers need their spaces.
    EXPECT_EQ(Similar(u"a-copy.jpg"), u"a-copy.jpg");
    EXPECT_EQ(Similar(u"a(2).jpg"), u"a(2).jpg");
    EXPECT_EQ(Similar(u"a (x).jpg"), u"a (x).jpg");
    EXPECT_EQ(Similar(u" - copy.jpg"), u" - copy.jpg");  // group 1 may not be empty
}

TEST_F(NameKeys, ExactAndExtensionKeys) {
    EXPECT_EQ(FileNameKey(CRIT_EXACT_NAME, u"a - copy.JPG", patterns), u"a - copy.JPG");
    EXPECT_EQ(FileNameKey(CRIT_SAME_EXTENSION, u"a - copy.JPG", patterns), u".JPG");
    EXPECT_EQ(FileNameKey(CRIT_SAME_EXTENSION, u"x.tar.gz", patterns), u".gz");
    EXPECT_EQ(FileNameKey(CRIT_SAME_EXTENSION, u"trailing.", patterns), u".");
    EXPECT_EQ(FileNameKey(CRIT_SAME_EXTENSION, u".bashrc", patterns), u"");
    EXPECT_EQ(FileNameKey(CRIT_SAME_EXTENSION, u"README", patterns), u"");
    EXPECT_EQ(FileNameKey(CRIT_SAME_EXTENSION, u"..x", patterns), u".x");
    EXPECT_TRUE(EqualsNoCase(FileNameKey(CRIT_SAME_EXTENSION, u"a.txt", patterns),
                             FileNameKey(CRIT_SAME_EXTENSION, u"b.TXT", patterns)));
    // Other flags beside the name criterion do not change the key.
    EXPECT_EQ(FileNameKey(CRIT_SIMILAR_NAME | CRIT_SAME_SIZE | CRIT_EXACT_CONTENTS | CRIT_RECURSIVE,
                          u"a (2).jpg", patterns),
              u"a.jpg");
    EXPECT_EQ(FileNameKey(CRIT_SAME_SIZE | CRIT_EXACT_CONTENTS, u"a (2).jpg", patterns), u"");
}

TEST_F(NameKeys, FolderKeysDropATrailingMarker) {
    EXPECT_EQ(Folder(u"Photos - old"), u"Photos");
    EXPECT_EQ(Folder(u"Photos (3) x"), u"Photos");
    EXPECT_EQ(Folder(u"Photos (3)"), u"Photos");
    EXPECT_EQ(Folder(u"Photos-old"), u"Photos-old");
    EXPECT_EQ(Folder(u"Photos"), u"Photos");
    EXPECT_EQ(Folder(u"Photos - old stuff"), u"Photos - old stuff");  // \w+ must reach the end
    EXPECT_EQ(Folder(u"Photos - 2019"), u"Photos");
    // Group 1 is greedy: only the last marker goes.
    EXPECT_EQ(Folder(u"Photos - old - new"), u"Photos - old");
    EXPECT_EQ(Folder(u"Photos (3) (4)"), u"Photos (3)");
    EXPECT_TRUE(EqualsNoCase(Folder(u"photos (2)"), Folder(u"Photos - Old")));
}

TEST(NameKeysUncompiled, AbsentPatternsLeaveNamesAlone) {
    NamePatterns none;
    EXPECT_FALSE(none.HasFilePattern());
    EXPECT_EQ(none.NormaliseFileName(u"a - copy.jpg"), u"a - copy.jpg");
    EXPECT_EQ(none.NormaliseFolderName(u"Photos - old"), u"Photos - old");
    EXPECT_EQ(FileNameKey(CRIT_SIMILAR_NAME, u"a (2).jpg", none), u"a (2).jpg");
}

}  // namespace
}  // namespace cs::engine
