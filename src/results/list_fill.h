// Filling the result rows while a scan runs, without rebuilding them. The
// thread that writes the results hands over what is new since its last
// hand-over (a group that reached two members, with all of them; members
// that joined a group handed over before; zero-byte files), and the thread
// that owns the rows inserts each where a rebuild of the same results would
// put it: groups in creation order, separators between them, the zero-byte
// rows last. Rows already shown are never deleted or moved against each
// other, so a list filled to the end equals RebuildResultList of the
// results, and the work grows with the rows, not with the rows times the
// hand-overs that a rebuild each time would cost.
//
// FillSource belongs to the thread that writes the results (or to whoever
// reads them after it ended); FillLayout and the rows to the thread that
// owns the rows. What passes between them is plain data.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/scan_results.h"
#include "platform/path_info.h"
#include "results/result_list.h"
#include "results/rows.h"

namespace cs::results {

// New rows of one group, or new zero-byte rows (section kZeroByteGroup,
// order 0). Sections are the row groups: folders, files, zero-byte files.
struct NewRows {
    int section = kFileGroup;
    // The group's creation position (founder sequence), unique within the
    // section: it names the group and places it.
    uint64_t order = 0;
    std::vector<RowData> rows;
};

class FillSource {
public:
    // What the results hold beyond the previous call: member rows with their
    // texts, sizes as a rebuild shows them (measured now when the size
    // criterion is off).
    std::vector<NewRows> Take(const engine::ScanResults& results, uint32_t criteriaFlags,
                              SizeOfPath sizeOfPath = platform::FileSizeOfPath);
    void Clear();

private:
    std::vector<int32_t> foldersTaken_;
    std::vector<int32_t> filesTaken_;
    size_t zerosTaken_ = 0;
};

// Rows that can take an insertion anywhere; with section titles (a list
// view without groups) they also take a section's title row.
template <class R>
concept InsertableRows = RowList<R> && requires(R& rows, int32_t row, const RowData& data) {
    rows.Insert(row, data);
};

class FillLayout {
public:
    // With `titles`, a title row (Rows::InsertTitle) goes before each
    // section's first row, as SectionedRows' rebuild puts it.
    explicit FillLayout(bool titles = false) : titles_(titles) {}

    // Inserts every entry of `batch`, whole, into `rows`, which hold what
    // earlier calls inserted since Clear and nothing else. Entries of one
    // group keep their order; the batch is emptied.
    template <InsertableRows R>
    void Insert(R& rows, std::vector<NewRows>& batch);

    // Whether the group is on the list: a cancelled fill still completes the
    // groups it shows, and drops the others.
    bool Shows(int section, uint64_t order) const;
    int32_t RowCount() const { return size_[0] + size_[1] + size_[2]; }
    void Clear(bool titles);

private:
    struct Shown {
        uint64_t order;
        int32_t rows;
    };
    static int Index(int section) { return section - kFolderGroup; }
    int32_t Start(int index) const {
        int32_t start = 0;
        for (int i = 0; i < index; ++i)
            start += size_[i];
        return start;
    }
    template <InsertableRows R>
    void Put(R& rows, int index, int32_t& at, const RowData& data) {
        rows.Insert(at++, data);
        ++size_[index];
    }
    template <InsertableRows R>
    void PutTitle(R& rows, int index, int32_t& at) {
        if constexpr (requires { rows.InsertTitle(at, index); }) {
            if (titles_) {
                rows.InsertTitle(at++, kFolderGroup + index);
                ++size_[index];
                titled_[index] = true;
            }
        }
    }
    template <InsertableRows R>
    void PutAll(R& rows, int index, int32_t& at, const std::vector<RowData>& data) {
        for (const RowData& row : data)
            Put(rows, index, at, row);
    }
    template <InsertableRows R>
    void InsertGroups(R& rows, int index, std::vector<NewRows*>& entries);
    template <InsertableRows R>
    void InsertZeroBytes(R& rows, std::vector<NewRows*>& entries);

    bool titles_;
    // Folder and file groups in creation order, with their member rows.
    std::vector<Shown> groups_[2];
    int32_t zeroRows_ = 0;
    // Rows of each section, its title and separators included.
    int32_t size_[3] = {0, 0, 0};
    bool titled_[3] = {false, false, false};
};

// Sorts the batch into sections and creation order, merging the entries of
// one group (their rows stay in hand-over order).
std::vector<NewRows*> SortedEntries(std::vector<NewRows>& batch, int section);

template <InsertableRows R>
void FillLayout::Insert(R& rows, std::vector<NewRows>& batch) {
    // Zero-byte rows first: the first of them gives the file section its
    // closing separator, which a file group placed last must then keep.
    std::vector<NewRows*> zeros = SortedEntries(batch, kZeroByteGroup);
    InsertZeroBytes(rows, zeros);
    for (int section : {kFolderGroup, kFileGroup}) {
        std::vector<NewRows*> entries = SortedEntries(batch, section);
        InsertGroups(rows, Index(section), entries);
    }
    batch.clear();
}

template <InsertableRows R>
void FillLayout::InsertZeroBytes(R& rows, std::vector<NewRows*>& entries) {
    const int index = Index(kZeroByteGroup);
    for (NewRows* entry : entries) {
        if (entry->rows.empty())
            continue;
        if (zeroRows_ == 0) {
            if (!groups_[Index(kFileGroup)].empty()) {
                int32_t end = Start(Index(kFileGroup)) + size_[Index(kFileGroup)];
                Put(rows, Index(kFileGroup), end, MakeSeparatorRow(kFileGroup));
            }
            int32_t start = Start(index);
            PutTitle(rows, index, start);
        }
        int32_t at = Start(index) + size_[index];
        PutAll(rows, index, at, entry->rows);
        zeroRows_ += static_cast<int32_t>(entry->rows.size());
    }
}

template <InsertableRows R>
void FillLayout::InsertGroups(R& rows, int index, std::vector<NewRows*>& entries) {
    if (entries.empty())
        return;
    const int group = kFolderGroup + index;
    // Only the file section ends with a separator, and only when zero-byte
    // rows follow it.
    const bool closed = group == kFileGroup && zeroRows_ > 0;
    std::vector<Shown>& old = groups_[index];
    std::vector<Shown> merged;
    merged.reserve(old.size() + entries.size());
    size_t next = 0;
    int32_t at = Start(index) + (titled_[index] ? 1 : 0);
    for (NewRows* entry : entries) {
        while (next < old.size() && old[next].order < entry->order) {
            const bool separated = next + 1 < old.size() || closed;
            at += old[next].rows + (separated ? 1 : 0);
            merged.push_back(old[next++]);
        }
        const auto count = static_cast<int32_t>(entry->rows.size());
        if (next < old.size() && old[next].order == entry->order) {
            int32_t end = at + old[next].rows;
            PutAll(rows, index, end, entry->rows);
            old[next].rows += count;
            continue;
        }
        if (count == 0)
            continue;
        if (next < old.size()) {
            // Before a group already shown: its own separator follows it.
            PutAll(rows, index, at, entry->rows);
            Put(rows, index, at, MakeSeparatorRow(group));
        } else if (!merged.empty()) {
            // Last so far: a separator from the one before, which keeps the
            // closing separator, if any, for itself.
            if (closed) {
                PutAll(rows, index, at, entry->rows);
                Put(rows, index, at, MakeSeparatorRow(group));
            } else {
                Put(rows, index, at, MakeSeparatorRow(group));
                PutAll(rows, index, at, entry->rows);
            }
        } else {
            PutTitle(rows, index, at);
            PutAll(rows, index, at, entry->rows);
            if (closed)
                Put(rows, index, at, MakeSeparatorRow(group));
        }
        merged.push_back({entry->order, count});
    }
    while (next < old.size())
        merged.push_back(old[next++]);
    old.swap(merged);
}

}  // namespace cs::results
