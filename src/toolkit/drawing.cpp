#include "toolkit/drawing.h"

#include <uxtheme.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <vector>

#include "toolkit/window.h"

namespace cs::toolkit {

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace {

// ERROR_INVALID_PARAMETER comes back from GetDIBits as a line count on some
// systems instead of 0; both mean nothing was copied.
constexpr int kGetDibitsInvalidParameter = 87;

bool MakeGraphics(GpImage* image, GdipGraphics& graphics) {
    return image != nullptr && graphics.Check(GdipGetImageGraphicsContext(image, graphics.Put()));
}

GdipBrush MakeSolidBrush(Argb colour) {
    GdipBrush brush;
    GpSolidFill* fill = nullptr;
    if (brush.Check(GdipCreateSolidFill(colour, &fill)))
        brush.Reset(fill);
    return brush;
}

}  // namespace

bool AddRoundedRectPath(GdipPath& path, float c, float x, float y, float w, float h) {
    if (!path)
        return false;
    bool ok = path.Check(GdipStartPathFigure(path.Get()));
    // GDI+ refuses arcs in an empty square, so a corner size of 0 leaves the
    // arcs out: the figure closes into the plain rectangle all the same.
    const bool arcs = c > 0.0f;
    const float half = c / 2.0f;
    auto line = [&](float x1, float y1, float x2, float y2) {
        ok = path.Check(GdipAddPathLine(path.Get(), x1, y1, x2, y2)) && ok;
    };
    auto arc = [&](float ax, float ay, float start) {
        if (arcs)
            ok = path.Check(GdipAddPathArc(path.Get(), ax, ay, c, c, start, 90.0f)) && ok;
    };
    line(x + half, y, x + w - half, y);
    arc(x + w - c, y, -90.0f);
    line(x + w, y + half, x + w, y + h - half);
    arc(x + w - c, y + h - c, 0.0f);
    line(x + w - half, y + h, x + half, y + h);
    arc(x, y + h - c, 90.0f);
    line(x, y + h - half, x, y + half);
    arc(x, y, 180.0f);
    ok = path.Check(GdipClosePathFigure(path.Get())) && ok;
    return ok;
}

bool FillRoundedRect(GpBitmap* bitmap, float x, float y, float w, float h, Argb colour, float c) {
    GdipGraphics graphics;
    if (!MakeGraphics(bitmap, graphics))
        return false;
    GdipSetSmoothingMode(graphics.Get(), SmoothingModeHighQuality);
    GdipSetPixelOffsetMode(graphics.Get(), PixelOffsetModeHalf);
    GdipPath path;
    if (!path.Check(GdipCreatePath(FillModeAlternate, path.Put())) ||
        !AddRoundedRectPath(path, c, x, y, w, h))
        return false;
    GdipPen pen;
    if (!pen.Check(GdipCreatePen1(colour, 1.0f, UnitPixel, pen.Put())))
        return false;
    GdipBrush brush = MakeSolidBrush(colour);
    if (!brush)
        return false;
    return graphics.Check(GdipDrawPath(graphics.Get(), pen.Get(), path.Get())) &&
           graphics.Check(GdipFillPath(graphics.Get(), brush.Get(), path.Get()));
}

bool SetRoundedWindowRegion(HWND window, int width, int height, int c) {
    if (window == nullptr)
        return false;
    GdipPath path;
    if (!path.Check(GdipCreatePath(FillModeAlternate, path.Put())) ||
        !AddRoundedRectPath(path, static_cast<float>(c), 0.0f, 0.0f, static_cast<float>(width),
                            static_cast<float>(height)))
        return false;
    GdipRegion region;
    if (!region.Check(GdipCreateRegionPath(path.Get(), region.Put())))
        return false;
    GdipGraphics graphics;
    if (!graphics.Check(GdipCreateFromHWND(window, graphics.Put())))
        return false;
    GdipSetPixelOffsetMode(graphics.Get(), PixelOffsetModeHalf);
    GdipSetSmoothingMode(graphics.Get(), SmoothingModeHighQuality);
    HRGN handle = nullptr;
    if (!region.Check(GdipGetRegionHRgn(region.Get(), graphics.Get(), &handle)) ||
        handle == nullptr)
        return false;
    // The system owns the region once SetWindowRgn accepted it.
    if (SetWindowRgn(window, handle, FALSE) == 0) {
        DeleteObject(handle);
        return false;
    }
    return true;
}

bool DrawCenteredText(GpBitmap* bitmap, const wchar_t* text, float x, float y, float w, float h,
                      GpFont* font, Argb colour) {
    if (text == nullptr || font == nullptr)
        return false;
    GdipGraphics graphics;
    if (!MakeGraphics(bitmap, graphics))
        return false;
    GdipStringFormat format;
    if (!format.Check(GdipCreateStringFormat(0, LANG_NEUTRAL, format.Put())))
        return false;
    GdipSetStringFormatAlign(format.Get(), StringAlignmentCenter);
    GdipSetStringFormatLineAlign(format.Get(), StringAlignmentCenter);
    GdipBrush brush = MakeSolidBrush(colour);
    if (!brush)
        return false;
    const RectF layout(x, y, w, h);
    return graphics.Check(GdipDrawString(graphics.Get(), text, static_cast<INT>(std::wcslen(text)),
                                         font, &layout, format.Get(), brush.Get()));
}

GdipImage CreatePremultipliedBitmap(int width, int height) {
    GdipImage image;
    if (width <= 0 || height <= 0)
        return image;
    GpBitmap* bitmap = nullptr;
    if (image.Check(
            GdipCreateBitmapFromScan0(width, height, 0, kPremultipliedArgb, nullptr, &bitmap)))
        image.Reset(bitmap);
    return image;
}

GdipImage ScaleImage(GpImage* image, int width, int height, int mode) {
    GdipImage none;
    if (image == nullptr)
        return none;
    UINT sourceWidth = 0;
    UINT sourceHeight = 0;
    GdipGetImageWidth(image, &sourceWidth);
    GdipGetImageHeight(image, &sourceHeight);
    // An image with no area has no aspect ratio to keep; dividing by its
    // zero side would draw at infinity.
    if (sourceWidth == 0 || sourceHeight == 0)
        return none;
    GdipImage target = CreatePremultipliedBitmap(width, height);
    GdipGraphics graphics;
    if (!target || !MakeGraphics(target.Get(), graphics))
        return none;
    GdipSetInterpolationMode(graphics.Get(), InterpolationModeHighQualityBicubic);
    GdipSetCompositingQuality(graphics.Get(), CompositingQualityGammaCorrected);
    GdipSetPixelOffsetMode(graphics.Get(), PixelOffsetModeHalf);

    const float w = static_cast<float>(width);
    const float h = static_cast<float>(height);
    GpStatus status = Ok;
    if (mode == kScaleFitSquare) {
        const float ratio = static_cast<float>(sourceWidth) / static_cast<float>(sourceHeight);
        if (sourceWidth > sourceHeight) {
            const float drawnHeight = h / ratio;
            const int top = static_cast<int>((h - drawnHeight) / 2.0f);
            status = GdipDrawImageRect(graphics.Get(), image, 0.0f, static_cast<float>(top), w,
                                       drawnHeight);
        } else if (sourceWidth < sourceHeight) {
            const float drawnWidth = w * ratio;
            const int left = static_cast<int>((w - drawnWidth) / 2.0f);
            status = GdipDrawImageRect(graphics.Get(), image, static_cast<float>(left), 0.0f,
                                       drawnWidth, h);
        } else {
            status = GdipDrawImageRect(graphics.Get(), image, 0.0f, 0.0f, w, h);
        }
    } else if (mode == kScaleCropSquare) {
        const UINT side = std::min(sourceWidth, sourceHeight);
        status = GdipDrawImageRectRect(
            graphics.Get(), image, 0.0f, 0.0f, w, h, static_cast<float>((sourceWidth - side) / 2),
            static_cast<float>((sourceHeight - side) / 2), static_cast<float>(side),
            static_cast<float>(side), UnitPixel, nullptr, nullptr, nullptr);
    } else {
        status = GdipDrawImageRectI(graphics.Get(), image, 0, 0, width, height);
    }
    if (!target.Check(status))
        return none;
    return target;
}

bool DrawImageScaled(GpImage* source, GpBitmap* target, int width, int height) {
    if (source == nullptr)
        return false;
    GdipGraphics graphics;
    if (!MakeGraphics(target, graphics))
        return false;
    GdipSetInterpolationMode(graphics.Get(), InterpolationModeHighQualityBicubic);
    GdipSetPixelOffsetMode(graphics.Get(), PixelOffsetModeHalf);
    return graphics.Check(GdipDrawImageRectI(graphics.Get(), source, 0, 0, width, height));
}

GdipImage MakeDisabledImage(GpImage* image, int height, int look) {
    GdipImage none;
    if (image == nullptr)
        return none;
    if (height == 0) {
        UINT imageHeight = 0;
        GdipGetImageHeight(image, &imageHeight);
        height = static_cast<int>(imageHeight);
    }
    constexpr int kWidth = 160;
    GdipImage target = CreatePremultipliedBitmap(kWidth, height);
    GdipGraphics graphics;
    if (!target || !MakeGraphics(target.Get(), graphics))
        return none;

    // Rows are the input channels (R, G, B, A, constant), columns the output.
    static const ColorMatrix kFaded = {{{0.2f, 0.2f, 0.2f, 0.0f, 0.2f},
                                        {0.2f, 0.2f, 0.2f, 0.0f, 0.2f},
                                        {0.2f, 0.2f, 0.2f, 0.0f, 0.2f},
                                        {0.0f, 0.0f, 0.0f, 1.0f, 0.0f},
                                        {0.2f, 0.2f, 0.2f, 0.0f, 0.2f}}};
    static const ColorMatrix kGrey = {{{0.333f, 0.333f, 0.333f, 0.0f, 0.0f},
                                       {0.333f, 0.333f, 0.333f, 0.0f, 0.0f},
                                       {0.334f, 0.334f, 0.334f, 0.0f, 0.0f},
                                       {0.0f, 0.0f, 0.0f, 1.0f, 0.0f},
                                       {0.0f, 0.0f, 0.0f, 0.0f, 1.0f}}};
    GdipImageAttributes attributes;
    if (!attributes.Check(GdipCreateImageAttributes(attributes.Put())) ||
        !attributes.Check(GdipSetImageAttributesColorMatrix(
            attributes.Get(), ColorAdjustTypeDefault, TRUE,
            look == kDisabledFaded ? &kFaded : &kGrey, nullptr, ColorMatrixFlagsDefault)))
        return none;
    if (!target.Check(GdipDrawImageRectRectI(graphics.Get(), image, 0, 0, kWidth, height, 0, 0,
                                             kWidth, height, UnitPixel, attributes.Get(), nullptr,
                                             nullptr)))
        return none;
    return target;
}

UniqueBitmap CreateArgbDib(int width, int height, uint32_t fill, uint32_t** bits) {
    if (bits != nullptr)
        *bits = nullptr;
    if (width <= 0 || height <= 0)
        return UniqueBitmap();
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    info.bmiHeader.biSizeImage = static_cast<DWORD>(width) * static_cast<DWORD>(height) * 4;
    void* pixels = nullptr;
    UniqueBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0));
    if (!bitmap || pixels == nullptr)
        return UniqueBitmap();
    // An alpha byte of 0 would make the whole bitmap invisible to the alpha
    // blending static controls; 0x01 keeps it almost transparent instead.
    if (fill < 0x01000000)
        fill |= 0x01000000;
    std::fill_n(static_cast<uint32_t*>(pixels), static_cast<size_t>(width) * height, fill);
    if (bits != nullptr)
        *bits = static_cast<uint32_t*>(pixels);
    return bitmap;
}

bool BitmapSize(HBITMAP bitmap, BitmapDimensions& size) {
    BITMAP info{};
    if (bitmap == nullptr || GetObjectW(bitmap, sizeof(info), &info) == 0)
        return false;
    size.width = info.bmWidth;
    size.height = info.bmHeight;
    size.bitsPerPixel = info.bmBitsPixel;
    return true;
}

bool IconSize(HICON icon, SIZE& size) {
    ICONINFO info{};
    if (icon == nullptr || !GetIconInfo(icon, &info))
        return false;
    UniqueBitmap colour(info.hbmColor);
    UniqueBitmap mask(info.hbmMask);
    BitmapDimensions dimensions;
    if (colour) {
        if (!BitmapSize(colour.Get(), dimensions))
            return false;
        size = {dimensions.width, dimensions.height};
        return true;
    }
    // A monochrome icon keeps its AND and XOR masks stacked in one bitmap.
    if (!BitmapSize(mask.Get(), dimensions))
        return false;
    size = {dimensions.width, dimensions.height / 2};
    return true;
}

UniqueBitmap IconToBitmap(HICON icon, int width, int height) {
    if (icon == nullptr)
        return UniqueBitmap();
    if (width == 0 && height == 0) {
        SIZE size{};
        if (!IconSize(icon, size))
            return UniqueBitmap();
        width = size.cx;
        height = size.cy;
    }
    if (width <= 0 || height <= 0)
        return UniqueBitmap();
    WindowDc screen(nullptr);
    UniqueDc dc(CreateCompatibleDC(screen.Get()));
    UniqueBitmap bitmap = CreateArgbDib(width, height, 0);
    if (!dc || !bitmap)
        return UniqueBitmap();
    bool drawn = false;
    {
        SelectGuard select(dc.Get(), bitmap.Get());
        SetBkColor(dc.Get(), 0x01000000);
        SetBkMode(dc.Get(), TRANSPARENT);
        UniqueImageList list(ImageList_Create(width, height, ILC_COLOR32 | ILC_MASK, 1, 1));
        if (list && ImageList_ReplaceIcon(list.Get(), -1, icon) >= 0)
            drawn = ImageList_DrawEx(list.Get(), 0, dc.Get(), 0, 0, width, height, CLR_NONE,
                                     CLR_NONE, ILD_IMAGE) != FALSE;
        if (!drawn)
            drawn = DrawIconEx(dc.Get(), 0, 0, icon, width, height, 0, nullptr, DI_NORMAL) != FALSE;
    }
    if (!drawn)
        return UniqueBitmap();
    return bitmap;
}

GdipImage BitmapToImage(HBITMAP bitmap) {
    GdipImage none;
    BitmapDimensions size;
    if (!BitmapSize(bitmap, size) || size.width <= 0 || size.height <= 0)
        return none;
    const int stride = size.width * 4;
    std::vector<uint8_t> pixels(static_cast<size_t>(stride) * size.height);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = size.width;
    info.bmiHeader.biHeight = -size.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    int lines = 0;
    {
        WindowDc screen(nullptr);
        lines = GetDIBits(screen.Get(), bitmap, 0, static_cast<UINT>(size.height), pixels.data(),
                          &info, DIB_RGB_COLORS);
    }
    if (lines == 0 || lines == kGetDibitsInvalidParameter)
        return none;
    GdipImage image = CreatePremultipliedBitmap(size.width, size.height);
    if (!image)
        return none;
    const GpRect area(0, 0, size.width, size.height);
    BitmapData data{};
    if (!image.Check(GdipBitmapLockBits(AsBitmap(image), &area, ImageLockModeWrite,
                                        kPremultipliedArgb, &data)))
        return none;
    for (int row = 0; row < size.height; ++row)
        std::memcpy(static_cast<uint8_t*>(data.Scan0) + static_cast<ptrdiff_t>(row) * data.Stride,
                    pixels.data() + static_cast<size_t>(row) * stride, static_cast<size_t>(stride));
    if (!image.Check(GdipBitmapUnlockBits(AsBitmap(image), &data)))
        return none;
    return image;
}

GdipFont CreateUiFont(float size, int style) {
    GdipFont font;
    GdipFontFamily family;
    if (family.Check(GdipCreateFontFamilyFromName(L"Segoe UI", nullptr, family.Put())) &&
        font.Check(GdipCreateFont(family.Get(), size, style, UnitPixel, font.Put())))
        return font;
    // GDI+ hands out the generic families itself; fetched once and kept for
    // the life of the GDI+ session, never deleted.
    static GpFontFamily* sansSerif = nullptr;
    if (sansSerif == nullptr && GdipGetGenericFontFamilySansSerif(&sansSerif) != Ok)
        sansSerif = nullptr;
    if (sansSerif == nullptr ||
        !font.Check(GdipCreateFont(sansSerif, size, style, UnitPixel, font.Put())))
        font.Reset();
    return font;
}

bool CenterWindow(HWND window, HWND reference) {
    if (window == nullptr)
        return false;
    RECT area{};
    if (reference != nullptr) {
        if (!GetClientRect(reference, &area))
            return false;
        MapWindowPoints(reference, nullptr, reinterpret_cast<POINT*>(&area), 2);
    } else if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0)) {
        return false;
    }
    RECT bounds{};
    if (!GetWindowRect(window, &bounds))
        return false;
    const int areaWidth = area.right - area.left;
    const int areaHeight = area.bottom - area.top;
    const int width = bounds.right - bounds.left;
    const int height = bounds.bottom - bounds.top;
    const int x = areaWidth / 2 + area.left - width / 2;
    const int y = areaHeight / 2 + area.top - height / 2;
    return SetWindowPos(window, nullptr, x, y, 0, 0,
                        SWP_NOSIZE | SWP_NOZORDER | SWP_NOOWNERZORDER | SWP_NOREDRAW) != FALSE;
}

bool SetRoundedFrameRegion(HWND window, int width, int height, int frame, int cornerSize,
                           bool redraw) {
    RECT bounds{};
    GetWindowRect(window, &bounds);
    POINT corner{bounds.left, bounds.top};
    ScreenToClient(window, &corner);
    UniqueRegion region(
        CreateRoundRectRgn(-corner.x - frame, -corner.y - frame, frame + width - corner.x + 1,
                           frame + height - corner.y + 1, cornerSize / 2, cornerSize / 2));
    // The system owns the region once SetWindowRgn accepted it.
    if (!region || SetWindowRgn(window, region.Get(), redraw ? TRUE : FALSE) == 0)
        return false;
    region.Release();
    return true;
}

bool InstallSkin(WindowRecord& record, GdipImage image, int width, int height) {
    if (!record.memoryDc || !image)
        return false;
    UINT imageWidth = 0;
    UINT imageHeight = 0;
    GdipGetImageWidth(image.Get(), &imageWidth);
    GdipGetImageHeight(image.Get(), &imageHeight);
    if (static_cast<LONG>(imageWidth) != width || static_cast<LONG>(imageHeight) != height) {
        GdipImage scaled = CreatePremultipliedBitmap(width, height);
        if (scaled && DrawImageScaled(image.Get(), AsBitmap(scaled), width, height))
            image = std::move(scaled);
    }
    HBITMAP converted = nullptr;
    if (GdipCreateHBITMAPFromBitmap(AsBitmap(image), &converted, 0xFEFEFE) != Ok ||
        converted == nullptr)
        return false;
    UniqueBitmap bitmap(converted);
    UniqueBrush pattern(CreatePatternBrush(bitmap.Get()));
    if (!pattern)
        return false;
    HGDIOBJ previous = SelectObject(record.memoryDc.Get(), bitmap.Get());
    if (record.memoryDcPreviousBitmap == nullptr)
        record.memoryDcPreviousBitmap = previous;
    // The old skin was the one selected until now; it is free to go.
    record.skinBitmap = std::move(bitmap);
    if (record.backgroundMode != BackgroundMode::kBorrowedBrush &&
        record.backgroundBrush != nullptr)
        DeleteObject(record.backgroundBrush);
    record.backgroundBrush = static_cast<HBRUSH>(pattern.Release());
    record.backgroundMode = BackgroundMode::kSkin;
    return true;
}

namespace {

// The frame, the body inside it and, when it differs from the body, the
// band of buttons at the foot.
GdipImage PaintSkin(int width, int height, Argb frame, Argb body, Argb band) {
    GdipImage skin = CreatePremultipliedBitmap(width, height);
    if (!skin)
        return skin;
    const float w = static_cast<float>(width);
    const float h = static_cast<float>(height);
    FillRoundedRect(AsBitmap(skin), 0.0f, 0.0f, w, h, frame, 4.0f);
    FillRoundedRect(AsBitmap(skin), 4.0f, 4.0f, w - 8.0f, h - 8.0f, body, 4.0f);
    if (band != body)
        FillRoundedRect(AsBitmap(skin), 4.0f, h - 39.0f, w - 8.0f, 35.0f, band, 0.0f);
    return skin;
}

// A captioned window gives up the system's frame for the skin's: a custom
// frame without corners, else the client area cut out with rounded ones.
void FrameCaptionedWindow(WindowRecord& record, int cornerSize) {
    HWND window = record.window;
    RECT client{};
    GetClientRect(window, &client);
    SetWindowTheme(window, L"", L"");
    record.cornerSize = cornerSize;
    record.frameWidth = 0;
    record.frameColour = 0;
    if (cornerSize <= 0) {
        record.customFrame = 1;
        SetWindowRgn(window, nullptr, FALSE);
        SetWindowPos(window, nullptr, 0, 0, client.right, client.bottom,
                     SWP_FRAMECHANGED | SWP_NOMOVE);
    } else {
        record.customFrame = 0;
        SetRoundedFrameRegion(window, client.right, client.bottom, 0, cornerSize, true);
    }
    GetClientRect(window, &client);
    record.laidOutClient = {0, 0, client.right, client.bottom};
    record.designClientSize = {client.right, client.bottom};
}

}  // namespace

void ApplyWindowSkin(WindowRecord& record, int width, int height, Argb frame, Argb body, Argb band,
                     int cornerSize) {
    HWND window = record.window;
    if (window == nullptr)
        return;
    RECT client{};
    GetClientRect(window, &client);
    // A size of 0 or -1 stands for the client size when painting: there is
    // no bitmap yet whose own size it could mean.
    const int paintedWidth = width > 0 ? width : client.right;
    const int paintedHeight = height > 0 ? height : client.bottom;
    GdipImage skin = PaintSkin(paintedWidth, paintedHeight, frame, body, band);
    if (!skin)
        return;

    const int targetWidth = width == 0 ? client.right : width == -1 ? paintedWidth : width;
    const int targetHeight = height == 0 ? client.bottom : height == -1 ? paintedHeight : height;
    BitmapDimensions size;
    if (InstallSkin(record, std::move(skin), targetWidth, targetHeight) &&
        BitmapSize(record.skinBitmap.Get(), size))
        record.designClientSize = {size.width, size.height};

    const LONG style = GetWindowLongW(window, GWL_STYLE);
    if ((style & WS_CAPTION) == WS_CAPTION)
        FrameCaptionedWindow(record, cornerSize);
    else if (cornerSize != 0)
        SetRoundedWindowRegion(window, paintedWidth, paintedHeight, cornerSize);
}

}  // namespace cs::toolkit
