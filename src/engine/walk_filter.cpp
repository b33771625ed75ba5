#include "engine/walk_filter.h"

#include "platform/text.h"

namespace cs::engine {

namespace {

#ifdef _WIN32
constexpr bool kFoldCase = true;
constexpr bool kBackslashQuotes = false;
bool IsSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}
#else
constexpr bool kFoldCase = false;
constexpr bool kBackslashQuotes = true;
bool IsSeparator(char16_t c) {
    return c == u'/';
}
#endif

char16_t Fold(char16_t c) {
    if (kFoldCase && c >= u'A' && c <= u'Z')
        return static_cast<char16_t>(c - u'A' + u'a');
    return c;
}

bool SameChar(char16_t p, char16_t t) {
    if (IsSeparator(p))
        return IsSeparator(t);
    return Fold(p) == Fold(t);
}

// Matches a "[...]" set starting at pattern[at] (the '['); `end` receives
// the index after the ']'. A '[' without its ']' is a plain character.
bool MatchSet(std::u16string_view pattern, size_t at, char16_t c, size_t& end, bool& isSet) {
    size_t i = at + 1;
    const bool negate = i < pattern.size() && (pattern[i] == u'!' || pattern[i] == u'^');
    if (negate)
        ++i;
    bool found = false;
    bool first = true;
    while (i < pattern.size() && (first || pattern[i] != u']')) {
        first = false;
        char16_t low = pattern[i];
        if (kBackslashQuotes && low == u'\\' && i + 1 < pattern.size())
            low = pattern[++i];
        char16_t high = low;
        if (i + 2 < pattern.size() && pattern[i + 1] == u'-' && pattern[i + 2] != u']') {
            high = pattern[i + 2];
            i += 2;
        }
        if (Fold(c) >= Fold(low) && Fold(c) <= Fold(high))
            found = true;
        ++i;
    }
    if (i >= pattern.size()) {
        isSet = false;
        return false;
    }
    isSet = true;
    end = i + 1;
    return found != negate && !IsSeparator(c);
}

bool Match(std::u16string_view p, std::u16string_view t) {
    size_t pi = 0, ti = 0;
    while (pi < p.size()) {
        const char16_t c = p[pi];
        if (c == u'*') {
            const bool crossesSeparators = pi + 1 < p.size() && p[pi + 1] == u'*';
            size_t next = pi + 1;
            while (next < p.size() && p[next] == u'*')
                ++next;
            // "**/" also matches no folder at all: "a/**/b" takes "a/b".
            if (crossesSeparators && next < p.size() && IsSeparator(p[next]) &&
                Match(p.substr(next + 1), t.substr(ti)))
                return true;
            for (size_t k = ti;; ++k) {
                if (Match(p.substr(next), t.substr(k)))
                    return true;
                if (k >= t.size() || (!crossesSeparators && IsSeparator(t[k])))
                    return false;
            }
        }
        if (ti >= t.size())
            return false;
        if (c == u'?') {
            if (IsSeparator(t[ti]))
                return false;
            ++pi;
            ++ti;
            continue;
        }
        if (c == u'[') {
            size_t end = 0;
            bool isSet = false;
            const bool in = MatchSet(p, pi, t[ti], end, isSet);
            if (isSet) {
                if (!in)
                    return false;
                pi = end;
                ++ti;
                continue;
            }
        }
        char16_t literal = c;
        if (kBackslashQuotes && c == u'\\' && pi + 1 < p.size())
            literal = p[++pi];
        if (!SameChar(literal, t[ti]))
            return false;
        ++pi;
        ++ti;
    }
    return ti == t.size();
}

bool IsHidden(const platform::DirEntry& entry) {
#ifdef _WIN32
    return (entry.attributes & 0x2) != 0;  // FILE_ATTRIBUTE_HIDDEN
#else
    return !entry.name.empty() && entry.name[0] == u'.';
#endif
}

bool AnyMatches(const std::vector<std::u16string>& patterns, std::u16string_view name,
                std::u16string_view path) {
    for (const std::u16string& pattern : patterns)
        if (GlobMatches(pattern, name) || GlobMatches(pattern, path))
            return true;
    return false;
}

}  // namespace

bool GlobMatches(std::u16string_view pattern, std::u16string_view text) {
    return Match(pattern, text);
}

std::u16string ExcludeMatchingRoot(const WalkFilter& filter, std::u16string_view root) {
    size_t cut = root.size();
    while (cut > 0 && !IsSeparator(root[cut - 1]))
        --cut;
    const std::u16string_view name = root.substr(cut);
    for (const std::u16string& pattern : filter.excludes)
        if ((!name.empty() && GlobMatches(pattern, name)) || GlobMatches(pattern, root))
            return pattern;
    return {};
}

EntryFilter::EntryFilter(const WalkFilter& filter, std::u16string_view root, uint64_t rootDevice)
    : filter_(&filter),
      // The Linux root "/" already ends in the separator its children follow.
      rootLength_(!root.empty() && IsSeparator(root.back()) ? root.size() : root.size() + 1),
      rootDevice_(rootDevice) {}

bool EntryFilter::Admits(std::u16string_view folder, const platform::DirEntry& entry) const {
    const WalkFilter& f = *filter_;
    if (!f.hidden && IsHidden(entry))
        return false;
    if (f.oneFileSystem && rootDevice_ != 0 && entry.hasIdentity && entry.device != rootDevice_)
        return false;
    if (!entry.isDirectory && (entry.size < f.minSize || entry.size > f.maxSize))
        return false;
    if (!f.excludes.empty()) {
        std::u16string below;
        if (folder.size() > rootLength_) {
            below.assign(folder.substr(rootLength_));
            below += platform::kPathSeparator;
        }
        below += entry.name;
        if (AnyMatches(f.excludes, entry.name, below))
            return false;
    }
    return true;
}

}  // namespace cs::engine
