#include "toolkit/modal.h"

#include "toolkit/container.h"
#include "toolkit/worker.h"

namespace cs::toolkit {

namespace {

constexpr DWORD kTickMilliseconds = 20;

// The image button is a static control; Return reaching it with the focus
// must press it as it presses a push button.
bool PressesOnReturn(const ControlRecord& control) {
    return control.kind == ControlKind::kImageButton;
}

bool ReturnPressesButton(EventRecord& events, const MSG& message) {
    if (message.message != WM_KEYDOWN || message.wParam != VK_RETURN || events.window == nullptr)
        return false;
    WindowRecord& window = *events.window;
    const int32_t slot = SlotOfHandle(window, message.hwnd);
    ControlRecord* control = FindControl(window, slot);
    if (control == nullptr || !PressesOnReturn(*control))
        return false;
    SendMessageW(GetParent(message.hwnd), WM_COMMAND, MAKEWPARAM(slot, 0),
                 reinterpret_cast<LPARAM>(message.hwnd));
    return true;
}

void Deliver(EventRecord& events, MSG& message) {
    WindowRecord* active = events.activeWindow;
    if (active != nullptr && active->window != nullptr) {
        if (active->accelerators &&
            TranslateAcceleratorW(active->window, active->accelerators.Get(), &message))
            return;
        if (IsDialogMessageW(active->window, &message))
            return;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

DWORD WINAPI TickerThread(void* parameter) {
    auto window = static_cast<HWND>(parameter);
    while (IsWindow(window)) {
        PostMessageW(window, WM_NULL, 0, 0);
        Sleep(kTickMilliseconds);
    }
    return 0;
}

}  // namespace

bool PumpOneMessage(EventRecord& events, bool wait) {
    if (events.pending) {
        events.pending = 0;
        return true;
    }
    events.code = 0;
    events.source = nullptr;
    events.message = 0;
    events.value = 0;
    events.data = 0;
    events.messageCopy = MSG{};

    MSG message{};
    for (;;) {
        if (events.hasHeld) {
            message = events.held;
            events.hasHeld = 0;
        } else if (wait) {
            const BOOL got = GetMessageW(&message, nullptr, 0, 0);
            if (got == 0 || got == -1) {
                // Whoever runs the outer loop must see the end as well.
                if (got == 0)
                    PostQuitMessage(static_cast<int>(message.wParam));
                events.code = event::kQueueClosed;
                return false;
            }
        } else if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            return false;
        } else if (message.message == WM_QUIT) {
            // A drain must not swallow the end of the program.
            PostQuitMessage(static_cast<int>(message.wParam));
            return false;
        }
        // Both calls serve messages sent from other threads (the workers'
        // list-view messages, a driver's clicks) before they return; an
        // event one of those posted is this step's, and the message taken
        // waits for the next step.
        if (events.pending) {
            if (message.message != WM_NULL) {
                events.held = message;
                events.hasHeld = 1;
            }
            events.pending = 0;
            return true;
        }
        // A wake-up carries nothing: a waiting loop gets control back with
        // code 0 for its periodic work; a drain simply goes on.
        if (message.message != WM_NULL)
            break;
        if (wait) {
            events.messageCopy = message;
            return true;
        }
    }
    events.messageCopy = message;

    if (message.message == WM_TK_CLOSE) {
        events.code = event::kClose;
        events.message = WM_TK_CLOSE;
        events.source = message.hwnd;
        events.close = 1;
    }
    if (!ReturnPressesButton(events, message))
        Deliver(events, message);
    // The event this message produced is read by the caller right now; left
    // pending, the next step would hand the same event over a second time.
    events.pending = 0;
    return true;
}

bool WaitEvent(EventRecord& events, bool wait) {
    PumpOneMessage(events, wait);
    return events.code != event::kQueueClosed;
}

void DrainMessages(WindowRecord& record) {
    EventRecord* events = record.events;
    if (events == nullptr)
        return;
    for (;;) {
        if (events->pending) {
            events->pending = 0;
            continue;
        }
        if (!PumpOneMessage(*events, false))
            return;
        events->pending = 0;
        if (events->code == 0)
            return;
    }
}

bool ShowToolkitWindow(WindowRecord& record, int command, uint32_t flags) {
    HWND window = record.window;
    if (window == nullptr)
        return false;
    const bool wasVisible = (flags & show::kAsync) ? ShowWindowAsync(window, command) != FALSE
                                                   : ShowWindow(window, command) != FALSE;
    if (command != SW_HIDE) {
        if (flags & show::kUpdate)
            UpdateWindow(window);
        if (flags & show::kForeground) {
            BringWindowToTop(window);
            SetForegroundWindow(window);
        }
    }
    if (flags & show::kDrain)
        DrainMessages(record);
    if (flags & show::kActivate) {
        SendMessageW(window, WM_ACTIVATE, WA_CLICKACTIVE, 0);
        EnableWindow(window, TRUE);
    }
    if ((flags & (show::kActivate | show::kForeground)) && record.events != nullptr &&
        GetForegroundWindow() == window)
        record.events->activeWindow = &record;
    if (flags & show::kRedraw)
        RedrawWindow(window, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE);
    return wasVisible;
}

void CloseDialog(WindowRecord& dialog) {
    EventRecord* shared = dialog.events;
    if (shared == nullptr) {
        ShowToolkitWindow(dialog, SW_HIDE, 0);
        DestroyToolkitWindow(dialog);
        return;
    }
    const EventRecord saved = *shared;
    HWND window = dialog.window;
    ShowToolkitWindow(dialog, SW_HIDE, 0);
    DestroyToolkitWindow(dialog);
    DrainMessages(dialog);
    // Only a close request for another window is news for the loop that
    // goes on; the dialog's own is answered by closing it.
    const bool closeArrived = shared->close != 0 && shared->source != window &&
                              shared->window != &dialog;
    WindowRecord* activeAfter = shared->activeWindow;
    const MSG held = shared->held;
    const uint8_t hasHeld = shared->hasHeld;
    *shared = saved;
    shared->held = held;  // the drain has handled what was held
    shared->hasHeld = hasHeld;
    if (shared->window == &dialog)
        shared->close = 0;
    if (closeArrived)
        shared->close = 1;
    // The dialog has no window any more; restoring it as the active window
    // would leave the owner's accelerators and Tab navigation dead until
    // the owner is activated again.
    if (shared->activeWindow == &dialog)
        shared->activeWindow = activeAfter != &dialog ? activeAfter : nullptr;
}

bool PumpAll() {
    bool any = false;
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        any = true;
        if (message.message == WM_QUIT) {
            // Left for the loop that ends the program.
            PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return any;
}

UniqueHandle StartWakeTicker(HWND window) {
    if (window == nullptr || !IsWindow(window))
        return UniqueHandle();
    return StartThread(TickerThread, window);
}

BusyGuard::~BusyGuard() {
    EndBusy(*this);
}

namespace {

void SetRedraw(HWND window, bool on) {
    SendMessageW(window, WM_SETREDRAW, on ? TRUE : FALSE, 0);
    if (on)
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
}

}  // namespace

void BeginBusy(BusyGuard& guard, WindowRecord& window, int32_t firstSlot, int32_t lastSlot,
               int32_t keptSlot) {
    if (guard.active) {
        if (guard.window == &window && guard.firstSlot == firstSlot && guard.lastSlot == lastSlot &&
            guard.keptSlot == keptSlot)
            return;
        WindowRecord* previous = guard.window;
        const int32_t refocus = guard.refocusSlot;
        EndBusy(guard);
        if (ControlRecord* control = FindControl(*previous, refocus))
            SetFocus(control->handle);
    }

    const int32_t noted = SlotOfHandle(window, GetFocus());
    int32_t last = firstSlot;
    if (lastSlot >= firstSlot)
        last = lastSlot <= window.count ? lastSlot : window.count;

    guard.enabledBefore.clear();
    const bool visible = window.window != nullptr && IsWindowVisible(window.window);
    if (visible)
        SendMessageW(window.window, WM_SETREDRAW, FALSE, 0);
    bool notedDisabled = false;
    for (int32_t slot = firstSlot; slot <= last; ++slot) {
        ControlRecord* control = FindControl(window, slot);
        if (control == nullptr || slot == keptSlot || control->kind == ControlKind::kLabel ||
            control->kind == ControlKind::kLink)
            continue;
        if (GetControlEnabledState(window, slot) & kStateEnabled) {
            guard.enabledBefore.push_back(slot);
            notedDisabled = notedDisabled || slot == noted;
        }
        SetControlEnabledState(window, slot, kStateDisabled);
    }
    if (visible)
        SetRedraw(window.window, true);

    guard.active = true;
    guard.window = &window;
    guard.firstSlot = firstSlot;
    guard.lastSlot = lastSlot;
    guard.keptSlot = keptSlot;
    guard.refocusSlot = notedDisabled ? noted : 0;
    PumpAll();
}

void EndBusy(BusyGuard& guard) {
    if (!guard.active)
        return;
    guard.active = false;
    WindowRecord& window = *guard.window;
    const bool visible = window.window != nullptr && IsWindowVisible(window.window);
    if (visible)
        SendMessageW(window.window, WM_SETREDRAW, FALSE, 0);
    for (int32_t slot : guard.enabledBefore) {
        ControlRecord* control = FindControl(window, slot);
        if (control == nullptr || slot == guard.keptSlot || control->kind == ControlKind::kLabel)
            continue;
        SetControlEnabledState(window, slot, kStateEnabled);
    }
    if (visible)
        SetRedraw(window.window, true);
    PumpAll();
    guard.enabledBefore.clear();
}

}  // namespace cs::toolkit
