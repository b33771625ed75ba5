#include "results/list_text.h"

#include <cwctype>

#include "engine/strings.h"
#include "platform/text.h"

namespace cs::results {

char16_t LowerChar(char16_t c) {
    // Surrogate halves are not characters of their own; towlower must not
    // see them as such.
    if (c >= 0xD800 && c <= 0xDFFF)
        return c;
    return static_cast<char16_t>(std::towlower(static_cast<wint_t>(c)));
}

bool EqualsLowered(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerChar(a[i]) != LowerChar(b[i]))
            return false;
    return true;
}

bool LessLowered(std::u16string_view a, std::u16string_view b) {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        const char16_t x = LowerChar(a[i]);
        const char16_t y = LowerChar(b[i]);
        if (x != y)
            return x < y;
    }
    return false;
}

bool ContainsLowered(std::u16string_view text, std::u16string_view pattern) {
    if (pattern.empty())
        return true;
    if (pattern.size() > text.size())
        return false;
    for (size_t start = 0; start + pattern.size() <= text.size(); ++start) {
        size_t i = 0;
        while (i < pattern.size() && LowerChar(text[start + i]) == LowerChar(pattern[i]))
            ++i;
        if (i == pattern.size())
            return true;
    }
    return false;
}

std::u16string ParentFolder(std::u16string_view path) {
    constexpr char16_t sep = platform::kPathSeparator;
    size_t end = path.size();
    while (end > 0 && path[end - 1] == sep)
        --end;
    const std::u16string_view trimmed = path.substr(0, end);
    const size_t last = trimmed.rfind(sep);
    if (last == std::u16string_view::npos)
        return std::u16string(trimmed);
#ifndef _WIN32
    if (last == 0)
        return u"/";
#endif
    if (last + 1 > 2)
        return std::u16string(trimmed.substr(0, last));
    return std::u16string(trimmed);
}

bool SameFolder(std::u16string_view a, std::u16string_view b) {
#ifdef _WIN32
    return EqualsLowered(a, b);
#else
    return a == b;
#endif
}

std::u16string NameForPath(std::u16string_view path) {
    return std::u16string(engine::NameOfPath(path, platform::kPathSeparator));
}

}  // namespace cs::results
