#include "results/list_fill.h"

#include <algorithm>

namespace cs::results {

namespace {

// Rows for the members of `paths` from index `from` on.
template <class MakeRow>
std::vector<RowData> MembersFrom(const std::u16string& paths, int32_t from, MakeRow makeRow) {
    std::vector<RowData> rows;
    const std::vector<std::u16string_view> members = engine::SplitPaths(paths);
    for (size_t m = static_cast<size_t>(from); m < members.size(); ++m)
        rows.push_back(makeRow(members[m]));
    return rows;
}

template <class Group, class MakeRow>
void TakeGroups(const std::vector<Group>& groups, std::vector<int32_t>& taken, int section,
                std::vector<NewRows>& out, MakeRow makeRow) {
    if (taken.size() < groups.size())
        taken.resize(groups.size(), 0);
    for (size_t g = 0; g < groups.size(); ++g) {
        const Group& group = groups[g];
        if (group.count <= taken[g])
            continue;
        NewRows entry;
        entry.section = section;
        entry.order = group.founderSequence;
        entry.rows = MembersFrom(group.paths, taken[g],
                                 [&](std::u16string_view path) { return makeRow(group, path); });
        taken[g] = group.count;
        out.push_back(std::move(entry));
    }
}

}  // namespace

std::vector<NewRows> FillSource::Take(const engine::ScanResults& results, uint32_t criteriaFlags,
                                      SizeOfPath sizeOfPath) {
    std::vector<NewRows> out;
    TakeGroups(results.folderGroups, foldersTaken_, kFolderGroup, out,
               [](const engine::FolderGroup&, std::u16string_view path) {
                   return MakeItemRow(kFolderGroup, kFolderImage, path, kFolderSizeText);
               });
    const bool sizeKnown = (criteriaFlags & engine::CRIT_SAME_SIZE) != 0;
    TakeGroups(results.matchGroups, filesTaken_, kFileGroup, out,
               [&](const engine::MatchGroup& group, std::u16string_view path) {
                   const uint64_t size = sizeKnown ? group.size : sizeOfPath(std::u16string(path));
                   return MakeItemRow(kFileGroup, kFileImage, path, FormatSize(size));
               });
    if (results.zeroByteFiles.size() > zerosTaken_) {
        NewRows entry;
        entry.section = kZeroByteGroup;
        for (size_t z = zerosTaken_; z < results.zeroByteFiles.size(); ++z)
            entry.rows.push_back(
                MakeItemRow(kZeroByteGroup, kFileImage, results.zeroByteFiles[z], kZeroSizeText));
        zerosTaken_ = results.zeroByteFiles.size();
        out.push_back(std::move(entry));
    }
    return out;
}

void FillSource::Clear() {
    foldersTaken_.clear();
    filesTaken_.clear();
    zerosTaken_ = 0;
}

std::vector<NewRows*> SortedEntries(std::vector<NewRows>& batch, int section) {
    std::vector<NewRows*> entries;
    for (NewRows& entry : batch)
        if (entry.section == section)
            entries.push_back(&entry);
    std::stable_sort(entries.begin(), entries.end(),
                     [](const NewRows* a, const NewRows* b) { return a->order < b->order; });
    // One entry per group: later hand-overs' members follow the earlier ones.
    std::vector<NewRows*> merged;
    for (NewRows* entry : entries) {
        if (!merged.empty() && merged.back()->order == entry->order) {
            std::vector<RowData>& into = merged.back()->rows;
            into.insert(into.end(), std::make_move_iterator(entry->rows.begin()),
                        std::make_move_iterator(entry->rows.end()));
            entry->rows.clear();
            continue;
        }
        merged.push_back(entry);
    }
    return merged;
}

bool FillLayout::Shows(int section, uint64_t order) const {
    if (section == kZeroByteGroup)
        return false;
    const std::vector<Shown>& shown = groups_[Index(section)];
    const auto it = std::lower_bound(shown.begin(), shown.end(), order,
                                     [](const Shown& s, uint64_t o) { return s.order < o; });
    return it != shown.end() && it->order == order;
}

void FillLayout::Clear(bool titles) {
    titles_ = titles;
    for (std::vector<Shown>& groups : groups_)
        groups.clear();
    zeroRows_ = 0;
    std::fill(std::begin(size_), std::end(size_), 0);
    std::fill(std::begin(titled_), std::end(titled_), false);
}

}  // namespace cs::results
