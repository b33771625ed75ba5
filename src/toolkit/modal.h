// The message loops the toolkit's windows are driven by: one pump step
// shared by all loops, the event wait, the non-blocking drains used when a
// window is shown, a control removed or a dialog closed, the plain pump for
// long work on the interface thread, the busy guard that disables a
// window's controls while work runs, and the wake-up ticker. There is no
// Win32 modal loop: a dialog shares its owner's EventRecord and the waiting
// code reads the events it cares about. Interface thread only, except the
// ticker's own thread, which only posts WM_NULL.
//
// The rule for close events. A close (code -6) names the window it closes in
// EventRecord::window, and the close flag marks the record until a control's
// event replaces it. Code that waits acts on a -6 only when that window is
// its own: a dialog, box or tip shares its owner's record, so the -6 of a
// tip that was clicked away reaches the owner's loop too. Closing a dialog
// (CloseDialog, MsgBoxClose) clears the close flag of the dialog's own
// events and keeps it only for a close request of another window that came
// in meanwhile; CloseTipOnEvent uses the tip's own close up entirely.
//
// Every event is handed over exactly once: an event posted by a message that
// another thread sent while a step waited is that step's, and the message
// the step then took is held for the next one. A quit request met by any
// step, drain or PumpAll is posted again for the loop that ends the program.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "toolkit/handles.h"
#include "toolkit/window.h"

namespace cs::toolkit {

// ShowToolkitWindow flags.
namespace show {
inline constexpr uint32_t kUpdate = 0x01;
inline constexpr uint32_t kForeground = 0x02;
inline constexpr uint32_t kActivate = 0x04;
inline constexpr uint32_t kAsync = 0x08;
inline constexpr uint32_t kDrain = 0x10;
inline constexpr uint32_t kRedraw = 0x20;
}  // namespace show

// One step: takes one message (waiting for it when `wait`), translates and
// dispatches it. Returns false when nothing more will come: the queue was
// closed (code -300) or, without waiting, it is empty.
bool PumpOneMessage(EventRecord& events, bool wait);
// One waiting step; false when the caller's loop must end (code -300).
bool WaitEvent(EventRecord& events, bool wait = true);
// Processes what is queued without blocking and discards the events.
void DrainMessages(WindowRecord& record);
// Returns whether the window was visible before.
bool ShowToolkitWindow(WindowRecord& record, int command, uint32_t flags);
// Hides, destroys and drains, leaving the shared EventRecord as it was
// except that a close request that arrived meanwhile is kept.
void CloseDialog(WindowRecord& dialog);
// Dispatches until the queue is empty; whether anything was processed.
bool PumpAll();

// Posts WM_NULL to the window every 20 ms for as long as it exists, so a
// waiting loop wakes up during long work. The thread ends by itself once
// the window is gone; the returned handle lets the caller wait for that.
UniqueHandle StartWakeTicker(HWND window);

// Disables a range of a window's controls while work runs. Destroying an
// active guard ends it.
struct BusyGuard {
    BusyGuard() = default;
    ~BusyGuard();
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

    bool active = false;
    WindowRecord* window = nullptr;
    int32_t firstSlot = 0;
    int32_t lastSlot = 0;
    int32_t keptSlot = 0;
    int32_t refocusSlot = 0;             // noted focus, when the guard disabled it
    std::vector<int32_t> enabledBefore;  // controls to enable again
};

void BeginBusy(BusyGuard& guard, WindowRecord& window, int32_t firstSlot, int32_t lastSlot,
               int32_t keptSlot);
void EndBusy(BusyGuard& guard);

}  // namespace cs::toolkit
