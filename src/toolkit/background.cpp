// Backgrounds: erasing the client area, the brushes that make transparent
// controls show what lies behind them, edit colours, double-buffered
// painting and the background setters.
#include "toolkit/container_internal.h"

#include "toolkit/drawing.h"

namespace cs::toolkit {

using namespace detail;

namespace {

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

namespace detail {

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
    if (record.backgroundBrush == nullptr && record.backgroundMode != BackgroundMode::kStretchedSkin)
        return 1;
    ExcludeOwnBackgrounds(record, dc, window, nullptr, 0);
    RECT client{};
    GetClientRect(window, &client);
    if (record.backgroundMode == BackgroundMode::kStretchedSkin && record.memoryDc) {
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
        if (record.backgroundMode == BackgroundMode::kStretchedSkin && record.memoryDc) {
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
    } else if ((record.backgroundMode == BackgroundMode::kSkin || record.backgroundMode == BackgroundMode::kStretchedSkin) && record.memoryDc) {
        RECT rect{};
        RECT client{};
        if (GetWindowRect(control.handle, &rect) && GetClientRect(window, &client) &&
            client.right > 0 && client.bottom > 0) {
            MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
            int x = (rect.left + rect.right) / 2;
            int y = (rect.top + rect.bottom) / 2;
            if (record.backgroundMode == BackgroundMode::kStretchedSkin) {
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
    if (record.backgroundMode == BackgroundMode::kSkin || record.backgroundMode == BackgroundMode::kStretchedSkin) {
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

}  // namespace detail

bool InstallDoubleBuffering(WindowRecord& record, int32_t slot) {
    ControlRecord* control = FindControl(record, slot);
    if (control == nullptr || control->handle == nullptr)
        return false;
    return SetWindowSubclass(control->handle, DoubleBufferedProc, static_cast<UINT_PTR>(slot),
                             reinterpret_cast<DWORD_PTR>(&record)) != FALSE;
}

bool SetWindowBackColour(WindowRecord& record, COLORREF colour) {
    if (record.window == nullptr)
        return false;
    HBRUSH brush = CreateSolidBrush(colour);
    if (brush == nullptr)
        return false;
    if (record.backgroundMode != BackgroundMode::kBorrowedBrush && record.backgroundBrush != nullptr)
        DeleteObject(record.backgroundBrush);
    record.backgroundBrush = brush;
    record.backgroundMode = BackgroundMode::kSolid;
    // Transparent controls cache the part behind them; it has changed.
    record.secondBackground.Reset();
    RedrawWindow(record.window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_ERASENOW);
    return true;
}

}  // namespace cs::toolkit
