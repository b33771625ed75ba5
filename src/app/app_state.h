// The one application record: the main window, the scan's options and
// results, the progress dialog and message box, the cancel flag and the
// worker thread handles, and what the main window learned about its list.
// Created by the entry function before the main window exists and torn down
// after it is gone. The user-interface thread owns it; the scan thread reads
// the options and writes the results while it runs, and hands rows over
// through `fill`; the user-interface thread touches the results only after
// the thread has ended.
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

    // The main window shares this event record with every dialog it owns.
    toolkit::EventRecord eventStore;
    toolkit::WindowRecord mainWindow;
    toolkit::EventRecord* events = nullptr;
    int32_t resultListControl = 0;
    int32_t siteLink = -1;
    int32_t versionLink = -1;
    int32_t helpLink = -1;
    // Read by the scan thread once per directory entry and between read
    // chunks; an atomic byte, because a plain one shared by two threads is
    // a data race.
    std::atomic<uint8_t> cancelRequested{0};
    // Criteria 0 until the main window gives them their start-up value.
    engine::ScanOptions options;
    // The name patterns are compiled by the scan run itself, once per run.
    engine::ScanResults results;
    engine::ScanProgress scanProgress;
    toolkit::ProgressDialog progress;
    toolkit::MsgBox msgBox;
    toolkit::UniqueHandle scanThread;
    toolkit::UniqueHandle removalThread;
    HWND mainHandle = nullptr;
    HWND listHandle = nullptr;
    RECT listRect{};
    int32_t lastClientWidth = 0;
    // The rows the scan fills: the list view, with section titles where the
    // control has no groups. Made once the list exists.
    std::unique_ptr<SectionedRows> rows;
    ScanFill fill;
    // The root the next setup window starts with, instead of an empty box
    // and the folder picker: the folder given on the command line, or one
    // dropped on the main window. Taken by the scan that starts with it.
    std::u16string suggestedRoot;
    // Set when the main window was asked to close while a child window's
    // wait was running; the command loop then ends as well.
    bool closeRequested = false;
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
