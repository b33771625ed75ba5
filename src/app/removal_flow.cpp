#include "app/removal_flow.h"

#include <commctrl.h>

#include <atomic>
#include <cwchar>

#include "app/main_window.h"
#include "app/texts.h"
#include "platform/removal.h"
#include "platform/text.h"
#include "removal/removal.h"
#include "results/rows.h"
#include "toolkit/controls.h"
#include "toolkit/msgbox.h"
#include "toolkit/progress.h"

namespace cs::app {

namespace {

using namespace toolkit;

// The pump of a question: a close request of the main window ends the wait
// unanswered, so closing the window while a question is open starts
// nothing.
bool PumpUntilClose(EventRecord&, void* context) {
    auto& window = *static_cast<MainWindow*>(context);
    AppState& app = window.app;
    return !app.closeRequested && NextEvent(window) && !app.closeRequested;
}

int32_t Ask(MainWindow& window, const wchar_t* text, msgbox::Kind kind) {
    AppState& app = window.app;
    return MsgBoxAsk(app.msgBox, text, kind, nullptr, &app.mainWindow, PumpUntilClose, &window);
}

// A report waits for its "OK" even after a close request during the
// removal: what could not be deleted is worth the user's reading.
void Report(MainWindow& window, const wchar_t* text) {
    AppState& app = window.app;
    MsgBoxAsk(app.msgBox, text, msgbox::kOk, nullptr, &app.mainWindow, PumpForToolkit, &window);
}

bool AnyTicked(AppState& app) {
    if (!app.rows)
        return false;
    const int32_t count = app.rows->Count();
    for (int32_t row = 0; row < count; ++row) {
        const int state = app.rows->StateImage(row);
        if (state < 0)
            break;
        if (state == results::kTicked)
            return true;
    }
    return false;
}

// Starts a worker on `job`; false when the thread could not be created.
bool StartWorker(AppState& app, LPTHREAD_START_ROUTINE entry, RemovalJob& job) {
    app.removalThread.Reset(StartWorkerThread(entry, &job));
    return static_cast<bool>(app.removalThread);
}

// Pumps until the worker has ended. A close request, like the dialog's
// Cancel (which the pump passes on), only makes it stop before its next
// item: it is still waited for, since its list messages are served here.
void WaitForWorker(MainWindow& window) {
    AppState& app = window.app;
    bool pumping = true;
    while (app.removalThread && WaitForSingleObject(app.removalThread.Get(), 0) == WAIT_TIMEOUT) {
        if (pumping) {
            pumping = NextEvent(window);
        } else {
            // The queue has ended: no event will come, but the worker's
            // sent messages must still be served for it to finish.
            app.cancelRequested = 1;
            HANDLE worker = app.removalThread.Get();
            MsgWaitForMultipleObjects(1, &worker, FALSE, 20, QS_SENDMESSAGE);
            MSG message;
            PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
        if (app.closeRequested)
            app.cancelRequested = 1;
    }
    app.removalThread.Reset();
}

void RemoveTicked(MainWindow& window) {
    AppState& app = window.app;
    if (app.scanThread) {
        Ask(window, texts::kWaitForScan, msgbox::kOk);
        return;
    }
    if (!AnyTicked(app)) {
        Ask(window, texts::kNothingTicked, msgbox::kOk);
        return;
    }

    RemovalJob job(app);
    job.criteria = app.options.criteria;
    // Read here, where the list answers at once; the worker would wait for
    // this thread on every row.
    job.snapshot = removal::SnapshotRows(*app.rows);

    // Verification can read whole files, so it runs beside the pump, with
    // the dialog's Cancel; nothing is touched until the questions below.
    OpenWorkerProgress(app, texts::kPreparingToDelete);
    app.cancelRequested = 0;
    const bool verifying = StartWorker(app, VerifyThreadProc, job);
    WaitForWorker(window);
    ProgressClose(app.progress);
    if (!verifying) {
        Report(window, texts::kRemovalNotStarted);
        return;
    }
    if (app.cancelRequested != 0 || app.closeRequested)
        return;

    const removal::VerdictCounts counts = removal::CountVerdicts(job.verdicts);
    if (counts.unverified > 0) {
        const int32_t answer = Ask(window, UnverifiedQuestion(counts.unverified).c_str(),
                                   msgbox::kYesNo);
        if (answer != msgbox::kFirst && answer != msgbox::kNo)
            return;
        job.policy.allowUnverified = answer == msgbox::kFirst;
    }
    if (Ask(window, texts::kConfirmDelete, msgbox::kYesNo) != msgbox::kFirst)
        return;

    OpenWorkerProgress(app, texts::kPreparingToDelete);
    const bool permanent =
        (GetControlState(app.mainWindow, window.slots.deletePermanently, state::kChecked) &
         state::kChecked) != 0;
    app.removalFailures = permanent ? 1 : 0;
    app.cancelRequested = 0;
    const bool started = StartWorker(app, RemovalThreadProc, job);
    ProgressSetState(app.progress, progress::kUnchanged, texts::kDeletingFiles);
    WaitForWorker(window);
    ProgressClose(app.progress);
    // Without the thread, removalFailures still holds the mode, not a count.
    if (!started) {
        Report(window, texts::kRemovalNotStarted);
        return;
    }
    const std::wstring report = RemovalReportText(static_cast<int32_t>(job.verdicts.size()),
                                                  job.removed, app.removalFailures);
    Report(window, report.c_str());
}

}  // namespace

std::wstring RemovalReportText(int32_t ticked, int32_t removed, int32_t failures) {
    const int32_t notDeleted = ticked - removed;
    if (notDeleted <= failures)
        return platform::ToNative(removal::RemovalReport(failures));
    if (notDeleted == 1)
        return texts::kCancelledOne;
    wchar_t text[256] = {};
    swprintf(text, 256, texts::kCancelledMany, static_cast<int>(notDeleted));
    return text;
}

std::wstring UnverifiedQuestion(int32_t count) {
    if (count == 1)
        return texts::kUnverifiedOne;
    wchar_t text[512] = {};
    swprintf(text, 512, texts::kUnverifiedMany, static_cast<int>(count));
    return text;
}

void RunRemovalFlow(MainWindow& window) {
    BeginMainBusy(window);
    RemoveTicked(window);
    EndMainBusy(window);
}

DWORD WINAPI VerifyThreadProc(void* parameter) {
    auto& job = *static_cast<RemovalJob*>(parameter);
    job.record = removal::ScanRecord(job.app.results, job.criteria);
    job.verdicts = removal::VerifyTicked(job.snapshot, job.record, job.app.cancelRequested);
    return 0;
}

DWORD WINAPI RemovalThreadProc(void* parameter) {
    auto& job = *static_cast<RemovalJob*>(parameter);
    AppState& app = job.app;
    const bool permanent = app.removalFailures != 0;
    app.removalFailures = 0;
    // COM for the shell's recycle operation, for the thread's lifetime.
    platform::RemovalThreadScope scope;
    std::atomic<int32_t> failures{0};
    int32_t removed = 0;
    if (app.rows)
        removed = removal::RemoveVerifiedItems(*app.rows, job.verdicts, job.record, !permanent,
                                               job.policy, app.cancelRequested, failures);
    // Read by the interface thread only once this thread's handle is
    // signalled.
    app.removalFailures = failures.load();
    job.removed = removed;
    return static_cast<DWORD>(removed);
}

}  // namespace cs::app
