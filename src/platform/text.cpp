#include "platform/text.h"

#ifndef _WIN32
#include <locale.h>
#include <wctype.h>
#endif

namespace cs::platform {

namespace {

// Length of the valid UTF-8 sequence starting at s[i], or 0 when the bytes
// there are not one (overlong forms, surrogates and values above U+10FFFF
// are invalid, so the mapping back is unique).
size_t ValidSequence(std::string_view s, size_t i, char32_t& cp) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    size_t len;
    char32_t min;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2;
        cp = b0 & 0x1F;
        min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3;
        cp = b0 & 0x0F;
        min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4;
        cp = b0 & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (i + len > s.size())
        return 0;
    for (size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

}  // namespace

std::u16string Utf8ToUtf16Lossless(std::string_view bytes) {
    // Nearly every name and path is ASCII, converted once per file listed
    // and once per file read: that run goes across without the per-unit
    // checks and appends.
    size_t ascii = 0;
    while (ascii < bytes.size() && static_cast<unsigned char>(bytes[ascii]) < 0x80)
        ++ascii;
    std::u16string out(ascii, u'\0');
    for (size_t k = 0; k < ascii; ++k)
        out[k] = static_cast<char16_t>(bytes[k]);
    if (ascii == bytes.size())
        return out;
    out.reserve(bytes.size());
    size_t i = ascii;
    while (i < bytes.size()) {
        char32_t cp;
        const size_t len = ValidSequence(bytes, i, cp);
        if (len == 0) {
            out.push_back(static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(bytes[i])));
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += len;
    }
    return out;
}

std::string Utf16ToUtf8Lossless(std::u16string_view text) {
    size_t ascii = 0;
    while (ascii < text.size() && text[ascii] < 0x80)
        ++ascii;
    std::string out(ascii, '\0');
    for (size_t k = 0; k < ascii; ++k)
        out[k] = static_cast<char>(text[k]);
    if (ascii == text.size())
        return out;
    out.reserve(text.size() + (text.size() - ascii) * 2);
    auto put = [&out](char32_t cp) {
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    };
    for (size_t i = ascii; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            put(0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (c >= 0xDC80 && c <= 0xDCFF) {
            out.push_back(static_cast<char>(c - 0xDC00));
        } else {
            put(c);
        }
    }
    return out;
}

#ifdef _WIN32
NativeString ToNative(std::u16string_view text) {
    return NativeString(text.begin(), text.end());
}
std::u16string FromNative(const NativeString& text) {
    return std::u16string(text.begin(), text.end());
}
#else
NativeString ToNative(std::u16string_view text) {
    return Utf16ToUtf8Lossless(text);
}
std::u16string FromNative(const NativeString& text) {
    return Utf8ToUtf16Lossless(text);
}
#endif

std::u16string JoinPath(std::u16string_view folder, std::u16string_view name) {
    std::u16string out;
    out.reserve(folder.size() + 1 + name.size());
    out.append(folder);
    if (out.empty() || out.back() != kPathSeparator)
        out.push_back(kPathSeparator);
    out.append(name);
    return out;
}

std::u16string StripTrailingSeparators(std::u16string_view path) {
    auto isSep = [](char16_t c) {
#ifdef _WIN32
        return c == u'\\' || c == u'/';
#else
        return c == u'/';
#endif
    };
    size_t end = path.size();
    while (end > 0 && isSep(path[end - 1]))
        --end;
#ifndef _WIN32
    if (end == 0 && !path.empty())
        return u"/";
#endif
    return std::u16string(path.substr(0, end));
}

#ifndef _WIN32

namespace {

// C.UTF-8 carries Unicode's simple case mappings and nothing of a language's
// rules (no Turkish dotted I), and a locale object of its own keeps the
// process locale, which another thread may change, out of it. glibc ships it
// (Debian: in libc-bin). Without it only ASCII letters are upper-cased.
locale_t CaseLocale() {
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    return locale;
}

}  // namespace

char16_t UpperCaseCodeUnit(char16_t c) {
    if (c < 0x80)
        return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c;
    // Half of a surrogate pair, or a byte that was not UTF-8: NTFS compares
    // code units, and leaves these as they are.
    if (c >= 0xD800 && c <= 0xDFFF)
        return c;
    const locale_t locale = CaseLocale();
    if (locale == static_cast<locale_t>(0))
        return c;
    const wint_t upper = towupper_l(static_cast<wint_t>(c), locale);
    return upper <= 0xFFFF ? static_cast<char16_t>(upper) : c;
}

std::u16string UpperCaseForOrder(std::u16string_view name) {
    std::u16string out(name);
    for (char16_t& c : out)
        c = UpperCaseCodeUnit(c);
    return out;
}

#endif

}  // namespace cs::platform
