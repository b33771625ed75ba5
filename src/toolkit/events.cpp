// Events: control commands, notifications, drops and hover tracking, as the
// container window turns them into events.
#include "toolkit/container_internal.h"

#include <windowsx.h>

#include <string>

#include "toolkit/drawing.h"

namespace cs::toolkit {

using namespace detail;

namespace {

constexpr int kDropPathUnits = 2048;
constexpr UINT kStateImageMask = 0xF000;
constexpr UINT kCheckedStateImage = 0x2000;

// What a list view reports of the program's own doing: each row inserted,
// changed (a tick a rule sets, a selection the program moves), deleted,
// painted or asked for its texts. A click or key on the list sends notices
// of its own.
bool IsListsOwnNotice(UINT code) {
    switch (code) {
        case LVN_GETDISPINFOW:
        case LVN_ODCACHEHINT:
        case LVN_INSERTITEM:
        case LVN_ITEMCHANGING:
        case LVN_ITEMCHANGED:
        case LVN_DELETEITEM:
        case LVN_DELETEALLITEMS:
        case NM_CUSTOMDRAW:
            return true;
        default:
            return false;
    }
}

bool KeepsNoRows(HWND list) {
    return (GetWindowLongW(list, GWL_STYLE) & LVS_OWNERDATA) != 0;
}

// The texts of a row inserted with callback texts come from its item data.
void AnswerRowTexts(NMLVDISPINFOW& request) {
    LVITEMW& item = request.item;
    if (item.mask & LVIF_TEXT)
        CopyRowText(reinterpret_cast<const ListRowData*>(item.lParam), item.iSubItem, item.pszText,
                    item.cchTextMax);
}

}  // namespace

namespace detail {

ProcResult SetCursorAndHover(WindowRecord& record, HWND window, WPARAM wParam, LPARAM lParam) {
    auto target = reinterpret_cast<HWND>(wParam);
    if (target == window && LOWORD(lParam) == HTCLIENT && record.cursor != nullptr) {
        SetCursor(record.cursor);
        return {TRUE, true};
    }
    const int32_t slot = SlotOfHandle(record, target);
    bool cursorSet = false;
    if (ControlRecord* control = FindControl(record, slot)) {
        const bool locked = IsImageButtonKind(control->kind) && control->imageButton &&
                            control->imageButton->state > 3;
        if (!locked && control->cursor != nullptr) {
            SetCursor(control->cursor);
            cursorSet = true;
        }
    }
    if (slot != record.hotControl) {
        SetHoverLook(record, record.hotControl, 0);
        SetHoverLook(record, slot, 1);
        record.hotControl = slot;
        Post(record, event::kHoverChanged, WM_SETCURSOR, window, static_cast<WPARAM>(slot));
    }
    if (cursorSet)
        return {TRUE, true};
    return {};
}

ProcResult ControlCommand(WindowRecord& record, HWND window, WPARAM wParam, LPARAM lParam) {
    const int32_t slot = LOWORD(wParam);
    const UINT notification = HIWORD(wParam);
    ControlRecord* control = FindControl(record, slot);
    if (slot == 0 || control == nullptr)
        return {};
    SetActive(record, window);
    HWND handle = control->handle;
    const auto data = reinterpret_cast<intptr_t>(handle);
    auto postMapped = [&](int32_t code) {
        Post(record, code, WM_COMMAND, window, static_cast<WPARAM>(slot), data);
    };
    // An accelerator's command (notification 1, no control handle) names a
    // slot to activate whatever its kind: read by kind first, notification
    // 1 would be a label's or picture's double click (STN_DBLCLK).
    if (notification == 1 && lParam == 0) {
        if (control->layoutFlags & layout::kCaption)
            StartWindowDrag(record, window);
        Post(record, slot, WM_COMMAND, window, notification, data);
        return {0, true};
    }
    switch (control->kind) {
        case ControlKind::kDropDownList:
            switch (notification) {
                case CBN_SELCHANGE:
                    postMapped(event::kListSelectionChanged);
                    break;
                case CBN_DBLCLK:
                    postMapped(event::kListDoubleClicked);
                    break;
                case CBN_SETFOCUS:
                    postMapped(event::kListFocused);
                    break;
                case CBN_EDITCHANGE:
                    postMapped(event::kListEdited);
                    break;
                case CBN_DROPDOWN:
                    postMapped(event::kListDroppedDown);
                    break;
                case CBN_CLOSEUP:
                    postMapped(event::kListClosedUp);
                    break;
                default:
                    break;
            }
            break;
        case ControlKind::kReadOnlyText:
        case ControlKind::kEdit:
            switch (notification) {
                case EN_SETFOCUS:
                    postMapped(event::kEditFocused);
                    break;
                case EN_KILLFOCUS:
                    postMapped(event::kEditUnfocused);
                    break;
                case EN_CHANGE:
                    postMapped(event::kEditChanged);
                    break;
                case EN_UPDATE:
                    postMapped(event::kEditUpdated);
                    break;
                default:
                    break;
            }
            break;
        case ControlKind::kLabel:
        case ControlKind::kPicture:
            if (notification == STN_DBLCLK)
                Post(record, event::kDoubleClick, WM_COMMAND, window, static_cast<WPARAM>(slot));
            break;
        case ControlKind::kImageButton:
            if (notification == STN_CLICKED || notification == STN_DBLCLK) {
                // Pressing takes the keyboard focus, as a push button does.
                if (handle != nullptr)
                    SetFocus(handle);
                Post(record, slot, WM_COMMAND, window, notification, data);
            }
            break;
        default:
            if (notification == 0 || (notification == 1 && lParam == 0)) {
                if (control->layoutFlags & layout::kCaption)
                    StartWindowDrag(record, window);
                Post(record, slot, WM_COMMAND, window, notification, data);
            }
            break;
    }
    return {0, true};
}

// Where a context menu opens, on the screen. The mouse gives its position;
// the keyboard (Shift+F10, the menu key) gives -1, -1, which Windows
// documents as "show it below the focused item": the focused row of a list,
// else the control itself.
POINT ContextMenuPoint(HWND target, LPARAM lParam) {
    POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    if (point.x != -1 || point.y != -1 || target == nullptr)
        return point;
    RECT below{};
    const int focused = ListView_GetNextItem(target, -1, LVNI_FOCUSED);
    wchar_t className[32] = {};
    GetClassNameW(target, className, 32);
    if (lstrcmpiW(className, WC_LISTVIEWW) == 0 && focused >= 0 &&
        ListView_GetItemRect(target, focused, &below, LVIR_BOUNDS)) {
        point = {below.left > 0 ? below.left : 0, below.bottom};
        ClientToScreen(target, &point);
        return point;
    }
    if (GetWindowRect(target, &below))
        point = {below.left, below.bottom};
    return point;
}

void SetEventText(WindowRecord& record, const wchar_t* text) {
    record.eventText = text != nullptr ? text : L"";
    record.eventTextLength = static_cast<int32_t>(record.eventText.size());
    record.eventTextValid = 1;
}

void DrawRowImage(HDC dc, const RECT& item, Gdiplus::GpImage* image, int offset) {
    using namespace Gdiplus::DllExports;
    UINT width = 0;
    UINT height = 0;
    GdipGetImageWidth(image, &width);
    GdipGetImageHeight(image, &height);
    GdipGraphics graphics;
    if (!graphics.Check(GdipCreateFromHDC(dc, graphics.Put())))
        return;
    const int top = item.top + (item.bottom - item.top - static_cast<int>(height)) / 2;
    GdipDrawImageRectI(graphics.Get(), image, item.left + offset, top, static_cast<INT>(width),
                       static_cast<INT>(height));
}

LRESULT ListCustomDraw(NMLVCUSTOMDRAW* draw) {
    const DWORD stage = draw->nmcd.dwDrawStage;
    if (stage == CDDS_PREPAINT)
        return CDRF_NOTIFYITEMDRAW;
    // A list that keeps no rows does not know their item data either.
    if (draw->nmcd.lItemlParam == 0 && KeepsNoRows(draw->nmcd.hdr.hwndFrom))
        draw->nmcd.lItemlParam =
            SendMessageW(draw->nmcd.hdr.hwndFrom, WM_TK_ROW_DATA, draw->nmcd.dwItemSpec, 0);
    auto* colours = reinterpret_cast<ListRowData*>(draw->nmcd.lItemlParam);
    if (colours == nullptr)
        return CDRF_DODEFAULT;
    HDC dc = draw->nmcd.hdc;
    if (stage == CDDS_ITEMPREPAINT) {
        const ListCellColours& row = colours->row;
        if (row.font)
            SelectObject(dc, row.font.Get());
        if (row.textColour != kDefaultColour)
            draw->clrText = static_cast<COLORREF>(row.textColour);
        if (row.image) {
            SetBkMode(dc, TRANSPARENT);
            if (row.brush)
                FillRect(dc, &draw->nmcd.rc, row.brush.Get());
            DrawRowImage(dc, draw->nmcd.rc, row.image.Get(), 0);
        } else if (row.backColour != kDefaultColour) {
            draw->clrTextBk = static_cast<COLORREF>(row.backColour);
        }
        if (colours->columns && colours->columnCount > 0)
            return CDRF_NOTIFYSUBITEMDRAW;
        const bool any = row.font || row.textColour != kDefaultColour ||
                         row.backColour != kDefaultColour || row.image;
        return any ? CDRF_NEWFONT : CDRF_DODEFAULT;
    }
    if (stage == (CDDS_ITEMPREPAINT | CDDS_SUBITEM)) {
        if (draw->iSubItem < 0 || draw->iSubItem >= colours->columnCount || !colours->columns)
            return CDRF_DODEFAULT;
        const ListCellColours& cell = colours->columns[draw->iSubItem];
        if (cell.textColour != kDefaultColour)
            draw->clrText = static_cast<COLORREF>(cell.textColour);
        if (cell.backColour != kDefaultColour)
            draw->clrTextBk = static_cast<COLORREF>(cell.backColour);
        if (cell.image) {
            RECT cellRect{};
            ListView_GetSubItemRect(draw->nmcd.hdr.hwndFrom,
                                    static_cast<int>(draw->nmcd.dwItemSpec), draw->iSubItem,
                                    LVIR_BOUNDS, &cellRect);
            SetBkMode(dc, TRANSPARENT);
            if (cell.brush)
                FillRect(dc, &cellRect, cell.brush.Get());
            DrawRowImage(dc, cellRect, cell.image.Get(), 2);
        }
        if (cell.font) {
            SelectObject(dc, cell.font.Get());
            return CDRF_NEWFONT;
        }
    }
    return CDRF_DODEFAULT;
}

ProcResult Notification(WindowRecord& record, HWND window, LPARAM lParam) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (header == nullptr)
        return {};
    const auto slot = static_cast<int32_t>(header->idFrom);
    ControlRecord* control = FindControl(record, slot);
    if (control == nullptr || control->handle != header->hwndFrom)
        return {};
    const UINT code = header->code;
    // None of the list's own notices is the user's doing, and under Wine
    // each look at the foreground window is a round trip to the server,
    // which cost as much as the rest of inserting or ticking the row.
    if (!IsListsOwnNotice(code))
        SetActive(record, window);
    if (control->kind == ControlKind::kLink && (code == NM_CLICK || code == NM_RETURN)) {
        auto* link = reinterpret_cast<NMLINK*>(lParam);
        SetEventText(record, link->item.szUrl);
        Post(record, slot, WM_NOTIFY, window, static_cast<WPARAM>(link->item.iLink),
             reinterpret_cast<intptr_t>(record.eventText.c_str()));
        return {0, true};
    }
    if (code == NM_DBLCLK) {
        Post(record, event::kDoubleClick, WM_NOTIFY, window, static_cast<WPARAM>(slot));
        return {0, true};
    }
    if (code == NM_RETURN) {
        Post(record, event::kListReturn, WM_NOTIFY, window, static_cast<WPARAM>(slot));
        return {0, true};
    }
    if (code == NM_SETFOCUS)
        return {0, true};
    if (control->kind != ControlKind::kListView)
        return {0, true};

    auto postItem = [&](int32_t eventCode, intptr_t data) {
        Post(record, eventCode, WM_NOTIFY, window, static_cast<WPARAM>(slot), data);
    };
    switch (code) {
        case LVN_ITEMCHANGED: {
            auto* change = reinterpret_cast<NMLISTVIEW*>(lParam);
            if (!(change->uChanged & LVIF_STATE))
                break;
            const UINT now = change->uNewState;
            const UINT before = change->uOldState;
            const intptr_t item = change->iItem;
            const bool imageChanged = ((now ^ before) & kStateImageMask) != 0;
            if ((now & LVIS_SELECTED) && !(before & LVIS_SELECTED))
                postItem(event::kItemSelected, item);
            else if (!(now & LVIS_SELECTED) && (before & LVIS_SELECTED))
                postItem(event::kItemDeselected, item);
            else if ((before & LVIS_FOCUSED) && !(now & LVIS_FOCUSED))
                postItem(event::kItemLostFocus, item);
            else if (imageChanged && !(now & kCheckedStateImage) &&
                     ((before & kCheckedStateImage) || (before & kStateImageMask) == 0))
                postItem(event::kItemUnticked, item);
            else if (imageChanged && (now & kCheckedStateImage) && !(before & kCheckedStateImage))
                postItem(event::kItemTicked, item);
            break;
        }
        case LVN_GETDISPINFOW:
            if (KeepsNoRows(header->hwndFrom))
                SendMessageW(header->hwndFrom, WM_TK_ROW_DISPLAY, 0, lParam);
            else
                AnswerRowTexts(*reinterpret_cast<NMLVDISPINFOW*>(lParam));
            return {0, true};
        case LVN_DELETEITEM: {
            auto* deleted = reinterpret_cast<NMLISTVIEW*>(lParam);
            delete reinterpret_cast<ListRowData*>(deleted->lParam);
            postItem(event::kItemDeleted, 0);
            break;
        }
        case LVN_COLUMNCLICK:
            postItem(event::kColumnClicked, reinterpret_cast<NMLISTVIEW*>(lParam)->iSubItem);
            break;
        case LVN_ENDLABELEDITW: {
            auto* edit = reinterpret_cast<NMLVDISPINFOW*>(lParam);
            SetEventText(record, edit->item.pszText);
            postItem(event::kLabelEdited, edit->item.iItem);
            break;
        }
        case LVN_BEGINSCROLL:
        case LVN_ENDSCROLL: {
            auto* scroll = reinterpret_cast<NMLVSCROLL*>(lParam);
            const intptr_t deltas = static_cast<intptr_t>(
                MAKELONG(static_cast<WORD>(scroll->dx), static_cast<WORD>(scroll->dy)));
            postItem(code == LVN_BEGINSCROLL ? event::kListScrollBegan : event::kListScrollEnded,
                     deltas);
            break;
        }
        case NM_CUSTOMDRAW:
            return {ListCustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(lParam)), true};
        default:
            break;
    }
    return {0, true};
}

void DropFiles(WindowRecord& record, HWND window, HDROP drop) {
    SetActive(record, window);
    record.drop = drop;
    POINT point{};
    if (!DragQueryPoint(drop, &point)) {
        DragFinish(drop);
        return;
    }
    record.dropPoint = point;
    const UINT files = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    std::wstring joined;
    std::wstring path(kDropPathUnits, L'\0');
    for (UINT index = 0; index < files; ++index) {
        const UINT length = DragQueryFileW(drop, index, path.data(), kDropPathUnits);
        if (length == 0)
            break;
        if (index > 0)
            joined += L"\r\n";
        joined.append(path.data(), length);
    }
    DragFinish(drop);
    record.drop = nullptr;
    SetEventText(record, joined.c_str());

    int32_t slot = 0;
    if (HWND child = ChildFromPoint(window, point.x, point.y)) {
        slot = SlotOfHandle(record, child);
        if (slot == 0)
            slot = SlotOfHandle(record, GetParent(child));
    }
    Post(record, event::kFilesDropped, WM_DROPFILES, window, static_cast<WPARAM>(slot),
         reinterpret_cast<intptr_t>(record.eventText.c_str()));
}

}  // namespace detail

Event ReadEvent(const EventRecord& events) {
    Event read;
    read.value = events.value;
    read.data = events.data;
    read.window = events.window;
    if (events.code > 0) {
        read.kind = event::kCommand;
        read.slot = events.code;
        return read;
    }
    read.kind = static_cast<event::Code>(events.code);
    // The messages whose events are about a control carry its slot as the
    // value; the same kind from the window's own mouse carries the keys.
    switch (events.message) {
        case WM_COMMAND:
        case WM_NOTIFY:
        case WM_CONTEXTMENU:
        case WM_HSCROLL:
        case WM_VSCROLL:
        case WM_SETCURSOR:
        case WM_DROPFILES:
            read.slot = events.value;
            read.value = 0;
            break;
        default:
            break;
    }
    return read;
}

}  // namespace cs::toolkit
