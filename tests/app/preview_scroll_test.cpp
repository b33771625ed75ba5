// The preview's scroll arithmetic at its edges, which the driver's messages
// do not all reach: page up short of the top, thumb positions outside the
// range, the thumb being dragged, and wheel remainders that change sign.
#include <gtest/gtest.h>
#include <windows.h>

#include "app/preview_window.h"

namespace cs::app {
namespace {

// Four panels: range 1 to 20, page 15, positions 1 to 6.
PreviewScrollBar FourPanelsAt(int position) {
    PreviewScrollBar bar;
    bar.minimum = 1;
    bar.maximum = 20;
    bar.page = 15;
    bar.position = position;
    bar.trackPosition = position;
    return bar;
}

TEST(PreviewScroll, RequestsStayWithinTheReachablePositions) {
    EXPECT_EQ(LastScrollPosition(FourPanelsAt(1)), 6);
    // A page is more than the whole way: it is cut to what is left.
    EXPECT_EQ(ScrollRequestChange(FourPanelsAt(4), SB_PAGEUP, 0), -3);
    EXPECT_EQ(ScrollRequestChange(FourPanelsAt(2), SB_PAGEDOWN, 0), 4);
    EXPECT_EQ(ScrollRequestChange(FourPanelsAt(6), SB_LINEDOWN, 0), 0);
    EXPECT_EQ(ScrollRequestChange(FourPanelsAt(1), SB_LINEUP, 0), 0);
    // The thumb's position is a signed 16-bit number.
    EXPECT_EQ(ScrollRequestChange(FourPanelsAt(3), SB_THUMBPOSITION, -5), -2);
    EXPECT_EQ(ScrollRequestChange(FourPanelsAt(3), SB_THUMBPOSITION, 4), 1);
    EXPECT_EQ(ScrollRequestChange(FourPanelsAt(3), SB_THUMBPOSITION, 32767), 3);
    // While the thumb is dragged the bar's track position counts.
    PreviewScrollBar dragged = FourPanelsAt(2);
    dragged.trackPosition = 5;
    EXPECT_EQ(ScrollRequestChange(dragged, SB_THUMBTRACK, 0), 3);
    EXPECT_EQ(ScrollRequestChange(FourPanelsAt(5), SB_TOP, 0), -4);
    EXPECT_EQ(ScrollRequestChange(FourPanelsAt(2), SB_BOTTOM, 0), 4);

    // Two panels: range 1 to 10 with a page of 10 is a single position.
    PreviewScrollBar two;
    two.maximum = 10;
    two.page = 10;
    for (int request : {SB_LINEDOWN, SB_PAGEDOWN, SB_BOTTOM, SB_THUMBPOSITION})
        EXPECT_EQ(ScrollRequestChange(two, request, 7), 0) << "request " << request;
    EXPECT_EQ(WheelScroll(two, 0, -120).change, 0);
}

TEST(PreviewScroll, WheelKeepsPartsOfNotchesAcrossMovements) {
    // Half a notch waits; half a notch back cancels it; the next half waits
    // again, and with another half down makes one notch down.
    WheelMove move = WheelScroll(FourPanelsAt(3), 0, 60);
    EXPECT_EQ(move.change, 0);
    EXPECT_EQ(move.remainder, 60);
    move = WheelScroll(FourPanelsAt(3), move.remainder, -120);
    EXPECT_EQ(move.change, 0);
    EXPECT_EQ(move.remainder, -60);
    move = WheelScroll(FourPanelsAt(3), move.remainder, -60);
    EXPECT_EQ(move.change, 1);
    EXPECT_EQ(move.remainder, 0);
    // A notch and a half: one unit now, the half kept.
    move = WheelScroll(FourPanelsAt(3), 0, 180);
    EXPECT_EQ(move.change, -1);
    EXPECT_EQ(move.remainder, 60);
    // Two notches up from position 2 go one unit, to the top; at the top,
    // and at the bottom going down, nothing moves.
    EXPECT_EQ(WheelScroll(FourPanelsAt(2), 0, 240).change, -1);
    EXPECT_EQ(WheelScroll(FourPanelsAt(1), 0, 120).change, 0);
    EXPECT_EQ(WheelScroll(FourPanelsAt(6), 0, -360).change, 0);
    EXPECT_EQ(WheelScroll(FourPanelsAt(4), 0, -360).change, 2);
}

}  // namespace
}  // namespace cs::app
