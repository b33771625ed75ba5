// The group preview: a window that shows the members of one match group
// side by side (thumbnail, row index, "Checked for removal" tied to the
// row's tick, size, parent folder and name), and the main window's Compare
// command that opens it on the highlighted row. The window reads the rows
// and writes ticks through the main window's row back end; which rows form
// the group is the results module's rule (results/group_range.h). Its wait
// runs through the main window's event pump and drops other windows'
// events. The scroll arithmetic is plain functions so it can be checked
// without a window. User-interface thread only.
#pragma once

#include <cstdint>

namespace cs::app {

struct MainWindow;

// One scroll unit is a fifth of a panel.
inline constexpr int kPreviewUnitPixels = 29;
inline constexpr int kPreviewUnitsPerPanel = 5;
inline constexpr int kPreviewPanelPitch = kPreviewUnitPixels * kPreviewUnitsPerPanel;
// The most panels one preview shows: every panel is nine windows and a
// decoded picture, and a group can hold thousands of rows (all empty files
// form one). A larger group is shown around the chosen row.
inline constexpr int32_t kPreviewMaxPanels = 100;

// The vertical scroll bar as the preview reads it.
struct PreviewScrollBar {
    int minimum = 1;
    int maximum = 1;
    int page = 1;
    int position = 1;
    int trackPosition = 1;
};

// The highest position the bar can reach: maximum - page + 1, never below
// the minimum.
int LastScrollPosition(const PreviewScrollBar& bar);
// The change of position a scroll request (SB_LINEUP ... SB_THUMBTRACK,
// with the thumb position of the request) asks for, kept within the range.
int ScrollRequestChange(const PreviewScrollBar& bar, int request, int16_t thumbPosition);

// A wheel movement: the change of position (negative scrolls up) and the
// part of a notch kept for the next movement.
struct WheelMove {
    int change = 0;
    int16_t remainder = 0;
};
WheelMove WheelScroll(const PreviewScrollBar& bar, int16_t remainder, int16_t delta);

// Shows the group of `row` and waits until the window is closed. 1 when a
// window was shown, 0 when the row gives no group of two or more.
// `tickedSome`, when given, tells whether a row was ticked in the window.
int ShowGroupPreview(MainWindow& window, int32_t row, bool* tickedSome = nullptr);

// The Compare command: the preview of the highlighted row's group, or a
// message asking for a highlighted row; the main window is busy meanwhile.
void CompareCommand(MainWindow& window);

}  // namespace cs::app
