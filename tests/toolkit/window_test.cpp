#include "toolkit/window.h"

#include <gtest/gtest.h>

#include "support.h"
#include "toolkit/drawing.h"

namespace cs::toolkit::test {
namespace {

bool ClassRegistered(const wchar_t* name) {
    WNDCLASSEXW info{};
    info.cbSize = sizeof(info);
    return GetClassInfoExW(GetModuleHandleW(nullptr), name, &info) != FALSE;
}

TEST(WindowLifecycle, SecondWindowOfAClassKeepsTheClassWhenDestroyed) {
    TestWindow first;
    TestWindow second;
    ASSERT_NE(first.Create(L"TkSharedClass", 100, 80), nullptr);
    EXPECT_FALSE(first.record.flags & kFlagClassExisted);
    ASSERT_NE(second.Create(L"TkSharedClass", 100, 80), nullptr);
    EXPECT_TRUE(second.record.flags & kFlagClassExisted);

    EXPECT_TRUE(DestroyToolkitWindow(second.record));
    EXPECT_TRUE(ClassRegistered(L"TkSharedClass"));
    EXPECT_TRUE(IsWindow(first.window()));
    // The class still creates windows for the first record's owner.
    TestWindow third;
    EXPECT_NE(third.Create(L"TkSharedClass", 100, 80), nullptr);
    DestroyToolkitWindow(third.record);

    EXPECT_TRUE(DestroyToolkitWindow(first.record));
    EXPECT_FALSE(ClassRegistered(L"TkSharedClass"));
}

TEST(WindowLifecycle, DestroyWithoutWindowReturnsFalseAndChangesNothing) {
    TestWindow window;
    window.record.fontSize = 12.5;
    window.record.count = 0;
    EXPECT_FALSE(DestroyToolkitWindow(window.record));
    EXPECT_EQ(window.record.fontSize, 12.5);
    EXPECT_EQ(window.record.events, &window.events);
}

TEST(WindowLifecycle, OuterSizeComesFromTheClientSize) {
    TestWindow window;
    HWND hwnd = CreateToolkitWindow(window.record, L"TkOuterSize", L"sized", 333, 222, 10, 10,
                                    WS_OVERLAPPEDWINDOW | WS_VSCROLL, 0, nullptr);
    ASSERT_NE(hwnd, nullptr);
    RECT client = ClientRect(hwnd);
    EXPECT_EQ(client.right, 333);
    EXPECT_EQ(client.bottom, 222);
    EXPECT_EQ(window.record.designClientSize.cx, 333);
    EXPECT_EQ(window.record.laidOutClient.bottom, 222);
    EXPECT_EQ(window.record.fontSize, 9.0);
    EXPECT_EQ(window.record.fontWeight, 400);
    EXPECT_STREQ(window.record.fontFace.data(), L"Arial");
    EXPECT_TRUE(window.record.memoryDc);
    EXPECT_NE(window.record.backgroundBrush, nullptr);
}

TEST(WindowLifecycle, CreatingAgainDestroysTheFormerWindow) {
    TestWindow window;
    HWND first = window.Create(L"TkRecreate", 100, 80);
    ASSERT_NE(first, nullptr);
    AddControl(window.record, ControlKind::kLabel, L"Static", L"a", 0, 0, 0, 50, 20);
    HWND second = window.Create(L"TkRecreate", 100, 80);
    ASSERT_NE(second, nullptr);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(window.record.count, 0);
}

TEST(WindowIcons, WindowWithoutOwnerCarriesTheProgramsIcon) {
    TestWindow window;
    HWND hwnd = window.Create(L"TkIconNoOwner", 100, 80);
    ASSERT_NE(hwnd, nullptr);
    auto big = reinterpret_cast<HICON>(SendMessageW(hwnd, WM_GETICON, ICON_BIG, 0));
    auto small = reinterpret_cast<HICON>(SendMessageW(hwnd, WM_GETICON, ICON_SMALL, 0));
    ASSERT_NE(big, nullptr);
    ASSERT_NE(small, nullptr);
    // The test program's icon resource is a solid 0x2080E0 square.
    UniqueBitmap pixels = IconToBitmap(big, 0, 0);
    ASSERT_TRUE(pixels);
    EXPECT_EQ(BitmapPixel(pixels.Get(), 10, 10) & 0x00FFFFFFu, 0x002080E0u);
    SIZE size{};
    ASSERT_TRUE(IconSize(small, size));
    EXPECT_EQ(size.cx, GetSystemMetrics(SM_CXSMICON));
}

TEST(WindowIcons, OwnedWindowCopiesTheOwnersIcons) {
    TestWindow owner;
    ASSERT_NE(owner.Create(L"TkIconOwner", 100, 80), nullptr);
    TestWindow dialog;
    ASSERT_NE(dialog.Create(L"TkIconOwned", 100, 80, kDefaultStyle, owner.window()), nullptr);
    auto ownerIcon = reinterpret_cast<HICON>(SendMessageW(owner.window(), WM_GETICON, ICON_BIG, 0));
    auto dialogIcon =
        reinterpret_cast<HICON>(SendMessageW(dialog.window(), WM_GETICON, ICON_BIG, 0));
    ASSERT_NE(dialogIcon, nullptr);
    // A copy, so destroying the dialog cannot destroy the owner's icon.
    EXPECT_NE(dialogIcon, ownerIcon);
    DestroyToolkitWindow(dialog.record);
    SIZE size{};
    EXPECT_TRUE(IconSize(ownerIcon, size));
}

TEST(ControlTable, NinePointFontHasHeightMinusTwelve) {
    EXPECT_EQ(FontHeightForPoints(9.0), -12);
    EXPECT_EQ(FontHeightForPoints(8.5), -11);
    TestWindow window;
    ASSERT_NE(window.Create(L"TkFonts", 200, 100), nullptr);
    const int32_t slot =
        AddControl(window.record, ControlKind::kLabel, L"Static", L"text", 0, 5, 5, 100, 20);
    ASSERT_NE(slot, 0);
    auto font = reinterpret_cast<HFONT>(
        SendMessageW(window.record.controls[slot].handle, WM_GETFONT, 0, 0));
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font, window.record.controls[slot].font.Get());
    LOGFONTW logical{};
    ASSERT_NE(GetObjectW(font, sizeof(logical), &logical), 0);
    EXPECT_EQ(logical.lfHeight, -12);
    EXPECT_EQ(logical.lfWeight, 400);
    EXPECT_FALSE(logical.lfItalic);
    EXPECT_STREQ(logical.lfFaceName, L"Arial");
    EXPECT_EQ(logical.lfQuality, PROOF_QUALITY);
}

TEST(ControlTable, FontSizeZeroKeepsTheSystemFont) {
    TestWindow window;
    ASSERT_NE(window.Create(L"TkSystemFont", 200, 100), nullptr);
    window.record.fontSize = 0.0;
    HWND plain = CreateWindowExW(0, L"Static", L"x", WS_CHILD, 0, 0, 10, 10, window.window(),
                                 nullptr, nullptr, nullptr);
    const auto systemFont = SendMessageW(plain, WM_GETFONT, 0, 0);
    DestroyWindow(plain);
    const int32_t slot =
        AddControl(window.record, ControlKind::kLabel, L"Static", L"text", 0, 5, 5, 100, 20);
    ASSERT_NE(slot, 0);
    EXPECT_FALSE(window.record.controls[slot].font);
    EXPECT_EQ(SendMessageW(window.record.controls[slot].handle, WM_GETFONT, 0, 0), systemFont);
}

TEST(ControlTable, FontBelowOnePointBecomesEightAndAHalf) {
    TestWindow window;
    ASSERT_NE(window.Create(L"TkSmallFont", 200, 100), nullptr);
    window.record.fontSize = 0.5;
    window.record.fontWeight = 0;
    window.record.fontStyle = 0x2 | 0x4;
    const int32_t slot =
        AddControl(window.record, ControlKind::kLabel, L"Static", L"text", 0, 5, 5, 100, 20);
    LOGFONTW logical{};
    ASSERT_NE(GetObjectW(window.record.controls[slot].font.Get(), sizeof(logical), &logical), 0);
    EXPECT_EQ(logical.lfHeight, -11);
    EXPECT_EQ(logical.lfWeight, 400);
    EXPECT_TRUE(logical.lfItalic);
    EXPECT_TRUE(logical.lfUnderline);
    EXPECT_FALSE(logical.lfStrikeOut);
}

TEST(ControlTable, RemovingTheHighestSlotLowersTheCountPastFreeSlots) {
    TestWindow window;
    ASSERT_NE(window.Create(L"TkSlotReuse", 200, 100), nullptr);
    int32_t slots[4] = {};
    for (int32_t& slot : slots)
        slot =
            AddControl(window.record, ControlKind::kPushButton, L"Button", L"b", 0, 0, 0, 20, 20);
    EXPECT_EQ(slots[0], 1);
    EXPECT_EQ(slots[3], 4);
    HWND removed = window.record.controls[3].handle;
    ASSERT_TRUE(RemoveControl(window.record, 3));
    EXPECT_FALSE(IsWindow(removed));
    EXPECT_EQ(window.record.count, 4);  // a lower slot does not shrink the table
    ASSERT_TRUE(RemoveControl(window.record, 2));
    ASSERT_TRUE(RemoveControl(window.record, 4));
    EXPECT_EQ(window.record.count, 1);
    const int32_t reused =
        AddControl(window.record, ControlKind::kLabel, L"Static", L"c", 0, 0, 0, 20, 20);
    EXPECT_EQ(reused, 2);
    EXPECT_EQ(GetWindowLongPtrW(window.record.controls[2].handle, GWLP_ID), 2);
    // Removing a free or out-of-range slot does nothing.
    EXPECT_FALSE(RemoveControl(window.record, 3));
    EXPECT_FALSE(RemoveControl(window.record, 0));
    EXPECT_FALSE(RemoveControl(window.record, 99));
}

TEST(ControlTable, LookupsAcceptOnlyTheHandleTheSlotHolds) {
    TestWindow window;
    ASSERT_NE(window.Create(L"TkLookups", 200, 100), nullptr);
    const int32_t first =
        AddControl(window.record, ControlKind::kPushButton, L"Button", L"a", 0, 0, 0, 20, 20);
    AddControl(window.record, ControlKind::kPushButton, L"Button", L"b", 0, 0, 0, 20, 20);
    HWND firstHandle = window.record.controls[first].handle;
    EXPECT_EQ(SlotOfHandle(window.record, firstHandle), first);
    // A foreign window that happens to carry the same id is not the control.
    HWND impostor =
        CreateWindowExW(0, L"Static", L"", WS_CHILD, 0, 0, 5, 5, window.window(),
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(first)), nullptr, nullptr);
    EXPECT_EQ(SlotOfHandle(window.record, impostor), 0);
    DestroyWindow(impostor);
    ASSERT_TRUE(RemoveControl(window.record, first));
    EXPECT_EQ(FindControl(window.record, first), nullptr);
    EXPECT_EQ(FindControl(window.record, -1), &window.record.controls[2]);
}

TEST(ControlTable, TableDoublesAndKeepsTheControls) {
    TestWindow window;
    ASSERT_NE(window.Create(L"TkCapacity", 200, 100), nullptr);
    window.record.fontSize = 0.0;  // 520 fonts would only slow the test down
    HWND firstHandle = nullptr;
    for (int i = 0; i < 520; ++i) {
        const int32_t slot =
            AddControl(window.record, ControlKind::kLabel, L"Static", L"", 0, 0, 0, 1, 1);
        ASSERT_EQ(slot, i + 1);
        if (i == 0)
            firstHandle = window.record.controls[1].handle;
    }
    EXPECT_EQ(window.record.capacity, 1024);
    EXPECT_EQ(window.record.controls[1].handle, firstHandle);
    EXPECT_EQ(SlotOfHandle(window.record, window.record.controls[520].handle), 520);
    EXPECT_TRUE(DestroyToolkitWindow(window.record));
    EXPECT_EQ(window.record.count, 0);
    // The table stays allocated for the next window of the record.
    EXPECT_EQ(window.record.capacity, 1024);
}

TEST(ControlTable, RegistrationTakesThePlacementAndTheWindowsColours) {
    TestWindow window;
    ASSERT_NE(window.Create(L"TkRegistration", 300, 200), nullptr);
    window.record.textColour = 0x00112233;
    window.record.backColour = 0x00445566;
    const int32_t slot =
        AddControl(window.record, ControlKind::kLabel, L"Static", L"x", 0,
                   {.rect = {10, 10, 50, 20}, .layout = 0x432, .groupStart = true});
    const ControlRecord& control = window.record.controls[slot];
    EXPECT_EQ(control.layoutFlags, 0x432);
    EXPECT_EQ(control.designClientSize.cx, 300);
    EXPECT_EQ(control.designClientSize.cy, 200);
    EXPECT_EQ(control.textColour, 0x00112233);
    EXPECT_TRUE(control.backgroundBrush);
    EXPECT_NE(GetWindowLongW(control.handle, GWL_STYLE) & WS_GROUP, 0);

    window.record.textColour = kDefaultColour;
    window.record.backColour = kDefaultColour;
    const int32_t plain = AddControl(window.record, ControlKind::kLabel, L"Static", L"y", 0,
                                     {.rect = {10, 40, 50, 20}, .layout = 0x400});  // not laid out
    const ControlRecord& other = window.record.controls[plain];
    EXPECT_EQ(GetWindowLongW(other.handle, GWL_STYLE) & WS_GROUP, 0) << "nothing carries over";
    EXPECT_EQ(other.designClientSize.cx, 0);
    EXPECT_EQ(other.textColour, static_cast<int32_t>(GetSysColor(COLOR_BTNTEXT)));
    EXPECT_FALSE(other.backgroundBrush);
}

TEST(SubWindows, ControlsJoinTheSubWindowAndLeaveWithIt) {
    TestWindow window;
    ASSERT_NE(window.Create(L"TkSubWindow", 300, 200), nullptr);
    const int32_t sub = CreateSubWindow(window.record, {.rect = {100, 0, 200, 200}});
    ASSERT_NE(sub, 0);
    HWND subHandle = window.record.controls[sub].handle;
    wchar_t className[64] = {};
    GetClassNameW(subHandle, className, 64);
    EXPECT_STREQ(className, L"_WINSUB_ WINDOW");
    EXPECT_EQ(CreateSubWindow(window.record, {.rect = {0, 0, 50, 50}, .parent = sub}), 0)
        << "panes do not nest";
    const RECT design = window.record.controls[sub].designRect;
    EXPECT_EQ(design.left, 100);
    EXPECT_EQ(design.right, 200);

    const int32_t inner = AddControl(window.record, ControlKind::kPushButton, L"Button", L"in", 0,
                                     {.rect = {5, 5, 50, 20}, .parent = sub});
    HWND innerHandle = window.record.controls[inner].handle;
    EXPECT_EQ(GetParent(innerHandle), subHandle);
    const int32_t outer =
        AddControl(window.record, ControlKind::kPushButton, L"Button", L"out", 0, 5, 5, 50, 20);
    EXPECT_EQ(GetParent(window.record.controls[outer].handle), window.window());
    ASSERT_TRUE(window.record.controls[sub].children);
    EXPECT_EQ(window.record.controls[sub].children->count, 1);

    ASSERT_TRUE(RemoveControl(window.record, outer));
    ASSERT_TRUE(RemoveControl(window.record, sub));
    EXPECT_FALSE(IsWindow(innerHandle));
    EXPECT_FALSE(IsWindow(subHandle));
    EXPECT_EQ(window.record.count, 0);
    EXPECT_EQ(AddControl(window.record, ControlKind::kLabel, L"Static", L"", 0,
                         {.rect = {0, 0, 5, 5}, .parent = sub}),
              0)
        << "the pane's slot is free";
}

TEST(SubWindows, ChildListStopsGrowingAtItsLimit) {
    TestWindow window;
    ASSERT_NE(window.Create(L"TkSubWindowFull", 300, 200), nullptr);
    window.record.fontSize = 0.0;
    const int32_t sub = CreateSubWindow(window.record, {.rect = {0, 0, 300, 200}});
    for (int i = 0; i < kMaxSubWindowChildren + 3; ++i)
        ASSERT_NE(AddControl(window.record, ControlKind::kLabel, L"Static", L"", 0,
                             {.rect = {0, 0, 1, 1}, .parent = sub}),
                  0);
    EXPECT_EQ(window.record.controls[sub].children->count, kMaxSubWindowChildren);
    EXPECT_TRUE(DestroyToolkitWindow(window.record));
}

TEST(Events, PostEventSetsPendingAndTheCloseFlag) {
    TestWindow window;
    ASSERT_NE(window.Create(L"TkPostEvent", 100, 80), nullptr);
    EventRecord& events = window.events;
    PostEvent(window.record, -6, WM_TK_CLOSE, window.window(), 0, 0);
    EXPECT_EQ(events.code, -6);
    EXPECT_EQ(events.pending, 1);
    EXPECT_EQ(events.close, 1);
    EXPECT_EQ(events.window, &window.record);
    PostEvent(window.record, -4, WM_SIZE, window.window(), 0, 0);
    EXPECT_EQ(events.close, 1) << "a window event keeps the close mark";
    PostEvent(window.record, 3, WM_COMMAND, window.window(), 0, 0);
    EXPECT_EQ(events.close, 0) << "a control event clears it";
    PostEvent(window.record, 0, 0, nullptr, 0, 0);
    EXPECT_EQ(events.pending, 0);
}

TEST(Events, WindowWithoutEventRecordIsInert) {
    WindowRecord record;
    HWND hwnd = CreateToolkitWindow(record, L"TkInert", L"inert", 100, 80, 10, 10, kDefaultStyle,
                                    kDefaultExStyle, nullptr);
    ASSERT_NE(hwnd, nullptr);
    PostEvent(record, 5, 0, nullptr, 0, 0);
    // WM_CLOSE passes on to the default procedure, which destroys the window.
    SendMessageW(hwnd, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(hwnd));
}

}  // namespace
}  // namespace cs::toolkit::test
