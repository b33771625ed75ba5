#include "app/window_rules.h"

namespace cs::app {

namespace {

// The pane's 180 pixels and room for the vertical scroll bar. (At creation
// the path column is client width - 420, which leaves 30 pixels less; the
// first refit makes up for that.)
constexpr int kColumnMargin = 200;

}  // namespace

SIZE MainClientSizeForScreen(int horizontalResolution, int verticalResolution) {
    SIZE size{};
    size.cx = horizontalResolution > 1500 ? 1300 : horizontalResolution > 950 ? 800 : 750;
    size.cy = verticalResolution > 100 ? 900 : 550;
    return size;
}

SIZE FitClientIntoWorkArea(SIZE client, SIZE frame, SIZE workArea) {
    SIZE fitted = client;
    if (workArea.cx > 0 && fitted.cx + frame.cx > workArea.cx)
        fitted.cx = workArea.cx - frame.cx;
    if (workArea.cy > 0 && fitted.cy + frame.cy > workArea.cy)
        fitted.cy = workArea.cy - frame.cy;
    return fitted;
}

int PathColumnWidthFor(int clientWidth, int nameWidth, int sizeWidth) {
    return clientWidth - nameWidth - sizeWidth - kColumnMargin;
}

}  // namespace cs::app
