// The selection commands: tick and untick rows by rule so that the user
// keeps one copy of each match group without ticking by hand. They work on
// the rows in index order and change nothing but check-box states;
// separator rows are never given a state. They keep no state between calls
// and report nothing. UI thread (or whichever thread owns the rows).
//
// A run is a maximal sequence of consecutive item rows of one list group
// not interrupted by a separator row; each run stands for one match group,
// and all zero-byte files form one run.
#pragma once

#include <cstdint>
#include <string>

#include "platform/path_info.h"
#include "results/list_text.h"
#include "results/rows.h"

namespace cs::results {

enum class KeepRule { Smallest, Biggest, Oldest, Newest };

// Where file times come from: the last-write time on the Windows FILETIME
// scale, 0 when unreadable.
using TimeOfPath = uint64_t (*)(const std::u16string&);

// Whether `row` (an item row) is the last row of its run.
template <RowList R>
bool EndsRun(const R& rows, int32_t row, int32_t count) {
    if (row + 1 >= count)
        return true;
    if (!IsItemRow(rows, row + 1))
        return true;
    return rows.Group(row + 1) != rows.Group(row);
}

// The first row of every run stays unticked, the others are ticked.
template <RowList R>
void KeepFirst(R& rows) {
    const int32_t count = rows.Count();
    bool inRun = false;
    int previousGroup = -1;
    for (int32_t r = 0; r < count; ++r) {
        if (!IsItemRow(rows, r)) {
            inRun = false;
            continue;
        }
        const int group = rows.Group(r);
        if (group != previousGroup)
            inRun = false;
        rows.SetStateImage(r, inRun ? kTicked : kUnticked);
        inRun = true;
        previousGroup = group;
    }
}

// The last row of every run stays unticked, the others are ticked.
template <RowList R>
void KeepLast(R& rows) {
    const int32_t count = rows.Count();
    for (int32_t r = 0; r < count; ++r)
        if (IsItemRow(rows, r))
            rows.SetStateImage(r, EndsRun(rows, r, count) ? kUnticked : kTicked);
}

namespace detail {

struct KeepKey {
    std::u16string folder;
    std::u16string name;
    uint64_t time = 0;
};

template <RowList R>
KeepKey ReadKey(const R& rows, int32_t row, KeepRule rule, TimeOfPath timeOf) {
    KeepKey key;
    const std::u16string path = rows.Text(row, kPathColumn);
    if (rule == KeepRule::Oldest || rule == KeepRule::Newest) {
        key.time = path.empty() ? 0 : timeOf(path);
    } else {
        key.folder = ParentFolder(path);
        key.name = rows.Text(row, kNameColumn);
    }
    return key;
}

// Whether `candidate` wins over the kept row. The folder decides first;
// when it does not win (longer, greater or equal) the name decides.
inline bool Wins(const KeepKey& candidate, const KeepKey& kept, KeepRule rule) {
    switch (rule) {
        case KeepRule::Oldest:
            return candidate.time < kept.time;
        case KeepRule::Newest:
            return candidate.time > kept.time;
        case KeepRule::Smallest: {
            const auto less = [](const std::u16string& a, const std::u16string& b) {
                return a.size() < b.size() || (a.size() == b.size() && LessLowered(a, b));
            };
            return less(candidate.folder, kept.folder) || less(candidate.name, kept.name);
        }
        case KeepRule::Biggest: {
            const auto greater = [](const std::u16string& a, const std::u16string& b) {
                return a.size() > b.size() || (a.size() == b.size() && LessLowered(b, a));
            };
            return greater(candidate.folder, kept.folder) || greater(candidate.name, kept.name);
        }
    }
    return false;
}

}  // namespace detail

// Keeps one row per run by `rule` and ticks the others. Equal keys keep the
// earlier row. A run of a single row is never ticked: keep smallest leaves
// it as it is, the other rules untick it.
template <RowList R>
void KeepBy(R& rows, KeepRule rule, TimeOfPath timeOf = platform::FileLastWriteTime) {
    const int32_t count = rows.Count();
    int32_t runStart = -1;
    int32_t kept = -1;
    detail::KeepKey keptKey;
    int previousGroup = -1;
    for (int32_t r = 0; r < count; ++r) {
        const int group = rows.Group(r);
        if (group != previousGroup)
            runStart = kept = -1;
        previousGroup = group;
        if (!IsItemRow(rows, r)) {
            runStart = kept = -1;
            continue;
        }
        const bool ends = EndsRun(rows, r, count);
        if (runStart < 0) {
            if (ends) {  // a run of one row
                if (rule != KeepRule::Smallest)
                    rows.SetStateImage(r, kUnticked);
                continue;
            }
            runStart = kept = r;
            keptKey = detail::ReadKey(rows, r, rule, timeOf);
            continue;
        }
        detail::KeepKey key = detail::ReadKey(rows, r, rule, timeOf);
        if (detail::Wins(key, keptKey, rule)) {
            kept = r;
            keptKey = std::move(key);
        }
        if (ends) {
            for (int32_t i = runStart; i <= r; ++i)
                if (IsItemRow(rows, i))
                    rows.SetStateImage(i, i == kept ? kUnticked : kTicked);
            runStart = kept = -1;
        }
    }
}

template <RowList R>
void SetAllItems(R& rows, bool tick) {
    const int32_t count = rows.Count();
    for (int32_t r = 0; r < count; ++r)
        if (IsItemRow(rows, r))
            rows.SetStateImage(r, tick ? kTicked : kUnticked);
}

// Ticks or unticks every item row directly inside `reference` (rows in its
// subfolders keep their state).
template <RowList R>
void SetRowsInFolder(R& rows, const std::u16string& reference, bool tick) {
    if (reference.empty())
        return;
    const int32_t count = rows.Count();
    for (int32_t r = 0; r < count; ++r) {
        if (!IsItemRow(rows, r))
            continue;
        if (SameFolder(ParentFolder(rows.Text(r, kPathColumn)), reference))
            rows.SetStateImage(r, tick ? kTicked : kUnticked);
    }
}

// The reference folder of a row: a folder row's own path, a file row's
// parent folder.
template <RowList R>
std::u16string ReferenceFolderOf(const R& rows, int32_t row) {
    const std::u16string path = rows.Text(row, kPathColumn);
    if (rows.Group(row) == kFolderGroup)
        return path;
    return ParentFolder(path);
}

// Tick folder / untick folder: the folder of the selected row.
template <RowList R>
void SetRowsInSelectedFolder(R& rows, bool tick) {
    const int32_t selected = rows.FirstSelected();
    if (selected < 0)
        return;
    SetRowsInFolder(rows, ReferenceFolderOf(rows, selected), tick);
}

}  // namespace cs::results
