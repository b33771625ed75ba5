// The image button: a static bitmap control showing pre-painted faces that
// behaves like a push button.
#include "toolkit/image_button.h"

#include "toolkit/controls.h"

#include "toolkit/controls_internal.h"
#include "toolkit/tooltips.h"

namespace cs::toolkit {

using namespace detail;

namespace {

using namespace Gdiplus::DllExports;

constexpr DWORD kImageButtonStyle = style::kImageButton;

LRESULT CALLBACK ImageButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                 UINT_PTR id, DWORD_PTR reference) {
    auto* record = reinterpret_cast<WindowRecord*>(reference);
    const auto slot = static_cast<int32_t>(id);
    switch (message) {
        case WM_SETFOCUS:
            SetImageButtonState(*record, slot, face::kFocused, true);
            break;
        case WM_KILLFOCUS:
            SetImageButtonState(*record, slot, face::kNormal, true);
            break;
        case WM_ENABLE:
            SetImageButtonState(*record, slot, wParam ? face::kNormal : face::kDisabled, false);
            break;
        case WM_NCDESTROY:
            RemoveWindowSubclass(window, ImageButtonProc, id);
            break;
        default:
            break;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

GdipLineGradient MakeGradient(int height, Argb start, Argb end, Gdiplus::LinearGradientMode mode) {
    GdipLineGradient brush;
    const Gdiplus::Rect area(0, 0, kImageButtonWidth, height);
    brush.Check(
        GdipCreateLineBrushFromRectI(&area, start, end, mode, Gdiplus::WrapModeTile, brush.Put()));
    return brush;
}

// One face: the gradient body, its border, the caption and the icon.
GdipImage PaintFace(const wchar_t* caption, Gdiplus::GpImage* icon, int height,
                    const ImageButtonStyle& style, Argb start, Argb end, Argb border) {
    GdipImage face = CreatePremultipliedBitmap(kImageButtonWidth, height);
    if (!face)
        return face;
    GdipGraphics graphics;
    if (!graphics.Check(GdipGetImageGraphicsContext(face.Get(), graphics.Put())))
        return GdipImage();
    GdipSetSmoothingMode(graphics.Get(), Gdiplus::SmoothingModeAntiAlias);
    GdipSetPixelOffsetMode(graphics.Get(), Gdiplus::PixelOffsetModeHalf);
    GdipPen pen;
    pen.Check(GdipCreatePen1(border, 2.0f, Gdiplus::UnitPixel, pen.Put()));
    const float h = static_cast<float>(height);
    if (style.cornerSize < 1) {
        GdipLineGradient fill =
            MakeGradient(height, start, end, Gdiplus::LinearGradientModeForwardDiagonal);
        if (fill)
            GdipFillRectangleI(graphics.Get(), fill.Get(), 0, 0, kImageButtonWidth, height);
        if (pen)
            GdipDrawRectangle(graphics.Get(), pen.Get(), 1.0f, 1.0f, 158.0f, h - 2.0f);
    } else {
        GdipPath outline;
        outline.Check(GdipCreatePath(Gdiplus::FillModeAlternate, outline.Put()));
        GdipLineGradient fill =
            MakeGradient(height, start, end, Gdiplus::LinearGradientModeVertical);
        if (AddRoundedRectPath(outline, static_cast<float>(style.cornerSize), 1.0f, 1.0f, 158.0f,
                               h - 2.0f)) {
            if (fill)
                GdipFillPath(graphics.Get(), fill.Get(), outline.Get());
            if (pen)
                GdipDrawPath(graphics.Get(), pen.Get(), outline.Get());
        }
    }
    const float iconSize = h - 2.0f * style.padding;
    if (caption != nullptr && caption[0] != L'\0') {
        GdipFont font = CreateUiFont(style.fontSize, 0);
        const float x = iconSize + 2.0f * style.padding;
        DrawCenteredText(AsBitmap(face), caption, x, 5.0f,
                         static_cast<float>(kImageButtonWidth) - 3.0f * style.padding - iconSize,
                         h - 10.0f, font.Get(), style.caption | 0xFF000000u);
    }
    if (icon != nullptr && iconSize > 2.0f) {
        GdipSetInterpolationMode(graphics.Get(), Gdiplus::InterpolationModeHighQualityBicubic);
        GdipDrawImageRect(graphics.Get(), icon, style.padding + 1.0f, style.padding + 1.0f,
                          iconSize - 2.0f, iconSize - 2.0f);
    }
    return face;
}

// The hover face with the dashed focus mark inside its border.
GdipImage PaintFocusedFace(const GdipImage& hover, int height, const ImageButtonStyle& style) {
    GdipImage face = CloneImage(hover.Get());
    GdipGraphics graphics;
    if (!face || !graphics.Check(GdipGetImageGraphicsContext(face.Get(), graphics.Put())))
        return GdipImage();
    GdipSetSmoothingMode(graphics.Get(), Gdiplus::SmoothingModeAntiAlias);
    GdipSetPixelOffsetMode(graphics.Get(), Gdiplus::PixelOffsetModeHalf);
    GdipPen pen;
    if (!pen.Check(GdipCreatePen1(0xFF0000FF, 1.0f, Gdiplus::UnitPixel, pen.Put())))
        return face;
    GdipSetPenDashStyle(pen.Get(), Gdiplus::DashStyleDash);
    const float h = static_cast<float>(height) - 6.0f;
    if (style.cornerSize < 1) {
        GdipDrawRectangle(graphics.Get(), pen.Get(), 3.0f, 3.0f, 154.0f, h);
    } else {
        GdipPath outline;
        outline.Check(GdipCreatePath(Gdiplus::FillModeAlternate, outline.Put()));
        if (AddRoundedRectPath(outline, static_cast<float>(style.cornerSize - 4), 3.0f, 3.0f,
                               154.0f, h))
            GdipDrawPath(graphics.Get(), pen.Get(), outline.Get());
    }
    return face;
}

}  // namespace

int32_t CreateImageButton(WindowRecord& record, const Placement& at) {
    const int32_t slot = CreateStandardControl(record, ControlKind::kImageButton, L"Static", L"",
                                               kImageButtonStyle, 0, at);
    if (slot == 0)
        return 0;
    ControlRecord& control = record.controls[slot];
    control.imageButton = std::make_unique<ImageButtonState>();
    SetWindowSubclass(control.handle, ImageButtonProc, static_cast<UINT_PTR>(slot),
                      reinterpret_cast<DWORD_PTR>(&record));
    return slot;
}

bool PaintImageButton(WindowRecord& record, int32_t slot, const wchar_t* caption,
                      Gdiplus::GpImage* icon, int height, const wchar_t* tip,
                      const ImageButtonStyle* style) {
    if (slot == -1)
        slot = record.count;
    ControlRecord* control = FindControl(record, slot);
    if (control == nullptr || control->kind != ControlKind::kImageButton || height < 1)
        return false;
    const ImageButtonStyle defaults;
    const ImageButtonStyle& look = style != nullptr ? *style : defaults;
    GdipImage normal =
        PaintFace(caption, icon, height, look, look.normalStart, look.normalEnd, look.normalBorder);
    GdipImage hover =
        PaintFace(caption, icon, height, look, look.hoverStart, look.hoverEnd, look.hoverBorder);
    if (!normal || !hover)
        return false;
    GdipImage focused = PaintFocusedFace(hover, height, look);
    GdipImage disabled = MakeDisabledImage(normal.Get(), height, look.disabledLook);
    if (!SetImageButtonImages(record, slot, normal.Get(), hover.Get(), focused.Get(),
                              disabled.Get()))
        return false;
    SetControlCursor(record, slot, IDC_HAND);
    if (tip != nullptr && tip[0] != L'\0')
        SetControlTip(record, slot, tip);
    return true;
}

bool SetImageButtonImages(WindowRecord& record, int32_t slot, Gdiplus::GpImage* normal,
                          Gdiplus::GpImage* hover, Gdiplus::GpImage* focused,
                          Gdiplus::GpImage* disabled) {
    if (slot == -1)
        slot = record.count;
    ControlRecord* control = FindControl(record, slot);
    if (control == nullptr || control->kind != ControlKind::kImageButton)
        return false;
    if (!control->imageButton)
        control->imageButton = std::make_unique<ImageButtonState>();
    ImageButtonState& block = *control->imageButton;
    // The control may still show one of the faces being replaced; the new
    // normal face goes in before the old ones are deleted.
    std::array<UniqueBitmap, 5> previous = std::move(block.bitmaps);
    Gdiplus::GpImage* faces[] = {normal, hover, focused, disabled};
    for (size_t i = 0; i < 4; ++i)
        block.bitmaps[i] = ToBitmap(faces[i]);
    block.bitmaps[face::kLocked].Reset();
    block.state = face::kNormal;
    HBITMAP owned[5];
    for (size_t i = 0; i < 5; ++i)
        owned[i] = previous[i].Get();
    ShowBitmap(control->handle, block.bitmaps[face::kNormal].Get(), owned, 5);
    return true;
}

bool SetImageButtonState(WindowRecord& record, int32_t slot, int32_t state, bool respectDisabled) {
    ControlRecord* control = FindControl(record, slot);
    if (control == nullptr || control->kind != ControlKind::kImageButton || !control->imageButton)
        return false;
    ImageButtonState& block = *control->imageButton;
    if (state < 0 || state > face::kLocked || block.state == face::kLocked)
        return false;
    if (!block.bitmaps[static_cast<size_t>(state)])
        state =
            state == face::kFocused && block.bitmaps[face::kHover] ? face::kHover : face::kNormal;
    if (block.state == state)
        return true;
    if (respectDisabled && block.state == face::kDisabled)
        return false;
    if (block.state == face::kFocused && state <= face::kFocused && GetFocus() == control->handle)
        return false;
    block.state = state;
    HBITMAP owned[5];
    for (size_t i = 0; i < 5; ++i)
        owned[i] = block.bitmaps[i].Get();
    ShowBitmap(control->handle, block.bitmaps[static_cast<size_t>(state)].Get(), owned, 5);
    return true;
}

}  // namespace cs::toolkit
