// Layout: moving and sizing the controls by their layout flags when the
// client size changes, and the rounded region that follows the size.
#include "toolkit/container_internal.h"

namespace cs::toolkit {

using namespace detail;

namespace {

// The rule of one axis: position and size from the design values, the
// design client extent and the new client extent.
struct AxisFlags {
    int32_t scaleSize, scalePosition, proportionalCentre, centreOffset, nearEdge, farEdge;
};

void LayoutAxis(int32_t flags, const AxisFlags& bits, int design, int size, int designExtent,
                int extent, int current, int currentSize, int& position, int& newSize) {
    newSize = (flags & bits.scaleSize) && designExtent > 0 ? extent * size / designExtent : size;
    const bool nearEdge = (flags & bits.nearEdge) != 0;
    const bool farEdge = (flags & bits.farEdge) != 0;
    if (flags & bits.scalePosition) {
        position = designExtent > 0 ? design * extent / designExtent : design;
    } else if (flags & bits.proportionalCentre) {
        // The rule divides by the design centre and by a quotient of it; a
        // centre at 0 (or beyond 1000 times the extent) has no proportion to
        // keep, so the control stays where it is.
        const int centre = design + size / 2;
        const int quotient = centre != 0 ? designExtent * 1000 / centre : 0;
        if (quotient != 0) {
            position = extent * 1000 / quotient - newSize / 2;
        } else {
            position = current;
            newSize = currentSize;
        }
    } else if (flags & bits.centreOffset) {
        position = extent / 2 + design + size / 2 - designExtent / 2 - newSize / 2;
    } else if (nearEdge && farEdge) {
        position = design;
        newSize = size + (extent - designExtent);
    } else if (nearEdge) {
        position = design;
    } else if (farEdge) {
        position = design + size + (extent - designExtent) - newSize;
    } else {
        position = current;
        newSize = currentSize;
    }
}

constexpr AxisFlags kHorizontal{
    layout::kScaleWidth,    layout::kScaleX, layout::kProportionalCentreX,
    layout::kCentreOffsetX, layout::kLeft,   layout::kRight};
constexpr AxisFlags kVertical{layout::kScaleHeight,   layout::kScaleY, layout::kProportionalCentreY,
                              layout::kCentreOffsetY, layout::kTop,    layout::kBottom};

// A size grip keeps to its parent's bottom-right corner, whichever way the
// parent (the window or a pane) has just changed.
void KeepSizeGripsInTheirCorner(WindowRecord& record) {
    for (int32_t slot = 1; slot <= record.count; ++slot) {
        ControlRecord* control = FindControl(record, slot);
        RECT parent{};
        RECT grip{};
        if (control == nullptr || control->kind != ControlKind::kSizeGrip ||
            !GetClientRect(GetParent(control->handle), &parent) ||
            !GetClientRect(control->handle, &grip))
            continue;
        SetWindowPos(control->handle, nullptr, parent.right - grip.right,
                     parent.bottom - grip.bottom, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOOWNERZORDER | SWP_NOACTIVATE);
    }
}

}  // namespace

namespace detail {

void InvalidateMarkedControls(WindowRecord& record) {
    for (int32_t slot = 1; slot <= record.count; ++slot) {
        ControlRecord* control = FindControl(record, slot);
        if (control != nullptr && control->handle != nullptr &&
            (control->layoutFlags & layout::kInvalidateAfterMove))
            InvalidateInParent(control->handle);
    }
}

}  // namespace detail

bool LayoutControls(WindowRecord& record) {
    HWND window = record.window;
    if (window == nullptr || !record.controls || (GetWindowLongW(window, GWL_STYLE) & WS_MINIMIZE))
        return false;
    RECT client{};
    if (!GetClientRect(window, &client))
        return false;
    const int width = client.right;
    const int height = client.bottom;
    if (width == record.laidOutClient.right && height == record.laidOutClient.bottom)
        return true;
    record.laidOutClient = {0, 0, width, height};
    record.currentClient = client;

    HDWP batch = BeginDeferWindowPos(record.count + 1);
    if (batch == nullptr)
        return false;
    for (int32_t slot = 1; slot <= record.count; ++slot) {
        ControlRecord* control = FindControl(record, slot);
        if (control == nullptr || control->handle == nullptr ||
            !(control->layoutFlags & layout::kLaidOut))
            continue;
        const RECT& design = control->designRect;
        RECT current{design.left, design.top, design.left + design.right,
                     design.top + design.bottom};
        RectInParent(control->handle, current);
        int x = 0;
        int y = 0;
        int w = 0;
        int h = 0;
        LayoutAxis(control->layoutFlags, kHorizontal, design.left, design.right,
                   control->designClientSize.cx, width, current.left, current.right - current.left,
                   x, w);
        LayoutAxis(control->layoutFlags, kVertical, design.top, design.bottom,
                   control->designClientSize.cy, height, current.top, current.bottom - current.top,
                   y, h);
        HWND parent = GetParent(control->handle);
        if (parent == window) {
            batch = DeferWindowPos(batch, control->handle, nullptr, x, y, w, h,
                                   SWP_NOZORDER | SWP_NOOWNERZORDER);
            if (batch == nullptr)
                return false;
        } else {
            SetWindowPos(control->handle, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOOWNERZORDER);
        }
        if (control->layoutFlags & layout::kInvalidateAfterMove) {
            RECT moved{x, y, x + w, y + h};
            InvalidateRect(parent, &moved, TRUE);
        }
    }

    if (record.cornerSize > 1)
        SetRoundedFrameRegion(window, width, height, record.frameWidth, record.cornerSize,
                              IsWindowVisible(window) != FALSE);
    const bool moved = EndDeferWindowPos(batch) != FALSE;
    KeepSizeGripsInTheirCorner(record);
    return moved;
}

}  // namespace cs::toolkit
