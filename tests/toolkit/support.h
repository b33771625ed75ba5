// Helpers shared by the toolkit tests: a toolkit window with its own
// EventRecord, controls created the way the control operations create them,
// bounded waits that pump messages, and pixel read-back.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "toolkit/container.h"
#include "toolkit/handles.h"
#include "toolkit/modal.h"
#include "toolkit/window.h"

namespace cs::toolkit::test {

// Generous: Wine under a loaded machine can be slow, and a wait ends as soon
// as its condition holds; the limit only turns a hang into a failure.
inline constexpr std::chrono::milliseconds kWaitLimit{30000};

struct TestWindow {
    EventRecord events;
    WindowRecord record;

    TestWindow() { record.events = &events; }
    // A window at a fixed place (not centred) so tests do not depend on
    // where the window manager would put it.
    HWND Create(const wchar_t* className, int width, int height, DWORD style = kDefaultStyle,
                HWND owner = nullptr);
    HWND window() const { return record.window; }
};

// A child control through the toolkit's one creation path (WS_CHILD and
// WS_VISIBLE added to `style`), placed by `at` or, in the first form, in
// the window itself at (x, y, width, height).
int32_t AddControl(WindowRecord& record, ControlKind kind, const wchar_t* className,
                   const wchar_t* text, DWORD style, int x, int y, int width, int height);
int32_t AddControl(WindowRecord& record, ControlKind kind, const wchar_t* className,
                   const wchar_t* text, DWORD style, const Placement& at);

// Pumps (without blocking forever) until `done` holds; false on time-out.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = kWaitLimit);
// Runs pump steps on the record until an event with `code` arrives.
bool WaitForEventCode(EventRecord& events, int32_t code,
                      std::chrono::milliseconds limit = kWaitLimit);

// Resizes so that the client area becomes width × height.
bool SetClientSize(HWND window, int width, int height);
RECT ClientRect(HWND window);
// The control's rectangle in its parent's client coordinates.
RECT RectInParent(HWND control);

// 0xAARRGGBB of one pixel of a GDI bitmap (read as 32-bit top-down).
uint32_t BitmapPixel(HBITMAP bitmap, int x, int y);
// 0xAARRGGBB of one pixel of a GDI+ bitmap.
uint32_t ImagePixel(const GdipImage& image, int x, int y);
// COLORREF-free RGB triple of what the window shows at a client point.
uint32_t ScreenPixel(HWND window, int x, int y);

// What the window shows of its client area, 0xAARRGGBB row by row (alpha
// 0xFF); `width`/`height` receive the size. Empty when it cannot be read.
std::vector<uint32_t> CaptureClient(HWND window, int& width, int& height);
// The screen stays with the test that owns the display: raises the window
// and makes it the foreground window, again and again until it is (another
// window can take the foreground just then); false when it never was within
// kWaitLimit.
bool BringToFront(HWND window);

// Removes a quit request a test posted, so the next test does not inherit it.
void ForgetQuit();
// The text and width of a list view's column.
std::wstring ColumnHeading(HWND list, int column, int& width);

inline int Red(uint32_t argb) {
    return static_cast<int>((argb >> 16) & 0xFF);
}
inline int Green(uint32_t argb) {
    return static_cast<int>((argb >> 8) & 0xFF);
}
inline int Blue(uint32_t argb) {
    return static_cast<int>(argb & 0xFF);
}
inline int Alpha(uint32_t argb) {
    return static_cast<int>(argb >> 24);
}

}  // namespace cs::toolkit::test
