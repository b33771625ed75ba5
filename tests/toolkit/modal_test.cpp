#include "toolkit/modal.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "support.h"

namespace cs::toolkit::test {
namespace {

using std::chrono::steady_clock;

TEST(Pump, DrainOnAnEmptyQueueReturnsAtOnce) {
    TestWindow window;
    ASSERT_NE(window.Create(L"TkDrainEmpty", 100, 80), nullptr);
    PumpAll();
    // A drain that waited for a message would never come back on its own:
    // a message posted after the limit brings it back, and the time tells
    // whether it had to. The limit only bounds the hang; nothing but that
    // message can end a blocked drain, however loaded the machine.
    const auto start = steady_clock::now();
    std::atomic<bool> drained{false};
    std::thread rescuer([&] {
        const auto end = steady_clock::now() + kWaitLimit;
        while (!drained && steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (!drained)
            PostMessageW(window.window(), WM_APP, 0, 0);
    });
    DrainMessages(window.record);
    drained = true;
    rescuer.join();
    EXPECT_LT(steady_clock::now() - start, kWaitLimit);
}

TEST(Pump, DrainDiscardsTheEventsOfQueuedMessagesAndStopsAtTheFirstQuietOne) {
    TestWindow window;
    HWND hwnd = window.Create(L"TkDrainEvents", 100, 80);
    const int32_t button =
        AddControl(window.record, ControlKind::kPushButton, L"Button", L"b", 0, 5, 5, 50, 20);
    PumpAll();
    PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    PostMessageW(hwnd, WM_TK_CLOSE, 0, 0);
    PostMessageW(hwnd, WM_APP, 0, 0);  // produces no event: the drain stops here
    PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    DrainMessages(window.record);
    EXPECT_EQ(window.events.pending, 0);
    EXPECT_EQ(window.events.close, 1) << "the drained close request still marks the record";
    // The message after the quiet one is still queued for the next loop.
    ASSERT_TRUE(WaitForEventCode(window.events, button));
}

TEST(Pump, CloseRequestDuringLongWorkIsKeptAsTheCloseMark) {
    TestWindow window;
    HWND hwnd = window.Create(L"TkCloseDuringWork", 100, 80);
    PumpAll();
    window.events.close = 0;
    PostMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    // Long work pumps without looking at events.
    EXPECT_TRUE(PumpAll());
    EXPECT_TRUE(IsWindow(hwnd));
    EXPECT_EQ(window.events.close, 1);
    EXPECT_EQ(window.events.window, &window.record);
}

TEST(Pump, QuitMessageEndsTheWaitingLoop) {
    EventRecord events;
    PostQuitMessage(0);
    EXPECT_FALSE(WaitEvent(events, true));
    EXPECT_EQ(events.code, event::kQueueClosed);
    // The wait posts it again for an outer loop.
    ForgetQuit();
}

TEST(Pump, EventPostedOutsideTheLoopIsHandedOverOnce) {
    TestWindow window;
    HWND hwnd = window.Create(L"TkPendingOnce", 100, 80);
    ASSERT_NE(hwnd, nullptr);
    PumpAll();
    PostEvent(window.record, -4, WM_SIZE, hwnd, 0, 0);
    ASSERT_TRUE(WaitEvent(window.events, false));
    EXPECT_EQ(window.events.code, -4);
    EXPECT_EQ(window.events.pending, 0);
    PumpOneMessage(window.events, false);
    EXPECT_EQ(window.events.code, 0);
}

TEST(Pump, ReturnOnAFocusedImageButtonClicksIt) {
    TestWindow window;
    HWND hwnd = window.Create(L"TkReturnImage", 200, 100);
    const int32_t image = AddControl(window.record, ControlKind::kImageButton, L"Static", L"",
                                     SS_NOTIFY | SS_BITMAP | WS_TABSTOP, 10, 10, 160, 30);
    ASSERT_NE(image, 0);
    HWND handle = window.record.controls[image].handle;
    ShowWindow(hwnd, SW_SHOWNOACTIVATE);
    // The pump looks the control up in the window of the last event.
    PostEvent(window.record, -19, WM_ACTIVATE, hwnd, 0, 0);
    PumpOneMessage(window.events, false);
    PostMessageW(handle, WM_KEYDOWN, VK_RETURN, 0);
    ASSERT_TRUE(WaitForEventCode(window.events, image));
    EXPECT_EQ(window.events.message, static_cast<uint32_t>(WM_COMMAND));
    EXPECT_EQ(window.events.data, reinterpret_cast<intptr_t>(handle));
}

TEST(Pump, WakeTickerWakesTheWaitAndEndsWithTheWindow) {
    TestWindow window;
    HWND hwnd = window.Create(L"TkTicker", 100, 80);
    ASSERT_NE(hwnd, nullptr);
    UniqueHandle ticker = StartWakeTicker(hwnd);
    ASSERT_TRUE(ticker);
    // A blocking wait returns with code 0 on each wake-up.
    int wakeUps = 0;
    const auto end = steady_clock::now() + kWaitLimit;
    while (wakeUps < 3 && steady_clock::now() < end) {
        ASSERT_TRUE(WaitEvent(window.events, true));
        if (window.events.code == 0 && window.events.messageCopy.message == WM_NULL)
            ++wakeUps;
    }
    EXPECT_EQ(wakeUps, 3);
    ASSERT_TRUE(DestroyToolkitWindow(window.record));
    EXPECT_EQ(WaitForSingleObject(ticker.Get(), static_cast<DWORD>(kWaitLimit.count())),
              WAIT_OBJECT_0);
    PumpAll();
}

TEST(Dialogs, ClosingADialogKeepsTheSharedEventAndALateCloseRequest) {
    TestWindow main;
    HWND mainWindow = main.Create(L"TkDialogMain", 300, 200);
    ASSERT_NE(mainWindow, nullptr);
    const int32_t button =
        AddControl(main.record, ControlKind::kPushButton, L"Button", L"b", 0, 5, 5, 50, 20);
    PumpAll();

    WindowRecord dialog;
    dialog.events = &main.events;
    HWND dialogWindow = CreateToolkitWindow(dialog, L"TkDialog", L"dialog", 150, 100, kCentred,
                                            kCentred, kDefaultStyle, kDefaultExStyle, mainWindow);
    ASSERT_NE(dialogWindow, nullptr);
    ShowToolkitWindow(dialog, SW_SHOWNOACTIVATE, show::kDrain);

    // The event the main window's loop was about to read.
    PostEvent(main.record, button, WM_COMMAND, mainWindow, 0, 77);
    main.events.pending = 0;
    // A close request for the main window arrives while the dialog closes.
    PostMessageW(mainWindow, WM_TK_CLOSE, 0, 0);
    CloseDialog(dialog);
    EXPECT_FALSE(IsWindow(dialogWindow));
    EXPECT_EQ(main.events.code, button);
    EXPECT_EQ(main.events.data, 77);
    EXPECT_EQ(main.events.window, &main.record);
    EXPECT_EQ(main.events.close, 1);
}

TEST(Dialogs, CloseBoxOfADialogIsReadByTheDialogsWait) {
    TestWindow main;
    HWND mainWindow = main.Create(L"TkDialogMain2", 300, 200);
    WindowRecord dialog;
    dialog.events = &main.events;
    HWND dialogWindow = CreateToolkitWindow(dialog, L"TkDialog2", L"dialog", 150, 100, 20, 20,
                                            kDefaultStyle, kDefaultExStyle, mainWindow);
    ASSERT_NE(dialogWindow, nullptr);
    // The last event came from the main window.
    PostEvent(main.record, -16, WM_MOUSEMOVE, mainWindow, 0, 0);
    PumpOneMessage(main.events, false);
    PostMessageW(dialogWindow, WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitForEventCode(main.events, event::kClose));
    EXPECT_EQ(main.events.window, &dialog) << "the dialog's wait must see its own close";
    EXPECT_EQ(main.events.close, 1);
    CloseDialog(dialog);
}

TEST(Show, ShowReportsThePreviousVisibility) {
    TestWindow window;
    ASSERT_NE(window.Create(L"TkShow", 100, 80), nullptr);
    EXPECT_FALSE(ShowToolkitWindow(window.record, SW_SHOWNOACTIVATE, show::kUpdate | show::kDrain));
    EXPECT_TRUE(IsWindowVisible(window.window()));
    EXPECT_TRUE(ShowToolkitWindow(window.record, SW_HIDE, 0));
    EXPECT_FALSE(IsWindowVisible(window.window()));
}

struct BusyWindow {
    TestWindow window;
    int32_t first = 0;
    int32_t second = 0;
    int32_t disabled = 0;
    int32_t label = 0;
    int32_t kept = 0;

    void Create(const wchar_t* className) {
        ASSERT_NE(window.Create(className, 300, 200), nullptr);
        WindowRecord& record = window.record;
        first = AddControl(record, ControlKind::kPushButton, L"Button", L"1", 0, 5, 5, 50, 20);
        second = AddControl(record, ControlKind::kEdit, L"Edit", L"", WS_TABSTOP, 5, 30, 50, 20);
        disabled = AddControl(record, ControlKind::kPushButton, L"Button", L"3", WS_DISABLED, 5, 55,
                              50, 20);
        label = AddControl(record, ControlKind::kLabel, L"Static", L"4", 0, 5, 80, 50, 20);
        kept = AddControl(record, ControlKind::kPushButton, L"Button", L"5", 0, 5, 105, 50, 20);
        ShowWindow(window.window(), SW_SHOWNOACTIVATE);
    }
    bool Enabled(int32_t slot) {
        return IsWindowEnabled(window.record.controls[slot].handle) != FALSE;
    }
};

TEST(Busy, BeginTwiceDisablesNothingTwiceAndEndRestoresOnlyWhatWasEnabled) {
    BusyWindow busy;
    busy.Create(L"TkBusyTwice");
    BusyGuard guard;
    BeginBusy(guard, busy.window.record, 1, 99, busy.kept);
    EXPECT_FALSE(busy.Enabled(busy.first));
    EXPECT_FALSE(busy.Enabled(busy.second));
    EXPECT_TRUE(busy.Enabled(busy.label)) << "labels are left alone";
    EXPECT_TRUE(busy.Enabled(busy.kept)) << "the kept slot stays usable";
    const auto recorded = guard.enabledBefore;

    // Same window, range and kept slot: must not record the now disabled
    // controls as "disabled before".
    BeginBusy(guard, busy.window.record, 1, 99, busy.kept);
    EXPECT_EQ(guard.enabledBefore, recorded);

    EndBusy(guard);
    EXPECT_TRUE(busy.Enabled(busy.first));
    EXPECT_TRUE(busy.Enabled(busy.second));
    EXPECT_FALSE(busy.Enabled(busy.disabled)) << "was disabled before the guard";
    EXPECT_FALSE(guard.active);
}

TEST(Busy, RangeRules) {
    BusyWindow busy;
    busy.Create(L"TkBusyRange");
    {
        BusyGuard guard;
        BeginBusy(guard, busy.window.record, busy.second, busy.first, 0);  // last < first
        EXPECT_TRUE(busy.Enabled(busy.first));
        EXPECT_FALSE(busy.Enabled(busy.second));
        EXPECT_TRUE(busy.Enabled(busy.kept));
    }  // the guard ends with its scope
    EXPECT_TRUE(busy.Enabled(busy.second));
}

TEST(Busy, ReplacedGuardGivesTheFocusBack) {
    BusyWindow busy;
    busy.Create(L"TkBusyFocus");
    HWND hwnd = busy.window.window();
    HWND edit = busy.window.record.controls[busy.second].handle;
    // The focus belongs to whichever window is active on the display; the
    // window manager hands it on in its own time (to the window of the test
    // before, while that one goes). Only a round during which this window
    // stayed active says something about the guard, so a disturbed one is
    // repeated: for as long as any wait here, after which the test fails.
    const auto end = steady_clock::now() + kWaitLimit;
    while (steady_clock::now() < end) {
        if (!BringToFront(hwnd))
            continue;
        SetFocus(edit);
        PumpAll();
        if (GetFocus() != edit)
            continue;
        BusyGuard guard;
        BeginBusy(guard, busy.window.record, 1, 99, 0);
        const HWND whileBusy = GetFocus();
        // Another guard replaces it: the first one ends and the edit box,
        // which it had taken the focus from, gets it back.
        BeginBusy(guard, busy.window.record, busy.kept, busy.kept, 0);
        const HWND afterReplace = GetFocus();
        const bool secondEnabled = busy.Enabled(busy.second);
        const bool keptEnabled = busy.Enabled(busy.kept);
        EndBusy(guard);
        if (GetActiveWindow() != hwnd || GetForegroundWindow() != hwnd)
            continue;
        EXPECT_NE(whileBusy, edit);
        EXPECT_TRUE(secondEnabled);
        EXPECT_FALSE(keptEnabled);
        EXPECT_EQ(afterReplace, edit);
        return;
    }
    FAIL() << "this window never kept the focus long enough for the check";
}

}  // namespace
}  // namespace cs::toolkit::test
