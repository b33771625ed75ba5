#include "toolkit/drawing.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "support.h"

namespace cs::toolkit::test {
namespace {

using namespace Gdiplus::DllExports;

GdipImage SolidImage(int width, int height, Argb colour) {
    GdipImage image = CreatePremultipliedBitmap(width, height);
    GdipGraphics graphics;
    if (image && graphics.Check(GdipGetImageGraphicsContext(image.Get(), graphics.Put())))
        GdipGraphicsClear(graphics.Get(), colour);
    return image;
}

void ExpectNear(int actual, int expected, int tolerance, const char* what) {
    EXPECT_LE(std::abs(actual - expected), tolerance)
        << what << ": " << actual << " instead of about " << expected;
}

TEST(RoundedRect, CornerSizeZeroFillsTheCornersSharp) {
    GdipImage sharp = CreatePremultipliedBitmap(40, 30);
    ASSERT_TRUE(FillRoundedRect(AsBitmap(sharp), 0, 0, 40, 30, 0xFF0000FF, 0.0f));
    for (auto [x, y] : {std::pair{0, 0}, {39, 0}, {0, 29}, {39, 29}})
        EXPECT_EQ(ImagePixel(sharp, x, y), 0xFF0000FFu) << x << "," << y;

    // The same rectangle with round corners leaves the corner pixel empty,
    // so the sharp case above is not just any fill.
    GdipImage round = CreatePremultipliedBitmap(40, 30);
    ASSERT_TRUE(FillRoundedRect(AsBitmap(round), 0, 0, 40, 30, 0xFF0000FF, 16.0f));
    EXPECT_EQ(Alpha(ImagePixel(round, 0, 0)), 0);
    EXPECT_EQ(ImagePixel(round, 20, 15), 0xFF0000FFu);
}

TEST(RoundedRect, CornerSizeEqualToHeightGivesRoundEnds) {
    GdipPath path;
    ASSERT_TRUE(path.Check(GdipCreatePath(Gdiplus::FillModeAlternate, path.Put())));
    ASSERT_TRUE(AddRoundedRectPath(path, 20.0f, 0, 0, 100, 20));
    BOOL inside = FALSE;
    // Middle of the left end, on the axis: inside the half circle.
    GdipIsVisiblePathPoint(path.Get(), 1.0f, 10.0f, nullptr, &inside);
    EXPECT_TRUE(inside);
    // Top-left corner of the bounding box: outside the half circle.
    GdipIsVisiblePathPoint(path.Get(), 1.0f, 1.0f, nullptr, &inside);
    EXPECT_FALSE(inside);
}

TEST(RoundedRect, WindowRegionWithCornerZeroIsTheWholeRectangle) {
    TestWindow window;
    ASSERT_NE(window.Create(L"TkDrawRegion", 120, 80, WS_POPUP), nullptr);
    ASSERT_TRUE(SetRoundedWindowRegion(window.window(), 120, 80, 0));
    UniqueRegion region(CreateRectRgn(0, 0, 0, 0));
    ASSERT_NE(GetWindowRgn(window.window(), region.Get()), ERROR);
    EXPECT_TRUE(PtInRegion(region.Get(), 0, 0));
    EXPECT_TRUE(PtInRegion(region.Get(), 119, 79));

    ASSERT_TRUE(SetRoundedWindowRegion(window.window(), 120, 80, 40));
    ASSERT_NE(GetWindowRgn(window.window(), region.Get()), ERROR);
    EXPECT_FALSE(PtInRegion(region.Get(), 0, 0));
    EXPECT_TRUE(PtInRegion(region.Get(), 60, 40));
}

TEST(ScaleImage, WideImageFitIntoSquareIsCentredVertically) {
    GdipImage source = SolidImage(200, 100, 0xFFFF0000);
    GdipImage scaled = ScaleImage(source.Get(), 128, 128, kScaleFitSquare);
    ASSERT_TRUE(scaled);
    UINT width = 0;
    UINT height = 0;
    GdipGetImageWidth(scaled.Get(), &width);
    GdipGetImageHeight(scaled.Get(), &height);
    EXPECT_EQ(width, 128u);
    EXPECT_EQ(height, 128u);
    // Drawn 128 × 64 at y = 32: rows 32..95 hold the image, the bands above
    // and below stay transparent.
    EXPECT_EQ(Alpha(ImagePixel(scaled, 64, 31)), 0);
    EXPECT_EQ(Alpha(ImagePixel(scaled, 64, 96)), 0);
    for (int y : {33, 64, 94})
        EXPECT_EQ(ImagePixel(scaled, 64, y), 0xFFFF0000u) << "row " << y;
    EXPECT_EQ(ImagePixel(scaled, 2, 64), 0xFFFF0000u);
    EXPECT_EQ(ImagePixel(scaled, 125, 64), 0xFFFF0000u);
}

TEST(ScaleImage, TallImageIsCentredHorizontally) {
    GdipImage source = SolidImage(50, 100, 0xFF00FF00);
    GdipImage scaled = ScaleImage(source.Get(), 128, 128, kScaleFitSquare);
    ASSERT_TRUE(scaled);
    EXPECT_EQ(Alpha(ImagePixel(scaled, 31, 64)), 0);
    EXPECT_EQ(ImagePixel(scaled, 64, 64), 0xFF00FF00u);
    EXPECT_EQ(Alpha(ImagePixel(scaled, 96, 64)), 0);
}

TEST(ScaleImage, CropModeTakesTheCentredSquare) {
    // Left quarter red, middle half green, right quarter blue: the centred
    // square of side 100 is all green.
    GdipImage source = SolidImage(200, 100, 0xFF00FF00);
    {
        GdipGraphics graphics;
        ASSERT_TRUE(graphics.Check(GdipGetImageGraphicsContext(source.Get(), graphics.Put())));
        GdipBrush red;
        GdipBrush blue;
        Gdiplus::GpSolidFill* fill = nullptr;
        GdipCreateSolidFill(0xFFFF0000, &fill);
        red.Reset(fill);
        GdipCreateSolidFill(0xFF0000FF, &fill);
        blue.Reset(fill);
        GdipFillRectangleI(graphics.Get(), red.Get(), 0, 0, 50, 100);
        GdipFillRectangleI(graphics.Get(), blue.Get(), 150, 0, 50, 100);
    }
    GdipImage cropped = ScaleImage(source.Get(), 64, 64, kScaleCropSquare);
    ASSERT_TRUE(cropped);
    for (auto [x, y] : {std::pair{3, 32}, {32, 32}, {60, 32}})
        EXPECT_EQ(ImagePixel(cropped, x, y), 0xFF00FF00u) << x;

    GdipImage stretched = ScaleImage(source.Get(), 64, 64, 0);
    ASSERT_TRUE(stretched);
    EXPECT_EQ(Red(ImagePixel(stretched, 3, 32)), 255);
    EXPECT_EQ(Blue(ImagePixel(stretched, 60, 32)), 255);
}

TEST(ScaleImage, ImageWithoutAreaGivesNone) {
    EXPECT_FALSE(ScaleImage(nullptr, 128, 128, kScaleFitSquare));
}

TEST(DisabledImage, FadedLookIsLightGreyOfTheChannelSum) {
    // R 100, G 50, B 0: 0.2 × (100 + 50 + 0) / 255 + 0.2 = 0.3176 → 81.
    GdipImage source = SolidImage(160, 10, 0xFF643200);
    GdipImage faded = MakeDisabledImage(source.Get(), 0, kDisabledFaded);
    ASSERT_TRUE(faded);
    UINT height = 0;
    GdipGetImageHeight(faded.Get(), &height);
    EXPECT_EQ(height, 10u);
    const uint32_t pixel = ImagePixel(faded, 80, 5);
    EXPECT_EQ(Alpha(pixel), 255);
    ExpectNear(Red(pixel), 81, 2, "red");
    ExpectNear(Green(pixel), 81, 2, "green");
    ExpectNear(Blue(pixel), 81, 2, "blue");
}

TEST(DisabledImage, GreyLookIsThePlainAverageAndKeepsAlpha) {
    GdipImage source = SolidImage(160, 8, 0xFF643200);
    GdipImage grey = MakeDisabledImage(source.Get(), 4, kDisabledGrey);
    ASSERT_TRUE(grey);
    UINT height = 0;
    GdipGetImageHeight(grey.Get(), &height);
    EXPECT_EQ(height, 4u);
    const uint32_t pixel = ImagePixel(grey, 10, 2);
    ExpectNear(Red(pixel), 50, 2, "red");
    ExpectNear(Green(pixel), 50, 2, "green");
    ExpectNear(Blue(pixel), 50, 2, "blue");

    GdipImage clear = SolidImage(160, 4, 0x00000000);
    GdipImage greyClear = MakeDisabledImage(clear.Get(), 0, kDisabledGrey);
    ASSERT_TRUE(greyClear);
    EXPECT_EQ(Alpha(ImagePixel(greyClear, 10, 2)), 0);
}

TEST(Dib, FillBelowAlphaGetsAnAlmostTransparentTopByte) {
    uint32_t* bits = nullptr;
    UniqueBitmap dib = CreateArgbDib(5, 3, 0, &bits);
    ASSERT_TRUE(dib);
    ASSERT_NE(bits, nullptr);
    EXPECT_EQ(bits[0], 0x01000000u);
    EXPECT_EQ(bits[14], 0x01000000u);
    BitmapDimensions size;
    ASSERT_TRUE(BitmapSize(dib.Get(), size));
    EXPECT_EQ(size.width, 5);
    EXPECT_EQ(size.height, 3);
    EXPECT_EQ(size.bitsPerPixel, 32);

    UniqueBitmap opaque = CreateArgbDib(2, 2, 0xFF102030, &bits);
    ASSERT_TRUE(opaque);
    EXPECT_EQ(bits[3], 0xFF102030u);
}

TEST(Icons, MaskOnlyIconUsesHalfTheMaskHeight) {
    // 16 × 16 monochrome icon: AND mask 0 (opaque), XOR mask 1 (white).
    BYTE andMask[16 * 2] = {};
    BYTE xorMask[16 * 2];
    std::fill(std::begin(xorMask), std::end(xorMask), BYTE{0xFF});
    UniqueIcon icon(CreateIcon(GetModuleHandleW(nullptr), 16, 16, 1, 1, andMask, xorMask));
    ASSERT_TRUE(icon);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon.Get(), &info));
    UniqueBitmap mask(info.hbmMask);
    UniqueBitmap colour(info.hbmColor);
    ASSERT_FALSE(colour) << "the icon must be mask-only for this case";

    SIZE size{};
    ASSERT_TRUE(IconSize(icon.Get(), size));
    EXPECT_EQ(size.cx, 16);
    EXPECT_EQ(size.cy, 16);

    UniqueBitmap bitmap = IconToBitmap(icon.Get(), 0, 0);
    ASSERT_TRUE(bitmap);
    BitmapDimensions dimensions;
    ASSERT_TRUE(BitmapSize(bitmap.Get(), dimensions));
    EXPECT_EQ(dimensions.width, 16);
    EXPECT_EQ(dimensions.height, 16);
    const uint32_t pixel = BitmapPixel(bitmap.Get(), 8, 8);
    EXPECT_EQ(pixel & 0x00FFFFFFu, 0x00FFFFFFu) << std::hex << pixel;
}

TEST(Icons, ZeroSizedRequestOfNoIconGivesNone) {
    EXPECT_FALSE(IconToBitmap(nullptr, 0, 0));
    SIZE size{};
    EXPECT_FALSE(IconSize(nullptr, size));
}

TEST(BitmapToImage, KeepsPixelsAndAlpha) {
    uint32_t* bits = nullptr;
    UniqueBitmap dib = CreateArgbDib(4, 2, 0x80402010, &bits);
    ASSERT_TRUE(dib);
    bits[5] = 0xFF00FF00;
    GdipImage image = BitmapToImage(dib.Get());
    ASSERT_TRUE(image);
    Gdiplus::PixelFormat format = 0;
    GdipGetImagePixelFormat(image.Get(), &format);
    EXPECT_EQ(format, kPremultipliedArgb);
    // Read the premultiplied bits back as they were written.
    const Gdiplus::GpRect area(0, 0, 4, 2);
    Gdiplus::BitmapData data{};
    ASSERT_EQ(GdipBitmapLockBits(AsBitmap(image), &area, Gdiplus::ImageLockModeRead,
                                 kPremultipliedArgb, &data),
              Gdiplus::Ok);
    const auto* row0 = static_cast<const uint32_t*>(data.Scan0);
    const auto* row1 =
        reinterpret_cast<const uint32_t*>(static_cast<const BYTE*>(data.Scan0) + data.Stride);
    EXPECT_EQ(row0[0], 0x80402010u);
    EXPECT_EQ(row1[1], 0xFF00FF00u);
    GdipBitmapUnlockBits(AsBitmap(image), &data);
}

TEST(Text, UiFontDrawsCentredText) {
    GdipFont font = CreateUiFont(14.0f, 0);
    ASSERT_TRUE(font);
    GdipImage canvas = CreatePremultipliedBitmap(100, 40);
    ASSERT_TRUE(DrawCenteredText(AsBitmap(canvas), L"IIII", 0, 0, 100, 40, font.Get(), 0xFF000000));
    // Centred: something is drawn in the middle, nothing in the corners.
    int inked = 0;
    for (int x = 30; x < 70; ++x)
        inked += Alpha(ImagePixel(canvas, x, 20)) > 0 ? 1 : 0;
    EXPECT_GT(inked, 0);
    EXPECT_EQ(Alpha(ImagePixel(canvas, 2, 2)), 0);
    EXPECT_EQ(Alpha(ImagePixel(canvas, 97, 37)), 0);
}

TEST(CenterWindow, WithoutReferenceUsesTheWorkAreaNotTheScreen) {
    RECT original{};
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &original, 0));
    // A work area clearly different from the screen, as a task bar makes.
    RECT area{100, 50, 900, 650};
    if (!SystemParametersInfoW(SPI_SETWORKAREA, 0, &area, 0))
        GTEST_SKIP() << "this system does not let a program set the work area";
    RECT reported{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &reported, 0);
    TestWindow window;
    HWND hwnd = window.Create(L"TkCenterNoOwner", 200, 100, WS_POPUP);
    ASSERT_NE(hwnd, nullptr);
    const bool centred = CenterWindow(hwnd, nullptr);
    SystemParametersInfoW(SPI_SETWORKAREA, 0, &original, 0);
    ASSERT_TRUE(centred);
    ASSERT_EQ(reported.left, 100) << "the work area did not change";
    RECT bounds{};
    GetWindowRect(hwnd, &bounds);
    EXPECT_EQ(bounds.left, 800 / 2 + 100 - 200 / 2);
    EXPECT_EQ(bounds.top, 600 / 2 + 50 - 100 / 2);
}

TEST(CenterWindow, WithOwnerUsesTheOwnersClientArea) {
    TestWindow owner;
    HWND ownerWindow = owner.Create(L"TkCenterOwner", 401, 301, WS_POPUP);
    ASSERT_NE(ownerWindow, nullptr);
    SetWindowPos(ownerWindow, nullptr, 300, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    TestWindow dialog;
    HWND hwnd = CreateToolkitWindow(dialog.record, L"TkCenterDialog", L"dialog", 101, 51, kCentred,
                                    kCentred, WS_POPUP, 0, ownerWindow);
    ASSERT_NE(hwnd, nullptr);
    RECT ownerClient{};
    GetClientRect(ownerWindow, &ownerClient);
    MapWindowPoints(ownerWindow, nullptr, reinterpret_cast<POINT*>(&ownerClient), 2);
    RECT bounds{};
    GetWindowRect(hwnd, &bounds);
    // Odd sizes: each division truncates on its own.
    EXPECT_EQ(bounds.left, 401 / 2 + ownerClient.left - 101 / 2);
    EXPECT_EQ(bounds.top, 301 / 2 + ownerClient.top - 51 / 2);
}

}  // namespace
}  // namespace cs::toolkit::test
