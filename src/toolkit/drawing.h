// Drawing primitives shared by the toolkit and the windows: rounded
// rectangle outlines and fills, window regions and skins, centred text,
// image scaling, disabled images, icon/bitmap/GDI+ conversions, 32-bit DIB
// sections, the interface font and window centring. GDI+ is used through
// its flat interface and must have been started by the program (one
// GdiplusSession, handles.h). Every GDI+ bitmap made here is 32-bit
// premultiplied ARGB. Nothing here runs per paint message; callers paint
// once and keep the result. User-interface thread only (windows, fonts).
#pragma once

#include <windows.h>

#include <cstdint>

#include "toolkit/handles.h"

namespace cs::toolkit {

struct WindowRecord;

using Argb = uint32_t;

inline constexpr Gdiplus::PixelFormat kPremultipliedArgb = 0x000E200B;

// ScaleImage modes.
inline constexpr int kScaleFitSquare = 4;
inline constexpr int kScaleCropSquare = 8;

// MakeDisabledImage looks.
inline constexpr int kDisabledFaded = 1;
inline constexpr int kDisabledGrey = 0;

// Adds a closed rounded-rectangle figure; c is the corner arcs' diameter.
// True when every path call succeeded.
bool AddRoundedRectPath(GdipPath& path, float c, float x, float y, float w, float h);
bool FillRoundedRect(Gdiplus::GpBitmap* bitmap, float x, float y, float w, float h, Argb colour,
                     float c);
bool SetRoundedWindowRegion(HWND window, int width, int height, int c);
bool DrawCenteredText(Gdiplus::GpBitmap* bitmap, const wchar_t* text, float x, float y, float w,
                      float h, Gdiplus::GpFont* font, Argb colour);
// A new width × height bitmap; mode kScaleFitSquare, kScaleCropSquare or
// anything else for a plain stretch. Empty on failure.
GdipImage ScaleImage(Gdiplus::GpImage* image, int width, int height, int mode);
bool DrawImageScaled(Gdiplus::GpImage* source, Gdiplus::GpBitmap* target, int width, int height);
// A new 160 × height bitmap (height 0 = the image's height).
GdipImage MakeDisabledImage(Gdiplus::GpImage* image, int height, int look);
GdipImage CreatePremultipliedBitmap(int width, int height);

// Top-down 32-bit DIB section filled with `fill` (values below 0x01000000
// get 0x01 as alpha byte). `bits` receives the pixels when not null.
UniqueBitmap CreateArgbDib(int width, int height, uint32_t fill, uint32_t** bits = nullptr);

struct BitmapDimensions {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
};
bool BitmapSize(HBITMAP bitmap, BitmapDimensions& size);
bool IconSize(HICON icon, SIZE& size);
// A 32-bit DIB section holding the icon (0 × 0 = the icon's own size).
UniqueBitmap IconToBitmap(HICON icon, int width, int height);
GdipImage BitmapToImage(HBITMAP bitmap);
// "Segoe UI", else the generic sans-serif family; size in pixels.
GdipFont CreateUiFont(float size, int style);
bool CenterWindow(HWND window, HWND reference);
// Paints the skin (frame, body, band) and installs it; takes the system's
// frame from a captioned window, rounds a popup's corners.
void ApplyWindowSkin(WindowRecord& record, int width, int height, Argb frame, Argb body, Argb band,
                     int cornerSize);
// Makes `image`, scaled to width × height where it has another size, the
// window's background the way a skin is: held in the record's memory DC, so
// transparent controls show the part behind them, and painted through a
// pattern brush of it. False when nothing changed.
bool InstallSkin(WindowRecord& record, GdipImage image, int width, int height);
// Cuts the window to a GDI rounded rectangle (corner ellipses cornerSize / 2
// wide) around its width × height client area and `frame` pixels beyond it,
// wherever the client area lies in the window.
bool SetRoundedFrameRegion(HWND window, int width, int height, int frame, int cornerSize,
                           bool redraw);

}  // namespace cs::toolkit
