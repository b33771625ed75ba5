// clonesifter-cli: the scan engine behind a command line. The scan runs on
// a worker thread when a progress line is shown, else on the main thread;
// Ctrl+C only sets the cancel flag, and what was found so far is printed.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <set>
#include <future>
#include <string>
#include <thread>
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
#include "cli/cache_store.h"
#include "cli/console.h"
#include "cli/output.h"
#include "cli/plan.h"
#include "engine/contents_cache.h"
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

using cs::cli::ErrorF;

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
    ErrorF("\r%-*s", static_cast<int>(width), line.c_str());
}

// A listing, a report or a plan that did not arrive is a failure of its
// own: a script that stored it must not act on what is missing.
constexpr int kOutputNotWritten = 3;

// What standard output was to carry when it first failed, for the message;
// and whether a report on standard error was lost.
const char* g_outLost = nullptr;
bool g_reportLost = false;

void Print(std::string_view text, const char* what = "the listing") {
    if (!cs::cli::WriteOut(text) && !g_outLost)
        g_outLost = what;
}

void PrintPiece(std::string_view piece) {
    Print(piece);
}

// The exit code once standard output is closed: a lost output turns "done"
// and "something was not removed" into 3 (the removal ran as it would have;
// only what was said of it is missing). A usage error and an interrupt
// keep their codes: they already say why the output is short.
int Finish(int code) {
    std::string error;
    const bool outWritten = cs::cli::CloseOut(error);
    if (!outWritten)
        ErrorF("clonesifter-cli: could not write %s to standard output: %s\n",
               g_outLost ? g_outLost : "the listing", error.c_str());
    if ((!outWritten || g_reportLost) && (code == 0 || code == 1))
        return kOutputNotWritten;
    return code;
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

enum class Answer { Yes, No, Interrupted };

// Ctrl+C while the question waits interrupts the read (the handler is
// installed without SA_RESTART) and answers for the user: stop.
Answer AskToRemove(const std::string& question) {
    // An answer to a question nobody saw is no answer.
    if (!cs::cli::WriteErr(question + " [y/N] ")) {
        g_reportLost = true;
        return Answer::No;
    }
    char line[64] = {};
    const bool read = std::fgets(line, sizeof line, stdin) != nullptr;
    if (g_cancel.load() != 0)
        return Answer::Interrupted;
    if (!read)
        return Answer::No;
    return line[0] == 'y' || line[0] == 'Y' ? Answer::Yes : Answer::No;
}

std::string Plural(uint64_t n, const char* word) {
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

std::string BytesText(uint64_t bytes) {
    return HumanBytes(bytes) + (bytes >= 1024 ? " (" + std::to_string(bytes) + " bytes)" : "");
}

// What the permitted items hold: a file its size, a folder the files below
// it that were verified.
uint64_t BytesToRemove(const std::vector<cs::removal::ItemVerdict>& verdicts,
                       const cs::removal::ScanRecord& record,
                       const cs::removal::RemovalPolicy& policy, int32_t& items) {
    uint64_t bytes = 0;
    items = 0;
    for (const cs::removal::ItemVerdict& v : verdicts) {
        if (!cs::removal::Permitted(v, policy))
            continue;
        ++items;
        if (const cs::platform::ItemFacts* facts = record.Facts(v.path); facts && !facts->isFolder)
            bytes += facts->size;
        for (const cs::platform::TreeFile& file : v.below)
            bytes += file.facts.size;
    }
    return bytes;
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

// How the listing and the removal are printed, and what the record
// trusts.
struct Presentation {
    cs::cli::OutputFormat format = cs::cli::OutputFormat::Text;
    std::vector<std::u16string> roots;
    // A plan's claim that contents were compared is not trusted.
    uint32_t recordCriteria = 0;
};

bool JsonOut(const Presentation& p) {
    return p.format == cs::cli::OutputFormat::Json;
}

// The report lines go to standard output with the text listing; when
// standard output holds records, CSV or JSON for a script, to standard
// error, where they cannot be mistaken for paths.
void Report(const Presentation& p, const std::string& text) {
    if (p.format == cs::cli::OutputFormat::Text)
        Print(text, "the removal report");
    else if (!JsonOut(p) && !cs::cli::WriteErr(text))
        g_reportLost = true;
}

// The listing in the chosen format; false (with the message said) when the
// format cannot carry a name.
bool PrintListing(const Presentation& p, const cs::engine::ScanResults& results,
                  const cs::results::MemoryRows& rows, const std::vector<std::u16string>& ticked) {
    using cs::cli::OutputFormat;
    const std::set<std::u16string> tickedSet(ticked.begin(), ticked.end());
    switch (p.format) {
        case OutputFormat::Text:
            Print(cs::cli::FormatRows(rows));
            return true;
        case OutputFormat::Json:
            return true;  // one document at the end
        case OutputFormat::Csv:
            Print(cs::cli::FormatCsv(cs::cli::ListGroups(results, tickedSet)));
            return true;
        case OutputFormat::Print0:
        case OutputFormat::Lines: {
            std::string text;
            const char end = p.format == OutputFormat::Print0 ? '\0' : '\n';
            if (!cs::cli::FormatRecords(cs::cli::ListGroups(results, tickedSet), end, text)) {
                ErrorF(
                    "clonesifter-cli: a listed name holds a line feed, which --lines cannot "
                    "show; use --print0 or --json\n");
                return false;
            }
            Print(text);
            return true;
        }
    }
    return true;
}

int RemoveTicked(const cs::cli::Arguments& arguments, const Presentation& p,
                 const cs::engine::ScanOptions& options, const cs::engine::ScanResults& results,
                 cs::results::MemoryRows& rows, const std::vector<std::u16string>& ticked) {
    using cs::removal::ItemVerdict;
    const bool json = JsonOut(p);
    const bool toTrash = arguments.remove == cs::cli::RemoveMode::Trash;
    cs::cli::RemovalSummary summary;
    summary.mode = toTrash ? "trash" : "delete";
    summary.dryRun = arguments.dryRun;
    auto finish = [&](int code) {
        if (json)
            cs::cli::WriteJson(options, results, p.roots, false, ticked, &summary, PrintPiece);
        return code;
    };
    if (!PrintListing(p, results, rows, ticked))
        return 2;

    if (ticked.empty()) {
        summary.report = cs::platform::Utf8ToUtf16Lossless(kNothingTicked);
        Report(p, std::string("\n") + kNothingTicked + "\n");
        return finish(0);
    }

    // Every ticked item is checked against the disk before anything is
    // asked or removed, and again right before it goes.
    const cs::removal::ScanRecord record(results, p.recordCriteria);
    const cs::removal::RemovalPolicy policy{arguments.allowUnverified, arguments.allowAllCopies};
    const std::vector<ItemVerdict> verdicts =
        cs::removal::VerifyTickedItems(rows, record, g_cancel);
    if (g_cancel.load() != 0) {
        ErrorF("clonesifter-cli: interrupted; nothing was removed\n");
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
        ErrorF(
            "clonesifter-cli: %d ticked item%s held back as unverified: no copy that "
            "stays was proven to hold the same contents (--allow-unverified removes "
            "them)\n",
            counts.unverified, counts.unverified == 1 ? " is" : "s are");

    int32_t items = 0;
    const uint64_t bytes = BytesToRemove(verdicts, record, policy, items);
    const std::string where = toTrash ? "to the trash" : "for good";
    if (arguments.dryRun) {
        std::string text = "\nWould remove " + Plural(static_cast<uint64_t>(items), "item") +
                           ", " + BytesText(bytes) + ", " + where + ":\n";
        for (const ItemVerdict& v : verdicts)
            if (cs::removal::Permitted(v, policy))
                text += Utf8(v.path) + "\n";
        for (const ItemVerdict* v : heldBack) {
            text += "Would keep: " + Utf8(v->path) + "\t(" + ReasonOf(*v) + ")\n";
            summary.notRemoved.push_back(v->path);
            summary.reasons.push_back(ReasonOf(*v));
        }
        summary.removed = items;
        Report(p, text);
        return finish(0);
    }

    if (!arguments.yes && items > 0) {
        if (!StdinIsTerminal()) {
            ErrorF(
                "clonesifter-cli: not removing anything: standard input is not a terminal "
                "to ask on; give --yes to remove without asking\n");
            return 2;
        }
        const std::string question =
            (toTrash ? "Move " : "Remove ") + Plural(static_cast<uint64_t>(items), "item") +
            " (" + BytesText(bytes) + ") " + where + "?";
        switch (AskToRemove(question)) {
            case Answer::Yes:
                break;
            case Answer::No:
                ErrorF("Nothing was removed.\n");
                return finish(1);
            case Answer::Interrupted:
                ErrorF("\nclonesifter-cli: interrupted; nothing was removed\n");
                return finish(130);
        }
    }

    std::atomic<int32_t> failures{0};
    std::vector<cs::removal::ItemOutcome> outcomes;
    int32_t removed = 0;
    {
        cs::platform::RemovalThreadScope scope;
        removed = cs::removal::RemoveVerifiedItems(rows, verdicts, record, toTrash, policy,
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
    Report(p, text);
    if (interrupted && !json)
        ErrorF("clonesifter-cli: interrupted; the items not yet handled are still there\n");
    if (interrupted)
        return finish(130);
    return finish(summary.notRemoved.empty() ? 0 : 1);
}

// Why a root cannot be scanned, in the words a user can act on; empty when
// it can.
std::string RootProblem(const std::u16string& root) {
    // Member paths are joined by line feeds: such a root's paths would
    // come back split, each part naming something else.
    if (root.find(u'\n') != std::u16string::npos)
        return "the path holds a line feed, which cannot be scanned";
    std::error_code ec;
    const std::filesystem::path path(cs::platform::ToNative(root));
    const auto status = std::filesystem::status(path, ec);
    if (status.type() == std::filesystem::file_type::not_found)
        return "no such folder";
    if (ec)
        return ec == std::errc::permission_denied ? "permission denied" : ec.message();
    if (!std::filesystem::is_directory(status))
        return "not a folder";
    std::filesystem::directory_iterator probe(path, ec);
    if (ec == std::errc::permission_denied)
        return "permission denied";
    return {};
}

// After the scan: how much it found, on standard error, so that a script
// reading standard output gets only the listing.
void PrintSummary(const cs::engine::ScanResults& results, bool cached) {
    uint64_t files = 0, bytes = 0;
    for (const cs::engine::MatchGroup& g : results.matchGroups) {
        files += static_cast<uint64_t>(g.count);
        // Keeping the biggest member frees the least: say no more than that.
        uint64_t total = 0, biggest = 0;
        for (const cs::platform::ItemFacts& f : g.facts) {
            total += f.size;
            biggest = std::max(biggest, f.size);
        }
        if (g.facts.empty()) {
            total = g.size * static_cast<uint64_t>(g.count);
            biggest = g.size;
        }
        bytes += total - biggest;
    }
    std::string text = "clonesifter-cli: " + Plural(results.matchGroups.size(), "group") +
                       " of duplicate files, " + Plural(files, "file") + " in them; keeping one " +
                       "file per group would free " + BytesText(bytes);
    if (!results.folderGroups.empty())
        text += "; " + Plural(results.folderGroups.size(), "group") + " of similar folder names";
    if (!results.zeroByteFiles.empty())
        text += "; " + Plural(results.zeroByteFiles.size(), "zero-byte file");
    if (cached)
        text += "; " + Plural(results.filesFromCache, "file") + " from the cache";
    cs::cli::WriteErr(text + "\n");
}

std::vector<std::u16string> WalkedRoots(const cs::engine::ScanOptions& options,
                                        const cs::engine::ScanResults& results) {
    std::vector<std::u16string> roots{results.root.empty() ? options.rootPath : results.root};
    roots.insert(roots.end(), results.moreRoots.begin(), results.moreRoots.end());
    return roots;
}

int ApplyPlan(const cs::cli::Arguments& arguments) {
    cs::engine::ScanOptions options;
    cs::engine::ScanResults results;
    Presentation p;
    p.format = arguments.format;
    std::vector<std::u16string> planned;
    std::string error;
    if (!cs::cli::ReadPlan(arguments.applyPlan, options, results, p.roots, planned, error)) {
        ErrorF("clonesifter-cli: %s\n", error.c_str());
        return 2;
    }
    p.recordCriteria = options.criteria & ~static_cast<uint32_t>(cs::engine::CRIT_EXACT_CONTENTS);
    cs::results::MemoryRows rows;
    cs::results::RebuildResultList(rows, results, options.criteria);
    const std::set<std::u16string> wanted(planned.begin(), planned.end());
    for (int32_t r = 0; r < rows.Count(); ++r)
        if (cs::results::IsItemRow(rows, r) && wanted.count(rows.Text(r, cs::results::kPathColumn)))
            rows.SetStateImage(r, cs::results::kTicked);
    InstallCancelHandler();
    return RemoveTicked(arguments, p, options, results, rows, TickedPaths(rows));
}

int Run(const std::vector<std::u16string>& args) {
    cs::cli::Arguments arguments;
    std::string error;
    switch (cs::cli::ParseArguments(args, arguments, error)) {
        case cs::cli::ParseOutcome::Help:
            Print(cs::cli::UsageText(), "the help");
            return 0;
        case cs::cli::ParseOutcome::Version:
            Print(cs::cli::VersionText(), "the version");
            return 0;
        case cs::cli::ParseOutcome::UsageError:
            ErrorF("clonesifter-cli: %s\n\n%s", error.c_str(), cs::cli::UsageText());
            return 2;
        case cs::cli::ParseOutcome::Ok:
            break;
    }
    if (!arguments.applyPlan.empty())
        return ApplyPlan(arguments);
    const std::u16string cacheFolder =
        arguments.cacheDir.empty() ? cs::cli::DefaultCacheFolder() : arguments.cacheDir;
    if ((arguments.cache || arguments.clearCache) && cacheFolder.empty()) {
        ErrorF("clonesifter-cli: no cache folder: set XDG_CACHE_HOME or HOME, or give "
               "--cache-dir\n");
        return 2;
    }
    if (arguments.clearCache) {
        if (!cs::cli::ClearCache(cacheFolder, error)) {
            ErrorF("clonesifter-cli: %s\n", error.c_str());
            return 2;
        }
        if (arguments.onlyClearCache) {
            if (!arguments.quiet)
                ErrorF("clonesifter-cli: cleared the cache in %s\n", Utf8(cacheFolder).c_str());
            return 0;
        }
    }
    // Known now, not after an hour of scanning.
    if (!arguments.planOut.empty()) {
        const std::string problem = cs::cli::PlanTargetProblem(arguments.planOut);
        if (!problem.empty()) {
            ErrorF("clonesifter-cli: %s; no plan was written\n", problem.c_str());
            return 2;
        }
    }

    const cs::engine::ScanOptions& options = arguments.options;
    std::vector<std::u16string> given{options.rootPath};
    given.insert(given.end(), options.moreRoots.begin(), options.moreRoots.end());
    for (const std::u16string& root : given) {
        const std::string problem = RootProblem(root);
        if (!problem.empty()) {
            ErrorF("clonesifter-cli: %s: %s\n", problem.c_str(), Utf8(root).c_str());
            return 2;
        }
        const std::u16string pattern = cs::engine::ExcludeMatchingRoot(options.filter, root);
        if (!pattern.empty()) {
            ErrorF("clonesifter-cli: --exclude '%s' matches the root %s itself: nothing "
                   "would be scanned\n",
                   Utf8(pattern).c_str(), Utf8(root).c_str());
            return 2;
        }
    }

    // The cache only ever speeds a scan up: whatever is wrong with it is
    // said in one line, and the scan goes on as if it had not been asked.
    // The store is read on a thread of its own while the walk begins,
    // which needs none of it; the scan waits for it at its first use.
    cs::engine::ContentsCache cache;
    cs::cli::CacheStore store;
    cs::engine::ScanHooks hooks;
    std::thread loader;
    std::string cacheProblem;
    if (arguments.cache) {
        std::promise<bool> filled;
        cache.filled = filled.get_future().share();
        hooks.cache = &cache;
        loader = std::thread([&store, &cache, &cacheFolder, &cacheProblem,
                              filled = std::move(filled)]() mutable {
            filled.set_value(store.Open(cacheFolder, cache, cacheProblem));
        });
    }

    InstallCancelHandler();
    cs::engine::ScanResults results;
    cs::engine::ScanOutcome outcome;
    if (!arguments.quiet && StderrIsTerminal()) {
        cs::engine::ScanProgress progress;
        std::promise<cs::engine::ScanOutcome> finished;
        std::future<cs::engine::ScanOutcome> result = finished.get_future();
        std::thread worker([&] {
            finished.set_value(
                cs::engine::RunScan(options, results, g_cancel, &progress, hooks));
        });
        while (result.wait_for(std::chrono::milliseconds(200)) != std::future_status::ready) {
            ShowProgress(progress);
        }
        worker.join();
        outcome = result.get();
        ErrorF("\r%-*s\r", static_cast<int>(TerminalWidth() - 1), "");
    } else {
        outcome = cs::engine::RunScan(options, results, g_cancel, nullptr, hooks);
    }
    bool cached = false;
    if (loader.joinable()) {
        loader.join();
        cached = cache.filled.get();
        // What was learnt holds also when the scan was interrupted.
        if (!cached)
            ErrorF("clonesifter-cli: %s\n", cacheProblem.c_str());
        else if (!store.Save(cache, error))
            ErrorF("clonesifter-cli: %s\n", error.c_str());
    }

    if (!results.rootListed) {
        ErrorF("clonesifter-cli: cannot list the folder: %s\n", Utf8(options.rootPath).c_str());
        return 2;
    }
    // "No duplicates" must never stand for "could not look".
    if (results.skips.foldersNotListed || results.skips.filesNotRead)
        ErrorF(
            "clonesifter-cli: could not look into %llu folder%s and could not read "
            "%llu file%s; they are left out of the results\n",
            static_cast<unsigned long long>(results.skips.foldersNotListed),
            results.skips.foldersNotListed == 1 ? "" : "s",
            static_cast<unsigned long long>(results.skips.filesNotRead),
            results.skips.filesNotRead == 1 ? "" : "s");

    const bool cancelled = outcome == cs::engine::ScanOutcome::Cancelled;
    if (!arguments.quiet && !cancelled)
        PrintSummary(results, cached);
    Presentation p;
    p.format = arguments.format;
    p.roots = WalkedRoots(options, results);
    p.recordCriteria = options.criteria;
    // The rows are what the text listing shows and what selection and
    // removal work on; a script's listing of a large result needs none of
    // them, and nothing is ticked without a selection.
    const bool needRows = p.format == cs::cli::OutputFormat::Text || !arguments.selection.empty() ||
                          arguments.remove != cs::cli::RemoveMode::None ||
                          !arguments.planOut.empty();
    cs::results::MemoryRows rows;
    if (needRows)
        cs::results::RebuildResultList(rows, results, options.criteria);
    if (!cancelled)
        ApplySelection(rows, arguments.selection);
    const std::vector<std::u16string> ticked = TickedPaths(rows);

    if (!arguments.planOut.empty() && !cancelled) {
        if (!PrintListing(p, results, rows, ticked))
            return 2;
        if (JsonOut(p))
            cs::cli::WriteJson(options, results, p.roots, false, ticked, nullptr, PrintPiece);
        // Something other than a file put there during the scan is refused
        // as it would have been before it; a write that fails is a lost output.
        const cs::cli::PlanWrite written = cs::cli::WriteFileAtomically(
            arguments.planOut, cs::cli::FormatPlan(options, results, p.roots, ticked), error);
        if (written != cs::cli::PlanWrite::Written) {
            ErrorF("clonesifter-cli: %s; no plan was written\n", error.c_str());
            return written == cs::cli::PlanWrite::Refused ? 2 : kOutputNotWritten;
        }
        ErrorF("clonesifter-cli: wrote a plan of %s to %s%s\n",
               Plural(ticked.size(), "item").c_str(), Utf8(arguments.planOut).c_str(),
               ticked.empty() ? " (nothing is ticked: give --select)" : "");
        return 0;
    }
    if (cancelled || arguments.remove == cs::cli::RemoveMode::None) {
        if (!PrintListing(p, results, rows, ticked))
            return 2;
        if (JsonOut(p))
            cs::cli::WriteJson(options, results, p.roots, cancelled, ticked, nullptr, PrintPiece);
        if (cancelled) {
            // Nothing is removed after an interrupted scan: the user asked to stop.
            if (!JsonOut(p))
                ErrorF("clonesifter-cli: interrupted; results are partial\n");
            return 130;
        }
        return 0;
    }
    return RemoveTicked(arguments, p, options, results, rows, ticked);
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    // Redirected output is UTF-8 bytes, line feeds untranslated; a console
    // is written in UTF-16 (cli/console.h).
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    std::vector<std::u16string> args;
    for (int i = 1; i < argc; ++i) {
        const std::wstring a(argv[i]);
        args.emplace_back(a.begin(), a.end());
    }
    return Finish(Run(args));
}
#else
int main(int argc, char** argv) {
    std::vector<std::u16string> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(cs::platform::Utf8ToUtf16Lossless(argv[i]));
    return Finish(Run(args));
}
#endif
