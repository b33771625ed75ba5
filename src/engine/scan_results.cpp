#include "engine/scan_results.h"

#include <algorithm>

namespace cs::engine {

void ScanResults::Reset() {
    matchGroups.clear();
    folderGroups.clear();
    zeroByteFiles.clear();
    zeroByteFacts.clear();
    root.clear();
    folders.clear();
    rootListed = true;
    skips = ScanSkips{};
    filesFromCache = 0;
    moreRoots.clear();
    if (matchGroups.capacity() < 100)
        matchGroups.reserve(100);
    if (folderGroups.capacity() < 100)
        folderGroups.reserve(100);
    if (zeroByteFiles.capacity() < 100)
        zeroByteFiles.reserve(100);
    refreshCounter = 0;
    refreshThreshold = kFirstRefreshThreshold;
}

namespace {

template <typename Group>
std::vector<const Group*> Ordered(const std::vector<Group>& groups) {
    std::vector<const Group*> out;
    out.reserve(groups.size());
    for (const Group& g : groups)
        out.push_back(&g);
    std::sort(out.begin(), out.end(), [](const Group* a, const Group* b) {
        return a->founderSequence < b->founderSequence;
    });
    return out;
}

}  // namespace

std::vector<const MatchGroup*> ScanResults::OrderedMatchGroups() const {
    return Ordered(matchGroups);
}

std::vector<const FolderGroup*> ScanResults::OrderedFolderGroups() const {
    return Ordered(folderGroups);
}

std::vector<std::u16string_view> SplitPaths(const std::u16string& joined) {
    std::vector<std::u16string_view> out;
    std::u16string_view rest(joined);
    if (rest.empty())
        return out;
    for (;;) {
        const size_t nl = rest.find(u'\n');
        out.push_back(rest.substr(0, nl));
        if (nl == std::u16string_view::npos)
            break;
        rest.remove_prefix(nl + 1);
    }
    return out;
}

}  // namespace cs::engine
