// The main window: its creation (right pane, result list, links, size
// grip), the event pump every wait of the program goes through, the busy
// guard around commands that open a window or start a worker, and the
// main window function that runs the command loop until the window closes.
// Commands themselves live in commands.h and scan_flow.h. User-interface
// thread only.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>

#include "app/app_state.h"
#include "toolkit/handles.h"
#include "toolkit/modal.h"
#include "toolkit/worker.h"

namespace cs::app {

// The icons of the system's shell32.dll the window shows.
enum ShellIcon {
    kFolderRowIcon,  // 3 small
    kFileRowIcon,    // 72 small
    kLocationLarge,  // 263 large
    kLocationSmall,  // 263 small
    kCopyIcon,       // 54 small
    kScanIcon,       // 22 large
    kFindIcon,       // 171 small
    kSelectIcon,     // 133 large
    kDeleteIcon,     // 31 large
    kCompareIcon,    // 98 small
    kPreviewIcon,    // 137 small
};

// The entries of the "Select..." menu, in menu order.
enum SelectEntry {
    kSelectKeepFirst,
    kSelectKeepLast,
    kSelectKeepSmallest,
    kSelectKeepBiggest,
    kSelectTickFolder,
    kSelectUntickFolder,
    kSelectTickAll,
    kSelectUntickAll,
    kSelectKeepOldest,
    kSelectKeepNewest,
    kSelectEntryCount
};

// The slots of the main window's controls, in creation order.
struct MainSlots {
    int32_t pane = 0;
    int32_t scanLabel = 0;
    int32_t startScan = 0;
    int32_t analyzeLabel = 0;
    int32_t findBox = 0;
    int32_t findNext = 0;
    int32_t openLocation = 0;
    int32_t select = 0;
    int32_t removalLabel = 0;
    int32_t recycle = 0;
    int32_t deletePermanently = 0;
    int32_t deleteTicked = 0;
    int32_t siteLink = 0;
    int32_t versionLink = 0;
    int32_t helpLink = 0;
    int32_t grip = 0;
    int32_t list = 0;
    // The list's context menu.
    int32_t menuOpenLocation = 0;
    int32_t menuCopyPath = 0;
    int32_t menuPreview = 0;
    int32_t menuCompare = 0;
    // The "Select..." menu.
    std::array<int32_t, kSelectEntryCount> selectEntries{};
};

// What the main window function keeps while its command loop runs.
struct MainWindow {
    explicit MainWindow(AppState& state) : app(state) {}
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    AppState& app;
    MainSlots slots;
    int32_t findPosition = -1;
    toolkit::BusyGuard busy;
    // Shell icons: the large ones for buttons, the small ones for menus
    // and the list's image list.
    std::array<toolkit::UniqueIcon, 12> icons;
    std::array<toolkit::UniqueBitmap, 4> menuBitmaps;
    toolkit::UniqueBitmap gripBitmap;
    toolkit::UniqueFont titleFont;
    toolkit::UniqueHandle tickers[2];
    bool groupsSupported = false;
    // Whether the client size rule had to be cut to fit the work area.
    bool fittedToWorkArea = false;
};

// Runs the main window until it is closed; returns 1, the exit code.
int RunMainWindow(AppState& app, HINSTANCE instance, const wchar_t* commandLine, int showCommand,
                  HICON largeIcon, HICON smallIcon);

// One event through the pump: takes one message, then notices a finished
// scan, closes the tip when the event asks for it, passes the progress
// dialog's cancel on, opens links and refits the columns. False when the
// queue has ended. The caller reads the event from app.events.
bool NextEvent(MainWindow& window);
// NextEvent until the main window's close is requested: false once it is,
// also when the request came with the event just taken, so that the caller
// never acts on that event.
bool NextEventUntilClose(MainWindow& window);
// The two pumps a message box is given. A report's goes on through a close
// request, since what it tells is worth reading; a question's ends the wait
// unanswered, so closing the window while a question is open starts
// nothing.
bool PumpForToolkit(toolkit::EventRecord& events, void* context);
bool PumpUntilCloseRequest(toolkit::EventRecord& events, void* context);

// Opens the progress dialog over the main window with a spinner, `text`
// and Cancel, for a worker (scan or removal) about to start. Cancel sets
// the cancel flag while a worker's handle is held, also when the press
// comes while a drain or the busy guard dispatches the queue and so
// produces no event any wait reads.
void OpenWorkerProgress(AppState& app, const wchar_t* text);

// Holds the result list's drawing while rows go in (true), or lets it draw
// again (false), drawing it now or, without `drawNow`, leaving it to
// DrawListBand. While held, the section-title painter is off the list too:
// under Wine each message to a subclassed window costs the subclass data
// lookups, two round trips to the server, which made a row cost
// milliseconds.
void HoldListDrawing(MainWindow& window, bool hold, bool drawNow = true);
// Draws band `band` (0-based) of `bands` equal horizontal bands of the
// list now: a whole drawing of the visible rows took up to 160 ms under
// Wine on a busy machine, longer than a step of the pump may take.
void DrawListBand(MainWindow& window, int band, int bands);

void BeginMainBusy(MainWindow& window);
void EndMainBusy(MainWindow& window);

// Whether a scan or a removal thread runs: while one does, nothing may
// start another.
bool WorkerRunning(const AppState& app);

// The scan and the removal start here, through the toolkit's one thread
// start (toolkit/worker.h): an exception that leaves `entry` ends the
// thread with kWorkerFailed as its exit code, never the process, and the
// flow that waits for the thread reports the work as failed. Driver tests
// make the start fail on purpose: with CS_TEST_FAIL_THREAD_START set in
// the environment it creates nothing, as a system out of resources would.
toolkit::UniqueHandle StartWorkerThread(LPTHREAD_START_ROUTINE entry, void* parameter);

// No entry returns it on its own (they return 0, 1 or a count of items).
inline constexpr DWORD kWorkerFailed = toolkit::kThreadFailed;

// The tip owner: the main window while it is visible, else none.
toolkit::WindowRecord* TipOwner(AppState& app);

}  // namespace cs::app
