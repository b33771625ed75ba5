// The result rows as the main window shows them. Where the list view has
// groups, the rows are passed straight through. Where it has none (Wine),
// the three sections would run into each other, so a title row goes before
// the first row of each section: a separator row (no check box, empty
// texts, the section's group) whose item data draws the section's name.
// Having no check box and no text, a title is a separator to every rule,
// find and the guards; keeping its section's group, it never joins two
// runs. Any thread the underlying rows allow; one thread at a time.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "app/result_list_view.h"
#include "results/rows.h"

namespace cs::app {

// Makes the item data of a section's title row; freed by the list's owner
// when the row is deleted.
using TitleDataFactory = LPARAM (*)(int group);

class SectionedRows {
public:
    SectionedRows(HWND list, SeparatorDataFactory makeSeparatorData,
                  SeparatorDataRelease releaseData, TitleDataFactory makeTitleData,
                  RowTextsFactory makeRowTexts = nullptr)
        : rows_(list, makeSeparatorData, releaseData, makeRowTexts),
          makeTitleData_(makeTitleData) {}

    int32_t Count() const { return rows_.Count(); }
    void Append(const results::RowData& data) {
        if (!rows_.GroupsSupported() && data.group != lastGroup_) {
            lastGroup_ = data.group;
            rows_.AppendSeparator(data.group, makeTitleData_ ? makeTitleData_(data.group) : 0);
            ++titles_;
        }
        rows_.Append(data);
    }
    // Inserts without titles of its own: a fill that inserts places them
    // itself (InsertTitle).
    void Insert(int32_t row, const results::RowData& data) { rows_.Insert(row, data); }
    void InsertTitle(int32_t row, int group) {
        rows_.InsertSeparator(row, group, makeTitleData_ ? makeTitleData_(group) : 0);
        ++titles_;
    }
    bool WantsTitles() const { return !rows_.GroupsSupported(); }
    int StateImage(int32_t row) const { return rows_.StateImage(row); }
    void SetStateImage(int32_t row, int state) { rows_.SetStateImage(row, state); }
    int Group(int32_t row) const { return rows_.Group(row); }
    std::u16string Text(int32_t row, int column) const { return rows_.Text(row, column); }
    void DeleteRow(int32_t row) { rows_.DeleteRow(row); }
    void DeleteAll() {
        rows_.DeleteAll();
        lastGroup_ = 0;
        titles_ = 0;
    }
    void SetRedraw(bool on) { rows_.SetRedraw(on); }
    void Arrange() { rows_.Arrange(); }
    int ColumnCount() const { return rows_.ColumnCount(); }
    bool IsSelected(int32_t row) const { return rows_.IsSelected(row); }
    void SetSelectedFocused(int32_t row, bool on) { rows_.SetSelectedFocused(row, on); }
    int32_t FirstSelected() const { return rows_.FirstSelected(); }
    void EnsureVisible(int32_t row) { rows_.EnsureVisible(row); }

    // The rows the scan results gave, without the section titles: what the
    // end-of-scan tip counts.
    int32_t ResultRowCount() const { return rows_.Count() - titles_; }
    int32_t TitleCount() const { return titles_; }
    ListViewRows& Inner() { return rows_; }

private:
    ListViewRows rows_;
    TitleDataFactory makeTitleData_;
    int lastGroup_ = 0;
    int32_t titles_ = 0;
};

static_assert(results::RowList<SectionedRows>);

}  // namespace cs::app
