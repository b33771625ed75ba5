#include "engine/strings.h"

namespace cs::engine {

std::u16string FoldAsciiCopy(std::u16string_view text) {
    std::u16string out(text);
    for (char16_t& c : out)
        c = FoldAscii(c);
    return out;
}

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i] && FoldAscii(a[i]) != FoldAscii(b[i]))
            return false;
    }
    return true;
}

namespace {

bool MatchesAt(std::u16string_view hay, size_t at, std::u16string_view needle, bool caseSensitive) {
    for (size_t k = 0; k < needle.size(); ++k) {
        const char16_t a = hay[at + k];
        const char16_t b = needle[k];
        if (a == b)
            continue;
        if (caseSensitive || FoldAscii(a) != FoldAscii(b))
            return false;
    }
    return true;
}

}  // namespace

size_t FindText(std::u16string_view haystack, std::u16string_view needle, bool caseSensitive,
                int occurrence, size_t start, size_t lengthLimit) {
    if (lengthLimit > 0 && lengthLimit < haystack.size())
        haystack = haystack.substr(0, lengthLimit);
    if (haystack.empty() || needle.empty() || needle.size() > haystack.size() || occurrence == 0) {
        return 0;
    }
    const size_t last = haystack.size() - needle.size();  // last 0-based start
    if (start < 1)
        start = 1;
    const size_t from = start - 1;
    if (occurrence > 0) {
        int seen = 0;
        for (size_t i = from; i <= last; ++i) {
            if (MatchesAt(haystack, i, needle, caseSensitive) && ++seen == occurrence)
                return i + 1;
        }
        return 0;
    }
    int seen = 0;
    for (size_t i = last + 1; i-- > from;) {
        if (MatchesAt(haystack, i, needle, caseSensitive) && --seen == occurrence)
            return i + 1;
    }
    return 0;
}

std::u16string ReplaceAll(std::u16string_view text, std::u16string_view find,
                          std::u16string_view replacement) {
    if (find.empty())
        return std::u16string(text);
    std::u16string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        if (text.size() - i >= find.size() && text.compare(i, find.size(), find) == 0) {
            out.append(replacement);
            i += find.size();
        } else {
            out.push_back(text[i++]);
        }
    }
    return out;
}

std::u16string RemoveWhitespace(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (char16_t c : text) {
        if (c != u'\t' && c != u'\n' && c != u'\r' && c != u' ')
            out.push_back(c);
    }
    return out;
}

std::u16string_view ExtensionOf(std::u16string_view name) {
    const size_t dot = name.rfind(u'.');
    if (dot == std::u16string_view::npos || dot == 0)
        return {};
    return name.substr(dot + 1);
}

std::u16string_view NameOfPath(std::u16string_view path, char16_t separator) {
    const size_t sep = path.rfind(separator);
    if (sep == std::u16string_view::npos)
        return path;  // a bare drive is its own name
    return path.substr(sep + 1);
}

}  // namespace cs::engine
