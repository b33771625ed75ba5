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

#include <array>
#include <atomic>
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
// Why an item of a removal was not deleted, as the report counts them;
// in the order the report lists them.
enum class NotDeleted {
    EveryCopyTicked,
    ChangedOnDisk,
    KeeperChanged,
    Unreadable,
    LinkOrOtherDrive,
    WindowsRefused,
    ShellName,
    HoldsLastCopy,
    NotListed,
    KeptByChoice,  // the user's own "No" to the unverified items
    Count
};

// What became of the ticked items of one removal.
struct RemovalTally {
    int32_t ticked = 0;   // ticked items when the command started
    int32_t removed = 0;  // gone from the disk, rows deleted
    std::array<int32_t, static_cast<size_t>(NotDeleted::Count)> notDeleted{};

    int32_t& operator[](NotDeleted why) { return notDeleted[static_cast<size_t>(why)]; }
    int32_t operator[](NotDeleted why) const { return notDeleted[static_cast<size_t>(why)]; }
};

// What one removal request works from. It lives on the flow's stack for
// the whole flow, so the workers, which get it as their parameter, never
// outlive it: the flow waits for each of them.
struct RemovalJob {
    explicit RemovalJob(AppState& state) : app(state) {}
    RemovalJob(const RemovalJob&) = delete;
    RemovalJob& operator=(const RemovalJob&) = delete;

    AppState& app;
    uint32_t criteria = 0;
    // The rows as they were when the command started, less the ticks of
    // the copies kept because their whole group was ticked; the busy guard
    // keeps the list so until the flow ends.
    std::vector<removal::RowSnapshot> snapshot;
    std::vector<int32_t> keptFirst;
    int32_t ticked = 0;
    removal::ScanRecord record;
    std::vector<removal::ItemVerdict> verdicts;
    removal::RemovalPolicy policy;
    // Progress of the verification, read by the interface thread while the
    // worker runs.
    std::atomic<int32_t> itemsChecked{0};
    std::atomic<uint64_t> bytesCompared{0};
    std::atomic<uint64_t> bytesToCompare{0};
    // Written before the removal thread starts, read by it.
    bool permanent = false;
    // Written by the removal thread, read once its handle is signalled.
    int32_t removed = 0;
    int32_t failures = 0;
    std::vector<removal::ItemOutcome> outcomes;
};

void RunRemovalFlow(MainWindow& window);
// Whether a row of the list is ticked: what "Delete ticked files" needs to
// be worth pressing.
bool AnyTicked(const AppState& app);

// Verifies the snapshot's ticked rows against the scan's record and the
// disk (reads whole files where the scan did not compare bytes).
DWORD WINAPI VerifyThreadProc(void* job);
// Removes the job's permitted items from the bottom row up, for good or to
// the recycle bin as the job says, and leaves in it how many were removed
// and how many ticked items were not. Returns how many were removed.
DWORD WINAPI RemovalThreadProc(void* job);

// Counts the job's outcomes by reason (after the removal thread ended).
RemovalTally TallyRemoval(const RemovalJob& job);

// The report: the engine's sentence when every item went; else its
// sentence for the items refused or failed (or, when the user kept them
// all, that everything else went), or the cancelled one when items were
// not reached, then one line per reason with its count.
std::wstring RemovalReportText(const RemovalTally& tally);

// The extra question for `count` ticked items whose bytes no staying copy
// was proven to share.
std::wstring UnverifiedQuestion(int32_t count);

// "Are you sure...", after the line about `fullGroups` groups whose every
// copy is ticked when there are any.
std::wstring ConfirmQuestion(int32_t fullGroups);

}  // namespace cs::app
