#include "app/scan_flow.h"

#include <commctrl.h>

#include <cwchar>

#include "app/main_window.h"
#include "app/setup_window.h"
#include "app/texts.h"
#include "engine/scan.h"
#include "platform/dir.h"
#include "platform/text.h"
#include "platform/win32/com.h"
#include "results/result_list.h"
#include "toolkit/controls.h"
#include "toolkit/msgbox.h"
#include "toolkit/progress.h"

namespace cs::app {

namespace {

using namespace toolkit;

void RebuildRows(AppState& app) {
    if (app.rows)
        results::RebuildResultList(*app.rows, app.results, app.options.criteria);
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
    if (app.rows)
        hooks = results::RebuildHookFor(*app.rows, app.options.criteria);
    const engine::ScanOutcome outcome =
        engine::RunScan(app.options, app.results, app.cancelRequested, &app.scanProgress, hooks);
    return outcome == engine::ScanOutcome::Completed ? 1 : 0;
}

bool CheckFinishedScan(MainWindow& window) {
    AppState& app = window.app;
    DWORD completed = 0;
    if (!ThreadEnded(app.scanThread.Get(), completed))
        return false;
    app.scanThread.Reset();
    // Always, not only when joins were counted since the last rebuild: zero-
    // byte files count none, and every group must be on the list before the
    // tip is chosen.
    RebuildRows(app);
    ProgressClose(app.progress);
    SetControlState(app.mainWindow, window.slots.startScan, state::kEnabled);
    const int32_t rows = app.rows ? app.rows->ResultRowCount() : 0;
    const std::wstring text = completed == kWorkerFailed
                                  ? std::wstring(texts::kScanFailed)
                                  : EndOfScanText(rows, SkipsOf(app.results), completed == 0);
    MsgBoxShow(app.msgBox, TipOwner(app), text.c_str(), msgbox::kTip, msgbox::kHeight);
    return true;
}

}  // namespace cs::app
