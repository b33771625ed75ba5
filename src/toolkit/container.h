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
// Window events; a positive code is instead the slot of the control whose
// event it is (a click, a menu choice, an accelerator).
enum Code : int32_t {
    kNone = 0,  // nothing pending
    // Never written into a record: the kind an Event reads a positive code
    // as, with the code itself as the event's slot.
    kCommand = 1,
    // Nothing in the toolkit writes these two; a tip lets them pass like the
    // other passive events, so they stay reserved rather than reused.
    kReserved1 = -1,
    kReserved3 = -3,
    kSizeChanged = -4,
    kFilesDropped = -5,
    kClose = -6,
    kMinimise = -7,
    kRestore = -8,
    kMaximise = -9,
    kLeftDown = -10,
    kLeftUp = -11,
    kRightDown = -12,
    kRightUp = -13,
    kDoubleClick = -14,
    kRightDoubleClick = -15,
    kMouseMoved = -16,
    kWheel = -17,
    kNonClientDoubleClick = -18,
    kActivated = -19,
    kDeactivated = -20,
    kHoverChanged = -21,
    kContextMenu = -22,
    kNonClientMouseLeft = -23,
    kMoving = -24,
    kMoved = -25,
    kListReturn = -26,
    kNonClientLeftDown = -27,
    kNonClientLeftUp = -28,
    kNonClientActivated = -29,
    kNonClientDeactivated = -30,
    kSessionEnding = -31,
    kHorizontalScroll = -32,
    kVerticalScroll = -33,
    kHorizontalWheel = -34,
    kItemSelected = -45,
    kItemDeselected = -46,
    kItemTicked = -47,
    kItemUnticked = -48,
    kItemDeleted = -49,
    kListScrollBegan = -50,
    kListScrollEnded = -51,
    kItemLostFocus = -52,
    kLabelEdited = -53,
    kColumnClicked = -54,
    kListSelectionChanged = -65,
    kListDroppedDown = -66,
    kListClosedUp = -67,
    kListFocused = -68,
    kListDoubleClicked = -69,
    kListEdited = -70,
    kEditUpdated = -75,
    kEditChanged = -76,
    kEditFocused = -77,
    kEditUnfocused = -78,
    kCharacter = -201,
    kMenuLoopEntered = -206,
    kMenuLoopLeft = -207,
    kDeviceChange = -208,
    kQueueClosed = -300,
};
}  // namespace event

// The pending event as the program reads it: what happened apart from which
// control it happened to. The record keeps the one code the pumps and the
// tip compare (a slot or a negative kind); this is the same event with the
// two told apart.
struct Event {
    event::Code kind = event::kNone;
    // The control the event concerns: the one clicked or chosen for a
    // command; the list, box or pane a notice comes from; 0 for the window
    // itself.
    int32_t slot = 0;
    // The window message's own value, where the event is not about a control
    // (the mouse keys, the wheel's delta); for a command its notification.
    int32_t value = 0;
    intptr_t data = 0;
    WindowRecord* window = nullptr;

    // Whether the event concerns the control of `control` (never slot 0,
    // which names no control).
    bool From(int32_t control) const { return control != 0 && slot == control; }
    bool IsCommand(int32_t control) const { return kind == event::kCommand && From(control); }
};

Event ReadEvent(const EventRecord& events);

struct ProcResult {
    LRESULT result = 0;
    bool handled = false;
};

// The whole message table; `handled` false means "pass on" (to the class's procedure).
ProcResult ContainerProc(WindowRecord& record, HWND window, UINT message, WPARAM wParam,
                         LPARAM lParam);
// The window procedure CreateToolkitWindow gives its windows in place of
// the class's, which it keeps in the record; the record is the window's user
// data. Not a comctl32 subclass: under Wine each subclass link costs a
// server round trip (GetProp) on every message, and a filling list sends its
// parent several notices per row.
LRESULT CALLBACK ContainerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
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
