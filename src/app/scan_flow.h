// One scan from the main window's side: the "Start a new scan" command
// (busy guard, setup window, start), the scan thread's entry, the
// completion step the event pump runs after every message, and the text of
// the end-of-scan tip. The scan thread writes the results and hands their
// rows over (app/scan_fill.h); the completion step puts them on the list a
// step at a time. Everything but the thread's entry runs on the
// user-interface thread.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace cs::app {

struct MainWindow;
struct AppState;

// Refused with a tip while a scan or a removal runs: one worker at a time.
void StartNewScanCommand(MainWindow& window);
// Files or folders dropped on the main window: the setup window opens with
// the first folder (or the folder of the first file) as the root.
void DropCommand(MainWindow& window, const wchar_t* droppedPaths);
// Opens the progress dialog, clears the counters, the flag and the list,
// and starts the scan thread; when the thread cannot be created the dialog
// closes again and the user is told.
void StartScan(MainWindow& window);
DWORD WINAPI ScanThreadProc(void* appState);
// Puts what the scan thread handed over on the list, one short step per
// call; once the thread has ended and the list is full, closes the
// progress dialog and shows the end-of-scan tip. Returns whether the scan
// ended in this call.
bool CheckFinishedScan(MainWindow& window);

// What the scan could not look at, when the engine counts it.
struct SkipCounts {
    uint64_t foldersNotListed = 0;
    uint64_t filesNotRead = 0;
    // The root itself could not be listed: nothing was looked at.
    bool rootNotListed = false;
};

// The end-of-scan tip for `rows` result rows; a scan that could not look
// everywhere, or was cancelled, says so, so "no duplicates" is never told
// about places it did not see, least of all about a root it could not open
// at all.
std::wstring EndOfScanText(int32_t rows, const SkipCounts& skips, bool cancelled = false);

// The engine's counts, for an engine that keeps them (ScanResults::skips);
// zero for one that does not.
template <class Results>
SkipCounts SkipsOf(const Results& results) {
    SkipCounts counts;
    if constexpr (requires {
                      results.skips.foldersNotListed;
                      results.skips.filesNotRead;
                  }) {
        counts.foldersNotListed = results.skips.foldersNotListed;
        counts.filesNotRead = results.skips.filesNotRead;
    }
    if constexpr (requires { results.rootListed; })
        counts.rootNotListed = !results.rootListed;
    return counts;
}

}  // namespace cs::app
