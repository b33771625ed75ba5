// Sub-windows (panes): creating them and their procedure, which hands the
// events of the controls inside to the owning window and paints the
// pane's background behind them.
#include "toolkit/container_internal.h"

namespace cs::toolkit {

using namespace detail;

namespace {

constexpr wchar_t kSubWindowClass[] = L"_WINSUB_ WINDOW";

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
    if (pane != nullptr && pane->backgroundBrush) {
        // A pattern must line up with the pane's own painting of it.
        RECT rect{};
        if (RectInParent(handle, rect))
            SetBrushOrgEx(dc, -rect.left, -rect.top, nullptr);
        return {reinterpret_cast<LRESULT>(pane->backgroundBrush.Get()), true};
    }
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

int32_t CreateSubWindow(WindowRecord& record, const Placement& at) {
    if (record.window == nullptr || at.parent != 0)
        return 0;
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    if (!GetClassInfoExW(record.instance, kSubWindowClass, &existing) &&
        RegisterToolkitClass(record.instance, kSubWindowClass, nullptr) == 0)
        return 0;
    const int32_t slot = CreateStandardControl(record, ControlKind::kSubWindow, kSubWindowClass,
                                               L"", WS_CHILD | WS_VISIBLE, WS_EX_CONTROLPARENT, at);
    if (slot == 0)
        return 0;
    SetWindowSubclass(record.controls[slot].handle, SubWindowProc, static_cast<UINT_PTR>(slot),
                      reinterpret_cast<DWORD_PTR>(&record));
    return slot;
}

bool SetSubWindowPattern(WindowRecord& record, int32_t slot, Gdiplus::GpImage* image) {
    ControlRecord* pane = FindControl(record, slot);
    if (pane == nullptr || pane->kind != ControlKind::kSubWindow || image == nullptr)
        return false;
    HBITMAP converted = nullptr;
    if (Gdiplus::DllExports::GdipCreateHBITMAPFromBitmap(static_cast<Gdiplus::GpBitmap*>(image),
                                                         &converted, 0) != Gdiplus::Ok)
        return false;
    UniqueBitmap bitmap(converted);
    UniqueBrush pattern(CreatePatternBrush(bitmap.Get()));  // the brush keeps its own copy
    if (!pattern)
        return false;
    pane->backgroundBrush = std::move(pattern);
    pane->backColour = kDefaultColour;
    RedrawWindow(pane->handle, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_ERASENOW);
    return true;
}

}  // namespace cs::toolkit
