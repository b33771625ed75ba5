// Searching the result list: the next row, after a start position, in any
// of whose columns the pattern occurs (case-insensitive after `towlower`).
// Leaves the found row the only selected and focused row. Thread of the
// rows' owner.
#pragma once

#include <cstdint>
#include <string>

#include "results/list_text.h"
#include "results/rows.h"

namespace cs::results {

// Searches rows start + 1 onwards (start < 0: from the top) and returns the
// row found, or -1 (then no row is selected). Columns are read in turn
// (full path, name, size text); separator rows have empty texts and never
// match a non-empty pattern.
template <RowList R>
int32_t FindInList(R& rows, std::u16string_view pattern, int32_t start) {
    const int32_t count = rows.Count();
    if (count <= 0)
        return -1;
    if (start >= 0) {
        for (int32_t r = 0; r <= start && r < count; ++r)
            rows.SetSelectedFocused(r, false);
    } else {
        start = -1;
    }
    const int columns = rows.ColumnCount();
    int32_t found = -1;
    for (int32_t r = start + 1; r < count; ++r) {
        if (found < 0) {
            for (int c = 0; c < columns; ++c) {
                if (ContainsLowered(rows.Text(r, c), pattern)) {
                    found = r;
                    break;
                }
            }
            if (found == r) {
                rows.SetSelectedFocused(r, true);
                continue;
            }
        }
        rows.SetSelectedFocused(r, false);
    }
    if (found >= 0)
        rows.EnsureVisible(found);
    return found;
}

}  // namespace cs::results
