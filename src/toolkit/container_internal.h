// What the container window's files share: the small helpers every message
// handler uses and the handlers that ContainerProc and the sub-window
// procedure both dispatch to. Private to the toolkit; the public surface is
// container.h. User-interface thread only.
#pragma once

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <cstdint>

#include "toolkit/container.h"
#include "toolkit/controls.h"
#include "toolkit/window.h"

namespace cs::toolkit::detail {

// While the window is the foreground window, its accelerators and dialog
// navigation are the ones the pumps apply.
inline void SetActive(WindowRecord& record, HWND window) {
    if (record.events != nullptr && GetForegroundWindow() == window)
        record.events->activeWindow = &record;
}

inline void Post(WindowRecord& record, int32_t code, UINT message, HWND source, WPARAM value = 0,
          intptr_t data = 0) {
    PostEvent(record, code, message, source, static_cast<int32_t>(value), data);
}

inline bool IsImageButtonKind(ControlKind kind) {
    return kind == ControlKind::kImageButton;
}

inline bool RectInParent(HWND control, RECT& rect) {
    if (!GetWindowRect(control, &rect))
        return false;
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    return true;
}

inline void InvalidateInParent(HWND control) {
    RECT rect{};
    if (RectInParent(control, rect))
        InvalidateRect(GetParent(control), &rect, TRUE);
}

inline void SetHoverLook(WindowRecord& record, int32_t slot, int32_t state) {
    ControlRecord* control = FindControl(record, slot);
    if (control != nullptr && IsImageButtonKind(control->kind))
        SetImageButtonState(record, slot, state, true);
}

// Sends the left-button press on the caption to the system, which then
// moves the window as if its caption had been grabbed.
inline void StartWindowDrag(WindowRecord& record, HWND window) {
    if (record.customFrame != 0) {
        RECT client{};
        GetClientRect(window, &client);
        RECT band{0, 0, client.right, 50};
        InvalidateRect(window, &band, TRUE);
    }
    const DWORD position = GetMessagePos();
    SendMessageW(window, WM_NCLBUTTONDOWN, HTCAPTION, static_cast<LPARAM>(position));
}

// Backgrounds (background.cpp).
void ExcludeOwnBackgrounds(WindowRecord& record, HDC dc, HWND parent, const int32_t* slots,
                           int32_t slotCount);
LRESULT EraseBackground(WindowRecord& record, HWND window, HDC dc);
COLORREF SolidBrushColour(HBRUSH brush, COLORREF fallback);
ProcResult TransparentControlColour(WindowRecord& record, HWND window, HDC dc, HWND handle);
ProcResult EditControlColour(WindowRecord& record, HDC dc, HWND handle);

// Events (events.cpp).
ProcResult SetCursorAndHover(WindowRecord& record, HWND window, WPARAM wParam, LPARAM lParam);
ProcResult ControlCommand(WindowRecord& record, HWND window, WPARAM wParam, LPARAM lParam);
POINT ContextMenuPoint(HWND target, LPARAM lParam);
ProcResult Notification(WindowRecord& record, HWND window, LPARAM lParam);
void DropFiles(WindowRecord& record, HWND window, HDROP drop);

// Layout (layout.cpp).
void InvalidateMarkedControls(WindowRecord& record);

}  // namespace cs::toolkit::detail
