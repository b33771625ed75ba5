// The in-memory row list: the back end of the command line and the tests.
// Not thread-safe; one thread at a time.
#pragma once

#include <cstdint>
#include <vector>

#include "results/rows.h"

namespace cs::results {

class MemoryRows {
public:
    int32_t Count() const { return static_cast<int32_t>(rows_.size()); }
    void Append(const RowData& data) { rows_.push_back({data, false}); }
    // Before row `row`; at the end when `row` is the count or beyond.
    void Insert(int32_t row, const RowData& data) {
        rows_.insert(Has(row) ? rows_.begin() + row : rows_.end(), {data, false});
    }
    int StateImage(int32_t row) const { return Has(row) ? rows_[row].data.stateImage : -1; }
    void SetStateImage(int32_t row, int state) {
        if (Has(row))
            rows_[row].data.stateImage = state;
    }
    int Group(int32_t row) const { return Has(row) ? rows_[row].data.group : -1; }
    int Image(int32_t row) const { return Has(row) ? rows_[row].data.image : -1; }
    bool IsSeparator(int32_t row) const { return Has(row) && rows_[row].data.separator; }
    std::u16string Text(int32_t row, int column) const {
        if (!Has(row) || column < 0 || column >= kColumnCount)
            return {};
        return rows_[row].data.texts[column];
    }
    void DeleteRow(int32_t row) {
        if (Has(row))
            rows_.erase(rows_.begin() + row);
    }
    void DeleteAll() { rows_.clear(); }
    void SetRedraw(bool) {}
    void Arrange() {}
    int ColumnCount() const { return kColumnCount; }
    bool IsSelected(int32_t row) const { return Has(row) && rows_[row].selected; }
    void SetSelectedFocused(int32_t row, bool on) {
        if (Has(row))
            rows_[row].selected = on;
    }
    int32_t FirstSelected() const {
        for (int32_t i = 0; i < Count(); ++i)
            if (rows_[i].selected)
                return i;
        return -1;
    }
    void EnsureVisible(int32_t) {}

private:
    struct Row {
        RowData data;
        bool selected;
    };
    bool Has(int32_t row) const { return row >= 0 && row < Count(); }
    std::vector<Row> rows_;
};

static_assert(RowList<MemoryRows>);

}  // namespace cs::results
