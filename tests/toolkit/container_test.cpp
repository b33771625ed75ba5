#include "toolkit/container.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "support.h"
#include "toolkit/drawing.h"

namespace cs::toolkit::test {
namespace {

void ExpectRect(const RECT& rect, int x, int y, int width, int height) {
    EXPECT_EQ(rect.left, x);
    EXPECT_EQ(rect.top, y);
    EXPECT_EQ(rect.right - rect.left, width);
    EXPECT_EQ(rect.bottom - rect.top, height);
}

// A window 400 × 300 with one button laid out by `flags` at (x, y, w, h).
struct LayoutCase {
    TestWindow window;
    int32_t slot = 0;
    HWND control = nullptr;

    void Create(const wchar_t* className, int32_t flags, int x, int y, int w, int h) {
        ASSERT_NE(window.Create(className, 400, 300, WS_OVERLAPPEDWINDOW), nullptr);
        slot = AddControl(window.record, ControlKind::kPushButton, L"Button", L"b", 0,
                          {.rect = {x, y, w, h}, .layout = flags});
        ASSERT_NE(slot, 0);
        control = window.record.controls[slot].handle;
    }
};

TEST(Layout, WithoutLayoutFlagsNothingMoves) {
    LayoutCase layout;
    layout.Create(L"TkLayoutNone", 0, 10, 20, 100, 30);
    ASSERT_TRUE(SetClientSize(layout.window.window(), 500, 350));
    ASSERT_EQ(ClientRect(layout.window.window()).right, 500);
    ExpectRect(RectInParent(layout.control), 10, 20, 100, 30);
}

TEST(Layout, RightFlagAloneKeepsTheRightMargin) {
    LayoutCase layout;
    layout.Create(L"TkLayoutRight", 0x0002, 290, 20, 100, 30);
    ASSERT_TRUE(SetClientSize(layout.window.window(), 460, 300));
    ExpectRect(RectInParent(layout.control), 350, 20, 100, 30);
}

TEST(Layout, LeftAndRightStretchTheWidth) {
    LayoutCase layout;
    layout.Create(L"TkLayoutStretch", 0x0003, 10, 20, 100, 30);
    ASSERT_TRUE(SetClientSize(layout.window.window(), 460, 300));
    ExpectRect(RectInParent(layout.control), 10, 20, 160, 30);
}

TEST(Layout, ListFillingTheWindowStretchesBothWays) {
    LayoutCase layout;
    layout.Create(L"TkLayout433", 0x433, 0, 0, 300, 300);
    ASSERT_TRUE(SetClientSize(layout.window.window(), 450, 380));
    ExpectRect(RectInParent(layout.control), 0, 0, 350, 380);
}

TEST(Layout, SidePanelKeepsItsWidthOnTheRightAndStretchesDown) {
    LayoutCase layout;
    layout.Create(L"TkLayout432", 0x432, 300, 0, 100, 300);
    ASSERT_TRUE(SetClientSize(layout.window.window(), 450, 380));
    ExpectRect(RectInParent(layout.control), 350, 0, 100, 380);
}

TEST(Layout, ScaleAndCentreRulesUseIntegerDivisionInOrder) {
    LayoutCase scaled;
    // 0x2000 | 0x4000 | 0x100 | 0x200: position and size scale.
    scaled.Create(L"TkLayoutScale", 0x6300, 30, 40, 70, 50);
    ASSERT_TRUE(SetClientSize(scaled.window.window(), 533, 401));
    // x 30 × 533 / 400 = 39; w 533 × 70 / 400 = 93; y 40 × 401 / 300 = 53;
    // h 401 × 50 / 300 = 66.
    ExpectRect(RectInParent(scaled.control), 39, 53, 93, 66);

    LayoutCase centred;
    // 0x0004 | 0x0040: keep the offset of the centre from the window's centre.
    centred.Create(L"TkLayoutCentre", 0x0044, 150, 100, 101, 51);
    ASSERT_TRUE(SetClientSize(centred.window.window(), 501, 331));
    // x = 501/2 + 150 + 101/2 − 400/2 − 101/2 = 250 + 150 + 50 − 200 − 50.
    ExpectRect(RectInParent(centred.control), 200, 115, 101, 51);

    LayoutCase proportional;
    // 0x0008 | 0x0080: centre keeps its relative position.
    proportional.Create(L"TkLayoutProp", 0x0088, 90, 40, 20, 20);
    ASSERT_TRUE(SetClientSize(proportional.window.window(), 800, 600));
    // centre x 100: 800 × 1000 / (400 × 1000 / 100) − 10 = 190;
    // centre y 50: 600 × 1000 / (300 × 1000 / 50) − 10 = 90.
    ExpectRect(RectInParent(proportional.control), 190, 90, 20, 20);
}

TEST(Layout, ProportionalCentreAtZeroKeepsTheControlWhereItIs) {
    LayoutCase layout;
    layout.Create(L"TkLayoutPropZero", 0x0008 | 0x0010, -10, 20, 20, 30);
    SetWindowPos(layout.control, nullptr, 5, 20, 20, 30, SWP_NOZORDER);
    ASSERT_TRUE(SetClientSize(layout.window.window(), 500, 300));
    ExpectRect(RectInParent(layout.control), 5, 20, 20, 30);
}

TEST(Layout, TheSameClientSizeTwiceMovesNothing) {
    LayoutCase layout;
    layout.Create(L"TkLayoutSame", 0x0003, 10, 20, 100, 30);
    ASSERT_TRUE(SetClientSize(layout.window.window(), 460, 300));
    ExpectRect(RectInParent(layout.control), 10, 20, 160, 30);
    // Moved by someone else after the pass: a pass for the same size must
    // leave it alone instead of repeating the moves.
    SetWindowPos(layout.control, nullptr, 77, 88, 20, 20, SWP_NOZORDER);
    EXPECT_TRUE(LayoutControls(layout.window.record));
    SendMessageW(layout.window.window(), WM_EXITSIZEMOVE, 0, 0);
    ExpectRect(RectInParent(layout.control), 77, 88, 20, 20);
}

TEST(Layout, ControlsInASubWindowFollowTheWindowSize) {
    TestWindow window;
    ASSERT_NE(window.Create(L"TkLayoutSub", 400, 300, WS_OVERLAPPEDWINDOW), nullptr);
    const int32_t sub = CreateSubWindow(window.record, {.rect = {0, 0, 400, 300}});
    ASSERT_NE(sub, 0);
    const int32_t inner = AddControl(window.record, ControlKind::kPushButton, L"Button", L"in", 0,
                                     {.rect = {10, 10, 100, 20}, .parent = sub, .layout = 0x0003});
    ASSERT_TRUE(SetClientSize(window.window(), 450, 300));
    ExpectRect(RectInParent(window.record.controls[inner].handle), 10, 10, 150, 20);
}

TEST(Layout, RestoringAfterMinimiseLaysOutAndMinimisingDoesNot) {
    LayoutCase layout;
    layout.Create(L"TkLayoutMinimise", 0x0033, 10, 20, 100, 30);
    HWND hwnd = layout.window.window();
    ShowWindow(hwnd, SW_SHOWNOACTIVATE);
    ShowWindow(hwnd, SW_MINIMIZE);
    ASSERT_TRUE(PumpUntil([&] { return IsIconic(hwnd) != FALSE; }));
    PumpAll();
    ExpectRect(RectInParent(layout.control), 10, 20, 100, 30);

    // While minimised, the restored size grows by 60 × 40.
    WINDOWPLACEMENT placement{};
    placement.length = sizeof(placement);
    ASSERT_TRUE(GetWindowPlacement(hwnd, &placement));
    placement.rcNormalPosition.right += 60;
    placement.rcNormalPosition.bottom += 40;
    placement.showCmd = SW_SHOWMINNOACTIVE;
    ASSERT_TRUE(SetWindowPlacement(hwnd, &placement));
    ExpectRect(RectInParent(layout.control), 10, 20, 100, 30);

    ShowWindow(hwnd, SW_RESTORE);
    ASSERT_TRUE(PumpUntil([&] { return !IsIconic(hwnd); }));
    const RECT client = ClientRect(hwnd);
    ASSERT_EQ(client.right, 460);
    ASSERT_EQ(client.bottom, 340);
    ExpectRect(RectInParent(layout.control), 10, 20, 160, 70);
}

TEST(Close, CloseBoxYieldsCloseEventsThroughThePumpWithoutDestroying) {
    TestWindow window;
    HWND hwnd = window.Create(L"TkCloseBox", 200, 100);
    ASSERT_NE(hwnd, nullptr);
    // What the close box sends: SC_CLOSE, whose default handling sends
    // WM_CLOSE. Each of the two asks for a close.
    PostMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(WaitForEventCode(window.events, event::kClose));
    EXPECT_EQ(window.events.close, 1);
    EXPECT_EQ(window.events.window, &window.record);
    EXPECT_TRUE(IsWindow(hwnd)) << "a close request must not destroy the window";
    // The second request is still queued and read by the next loop.
    ASSERT_TRUE(WaitForEventCode(window.events, event::kClose));
    EXPECT_TRUE(IsWindow(hwnd));
    // And nothing more comes.
    PumpOneMessage(window.events, false);
    while (PumpOneMessage(window.events, false))
        EXPECT_NE(window.events.code, event::kClose);
}

TEST(Drop, ThreeFilesOnAListJoinWithCrLfAndNameTheList) {
    TestWindow window;
    HWND hwnd = window.Create(L"TkDrop", 400, 300);
    ASSERT_NE(hwnd, nullptr);
    const int32_t list = AddControl(window.record, ControlKind::kListView, WC_LISTVIEWW, L"",
                                    LVS_REPORT, 0, 0, 200, 300);
    ASSERT_NE(list, 0);
    ShowWindow(hwnd, SW_SHOWNOACTIVATE);
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(hwnd) != FALSE; }));

    auto drop = [&](POINT point, const std::vector<std::wstring>& paths) {
        size_t units = 1;
        for (const std::wstring& path : paths)
            units += path.size() + 1;
        HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + units * sizeof(wchar_t));
        auto* files = static_cast<DROPFILES*>(GlobalLock(memory));
        files->pFiles = sizeof(DROPFILES);
        files->pt = point;
        files->fNC = FALSE;
        files->fWide = TRUE;
        auto* text = reinterpret_cast<wchar_t*>(files + 1);
        for (const std::wstring& path : paths) {
            path.copy(text, path.size());
            text += path.size() + 1;
        }
        GlobalUnlock(memory);
        PostMessageW(hwnd, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
    };

    drop({100, 200}, {L"C:\\a.txt", L"C:\\dir\\b.bin", L"Z:\\c"});
    ASSERT_TRUE(WaitForEventCode(window.events, event::kFilesDropped));
    EXPECT_EQ(window.events.value, list);
    EXPECT_EQ(window.record.eventText, L"C:\\a.txt\r\nC:\\dir\\b.bin\r\nZ:\\c");
    EXPECT_EQ(reinterpret_cast<const wchar_t*>(window.events.data),
              window.record.eventText.c_str());
    EXPECT_EQ(window.record.dropPoint.x, 100);

    drop({300, 150}, {L"C:\\only"});
    ASSERT_TRUE(WaitForEventCode(window.events, event::kFilesDropped));
    EXPECT_EQ(window.events.value, 0) << "bare client area names no control";
    EXPECT_EQ(window.record.eventText, L"C:\\only");
}

TEST(Skin, TransparentLabelOverTheSkinShowsTheSkin) {
    TestWindow window;
    HWND hwnd = window.Create(L"TkSkin", 300, 200, WS_POPUP);
    ASSERT_NE(hwnd, nullptr);
    // Red frame, green body, blue band at the bottom (y 161..195).
    ApplyWindowSkin(window.record, 300, 200, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0);
    ASSERT_EQ(window.record.backgroundMode, BackgroundMode::kSkin);
    const int32_t onBand =
        AddControl(window.record, ControlKind::kLabel, L"Static", L"", SS_NOTIFY, 20, 168, 100, 20);
    const int32_t onBody =
        AddControl(window.record, ControlKind::kLabel, L"Static", L"", SS_NOTIFY, 20, 60, 100, 20);
    ASSERT_NE(onBand, 0);
    ASSERT_NE(onBody, 0);
    ShowWindow(hwnd, SW_SHOWNOACTIVATE);
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(hwnd) != FALSE; }));
    RedrawWindow(hwnd, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_ERASENOW);
    EXPECT_EQ(ScreenPixel(hwnd, 150, 100), 0xFF00FF00u) << "body";
    EXPECT_EQ(ScreenPixel(hwnd, 150, 180), 0xFF0000FFu) << "band";
    EXPECT_EQ(ScreenPixel(window.record.controls[onBand].handle, 50, 10), 0xFF0000FFu);
    EXPECT_EQ(ScreenPixel(window.record.controls[onBody].handle, 50, 10), 0xFF00FF00u);
}

TEST(Skin, CaptionedWindowGetsARoundedRegionAndKeepsItsClientSize) {
    TestWindow window;
    HWND hwnd = window.Create(L"TkSkinCaption", 300, 200);
    ASSERT_NE(hwnd, nullptr);
    ApplyWindowSkin(window.record, 300, 200, 0xFF000000, 0xFFFFFFFF, 0xFFFFFFFF, 12);
    EXPECT_EQ(window.record.cornerSize, 12);
    EXPECT_EQ(window.record.customFrame, 0);
    UniqueRegion region(CreateRectRgn(0, 0, 0, 0));
    ASSERT_NE(GetWindowRgn(hwnd, region.Get()), ERROR);
    // The region is the client area in window coordinates: the caption and
    // the borders fall outside it.
    RECT bounds{};
    GetWindowRect(hwnd, &bounds);
    POINT origin{0, 0};
    ClientToScreen(hwnd, &origin);
    RECT box{};
    GetRgnBox(region.Get(), &box);
    EXPECT_EQ(box.left, origin.x - bounds.left);
    EXPECT_EQ(box.top, origin.y - bounds.top);
    EXPECT_EQ(box.right - box.left, 300);
    EXPECT_EQ(box.bottom - box.top, 200);
    EXPECT_FALSE(PtInRegion(region.Get(), box.left, box.top)) << "corner is rounded";
    EXPECT_TRUE(PtInRegion(region.Get(), box.left + 150, box.top + 1));
}

TEST(Skin, CustomFrameMakesTheWholeWindowClientArea) {
    TestWindow window;
    HWND hwnd = window.Create(L"TkSkinFrame", 300, 200);
    ASSERT_NE(hwnd, nullptr);
    ApplyWindowSkin(window.record, 300, 200, 0xFF000000, 0xFFFFFFFF, 0xFFFFFFFF, 0);
    EXPECT_EQ(window.record.customFrame, 1);
    RECT bounds{};
    GetWindowRect(hwnd, &bounds);
    const RECT client = ClientRect(hwnd);
    EXPECT_EQ(client.right, 300);
    EXPECT_EQ(client.bottom, 200);
    EXPECT_EQ(bounds.right - bounds.left, 300);
    EXPECT_EQ(bounds.bottom - bounds.top, 200);
}

TEST(Commands, ButtonClickIsDeliveredExactlyOnce) {
    TestWindow window;
    HWND hwnd = window.Create(L"TkClickOnce", 200, 100);
    const int32_t button =
        AddControl(window.record, ControlKind::kPushButton, L"Button", L"b", 0, 5, 5, 50, 20);
    HWND handle = window.record.controls[button].handle;
    PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(handle));
    ASSERT_TRUE(WaitForEventCode(window.events, button));
    EXPECT_EQ(window.events.value, BN_CLICKED);
    EXPECT_EQ(window.events.data, reinterpret_cast<intptr_t>(handle));
    EXPECT_EQ(window.events.close, 0);
    // The next step must not hand the same click over again.
    PumpOneMessage(window.events, false);
    EXPECT_NE(window.events.code, button);
}

TEST(Commands, CommandsOfFreeSlotsAndOtherNotificationsAreNotEvents) {
    TestWindow window;
    HWND hwnd = window.Create(L"TkCommandFilter", 200, 100);
    const int32_t button =
        AddControl(window.record, ControlKind::kPushButton, L"Button", L"b", 0, 5, 5, 50, 20);
    const int32_t edit =
        AddControl(window.record, ControlKind::kEdit, L"Edit", L"", 0, 5, 30, 50, 20);
    HWND editHandle = window.record.controls[edit].handle;
    SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(button, BN_SETFOCUS), 0);
    EXPECT_EQ(window.events.pending, 0);
    SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(99, BN_CLICKED), 0);
    EXPECT_EQ(window.events.pending, 0);
    SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(edit, EN_CHANGE),
                 reinterpret_cast<LPARAM>(editHandle));
    EXPECT_EQ(window.events.code, event::kEditChanged);
    EXPECT_EQ(window.events.value, edit);
    // An accelerator (notification 1, no control) names the slot.
    SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(button, 1), 0);
    EXPECT_EQ(window.events.code, button);
    EXPECT_EQ(window.events.value, 1);
}

TEST(Notifications, TickingAListRowGivesTickedAndUntickedEvents) {
    TestWindow window;
    ASSERT_NE(window.Create(L"TkListTicks", 300, 200), nullptr);
    const int32_t list = AddControl(window.record, ControlKind::kListView, WC_LISTVIEWW, L"",
                                    LVS_REPORT, 0, 0, 300, 200);
    HWND handle = window.record.controls[list].handle;
    ListView_SetExtendedListViewStyle(handle, LVS_EX_CHECKBOXES);
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH;
    column.cx = 100;
    ListView_InsertColumn(handle, 0, &column);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.pszText = const_cast<wchar_t*>(L"row");
    ASSERT_EQ(ListView_InsertItem(handle, &item), 0);
    ListView_SetItemState(handle, 0, 0, LVIS_SELECTED);  // settle the initial state

    ListView_SetCheckState(handle, 0, TRUE);
    EXPECT_EQ(window.events.code, event::kItemTicked);
    EXPECT_EQ(window.events.value, list);
    EXPECT_EQ(window.events.data, 0);
    ListView_SetCheckState(handle, 0, FALSE);
    EXPECT_EQ(window.events.code, event::kItemUnticked);

    ListView_SetItemState(handle, 0, LVIS_SELECTED, LVIS_SELECTED);
    EXPECT_EQ(window.events.code, event::kItemSelected);
    ListView_SetItemState(handle, 0, 0, LVIS_SELECTED);
    EXPECT_EQ(window.events.code, event::kItemDeselected);

    ListView_DeleteItem(handle, 0);
    EXPECT_EQ(window.events.code, event::kItemDeleted);
}

TEST(Notifications, ARowsRecordAnswersForItsTextsAndGoesWithTheRow) {
    TestWindow window;
    ASSERT_NE(window.Create(L"TkListColours", 300, 200), nullptr);
    const int32_t list = AddControl(window.record, ControlKind::kListView, WC_LISTVIEWW, L"",
                                    LVS_REPORT, 0, 0, 300, 200);
    HWND handle = window.record.controls[list].handle;
    for (int column = 0; column < 3; ++column) {
        LVCOLUMNW columnFormat{};
        columnFormat.mask = LVCF_WIDTH;
        columnFormat.cx = 90;
        ListView_InsertColumn(handle, column, &columnFormat);
    }
    ListRowData* data = NewRowWithTexts({L"C:\\dir\\\u00e9t\u00e9.txt", L"\u00e9t\u00e9.txt", L""});
    ASSERT_NE(data, nullptr);
    data->row.font.Reset(CreateFontW(-12, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, L"Arial"));
    HFONT font = data->row.font.Get();
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.pszText = LPSTR_TEXTCALLBACKW;
    item.lParam = reinterpret_cast<LPARAM>(data);
    ASSERT_EQ(ListView_InsertItem(handle, &item), 0);

    // The list keeps no copy: every column is asked of the record, and a
    // short buffer gets what fits.
    struct Read {
        int column;
        int buffer;
        const wchar_t* expected;
    };
    for (const Read& read : {Read{0, 64, L"C:\\dir\\\u00e9t\u00e9.txt"},
                             Read{1, 64, L"\u00e9t\u00e9.txt"}, Read{2, 64, L""},
                             Read{0, 4, L"C:\\"}}) {
        wchar_t text[64] = L"unchanged";
        ListView_GetItemText(handle, 0, read.column, text, read.buffer);
        EXPECT_STREQ(text, read.expected) << read.column << " " << read.buffer;
    }
    EXPECT_EQ(RowText(*data, 3), L"") << "no fourth text was stored";

    ListView_DeleteItem(handle, 0);
    EXPECT_EQ(window.events.code, event::kItemDeleted);
    // The record's font went with it.
    LOGFONTW logical{};
    EXPECT_EQ(GetObjectW(font, sizeof(logical), &logical), 0);
}

TEST(Dialogs, DefaultButtonIsReportedToTheDialogManager) {
    TestWindow window;
    HWND hwnd = window.Create(L"TkDefId", 200, 100);
    EXPECT_EQ(SendMessageW(hwnd, DM_GETDEFID, 0, 0), 0);
    window.record.defaultButton = 7;
    EXPECT_EQ(SendMessageW(hwnd, DM_GETDEFID, 0, 0), MAKELONG(7, 0x534B));
}

TEST(TrackSizes, MinimumTrackSizeIsAnsweredOnlyWhenSet) {
    TestWindow window;
    HWND hwnd = window.Create(L"TkTrack", 200, 100, WS_OVERLAPPEDWINDOW);
    MINMAXINFO info{};
    info.ptMinTrackSize = {1, 2};
    SendMessageW(hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.ptMinTrackSize.x, 1);
    window.record.minTrackSize = {320, 240};
    SendMessageW(hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.ptMinTrackSize.x, 320);
    EXPECT_EQ(info.ptMinTrackSize.y, 240);
}

TEST(ChildFromPoint, PicksTheSmallestVisibleChildUnderThePoint) {
    TestWindow window;
    HWND hwnd = window.Create(L"TkChildPoint", 300, 200);
    const int32_t sub = CreateSubWindow(window.record, {.rect = {0, 0, 300, 200}});
    const int32_t button = AddControl(window.record, ControlKind::kPushButton, L"Button", L"b", 0,
                                      {.rect = {50, 50, 60, 20}, .parent = sub});
    ShowWindow(hwnd, SW_SHOWNOACTIVATE);
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(hwnd) != FALSE; }));
    EXPECT_EQ(ChildFromPoint(hwnd, 60, 55), window.record.controls[button].handle);
    EXPECT_EQ(ChildFromPoint(hwnd, 200, 150), window.record.controls[sub].handle);
    ShowWindow(window.record.controls[button].handle, SW_HIDE);
    EXPECT_EQ(ChildFromPoint(hwnd, 60, 55), window.record.controls[sub].handle);
}

}  // namespace
}  // namespace cs::toolkit::test
