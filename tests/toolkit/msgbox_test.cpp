// The message box and the tip: answers, layout, replacement, owners that
// are hidden, the tip's title, size and closing rules, the default button
// and the owned-popup table.
#include "toolkit/msgbox.h"

#include <gtest/gtest.h>

#include <chrono>

#include "support.h"
#include "toolkit/controls.h"

namespace cs::toolkit::test {
namespace {

HWND ShowAndWait(TestWindow& window) {
    ShowWindow(window.window(), SW_SHOW);
    PumpUntil([&] { return IsWindowVisible(window.window()) != FALSE; });
    return window.window();
}

// Presses a button of the open box once the wait has started, then pumps;
// gives up (ending the pump) when no answer came in time.
struct Presser {
    MsgBox* box = nullptr;
    int which = 1;  // 1 first, 2 second, 3 third button; 0 Escape
    bool pressed = false;
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::now() + kWaitLimit;
};

bool PressAndPump(EventRecord& events, void* context) {
    auto& presser = *static_cast<Presser*>(context);
    if (!presser.pressed) {
        presser.pressed = true;
        MsgBox& box = *presser.box;
        if (presser.which == 0) {
            HWND focus = GetFocus();
            PostMessageW(focus, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        } else {
            const int32_t ids[] = {box.firstButtonId, box.secondButtonId, box.thirdButtonId};
            ControlRecord* button =
                FindControl(box.window, ids[static_cast<size_t>(presser.which - 1)]);
            if (button == nullptr)
                return false;
            PostMessageW(button->handle, BM_CLICK, 0, 0);
        }
    }
    if (std::chrono::steady_clock::now() > presser.deadline)
        return false;
    PumpOneMessage(events, false);
    if (events.code == 0)
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    return true;
}

int32_t AskAndPress(MsgBox& box, msgbox::Kind kind, int which, WindowRecord* owner) {
    Presser presser;
    presser.box = &box;
    presser.which = which;
    return MsgBoxAsk(box, L"Are you sure?", kind, owner, nullptr, PressAndPump, &presser);
}

int CountThreadWindows(const wchar_t* className) {
    struct Search {
        const wchar_t* name;
        int count;
    } search{className, 0};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND candidate, LPARAM data) -> BOOL {
            auto* found = reinterpret_cast<Search*>(data);
            wchar_t name[64] = {};
            GetClassNameW(candidate, name, 64);
            if (lstrcmpW(name, found->name) == 0)
                ++found->count;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.count;
}

TEST(MsgBoxAsk, EachKindAnswersByButton) {
    TestWindow owner;
    ASSERT_NE(owner.Create(L"TkAskOwner", 500, 300), nullptr);
    ShowAndWait(owner);
    MsgBox box;
    EXPECT_EQ(AskAndPress(box, msgbox::kYesNo, 1, &owner.record), 1) << "Yes";
    EXPECT_EQ(AskAndPress(box, msgbox::kYesNo, 2, &owner.record), 0) << "No";
    EXPECT_EQ(AskAndPress(box, msgbox::kOkCancel, 1, &owner.record), 1) << "OK";
    EXPECT_EQ(AskAndPress(box, msgbox::kOkCancel, 2, &owner.record), -1) << "Cancel";
    EXPECT_EQ(AskAndPress(box, msgbox::kYesNoCancel, 2, &owner.record), -1) << "No";
    EXPECT_EQ(AskAndPress(box, msgbox::kYesNoCancel, 3, &owner.record), -1) << "Cancel";
    EXPECT_EQ(AskAndPress(box, msgbox::kOk, 1, &owner.record), 1) << "OK";
    // Answered boxes are closed.
    EXPECT_EQ(box.kind, msgbox::kNone);
    EXPECT_EQ(box.window.window, nullptr);
    EXPECT_EQ(CountThreadWindows(L"_WINDOW_MsgBoxClass"), 0);
}

TEST(MsgBoxAsk, EscapeRefusesInsteadOfPressingTheFirstButton) {
    TestWindow owner;
    ASSERT_NE(owner.Create(L"TkAskEscape", 500, 300), nullptr);
    ShowAndWait(owner);
    MsgBox box;
    // Escape reaches the box as IDCANCEL (2), the id of "Yes".
    EXPECT_EQ(AskAndPress(box, msgbox::kYesNo, 0, &owner.record), 0);
    EXPECT_EQ(AskAndPress(box, msgbox::kYesNoCancel, 0, &owner.record), -1);
}

TEST(MsgBoxAsk, EndedPumpAnswersMinus1000AndClosesTheBox) {
    MsgBox box;
    const int32_t answer = MsgBoxAsk(
        box, L"Closing", msgbox::kYesNo, nullptr, nullptr,
        [](EventRecord&, void*) { return false; }, nullptr);
    EXPECT_EQ(answer, msgbox::kPumpEnded);
    EXPECT_EQ(box.window.window, nullptr);
    EXPECT_EQ(box.kind, msgbox::kNone);
}

TEST(MsgBoxShow, BoxLayoutDefaultButtonFocusAndOwnerTable) {
    TestWindow owner;
    ASSERT_NE(owner.Create(L"TkBoxLayout", 600, 400), nullptr);
    ShowAndWait(owner);
    MsgBox box;
    MsgBoxShow(box, &owner.record, L"Delete?", msgbox::kYesNoCancel, msgbox::kHeight);
    ASSERT_NE(box.window.window, nullptr);
    EXPECT_EQ(ClientRect(box.window.window).right, 360);
    EXPECT_EQ(ClientRect(box.window.window).bottom, 150);
    EXPECT_EQ(box.window.events, &owner.events) << "events reach the owner's pump";
    EXPECT_EQ(GetWindow(box.window.window, GW_OWNER), owner.window());
    const int32_t ids[] = {box.firstButtonId, box.secondButtonId, box.thirdButtonId};
    const int xs[] = {30, 140, 250};
    const wchar_t* labels[] = {L"Yes", L"No", L"Cancel"};
    for (int i = 0; i < 3; ++i) {
        ControlRecord* button = FindControl(box.window, ids[i]);
        ASSERT_NE(button, nullptr);
        const RECT rect = RectInParent(button->handle);
        EXPECT_EQ(rect.left, xs[i]);
        EXPECT_EQ(rect.top, 115);
        EXPECT_EQ(rect.right - rect.left, 80);
        EXPECT_EQ(rect.bottom - rect.top, 25);
        EXPECT_EQ(GetControlText(box.window, ids[i]), labels[i]);
        EXPECT_EQ((GetWindowLongW(button->handle, GWL_STYLE) & BS_DEFPUSHBUTTON) != 0, i == 0);
    }
    const RECT message = RectInParent(FindControl(box.window, box.messageId)->handle);
    EXPECT_EQ(message.left, 20);
    EXPECT_EQ(message.bottom - message.top, 85);
    EXPECT_EQ(box.window.defaultButton, box.firstButtonId);
    EXPECT_EQ(GetFocus(), FindControl(box.window, box.firstButtonId)->handle);
    EXPECT_EQ(owner.record.ownedPopups[0], box.window.window);
    // Centred over the owner's client area.
    RECT ownerClient = ClientRect(owner.window());
    MapWindowPoints(owner.window(), nullptr, reinterpret_cast<POINT*>(&ownerClient), 2);
    RECT boxRect{};
    GetWindowRect(box.window.window, &boxRect);
    EXPECT_NEAR((boxRect.left + boxRect.right) / 2, (ownerClient.left + ownerClient.right) / 2, 1);
    EXPECT_NEAR((boxRect.top + boxRect.bottom) / 2, (ownerClient.top + ownerClient.bottom) / 2, 1);
    // The band behind the buttons is painted in its own colour.
    EXPECT_EQ(BitmapPixel(box.window.skinBitmap.Get(), 10, 140) & 0xFFFFFF, 0xF0F0FFu);
    EXPECT_EQ(BitmapPixel(box.window.skinBitmap.Get(), 10, 60) & 0xFFFFFF, 0xFFFFFFu);
    MsgBoxClose(box);
}

TEST(MsgBoxShow, SecondBoxReplacesTheFirst) {
    TestWindow owner;
    ASSERT_NE(owner.Create(L"TkBoxReplace", 500, 300), nullptr);
    ShowAndWait(owner);
    MsgBox box;
    MsgBoxShow(box, &owner.record, L"first", msgbox::kOk, msgbox::kHeight);
    HWND first = box.window.window;
    MsgBoxShow(box, &owner.record, L"second", msgbox::kYesNo, msgbox::kHeight);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(CountThreadWindows(L"_WINDOW_MsgBoxClass"), 1);
    EXPECT_EQ(GetControlText(box.window, box.messageId), L"second");
    MsgBoxClose(box);
}

TEST(MsgBoxShow, HiddenOwnerCentresTheBoxOnTheWorkAreaAndShowsNoTip) {
    TestWindow owner;
    ASSERT_NE(owner.Create(L"TkHiddenOwner", 300, 200), nullptr);
    MsgBox box;
    MsgBoxShow(box, &owner.record, L"Report", msgbox::kOk, msgbox::kHeight);
    ASSERT_NE(box.window.window, nullptr);
    EXPECT_EQ(GetWindow(box.window.window, GW_OWNER), nullptr);
    RECT area{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    RECT rect{};
    GetWindowRect(box.window.window, &rect);
    EXPECT_NEAR((rect.left + rect.right) / 2, (area.left + area.right) / 2, 1);
    EXPECT_NEAR((rect.top + rect.bottom) / 2, (area.top + area.bottom) / 2, 1);
    MsgBoxClose(box);

    EXPECT_EQ(MsgBoxAsk(box, L"Hint", msgbox::kTip, &owner.record), 1);
    EXPECT_EQ(box.window.window, nullptr);
    EXPECT_EQ(CountThreadWindows(L"_WndMsgTipClass"), 0);
}

TEST(Tip, TitleSplitPlacementAndLook) {
    TestWindow owner;
    ASSERT_NE(owner.Create(L"TkTipTitle", 500, 300), nullptr);
    ShowAndWait(owner);
    MsgBox box;
    MsgBoxShow(box, &owner.record, L"Copied||Clipboard", msgbox::kTip, msgbox::kHeight);
    ASSERT_NE(box.window.window, nullptr);
    wchar_t title[64] = {};
    GetWindowTextW(box.window.window, title, 64);
    EXPECT_STREQ(title, L"Clipboard");
    EXPECT_EQ(GetControlText(box.window, box.messageId), L"Copied");
    EXPECT_NE(GetFocus(), box.window.window) << "a tip takes no focus";
    EXPECT_TRUE(IsWindowVisible(box.window.window));
    RECT ownerRect{};
    GetWindowRect(owner.window(), &ownerRect);
    RECT tipRect{};
    GetWindowRect(box.window.window, &tipRect);
    EXPECT_EQ(tipRect.left, ownerRect.left + 24);
    EXPECT_EQ(tipRect.top, ownerRect.top + 16);
    // Black body, white outline, blue corner mark.
    HBITMAP skin = box.window.skinBitmap.Get();
    EXPECT_EQ(BitmapPixel(skin, 3, 3) & 0xFFFFFF, 0x6060FFu);
    EXPECT_EQ(BitmapPixel(skin, 1, 50) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(BitmapPixel(skin, 60, 40) & 0xFFFFFF, 0x000000u);

    // Escape and Return reach the tip as commands, which close it.
    ACCEL keys[4] = {};
    ASSERT_EQ(CopyAcceleratorTableW(box.window.accelerators.Get(), keys, 4), 2);
    EXPECT_EQ(keys[0].key, VK_ESCAPE);
    EXPECT_EQ(keys[0].cmd, box.messageId);
    EXPECT_EQ(keys[1].key, VK_RETURN);
    EXPECT_EQ(GetControlText(box.window, keys[1].cmd), L"Clipboard");
    EXPECT_EQ(GetWindowLongW(box.window.window, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);

    MsgBoxShow(box, &owner.record, L"No separator", msgbox::kTip, msgbox::kHeight);
    GetWindowTextW(box.window.window, title, 64);
    EXPECT_STREQ(title, L"Information");
    MsgBoxClose(box);
}

TEST(Tip, TopmostOnlyLikeItsOwner) {
    TestWindow owner;
    ASSERT_NE(CreateToolkitWindow(owner.record, L"TkTipTopmost", L"topmost owner", 300, 200, 40, 40,
                                  kDefaultStyle, WS_EX_TOPMOST, nullptr),
              nullptr);
    ShowAndWait(owner);
    ASSERT_NE(GetWindowLongW(owner.window(), GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    MsgBox box;
    MsgBoxShow(box, &owner.record, L"Hint", msgbox::kTip, msgbox::kHeight);
    ASSERT_NE(box.window.window, nullptr);
    EXPECT_NE(GetWindowLongW(box.window.window, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    MsgBoxClose(box);
}

TEST(Tip, SizeFollowsTheMeasuredLines) {
    EXPECT_EQ(TipSizeForLines({{300, 15}, {120, 15}, {80, 15}}).cx, 320);
    EXPECT_EQ(TipSizeForLines({{300, 15}, {120, 15}, {80, 15}}).cy, 93);
    EXPECT_EQ(TipSizeForLines({{20, 18}}).cx, 75) << "never narrower than 75";
    EXPECT_EQ(TipSizeForLines({{20, 18}}).cy, 63);

    TestWindow owner;
    ASSERT_NE(owner.Create(L"TkTipSize", 500, 300), nullptr);
    ShowAndWait(owner);
    MsgBox box;
    const wchar_t* text =
        L"first line of the tip\r\nsecond\r\nthird line, the longest of all three";
    MsgBoxShow(box, &owner.record, text, msgbox::kTip, msgbox::kHeight);
    ASSERT_NE(box.window.window, nullptr);
    HWND message = FindControl(box.window, box.messageId)->handle;
    WindowDc dc(message);
    SelectGuard font(dc.Get(), reinterpret_cast<HFONT>(SendMessageW(message, WM_GETFONT, 0, 0)));
    const wchar_t longest[] = L"third line, the longest of all three";
    SIZE extent{};
    GetTextExtentPoint32W(dc.Get(), longest, static_cast<int>(wcslen(longest)), &extent);
    // One average character of slack, so the static control does not wrap
    // the line's last word away.
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc.Get(), &metrics);
    const RECT client = ClientRect(box.window.window);
    EXPECT_EQ(client.right, extent.cx + metrics.tmAveCharWidth + 20);
    EXPECT_EQ(client.bottom, 3 * std::max<LONG>(16, extent.cy) + 45);
    const RECT messageRect = RectInParent(message);
    EXPECT_EQ(messageRect.right - messageRect.left, client.right - 20);
    EXPECT_EQ(messageRect.bottom - messageRect.top, client.bottom - 45);
    MsgBoxClose(box);
}

HHOOK g_hook = nullptr;
int g_createdTipHeight = 0;

LRESULT CALLBACK RecordTipCreation(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        auto* create = reinterpret_cast<CBT_CREATEWNDW*>(lParam)->lpcs;
        wchar_t name[64] = {};
        GetClassNameW(reinterpret_cast<HWND>(wParam), name, 64);
        if (lstrcmpW(name, L"_WndMsgTipClass") == 0)
            g_createdTipHeight = create->cy;
    }
    return CallNextHookEx(g_hook, code, wParam, lParam);
}

TEST(Tip, LowHeightIsRaisedBeforeTheTipIsFitted) {
    TestWindow owner;
    ASSERT_NE(owner.Create(L"TkTipHeight", 500, 300), nullptr);
    ShowAndWait(owner);
    g_hook = SetWindowsHookExW(WH_CBT, RecordTipCreation, nullptr, GetCurrentThreadId());
    ASSERT_NE(g_hook, nullptr);
    MsgBox box;
    MsgBoxShow(box, &owner.record, L"short", msgbox::kTip, 50);
    EXPECT_EQ(g_createdTipHeight, 75);
    MsgBoxShow(box, &owner.record, L"short", msgbox::kTip, 70);
    EXPECT_EQ(g_createdTipHeight, 70);
    UnhookWindowsHookEx(g_hook);
    MsgBoxClose(box);
}

TEST(Tip, PressesOnTheTipCloseItAndPassiveEventsDoNot) {
    TestWindow owner;
    ASSERT_NE(owner.Create(L"TkTipClose", 500, 300), nullptr);
    ShowAndWait(owner);
    MsgBox box;
    for (UINT press : {WM_LBUTTONDOWN, WM_RBUTTONDOWN}) {
        MsgBoxShow(box, &owner.record, L"Hint", msgbox::kTip, msgbox::kHeight);
        HWND tip = box.window.window;
        ASSERT_NE(tip, nullptr);
        // Moving over the owner is passive.
        PostMessageW(owner.window(), WM_MOUSEMOVE, 0, MAKELPARAM(100, 100));
        ASSERT_TRUE(WaitForEventCode(owner.events, event::kMouseMoved));
        EXPECT_FALSE(CloseTipOnEvent(box, owner.events));
        EXPECT_TRUE(IsWindowVisible(tip));

        PostMessageW(tip, press, 0, MAKELPARAM(20, 20));
        ASSERT_TRUE(WaitForEventCode(owner.events, event::kClose)) << "press " << press;
        EXPECT_EQ(owner.events.window, &box.window);
        EXPECT_TRUE(CloseTipOnEvent(box, owner.events));
        EXPECT_FALSE(IsWindow(tip));
        EXPECT_EQ(box.kind, msgbox::kNone);
    }
}

TEST(Tip, ClickOnAButtonClosesTheTipAndStillActs) {
    TestWindow owner;
    ASSERT_NE(owner.Create(L"TkTipButton", 500, 300), nullptr);
    const int32_t button = CreatePushButton(owner.record, L"Go", {.rect = {300, 200, 80, 25}});
    ShowAndWait(owner);
    MsgBox box;
    MsgBoxShow(box, &owner.record, L"Hint", msgbox::kTip, msgbox::kHeight);
    HWND tip = box.window.window;
    ASSERT_NE(tip, nullptr);
    PostMessageW(FindControl(owner.record, button)->handle, BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitForEventCode(owner.events, button));
    EXPECT_TRUE(CloseTipOnEvent(box, owner.events));
    EXPECT_FALSE(IsWindow(tip));
    EXPECT_EQ(owner.events.code, button) << "the click still reaches its command";
    EXPECT_EQ(owner.events.window, &owner.record);
}

TEST(DefaultButton, MovesTheDefaultStyleAndReturnsThePrevious) {
    TestWindow window;
    ASSERT_NE(window.Create(L"TkDefault", 300, 200), nullptr);
    const int32_t a = CreatePushButton(window.record, L"A", {.rect = {10, 10, 80, 25}});
    const int32_t b = CreatePushButton(window.record, L"B", {.rect = {10, 40, 80, 25}});
    auto isDefault = [&](int32_t slot) {
        return (GetWindowLongW(FindControl(window.record, slot)->handle, GWL_STYLE) &
                BS_DEFPUSHBUTTON) != 0;
    };
    EXPECT_EQ(SetDefaultButton(window.record, a), 0);
    EXPECT_TRUE(isDefault(a));
    EXPECT_EQ(SetDefaultButton(window.record, a), a) << "already the default";
    EXPECT_EQ(SetDefaultButton(window.record, b), a);
    EXPECT_FALSE(isDefault(a));
    EXPECT_TRUE(isDefault(b));
    EXPECT_EQ(SendMessageW(window.window(), DM_GETDEFID, 0, 0) & 0xFFFF, b);
    EXPECT_EQ(SetDefaultButton(window.record, 40), 0) << "free slot";
    EXPECT_EQ(window.record.defaultButton, b);
    EXPECT_EQ(SetDefaultButton(window.record, 0), 0);
    EXPECT_EQ(window.record.defaultButton, 0);
}

TEST(OwnedPopups, FirstFreeOrDeadEntryAndNothingWhenFull) {
    TestWindow owner;
    ASSERT_NE(owner.Create(L"TkOwnedTable", 200, 100), nullptr);
    std::vector<HWND> popups;
    for (int i = 0; i < kMaxOwnedPopups; ++i) {
        HWND popup = CreateWindowExW(0, L"Static", L"", WS_POPUP, 0, 0, 10, 10, owner.window(),
                                     nullptr, nullptr, nullptr);
        ASSERT_TRUE(EnterOwnedPopup(owner.record, popup));
        popups.push_back(popup);
    }
    EXPECT_EQ(owner.record.ownedPopupCount, kMaxOwnedPopups);
    HWND extra = CreateWindowExW(0, L"Static", L"", WS_POPUP, 0, 0, 10, 10, owner.window(), nullptr,
                                 nullptr, nullptr);
    EXPECT_FALSE(EnterOwnedPopup(owner.record, extra));
    DestroyWindow(popups[5]);
    EXPECT_TRUE(EnterOwnedPopup(owner.record, extra));
    EXPECT_EQ(owner.record.ownedPopups[5], extra) << "the dead window's entry is reused";
    DestroyWindow(extra);
    for (HWND popup : popups)
        DestroyWindow(popup);
}

}  // namespace
}  // namespace cs::toolkit::test
