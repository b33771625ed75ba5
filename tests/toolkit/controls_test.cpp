// The control families as the creation operations make them, the common
// slot operations (state, text, colours, font, images, menus), the image
// button's faces and behaviour, and tooltips.
#include "toolkit/controls.h"

#include <gtest/gtest.h>

#include "support.h"
#include "toolkit/tooltips.h"

namespace cs::toolkit::test {
namespace {

using namespace Gdiplus::DllExports;

HWND ShowAndWait(TestWindow& window) {
    ShowWindow(window.window(), SW_SHOW);
    PumpUntil([&] { return IsWindowVisible(window.window()) != FALSE; });
    return window.window();
}

HBITMAP ShownBitmap(HWND control) {
    return reinterpret_cast<HBITMAP>(SendMessageW(control, STM_GETIMAGE, IMAGE_BITMAP, 0));
}

// Faces in plain colours, so the face shown tells the state apart.
GdipImage SolidImage(Argb colour, int width = kImageButtonWidth, int height = 30) {
    GdipImage image = CreatePremultipliedBitmap(width, height);
    GdipGraphics graphics;
    if (image && graphics.Check(GdipGetImageGraphicsContext(image.Get(), graphics.Put())))
        GdipGraphicsClear(graphics.Get(), colour);
    return image;
}

TEST(ImageButton, PaintedFacesFollowTheStyleAndShowTheNormalFace) {
    TestWindow window;
    ASSERT_NE(window.Create(L"TkPaintFaces", 200, 120), nullptr);
    const int32_t button =
        CreateImageButton(window.record, {.rect = {10, 10, kImageButtonWidth, 40}});
    ASSERT_NE(button, 0);
    GdipImage icon = SolidImage(0xFF00C000, 16, 16);
    ImageButtonStyle style;
    style.cornerSize = 0;  // square: the gradient reaches the corners
    ASSERT_TRUE(PaintImageButton(window.record, button, L"Scan", icon.Get(), 40, nullptr, &style));
    const ControlRecord& control = window.record.controls[button];
    const ImageButtonState& block = *control.imageButton;
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(block.bitmaps[static_cast<size_t>(i)]) << "face " << i;
    EXPECT_FALSE(block.bitmaps[4]) << "the locked face is never painted";
    // The diagonal gradient starts at the normal start colour at the top left
    // and the hover face is lighter.
    const uint32_t normal = BitmapPixel(block.bitmaps[0].Get(), 3, 3);
    const uint32_t hover = BitmapPixel(block.bitmaps[1].Get(), 3, 3);
    EXPECT_NEAR(Red(normal), 0x60, 12);
    EXPECT_GT(Red(hover), Red(normal) + 16);
    // The icon sits inside the padding: (padding + 1) + a few pixels.
    const uint32_t iconPixel = BitmapPixel(block.bitmaps[0].Get(), 12, 20);
    EXPECT_GT(Green(iconPixel), 0x90);
    EXPECT_LT(Red(iconPixel), 0x40);
    // The focused face is the hover face plus the blue dashed mark.
    bool blueMark = false;
    for (int x = 20; x < 150 && !blueMark; ++x) {
        const uint32_t pixel = BitmapPixel(block.bitmaps[2].Get(), x, 3);
        blueMark = Blue(pixel) > 0xC0 && Red(pixel) < 0x70;
    }
    EXPECT_TRUE(blueMark);
    EXPECT_EQ(block.state, face::kNormal);
    EXPECT_NE(ShownBitmap(control.handle), nullptr);
    EXPECT_EQ(control.cursor, LoadCursorW(nullptr, IDC_HAND));

    // Rounded (the default): the vertical gradient runs from the start colour
    // at the top to the end colour at the bottom, inside the border, and the
    // corners stay transparent.
    ASSERT_TRUE(PaintImageButton(window.record, button, L"Scan", icon.Get(), 40, nullptr, nullptr));
    HBITMAP rounded = window.record.controls[button].imageButton->bitmaps[0].Get();
    const uint32_t high = BitmapPixel(rounded, 120, 4);
    const uint32_t low = BitmapPixel(rounded, 120, 35);
    EXPECT_EQ(Alpha(high), 0xFF);
    EXPECT_GT(Red(high), Red(low) + 24) << std::hex << high << " " << low;
    EXPECT_EQ(Alpha(BitmapPixel(rounded, 0, 0)), 0);
}

TEST(ImageButton, MissingFacesFallBackToHoverThenNormal) {
    TestWindow window;
    ASSERT_NE(window.Create(L"TkFallback", 400, 120), nullptr);
    ShowAndWait(window);
    GdipImage normal = SolidImage(0xFF000080);
    GdipImage hover = SolidImage(0xFF0000F0);
    GdipImage disabled = SolidImage(0xFF808080);

    const int32_t noFocusFace =
        CreateImageButton(window.record, {.rect = {10, 10, kImageButtonWidth, 30}});
    ASSERT_TRUE(SetImageButtonImages(window.record, noFocusFace, normal.Get(), hover.Get(), nullptr,
                                     disabled.Get()));
    HWND first = window.record.controls[noFocusFace].handle;
    ASSERT_TRUE(SetControlState(window.record, noFocusFace, state::kFocused));
    EXPECT_EQ(window.record.controls[noFocusFace].imageButton->state, face::kHover);
    EXPECT_EQ(BitmapPixel(ShownBitmap(first), 5, 5) & 0xFFFFFF, 0x0000F0u);

    const int32_t noHoverFace =
        CreateImageButton(window.record, {.rect = {10, 50, kImageButtonWidth, 30}});
    ASSERT_TRUE(SetImageButtonImages(window.record, noHoverFace, normal.Get(), nullptr, nullptr,
                                     disabled.Get()));
    HWND second = window.record.controls[noHoverFace].handle;
    ASSERT_TRUE(SetControlState(window.record, noHoverFace, state::kFocused));
    EXPECT_EQ(window.record.controls[noHoverFace].imageButton->state, face::kNormal);
    SendMessageW(window.window(), WM_SETCURSOR, reinterpret_cast<WPARAM>(second),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(window.record.controls[noHoverFace].imageButton->state, face::kNormal);
    EXPECT_EQ(BitmapPixel(ShownBitmap(second), 5, 5) & 0xFFFFFF, 0x000080u);
    // Losing the focus took the first button back to its normal face.
    EXPECT_EQ(window.record.controls[noFocusFace].imageButton->state, face::kNormal);

    // A locked button never changes, and states above 4 are refused.
    ImageButtonState& block = *window.record.controls[noHoverFace].imageButton;
    block.bitmaps[face::kLocked] = CreateArgbDib(kImageButtonWidth, 30, 0xFF400040);
    ASSERT_TRUE(SetImageButtonState(window.record, noHoverFace, face::kLocked, false));
    EXPECT_FALSE(SetImageButtonState(window.record, noHoverFace, face::kNormal, false));
    EXPECT_FALSE(SetImageButtonState(window.record, noFocusFace, 5, false));
    EXPECT_EQ(block.state, face::kLocked);
}

TEST(ImageButton, DisabledIgnoresHoverAndFocusAndEnablingShowsNormal) {
    TestWindow window;
    HWND hwnd = window.Create(L"TkDisabledButton", 300, 120);
    ShowAndWait(window);
    GdipImage normal = SolidImage(0xFF000080);
    GdipImage hover = SolidImage(0xFF0000F0);
    GdipImage focused = SolidImage(0xFF00F000);
    GdipImage disabled = SolidImage(0xFF808080);
    const int32_t button =
        CreateImageButton(window.record, {.rect = {10, 10, kImageButtonWidth, 30}});
    ASSERT_TRUE(SetImageButtonImages(window.record, button, normal.Get(), hover.Get(),
                                     focused.Get(), disabled.Get()));
    HWND handle = window.record.controls[button].handle;
    const ImageButtonState& block = *window.record.controls[button].imageButton;

    ASSERT_TRUE(SetControlState(window.record, button, state::kDisabled));
    EXPECT_EQ(block.state, face::kDisabled) << "WM_ENABLE shows the disabled face";
    SendMessageW(hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(handle),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(block.state, face::kDisabled);
    SendMessageW(handle, WM_SETFOCUS, 0, 0);
    EXPECT_EQ(block.state, face::kDisabled);
    EXPECT_EQ(BitmapPixel(ShownBitmap(handle), 5, 5) & 0xFFFFFF, 0x808080u);

    ASSERT_TRUE(SetControlState(window.record, button, state::kEnabled));
    EXPECT_EQ(block.state, face::kNormal);
    EXPECT_EQ(BitmapPixel(ShownBitmap(handle), 5, 5) & 0xFFFFFF, 0x000080u);
}

TEST(ImageButton, ClickTakesTheFocusAndPostsTheSlot) {
    TestWindow window;
    ASSERT_NE(window.Create(L"TkImageClick", 300, 120), nullptr);
    ShowAndWait(window);
    GdipImage normal = SolidImage(0xFF000080);
    GdipImage hover = SolidImage(0xFF0000F0);
    GdipImage focused = SolidImage(0xFF00F000);
    const int32_t button =
        CreateImageButton(window.record, {.rect = {10, 10, kImageButtonWidth, 30}});
    ASSERT_TRUE(SetImageButtonImages(window.record, button, normal.Get(), hover.Get(),
                                     focused.Get(), nullptr));
    HWND handle = window.record.controls[button].handle;
    PostMessageW(handle, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    PostMessageW(handle, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    ASSERT_TRUE(WaitForEventCode(window.events, button));
    EXPECT_EQ(GetFocus(), handle);
    EXPECT_EQ(window.record.controls[button].imageButton->state, face::kFocused);
    // Holding the focus, the button keeps its focused face when the mouse
    // leaves it.
    SendMessageW(window.window(), WM_SETCURSOR, reinterpret_cast<WPARAM>(handle),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    SendMessageW(window.window(), WM_SETCURSOR, reinterpret_cast<WPARAM>(window.window()),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(window.record.controls[button].imageButton->state, face::kFocused);
}

TEST(DropDownList, PartsBecomeEntriesAndEmptyTextClearsTheSelection) {
    TestWindow window;
    ASSERT_NE(window.Create(L"TkDropDown", 600, 200), nullptr);
    const int32_t list =
        CreateDropDownList(window.record, L"Alpha\nBeta", {.rect = {10, 110, 545, 0}});
    ASSERT_NE(list, 0);
    HWND handle = window.record.controls[list].handle;
    EXPECT_EQ(SendMessageW(handle, CB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(SendMessageW(handle, CB_GETCURSEL, 0, 0), 0);
    // The stored design rectangle is the one the list really took.
    EXPECT_EQ(window.record.controls[list].designRect.bottom, RectInParent(handle).bottom - 110);

    ASSERT_TRUE(SetControlText(window.record, list, L"One\nTwo\nThree"));
    EXPECT_EQ(SendMessageW(handle, CB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(SendMessageW(handle, CB_GETCURSEL, 0, 0), 0);
    wchar_t third[16] = {};
    SendMessageW(handle, CB_GETLBTEXT, 2, reinterpret_cast<LPARAM>(third));
    EXPECT_STREQ(third, L"Three");

    ASSERT_TRUE(SetControlText(window.record, list, L""));
    EXPECT_EQ(SendMessageW(handle, CB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(SendMessageW(handle, CB_GETCURSEL, 0, 0), CB_ERR);
}

TEST(Creation, StylesGroupFlagAndListColumns) {
    TestWindow window;
    ASSERT_NE(window.Create(L"TkCreation", 600, 400), nullptr);
    WindowRecord& record = window.record;
    auto style = [&](int32_t slot) {
        return static_cast<DWORD>(GetWindowLongW(record.controls[slot].handle, GWL_STYLE));
    };
    const int32_t push = CreatePushButton(record, L"Go", {.rect = {10, 10, 80, 25}});
    const int32_t check = CreateCheckBox(record, L"Check", {.rect = {10, 40, 80, 20}});
    const int32_t radioA =
        CreateRadioButton(record, L"A", {.rect = {10, 60, 80, 20}, .groupStart = true});
    const int32_t radioB = CreateRadioButton(record, L"B", {.rect = {10, 80, 80, 20}});
    const int32_t edit =
        CreateEditBox(record, L"text", {.rect = {10, 100, 80, 22}, .groupStart = true});
    const int32_t label = CreateLabel(record, L"label", {.rect = {10, 130, 80, 20}});
    ASSERT_NE(label, 0);
    EXPECT_EQ(CreateLabel(record, L"x", {.rect = {10, 160, 80, 20}, .parent = push}), 0)
        << "only a sub-window holds controls";
    EXPECT_EQ(record.controls[check].kind, ControlKind::kCheckBox);
    EXPECT_EQ(style(push) & 0xFFFF000F, 0x50010000u);
    EXPECT_EQ(style(check) & 0xF, static_cast<DWORD>(BS_AUTOCHECKBOX));
    EXPECT_EQ(style(radioA) & (WS_GROUP | 0xF), WS_GROUP | BS_AUTORADIOBUTTON);
    EXPECT_EQ(style(radioB) & WS_GROUP, 0u);
    EXPECT_NE(style(edit) & WS_GROUP, 0u) << "any control can start a group";
    EXPECT_EQ(style(label) & WS_GROUP, 0u) << "and only for the next control";
    EXPECT_NE(GetWindowLongW(record.controls[edit].handle, GWL_EXSTYLE) & WS_EX_CLIENTEDGE, 0);

    const int32_t list =
        CreateList(record, L" Full path\n File name\n Size", {.rect = {0, 0, 380, 200}});
    HWND listHandle = record.controls[list].handle;
    EXPECT_EQ(SendMessageW(listHandle, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & 0x10024, 0x10024);
    int width = 0;
    EXPECT_EQ(ColumnHeading(listHandle, 2, width), L" Size");
    EXPECT_EQ(width, 120);

    // A read-only box placed with layout flags spans the window.
    const int32_t box =
        CreateTextBox(record, {.rect = {50, 10, 100, 40}, .layout = layout::kBottom});
    ControlRect rect;
    ASSERT_TRUE(GetControlRect(record, box, rect));
    EXPECT_EQ(rect.x, 0);
    EXPECT_EQ(rect.y, 10);
    EXPECT_EQ(rect.width, 600);
    EXPECT_EQ(record.controls[box].layoutFlags & 0x102, 0x102);
}

TEST(State, HidingClearsTheStyleAndPairsResolveToTheFirst) {
    TestWindow window;
    ASSERT_NE(window.Create(L"TkStates", 300, 200), nullptr);
    const int32_t panel = CreateSubWindow(window.record, {.rect = {0, 0, 200, 150}});
    const int32_t check =
        CreateCheckBox(window.record, L"c", {.rect = {10, 10, 80, 20}, .parent = panel});
    HWND box = window.record.controls[check].handle;
    HWND panelHandle = window.record.controls[panel].handle;
    ShowAndWait(window);

    ASSERT_TRUE(SetControlState(window.record, check, state::kHidden | state::kVisible));
    EXPECT_EQ(GetWindowLongW(box, GWL_STYLE) & WS_VISIBLE, 0);
    ShowWindow(panelHandle, SW_HIDE);
    ShowWindow(panelHandle, SW_SHOW);
    EXPECT_FALSE(IsWindowVisible(box)) << "stays hidden when its parent is shown again";
    EXPECT_EQ(
        GetControlState(window.record, check, state::kAll) & (state::kHidden | state::kVisible),
        state::kHidden);

    ASSERT_TRUE(SetControlState(window.record, check, state::kChecked | state::kUnchecked));
    EXPECT_EQ(SendMessageW(box, BM_GETCHECK, 0, 0), BST_CHECKED);
    ASSERT_TRUE(SetControlState(window.record, check, state::kUnchecked | state::kIndeterminate));
    EXPECT_EQ(SendMessageW(box, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    SetControlState(window.record, check, state::kEnabled | state::kDisabled);
    EXPECT_TRUE(IsWindowEnabled(box));
    SetControlState(window.record, check, state::kDisabled);
    EXPECT_EQ(GetControlState(window.record, check, state::kEnabled | state::kDisabled),
              state::kDisabled);
    EXPECT_EQ(GetControlState(window.record, check, state::kChecked), 0u) << "masked";

    EXPECT_FALSE(SetControlState(window.record, 77, state::kVisible)) << "free slot";
    EXPECT_EQ(GetControlState(window.record, 77, state::kAll), 0u);
}

TEST(Text, LabelsAndMenuEntriesRoundTrip) {
    TestWindow window;
    ASSERT_NE(window.Create(L"TkText", 300, 200), nullptr);
    const int32_t label = CreateLabel(window.record, L"before", {.rect = {10, 10, 100, 20}});
    ASSERT_TRUE(SetControlText(window.record, label, L"after"));
    EXPECT_EQ(GetControlText(window.record, label), L"after");
    const int32_t entry = CreateAttachedMenu(window.record, label, L"Open", nullptr);
    ASSERT_NE(entry, 0);
    EXPECT_EQ(GetControlText(window.record, entry), L"Open");
    ASSERT_TRUE(SetControlText(window.record, entry, L"Open folder"));
    EXPECT_EQ(GetControlText(window.record, entry), L"Open folder");
    EXPECT_EQ(GetControlText(window.record, 99), L"");
}

TEST(Colours, BackColourMakesAndRemovesTheBrush) {
    TestWindow window;
    HWND hwnd = window.Create(L"TkBackColour", 300, 300);
    const int32_t label = CreateLabel(window.record, L"label", {.rect = {10, 10, 100, 20}});
    HWND handle = window.record.controls[label].handle;
    WindowDc dc(handle);

    ASSERT_TRUE(SetControlBackColour(window.record, label, RGB(200, 10, 10)));
    HBRUSH brush = window.record.controls[label].backgroundBrush.Get();
    ASSERT_NE(brush, nullptr);
    EXPECT_EQ(SendMessageW(hwnd, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc.Get()),
                           reinterpret_cast<LPARAM>(handle)),
              reinterpret_cast<LRESULT>(brush));
    ASSERT_TRUE(SetControlBackColour(window.record, label, RGB(10, 200, 10)));
    EXPECT_EQ(GetObjectType(brush), 0u) << "the replaced brush is deleted";

    ASSERT_TRUE(SetControlBackColour(window.record, label, kDefaultColour));
    EXPECT_FALSE(window.record.controls[label].backgroundBrush);
    EXPECT_EQ(SendMessageW(hwnd, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc.Get()),
                           reinterpret_cast<LPARAM>(handle)),
              reinterpret_cast<LRESULT>(window.record.backgroundBrush))
        << "transparent again: the window's background shows";

    const int32_t list =
        CreateList(window.record, L" Full path\n File name\n Size", {.rect = {0, 0, 200, 100}});
    HWND listHandle = window.record.controls[list].handle;
    ASSERT_TRUE(SetControlBackColour(window.record, list, RGB(1, 2, 3)));
    ASSERT_TRUE(SetControlTextColour(window.record, list, RGB(4, 5, 6)));
    EXPECT_EQ(SendMessageW(listHandle, LVM_GETBKCOLOR, 0, 0), RGB(1, 2, 3));
    EXPECT_EQ(SendMessageW(listHandle, LVM_GETTEXTBKCOLOR, 0, 0), RGB(1, 2, 3));
    EXPECT_EQ(SendMessageW(listHandle, LVM_GETTEXTCOLOR, 0, 0), RGB(4, 5, 6));
}

TEST(Links, PlacedByTheCreationAndPlainColoursOnlyForLinks) {
    TestWindow window;
    ASSERT_NE(window.Create(L"TkLink", 400, 100), nullptr);
    const int32_t link =
        CreateLink(window.record, L"See <a href=\"https://example.org/\">the site</a>",
                   {.rect = {10, 30, 300, 20}});
    ASSERT_NE(link, 0);
    EXPECT_EQ(RectInParent(window.record.controls[link].handle).top, 30);
    const int32_t label = CreateLabel(window.record, L"not a link", {.rect = {10, 60, 100, 20}});
    EXPECT_FALSE(SetLinkPlainColours(window.record, label));
    // Wine's SysLink accepts LIS_DEFAULTCOLORS but neither keeps nor draws
    // it, so only the acceptance can be seen here.
    EXPECT_TRUE(SetLinkPlainColours(window.record, link));
}

TEST(Fonts, ControlFontReplacesAndFreesTheOldOne) {
    TestWindow window;
    ASSERT_NE(window.Create(L"TkFont", 300, 200), nullptr);
    const int32_t label = CreateLabel(window.record, L"label", {.rect = {10, 10, 100, 20}});
    HFONT before = window.record.controls[label].font.Get();
    ASSERT_TRUE(SetControlFont(window.record, label, 12.0, 700));
    auto now = reinterpret_cast<HFONT>(
        SendMessageW(window.record.controls[label].handle, WM_GETFONT, 0, 0));
    LOGFONTW info{};
    ASSERT_NE(GetObjectW(now, sizeof(info), &info), 0);
    EXPECT_EQ(info.lfHeight, -16);
    EXPECT_EQ(info.lfWeight, 700);
    EXPECT_STREQ(info.lfFaceName, L"Arial");
    EXPECT_EQ(GetObjectType(before), 0u);
    ASSERT_TRUE(SetControlFont(window.record, label, 0.0, 0));
    now = reinterpret_cast<HFONT>(
        SendMessageW(window.record.controls[label].handle, WM_GETFONT, 0, 0));
    ASSERT_NE(GetObjectW(now, sizeof(info), &info), 0);
    EXPECT_EQ(info.lfHeight, -11) << "8.5 points";
    EXPECT_EQ(info.lfWeight, 400);

    // A font in the placement is the control's from the start, in the
    // window's face.
    const int32_t bold =
        CreateLabel(window.record, L"bold",
                    {.rect = {10, 40, 100, 20}, .font = {.points = 9.0, .weight = 800}});
    now = reinterpret_cast<HFONT>(
        SendMessageW(window.record.controls[bold].handle, WM_GETFONT, 0, 0));
    ASSERT_NE(GetObjectW(now, sizeof(info), &info), 0);
    EXPECT_EQ(info.lfHeight, -12);
    EXPECT_EQ(info.lfWeight, 800);
    EXPECT_STREQ(info.lfFaceName, L"Arial");
}

TEST(Images, PushButtonListViewAndPicture) {
    TestWindow window;
    ASSERT_NE(window.Create(L"TkImages", 400, 300), nullptr);
    UniqueBitmap red = CreateArgbDib(16, 16, 0xFFFF0000);
    UniqueBitmap blue = CreateArgbDib(16, 16, 0xFF0000FF);

    const int32_t push = CreatePushButton(window.record, L"Go", {.rect = {10, 10, 80, 25}});
    ASSERT_TRUE(SetControlImage(window.record, push, red.Get(), 16, 16));
    BUTTON_IMAGELIST images{};
    ASSERT_TRUE(SendMessageW(window.record.controls[push].handle, BCM_GETIMAGELIST, 0,
                             reinterpret_cast<LPARAM>(&images)));
    ASSERT_NE(images.himl, nullptr);
    EXPECT_EQ(ImageList_GetImageCount(images.himl), 1);

    const int32_t list =
        CreateList(window.record, L" Full path\n File name\n Size", {.rect = {0, 0, 200, 100}});
    ASSERT_TRUE(SetControlImage(window.record, list, red.Get(), 16, 16));
    ASSERT_TRUE(SetControlImage(window.record, list, blue.Get(), 16, 16));
    auto listImages = reinterpret_cast<HIMAGELIST>(
        SendMessageW(window.record.controls[list].handle, LVM_GETIMAGELIST, LVSIL_NORMAL, 0));
    ASSERT_NE(listImages, nullptr);
    EXPECT_EQ(ImageList_GetImageCount(listImages), 1) << "image 0 is replaced, not added";

    const int32_t picture = CreatePicture(window.record, red.Get(), {.rect = {10, 150, 16, 16}});
    HWND pictureHandle = window.record.controls[picture].handle;
    EXPECT_NE(window.record.controls[picture].image.Get(), red.Get()) << "a copy is kept";
    EXPECT_EQ(BitmapPixel(ShownBitmap(pictureHandle), 4, 4) & 0xFFFFFF, 0xFF0000u);
    ASSERT_TRUE(SetControlImage(window.record, picture, blue.Get(), 16, 16));
    EXPECT_EQ(BitmapPixel(ShownBitmap(pictureHandle), 4, 4) & 0xFFFFFF, 0x0000FFu);
    // The caller's bitmaps are untouched.
    EXPECT_NE(GetObjectType(red.Get()), 0u);
    EXPECT_NE(GetObjectType(blue.Get()), 0u);

    GdipImage green = SolidImage(0xFF00FF00, 8, 8);
    const int32_t scaled =
        CreateScaledPicture(window.record, green.Get(), {.rect = {50, 150, 32, 32}});
    ASSERT_NE(scaled, 0);
    BitmapDimensions size;
    ASSERT_TRUE(BitmapSize(ShownBitmap(window.record.controls[scaled].handle), size));
    EXPECT_EQ(size.width, 32);
    EXPECT_EQ(size.height, 32);
}

TEST(Menus, EntriesSubmenusChecksAndRecursiveRemoval) {
    TestWindow window;
    ASSERT_NE(window.Create(L"TkMenus", 300, 200), nullptr);
    WindowRecord& record = window.record;
    const int32_t owner = CreatePushButton(record, L"Menu", {.rect = {10, 10, 80, 25}});
    const int32_t first = CreateAttachedMenu(record, owner, L"First", nullptr);
    ASSERT_NE(first, 0);
    HMENU popup = record.controls[owner].menu;
    MENUINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = MIM_STYLE;
    ASSERT_TRUE(GetMenuInfo(popup, &info));
    EXPECT_NE(info.dwStyle & MNS_NOTIFYBYPOS, 0u);

    const int32_t separator = AddMenuEntry(record, owner, nullptr, menu_entry::kAppend,
                                           menu_entry::kSeparator, nullptr, nullptr);
    const int32_t radio = AddMenuEntry(record, owner, L"Radio", menu_entry::kAppend,
                                       menu_entry::kRadio, nullptr, nullptr);
    const int32_t top = AddMenuEntry(record, owner, L"Top", 0, 0, nullptr, nullptr);
    const int32_t sub = AddMenuEntry(record, owner, L"More", menu_entry::kAppend,
                                     menu_entry::kSubmenu, nullptr, nullptr);
    const int32_t inner =
        AddMenuEntry(record, -1, L"Inner", menu_entry::kAppend, 0, nullptr, nullptr);
    ASSERT_NE(inner, 0);
    EXPECT_EQ(GetMenuItemCount(popup), 5);
    EXPECT_EQ(GetMenuItemID(popup, 0), static_cast<UINT>(top)) << "position 0 inserts first";
    EXPECT_EQ(GetMenuItemID(popup, 1), static_cast<UINT>(first));
    MENUITEMINFOW item{};
    item.cbSize = sizeof(item);
    item.fMask = MIIM_FTYPE | MIIM_STATE;
    ASSERT_TRUE(GetMenuItemInfoW(popup, static_cast<UINT>(separator), FALSE, &item));
    EXPECT_NE(item.fType & MFT_SEPARATOR, 0u);
    ASSERT_TRUE(GetMenuItemInfoW(popup, static_cast<UINT>(radio), FALSE, &item));
    EXPECT_NE(item.fType & MFT_RADIOCHECK, 0u);
    EXPECT_NE(item.fState & MFS_CHECKED, 0u);
    EXPECT_EQ(GetMenuItemID(GetSubMenu(popup, 4), 0), static_cast<UINT>(inner));

    EXPECT_EQ(GetControlState(record, radio, state::kChecked), state::kChecked);
    ASSERT_TRUE(SetControlState(record, radio, state::kUnchecked | state::kDisabled));
    EXPECT_EQ(GetControlState(record, radio, state::kAll),
              state::kUnchecked | state::kDisabled | state::kUnfocused);
    ASSERT_TRUE(SetControlState(record, inner, state::kDisabled));
    EXPECT_EQ(GetControlState(record, inner, state::kDisabled), state::kDisabled);

    ASSERT_TRUE(RemoveControl(record, sub));
    EXPECT_EQ(FindControl(record, inner), nullptr) << "the submenu's entries go with it";
    EXPECT_EQ(GetMenuItemCount(popup), 4);
    // A new attached menu replaces the old one and its entries.
    ASSERT_NE(CreateAttachedMenu(record, owner, L"Again", nullptr), 0);
    EXPECT_EQ(FindControl(record, radio), nullptr);
    EXPECT_FALSE(IsMenu(popup));
}

TEST(Menus, BitmapsWindowMenuAndBackground) {
    TestWindow window;
    HWND hwnd = window.Create(L"TkMenuBitmaps", 300, 200);
    WindowRecord& record = window.record;
    UniqueBitmap on = CreateArgbDib(13, 13, 0xFF00A000);
    UniqueBitmap off = CreateArgbDib(13, 13, 0xFFA00000);

    const int32_t entry = AddMenuEntry(record, 0, L"File", menu_entry::kAppend,
                                       menu_entry::kItemBitmap, on.Get(), nullptr);
    ASSERT_NE(entry, 0);
    HMENU bar = GetMenu(hwnd);
    ASSERT_NE(bar, nullptr) << "owner 0 is the window menu, made on first use";
    EXPECT_EQ(bar, record.windowMenu.Get());
    MENUITEMINFOW item{};
    item.cbSize = sizeof(item);
    item.fMask = MIIM_BITMAP | MIIM_CHECKMARKS | MIIM_STATE;
    ASSERT_TRUE(GetMenuItemInfoW(bar, static_cast<UINT>(entry), FALSE, &item));
    EXPECT_EQ(item.hbmpItem, on.Get());

    const int32_t check = AddMenuEntry(record, 0, L"Check", menu_entry::kAppend, menu_entry::kCheck,
                                       on.Get(), off.Get());
    ASSERT_TRUE(GetMenuItemInfoW(bar, static_cast<UINT>(check), FALSE, &item));
    EXPECT_EQ(item.hbmpChecked, on.Get());
    EXPECT_EQ(item.hbmpUnchecked, off.Get());
    EXPECT_NE(item.fState & MFS_CHECKED, 0u) << "inserted checked";
    ASSERT_TRUE(SetControlImage(record, check, on.Get(), 13, 13));
    ASSERT_TRUE(GetMenuItemInfoW(bar, static_cast<UINT>(check), FALSE, &item));
    EXPECT_EQ(item.hbmpUnchecked, on.Get());

    ASSERT_TRUE(SetControlBackColour(record, check, RGB(250, 240, 200)));
    MENUINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = MIM_BACKGROUND;
    ASSERT_TRUE(GetMenuInfo(bar, &info));
    EXPECT_EQ(info.hbrBack, record.controls[check].backgroundBrush.Get());
}

TEST(Tooltips, OneWindowPerToolkitWindowAndExplicitLineBreaksOnly) {
    TestWindow window;
    HWND hwnd = window.Create(L"TkTips", 300, 200);
    const int32_t first = CreatePushButton(window.record, L"A", {.rect = {10, 10, 80, 25}});
    // Far apart, so no shown tip ever lies over the next control.
    const int32_t second = CreatePushButton(window.record, L"B", {.rect = {180, 10, 80, 25}});
    EXPECT_FALSE(SetControlTip(window.record, 55, L"free slot"));
    ASSERT_TRUE(SetControlTip(window.record, first, L"one line"));
    ASSERT_TRUE(SetControlTip(window.record, second, L"line one\r\nline two"));
    int tooltips = 0;
    std::pair<HWND, int*> search(hwnd, &tooltips);
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND candidate, LPARAM data) -> BOOL {
            wchar_t name[64] = {};
            GetClassNameW(candidate, name, 64);
            auto* count = reinterpret_cast<std::pair<HWND, int*>*>(data);
            if (lstrcmpiW(name, TOOLTIPS_CLASSW) == 0 &&
                GetWindow(candidate, GW_OWNER) == count->first)
                ++*count->second;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    EXPECT_EQ(tooltips, 1);
    HWND tip = window.record.tooltip.Get();
    ASSERT_NE(tip, nullptr);
    EXPECT_NE(GetWindowLongW(tip, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    EXPECT_EQ(SendMessageW(tip, TTM_GETMAXTIPWIDTH, 0, 0), 100000);

    // The tip as the user sees it, shown where the test says rather than
    // where a mouse would rest (Wine's hover timing under load is not
    // something to wait on): the tool is switched to tracking for the read.
    auto shownSize = [&](int32_t slot) {
        std::wstring text(512, L'\0');
        TOOLINFOW tool{};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.hwnd = window.record.controls[slot].handle;
        tool.uId = reinterpret_cast<UINT_PTR>(tool.hwnd);
        tool.lpszText = text.data();
        SIZE size{};
        if (!SendMessageW(tip, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&tool)))
            return size;
        const UINT flags = tool.uFlags;
        tool.uFlags = flags | TTF_TRACK | TTF_ABSOLUTE;
        SendMessageW(tip, TTM_SETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&tool));
        SendMessageW(tip, TTM_TRACKPOSITION, 0, MAKELPARAM(100, 100));
        SendMessageW(tip, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
        if (PumpUntil([&] { return IsWindowVisible(tip) != FALSE; })) {
            RECT rect{};
            GetWindowRect(tip, &rect);
            size = {rect.right - rect.left, rect.bottom - rect.top};
        }
        SendMessageW(tip, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool));
        tool.uFlags = flags;
        SendMessageW(tip, TTM_SETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&tool));
        PumpUntil([&] { return !IsWindowVisible(tip); });
        return size;
    };
    const SIZE one = shownSize(first);
    const SIZE two = shownSize(second);
    ASSERT_GT(one.cy, 0) << "the tip never showed";
    EXPECT_GT(two.cy, one.cy + 8) << "\\r\\n gives a second line";
    // A long single line is not wrapped.
    const int32_t third = CreatePushButton(window.record, L"C", {.rect = {10, 140, 80, 25}});
    const std::wstring longText(120, L'w');
    ASSERT_TRUE(SetControlTip(window.record, third, longText.c_str()));
    const SIZE wide = shownSize(third);
    EXPECT_GT(wide.cx, 600);
    EXPECT_EQ(wide.cy, one.cy);

    DestroyToolkitWindow(window.record);
    EXPECT_FALSE(IsWindow(tip)) << "the tooltip window goes with its window";
}

}  // namespace
}  // namespace cs::toolkit::test
