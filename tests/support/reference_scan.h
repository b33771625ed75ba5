// A deliberately plain second opinion on what a scan must produce: the walk
// listed with the same directory reader, every file digested up front, and
// the group search done the slow way, as a linear first-match search over
// every group ever created (one-member groups included). The engine finds
// its groups through an index and digests lazily; the two must agree to the
// member. Also the harness that runs the engine and captures what it showed
// at every list rebuild. Test code only; one thread.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/digests.h"
#include "engine/names.h"
#include "engine/options.h"
#include "engine/scan.h"
#include "engine/scan_results.h"
#include "support/temp_tree.h"

namespace cs::test {

using PathList = std::vector<std::u16string>;
using GroupList = std::vector<PathList>;

// What the result list would show: groups of two or more in creation order,
// members in joining order.
struct ScanSnapshot {
    GroupList matchGroups;
    GroupList folderGroups;
    PathList zeroByteFiles;

    bool operator==(const ScanSnapshot&) const = default;
};

struct ScanRecord {
    ScanSnapshot final;
    std::vector<ScanSnapshot> atRebuilds;  // one per refresh-threshold crossing
    int32_t refreshCounter = 0;
    int32_t refreshThreshold = 0;
    bool cancelled = false;
};

ScanSnapshot SnapshotOf(const engine::ScanResults& results);

// Runs the engine on the calling thread, recording each rebuild.
ScanRecord RunEngineScan(const engine::ScanOptions& options);

// One entry the walk hands on, in the order the walk meets it.
struct WalkItem {
    std::u16string path;
    std::u16string name;
    bool isFolder = false;
    uint64_t size = 0;
};

// The walk's view of the tree: depth first, each folder's entries in the
// order the directory reader returns them, a sub-folder's contents right
// after the folder itself. Links, special files and system entries are left
// out; in a non-recursive walk folders are left out too.
std::vector<WalkItem> ListWalk(const std::u16string& root, bool recursive);

// Only the files (any size) of ListWalk, as paths.
PathList WalkFiles(const std::u16string& root, bool recursive);

// Digests per (path, content criterion), so the many criteria combinations
// run over one tree read each file once per criterion. Absent = not
// computable (the reference then leaves the file out).
class DigestCache {
public:
    std::optional<engine::ContentDigests> Get(const std::u16string& path, uint32_t contentFlag);

private:
    std::map<std::pair<std::u16string, uint32_t>, std::optional<engine::ContentDigests>> cache_;
};

ScanRecord ReferenceScan(const engine::ScanOptions& options, DigestCache& digests);

// Human-readable dump (UTF-8) for failure messages.
std::string Describe(const ScanSnapshot& snapshot);
std::string Utf8(std::u16string_view text);

// Options for a scan of the whole test tree.
inline engine::ScanOptions Options(const TempTree& tree, uint32_t criteria,
                                   std::u16string filter = u"") {
    engine::ScanOptions o;
    o.rootPath = tree.Root16();
    o.criteria = criteria;
    o.extensionFilter = std::move(filter);
    return o;
}

}  // namespace cs::test
