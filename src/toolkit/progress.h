// The progress dialog: a small framed popup with a busy indicator (a
// rotating arc drawn by a thread of its own, or a ring filled up to a
// percentage), a message centred vertically beside it and an optional
// "Cancel" button, mirrored on the taskbar when the shell's taskbar
// interface is there. It is modeless: the caller keeps pumping events,
// watches for the Cancel button's event and closes the dialog when its work
// has ended. Every function runs on the user-interface thread; the spinner
// thread reads nothing but its SpinnerParams and paints only its control.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "platform/win32/com.h"
#include "toolkit/drawing.h"
#include "toolkit/handles.h"
#include "toolkit/window.h"

struct ITaskbarList3;

namespace cs::toolkit {

namespace progress {
inline constexpr int32_t kUnchanged = -1;
// The speed both of the program's callers spin at.
inline constexpr int32_t kSpin = -80;
inline constexpr int32_t kMaxSpeed = 100;
inline constexpr int kWidth = 450;
inline constexpr int kHeight = 90;
inline constexpr int kIndicatorSize = 70;
}  // namespace progress

// Indicator states.
namespace indicator {
enum State : int32_t {
    kIdle = 0,
    kPercentage = 1,
    kSpinning = 2,
};
}  // namespace indicator

// The only data the spinner thread reads. The interface thread writes it
// only while no spinner thread runs; the stop flag is the one field both
// touch while it runs.
struct SpinnerParams {
    HWND control = nullptr;
    Argb arcColor = 0;
    COLORREF backColor = 0;
    int32_t size = 0;
    int32_t speed = 0;
    std::atomic<int32_t> stop{0};
    Gdiplus::GpImage* background = nullptr;  // borrowed; the program leaves it null
};

struct ProgressIndicator {
    ProgressIndicator();
    ~ProgressIndicator();
    ProgressIndicator(const ProgressIndicator&) = delete;
    ProgressIndicator& operator=(const ProgressIndicator&) = delete;

    int32_t controlId = -1;
    indicator::State state = indicator::kIdle;
    int32_t value = 0;
    int32_t size = 0;
    Argb ringColor = 0xFF1030A0;
    Argb arcColor = 0xFF000000;
    Argb backColor = 0xFFFFFFFF;
    WindowRecord* window = nullptr;
    SpinnerParams spinner;
    UniqueHandle thread;
    ITaskbarList3* taskbar = nullptr;
    HWND taskbarWindow = nullptr;  // the owner's top-level window, when there is one
    // The taskbar interface is a COM object; the apartment outlasts it.
    platform::win32::ComApartment apartment;
};

struct ProgressDialog {
    ProgressDialog() = default;
    ~ProgressDialog();
    ProgressDialog(const ProgressDialog&) = delete;
    ProgressDialog& operator=(const ProgressDialog&) = delete;

    int32_t indicatorId = -1;
    int32_t messageId = -1;
    int32_t cancelId = -1;
    int32_t secondButtonId = -1;
    int32_t headerId = -1;
    int32_t indicatorSize = 0;
    int32_t extraId = -1;
    Argb frameColor = 0xFF000000;
    Argb bodyColor = 0xFFFFFFFF;
    Argb bandColor = 0xFFFFFFFF;
    uint32_t textColor = 0;  // COLORREF
    Argb ringColor = 0xFF1030A0;
    int32_t cornerSize = 12;
    ProgressIndicator indicator;
    WindowRecord window;
    WindowRecord* owner = nullptr;
    // The dialog's events when its owner has none to share.
    EventRecord ownEvents;
};

// Creates the dialog and its controls, hidden.
ProgressDialog& ProgressOpen(ProgressDialog& dialog, const wchar_t* message, WindowRecord* owner);
// Below -1 spins at minus the value (at most 100); -1 leaves the indicator;
// 0 or more shows that percentage. A non-null text replaces the message.
ProgressDialog& ProgressSetState(ProgressDialog& dialog, int32_t value, const wchar_t* message);
ProgressDialog& ProgressAddCancel(ProgressDialog& dialog);
ProgressDialog& ProgressShow(ProgressDialog& dialog);
// Returns at once: the spinner thread ends by itself at its next frame.
ProgressDialog& ProgressClose(ProgressDialog& dialog);

// Degrees the arc turns per frame at `speed`.
int SpinnerStepDegrees(int32_t speed);
// True while the indicator's spinner thread has not ended.
bool SpinnerRunning(const ProgressIndicator& indicator);

}  // namespace cs::toolkit
