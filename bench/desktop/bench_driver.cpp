// The desktop benchmark's driver: uses clonesifter.exe from another process
// as a user would, with the test driver's session helpers, and times what
// the user waits for. One run of the program per call:
//
//   cs_bench_driver ROOT [--preset N] [--select] [--remove]
//
// starts the program with ROOT, opens the setup window (preset row N,
// 1-based, when given; the setup window's first choices otherwise), presses
// "Start the scan now" and waits for the end tip, while another thread
// sends WM_NULL to the progress dialog every 100 ms and times each answer.
// --select then presses Ctrl+B and waits until the last row is ticked;
// --remove also chooses permanent deletion, presses "Delete ticked files",
// answers Yes and waits for the report. It prints key=value lines on
// standard output (seconds, kibibytes, milliseconds) and measures nothing
// itself against a goal: bench/desktop.sh compares.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/texts.h"
#include "session.h"

namespace cs::driver {
namespace {

namespace texts = app::texts;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

void Type(WORD modifier, WORD key) {
    INPUT inputs[4] = {};
    const WORD keys[4] = {modifier, key, key, modifier};
    for (int i = 0; i < 4; ++i) {
        inputs[i].type = INPUT_KEYBOARD;
        inputs[i].ki.wVk = keys[i];
        inputs[i].ki.dwFlags = i >= 2 ? KEYEVENTF_KEYUP : 0;
    }
    SendInput(4, inputs, sizeof(INPUT));
}

int RowCount(HWND list) {
    return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
}

int StateOf(HWND list, int row) {
    return static_cast<int>(
        (SendMessageW(list, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK) & LVIS_STATEIMAGEMASK) >>
        12);
}

// The peak resident size of the program's Linux process, read where the
// kernel keeps it (drive Z: is the Linux root); the process is the one
// whose command line starts with the program's Windows path.
long PeakKib() {
    const std::wstring program = ProgramPath();
    const std::string path(program.begin(), program.end());
    long peak = -1;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(L"Z:\\proc\\*", &found);
    if (search == INVALID_HANDLE_VALUE)
        return peak;
    do {
        const std::wstring pid = found.cFileName;
        if (pid.empty() || pid.find_first_not_of(L"0123456789") != std::wstring::npos)
            continue;
        const std::string line = ReadFileBytes(L"Z:\\proc\\" + pid + L"\\cmdline");
        if (line.compare(0, path.size(), path) != 0)
            continue;
        const std::string status = ReadFileBytes(L"Z:\\proc\\" + pid + L"\\status");
        const size_t at = status.find("VmHWM:");
        if (at != std::string::npos)
            peak = std::max(peak, std::strtol(status.c_str() + at + 6, nullptr, 10));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return peak;
}

int Run(const std::wstring& root, int preset, bool select, bool remove) {
    Program program(L"\"" + root + L"\"");
    if (!program.Started())
        return 2;
    MainWindow main = AwaitMain(program);
    HWND setup = main.window ? OpenSetup(program, main) : nullptr;
    if (setup == nullptr) {
        std::fprintf(stderr, "no setup window\n");
        return 2;
    }
    if (preset > 0) {
        HWND presets = FindChild(setup, L"ComboBox");
        if (!Repeat([&] { ChoosePreset(setup, presets, preset - 1); },
                    [&] { return SendMessageW(presets, CB_GETCURSEL, 0, 0) == preset - 1; }))
            return 2;
    }
    HWND start = Button(setup, texts::kStartNow);
    WaitUntil([&] { return IsWindowEnabled(start) != FALSE; });

    DialogPinger pinger(program);
    Clock::time_point pressed{};
    auto tip = [&] {
        HWND shown = program.Window(L"_WndMsgTipClass", main.window);
        return shown != nullptr && !MessageOf(shown).empty() &&
               program.Window(L"_WND_PROGRESS_DLG_") == nullptr;
    };
    // A press that reaches the window while it drains its queue is dropped;
    // the time runs from the press that closed the setup window.
    for (int attempt = 0; attempt < 5 && IsWindow(setup); ++attempt) {
        pressed = Clock::now();
        Click(start);
        WaitUntil([&] { return !IsWindow(setup); }, 3000);
    }
    // Polled often, since the time to the tip is the measurement, and
    // cheaply: a look through the program's windows is tens of requests to
    // the Wine server, which the scan shares. While the progress dialog is
    // known and there, only that is asked.
    Clock::time_point ended{};
    HWND progress = nullptr;
    for (;;) {
        if (progress == nullptr)
            progress = program.Window(L"_WND_PROGRESS_DLG_");
        if ((progress == nullptr || !IsWindow(progress)) && tip()) {
            ended = Clock::now();
            break;
        }
        if (Clock::now() - pressed > std::chrono::hours(3))
            return 3;
        Sleep(5);
    }
    pinger.Stop();
    std::printf("scan_seconds=%.3f\nrows=%d\nlongest_ping_ms=%.1f\npings=%d\nlate_pings=%d\n",
                Seconds(ended - pressed), RowCount(main.list), pinger.longestMs, pinger.pings,
                pinger.late);
    std::printf("late_at=%s\npeak_kib=%ld\n", pinger.lateAt.c_str(), PeakKib());
    std::fflush(stdout);

    // Nothing listed: there is nothing to tick (the corpora hold no similar
    // names, so the first choices find no groups in them).
    if (RowCount(main.list) == 0)
        select = remove = false;
    if (select || remove) {
        if (HWND shown = program.Window(L"_WndMsgTipClass", main.window))
            PostMessageW(shown, WM_CLOSE, 0, 0);
        WaitUntil([&] { return program.Window(L"_WndMsgTipClass", main.window) == nullptr; });
        Repeat([&] { SetForegroundWindow(main.window); },
               [&] { return GetForegroundWindow() == main.window; });
        const int last = RowCount(main.list) - 1;
        const Clock::time_point typed = Clock::now();
        Type(VK_CONTROL, 'B');
        // The rule runs on the program's own thread, which answers the
        // reading only once it is done.
        if (!WaitUntil([&] { return StateOf(main.list, last) == 2; }, 3600000))
            return 4;
        std::printf("select_seconds=%.3f\n", Seconds(Clock::now() - typed));
        std::fflush(stdout);
    }
    if (remove) {
        HWND permanent = Button(main.pane, texts::kDeletePermanently);
        Repeat([&] { Click(permanent); }, [&] { return IsChecked(permanent); });
        HWND deleteTicked = ControlAfter(main.pane, texts::kRemovalSection, 3);
        WaitUntil([&] { return IsWindowEnabled(deleteTicked) != FALSE; });
        // The ticked items are verified first, behind a progress dialog, for
        // as long as that takes; the question comes after.
        HWND question = nullptr;
        Repeat([&] { PressImageButton(deleteTicked); },
               [&] {
                   return program.Window(L"_WND_PROGRESS_DLG_") != nullptr ||
                          (question = AwaitBox(program, main.window, 0)) != nullptr;
               });
        if (question == nullptr)
            question = AwaitBox(program, main.window, 3 * 3600 * 1000);
        HWND yes = question ? Button(question, L"Yes") : nullptr;
        if (yes == nullptr)
            return 5;
        Clock::time_point answered{};
        HWND report = nullptr;
        for (int attempt = 0; attempt < 5 && report == nullptr; ++attempt) {
            answered = Clock::now();
            Click(yes);
            WaitUntil([&] { return !IsWindow(question) || !IsWindowVisible(question); }, 3000);
            if (!IsWindow(question) || !IsWindowVisible(question))
                break;
        }
        for (;;) {
            report = AwaitBox(program, main.window, 0);
            if (report != nullptr && report != question && !MessageOf(report).empty())
                break;
            if (Clock::now() - answered > std::chrono::hours(3))
                return 6;
            Sleep(5);
        }
        const double seconds = Seconds(Clock::now() - answered);
        std::string text;
        for (wchar_t c : MessageOf(report))
            text += c == L'\r' || c == L'\n' ? ' ' : static_cast<char>(c < 128 ? c : '?');
        std::printf("remove_seconds=%.3f\nreport=%s\n", seconds, text.c_str());
        std::fflush(stdout);
        AnswerBox(report, L"OK");
    }
    CloseAndExpectExitCode(program, main.window);
    return 0;
}

}  // namespace
}  // namespace cs::driver

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: cs_bench_driver ROOT [--preset N] [--select] [--remove]\n");
        return 2;
    }
    int preset = 0;
    bool select = false;
    bool remove = false;
    for (int i = 2; i < argc; ++i) {
        const std::wstring a = argv[i];
        if (a == L"--preset" && i + 1 < argc)
            preset = _wtoi(argv[++i]);
        else if (a == L"--select")
            select = true;
        else if (a == L"--remove")
            remove = true;
    }
    return cs::driver::Run(argv[1], preset, select, remove);
}
