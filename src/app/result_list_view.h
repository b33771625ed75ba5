// The result rows on the main window's list view: the Windows back end of
// the row API (results/rows.h). It owns no state of its own besides the
// window handle and what it learned about the control once; every operation
// is a list-view message sent with SendMessageW. A worker thread (scan,
// removal) may therefore use it while the thread that owns the control
// keeps pumping messages, which serves each call in turn. It never frees the
// control or the rows' item data.
//
// List groups. Where the control supports groups, a row's group is its
// list-view group id. Wine's list view has none (its LVM_INSERTGROUP does
// nothing and LVIF_GROUPID is ignored), yet the selection rules depend on
// the group of every row. There the group is kept in the row itself, in its
// overlay-image state bits: the list's image lists define no overlay images,
// so nothing is drawn, and the bits stay with the row when other rows are
// deleted or its texts change.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "results/rows.h"

namespace cs::app {

// Makes the item data of a separator row (the toolkit's row-colour record).
// The list view's owner frees it when the row is deleted (LVN_DELETEITEM).
using SeparatorDataFactory = LPARAM (*)();
// Frees item data that never reached a row, because inserting it failed.
using SeparatorDataRelease = void (*)(LPARAM);
// Makes the item data of a member row holding its column texts (the
// toolkit's row record), which the list then asks for instead of keeping
// copies; 0 when it cannot. Freed like a separator's.
using RowTextsFactory = LPARAM (*)(std::wstring_view path, std::wstring_view name,
                                   std::wstring_view size);

// The result list's column widths. The name and size columns keep theirs;
// the path column takes what they, the main window's 180-pixel pane and
// room for the vertical scroll bar leave of a client area `clientWidth`
// wide. At creation it is client width - 420, so the columns overrun the
// list by 30 pixels until the first refit.
inline constexpr int kNameColumnWidth = 170;
inline constexpr int kSizeColumnWidth = 100;
int PathColumnWidthFor(int clientWidth, int nameWidth, int sizeWidth);
int InitialPathColumnWidth(int clientWidth);

// Sets up a report-style list view as the result list: check boxes and
// full-row selection, the three columns (texts::kColumnHeadings, at the
// widths above; a list that already has its three columns only gets the
// widths), and the four list groups with group view on. Returns whether
// the control really has groups (false under Wine, where inserting them
// fails harmlessly). UI thread.
bool PrepareResultListView(HWND list, int clientWidth);

class ListViewRows {
public:
    // `list` must have been prepared (PrepareResultListView) before, so that
    // the group support found here holds for the instance's life. Without a
    // factory, separator rows get item data 0; without a texts factory,
    // member rows get item data 0 and the list keeps their texts.
    explicit ListViewRows(HWND list, SeparatorDataFactory makeSeparatorData = nullptr,
                          SeparatorDataRelease releaseSeparatorData = nullptr,
                          RowTextsFactory makeRowTexts = nullptr);

    int32_t Count() const;
    // Appends at the end. A separator row gets no check box and the
    // factory's item data; every other row the texts factory's.
    void Append(const results::RowData& data);
    // Before row `row` (at the end when it is the count or beyond), as
    // Append makes it.
    void Insert(int32_t row, const results::RowData& data);
    // Appends a separator row of `group` with the given item data (which the
    // list's owner frees, or which is freed here when the insert fails).
    void AppendSeparator(int group, LPARAM itemData);
    void InsertSeparator(int32_t row, int group, LPARAM itemData);
    int StateImage(int32_t row) const;
    void SetStateImage(int32_t row, int state);
    int Group(int32_t row) const;
    std::u16string Text(int32_t row, int column) const;
    void DeleteRow(int32_t row);
    void DeleteAll();
    void SetRedraw(bool on);
    void Arrange();
    int ColumnCount() const;
    bool IsSelected(int32_t row) const;
    void SetSelectedFocused(int32_t row, bool on);
    int32_t FirstSelected() const;
    void EnsureVisible(int32_t row);

    // Beyond the row API, for the window and the tests: the image index and
    // item data of a row (-1 and 0 when it does not exist).
    int Image(int32_t row) const;
    LPARAM ItemData(int32_t row) const;
    bool GroupsSupported() const { return groupsSupported_; }
    HWND Handle() const { return list_; }

private:
    LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam) const;
    void InsertRow(int32_t row, const results::RowData& data, LPARAM itemData);
    // Reads the `mask` fields (and the `stateMask` state bits) of `row`
    // into `item`; false for a missing row.
    bool ReadItem(int32_t row, UINT mask, UINT stateMask, LVITEMW& item) const;
    // Sets the `mask` state bits of `row` to `bits`.
    void WriteState(int32_t row, UINT mask, UINT bits);

    HWND list_;
    SeparatorDataFactory makeSeparatorData_;
    SeparatorDataRelease releaseSeparatorData_;
    RowTextsFactory makeRowTexts_;
    bool groupsSupported_;
};

static_assert(results::RowList<ListViewRows>);

}  // namespace cs::app
