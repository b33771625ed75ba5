// The rows of a running scan on their way to the list: the scan thread
// hands over what its results gained at each of the engine's refresh
// points, and the user-interface thread inserts them in steps short enough
// that it keeps pumping (the progress dialog paints and answers, Cancel
// works) while the list fills. The mutex guards `handed` only; the source
// is the scan thread's while it runs and the user-interface thread's after
// it ended; everything else is the user-interface thread's.
#pragma once

#include <chrono>
#include <deque>
#include <mutex>
#include <vector>

#include "results/list_fill.h"

namespace cs::app {

struct ScanFill {
    std::mutex mutex;
    std::vector<results::NewRows> handed;
    results::FillSource source;

    results::FillLayout layout;
    std::deque<results::NewRows> backlog;
    // The results as the ended thread left them are in the backlog.
    bool lastTaken = false;
    // The list's drawing is held while rows go in; a group split over two
    // steps is never shown half.
    bool holding = false;
    bool splitGroup = false;
    // A Cancel left found groups off the list: the tip says it was
    // cancelled even when the walk itself had completed.
    bool dropped = false;
    // When the held list is drawn next; the bands of it still to draw, one
    // a step, and the time they took so far.
    std::chrono::steady_clock::time_point nextShow;
    int bandsLeft = 0;
    std::chrono::steady_clock::duration showTime{};
};

}  // namespace cs::app
