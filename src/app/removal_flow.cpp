#include "app/removal_flow.h"

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <iterator>
#include <unordered_map>

#include "app/main_window.h"
#include "app/texts.h"
#include "platform/removal.h"
#include "platform/text.h"
#include "removal/removal.h"
#include "results/list_text.h"
#include "results/rows.h"
#include "results/size_text.h"
#include "toolkit/controls.h"
#include "toolkit/msgbox.h"
#include "toolkit/progress.h"

namespace cs::app {

namespace {

using namespace toolkit;

int32_t Ask(MainWindow& window, const wchar_t* text, msgbox::Kind kind) {
    AppState& app = window.app;
    return MsgBoxAsk(app.msgBox, text, kind, nullptr, &app.mainWindow, PumpUntilCloseRequest, &window);
}

// A report waits for its "OK" even after a close request during the
// removal: what could not be deleted is worth the user's reading.
void Report(MainWindow& window, const wchar_t* text) {
    AppState& app = window.app;
    MsgBoxAsk(app.msgBox, text, msgbox::kOk, nullptr, &app.mainWindow, PumpForToolkit, &window);
}

// Starts a worker on `job`; false when the thread could not be created.
bool StartWorker(AppState& app, LPTHREAD_START_ROUTINE entry, RemovalJob& job) {
    app.removalThread = StartWorkerThread(entry, &job);
    return static_cast<bool>(app.removalThread);
}

using Tick = void (*)(MainWindow& window, const RemovalJob& job);

// Pumps until the worker has ended. A close request, like the dialog's
// Cancel (which the pump passes on), only makes it stop before its next
// item: it is still waited for, since its list messages are served here.
// `tick`, when given, runs every few wakes of the pump to show progress.
// Returns the worker's exit code (kWorkerFailed when it ended in an error).
DWORD WaitForWorker(MainWindow& window, const RemovalJob& job, Tick tick = nullptr) {
    AppState& app = window.app;
    bool pumping = true;
    ULONGLONG shown = 0;
    DWORD code = 0;
    while (app.removalThread && !ThreadEnded(app.removalThread.Get(), code)) {
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
        const ULONGLONG now = GetTickCount64();
        if (tick != nullptr && now - shown >= 200) {
            shown = now;
            tick(window, job);
        }
    }
    app.removalThread.Reset();
    return code;
}

void ShowListNow(MainWindow& window, const RemovalJob&) {
    HoldListDrawing(window, false);
    HoldListDrawing(window, true);
}

std::wstring SizeText(uint64_t bytes) {
    return platform::ToNative(results::FormatSize(bytes));
}

// How far the verification is: items judged of the ticked ones, and where
// files are compared in full, the bytes read of those to read.
void ShowPreparing(MainWindow& window, const RemovalJob& job) {
    AppState& app = window.app;
    const int32_t total = job.ticked - static_cast<int32_t>(job.keptFirst.size());
    const int32_t checked = job.itemsChecked.load(std::memory_order_relaxed);
    const uint64_t done = job.bytesCompared.load(std::memory_order_relaxed);
    // Folders are read below as they are met: the total grows past the
    // estimate then, and the display keeps up.
    const uint64_t toCompare = std::max(done, job.bytesToCompare.load(std::memory_order_relaxed));
    wchar_t text[512] = {};
    int32_t percent = 0;
    if (toCompare > 0) {
        swprintf(text, 512, texts::kPreparingBytes, static_cast<int>(checked),
                 static_cast<int>(total), SizeText(done).c_str(), SizeText(toCompare).c_str());
        percent = static_cast<int32_t>(done * 100 / toCompare);
    } else {
        swprintf(text, 512, texts::kPreparingItems, static_cast<int>(checked),
                 static_cast<int>(total));
        percent = total > 0 ? checked * 100 / total : 0;
    }
    ProgressSetState(app.progress, std::min(percent, 99), text);
}

int32_t CountTicked(const std::vector<removal::RowSnapshot>& rows) {
    int32_t ticked = 0;
    for (const removal::RowSnapshot& row : rows)
        ticked += row.run >= 0 && row.ticked ? 1 : 0;
    return ticked;
}

// Verification can read whole files, so it runs beside the pump, with the
// dialog's Cancel; nothing is touched until the questions. False when the
// flow ends here (the user was told why, or the program is closing).
bool Verify(MainWindow& window, RemovalJob& job) {
    AppState& app = window.app;
    OpenWorkerProgress(app, texts::kPreparingToDelete);
    app.cancelRequested = 0;
    const bool verifying = StartWorker(app, VerifyThreadProc, job);
    const DWORD verified = WaitForWorker(window, job, ShowPreparing);
    ProgressClose(app.progress);
    if (!verifying) {
        Report(window, texts::kRemovalNotStarted);
        return false;
    }
    if (verified == kWorkerFailed) {
        Report(window, texts::kRemovalFailed);
        return false;
    }
    if (app.closeRequested)
        return false;
    if (app.cancelRequested != 0) {
        wchar_t text[256] = {};
        swprintf(text, 256, texts::kPreparingCancelled,
                 static_cast<int>(job.itemsChecked.load()),
                 static_cast<int>(job.ticked - static_cast<int32_t>(job.keptFirst.size())));
        Report(window, text);
        return false;
    }
    return true;
}

// Whether the unverified items may go too, then whether anything goes.
bool Confirm(MainWindow& window, RemovalJob& job) {
    const removal::VerdictCounts counts = removal::CountVerdicts(job.verdicts);
    if (counts.unverified > 0) {
        const int32_t answer = Ask(window, UnverifiedQuestion(counts.unverified).c_str(),
                                   msgbox::kYesNo);
        if (answer != msgbox::kFirst && answer != msgbox::kNo)
            return false;
        job.policy.allowUnverified = answer == msgbox::kFirst;
    }
    const std::wstring question = ConfirmQuestion(static_cast<int32_t>(job.keptFirst.size()));
    return Ask(window, question.c_str(), msgbox::kYesNo) == msgbox::kFirst;
}

void Remove(MainWindow& window, RemovalJob& job) {
    AppState& app = window.app;
    OpenWorkerProgress(app, texts::kPreparingToDelete);
    job.permanent = IsControlChecked(app.mainWindow, window.slots.deletePermanently);
    app.cancelRequested = 0;
    // The rows of removed items go one at a time; drawn after each, the
    // list cost more than the removal itself (every drawing of the visible
    // rows is many messages to subclassed windows, each round trips to the
    // server under Wine), so it is drawn at each tick of the wait instead.
    HoldListDrawing(window, true);
    const bool started = StartWorker(app, RemovalThreadProc, job);
    ProgressSetState(app.progress, progress::kUnchanged, texts::kDeletingFiles);
    const DWORD removalEnd = WaitForWorker(window, job, ShowListNow);
    HoldListDrawing(window, false);
    ProgressClose(app.progress);
    if (!started) {
        Report(window, texts::kRemovalNotStarted);
        return;
    }
    if (removalEnd == kWorkerFailed) {
        Report(window, texts::kRemovalFailed);
        return;
    }
    const std::wstring report = RemovalReportText(TallyRemoval(job));
    Report(window, report.c_str());
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
    job.ticked = CountTicked(job.snapshot);
    // Deleting every copy of a group would lose what it holds: its first
    // row stays, still ticked, and is told of in the question and the
    // report.
    job.keptFirst = removal::KeepFirstOfFullyTickedGroups(job.snapshot);
    job.policy.goneIsRemoved = true;
    if (Verify(window, job) && Confirm(window, job))
        Remove(window, job);
}

// The ticked folders of the rows, each with its separator: whatever lies
// below one goes with it.
std::vector<std::u16string> TickedFolders(const std::vector<removal::RowSnapshot>& rows) {
    std::vector<std::u16string> folders;
    for (const removal::RowSnapshot& r : rows)
        if (r.run >= 0 && r.ticked && r.group == results::kFolderGroup)
            folders.push_back(r.path + platform::kPathSeparator);
    return folders;
}

// Whether every other member of the run of `row` goes with this removal:
// ticked, or below a ticked folder.
bool EveryCopyGoes(const std::vector<removal::RowSnapshot>& rows, int32_t row,
                   const std::vector<std::u16string>& tickedFolders) {
    auto below = [&](const std::u16string& path) {
        for (const std::u16string& folder : tickedFolders)
            if (path.size() > folder.size() &&
                results::SameFolder(std::u16string_view(path).substr(0, folder.size()), folder))
                return true;
        return false;
    };
    // A run is a stretch of neighbouring rows.
    const int32_t run = rows[static_cast<size_t>(row)].run;
    size_t first = static_cast<size_t>(row);
    while (first > 0 && rows[first - 1].run == run)
        --first;
    for (size_t m = first; m < rows.size() && rows[m].run == run; ++m)
        if (!rows[m].ticked && !below(rows[m].path))
            return false;
    return true;
}

NotDeleted ReasonOf(const removal::ItemOutcome& outcome, const removal::ItemVerdict& verdict,
                    const std::vector<removal::RowSnapshot>& rows,
                    const std::vector<std::u16string>& tickedFolders) {
    using platform::ItemCheck;
    using removal::Why;
    auto byCheck = [](ItemCheck check) {
        switch (check) {
            case ItemCheck::Link:
            case ItemCheck::OtherDevice:
                return NotDeleted::LinkOrOtherDrive;
            case ItemCheck::Unreadable:
                return NotDeleted::Unreadable;
            case ItemCheck::NotRemoved:
            case ItemCheck::NotTrashed:
                return NotDeleted::WindowsRefused;
            case ItemCheck::ShellNameEndsWithDotOrSpace:
            case ItemCheck::ShellDeviceName:
            case ItemCheck::ShellPathTooLong:
                return NotDeleted::ShellName;
            default:
                return NotDeleted::ChangedOnDisk;
        }
    };
    switch (outcome.why) {
        case Why::NotListed:
            return NotDeleted::NotListed;
        case Why::ItemChanged:
        case Why::NotRemoved:
            return byCheck(outcome.check);
        case Why::NoKeeper:
            return EveryCopyGoes(rows, verdict.row, tickedFolders) ? NotDeleted::EveryCopyTicked
                                                                   : NotDeleted::KeeperChanged;
        case Why::KeeperGone:
            return NotDeleted::KeeperChanged;
        case Why::HoldsLastCopy:
            return NotDeleted::HoldsLastCopy;
        case Why::KeeperDiffers:
        case Why::NotCompared:
        case Why::NoCopyBelow:
            // Only the user's "No" leaves an unverified item with its own
            // reason: with a "Yes" it was tried, and what stopped it is
            // said instead.
            return NotDeleted::KeptByChoice;
        case Why::Verified:
        case Why::Cancelled:
            break;
    }
    return NotDeleted::WindowsRefused;
}

}  // namespace

RemovalTally TallyRemoval(const RemovalJob& job) {
    RemovalTally tally;
    tally.ticked = job.ticked;
    tally.removed = job.removed;
    tally[NotDeleted::EveryCopyTicked] = static_cast<int32_t>(job.keptFirst.size());
    std::unordered_map<std::u16string, const removal::ItemVerdict*> verdictOf;
    for (const removal::ItemVerdict& v : job.verdicts)
        verdictOf.emplace(v.path, &v);
    const std::vector<std::u16string> tickedFolders = TickedFolders(job.snapshot);
    for (const removal::ItemOutcome& outcome : job.outcomes) {
        if (outcome.removed || outcome.why == removal::Why::Cancelled)
            continue;
        if (const auto it = verdictOf.find(outcome.path); it != verdictOf.end())
            ++tally[ReasonOf(outcome, *it->second, job.snapshot, tickedFolders)];
    }
    return tally;
}

std::wstring RemovalReportText(const RemovalTally& tally) {
    static constexpr const wchar_t* kLines[] = {
        texts::kReasonEveryCopyTicked, texts::kReasonChangedOnDisk,
        texts::kReasonKeeperChanged,   texts::kReasonUnreadable,
        texts::kReasonLinkOrOtherDrive, texts::kReasonWindowsRefused,
        texts::kReasonShellName,       texts::kReasonHoldsLastCopy,
        texts::kReasonNotListed,       texts::kReasonKeptByChoice,
    };
    static_assert(std::size(kLines) == static_cast<size_t>(NotDeleted::Count));
    int32_t told = 0;
    for (int32_t count : tally.notDeleted)
        told += count;
    const int32_t refused = told - tally[NotDeleted::KeptByChoice];
    const int32_t notDeleted = tally.ticked - tally.removed;

    std::wstring text;
    if (notDeleted > told) {
        // A cancel left items unreached: the engine's sentence would call
        // them deleted.
        if (notDeleted == 1) {
            text = texts::kCancelledOne;
        } else {
            wchar_t line[256] = {};
            swprintf(line, 256, texts::kCancelledMany, static_cast<int>(notDeleted));
            text = line;
        }
    } else if (told == 0 || refused > 0) {
        text = platform::ToNative(removal::RemovalReport(refused));
    } else {
        text = texts::kDeletedExceptBelow;
    }
    for (size_t i = 0; i < tally.notDeleted.size(); ++i)
        if (tally.notDeleted[i] > 0)
            text += std::wstring(L"\r\n") + kLines[i] + std::to_wstring(tally.notDeleted[i]);
    return text;
}

std::wstring UnverifiedQuestion(int32_t count) {
    if (count == 1)
        return texts::kUnverifiedOne;
    wchar_t text[512] = {};
    swprintf(text, 512, texts::kUnverifiedMany, static_cast<int>(count));
    return text;
}

std::wstring ConfirmQuestion(int32_t fullGroups) {
    if (fullGroups <= 0)
        return texts::kConfirmDelete;
    wchar_t line[256] = {};
    if (fullGroups == 1)
        wcscpy(line, texts::kEveryCopyTickedOne);
    else
        swprintf(line, 256, texts::kEveryCopyTickedMany, static_cast<int>(fullGroups));
    return std::wstring(line) + L"\r\n" + texts::kConfirmDelete;
}

bool AnyTicked(const AppState& app) {
    if (!app.rows)
        return false;
    const int32_t count = app.rows->Count();
    for (int32_t row = 0; row < count; ++row) {
        const int state = app.rows->StateImage(row);
        // A row gone meanwhile: the list has shrunk below it.
        if (state < 0)
            break;
        if (state == results::kTicked)
            return true;
    }
    return false;
}

void RunRemovalFlow(MainWindow& window) {
    BeginMainBusy(window);
    RemoveTicked(window);
    EndMainBusy(window);
}

DWORD WINAPI VerifyThreadProc(void* parameter) {
    auto& job = *static_cast<RemovalJob*>(parameter);
    job.record = removal::ScanRecord(job.app.results, job.criteria);
    // Where the scan did not compare bytes, each ticked file is read in
    // full beside a copy: the estimate the progress shows.
    if (!job.record.ExactContents()) {
        uint64_t toCompare = 0;
        for (const removal::RowSnapshot& row : job.snapshot)
            if (row.run >= 0 && row.ticked && row.group == results::kFileGroup)
                if (const platform::ItemFacts* facts = job.record.Facts(row.path))
                    toCompare += 2 * facts->size;
        job.bytesToCompare.store(toCompare);
    }
    job.verdicts = removal::VerifyTicked(job.snapshot, job.record, job.app.cancelRequested,
                                         &job.bytesCompared, &job.itemsChecked);
    return 0;
}

DWORD WINAPI RemovalThreadProc(void* parameter) {
    auto& job = *static_cast<RemovalJob*>(parameter);
    AppState& app = job.app;
    // COM for the shell's recycle operation, for the thread's lifetime.
    platform::RemovalThreadScope scope;
    std::atomic<int32_t> failures{0};
    int32_t removed = 0;
    if (app.rows)
        removed = removal::RemoveVerifiedItems(*app.rows, job.verdicts, job.record, !job.permanent,
                                               job.policy, app.cancelRequested, failures,
                                               &job.outcomes);
    job.failures = failures.load();
    job.removed = removed;
    return static_cast<DWORD>(removed);
}

}  // namespace cs::app
