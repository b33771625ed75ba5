// The one application record: the main window, the scan's options and
// results, the progress dialog and message box, the cancel flag and the
// worker thread handles, and what the main window learned about its list.
// Created by the entry function before the main window exists and torn down
// after it is gone. Each field says which threads touch it; the handles of
// the workers are the user-interface thread's, and a worker's end is seen
// there through toolkit::ThreadEnded before anything it wrote is read.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "app/scan_fill.h"
#include "app/section_rows.h"
#include "engine/options.h"
#include "engine/scan.h"
#include "engine/scan_results.h"
#include "toolkit/handles.h"
#include "toolkit/msgbox.h"
#include "toolkit/progress.h"
#include "toolkit/window.h"

namespace cs::app {

struct AppState {
    AppState();
    ~AppState();
    AppState(const AppState&) = delete;
    AppState& operator=(const AppState&) = delete;

    // User-interface thread only.
    // The main window shares this event record with every dialog it owns.
    toolkit::EventRecord eventStore;
    toolkit::WindowRecord mainWindow;
    toolkit::EventRecord* events = nullptr;
    toolkit::ProgressDialog progress;
    toolkit::MsgBox msgBox;
    HWND mainHandle = nullptr;
    HWND listHandle = nullptr;
    RECT listRect{};
    int32_t lastClientWidth = 0;
    // The root the next setup window starts with, instead of an empty box
    // and the folder picker: the folder given on the command line, or one
    // dropped on the main window. Taken by the scan that starts with it.
    std::u16string suggestedRoot;
    // Set when the main window was asked to close while a child window's
    // wait was running; the command loop then ends as well.
    bool closeRequested = false;
    // The rows the scan fills: the list view, with section titles where the
    // control has no groups. Made once the list exists.
    std::unique_ptr<SectionedRows> rows;
    // A worker runs while its handle is held; only the user-interface
    // thread starts, polls and releases them.
    toolkit::UniqueHandle scanThread;
    toolkit::UniqueHandle removalThread;

    // Shared with the workers.
    // Set by the user-interface thread, read by the running worker once per
    // directory entry, item and read chunk: an atomic byte, because a plain
    // one shared by two threads is a data race.
    std::atomic<uint8_t> cancelRequested{0};
    // Written by the user-interface thread only while no scan runs; the
    // scan thread reads it while it runs. Criteria 0 until the main window
    // gives them their start-up value; the name patterns are compiled by
    // the scan run itself, once per run.
    engine::ScanOptions options;
    // The scan thread's while it runs; the other threads read them only
    // once it has ended.
    engine::ScanResults results;
    // Counters of atomics and a folder under its own lock: either thread at
    // any time.
    engine::ScanProgress scanProgress;
    // The rows of a running scan on their way to the list: the scan thread
    // hands them over under the fill's own lock (scan_fill.h says which
    // parts are whose).
    ScanFill fill;
};

// Releases what the record owns, in the order start-up's mirror needs: the
// worker threads (cancelled and waited for: they use the rows and results),
// message box, progress dialog, results, then the main window.
void TeardownAppState(AppState& app);

// Waits until `worker` has ended while serving the messages it sends to
// this thread's windows (its list updates), which it needs answered to get
// there; for when the message queue has ended and no event will come.
void JoinWorker(HANDLE worker);

// The root folder a command line names: the text between its first two
// double quotes when it holds two, otherwise the whole line.
std::wstring RootFromCommandLine(const wchar_t* commandLine);

}  // namespace cs::app
