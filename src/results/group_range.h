// The rows of the match group around one row, as the group preview shows
// them: the run of item rows of one list group that holds the row. Pure
// reads of the rows; whichever thread owns them.
//
// Both directions compare the list group. Stepping down by check boxes
// alone would carry the last folder group on into the file section, which
// follows it without a separator row, and the preview would offer files
// for removal as if they were copies of a folder.
#pragma once

#include <algorithm>
#include <cstdint>

#include "results/rows.h"

namespace cs::results {

struct RowRange {
    int32_t first = -1;
    int32_t last = -1;

    bool Empty() const { return first < 0 || last <= first; }
    int32_t Count() const { return Empty() ? 0 : last - first + 1; }
};

// The group of `row`; empty for a separator row, a row that does not exist
// or a group of one.
template <RowList R>
RowRange GroupAround(const R& rows, int32_t row) {
    if (row < 0 || row >= rows.Count() || !IsItemRow(rows, row))
        return {};
    const int group = rows.Group(row);
    auto sameRun = [&](int32_t r) { return IsItemRow(rows, r) && rows.Group(r) == group; };
    RowRange range{row, row};
    while (range.first > 0 && sameRun(range.first - 1))
        --range.first;
    const int32_t count = rows.Count();
    while (range.last + 1 < count && sameRun(range.last + 1))
        ++range.last;
    if (range.Empty())
        return {};
    return range;
}

// At most `limit` rows of `range` (limit >= 2), placed so that `row` is
// among them: the start of the range when it fits, else a window around
// `row` kept inside the range.
inline RowRange LimitAround(RowRange range, int32_t row, int32_t limit) {
    if (range.Empty() || range.Count() <= limit)
        return range;
    int32_t first = std::max(range.first, row - limit / 2);
    first = std::min(first, range.last - limit + 1);
    return {first, first + limit - 1};
}

}  // namespace cs::results
