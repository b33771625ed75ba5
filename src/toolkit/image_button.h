// The image button: a static bitmap control that shows one of five
// pre-painted faces (normal, hover, focused, disabled, locked) and behaves
// like a push button: a click or Return posts its slot, hovering and the
// focus switch its face. User-interface thread only.
#pragma once

#include <windows.h>

#include <cstdint>

#include "toolkit/drawing.h"
#include "toolkit/window.h"

namespace cs::toolkit {

// Faces of an image button, in the order of its state block.
namespace face {
inline constexpr int32_t kNormal = 0;
inline constexpr int32_t kHover = 1;
inline constexpr int32_t kFocused = 2;
inline constexpr int32_t kDisabled = 3;
inline constexpr int32_t kLocked = 4;
}  // namespace face

// How an image button's faces are painted; the defaults are the toolkit's.
struct ImageButtonStyle {
    float fontSize = 14.0f;  // pixels
    float padding = 4.0f;
    int32_t cornerSize = 12;  // diameter of the corner arcs; below 1 square
    Argb normalStart = 0xFF606070;
    Argb normalEnd = 0xFF202030;
    Argb hoverStart = 0xFF808090;
    Argb hoverEnd = 0xFF404050;
    Argb normalBorder = 0xA09F9F9F;
    Argb hoverBorder = 0xE0EFEFEF;
    Argb caption = 0xFFFFFFFF;  // alpha is always made opaque
    int32_t disabledLook = kDisabledFaded;
};

// The light look: a near-white body, a grey border that darkens on hover,
// a black caption, smaller rounder corners.
inline ImageButtonStyle LightImageButtonStyle() {
    ImageButtonStyle look;
    look.fontSize = 13.0f;
    look.cornerSize = 9;
    look.normalStart = look.hoverStart = 0xFFFFFDFD;
    look.normalEnd = look.hoverEnd = 0xFFDFDDDD;
    look.normalBorder = 0x60000000;
    look.hoverBorder = 0xFF606060;
    look.caption = 0xFF000000;
    return look;
}

inline constexpr int kImageButtonWidth = 160;

// No faces until painted. PaintImageButton paints them kImageButtonWidth
// wide, which the placement's rectangle should be too.
int32_t CreateImageButton(WindowRecord& record, const Placement& at);
// Paints the four faces of an image button (160 × height), hands them over,
// gives the button the hand cursor and, with a tip text, a tooltip. `style`
// null means the defaults.
bool PaintImageButton(WindowRecord& record, int32_t slot, const wchar_t* caption,
                      Gdiplus::GpImage* icon, int height, const wchar_t* tip,
                      const ImageButtonStyle* style);
// Converts the faces (any may be null), replacing the old ones, and shows
// the normal face.
bool SetImageButtonImages(WindowRecord& record, int32_t slot, Gdiplus::GpImage* normal,
                          Gdiplus::GpImage* hover, Gdiplus::GpImage* focused,
                          Gdiplus::GpImage* disabled);
// Shows face `state` by the rules of the image button.
bool SetImageButtonState(WindowRecord& record, int32_t slot, int32_t state, bool respectDisabled);

}  // namespace cs::toolkit
