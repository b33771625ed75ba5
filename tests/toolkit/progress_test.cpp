// The progress dialog: its window and controls, the spinner thread's life
// (one per value, stopped by the flag, ending by itself after close), the
// percentage ring, the vertical centring of the message and the growth made
// for the Cancel button.
#include "toolkit/progress.h"

#include <gtest/gtest.h>

#include <chrono>

#include "support.h"
#include "toolkit/controls.h"

namespace cs::toolkit::test {
namespace {

using std::chrono::steady_clock;

HWND ShowAndWait(TestWindow& window) {
    ShowWindow(window.window(), SW_SHOW);
    PumpUntil([&] { return IsWindowVisible(window.window()) != FALSE; });
    return window.window();
}

HWND Control(ProgressDialog& dialog, int32_t slot) {
    ControlRecord* control = FindControl(dialog.window, slot);
    return control != nullptr ? control->handle : nullptr;
}

RECT FormattingRect(HWND edit) {
    RECT rect{};
    SendMessageW(edit, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&rect));
    return rect;
}

TEST(Progress, OpenBuildsAHiddenDialogSharingTheOwnersEvents) {
    TestWindow owner;
    ASSERT_NE(owner.Create(L"TkProgressOwner", 600, 400), nullptr);
    ProgressDialog dialog;
    ProgressOpen(dialog, L"Preparing to delete...", &owner.record);
    HWND window = dialog.window.window;
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(dialog.window.events, &owner.events);
    EXPECT_EQ(ClientRect(window).right, 450);
    EXPECT_EQ(ClientRect(window).bottom, 90);
    EXPECT_EQ(dialog.indicatorSize, 70);
    EXPECT_EQ(dialog.indicator.size, 70);
    EXPECT_EQ(dialog.indicator.state, indicator::kPercentage) << "set to 0 at open";
    EXPECT_EQ(owner.record.ownedPopups[0], window);
    EXPECT_NE(dialog.indicator.taskbar, nullptr) << "the taskbar interface is there under Wine";
    const RECT message = RectInParent(Control(dialog, dialog.messageId));
    EXPECT_EQ(message.left, 90);
    EXPECT_EQ(message.right - message.left, 350);
    EXPECT_EQ(FindControl(dialog.window, dialog.headerId)->backColour, kNoBrushColour);
    wchar_t text[64] = {};
    GetWindowTextW(Control(dialog, dialog.messageId), text, 64);
    EXPECT_STREQ(text, L"Preparing to delete...");
    ProgressClose(dialog);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(dialog.messageId, -1);
    EXPECT_EQ(dialog.indicatorSize, 0);
}

TEST(Progress, OneSpinnerPerValueAndMinusOneChangesNothing) {
    ProgressDialog dialog;
    ProgressOpen(dialog, L"Scanning", nullptr);
    ASSERT_NE(dialog.window.window, nullptr);
    ProgressSetState(dialog, -80, nullptr);
    ASSERT_TRUE(SpinnerRunning(dialog.indicator));
    const DWORD first = GetThreadId(dialog.indicator.thread.Get());
    EXPECT_EQ(dialog.indicator.spinner.speed, 80);
    EXPECT_EQ(dialog.indicator.state, indicator::kSpinning);

    ProgressSetState(dialog, -80, nullptr);
    EXPECT_EQ(GetThreadId(dialog.indicator.thread.Get()), first) << "the same value spins on";
    ProgressSetState(dialog, progress::kUnchanged, L"Deleting the selected files...");
    EXPECT_EQ(GetThreadId(dialog.indicator.thread.Get()), first);
    EXPECT_EQ(dialog.indicator.value, -80);
    EXPECT_TRUE(SpinnerRunning(dialog.indicator));
    wchar_t text[64] = {};
    GetWindowTextW(Control(dialog, dialog.messageId), text, 64);
    EXPECT_STREQ(text, L"Deleting the selected files...");

    // A new speed replaces the thread only after the old one has ended.
    HANDLE old = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), dialog.indicator.thread.Get(),
                                GetCurrentProcess(), &old, SYNCHRONIZE, FALSE, 0));
    UniqueHandle oldThread(old);
    ProgressSetState(dialog, -150, nullptr);
    EXPECT_EQ(WaitForSingleObject(oldThread.Get(), 0), WAIT_OBJECT_0);
    EXPECT_NE(GetThreadId(dialog.indicator.thread.Get()), first);
    EXPECT_EQ(dialog.indicator.spinner.speed, 100);
    EXPECT_EQ(SpinnerStepDegrees(dialog.indicator.spinner.speed), 4);
    EXPECT_EQ(SpinnerStepDegrees(29), 1);
    EXPECT_EQ(SpinnerStepDegrees(30), 2);
    EXPECT_EQ(SpinnerStepDegrees(80), 3);
    ProgressClose(dialog);
}

TEST(Progress, SpinnerPaintsOnceShownAndEndsByItselfAfterClose) {
    ProgressDialog dialog;
    ProgressOpen(dialog, L"Scanning", nullptr);
    ProgressSetState(dialog, progress::kSpin, nullptr);
    ProgressShow(dialog);
    HWND indicatorControl = Control(dialog, dialog.indicatorId);
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(indicatorControl) != FALSE; }));
    // The arc (black on white) appears in the indicator.
    const bool painted = PumpUntil([&] {
        for (int x = 5; x < 65; x += 3) {
            for (int y = 5; y < 65; y += 3) {
                if (Red(ScreenPixel(indicatorControl, x, y)) < 0x40)
                    return true;
            }
        }
        return false;
    });
    EXPECT_TRUE(painted);

    HANDLE copy = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), dialog.indicator.thread.Get(),
                                GetCurrentProcess(), &copy, SYNCHRONIZE, FALSE, 0));
    UniqueHandle thread(copy);
    ASSERT_EQ(WaitForSingleObject(thread.Get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    // Closing neither hangs on the thread nor leaves it running: the thread
    // ends by itself once it notices the stop flag (or its control gone).
    // How soon depends on the machine's load, so the limits only tell a
    // hang or a thread that never ends from one that ends.
    const auto start = steady_clock::now();
    ProgressClose(dialog);
    EXPECT_LT(steady_clock::now() - start, kWaitLimit) << "closing waited on the spinner";
    EXPECT_EQ(WaitForSingleObject(thread.Get(), static_cast<DWORD>(kWaitLimit.count())),
              WAIT_OBJECT_0)
        << "the spinner thread runs on after the close";
    EXPECT_EQ(dialog.indicator.state, indicator::kIdle);
}

TEST(Progress, PercentageStopsTheSpinnerAndFillsTheRing) {
    ProgressDialog dialog;
    ProgressOpen(dialog, L"Working", nullptr);
    ProgressSetState(dialog, -80, nullptr);
    ASSERT_TRUE(SpinnerRunning(dialog.indicator));
    ProgressSetState(dialog, 40, nullptr);
    EXPECT_FALSE(SpinnerRunning(dialog.indicator));
    EXPECT_EQ(dialog.indicator.state, indicator::kPercentage);
    EXPECT_EQ(dialog.indicator.value, 40);
    HWND indicatorControl = Control(dialog, dialog.indicatorId);
    auto shown = [&] {
        return reinterpret_cast<HBITMAP>(
            SendMessageW(indicatorControl, STM_GETIMAGE, IMAGE_BITMAP, 0));
    };
    // The ring starts at 12 o'clock and runs clockwise: at 40 % it has not
    // reached 9 o'clock (the left middle), at 100 % it has.
    const uint32_t top = BitmapPixel(shown(), 36, 4);
    EXPECT_LT(Red(top), 0x60);
    EXPECT_GT(Blue(top), 0x80);
    EXPECT_EQ(BitmapPixel(shown(), 4, 35) & 0xFFFFFF, 0xFFFFFFu);
    ProgressSetState(dialog, 150, nullptr);
    EXPECT_EQ(dialog.indicator.value, 150) << "the taskbar gets the value unchanged";
    const uint32_t left = BitmapPixel(shown(), 4, 35);
    EXPECT_LT(Red(left), 0x60);
    EXPECT_GT(Blue(left), 0x80);
    ProgressClose(dialog);
}

TEST(Progress, MessageIsCentredVertically) {
    ProgressDialog dialog;
    ProgressOpen(dialog, L"One line", nullptr);
    HWND edit = Control(dialog, dialog.messageId);
    ASSERT_NE(edit, nullptr);
    const RECT client = ClientRect(edit);
    EXPECT_EQ(FormattingRect(edit).top, (client.bottom - 14) / 2);

    ProgressSetState(dialog, progress::kUnchanged, L"first\r\nsecond\r\nthird");
    ASSERT_EQ(SendMessageW(edit, EM_GETLINECOUNT, 0, 0), 3);
    const auto second = SendMessageW(edit, EM_LINEINDEX, 1, 0);
    const int distance = static_cast<short>(HIWORD(SendMessageW(edit, EM_POSFROMCHAR, second, 0))) -
                         static_cast<short>(HIWORD(SendMessageW(edit, EM_POSFROMCHAR, 0, 0)));
    ASSERT_GT(distance, 0);
    EXPECT_EQ(FormattingRect(edit).top, (client.bottom - 3 * distance) / 2);
    ProgressClose(dialog);
}

TEST(Progress, AddCancelGrowsTheDialogAndPlacesTheButton) {
    TestWindow owner;
    ASSERT_NE(owner.Create(L"TkProgressCancel", 600, 400), nullptr);
    ShowAndWait(owner);
    ProgressDialog dialog;
    ProgressOpen(dialog, L"Scanning", &owner.record);
    ProgressShow(dialog);
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(dialog.window.window) != FALSE; }));
    ProgressAddCancel(dialog);
    EXPECT_EQ(ClientRect(dialog.window.window).right, 450);
    EXPECT_EQ(ClientRect(dialog.window.window).bottom, 124);
    EXPECT_TRUE(IsWindowVisible(dialog.window.window)) << "a shown dialog is shown again";
    HWND cancel = Control(dialog, dialog.cancelId);
    ASSERT_NE(cancel, nullptr);
    const RECT rect = RectInParent(cancel);
    EXPECT_EQ(rect.left, 240);
    EXPECT_EQ(rect.top, 93);
    EXPECT_EQ(rect.right - rect.left, 180);
    EXPECT_EQ(rect.bottom - rect.top, 24);
    RECT region{};
    EXPECT_NE(GetWindowRgnBox(dialog.window.window, &region), ERROR);
    EXPECT_EQ(region.bottom, 124) << "the rounded outline follows the new height";

    // Pressing it reaches the owner's pump with the dialog as source.
    PostMessageW(cancel, BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitForEventCode(owner.events, dialog.cancelId));
    EXPECT_EQ(owner.events.window, &dialog.window);
    ProgressClose(dialog);
}

TEST(Progress, ShowOverAMinimisedOwnerLeavesItMinimised) {
    TestWindow owner;
    ASSERT_NE(owner.Create(L"TkProgressMinimised", 600, 400), nullptr);
    ShowAndWait(owner);
    ShowWindow(owner.window(), SW_MINIMIZE);
    ASSERT_TRUE(PumpUntil([&] { return IsIconic(owner.window()) != FALSE; }));
    ProgressDialog dialog;
    ProgressOpen(dialog, L"Scanning", &owner.record);
    ProgressShow(dialog);
    EXPECT_TRUE(IsWindowVisible(dialog.window.window));
    EXPECT_TRUE(IsIconic(owner.window()));
    ProgressClose(dialog);
}

}  // namespace
}  // namespace cs::toolkit::test
