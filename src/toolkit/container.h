// The container window procedure behind every toolkit window: it turns
// window messages into events in the window's EventRecord, paints the
// solid, skinned or stretched background (and the background behind
// transparent controls), keeps custom frames and rounded regions, lays the
// controls out again when the client size changes, moves owned popups along,
// collects dropped files and tracks the control under the mouse. Also the
// sub-window procedure and the double-buffered painting subclass. It does
// not create controls (window.h registers them) and runs no message loop
// (modal.h). User-interface thread only; no exception leaves a procedure.
#pragma once

#include <windows.h>

#include <cstdint>

#include "toolkit/controls.h"
#include "toolkit/window.h"

namespace cs::toolkit {

// Posted to a window by its WM_CLOSE and SC_CLOSE handling; the pumps turn
// it into the close event.
inline constexpr UINT WM_TK_CLOSE = 0x0CAE;

// Event codes written into the EventRecord. Positive codes are slots.
namespace event {
inline constexpr int32_t kSizeChanged = -4;
inline constexpr int32_t kFilesDropped = -5;
inline constexpr int32_t kClose = -6;
inline constexpr int32_t kMinimise = -7;
inline constexpr int32_t kRestore = -8;
inline constexpr int32_t kMaximise = -9;
inline constexpr int32_t kLeftDown = -10;
inline constexpr int32_t kLeftUp = -11;
inline constexpr int32_t kRightDown = -12;
inline constexpr int32_t kRightUp = -13;
inline constexpr int32_t kDoubleClick = -14;
inline constexpr int32_t kRightDoubleClick = -15;
inline constexpr int32_t kMouseMoved = -16;
inline constexpr int32_t kWheel = -17;
inline constexpr int32_t kNonClientDoubleClick = -18;
inline constexpr int32_t kActivated = -19;
inline constexpr int32_t kDeactivated = -20;
inline constexpr int32_t kHoverChanged = -21;
inline constexpr int32_t kContextMenu = -22;
inline constexpr int32_t kNonClientMouseLeft = -23;
inline constexpr int32_t kMoving = -24;
inline constexpr int32_t kMoved = -25;
inline constexpr int32_t kListReturn = -26;
inline constexpr int32_t kNonClientLeftDown = -27;
inline constexpr int32_t kNonClientLeftUp = -28;
inline constexpr int32_t kNonClientActivated = -29;
inline constexpr int32_t kNonClientDeactivated = -30;
inline constexpr int32_t kSessionEnding = -31;
inline constexpr int32_t kHorizontalScroll = -32;
inline constexpr int32_t kVerticalScroll = -33;
inline constexpr int32_t kHorizontalWheel = -34;
inline constexpr int32_t kItemSelected = -45;
inline constexpr int32_t kItemDeselected = -46;
inline constexpr int32_t kItemTicked = -47;
inline constexpr int32_t kItemUnticked = -48;
inline constexpr int32_t kItemDeleted = -49;
inline constexpr int32_t kListScrollBegan = -50;
inline constexpr int32_t kListScrollEnded = -51;
inline constexpr int32_t kItemLostFocus = -52;
inline constexpr int32_t kLabelEdited = -53;
inline constexpr int32_t kColumnClicked = -54;
inline constexpr int32_t kListSelectionChanged = -65;
inline constexpr int32_t kListDroppedDown = -66;
inline constexpr int32_t kListClosedUp = -67;
inline constexpr int32_t kListFocused = -68;
inline constexpr int32_t kListDoubleClicked = -69;
inline constexpr int32_t kListEdited = -70;
inline constexpr int32_t kEditUpdated = -75;
inline constexpr int32_t kEditChanged = -76;
inline constexpr int32_t kEditFocused = -77;
inline constexpr int32_t kEditUnfocused = -78;
inline constexpr int32_t kCharacter = -201;
inline constexpr int32_t kMenuLoopEntered = -206;
inline constexpr int32_t kMenuLoopLeft = -207;
inline constexpr int32_t kDeviceChange = -208;
inline constexpr int32_t kQueueClosed = -300;
}  // namespace event

struct ProcResult {
    LRESULT result = 0;
    bool handled = false;
};

// The whole message table; `handled` false means "pass on" (DefSubclassProc).
ProcResult ContainerProc(WindowRecord& record, HWND window, UINT message, WPARAM wParam,
                         LPARAM lParam);
// The subclass entry installed by CreateToolkitWindow (id = &record).
LRESULT CALLBACK ContainerSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR id, DWORD_PTR reference);
// Subclass of sub-windows: id = slot, reference = the owning WindowRecord.
LRESULT CALLBACK SubWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                               DWORD_PTR reference);
// Gives the control of `slot` the double-buffered painting subclass.
bool InstallDoubleBuffering(WindowRecord& record, int32_t slot);

bool LayoutControls(WindowRecord& record);

// The window's background becomes a solid colour (background mode solid),
// replacing the brush it had; the window is repainted at once.
bool SetWindowBackColour(WindowRecord& record, COLORREF colour);
// A pane's background: `image` repeated from the pane's top-left corner
// (the caller keeps the image). The controls in the pane show it behind
// them.
bool SetSubWindowPattern(WindowRecord& record, int32_t slot, Gdiplus::GpImage* image);
// The deepest visible child of `window` under the client point, or null.
HWND ChildFromPoint(HWND window, int x, int y);

}  // namespace cs::toolkit
