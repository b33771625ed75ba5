#include "app/result_list_view.h"

#include <commctrl.h>

#include <array>
#include <cwchar>
#include <string_view>

#include "app/texts.h"
#include "platform/text.h"

namespace cs::app {

namespace {

constexpr int kAppendPosition = 20000000;
constexpr UINT kCheckBoxBits = LVIS_STATEIMAGEMASK;  // 0xF000
constexpr UINT kGroupBits = LVIS_OVERLAYMASK;        // 0x0F00
constexpr UINT kSelectedFocused = LVIS_SELECTED | LVIS_FOCUSED;
// LVM_GETITEMTEXTW's buffer: rows hold full paths, which may pass MAX_PATH.
constexpr int kTextBuffer = 4096;
// Overlay indices are four bits wide.
constexpr int kLargestStoredGroup = 15;

// What the path column leaves of the client width besides the two other
// columns: the pane and room for the scroll bar; at creation, less.
constexpr int kPathColumnMargin = 200;
constexpr int kInitialPathColumnMargin = 420;

struct GroupSpec {
    int id;
    const wchar_t* header;
    UINT state;
};
constexpr std::array<GroupSpec, 4> kGroups = {{
    {results::kFolderGroup, L"Duplicate folder names", LVGS_COLLAPSIBLE},
    {results::kFileGroup, L"Duplicate files", LVGS_COLLAPSIBLE},
    {results::kZeroByteGroup, L"Empty (zero-byte) files", LVGS_COLLAPSIBLE},
    {4, L"Hidden items", LVGS_HIDDEN},
}};

UINT StateImageBits(int state) {
    return state > 0 ? INDEXTOSTATEIMAGEMASK(static_cast<UINT>(state)) : 0;
}

UINT GroupBits(int group) {
    return group > 0 && group <= kLargestStoredGroup ? INDEXTOOVERLAYMASK(static_cast<UINT>(group))
                                                     : 0;
}

}  // namespace

int PathColumnWidthFor(int clientWidth, int nameWidth, int sizeWidth) {
    return clientWidth - nameWidth - sizeWidth - kPathColumnMargin;
}

int InitialPathColumnWidth(int clientWidth) {
    return clientWidth - kInitialPathColumnMargin;
}

bool PrepareResultListView(HWND list, int clientWidth) {
    const DWORD extended = LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT;
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);

    const int widths[results::kColumnCount] = {InitialPathColumnWidth(clientWidth),
                                               kNameColumnWidth, kSizeColumnWidth};
    const auto headerControl = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    const bool hasColumns =
        headerControl != nullptr &&
        SendMessageW(headerControl, HDM_GETITEMCOUNT, 0, 0) >= results::kColumnCount;
    std::wstring_view headers = texts::kColumnHeadings;
    for (int column = 0; column < results::kColumnCount; ++column) {
        const size_t end = headers.find(L'\n');
        std::wstring heading(headers.substr(0, end));
        headers = end == std::wstring_view::npos ? std::wstring_view() : headers.substr(end + 1);
        if (hasColumns) {
            SendMessageW(list, LVM_SETCOLUMNWIDTH, column, widths[column]);
            continue;
        }
        LVCOLUMNW spec{};
        spec.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        spec.cx = widths[column];
        spec.pszText = heading.data();
        spec.iSubItem = column;
        SendMessageW(list, LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&spec));
    }

    for (const GroupSpec& group : kGroups) {
        std::wstring header = group.header;
        LVGROUP spec{};
        spec.cbSize = sizeof(spec);
        spec.mask = LVGF_HEADER | LVGF_GROUPID | LVGF_STATE;
        spec.pszHeader = header.data();
        spec.iGroupId = group.id;
        spec.stateMask = group.state;
        spec.state = group.state;
        SendMessageW(list, LVM_INSERTGROUP, static_cast<WPARAM>(-1),
                     reinterpret_cast<LPARAM>(&spec));
    }
    SendMessageW(list, LVM_ENABLEGROUPVIEW, TRUE, 0);
    return SendMessageW(list, LVM_GETGROUPCOUNT, 0, 0) > 0;
}

ListViewRows::ListViewRows(HWND list, SeparatorDataFactory makeSeparatorData,
                           SeparatorDataRelease releaseSeparatorData,
                           RowTextsFactory makeRowTexts)
    : list_(list),
      makeSeparatorData_(makeSeparatorData),
      releaseSeparatorData_(releaseSeparatorData),
      makeRowTexts_(makeRowTexts),
      groupsSupported_(SendMessageW(list, LVM_GETGROUPCOUNT, 0, 0) > 0) {}

LRESULT ListViewRows::Send(UINT message, WPARAM wParam, LPARAM lParam) const {
    return SendMessageW(list_, message, wParam, lParam);
}

bool ListViewRows::ReadItem(int32_t row, UINT mask, UINT stateMask, LVITEMW& item) const {
    // LVM_GETITEMW, unlike LVM_GETITEMSTATE, tells a missing row apart.
    item = LVITEMW{};
    item.mask = mask;
    item.iItem = row;
    item.stateMask = stateMask;
    return row >= 0 && Send(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) != 0;
}

void ListViewRows::WriteState(int32_t row, UINT mask, UINT bits) {
    LVITEMW item{};
    item.stateMask = mask;
    item.state = bits;
    Send(LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}

int32_t ListViewRows::Count() const {
    return static_cast<int32_t>(Send(LVM_GETITEMCOUNT, 0, 0));
}

void ListViewRows::Append(const results::RowData& data) {
    Insert(kAppendPosition, data);
}

void ListViewRows::Insert(int32_t row, const results::RowData& data) {
    const LPARAM itemData = data.separator && makeSeparatorData_ ? makeSeparatorData_() : LPARAM{0};
    InsertRow(row, data, itemData);
}

void ListViewRows::AppendSeparator(int group, LPARAM itemData) {
    InsertSeparator(kAppendPosition, group, itemData);
}

void ListViewRows::InsertSeparator(int32_t row, int group, LPARAM itemData) {
    results::RowData data;
    data.stateImage = results::kNoCheckBox;
    data.group = group;
    data.image = results::kSeparatorImage;
    data.separator = true;
    InsertRow(row, data, itemData);
}

void ListViewRows::InsertRow(int32_t row, const results::RowData& data, LPARAM itemData) {
    std::array<std::wstring, results::kColumnCount> texts;
    for (int column = 0; column < results::kColumnCount; ++column)
        texts[column] = platform::ToNative(data.texts[column]);
    // A member row's texts stay with its item data, which the list asks
    // (LVN_GETDISPINFOW); separators have none to keep.
    if (!data.separator && itemData == 0 && makeRowTexts_ != nullptr)
        itemData = makeRowTexts_(texts[results::kPathColumn], texts[results::kNameColumn],
                                 texts[results::kSizeColumn]);
    const bool textsInData = !data.separator && itemData != 0 && makeRowTexts_ != nullptr;
    // The state goes in with the row: each later change of it would be two
    // more notifications to the owner (changing, changed), and under Wine
    // every message that reaches a subclassed window costs round trips to
    // the server.
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM | LVIF_GROUPID | LVIF_STATE;
    item.iItem = row < 0 ? kAppendPosition : row;
    item.pszText = textsInData ? LPSTR_TEXTCALLBACKW : texts[results::kPathColumn].data();
    item.iImage = data.image;
    item.lParam = itemData;
    item.iGroupId = data.group;
    item.stateMask = kCheckBoxBits;
    item.state = StateImageBits(data.separator ? results::kNoCheckBox : data.stateImage);
    if (!groupsSupported_) {
        item.stateMask |= kGroupBits;
        item.state |= GroupBits(data.group);
    }
    const auto inserted =
        static_cast<int32_t>(Send(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (inserted < 0) {
        if (itemData && releaseSeparatorData_)
            releaseSeparatorData_(itemData);
        return;
    }

    // With its texts in the item data a row's other columns are never set:
    // the list asks for every column it holds no text of.
    for (int column : {results::kNameColumn, results::kSizeColumn}) {
        if (textsInData || texts[column].empty())
            continue;
        LVITEMW sub{};
        sub.iSubItem = column;
        sub.pszText = texts[column].data();
        Send(LVM_SETITEMTEXTW, inserted, reinterpret_cast<LPARAM>(&sub));
    }

    // A check-box list gives every new row an unticked box whatever the
    // state asked for (Wine's does): a separator must have none, a ticked
    // row its tick.
    if ((item.state & kCheckBoxBits) != StateImageBits(results::kUnticked))
        WriteState(inserted, item.stateMask, item.state);
}

int ListViewRows::StateImage(int32_t row) const {
    LVITEMW item;
    if (!ReadItem(row, LVIF_STATE, kCheckBoxBits, item))
        return -1;
    return static_cast<int>((item.state & kCheckBoxBits) >> 12);
}

void ListViewRows::SetStateImage(int32_t row, int state) {
    // Row -1 would address every row. A write that changes nothing still
    // costs the owner two notices; the rules rewrite every row.
    if (row >= 0 && StateImage(row) != state)
        WriteState(row, kCheckBoxBits, StateImageBits(state));
}

int ListViewRows::Group(int32_t row) const {
    LVITEMW item;
    if (groupsSupported_)
        return ReadItem(row, LVIF_GROUPID, 0, item) ? item.iGroupId : -1;
    if (!ReadItem(row, LVIF_STATE, kGroupBits, item))
        return -1;
    return static_cast<int>((item.state & kGroupBits) >> 8);
}

std::u16string ListViewRows::Text(int32_t row, int column) const {
    if (row < 0 || column < 0 || column >= results::kColumnCount)
        return {};
    std::wstring buffer(kTextBuffer, L'\0');
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = buffer.data();
    item.cchTextMax = kTextBuffer;
    const auto length =
        static_cast<int>(Send(LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item)));
    buffer[kTextBuffer - 1] = L'\0';
    // The control may hand back its own text pointer instead of copying.
    const wchar_t* text = item.pszText ? item.pszText : buffer.data();
    if (length <= 0)
        return {};
    return platform::FromNative(std::wstring(text, wcsnlen(text, kTextBuffer - 1)));
}

void ListViewRows::DeleteRow(int32_t row) {
    if (row >= 0)
        Send(LVM_DELETEITEM, row, 0);
}

void ListViewRows::DeleteAll() {
    Send(LVM_DELETEALLITEMS, 0, 0);
}

void ListViewRows::SetRedraw(bool on) {
    Send(WM_SETREDRAW, on ? TRUE : FALSE, 0);
}

void ListViewRows::Arrange() {
    Send(LVM_ARRANGE, LVA_DEFAULT, 0);
}

int ListViewRows::ColumnCount() const {
    const auto header = reinterpret_cast<HWND>(Send(LVM_GETHEADER, 0, 0));
    if (!header)
        return 0;
    const auto count = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
    return count > 0 ? count : 0;
}

bool ListViewRows::IsSelected(int32_t row) const {
    if (row < 0 || row >= Count())
        return false;
    return (Send(LVM_GETITEMSTATE, row, LVIS_SELECTED) & LVIS_SELECTED) != 0;
}

void ListViewRows::SetSelectedFocused(int32_t row, bool on) {
    if (row >= 0)
        WriteState(row, kSelectedFocused, on ? kSelectedFocused : 0);
}

int32_t ListViewRows::FirstSelected() const {
    return static_cast<int32_t>(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void ListViewRows::EnsureVisible(int32_t row) {
    if (row < 0 || row >= Count())
        return;
    if (!Send(LVM_ISITEMVISIBLE, row, 0))
        Send(LVM_ENSUREVISIBLE, row, FALSE);
}

int ListViewRows::Image(int32_t row) const {
    LVITEMW item;
    return ReadItem(row, LVIF_IMAGE, 0, item) ? item.iImage : -1;
}

LPARAM ListViewRows::ItemData(int32_t row) const {
    LVITEMW item;
    return ReadItem(row, LVIF_PARAM, 0, item) ? item.lParam : 0;
}

}  // namespace cs::app
