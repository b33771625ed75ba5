// The "Delete ticked files" command: from the press of the button to the
// report. It checks that something is ticked, has every ticked item
// verified against the disk on a worker (an item goes only while an
// identical copy of it stays), asks, and runs the removal thread, which
// deletes each removed item's row from the list as it goes. Both workers
// reach the list only through sent list-view messages, which this thread
// serves while it pumps; it never blocks on a worker without pumping.
// RunRemovalFlow runs on the user-interface thread; the thread entries on
// their own threads, one at a time, their handle in AppState::removalThread.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "removal/verify.h"

namespace cs::app {

struct MainWindow;
struct AppState;

// What one removal request works from. It lives on the flow's stack for
// the whole flow, so the workers, which get it as their parameter, never
// outlive it: the flow waits for each of them.
struct RemovalJob {
    explicit RemovalJob(AppState& state) : app(state) {}
    RemovalJob(const RemovalJob&) = delete;
    RemovalJob& operator=(const RemovalJob&) = delete;

    AppState& app;
    uint32_t criteria = 0;
    // The rows as they were when the command started; the busy guard keeps
    // them so until the flow ends.
    std::vector<removal::RowSnapshot> snapshot;
    removal::ScanRecord record;
    std::vector<removal::ItemVerdict> verdicts;
    removal::RemovalPolicy policy;
    // Written by the removal thread, read once its handle is signalled.
    int32_t removed = 0;
};

void RunRemovalFlow(MainWindow& window);

// Verifies the snapshot's ticked rows against the scan's record and the
// disk (reads whole files where the scan did not compare bytes).
DWORD WINAPI VerifyThreadProc(void* job);
// Reads the mode from AppState::removalFailures (nonzero: for good), then
// removes the permitted items from the bottom row up and leaves the count
// of ticked items not removed there. Returns how many were removed.
DWORD WINAPI RemovalThreadProc(void* job);

// The report of a removal that removed `removed` of `ticked` items and
// failed on `failures` of them: the engine's sentence when every item was
// handled, else the cancelled one, which counts every item not deleted.
std::wstring RemovalReportText(int32_t ticked, int32_t removed, int32_t failures);

// The extra question for `count` ticked items whose bytes no staying copy
// was proven to share.
std::wstring UnverifiedQuestion(int32_t count);

}  // namespace cs::app
