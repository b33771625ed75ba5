#include "app/scan_flow.h"

#include <commctrl.h>
#include <objbase.h>

#include <cwchar>

#include "app/main_window.h"
#include "app/setup_window.h"
#include "app/texts.h"
#include "engine/scan.h"
#include "platform/text.h"
#include "results/result_list.h"
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

std::wstring EndOfScanText(int32_t rows, const SkipCounts& skips) {
    if (skips.rootNotListed)
        return texts::kRootNotListed;
    std::wstring text = rows < 2 ? texts::kNoDuplicates : texts::kDuplicatesFound;
    if (skips.foldersNotListed > 0 || skips.filesNotRead > 0) {
        wchar_t line[256] = {};
        swprintf(line, 256, texts::kSkippedLine,
                 static_cast<unsigned long long>(skips.foldersNotListed),
                 static_cast<unsigned long long>(skips.filesNotRead));
        text += line;
    }
    return text;
}

void StartNewScanCommand(MainWindow& window) {
    AppState& app = window.app;
    BeginMainBusy(window);
    const bool accepted = RunScanSetupWindow(window);
    if (app.mainHandle != nullptr && !app.closeRequested) {
        BringWindowToTop(app.mainHandle);
        SetForegroundWindow(app.mainHandle);
    }
    if (accepted && !app.closeRequested)
        StartScan(window);
    EndMainBusy(window);
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
    app.scanThread.Reset(CreateThread(nullptr, 0, ScanThreadProc, &app, 0, nullptr));
}

DWORD WINAPI ScanThreadProc(void* appState) {
    auto& app = *static_cast<AppState*>(appState);
    const HRESULT com = CoInitialize(nullptr);
    engine::ScanHooks hooks;
    if (app.rows)
        hooks = results::RebuildHookFor(*app.rows, app.options.criteria);
    const engine::ScanOutcome outcome =
        engine::RunScan(app.options, app.results, app.cancelRequested, &app.scanProgress, hooks);
    if (SUCCEEDED(com))
        CoUninitialize();
    return outcome == engine::ScanOutcome::Completed ? 1 : 0;
}

bool CheckFinishedScan(MainWindow& window) {
    AppState& app = window.app;
    if (!app.scanThread || WaitForSingleObject(app.scanThread.Get(), 0) == WAIT_TIMEOUT)
        return false;
    app.scanThread.Reset();
    // Always, not only when joins were counted since the last rebuild: zero-
    // byte files count none, and every group must be on the list before the
    // tip is chosen.
    RebuildRows(app);
    ProgressClose(app.progress);
    const int32_t rows = app.rows ? app.rows->ResultRowCount() : 0;
    const std::wstring text = EndOfScanText(rows, SkipsOf(app.results));
    MsgBoxShow(app.msgBox, TipOwner(app), text.c_str(), msgbox::kTip, msgbox::kHeight);
    return true;
}

}  // namespace cs::app
