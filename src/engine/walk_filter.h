// What the walk leaves out beyond the scan criteria: names matching
// exclude patterns, files outside a size range, hidden entries, and
// everything on another file system than the root's. Plain data plus pure
// decisions; the walk asks once per directory entry, before anything else
// is done with the entry (so a left-out name claims no file identity and a
// left-out folder is never entered). Any thread.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dir.h"

namespace cs::engine {

struct WalkFilter {
    // Glob patterns; an entry is left out when one matches its name or its
    // path below the root. A folder left out is not entered.
    std::vector<std::u16string> excludes;
    // Files only (folders have no size); both limits are inclusive.
    uint64_t minSize = 0;
    uint64_t maxSize = std::numeric_limits<uint64_t>::max();
    bool oneFileSystem = false;
    bool hidden = true;  // false: leave out hidden files and folders

    bool Active() const {
        return !excludes.empty() || minSize != 0 ||
               maxSize != std::numeric_limits<uint64_t>::max() || oneFileSystem || !hidden;
    }
};

// Glob matching as a shell does it on one path: '*' is any run of
// characters without a separator, '**' any run at all, '?' one character
// that is not a separator, "[abc]", "[a-z]" and "[!a-z]" one character of
// a set. Linux: case matters and '\' quotes the next character. Windows:
// ASCII case is ignored and '/' and '\' both stand for the separator.
bool GlobMatches(std::u16string_view pattern, std::u16string_view text);

// The first exclude pattern that matches the root's own name or whole
// path; empty when none does.
std::u16string ExcludeMatchingRoot(const WalkFilter& filter, std::u16string_view root);

// The decisions for the walk below one root.
class EntryFilter {
public:
    // `rootDevice` is the root's device (Linux st_dev, Windows volume
    // serial); 0 when unknown, which turns the file-system check off.
    EntryFilter(const WalkFilter& filter, std::u16string_view root, uint64_t rootDevice);

    // Whether the walk takes the entry listed in `folder` (a path that is
    // the root or below it).
    bool Admits(std::u16string_view folder, const platform::DirEntry& entry) const;

private:
    const WalkFilter* filter_;
    size_t rootLength_;  // the part of `folder` that is not below the root
    uint64_t rootDevice_;
};

}  // namespace cs::engine
