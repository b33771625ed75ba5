// Faults the program's own windows ran into at once when they were tried on
// the toolkit: keys after a tip, events handed over twice, accelerators on
// labels, colours in panes and edit boxes, tips that lose their end, the
// close of a tip, context-menu positions, lost quit requests and the
// progress dialog's spinner and taskbar target. Each drives real windows.
#include <windowsx.h>

#include <gtest/gtest.h>
#include <shobjidl.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "support.h"
#include "toolkit/controls.h"
#include "toolkit/msgbox.h"
#include "toolkit/progress.h"

namespace cs::toolkit::test {
namespace {

// Shows the window as the program shows its main window; false when it
// never became the foreground window.
bool ShowInFront(TestWindow& window) {
    ShowToolkitWindow(window.record, SW_SHOW, show::kUpdate | show::kForeground | show::kActivate);
    if (!BringToFront(window.window()))
        return false;
    window.events.activeWindow = &window.record;
    return true;
}

// What the window manager and the mouse cause on their own schedule.
bool IsWindowStateEvent(int32_t code) {
    switch (code) {
        case 0:
        case event::kActivated:
        case event::kDeactivated:
        case event::kNonClientActivated:
        case event::kNonClientDeactivated:
        case event::kMouseMoved:
        case event::kHoverChanged:
        case event::kNonClientMouseLeft:
        case event::kSizeChanged:
        case event::kMoved:
        case event::kMoving:
            return true;
        default:
            return false;
    }
}

// Runs non-blocking pump steps until an event other than a window-state one
// comes from `from`, returning its code (0 when none came in time).
int32_t NextEventFrom(EventRecord& events, const WindowRecord& from,
                      std::chrono::milliseconds limit = kWaitLimit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (!PumpOneMessage(events, false)) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
            continue;
        }
        if (!IsWindowStateEvent(events.code) && events.window == &from)
            return events.code;
    }
    return 0;
}

void PressKey(HWND window, UINT key) {
    PostMessageW(window, WM_KEYDOWN, key, 1);
    PostMessageW(window, WM_KEYUP, key, 0xC0000001);
}

// Gives the window one accelerator, `key` for `slot`, and shows it in front;
// false when it never became the foreground window.
bool WithAccelerator(TestWindow& window, UINT key, int32_t slot) {
    ACCEL keys[] = {{FVIRTKEY, static_cast<WORD>(key), static_cast<WORD>(slot)}};
    window.record.accelerators.Reset(CreateAcceleratorTableW(keys, 1));
    return ShowInFront(window);
}

TEST(InUse, AcceleratorsStillWorkWhileAndAfterATipIsShown) {
    TestWindow window;
    HWND hwnd = window.Create(L"TkTipKeys", 320, 200);
    const int32_t findNext =
        CreatePushButton(window.record, L"Find next (F3)", {.rect = {10, 10, 140, 26}});
    ASSERT_NE(findNext, 0);
    ASSERT_TRUE(WithAccelerator(window, VK_F3, findNext))
        << "the window never became the foreground window";
    PressKey(hwnd, VK_F3);
    ASSERT_EQ(NextEventFrom(window.events, window.record), findNext) << "before any tip";

    MsgBox box;
    for (int round = 1; round <= 2; ++round) {
        MsgBoxShow(box, &window.record, L"Find reached the end of the list", msgbox::kTip);
        ASSERT_NE(box.window.window, nullptr);
        PressKey(hwnd, VK_F3);
        EXPECT_EQ(NextEventFrom(window.events, window.record), findNext)
            << "with the tip open, round " << round;
        // The key's event closes the tip, as the program's pump does.
        EXPECT_TRUE(CloseTipOnEvent(box, window.events));
        PressKey(hwnd, VK_F3);
        EXPECT_EQ(NextEventFrom(window.events, window.record), findNext)
            << "after the tip, round " << round;
    }
}

// A worker thread sends the window a click (as the scan thread's list-view
// messages and a driver's BM_CLICK arrive) while the interface thread waits
// in GetMessageW; then the waking message comes.
int CountClicks(bool wakeWithNull) {
    TestWindow window;
    HWND hwnd = window.Create(wakeWithNull ? L"TkSentNull" : L"TkSentClose", 200, 100);
    const int32_t button = CreatePushButton(window.record, L"Start", {.rect = {10, 10, 80, 26}});
    HWND handle = window.record.controls[button].handle;
    PumpAll();
    std::thread worker([&] {
        SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                     reinterpret_cast<LPARAM>(handle));
        if (wakeWithNull)
            PostMessageW(hwnd, WM_NULL, 0, 0);
        PostMessageW(hwnd, WM_TK_CLOSE, 0, 0);
    });
    int clicks = 0;
    bool closed = false;
    for (int step = 0; step < 50 && !closed; ++step) {
        if (!WaitEvent(window.events))
            break;
        clicks += window.events.code == button ? 1 : 0;
        closed = window.events.code == event::kClose;
    }
    worker.join();
    return closed ? clicks : -1;
}

TEST(InUse, AnEventPostedWhileASentMessageIsServedIsReadExactlyOnce) {
    EXPECT_EQ(CountClicks(true), 1) << "woken by WM_NULL";
    EXPECT_EQ(CountClicks(false), 1) << "woken by a message with an event of its own";
}

TEST(InUse, AnAcceleratorOnALabelIsItsCommandNotADoubleClick) {
    TestWindow window;
    HWND hwnd = window.Create(L"TkLabelKey", 320, 120);
    const int32_t label =
        CreateLabel(window.record, L"2 - Analyze and select:", {.rect = {10, 10, 200, 20}});
    ASSERT_NE(label, 0);
    ASSERT_TRUE(WithAccelerator(window, VK_F6, label))
        << "the window never became the foreground window";
    PressKey(hwnd, VK_F6);
    EXPECT_EQ(NextEventFrom(window.events, window.record), label);
    // A real double click on the label keeps its own event.
    SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(label, STN_DBLCLK),
                 reinterpret_cast<LPARAM>(window.record.controls[label].handle));
    EXPECT_EQ(window.events.code, event::kDoubleClick);
    EXPECT_EQ(window.events.value, label);
}

TEST(InUse, ButtonsInAPaneShowThePanesColour) {
    constexpr COLORREF kPane = RGB(242, 244, 248);
    TestWindow window;
    HWND hwnd = window.Create(L"TkPaneButtons", 400, 200);
    const int32_t pane = CreateSubWindow(window.record, {.rect = {200, 0, 200, 200}});
    ASSERT_NE(pane, 0);
    SetControlBackColour(window.record, pane, static_cast<int32_t>(kPane));
    const int32_t radio =
        CreateRadioButton(window.record, L"Move to the recycle bin",
                          {.rect = {10, 10, 180, 20}, .parent = pane, .groupStart = true});
    const int32_t check =
        CreateCheckBox(window.record, L"Checked", {.rect = {10, 40, 180, 20}, .parent = pane});
    ASSERT_NE(check, 0);
    ShowWindow(hwnd, SW_SHOW);
    HWND paneWindow = window.record.controls[pane].handle;
    const uint32_t expected = 0xFF000000u | (GetRValue(kPane) << 16) | (GetGValue(kPane) << 8) |
                              GetBValue(kPane);
    // Right of the captions, inside the controls: the controls' own background.
    for (int32_t slot : {radio, check}) {
        const RECT rect = RectInParent(window.record.controls[slot].handle);
        const int x = rect.right - 4;
        const int y = (rect.top + rect.bottom) / 2;
        PumpUntil([&] { return ScreenPixel(paneWindow, x, y) == expected; }, kWaitLimit);
        EXPECT_EQ(ScreenPixel(paneWindow, x, y), expected) << "slot " << slot;
    }
}

TEST(InUse, AnEditBoxTakesItsTextColourWithoutABackColour) {
    TestWindow window;
    HWND hwnd = window.Create(L"TkEditGrey", 300, 80);
    const int32_t edit = CreateEditBox(window.record, L"Find WWW", {.rect = {10, 10, 200, 26}});
    ASSERT_NE(edit, 0);
    SetControlTextColour(window.record, edit, 0x909090);
    ShowWindow(hwnd, SW_SHOW);
    HWND handle = window.record.controls[edit].handle;
    int width = 0;
    int height = 0;
    int darkest = 255;
    auto read = [&] {
        darkest = 255;
        for (uint32_t pixel : CaptureClient(handle, width, height))
            darkest = std::min({darkest, Red(pixel), Green(pixel), Blue(pixel)});
        return darkest < 0xC0;  // the text is drawn
    };
    ASSERT_TRUE(PumpUntil(read, kWaitLimit)) << "no text was drawn";
    // Grey text on white: no pixel darker than the grey itself (black text
    // would reach 0).
    EXPECT_GE(darkest, 0x80);
}

// The rightmost column holding a light pixel (the tip's text is white on
// black), or -1.
int RightmostInk(const std::vector<uint32_t>& pixels, int width, int height) {
    int right = -1;
    for (int y = 0; y < height; ++y)
        for (int x = right + 1; x < width; ++x)
            if (Green(pixels[static_cast<size_t>(y) * width + x]) > 0x80)
                right = x;
    return right;
}

TEST(InUse, ATipShowsItsWholeText) {
    const wchar_t kText[] = L"The selected path was copied to the clipboard.";
    TestWindow owner;
    HWND hwnd = owner.Create(L"TkTipText", 500, 200);
    ShowWindow(hwnd, SW_SHOW);
    PumpUntil([&] { return IsWindowVisible(hwnd) != FALSE; });
    MsgBox box;
    MsgBoxShow(box, &owner.record, kText, msgbox::kTip);
    ControlRecord* message = FindControl(box.window, box.messageId);
    ASSERT_NE(message, nullptr);

    // The same text drawn on one line without any limit, in the same font.
    auto font = reinterpret_cast<HFONT>(SendMessageW(message->handle, WM_GETFONT, 0, 0));
    constexpr int kRefWidth = 800;
    constexpr int kRefHeight = 40;
    uint32_t* bits = nullptr;
    UniqueBitmap reference = CreateArgbDib(kRefWidth, kRefHeight, 0, &bits);
    WindowDc screen(nullptr);
    UniqueDc memory(CreateCompatibleDC(screen.Get()));
    {
        SelectGuard selectBitmap(memory.Get(), reference.Get());
        SelectGuard selectFont(memory.Get(), font);
        SetTextColor(memory.Get(), RGB(255, 255, 255));
        SetBkMode(memory.Get(), TRANSPARENT);
        RECT area{0, 0, kRefWidth, kRefHeight};
        DrawTextW(memory.Get(), kText, -1, &area, DT_SINGLELINE | DT_NOPREFIX | DT_LEFT | DT_TOP);
        GdiFlush();
    }
    const int expected =
        RightmostInk(std::vector<uint32_t>(bits, bits + kRefWidth * kRefHeight), kRefWidth,
                     kRefHeight);
    ASSERT_GT(expected, 0);

    int width = 0;
    int height = 0;
    int shown = -1;
    PumpUntil(
        [&] {
            const auto pixels = CaptureClient(message->handle, width, height);
            shown = RightmostInk(pixels, width, height);
            return shown >= expected - 1;
        },
        kWaitLimit);
    EXPECT_GE(shown, expected - 1) << "the control is " << width << " x " << height;
    MsgBoxClose(box);
}

TEST(InUse, ClickingATipClosesItWithoutAskingTheOwnerToClose) {
    TestWindow owner;
    HWND hwnd = owner.Create(L"TkTipClose", 400, 200);
    ShowWindow(hwnd, SW_SHOW);
    PumpUntil([&] { return IsWindowVisible(hwnd) != FALSE; });
    MsgBox box;
    MsgBoxShow(box, &owner.record,
               L"To get started, click 'Start a new scan' and then indicate the scan's\r\nroot "
               L"folder, file matching criteria and other scan options.",
               msgbox::kTip);
    ASSERT_NE(box.window.window, nullptr);
    PostMessageW(box.window.window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));

    // The program's loop: close the tip at its event, then act on the event.
    bool tipClosed = false;
    bool ownerWouldClose = false;
    const auto end = std::chrono::steady_clock::now() + kWaitLimit;
    while (!tipClosed && std::chrono::steady_clock::now() < end) {
        if (!PumpOneMessage(owner.events, false)) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
            continue;
        }
        tipClosed = CloseTipOnEvent(box, owner.events);
        ownerWouldClose = owner.events.code == event::kClose &&
                          (owner.events.window == &owner.record || owner.events.close != 0);
    }
    ASSERT_TRUE(tipClosed);
    EXPECT_EQ(box.window.window, nullptr);
    EXPECT_FALSE(ownerWouldClose) << "code " << owner.events.code << " close flag "
                                  << static_cast<int>(owner.events.close);
    EXPECT_EQ(owner.events.close, 0);

    // The owner's own close still reads as such.
    PostMessageW(hwnd, WM_CLOSE, 0, 0);
    EXPECT_EQ(NextEventFrom(owner.events, owner.record), event::kClose);
    EXPECT_EQ(owner.events.close, 1);
}

TEST(InUse, AContextMenuEventCarriesItsScreenPosition) {
    TestWindow window;
    HWND hwnd = window.Create(L"TkContextPoint", 400, 200);
    const int32_t list =
        CreateList(window.record, L" Full path\n File name\n Size", {.rect = {0, 0, 380, 180}});
    ASSERT_NE(list, 0);
    HWND handle = window.record.controls[list].handle;
    for (int row = 0; row < 3; ++row) {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.pszText = const_cast<wchar_t*>(L"row");
        ListView_InsertItem(handle, &item);
    }
    ShowWindow(hwnd, SW_SHOW);

    SendMessageW(hwnd, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(handle), MAKELPARAM(321, 234));
    EXPECT_EQ(window.events.code, event::kContextMenu);
    EXPECT_EQ(window.events.value, list);
    EXPECT_EQ(GET_X_LPARAM(window.events.data), 321);
    EXPECT_EQ(GET_Y_LPARAM(window.events.data), 234);

    // From the keyboard (-1, -1): below the focused row.
    ListView_SetItemState(handle, 1, LVIS_FOCUSED, LVIS_FOCUSED);
    RECT row{};
    ListView_GetItemRect(handle, 1, &row, LVIR_BOUNDS);
    POINT below{std::max<LONG>(row.left, 0), row.bottom};
    ClientToScreen(handle, &below);
    SendMessageW(hwnd, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(handle), MAKELPARAM(-1, -1));
    EXPECT_EQ(window.events.code, event::kContextMenu);
    EXPECT_EQ(GET_X_LPARAM(window.events.data), below.x);
    EXPECT_EQ(GET_Y_LPARAM(window.events.data), below.y);
}

bool QuitWaiting(int& code) {
    MSG message{};
    if (!PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE))
        return false;
    code = static_cast<int>(message.wParam);
    return true;
}

TEST(InUse, NoPumpLosesAQuitRequest) {
    TestWindow window;
    ASSERT_NE(window.Create(L"TkQuit", 200, 100), nullptr);
    int code = 0;
    PostQuitMessage(7);
    PumpAll();
    EXPECT_TRUE(QuitWaiting(code)) << "after PumpAll";
    DrainMessages(window.record);
    EXPECT_TRUE(QuitWaiting(code)) << "after a drain";
    // A nested wait ends on it, and the outer loop still gets it.
    if (QuitWaiting(code)) {
        EXPECT_FALSE(WaitEvent(window.events));
        EXPECT_TRUE(QuitWaiting(code)) << "after a nested wait";
        EXPECT_EQ(code, 7);
    }
    ForgetQuit();
}

// Counts distinct colours in the indicator while the spinner draws.
TEST(InUse, TheSpinnersArcIsAntiAliased) {
    TestWindow owner;
    HWND hwnd = owner.Create(L"TkSpinOwner", 500, 300);
    ShowWindow(hwnd, SW_SHOW);
    ProgressDialog dialog;
    ProgressOpen(dialog, L"Currently scanning...", &owner.record);
    ProgressSetState(dialog, progress::kSpin, nullptr);
    ProgressShow(dialog);
    ControlRecord* indicator = FindControl(dialog.window, dialog.indicatorId);
    ASSERT_NE(indicator, nullptr);
    size_t colours = 0;
    PumpUntil(
        [&] {
            int width = 0;
            int height = 0;
            std::vector<uint32_t> pixels = CaptureClient(indicator->handle, width, height);
            std::sort(pixels.begin(), pixels.end());
            colours = static_cast<size_t>(std::unique(pixels.begin(), pixels.end()) -
                                          pixels.begin());
            return colours > 8;
        },
        kWaitLimit);
    EXPECT_GT(colours, 8u) << "a two-colour arc has jagged edges";
    ProgressClose(dialog);
}

// Records where the dialog sends its taskbar progress. A COM interface is
// released, never deleted, so it has no virtual destructor to inherit.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#endif
class TaskbarRecorder : public ITaskbarList3 {
public:
    HWND stateWindow = nullptr;
    HWND valueWindow = nullptr;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE HrInit() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE AddTab(HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DeleteTab(HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ActivateTab(HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetActiveAlt(HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE MarkFullscreenWindow(HWND, BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetProgressValue(HWND window, ULONGLONG, ULONGLONG) override {
        valueWindow = window;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetProgressState(HWND window, TBPFLAG) override {
        stateWindow = window;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE RegisterTab(HWND, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE UnregisterTab(HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetTabOrder(HWND, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetTabActive(HWND, HWND, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ThumbBarAddButtons(HWND, UINT, LPTHUMBBUTTON) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ThumbBarUpdateButtons(HWND, UINT, LPTHUMBBUTTON) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ThumbBarSetImageList(HWND, HIMAGELIST) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetOverlayIcon(HWND, HICON, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetThumbnailTooltip(HWND, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetThumbnailClip(HWND, RECT*) override { return S_OK; }
};
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

TEST(InUse, TaskbarProgressGoesToTheOwnersTopLevelWindow) {
    TestWindow owner;
    HWND hwnd = owner.Create(L"TkTaskbarOwner", 500, 300);
    ShowWindow(hwnd, SW_SHOW);
    ProgressDialog dialog;
    ProgressOpen(dialog, L"Deleting the selected files...", &owner.record);
    ASSERT_NE(dialog.window.window, nullptr);
    if (dialog.indicator.taskbar != nullptr)
        dialog.indicator.taskbar->Release();
    TaskbarRecorder recorder;
    dialog.indicator.taskbar = &recorder;
    ProgressShow(dialog);
    ProgressSetState(dialog, 40, nullptr);
    EXPECT_EQ(recorder.valueWindow, hwnd) << "an owned popup has no taskbar button";
    ProgressSetState(dialog, progress::kSpin, nullptr);
    EXPECT_EQ(recorder.stateWindow, hwnd);
    ProgressClose(dialog);
    dialog.indicator.taskbar = nullptr;
}

}  // namespace
}  // namespace cs::toolkit::test
