// clonesifter-cli: the scan engine behind a command line. The scan runs on
// a worker thread when a progress line is shown, else on the main thread;
// Ctrl+C only sets the cancel flag, and what was found so far is printed.
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
#include "platform/text.h"

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

    const bool cancelled = outcome == cs::engine::ScanOutcome::Cancelled;
    const std::string text = arguments.json ? cs::cli::FormatJson(options, results, cancelled)
                                            : cs::cli::FormatText(options, results);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    if (cancelled) {
        if (!arguments.json)
            std::fputs("clonesifter-cli: interrupted; results are partial\n", stderr);
        return 130;
    }
    return 0;
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
