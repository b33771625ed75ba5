// What the program's windows set instead of writing record fields: window
// and pane backgrounds, rules, cursors, the size grip, caller-given list
// headings and a drop-down placed by its caller. Read back from the screen.
#include <gtest/gtest.h>

#include "support.h"
#include "toolkit/container.h"
#include "toolkit/controls.h"

namespace cs::toolkit::test {
namespace {

using namespace Gdiplus::DllExports;

uint32_t Argb(COLORREF colour) {
    return 0xFF000000u | (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
}

// The pixel once it shows `expected`, or whatever it shows after the wait.
uint32_t PixelOnceShown(HWND window, int x, int y, uint32_t expected) {
    PumpUntil([&] { return ScreenPixel(window, x, y) == expected; });
    return ScreenPixel(window, x, y);
}

TEST(Setters, WindowBackgroundAndARule) {
    constexpr COLORREF kBack = RGB(0xFD, 0xFD, 0xFF);
    constexpr COLORREF kRule = RGB(0x10, 0x10, 0x10);
    TestWindow window;
    HWND hwnd = window.Create(L"TkBackRule", 300, 120);
    ASSERT_TRUE(SetWindowBackColour(window.record, kBack));
    const int32_t rule = CreateHorizontalRule(window.record, kRule, {.rect = {10, 50, 280, 2}});
    ASSERT_NE(rule, 0);
    ShowWindow(hwnd, SW_SHOW);
    EXPECT_EQ(PixelOnceShown(hwnd, 5, 5, Argb(kBack)), Argb(kBack));
    EXPECT_EQ(PixelOnceShown(hwnd, 100, 50, Argb(kRule)), Argb(kRule));
    EXPECT_EQ(ScreenPixel(hwnd, 100, 51), Argb(kRule)) << "two pixels high";
    EXPECT_EQ(ScreenPixel(hwnd, 100, 52), Argb(kBack));
    EXPECT_EQ(ScreenPixel(hwnd, 5, 50), Argb(kBack)) << "starts at its x";
}

TEST(Setters, PanePatternShowsBehindItsControls) {
    // Two vertical stripes, 8 pixels each, repeated across the pane.
    GdipImage stripes = CreatePremultipliedBitmap(16, 16);
    ASSERT_TRUE(stripes);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            GdipBitmapSetPixel(AsBitmap(stripes), x, y, x < 8 ? 0xFFE0E8F0 : 0xFFC0D0E0);
    TestWindow window;
    HWND hwnd = window.Create(L"TkPanePattern", 400, 200);
    const int32_t pane = CreateSubWindow(window.record, {.rect = {200, 0, 200, 200}});
    ASSERT_TRUE(SetSubWindowPattern(window.record, pane, stripes.Get()));
    const int32_t check =
        CreateCheckBox(window.record, L"Checked", {.rect = {10, 40, 150, 20}, .parent = pane});
    ASSERT_NE(check, 0);
    ShowWindow(hwnd, SW_SHOW);
    HWND paneWindow = window.record.controls[pane].handle;
    EXPECT_EQ(PixelOnceShown(paneWindow, 2, 150, 0xFFE0E8F0), 0xFFE0E8F0u);
    EXPECT_EQ(ScreenPixel(paneWindow, 10, 150), 0xFFC0D0E0u);
    // Inside the check box, right of its caption, the stripes go on where
    // the pane's own painting has them.
    EXPECT_EQ(PixelOnceShown(paneWindow, 146, 50, 0xFFE0E8F0), 0xFFE0E8F0u);  // 146 % 16 < 8
    EXPECT_EQ(ScreenPixel(paneWindow, 154, 50), 0xFFC0D0E0u);                 // 154 % 16 >= 8
}

TEST(Setters, ControlCursorIsShownOverTheControl) {
    TestWindow window;
    HWND hwnd = window.Create(L"TkCursorSet", 200, 100);
    const int32_t label = CreateLabel(window.record, L"link-like", {.rect = {10, 10, 100, 20}});
    ASSERT_TRUE(SetControlCursor(window.record, label, IDC_HAND));
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    EXPECT_EQ(SendMessageW(hwnd, WM_SETCURSOR,
                           reinterpret_cast<WPARAM>(window.record.controls[label].handle),
                           MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)),
              TRUE);
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_HAND));
    EXPECT_FALSE(SetControlCursor(window.record, 99, IDC_HAND)) << "a free slot";
}

// Takes the press the grip hands on, instead of entering the sizing loop.
LRESULT CALLBACK RecordSizePress(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                 UINT_PTR, DWORD_PTR reference) {
    if (message == WM_NCLBUTTONDOWN) {
        *reinterpret_cast<WPARAM*>(reference) = wParam;
        return 0;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

TEST(Setters, SizeGripInAPaneSizesTheTopLevelWindow) {
    TestWindow window;
    HWND hwnd = window.Create(L"TkGrip", 400, 200, WS_OVERLAPPEDWINDOW);
    // The pane grows with the window, as the program's right pane does.
    const int32_t pane = CreateSubWindow(
        window.record, {.rect = {200, 0, 200, 200},
                        .layout = layout::kLeft | layout::kRight | layout::kTop | layout::kBottom});
    const int32_t grip = CreateSizeGrip(window.record, 16, pane);
    ASSERT_NE(grip, 0);
    HWND handle = window.record.controls[grip].handle;
    const RECT rect = RectInParent(handle);
    EXPECT_EQ(rect.right, 200) << "in the pane's bottom-right corner";
    EXPECT_EQ(rect.bottom, 200);
    EXPECT_EQ(window.record.controls[grip].cursor, LoadCursorW(nullptr, IDC_SIZENWSE));

    WPARAM hit = 0;
    SetWindowSubclass(hwnd, RecordSizePress, 1, reinterpret_cast<DWORD_PTR>(&hit));
    SendMessageW(handle, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(8, 8));
    RemoveWindowSubclass(hwnd, RecordSizePress, 1);
    EXPECT_EQ(hit, static_cast<WPARAM>(HTBOTTOMRIGHT));

    // It follows the corner when the window grows.
    ASSERT_TRUE(SetClientSize(hwnd, 500, 260));
    PumpAll();
    const RECT moved = RectInParent(handle);
    EXPECT_EQ(moved.right, 300);
    EXPECT_EQ(moved.bottom, 260);
}

TEST(Setters, ListHeadingsAndDropDownPlaceComeFromTheCaller) {
    TestWindow window;
    ASSERT_NE(window.Create(L"TkHeadings", 600, 300), nullptr);
    const int32_t list =
        CreateList(window.record, L" Name\n Kind\n Size\n Date", {.rect = {0, 0, 420, 200}});
    HWND handle = window.record.controls[list].handle;
    HWND header = reinterpret_cast<HWND>(SendMessageW(handle, LVM_GETHEADER, 0, 0));
    EXPECT_EQ(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0), 4);
    int width = 0;
    EXPECT_EQ(ColumnHeading(handle, 3, width), L" Date");
    EXPECT_EQ(width, 100);

    const int32_t drop =
        CreateDropDownList(window.record, L"One\nTwo", {.rect = {430, 40, 150, 0}});
    const RECT rect = RectInParent(window.record.controls[drop].handle);
    EXPECT_EQ(rect.left, 430);
    EXPECT_EQ(rect.top, 40);
    EXPECT_EQ(rect.right - rect.left, 150);
}

}  // namespace
}  // namespace cs::toolkit::test
