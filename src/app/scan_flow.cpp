#include "app/scan_flow.h"

#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cwchar>
#include <mutex>
#include <vector>

#include "app/main_window.h"
#include "app/setup_window.h"
#include "app/texts.h"
#include "engine/scan.h"
#include "platform/dir.h"
#include "platform/text.h"
#include "platform/win32/com.h"
#include "results/result_list.h"
#include "results/list_fill.h"
#include "toolkit/controls.h"
#include "toolkit/msgbox.h"
#include "toolkit/progress.h"

namespace cs::app {

namespace {

using namespace toolkit;
using Clock = std::chrono::steady_clock;

// One step of the fill stays this short, so that a message sent to the
// progress dialog or the list waits no longer than that (plus the paint).
constexpr auto kStepBudget = std::chrono::milliseconds(25);
// Rows inserted between two looks at the clock; a larger group is split
// over steps, hidden until its last part is in.
constexpr size_t kRowsPerChunk = 16;
// While rows keep coming the list is drawn, a band a step, at most this
// often and at most a tenth of the time: a drawing of the visible rows
// costs as much as inserting hundreds.
constexpr auto kShowEvery = std::chrono::milliseconds(500);
constexpr int kShowShare = 10;
constexpr int kBands = 4;

void ResetFill(AppState& app) {
    ScanFill& fill = app.fill;
    {
        std::lock_guard<std::mutex> lock(fill.mutex);
        fill.handed.clear();
    }
    fill.source.Clear();
    fill.layout.Clear(app.rows && app.rows->WantsTitles());
    fill.backlog.clear();
    fill.lastTaken = false;
    fill.splitGroup = false;
    fill.holding = false;
    fill.bandsLeft = 0;
    fill.dropped = false;
}

// The next whole entries of the backlog, about kRowsPerChunk rows; the
// first part of an entry larger than that.
std::vector<results::NewRows> NextChunk(ScanFill& fill) {
    std::vector<results::NewRows> chunk;
    size_t rows = 0;
    while (!fill.backlog.empty() && rows < kRowsPerChunk) {
        results::NewRows& front = fill.backlog.front();
        const size_t room = kRowsPerChunk - rows;
        if (front.rows.size() > room && rows == 0) {
            results::NewRows part;
            part.section = front.section;
            part.order = front.order;
            part.rows.assign(std::make_move_iterator(front.rows.begin()),
                             std::make_move_iterator(front.rows.begin() + room));
            front.rows.erase(front.rows.begin(), front.rows.begin() + room);
            chunk.push_back(std::move(part));
            fill.splitGroup = true;
            return chunk;
        }
        if (front.rows.size() > room)
            break;
        rows += front.rows.size();
        chunk.push_back(std::move(front));
        fill.backlog.pop_front();
        fill.splitGroup = false;
    }
    return chunk;
}

// One step of drawing the list: the first lets it draw again, each draws
// a band. Returns whether the drawing is complete.
bool ShowStep(MainWindow& window) {
    ScanFill& fill = window.app.fill;
    const Clock::time_point start = Clock::now();
    if (fill.holding) {
        HoldListDrawing(window, false, false);
        fill.holding = false;
        fill.bandsLeft = kBands;
        fill.showTime = {};
    } else if (fill.bandsLeft > 0) {
        DrawListBand(window, kBands - fill.bandsLeft, kBands);
        --fill.bandsLeft;
    }
    fill.showTime += Clock::now() - start;
    if (fill.bandsLeft > 0)
        return false;
    fill.nextShow =
        Clock::now() + std::max<Clock::duration>(kShowEvery, fill.showTime * kShowShare);
    return true;
}

// One step of the fill: what the scan thread handed over joins the
// backlog, and rows go in until the step's time is up, or a band of the
// list is drawn. A cancelled scan only completes the groups already on the
// list. Once the scan thread has `ended`, the last rows are drawn at once.
// Returns whether every row handed over is in and drawn.
bool FillStep(MainWindow& window, bool ended) {
    AppState& app = window.app;
    ScanFill& fill = app.fill;
    {
        std::lock_guard<std::mutex> lock(fill.mutex);
        for (results::NewRows& entry : fill.handed)
            fill.backlog.push_back(std::move(entry));
        fill.handed.clear();
    }
    if (app.cancelRequested.load() != 0) {
        fill.dropped |= std::erase_if(fill.backlog, [&](const results::NewRows& entry) {
                            return !fill.layout.Shows(entry.section, entry.order);
                        }) > 0;
    }
    if (!app.rows)
        fill.backlog.clear();

    bool done = false;
    const Clock::time_point start = Clock::now();
    const bool allIn = fill.backlog.empty() && ended;
    if (fill.bandsLeft > 0 ||
        (fill.holding && !fill.splitGroup && (allIn || start >= fill.nextShow))) {
        done = ShowStep(window) && fill.backlog.empty();
    } else if (fill.backlog.empty()) {
        done = !fill.holding;
    } else {
        if (!fill.holding) {
            HoldListDrawing(window, true);
            fill.holding = true;
        }
        while (!fill.backlog.empty() && Clock::now() - start < kStepBudget) {
            std::vector<results::NewRows> chunk = NextChunk(fill);
            fill.layout.Insert(*app.rows, chunk);
        }
    }
    // Steps follow each other as long as the backlog lasts, and a window's
    // paint waits for an empty queue: the dialog is painted here instead.
    if (app.progress.window.window != nullptr)
        RedrawWindow(app.progress.window.window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    return done;
}

}  // namespace

std::wstring EndOfScanText(int32_t rows, const SkipCounts& skips, bool cancelled) {
    if (skips.rootNotListed)
        return texts::kRootNotListed;
    std::wstring text = cancelled  ? texts::kScanCancelled
                        : rows < 2 ? texts::kNoDuplicates
                                   : texts::kDuplicatesFound;
    if (skips.foldersNotListed > 0 || skips.filesNotRead > 0) {
        wchar_t line[256] = {};
        swprintf(line, 256, texts::kSkippedLine,
                 static_cast<unsigned long long>(skips.foldersNotListed),
                 static_cast<unsigned long long>(skips.filesNotRead));
        text += line;
    }
    return text;
}

namespace {

// One worker at a time: a second scan would rewrite the options and results
// the running one reads.
bool RefusedWhileAWorkerRuns(MainWindow& window) {
    AppState& app = window.app;
    if (!WorkerRunning(app))
        return false;
    MsgBoxShow(app.msgBox, TipOwner(app), texts::kScanAlreadyRunning, msgbox::kTip,
               msgbox::kHeight);
    return true;
}

}  // namespace

void StartNewScanCommand(MainWindow& window) {
    AppState& app = window.app;
    if (RefusedWhileAWorkerRuns(window))
        return;
    BeginMainBusy(window);
    const bool accepted = RunScanSetupWindow(window);
    if (app.mainHandle != nullptr && !app.closeRequested) {
        BringWindowToTop(app.mainHandle);
        SetForegroundWindow(app.mainHandle);
    }
    if (accepted && !app.closeRequested)
        StartScan(window);
    EndMainBusy(window);
    // The busy guard gave the button back; while the scan runs it stays off.
    if (app.scanThread)
        SetControlState(app.mainWindow, window.slots.startScan, state::kDisabled);
}

void DropCommand(MainWindow& window, const wchar_t* droppedPaths) {
    AppState& app = window.app;
    // Refused before the root is taken, which the next scan would start with.
    if (droppedPaths == nullptr || *droppedPaths == 0 || RefusedWhileAWorkerRuns(window))
        return;
    std::wstring first = droppedPaths;
    first = first.substr(0, first.find(L"\r\n"));
    std::u16string root = platform::FromNative(first);
    if (!platform::IsDirectory(root)) {
        const size_t cut = first.find_last_of(L'\\');
        if (cut == std::wstring::npos)
            return;
        root = platform::FromNative(first.substr(0, cut == 2 && first[1] == L':' ? 3 : cut));
    }
    app.suggestedRoot = root;
    StartNewScanCommand(window);
}

void StartScan(MainWindow& window) {
    AppState& app = window.app;
    const std::wstring message =
        std::wstring(texts::kScanning) + L"\r\n" + platform::ToNative(app.options.rootPath);
    OpenWorkerProgress(app, message.c_str());

    app.results.refreshCounter = 0;
    app.results.refreshThreshold = engine::kFirstRefreshThreshold;
    app.cancelRequested = 0;
    if (app.rows)
        app.rows->DeleteAll();
    ResetFill(app);
    app.fill.nextShow = Clock::now() + kShowEvery;
    app.scanThread = StartWorkerThread(ScanThreadProc, &app);
    if (!app.scanThread) {
        ProgressClose(app.progress);
        MsgBoxAsk(app.msgBox, texts::kScanNotStarted, msgbox::kOk, nullptr, &app.mainWindow,
                  PumpForToolkit, &window);
        MsgBoxClose(app.msgBox);
    }
}

DWORD WINAPI ScanThreadProc(void* appState) {
    auto& app = *static_cast<AppState*>(appState);
    const platform::win32::ComApartment com;
    engine::ScanHooks hooks;
    // The rows are made here, on the scan thread; the user-interface thread
    // only inserts them.
    if (app.rows)
        hooks.rebuild = [&app](const engine::ScanResults& found) {
            std::vector<results::NewRows> rows = app.fill.source.Take(found, app.options.criteria);
            if (rows.empty())
                return;
            std::lock_guard<std::mutex> lock(app.fill.mutex);
            for (results::NewRows& entry : rows)
                app.fill.handed.push_back(std::move(entry));
        };
    const engine::ScanOutcome outcome =
        engine::RunScan(app.options, app.results, app.cancelRequested, &app.scanProgress, hooks);
    return outcome == engine::ScanOutcome::Completed ? 1 : 0;
}

bool CheckFinishedScan(MainWindow& window) {
    AppState& app = window.app;
    if (!app.scanThread)
        return false;
    const bool ended = !ThreadRunning(app.scanThread.Get());
    ScanFill& fill = app.fill;
    // Once the thread has ended, what it gained after its last hand-over
    // (zero-byte files count no joins, and the last joins reach no refresh
    // point) goes on the list too, before the tip is chosen.
    if (ended && !fill.lastTaken) {
        std::vector<results::NewRows> rest = fill.source.Take(app.results, app.options.criteria);
        std::lock_guard<std::mutex> lock(fill.mutex);
        for (results::NewRows& entry : rest)
            fill.handed.push_back(std::move(entry));
        fill.lastTaken = true;
    }
    // The handle stays held until the list is full, so that nothing starts
    // another scan or a removal on rows still arriving.
    if (!FillStep(window, ended) || !ended)
        return false;
    DWORD completed = 0;
    if (!ThreadEnded(app.scanThread.Get(), completed))
        return false;
    app.scanThread.Reset();
    ProgressClose(app.progress);
    SetControlState(app.mainWindow, window.slots.startScan, state::kEnabled);
    const int32_t rows = app.rows ? app.rows->ResultRowCount() : 0;
    const std::wstring text =
        completed == kWorkerFailed
            ? std::wstring(texts::kScanFailed)
            : EndOfScanText(rows, SkipsOf(app.results), completed == 0 || app.fill.dropped);
    MsgBoxShow(app.msgBox, TipOwner(app), text.c_str(), msgbox::kTip, msgbox::kHeight);
    return true;
}

}  // namespace cs::app
