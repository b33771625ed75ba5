// Messages from the mouse, menus, links and popups, as the container window
// turns them into events, and the double-buffered painting of controls.
#include <gtest/gtest.h>

#include "support.h"
#include "toolkit/container.h"
#include "toolkit/drawing.h"

namespace cs::toolkit::test {
namespace {

using namespace Gdiplus::DllExports;

// An image button with painted faces whose colour tells the state apart.
int32_t AddImageButton(WindowRecord& record, int x, int y) {
    const int32_t slot = AddControl(record, ControlKind::kImageButton, L"Static", L"",
                                    SS_NOTIFY | SS_BITMAP | WS_TABSTOP, x, y, 40, 20);
    if (slot == 0)
        return 0;
    auto block = std::make_unique<ImageButtonState>();
    const uint32_t faces[] = {0xFF000080, 0xFF0000F0, 0xFF00F000, 0xFF808080};
    for (size_t i = 0; i < 4; ++i)
        block->bitmaps[i] = CreateArgbDib(40, 20, faces[i]);
    record.controls[slot].imageButton = std::move(block);
    return slot;
}

TEST(Hover, EnteringAndLeavingAControlMovesTheHoverLook) {
    TestWindow window;
    HWND hwnd = window.Create(L"TkHover", 200, 100);
    const int32_t button = AddImageButton(window.record, 10, 10);
    ASSERT_NE(button, 0);
    HWND handle = window.record.controls[button].handle;
    const LPARAM overClient = MAKELPARAM(HTCLIENT, WM_MOUSEMOVE);

    SendMessageW(hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(handle), overClient);
    EXPECT_EQ(window.events.code, event::kHoverChanged);
    EXPECT_EQ(window.events.value, button);
    EXPECT_EQ(window.record.hotControl, button);
    EXPECT_EQ(window.record.controls[button].imageButton->state, 1);

    // Moving within the same control is not a new event.
    window.events = EventRecord{};
    SendMessageW(hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(handle), overClient);
    EXPECT_EQ(window.events.pending, 0);

    SendMessageW(hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(hwnd), overClient);
    EXPECT_EQ(window.events.code, event::kHoverChanged);
    EXPECT_EQ(window.events.value, 0);
    EXPECT_EQ(window.record.hotControl, 0);
    EXPECT_EQ(window.record.controls[button].imageButton->state, 0);
}

TEST(Hover, WindowCursorWinsOverTheBareClientArea) {
    TestWindow window;
    HWND hwnd = window.Create(L"TkCursor", 200, 100);
    window.record.cursor = LoadCursorW(nullptr, IDC_HAND);
    EXPECT_EQ(SendMessageW(hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(hwnd),
                           MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)),
              TRUE);
    EXPECT_EQ(window.events.pending, 0);
}

TEST(ImageButton, StateRulesFallBackAndRespectDisabled) {
    TestWindow window;
    ASSERT_NE(window.Create(L"TkImageState", 200, 100), nullptr);
    const int32_t button = AddImageButton(window.record, 10, 10);
    ImageButtonState& block = *window.record.controls[button].imageButton;
    block.bitmaps[2].Reset();  // no focused face: falls back to hover
    ASSERT_TRUE(SetImageButtonState(window.record, button, 2, true));
    EXPECT_EQ(block.state, 1);
    ASSERT_TRUE(SetImageButtonState(window.record, button, 3, false));
    EXPECT_EQ(block.state, 3);
    EXPECT_FALSE(SetImageButtonState(window.record, button, 0, true)) << "disabled stays";
    EXPECT_TRUE(SetImageButtonState(window.record, button, 0, false));
    EXPECT_EQ(block.state, 0);
    EXPECT_FALSE(SetImageButtonState(window.record, button, 5, false));
    // The control shows the state's face.
    auto shown = reinterpret_cast<HBITMAP>(
        SendMessageW(window.record.controls[button].handle, STM_GETIMAGE, IMAGE_BITMAP, 0));
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(BitmapPixel(shown, 5, 5) & 0x00FFFFFFu, 0x000080u);
}

TEST(ImageButton, RemovingItTakesItsWindowAndFacesAway) {
    TestWindow window;
    ASSERT_NE(window.Create(L"TkImageRemove", 200, 100), nullptr);
    const int32_t button = AddImageButton(window.record, 10, 10);
    HWND handle = window.record.controls[button].handle;
    HBITMAP face = window.record.controls[button].imageButton->bitmaps[0].Get();
    ASSERT_TRUE(RemoveControl(window.record, button));
    // Left on screen, the button would stay clickable under an id that the
    // next control reuses.
    EXPECT_FALSE(IsWindow(handle));
    BITMAP info{};
    EXPECT_EQ(GetObjectW(face, sizeof(info), &info), 0);
}

TEST(Popups, OwnedPopupsMoveWithTheWindow) {
    TestWindow window;
    HWND hwnd = window.Create(L"TkPopupOwner", 200, 100);
    TestWindow popup;
    HWND popupWindow = popup.Create(L"TkPopup", 80, 40, WS_POPUP, hwnd);
    SetWindowPos(popupWindow, nullptr, 300, 300, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    window.record.ownedPopups[1] = popupWindow;  // entry 0 left empty on purpose
    window.record.ownedPopupCount = 2;
    RECT before{};
    GetWindowRect(hwnd, &before);
    SetWindowPos(hwnd, nullptr, before.left + 30, before.top + 20, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT moved{};
    GetWindowRect(popupWindow, &moved);
    EXPECT_EQ(moved.left, 330);
    EXPECT_EQ(moved.top, 320);
    // A resize that does not move leaves the popups alone.
    SetWindowPos(hwnd, nullptr, 0, 0, 300, 200, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    GetWindowRect(popupWindow, &moved);
    EXPECT_EQ(moved.left, 330);
}

TEST(WindowEvents, ContextMenuScrollAndWheelNameTheirControls) {
    TestWindow window;
    HWND hwnd = window.Create(L"TkWindowEvents", 200, 100);
    // The program makes no scroll bar kind of its own; any registered control
    // that scrolls is named by its slot.
    const int32_t bar =
        AddControl(window.record, ControlKind::kNone, L"ScrollBar", L"", SBS_VERT, 150, 0, 20, 100);
    HWND barHandle = window.record.controls[bar].handle;

    SendMessageW(hwnd, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(barHandle), -1);
    EXPECT_EQ(window.events.code, event::kContextMenu);
    EXPECT_EQ(window.events.value, bar);
    EXPECT_EQ(window.record.hotControl, bar);

    window.events = EventRecord{};
    SendMessageW(hwnd, WM_VSCROLL, SB_ENDSCROLL, reinterpret_cast<LPARAM>(barHandle));
    EXPECT_EQ(window.events.pending, 0) << "the end of a scroll is not an event";
    SendMessageW(hwnd, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 40),
                 reinterpret_cast<LPARAM>(barHandle));
    EXPECT_EQ(window.events.code, event::kVerticalScroll);
    EXPECT_EQ(window.events.value, bar);
    EXPECT_EQ(window.events.data, MAKEWPARAM(SB_THUMBPOSITION, 40));

    SendMessageW(hwnd, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(10, 10));
    EXPECT_EQ(window.events.code, event::kWheel);
    EXPECT_EQ(window.events.value, MAKEWPARAM(0, WHEEL_DELTA));
}

TEST(Links, ClickedLinkPutsItsTargetInTheEventText) {
    TestWindow window;
    HWND hwnd = window.Create(L"TkLink", 300, 100);
    const int32_t link = AddControl(window.record, ControlKind::kLink, WC_LINK,
                                    L"See <a href=\"https://example.invalid/a\">this</a>",
                                    WS_TABSTOP, 10, 10, 200, 20);
    ASSERT_NE(link, 0) << "SysLink needs the common controls 6 manifest";
    NMLINK click{};
    click.hdr.hwndFrom = window.record.controls[link].handle;
    click.hdr.idFrom = static_cast<UINT_PTR>(link);
    click.hdr.code = NM_CLICK;
    click.item.iLink = 0;
    wcscpy(click.item.szUrl, L"https://example.invalid/a");
    SendMessageW(hwnd, WM_NOTIFY, static_cast<WPARAM>(link), reinterpret_cast<LPARAM>(&click));
    EXPECT_EQ(window.events.code, link);
    EXPECT_EQ(window.events.value, 0);
    EXPECT_EQ(window.record.eventText, L"https://example.invalid/a");
    EXPECT_EQ(reinterpret_cast<const wchar_t*>(window.events.data),
              window.record.eventText.c_str());

    // A notification naming the slot but coming from another window is ignored.
    window.events = EventRecord{};
    click.hdr.hwndFrom = hwnd;
    SendMessageW(hwnd, WM_NOTIFY, static_cast<WPARAM>(link), reinterpret_cast<LPARAM>(&click));
    EXPECT_EQ(window.events.pending, 0);
}

TEST(Menus, MenuCommandsAndRemovalOfEntriesAndSubmenus) {
    TestWindow window;
    HWND hwnd = window.Create(L"TkMenus", 200, 100);
    WindowRecord& record = window.record;
    record.windowMenu.Reset(CreateMenu());
    HMENU bar = record.windowMenu.Get();
    HMENU submenu = CreatePopupMenu();

    // Slot 1: a submenu entry in the bar; slots 2, 3: entries of the submenu.
    ASSERT_TRUE(EnsureControlCapacity(record));
    const int32_t opener = RegisterControl(record, ControlKind::kSubmenuEntry, nullptr);
    record.controls[opener].menu = submenu;
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(submenu), L"File");
    for (int i = 0; i < 2; ++i) {
        const int32_t entry = RegisterControl(record, ControlKind::kMenuEntry, nullptr);
        record.controls[entry].menu = submenu;
        AppendMenuW(submenu, MF_STRING, static_cast<UINT_PTR>(entry), L"entry");
    }
    ASSERT_EQ(record.count, 3);

    SendMessageW(hwnd, WM_MENUCOMMAND, 1, reinterpret_cast<LPARAM>(submenu));
    EXPECT_EQ(window.events.code, 3);
    EXPECT_EQ(window.events.value, 1);
    EXPECT_EQ(window.events.data, reinterpret_cast<intptr_t>(submenu));

    ASSERT_TRUE(RemoveControl(record, 2));
    EXPECT_EQ(GetMenuItemCount(submenu), 1);
    ASSERT_TRUE(RemoveControl(record, opener));
    EXPECT_EQ(GetMenuItemCount(bar), 0) << "the opener left the bar";
    EXPECT_FALSE(IsMenu(submenu));
    EXPECT_EQ(FindControl(record, 3), nullptr) << "the submenu's entries were freed";
    EXPECT_EQ(record.count, 0);
}

TEST(Painting, DoubleBufferedControlStillShowsItsBackground) {
    TestWindow window;
    HWND hwnd = window.Create(L"TkDoubleBuffer", 200, 100, WS_POPUP);
    window.record.backColour = RGB(0xFF, 0, 0);
    const int32_t label = AddControl(window.record, ControlKind::kLabel, L"Static", L"", SS_NOTIFY,
                                     {.rect = {10, 10, 80, 30}, .layout = layout::kDoubleBuffered});
    ASSERT_NE(label, 0);
    HWND handle = window.record.controls[label].handle;
    ShowWindow(hwnd, SW_SHOWNOACTIVATE);
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(hwnd) != FALSE; }));
    RedrawWindow(hwnd, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_ERASENOW);
    // The buffer is drawn by WM_PRINT and copied in one piece: a buffer that
    // were never printed into would show black.
    EXPECT_EQ(ScreenPixel(handle, 40, 15), 0xFFFF0000u);
    EXPECT_EQ(SendMessageW(handle, WM_ERASEBKGND, 0, 0), 1);
}

TEST(CustomDraw, RowColourRecordSetsTextColourAndAsksForItsFont) {
    TestWindow window;
    HWND hwnd = window.Create(L"TkCustomDraw", 300, 200);
    const int32_t list = AddControl(window.record, ControlKind::kListView, WC_LISTVIEWW, L"",
                                    LVS_REPORT, 0, 0, 300, 200);
    ListRowData colours;
    colours.row.textColour = RGB(1, 2, 3);
    NMLVCUSTOMDRAW draw{};
    draw.nmcd.hdr.hwndFrom = window.record.controls[list].handle;
    draw.nmcd.hdr.idFrom = static_cast<UINT_PTR>(list);
    draw.nmcd.hdr.code = NM_CUSTOMDRAW;
    draw.nmcd.dwDrawStage = CDDS_PREPAINT;
    EXPECT_EQ(
        SendMessageW(hwnd, WM_NOTIFY, static_cast<WPARAM>(list), reinterpret_cast<LPARAM>(&draw)),
        CDRF_NOTIFYITEMDRAW);
    draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
    draw.nmcd.lItemlParam = reinterpret_cast<LPARAM>(&colours);
    draw.clrText = 0;
    EXPECT_EQ(
        SendMessageW(hwnd, WM_NOTIFY, static_cast<WPARAM>(list), reinterpret_cast<LPARAM>(&draw)),
        CDRF_NEWFONT);
    EXPECT_EQ(draw.clrText, RGB(1, 2, 3));
    // A row without a colour record is drawn as the list draws it.
    draw.nmcd.lItemlParam = 0;
    EXPECT_EQ(
        SendMessageW(hwnd, WM_NOTIFY, static_cast<WPARAM>(list), reinterpret_cast<LPARAM>(&draw)),
        CDRF_DODEFAULT);
}

}  // namespace
}  // namespace cs::toolkit::test

namespace cs::toolkit::test {
namespace {

// Wine's SysLink deletes the brush its parent hands it for its background;
// a shared brush (the window's own, or a cached pattern) would be gone for
// every later paint.
TEST(Links, PaintingALinkLeavesTheWindowsBrushesAlive) {
    for (bool skinned : {false, true}) {
        TestWindow window;
        HWND hwnd =
            window.Create(skinned ? L"TkLinkBrushSkin" : L"TkLinkBrush", 300, 120, WS_POPUP);
        if (skinned)
            ApplyWindowSkin(window.record, 300, 120, 0xFF000000, 0xFF00FF00, 0xFF00FF00, 0);
        const int32_t link = AddControl(window.record, ControlKind::kLink, WC_LINK,
                                        L"<a href=\"x\">link</a> text", 0, 10, 10, 200, 20);
        ASSERT_NE(link, 0);
        ShowWindow(hwnd, SW_SHOWNOACTIVATE);
        ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(hwnd) != FALSE; }));
        for (int i = 0; i < 2; ++i)
            RedrawWindow(hwnd, nullptr, nullptr,
                         RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        LOGBRUSH brush{};
        EXPECT_NE(GetObjectW(window.record.backgroundBrush, sizeof(brush), &brush), 0)
            << (skinned ? "skinned" : "plain");
        // The link's own background matches the window behind it.
        EXPECT_EQ(ScreenPixel(window.record.controls[link].handle, 195, 2),
                  ScreenPixel(hwnd, 250, 60))
            << (skinned ? "skinned" : "plain");
    }
}

}  // namespace
}  // namespace cs::toolkit::test
