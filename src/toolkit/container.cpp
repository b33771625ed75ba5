#include "toolkit/container.h"

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>

#include <string>

#include "toolkit/drawing.h"

namespace cs::toolkit {

namespace {

constexpr int kDropPathUnits = 2048;
constexpr int kNoHeightBound = 500000;
constexpr LRESULT kDefaultIdFlag = 0x534B;  // DC_HASDEFID
constexpr UINT kStateImageMask = 0xF000;
constexpr UINT kCheckedStateImage = 0x2000;

// While the window is the foreground window, its accelerators and dialog
// navigation are the ones the pumps apply.
void SetActive(WindowRecord& record, HWND window) {
    if (record.events != nullptr && GetForegroundWindow() == window)
        record.events->activeWindow = &record;
}

void Post(WindowRecord& record, int32_t code, UINT message, HWND source, WPARAM value = 0,
          intptr_t data = 0) {
    PostEvent(record, code, message, source, static_cast<int32_t>(value), data);
}

bool IsImageButtonKind(ControlKind kind) {
    return kind == ControlKind::kImageButton;
}

bool RectInParent(HWND control, RECT& rect) {
    if (!GetWindowRect(control, &rect))
        return false;
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    return true;
}

void InvalidateInParent(HWND control) {
    RECT rect{};
    if (RectInParent(control, rect))
        InvalidateRect(GetParent(control), &rect, TRUE);
}

void SetHoverLook(WindowRecord& record, int32_t slot, int32_t state) {
    ControlRecord* control = FindControl(record, slot);
    if (control != nullptr && IsImageButtonKind(control->kind))
        SetImageButtonState(record, slot, state, true);
}

// Sends the left-button press on the caption to the system, which then
// moves the window as if its caption had been grabbed.
void StartWindowDrag(WindowRecord& record, HWND window) {
    if (record.customFrame != 0) {
        RECT client{};
        GetClientRect(window, &client);
        RECT band{0, 0, client.right, 50};
        InvalidateRect(window, &band, TRUE);
    }
    const DWORD position = GetMessagePos();
    SendMessageW(window, WM_NCLBUTTONDOWN, HTCAPTION, static_cast<LPARAM>(position));
}

void ExcludeOwnBackgrounds(WindowRecord& record, HDC dc, HWND parent, const int32_t* slots,
                           int32_t slotCount) {
    auto exclude = [&](int32_t slot) {
        ControlRecord* control = FindControl(record, slot);
        if (control == nullptr || control->handle == nullptr ||
            !(control->layoutFlags & layout::kOwnBackground) || !IsWindowVisible(control->handle) ||
            GetParent(control->handle) != parent || control->backColour == kNoBrushColour)
            return;
        RECT rect{};
        if (RectInParent(control->handle, rect))
            ExcludeClipRect(dc, rect.left, rect.top, rect.right, rect.bottom);
    };
    if (slots != nullptr) {
        for (int32_t i = 0; i < slotCount; ++i)
            exclude(slots[i]);
    } else {
        for (int32_t slot = 1; slot <= record.count; ++slot)
            exclude(slot);
    }
}

LRESULT EraseBackground(WindowRecord& record, HWND window, HDC dc) {
    if (record.backgroundBrush == nullptr && record.backgroundMode != 2)
        return 1;
    ExcludeOwnBackgrounds(record, dc, window, nullptr, 0);
    RECT client{};
    GetClientRect(window, &client);
    if (record.backgroundMode == 2 && record.memoryDc) {
        const int previous = SetStretchBltMode(dc, HALFTONE);
        SetBrushOrgEx(dc, 0, 0, nullptr);
        StretchBlt(dc, 0, 0, client.right, client.bottom, record.memoryDc.Get(), 0, 0,
                   record.designClientSize.cx, record.designClientSize.cy, SRCCOPY);
        SetStretchBltMode(dc, previous);
    } else if (record.backgroundBrush != nullptr) {
        FillRect(dc, &client, record.backgroundBrush);
    }
    SelectClipRgn(dc, nullptr);
    return 1;
}

// A brush that paints exactly the part of the window background that lies
// behind the control, so a transparent label over a skin shows the skin.
HBRUSH BackgroundBehind(WindowRecord& record, HWND window, HWND control, HDC dc) {
    RECT rect{};
    if (!GetWindowRect(control, &rect))
        return nullptr;
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0)
        return nullptr;
    UniqueDc memory(CreateCompatibleDC(dc));
    UniqueBitmap bitmap(CreateCompatibleBitmap(dc, width, height));
    if (!memory || !bitmap)
        return nullptr;
    {
        SelectGuard select(memory.Get(), bitmap.Get());
        if (record.backgroundMode == 2 && record.memoryDc) {
            RECT client{};
            GetClientRect(window, &client);
            if (client.right <= 0 || client.bottom <= 0)
                return nullptr;
            const int scaleX = record.designClientSize.cx;
            const int scaleY = record.designClientSize.cy;
            SetStretchBltMode(memory.Get(), HALFTONE);
            SetBrushOrgEx(memory.Get(), 0, 0, nullptr);
            StretchBlt(memory.Get(), 0, 0, width, height, record.memoryDc.Get(),
                       rect.left * scaleX / client.right, rect.top * scaleY / client.bottom,
                       width * scaleX / client.right, height * scaleY / client.bottom, SRCCOPY);
        } else {
            SetBrushOrgEx(memory.Get(), -rect.left, -rect.top, nullptr);
            SelectGuard brush(memory.Get(), record.backgroundBrush);
            PatBlt(memory.Get(), 0, 0, width, height, PATCOPY);
        }
    }
    HBRUSH pattern = CreatePatternBrush(bitmap.Get());
    if (pattern == nullptr)
        return nullptr;
    record.secondBackground.Reset(pattern);
    return pattern;
}

COLORREF SolidBrushColour(HBRUSH brush, COLORREF fallback) {
    LOGBRUSH info{};
    if (brush != nullptr && GetObjectW(brush, sizeof(info), &info) != 0 && info.lbStyle == BS_SOLID)
        return info.lbColor;
    return fallback;
}

// Wine's SysLink deletes the brush its parent returns for its background,
// which would destroy the window's own brush or the cached pattern while
// they are still in use. A link therefore gets the stock DC brush (deleting
// a stock object does nothing) in the colour of the background at its
// centre; links are small enough for one colour to stand for it.
LRESULT LinkBackground(WindowRecord& record, HWND window, const ControlRecord& control, HDC dc) {
    COLORREF colour = GetSysColor(COLOR_WINDOW);
    if (control.backColour >= 0) {
        colour = static_cast<COLORREF>(control.backColour);
    } else if ((record.backgroundMode == 1 || record.backgroundMode == 2) && record.memoryDc) {
        RECT rect{};
        RECT client{};
        if (GetWindowRect(control.handle, &rect) && GetClientRect(window, &client) &&
            client.right > 0 && client.bottom > 0) {
            MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
            int x = (rect.left + rect.right) / 2;
            int y = (rect.top + rect.bottom) / 2;
            if (record.backgroundMode == 2) {
                x = x * record.designClientSize.cx / client.right;
                y = y * record.designClientSize.cy / client.bottom;
            }
            const COLORREF sampled = GetPixel(record.memoryDc.Get(), x, y);
            if (sampled != CLR_INVALID)
                colour = sampled;
        }
    } else {
        colour = SolidBrushColour(record.backgroundBrush, colour);
    }
    SetDCBrushColor(dc, colour);
    return reinterpret_cast<LRESULT>(GetStockObject(DC_BRUSH));
}

ProcResult TransparentControlColour(WindowRecord& record, HWND window, HDC dc, HWND handle) {
    ControlRecord* control = FindControl(record, SlotOfHandle(record, handle));
    if (control == nullptr)
        return {};
    if (control->textColour != kDefaultColour)
        SetTextColor(dc, static_cast<COLORREF>(control->textColour));
    if (control->backColour == kNoBrushColour) {
        SetBkMode(dc, TRANSPARENT);
        return {reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH)), true};
    }
    if (control->backColour < 0) {
        SetBkMode(dc, TRANSPARENT);
    } else {
        SetBkMode(dc, OPAQUE);
        SetBkColor(dc, static_cast<COLORREF>(control->backColour));
    }
    if (control->kind == ControlKind::kLink)
        return {LinkBackground(record, window, *control, dc), true};
    if (control->backgroundBrush)
        return {reinterpret_cast<LRESULT>(control->backgroundBrush.Get()), true};
    if (record.backgroundMode == 1 || record.backgroundMode == 2) {
        if (HBRUSH brush = BackgroundBehind(record, window, handle, dc))
            return {reinterpret_cast<LRESULT>(brush), true};
    }
    if (record.backgroundBrush != nullptr)
        return {reinterpret_cast<LRESULT>(record.backgroundBrush), true};
    return {};
}

ProcResult EditControlColour(WindowRecord& record, HDC dc, HWND handle) {
    ControlRecord* control = FindControl(record, SlotOfHandle(record, handle));
    if (control == nullptr)
        return {};
    if (control->textColour != kDefaultColour)
        SetTextColor(dc, static_cast<COLORREF>(control->textColour));
    if (control->backColour >= 0)
        SetBkColor(dc, static_cast<COLORREF>(control->backColour));
    if (control->backgroundBrush)
        return {reinterpret_cast<LRESULT>(control->backgroundBrush.Get()), true};
    // Passed on, the default answer would set the text colour back to the
    // system's; answering with the system's own field colours keeps ours.
    if (control->backColour < 0)
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    return {reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW)), true};
}

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
    auto* colours = reinterpret_cast<ListRowColours*>(draw->nmcd.lItemlParam);
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
    SetActive(record, window);
    const UINT code = header->code;
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
        case LVN_DELETEITEM: {
            auto* deleted = reinterpret_cast<NMLISTVIEW*>(lParam);
            delete reinterpret_cast<ListRowColours*>(deleted->lParam);
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

void MoveOwnedPopups(WindowRecord& record, HWND window, const WINDOWPOS& position) {
    RECT bounds{};
    if (!GetWindowRect(window, &bounds))
        return;
    const int dx = position.x - bounds.left;
    const int dy = position.y - bounds.top;
    if (dx == 0 && dy == 0)
        return;
    for (int32_t i = 0; i < record.ownedPopupCount && i < kMaxOwnedPopups; ++i) {
        HWND popup = record.ownedPopups[static_cast<size_t>(i)];
        RECT popupBounds{};
        if (popup == nullptr || !GetWindowRect(popup, &popupBounds))
            continue;
        SetWindowPos(popup, nullptr, popupBounds.left + dx, popupBounds.top + dy, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
    }
}

ProcResult CalcCustomFrame(WindowRecord& record, WPARAM wParam, LPARAM lParam) {
    const int frame = record.frameWidth;
    auto shrink = [frame](RECT& rect) { InflateRect(&rect, -frame, -frame); };
    if (wParam) {
        auto* params = reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam);
        params->rgrc[1] = params->rgrc[0];
        if (params->lppos != nullptr) {
            params->lppos->cx = params->rgrc[0].right - params->rgrc[0].left;
            params->lppos->cy = params->rgrc[0].bottom - params->rgrc[0].top;
        }
        shrink(params->rgrc[0]);
        return {WVR_VALIDRECTS | WVR_REDRAW, true};
    }
    shrink(*reinterpret_cast<RECT*>(lParam));
    return {0, true};
}

void InvalidateMarkedControls(WindowRecord& record) {
    for (int32_t slot = 1; slot <= record.count; ++slot) {
        ControlRecord* control = FindControl(record, slot);
        if (control != nullptr && control->handle != nullptr &&
            (control->layoutFlags & layout::kInvalidateAfterMove))
            InvalidateInParent(control->handle);
    }
}

// The rule of one axis: position and size from the design values, the
// design client extent and the new client extent.
struct AxisFlags {
    int32_t scaleSize, scalePosition, proportionalCentre, centreOffset, nearEdge, farEdge;
};

void LayoutAxis(int32_t flags, const AxisFlags& bits, int design, int size, int designExtent,
                int extent, int current, int currentSize, int& position, int& newSize) {
    newSize = (flags & bits.scaleSize) && designExtent > 0 ? extent * size / designExtent : size;
    const bool nearEdge = (flags & bits.nearEdge) != 0;
    const bool farEdge = (flags & bits.farEdge) != 0;
    if (flags & bits.scalePosition) {
        position = designExtent > 0 ? design * extent / designExtent : design;
    } else if (flags & bits.proportionalCentre) {
        // The rule divides by the design centre and by a quotient of it; a
        // centre at 0 (or beyond 1000 times the extent) has no proportion to
        // keep, so the control stays where it is.
        const int centre = design + size / 2;
        const int quotient = centre != 0 ? designExtent * 1000 / centre : 0;
        if (quotient != 0) {
            position = extent * 1000 / quotient - newSize / 2;
        } else {
            position = current;
            newSize = currentSize;
        }
    } else if (flags & bits.centreOffset) {
        position = extent / 2 + design + size / 2 - designExtent / 2 - newSize / 2;
    } else if (nearEdge && farEdge) {
        position = design;
        newSize = size + (extent - designExtent);
    } else if (nearEdge) {
        position = design;
    } else if (farEdge) {
        position = design + size + (extent - designExtent) - newSize;
    } else {
        position = current;
        newSize = currentSize;
    }
}

constexpr AxisFlags kHorizontal{
    layout::kScaleWidth,    layout::kScaleX, layout::kProportionalCentreX,
    layout::kCentreOffsetX, layout::kLeft,   layout::kRight};
constexpr AxisFlags kVertical{layout::kScaleHeight,   layout::kScaleY, layout::kProportionalCentreY,
                              layout::kCentreOffsetY, layout::kTop,    layout::kBottom};

}  // namespace

ProcResult ContainerProc(WindowRecord& record, HWND window, UINT message, WPARAM wParam,
                         LPARAM lParam) {
    if (record.events == nullptr || window == nullptr || window != record.window)
        return {};
    switch (message) {
        case WM_MOVE:
            Post(record, event::kMoved, message, window);
            return {};
        case WM_SIZE:
            if (wParam == SIZE_RESTORED || wParam == SIZE_MAXIMIZED) {
                SetActive(record, window);
                LayoutControls(record);
            } else {
                Post(record, event::kSizeChanged, message, window);
            }
            return {0, true};
        case WM_SIZING:
            Post(record, event::kSizeChanged, message, window);
            return {0, true};
        case WM_ACTIVATE:
        case WM_ACTIVATEAPP:
            if (LOWORD(wParam) == 0) {
                if (record.events->activeWindow == &record)
                    record.events->activeWindow = nullptr;
                Post(record, event::kDeactivated, message, window);
            } else {
                SetHoverLook(record, record.hotControl, 0);
                SetActive(record, window);
                Post(record, event::kActivated, message, window);
            }
            record.hotControl = 0;
            return {};
        case WM_CLOSE:
            SetActive(record, window);
            PostMessageW(window, WM_TK_CLOSE, 0, 0);
            return {0, true};
        case WM_QUERYENDSESSION:
            Post(record, event::kSessionEnding, message, window, static_cast<WPARAM>(lParam));
            return {0, true};
        case WM_ENDSESSION:
            Post(record, event::kSessionEnding, message, window);
            return {0, true};
        case WM_ERASEBKGND:
            if (record.backgroundMode == 3)
                return {};
            return {EraseBackground(record, window, reinterpret_cast<HDC>(wParam)), true};
        case WM_SETCURSOR:
            return SetCursorAndHover(record, window, wParam, lParam);
        case WM_GETMINMAXINFO: {
            auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
            if (record.minTrackSize.cx + record.minTrackSize.cy != 0)
                info->ptMinTrackSize = {record.minTrackSize.cx, record.minTrackSize.cy};
            if (record.maxTrackSize.cx + record.maxTrackSize.cy != 0)
                info->ptMaxTrackSize = {record.maxTrackSize.cx, record.maxTrackSize.cy};
            return {0, true};
        }
        case WM_NEXTDLGCTL:
        case WM_GETDLGCODE:
        case WM_INITDIALOG:
        case WM_ENTERIDLE:
        case WM_CTLCOLORDLG:
            return {DefDlgProcW(window, message, wParam, lParam), true};
        case WM_WINDOWPOSCHANGING: {
            auto* position = reinterpret_cast<WINDOWPOS*>(lParam);
            if (position->hwnd != window || (position->flags & SWP_NOMOVE))
                return {};
            MoveOwnedPopups(record, window, *position);
            return {0, true};
        }
        case WM_WINDOWPOSCHANGED: {
            SetActive(record, window);
            auto* position = reinterpret_cast<WINDOWPOS*>(lParam);
            if (position->flags & SWP_NOSIZE)
                return {0, true};
            LayoutControls(record);
            if (record.backgroundMode == 2)
                InvalidateRect(window, nullptr, TRUE);
            Post(record, event::kSizeChanged, message, window);
            return {0, true};
        }
        case WM_NOTIFY:
            return Notification(record, window, lParam);
        case WM_CONTEXTMENU: {
            SetActive(record, window);
            auto target = reinterpret_cast<HWND>(wParam);
            const int32_t slot = SlotOfHandle(record, target);
            record.hotControl = slot;
            const POINT point = ContextMenuPoint(target, lParam);
            Post(record, event::kContextMenu, message, window, static_cast<WPARAM>(slot),
                 static_cast<intptr_t>(MAKELPARAM(static_cast<WORD>(point.x),
                                                  static_cast<WORD>(point.y))));
            return {0, true};
        }
        case WM_NCCALCSIZE:
            if (record.customFrame == 0)
                return {};
            return CalcCustomFrame(record, wParam, lParam);
        case WM_NCPAINT:
            if (record.customFrame != 0 || record.cornerSize > 1)
                return {0, true};
            return {};
        case WM_NCLBUTTONDOWN:
            SetActive(record, window);
            Post(record, event::kNonClientLeftDown, message, window, wParam);
            return {};
        case WM_NCLBUTTONUP:
            SetActive(record, window);
            Post(record, event::kNonClientLeftUp, message, window, wParam);
            return {1, true};
        case WM_NCLBUTTONDBLCLK:
            SetActive(record, window);
            Post(record, event::kNonClientDoubleClick, message, window, wParam);
            return {};
        case WM_CHAR:
            SetActive(record, window);
            Post(record, event::kCharacter, message, window, wParam, static_cast<intptr_t>(lParam));
            return {};
        case WM_NCACTIVATE:
            if (wParam)
                SetActive(record, window);
            Post(record, wParam ? event::kNonClientActivated : event::kNonClientDeactivated,
                 message, window);
            if (record.customFrame != 0 || record.cornerSize > 1)
                return {wParam ? 0 : 1, true};
            return {};
        case WM_COMMAND:
            return ControlCommand(record, window, wParam, lParam);
        case WM_SYSCOMMAND:
            SetActive(record, window);
            switch (wParam & 0xFFF0) {
                case SC_MOVE:
                    Post(record, event::kMoving, message, window);
                    break;
                case SC_MINIMIZE:
                    Post(record, event::kMinimise, message, window);
                    break;
                case SC_MAXIMIZE:
                    Post(record, event::kMaximise, message, window);
                    break;
                case SC_RESTORE:
                    Post(record, event::kRestore, message, window);
                    break;
                case SC_CLOSE:
                    PostMessageW(window, WM_TK_CLOSE, 0, 0);
                    break;
                default:
                    break;
            }
            return {};
        case WM_HSCROLL:
        case WM_VSCROLL: {
            SetActive(record, window);
            if (LOWORD(wParam) == SB_ENDSCROLL)
                return {0, true};
            const int32_t slot = SlotOfHandle(record, reinterpret_cast<HWND>(lParam));
            Post(record, message == WM_HSCROLL ? event::kHorizontalScroll : event::kVerticalScroll,
                 message, window, static_cast<WPARAM>(slot), static_cast<intptr_t>(wParam));
            return {0, true};
        }
        case WM_MENUCOMMAND: {
            SetActive(record, window);
            auto menu = reinterpret_cast<HMENU>(lParam);
            const auto code = static_cast<int32_t>(GetMenuItemID(menu, static_cast<int>(wParam)));
            Post(record, code, message, window, wParam, reinterpret_cast<intptr_t>(menu));
            return {0, true};
        }
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
            return EditControlColour(record, reinterpret_cast<HDC>(wParam),
                                     reinterpret_cast<HWND>(lParam));
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORSTATIC:
            return TransparentControlColour(record, window, reinterpret_cast<HDC>(wParam),
                                            reinterpret_cast<HWND>(lParam));
        case WM_MOUSEMOVE:
            record.mouse = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            record.mouseKeys = static_cast<int32_t>(wParam);
            Post(record, event::kMouseMoved, message, window, wParam);
            return {};
        case WM_LBUTTONDOWN: {
            SetActive(record, window);
            const POINT point{static_cast<short>(LOWORD(lParam)),
                              static_cast<short>(HIWORD(lParam))};
            ControlRecord* control =
                FindControl(record, SlotOfHandle(record, ChildWindowFromPoint(window, point)));
            if (control != nullptr && (control->layoutFlags & layout::kCaption))
                StartWindowDrag(record, window);
            Post(record, event::kLeftDown, message, window);
            return {};
        }
        case WM_LBUTTONUP:
            Post(record, event::kLeftUp, message, window, wParam);
            return {};
        case WM_RBUTTONUP:
            Post(record, event::kRightUp, message, window, wParam);
            return {};
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDBLCLK:
            SetActive(record, window);
            Post(record,
                 message == WM_LBUTTONDBLCLK ? event::kDoubleClick : event::kRightDoubleClick,
                 message, window, static_cast<WPARAM>(record.hotControl));
            return {};
        case WM_RBUTTONDOWN:
            SetActive(record, window);
            Post(record, event::kRightDown, message, window, wParam);
            return {};
        case WM_MOUSEWHEEL:
        case WM_MOUSEHWHEEL:
            Post(record, message == WM_MOUSEWHEEL ? event::kWheel : event::kHorizontalWheel,
                 message, window, wParam, static_cast<intptr_t>(lParam));
            return {0, true};
        case WM_ENTERMENULOOP:
            Post(record, event::kMenuLoopEntered, message, window);
            return {};
        case WM_EXITMENULOOP:
            Post(record, event::kMenuLoopLeft, message, window);
            return {};
        case WM_MOVING:
            Post(record, event::kMoving, message, window);
            return {};
        case WM_DEVICECHANGE:
            Post(record, event::kDeviceChange, message, window, wParam);
            return {};
        case WM_EXITSIZEMOVE:
            SetActive(record, window);
            LayoutControls(record);
            InvalidateMarkedControls(record);
            Post(record, event::kSizeChanged, message, window);
            return {0, true};
        case WM_DROPFILES:
            DropFiles(record, window, reinterpret_cast<HDROP>(wParam));
            return {0, true};
        case WM_NCMOUSELEAVE:
            Post(record, event::kNonClientMouseLeft, message, window, wParam);
            return {};
        case WM_TK_CLOSE:
            // The pump has already turned the request into the close event; it
            // names the window the request was posted to, so a dialog's wait
            // knows the close is its own even when no event of its came before.
            // Dispatched by a plain pump during long work, the request would
            // otherwise vanish; the close mark keeps it for the next wait.
            record.events->window = &record;
            record.events->close = 1;
            return {0, true};
        case DM_GETDEFID:
            SetActive(record, window);
            if (record.defaultButton != 0)
                return {MAKELONG(record.defaultButton, kDefaultIdFlag), true};
            return {0, true};
        default:
            return {};
    }
}

LRESULT CALLBACK ContainerSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR id, DWORD_PTR) {
    auto* record = reinterpret_cast<WindowRecord*>(id);
    try {
        if (record != nullptr) {
            const ProcResult result = ContainerProc(*record, window, message, wParam, lParam);
            if (result.handled)
                return result.result;
        }
    } catch (...) {
        // Nothing may unwind into the system's dispatcher; the message is
        // handled as if the toolkit did not know it.
    }
    if (message == WM_NCDESTROY)
        RemoveWindowSubclass(window, ContainerSubclassProc, id);
    return DefSubclassProc(window, message, wParam, lParam);
}

namespace {

ProcResult SubWindowColour(WindowRecord& record, HWND sub, UINT message, HDC dc, HWND handle) {
    if (message == WM_CTLCOLOREDIT || message == WM_CTLCOLORLISTBOX)
        return EditControlColour(record, dc, handle);
    ControlRecord* control = FindControl(record, SlotOfHandle(record, handle));
    if (control == nullptr)
        return {};
    if (control->textColour != kDefaultColour)
        SetTextColor(dc, static_cast<COLORREF>(control->textColour));
    if (control->backColour < 0) {
        SetBkMode(dc, TRANSPARENT);
        if (control->kind == ControlKind::kLabel || control->kind == ControlKind::kPicture)
            return {reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH)), true};
    } else {
        SetBkMode(dc, OPAQUE);
        SetBkColor(dc, static_cast<COLORREF>(control->backColour));
    }
    if (control->kind == ControlKind::kLink) {
        // As in the window itself: the link may delete what it is given.
        COLORREF colour = GetSysColor(COLOR_WINDOW);
        if (control->backColour >= 0)
            colour = static_cast<COLORREF>(control->backColour);
        else if (ControlRecord* self = FindControl(record, SlotOfHandle(record, sub)))
            colour = SolidBrushColour(self->backgroundBrush.Get(), colour);
        SetDCBrushColor(dc, colour);
        return {reinterpret_cast<LRESULT>(GetStockObject(DC_BRUSH)), true};
    }
    if (control->backgroundBrush)
        return {reinterpret_cast<LRESULT>(control->backgroundBrush.Get()), true};
    // The sub-window class has no brush of its own: what lies behind the
    // control is the pane's background, or the window's around a bare pane.
    // Passed on, the system would paint the button face instead.
    ControlRecord* pane = FindControl(record, SlotOfHandle(record, sub));
    if (pane != nullptr && pane->backgroundBrush)
        return {reinterpret_cast<LRESULT>(pane->backgroundBrush.Get()), true};
    if (record.backgroundBrush != nullptr)
        return {reinterpret_cast<LRESULT>(record.backgroundBrush), true};
    return {};
}

ProcResult SubWindowMessage(WindowRecord& record, int32_t slot, HWND sub, UINT message,
                            WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CLOSE:
            return {0, true};
        case WM_ERASEBKGND: {
            ControlRecord* self = FindControl(record, slot);
            if (self == nullptr || !self->backgroundBrush)
                return {};
            auto dc = reinterpret_cast<HDC>(wParam);
            if (self->children)
                ExcludeOwnBackgrounds(record, dc, sub, self->children->slots.data(),
                                      self->children->count);
            RECT client{};
            GetClientRect(sub, &client);
            FillRect(dc, &client, self->backgroundBrush.Get());
            SelectClipRgn(dc, nullptr);
            return {1, true};
        }
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
        case WM_RBUTTONDBLCLK: {
            // The owning window's handlers read client coordinates of their own.
            POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            MapWindowPoints(sub, record.window, &point, 1);
            return ContainerProc(
                record, record.window, message, wParam,
                MAKELPARAM(static_cast<WORD>(point.x), static_cast<WORD>(point.y)));
        }
        case WM_NOTIFY:
        case WM_CONTEXTMENU:
        case WM_COMMAND:
        case WM_HSCROLL:
        case WM_VSCROLL:
        case WM_MOUSEWHEEL:
            return ContainerProc(record, record.window, message, wParam, lParam);
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORSTATIC:
            return SubWindowColour(record, sub, message, reinterpret_cast<HDC>(wParam),
                                   reinterpret_cast<HWND>(lParam));
        default:
            return {};
    }
}

ProcResult PaintDoubleBuffered(WindowRecord& record, int32_t slot, HWND handle, UINT message) {
    if (message == WM_ERASEBKGND)
        return {1, true};
    if (message != WM_PAINT)
        return {};
    if (!GetUpdateRect(handle, nullptr, FALSE))
        return {0, true};
    ControlRecord* control = FindControl(record, slot);
    if (control == nullptr || control->backColour == kNoBrushColour)
        return {};
    PAINTSTRUCT paint{};
    HDC paintDc = BeginPaint(handle, &paint);
    if (paintDc == nullptr)
        return {0, true};
    RECT bounds{};
    GetWindowRect(handle, &bounds);
    const int width = bounds.right - bounds.left;
    const int height = bounds.bottom - bounds.top;
    UniqueDc memory(CreateCompatibleDC(paintDc));
    UniqueBitmap bitmap(CreateCompatibleBitmap(paintDc, width, height));
    if (memory && bitmap) {
        SelectGuard select(memory.Get(), bitmap.Get());
        switch (control->kind) {
            case ControlKind::kDropDownList:
            case ControlKind::kReadOnlyText:
            case ControlKind::kEdit:
            case ControlKind::kListView: {
                if (!control->backgroundBrush && control->backColour == kDefaultColour)
                    control->backgroundBrush.Reset(CreateSolidBrush(GetBkColor(paintDc)));
                if (control->backgroundBrush) {
                    RECT all{0, 0, width, height};
                    FillRect(memory.Get(), &all, control->backgroundBrush.Get());
                }
                break;
            }
            default:
                break;
        }
        SendMessageW(handle, WM_PRINT, reinterpret_cast<WPARAM>(memory.Get()),
                     PRF_NONCLIENT | PRF_CLIENT | PRF_ERASEBKGND | PRF_CHILDREN);
        if (HDC windowDc = GetWindowDC(handle)) {
            BitBlt(windowDc, 0, 0, width, height, memory.Get(), 0, 0, SRCCOPY);
            ReleaseDC(handle, windowDc);
        }
    }
    EndPaint(handle, &paint);
    return {0, true};
}

LRESULT CALLBACK DoubleBufferedProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                    UINT_PTR id, DWORD_PTR reference) {
    auto* record = reinterpret_cast<WindowRecord*>(reference);
    try {
        if (record != nullptr) {
            const ProcResult result =
                PaintDoubleBuffered(*record, static_cast<int32_t>(id), window, message);
            if (result.handled)
                return result.result;
        }
    } catch (...) {
    }
    if (message == WM_NCDESTROY)
        RemoveWindowSubclass(window, DoubleBufferedProc, id);
    return DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace

LRESULT CALLBACK SubWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                               DWORD_PTR reference) {
    auto* record = reinterpret_cast<WindowRecord*>(reference);
    try {
        if (record != nullptr && record->events != nullptr) {
            const ProcResult result = SubWindowMessage(*record, static_cast<int32_t>(id), window,
                                                       message, wParam, lParam);
            if (result.handled)
                return result.result;
        }
    } catch (...) {
    }
    if (message == WM_NCDESTROY)
        RemoveWindowSubclass(window, SubWindowProc, id);
    return DefSubclassProc(window, message, wParam, lParam);
}

bool InstallDoubleBuffering(WindowRecord& record, int32_t slot) {
    ControlRecord* control = FindControl(record, slot);
    if (control == nullptr || control->handle == nullptr)
        return false;
    return SetWindowSubclass(control->handle, DoubleBufferedProc, static_cast<UINT_PTR>(slot),
                             reinterpret_cast<DWORD_PTR>(&record)) != FALSE;
}

HWND ChildFromPoint(HWND window, int x, int y) {
    POINT point{x, y};
    if (window == nullptr || !ClientToScreen(window, &point))
        return nullptr;
    if (GetWindowLongW(window, GWL_STYLE) & WS_CLIPCHILDREN)
        return WindowFromPoint(point);
    struct Search {
        POINT point;
        int bestHeight;
        HWND best;
    } search{point, kNoHeightBound, nullptr};
    EnumChildWindows(
        window,
        [](HWND child, LPARAM parameter) -> BOOL {
            auto* state = reinterpret_cast<Search*>(parameter);
            if (!IsWindowVisible(child))
                return TRUE;
            const LRESULT hit = DefWindowProcW(
                child, WM_NCHITTEST, 0,
                MAKELPARAM(static_cast<WORD>(state->point.x), static_cast<WORD>(state->point.y)));
            RECT client{};
            if (hit > 0 && GetClientRect(child, &client) && client.bottom <= state->bestHeight) {
                state->bestHeight = client.bottom;
                state->best = child;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.best;
}

bool LayoutControls(WindowRecord& record) {
    HWND window = record.window;
    if (window == nullptr || !record.controls || (GetWindowLongW(window, GWL_STYLE) & WS_MINIMIZE))
        return false;
    RECT client{};
    if (!GetClientRect(window, &client))
        return false;
    const int width = client.right;
    const int height = client.bottom;
    if (width == record.laidOutClient.right && height == record.laidOutClient.bottom)
        return true;
    record.laidOutClient = {0, 0, width, height};
    record.currentClient = client;

    HDWP batch = BeginDeferWindowPos(record.count + 1);
    if (batch == nullptr)
        return false;
    for (int32_t slot = 1; slot <= record.count; ++slot) {
        ControlRecord* control = FindControl(record, slot);
        if (control == nullptr || control->handle == nullptr ||
            !(control->layoutFlags & layout::kLaidOut))
            continue;
        const RECT& design = control->designRect;
        RECT current{design.left, design.top, design.left + design.right,
                     design.top + design.bottom};
        RectInParent(control->handle, current);
        int x = 0;
        int y = 0;
        int w = 0;
        int h = 0;
        LayoutAxis(control->layoutFlags, kHorizontal, design.left, design.right,
                   control->designClientSize.cx, width, current.left, current.right - current.left,
                   x, w);
        LayoutAxis(control->layoutFlags, kVertical, design.top, design.bottom,
                   control->designClientSize.cy, height, current.top, current.bottom - current.top,
                   y, h);
        HWND parent = GetParent(control->handle);
        if (parent == window) {
            batch = DeferWindowPos(batch, control->handle, nullptr, x, y, w, h,
                                   SWP_NOZORDER | SWP_NOOWNERZORDER);
            if (batch == nullptr)
                return false;
        } else {
            SetWindowPos(control->handle, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOOWNERZORDER);
        }
        if (control->layoutFlags & layout::kInvalidateAfterMove) {
            RECT moved{x, y, x + w, y + h};
            InvalidateRect(parent, &moved, TRUE);
        }
    }

    if (record.cornerSize > 1) {
        RECT bounds{};
        GetWindowRect(window, &bounds);
        POINT corner{bounds.left, bounds.top};
        ScreenToClient(window, &corner);
        const int frame = record.frameWidth;
        HRGN region = CreateRoundRectRgn(
            -corner.x - frame, -corner.y - frame, frame + width - corner.x + 1,
            frame + height - corner.y + 1, record.cornerSize / 2, record.cornerSize / 2);
        if (region != nullptr && SetWindowRgn(window, region, IsWindowVisible(window)) == 0)
            DeleteObject(region);
    }
    return EndDeferWindowPos(batch) != FALSE;
}

}  // namespace cs::toolkit
