// The results of one scan: match groups, folder groups and zero-byte files,
// and the counters that pace the result-list rebuilds. Written by the scan
// thread only; read by others only after it ended or from the rebuild hook,
// which runs on the scan thread.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/item_facts.h"

namespace cs::engine {

struct MatchGroup {
    std::u16string paths;  // member paths joined by "\n", in joining order
    int32_t count = 0;
    uint64_t size = 0;  // founding file's size (kept whatever the criteria)
    // Neither the founder's name key nor its digests are kept: nothing
    // shows or checks them (the list takes names from the paths), and
    // contents are told apart by comparing bytes, which proves more and
    // mostly reads less. On 50,000 groups the key alone was 2 MiB.
    uint64_t founderSequence = 0;  // walk position of the founding file
    // What the walk saw of each member, in the order of `paths`: removal
    // checks that a member is still that file before it touches it.
    std::vector<platform::ItemFacts> facts;
    // Every member was compared with the founder byte for byte (or by its
    // MD5 and SHA-256) in this scan. False when one joined on what a cache
    // remembered: removal then compares it in full, as for a criterion
    // that proves nothing about bytes.
    bool proved = true;
};

struct FolderGroup {
    std::u16string paths;
    int32_t count = 0;
    std::u16string folderKey;
    uint64_t founderSequence = 0;
    std::vector<platform::ItemFacts> facts;  // one per member, as `paths`
};

// What the scan could not look at, by cause; "no duplicates" means nothing
// where these are not zero.
struct ScanSkips {
    uint64_t foldersNotListed = 0;  // the root excluded: it fails the scan
    uint64_t filesNotRead = 0;      // needed for a content criterion
};

inline constexpr int32_t kFirstRefreshThreshold = 30;
inline constexpr int32_t kRefreshThresholdStep = 10;

// Only groups that have two or more members are held here: a group with one
// member is never shown, and the index in the grouper keeps the founder
// until a second member arrives. Because the digests of a founder are taken
// lazily, a group can become visible after groups founded later; the
// ordered views sort by founding position, which is the creation order of
// a linear first-match search.
struct ScanResults {
    std::vector<MatchGroup> matchGroups;    // in order of reaching two members
    std::vector<FolderGroup> folderGroups;  // likewise
    std::vector<std::u16string> zeroByteFiles;
    std::vector<platform::ItemFacts> zeroByteFacts;  // one per zero-byte file

    // The root as it was walked (resolved: no link, no trailing separator)
    // and every folder listed, the root included, with what the walk saw of
    // it: removal reaches an item only through these folders.
    std::u16string root;
    // The roots walked after `root`, resolved likewise, in command-line
    // order; a root already walked (or below one) is not among them.
    std::vector<std::u16string> moreRoots;
    std::unordered_map<std::u16string, platform::ItemFacts> folders;
    // False when the root itself could not be listed.
    bool rootListed = true;
    ScanSkips skips;
    // Files whose signature (and perhaps digest) came from a cache.
    uint64_t filesFromCache = 0;

    int32_t refreshCounter = 0;
    int32_t refreshThreshold = kFirstRefreshThreshold;

    void Reset();
    // Groups in creation order (of a linear first-match search).
    std::vector<const MatchGroup*> OrderedMatchGroups() const;
    std::vector<const FolderGroup*> OrderedFolderGroups() const;
};

// Splits joined member paths at "\n".
std::vector<std::u16string_view> SplitPaths(const std::u16string& joined);

}  // namespace cs::engine
