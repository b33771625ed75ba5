// clonesifter-cli: the scan engine behind a command line. The scan runs on
// a worker thread when a progress line is shown, else on the main thread;
// Ctrl+C only sets the cancel flag, and what was found so far is printed.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <future>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#include <csignal>
#endif

#include "cli/arguments.h"
#include "cli/output.h"
#include "engine/scan.h"
#include "platform/dir.h"
#include "platform/removal.h"
#include "platform/text.h"
#include "removal/removal.h"
#include "removal/verify.h"
#include "results/memory_rows.h"
#include "results/result_list.h"
#include "results/selection.h"

namespace {

std::atomic<uint8_t> g_cancel{0};
static_assert(std::atomic<uint8_t>::is_always_lock_free,
              "the signal handler needs a lock-free flag");

#ifdef _WIN32
BOOL WINAPI OnConsoleControl(DWORD type) {
    if (type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT) {
        g_cancel.store(1);
        return TRUE;
    }
    return FALSE;
}
void InstallCancelHandler() {
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}
bool StderrIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}
bool StdinIsTerminal() {
    return _isatty(_fileno(stdin)) != 0;
}
size_t TerminalWidth() {
    return 80;
}
#else
extern "C" void OnInterrupt(int) {
    g_cancel.store(1);
}
void InstallCancelHandler() {
    struct sigaction sa {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
}
bool StderrIsTerminal() {
    return isatty(STDERR_FILENO) != 0;
}
bool StdinIsTerminal() {
    return isatty(STDIN_FILENO) != 0;
}
size_t TerminalWidth() {
    winsize ws{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 20)
        return ws.ws_col;
    return 80;
}
#endif

std::string HumanBytes(uint64_t bytes) {
    const char* units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    double v = static_cast<double>(bytes);
    int u = 0;
    while (v >= 1024 && u < 4) {
        v /= 1024;
        ++u;
    }
    char text[32];
    std::snprintf(text, sizeof text, u == 0 ? "%.0f %s" : "%.1f %s", v, units[u]);
    return text;
}

void ShowProgress(const cs::engine::ScanProgress& progress) {
    std::string line = std::to_string(progress.filesSeen.load()) + " files, " +
                       std::to_string(progress.groupsShown.load()) + " groups, " +
                       HumanBytes(progress.bytesHashed.load()) + " read: ";
    const std::string folder = cs::platform::Utf16ToUtf8Lossless(progress.CurrentFolder());
    const size_t width = TerminalWidth() - 1;
    if (line.size() + folder.size() > width && width > line.size() + 3) {
        // Keep the end of the folder path: that is the part that moves.
        line += "..." + folder.substr(folder.size() - (width - line.size() - 3));
    } else {
        line += folder;
    }
    if (line.size() > width)
        line.resize(width);
    std::fprintf(stderr, "\r%-*s", static_cast<int>(width), line.c_str());
    std::fflush(stderr);
}

void Print(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

std::string Utf8(std::u16string_view text) {
    return cs::platform::Utf16ToUtf8Lossless(text);
}

void ApplySelection(cs::results::MemoryRows& rows,
                    const std::vector<cs::cli::SelectionStep>& steps) {
    using cs::cli::SelectionKind;
    using cs::results::KeepRule;
    for (const cs::cli::SelectionStep& step : steps) {
        switch (step.kind) {
            case SelectionKind::KeepFirst:
                cs::results::KeepFirst(rows);
                break;
            case SelectionKind::KeepLast:
                cs::results::KeepLast(rows);
                break;
            case SelectionKind::KeepSmallest:
                cs::results::KeepBy(rows, KeepRule::Smallest);
                break;
            case SelectionKind::KeepBiggest:
                cs::results::KeepBy(rows, KeepRule::Biggest);
                break;
            case SelectionKind::KeepOldest:
                cs::results::KeepBy(rows, KeepRule::Oldest);
                break;
            case SelectionKind::KeepNewest:
                cs::results::KeepBy(rows, KeepRule::Newest);
                break;
            case SelectionKind::TickAll:
                cs::results::SetAllItems(rows, true);
                break;
            case SelectionKind::UntickAll:
                cs::results::SetAllItems(rows, false);
                break;
            case SelectionKind::TickFolder:
                cs::results::SetRowsInFolder(rows, step.folder, true);
                break;
            case SelectionKind::UntickFolder:
                cs::results::SetRowsInFolder(rows, step.folder, false);
                break;
        }
    }
}

std::vector<std::u16string> TickedPaths(const cs::results::MemoryRows& rows) {
    std::vector<std::u16string> paths;
    for (int32_t r = 0; r < rows.Count(); ++r)
        if (rows.StateImage(r) == cs::results::kTicked)
            paths.push_back(rows.Text(r, cs::results::kPathColumn));
    return paths;
}

bool AskToRemove() {
    std::fputs("Are you sure you want to delete the selected files? [y/N] ", stderr);
    std::fflush(stderr);
    char line[64] = {};
    if (!std::fgets(line, sizeof line, stdin))
        return false;
    return line[0] == 'y' || line[0] == 'Y';
}

const char kNothingTicked[] = "Please tick at least one item for removal before using this option.";

std::string ReasonOf(const cs::removal::ItemVerdict& v) {
    std::string reason = cs::removal::WhyText(v.why, v.check);
    if (v.why == cs::removal::Why::NoKeeper)
        reason += "; --allow-all-copies removes it";
    else if (v.verdict == cs::removal::Verdict::Unverified)
        reason += "; --allow-unverified removes it";
    // For a folder, the file below it that decided.
    if (!v.detail.empty() &&
        (v.why == cs::removal::Why::HoldsLastCopy || v.why == cs::removal::Why::NoCopyBelow ||
         (v.why == cs::removal::Why::NotCompared && v.below.size() > 0)))
        reason += ": " + Utf8(v.detail);
    return reason;
}

bool IsLastCopyRefusal(cs::removal::Why why) {
    return why == cs::removal::Why::NoKeeper || why == cs::removal::Why::HoldsLastCopy;
}

int RemoveTicked(const cs::cli::Arguments& arguments, const cs::engine::ScanOptions& options,
                 const cs::engine::ScanResults& results, cs::results::MemoryRows& rows,
                 const std::vector<std::u16string>& ticked) {
    using cs::removal::ItemVerdict;
    const bool json = arguments.json;
    cs::cli::RemovalSummary summary;
    summary.mode = arguments.remove == cs::cli::RemoveMode::Trash ? "trash" : "delete";
    summary.dryRun = arguments.dryRun;
    auto finish = [&](int code) {
        if (json)
            Print(cs::cli::FormatJson(options, results, false, ticked, &summary));
        return code;
    };
    if (!json)
        Print(cs::cli::FormatRows(rows));

    if (ticked.empty()) {
        summary.report = cs::platform::Utf8ToUtf16Lossless(kNothingTicked);
        if (!json)
            Print(std::string("\n") + kNothingTicked + "\n");
        return finish(0);
    }

    // Every ticked item is checked against the disk before anything is
    // asked or removed, and again right before it goes.
    const cs::removal::ScanRecord record(results, options.criteria);
    const cs::removal::RemovalPolicy policy{arguments.allowUnverified, arguments.allowAllCopies};
    const std::vector<ItemVerdict> verdicts =
        cs::removal::VerifyTickedItems(rows, record, g_cancel);
    if (g_cancel.load() != 0) {
        std::fputs("clonesifter-cli: interrupted; nothing was removed\n", stderr);
        return finish(130);
    }
    std::vector<const ItemVerdict*> heldBack;
    for (const ItemVerdict& v : verdicts) {
        if (cs::removal::Permitted(v, policy))
            continue;
        heldBack.push_back(&v);
        if (IsLastCopyRefusal(v.why))
            summary.keptAsLastCopies.push_back(v.path);
    }
    const cs::removal::VerdictCounts counts = cs::removal::CountVerdicts(verdicts);
    summary.unverified = counts.unverified;
    if (counts.unverified > 0 && !arguments.allowUnverified)
        std::fprintf(stderr,
                     "clonesifter-cli: %d ticked item%s held back as unverified: no copy that "
                     "stays was proven to hold the same contents (--allow-unverified removes "
                     "them)\n",
                     counts.unverified, counts.unverified == 1 ? " is" : "s are");

    if (arguments.dryRun) {
        std::string text = "\nWould remove (" + std::string(summary.mode) + "):\n";
        for (const ItemVerdict& v : verdicts)
            if (cs::removal::Permitted(v, policy))
                text += Utf8(v.path) + "\n";
        for (const ItemVerdict* v : heldBack) {
            text += "Would keep: " + Utf8(v->path) + "\t(" + ReasonOf(*v) + ")\n";
            summary.notRemoved.push_back(v->path);
            summary.reasons.push_back(ReasonOf(*v));
        }
        summary.removed = static_cast<int32_t>(verdicts.size() - heldBack.size());
        if (!json)
            Print(text);
        return finish(0);
    }

    if (!arguments.yes) {
        if (!StdinIsTerminal()) {
            std::fputs(
                "clonesifter-cli: not removing anything: standard input is not a terminal "
                "to ask on; give --yes to remove without asking\n",
                stderr);
            return 2;
        }
        if (!AskToRemove()) {
            std::fputs("Nothing was removed.\n", stderr);
            return finish(1);
        }
    }

    std::atomic<int32_t> failures{0};
    std::vector<cs::removal::ItemOutcome> outcomes;
    int32_t removed = 0;
    {
        cs::platform::RemovalThreadScope scope;
        removed = cs::removal::RemoveVerifiedItems(
            rows, verdicts, record, arguments.remove == cs::cli::RemoveMode::Trash, policy,
            g_cancel, failures, &outcomes);
    }
    // Outcomes run from the bottom row up; the report lists rows top down.
    std::reverse(outcomes.begin(), outcomes.end());
    const int32_t failed = failures.load();
    summary.removed = removed;
    summary.failures = failed;
    summary.report = cs::removal::RemovalReport(failed);
    const bool interrupted = g_cancel.load() != 0;
    std::string text = "\n" + Utf8(summary.report) + "\n";
    for (const cs::removal::ItemOutcome& o : outcomes) {
        if (o.removed)
            continue;
        const auto verdict = std::find_if(verdicts.begin(), verdicts.end(),
                                          [&](const ItemVerdict& v) { return v.path == o.path; });
        ItemVerdict shown = *verdict;
        shown.why = o.why;
        shown.check = o.check;
        const std::string reason = ReasonOf(shown);
        summary.notRemoved.push_back(o.path);
        summary.reasons.push_back(reason);
        text += Utf8(o.path) + "\t(" + reason + ")\n";
    }
    // Rows not reached after an interrupt are still ticked, with no reason.
    for (const std::u16string& path : TickedPaths(rows)) {
        if (std::find(summary.notRemoved.begin(), summary.notRemoved.end(), path) ==
            summary.notRemoved.end()) {
            summary.notRemoved.push_back(path);
            summary.reasons.push_back("not reached before the interrupt");
            text += Utf8(path) + "\n";
        }
    }
    if (!json) {
        Print(text);
        if (interrupted)
            std::fputs("clonesifter-cli: interrupted; the items not yet handled are still there\n",
                       stderr);
    }
    if (interrupted)
        return finish(130);
    return finish(summary.notRemoved.empty() ? 0 : 1);
}

int Run(const std::vector<std::u16string>& args) {
    cs::cli::Arguments arguments;
    std::string error;
    switch (cs::cli::ParseArguments(args, arguments, error)) {
        case cs::cli::ParseOutcome::Help:
            std::fputs(cs::cli::UsageText(), stdout);
            return 0;
        case cs::cli::ParseOutcome::UsageError:
            std::fprintf(stderr, "clonesifter-cli: %s\n\n%s", error.c_str(), cs::cli::UsageText());
            return 2;
        case cs::cli::ParseOutcome::Ok:
            break;
    }
    const cs::engine::ScanOptions& options = arguments.options;
    if (!cs::platform::IsDirectory(options.rootPath)) {
        std::fprintf(stderr, "clonesifter-cli: not a folder: %s\n",
                     cs::platform::Utf16ToUtf8Lossless(options.rootPath).c_str());
        return 2;
    }

    InstallCancelHandler();
    cs::engine::ScanResults results;
    cs::engine::ScanOutcome outcome;
    if (!arguments.quiet && StderrIsTerminal()) {
        cs::engine::ScanProgress progress;
        std::promise<cs::engine::ScanOutcome> finished;
        std::future<cs::engine::ScanOutcome> result = finished.get_future();
        std::thread worker([&] {
            finished.set_value(cs::engine::RunScan(options, results, g_cancel, &progress));
        });
        while (result.wait_for(std::chrono::milliseconds(200)) != std::future_status::ready) {
            ShowProgress(progress);
        }
        worker.join();
        outcome = result.get();
        std::fprintf(stderr, "\r%-*s\r", static_cast<int>(TerminalWidth() - 1), "");
    } else {
        outcome = cs::engine::RunScan(options, results, g_cancel);
    }

    if (!results.rootListed) {
        std::fprintf(stderr, "clonesifter-cli: cannot list the folder: %s\n",
                     cs::platform::Utf16ToUtf8Lossless(options.rootPath).c_str());
        return 2;
    }
    // "No duplicates" must never stand for "could not look".
    if (results.skips.foldersNotListed || results.skips.filesNotRead)
        std::fprintf(stderr,
                     "clonesifter-cli: could not look into %llu folder%s and could not read "
                     "%llu file%s; they are left out of the results\n",
                     static_cast<unsigned long long>(results.skips.foldersNotListed),
                     results.skips.foldersNotListed == 1 ? "" : "s",
                     static_cast<unsigned long long>(results.skips.filesNotRead),
                     results.skips.filesNotRead == 1 ? "" : "s");

    const bool cancelled = outcome == cs::engine::ScanOutcome::Cancelled;
    cs::results::MemoryRows rows;
    cs::results::RebuildResultList(rows, results, options.criteria);
    if (!cancelled)
        ApplySelection(rows, arguments.selection);
    const std::vector<std::u16string> ticked = TickedPaths(rows);

    if (cancelled || arguments.remove == cs::cli::RemoveMode::None) {
        Print(arguments.json ? cs::cli::FormatJson(options, results, cancelled, ticked, nullptr)
                             : cs::cli::FormatRows(rows));
        if (cancelled) {
            // Nothing is removed after an interrupted scan: the user asked to stop.
            if (!arguments.json)
                std::fputs("clonesifter-cli: interrupted; results are partial\n", stderr);
            return 130;
        }
        return 0;
    }
    return RemoveTicked(arguments, options, results, rows, ticked);
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    std::vector<std::u16string> args;
    for (int i = 1; i < argc; ++i) {
        const std::wstring a(argv[i]);
        args.emplace_back(a.begin(), a.end());
    }
    return Run(args);
}
#else
int main(int argc, char** argv) {
    std::vector<std::u16string> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(cs::platform::Utf8ToUtf16Lossless(argv[i]));
    return Run(args);
}
#endif
