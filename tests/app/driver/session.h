// The driver's side of a session with clonesifter.exe: starting it,
// finding its windows, pressing and typing as a user would, making trees to
// scan and the rows the engine gives for them. Shared by every driver test;
// each test starts its own program and, when it changes the disk, its own
// tree.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "engine/options.h"
#include "remote.h"

namespace cs::driver {

// The program's path as Windows names it.
std::wstring ProgramPath();
void WriteFile(const std::wstring& path, const std::string& bytes);
std::string RandomBytes(unsigned seed, size_t size);
std::string ReadFileBytes(const std::wstring& path);
bool Exists(const std::wstring& path);

// A fresh tree below the temporary folder, named after `tag`: three copies
// of one file under three names, two of another, a look-alike of the same
// size, two empty files and two folders with similar names, so that every
// section of the list has something.
std::wstring MakeTree(const std::wstring& tag);
void RemoveTree(const std::wstring& root);

// The rows the program must show: the engine's scan and the list rebuild,
// with a title row before each section where the list has no groups.
std::vector<RemoteRow> ExpectedRows(const std::wstring& root, const engine::SetupChoices& choices,
                                    bool groups);

// Until the windows of other processes on the screen have nothing left to
// paint (bounded at 10 s: a window that keeps animating is taken as it is).
void WaitForPaintsOnScreen();
// A GDI capture of the screen as a 24-bit BMP, when CS_SCREENSHOTS names a
// folder, once the windows have painted.
void Photograph(const wchar_t* name);

class Program {
public:
    explicit Program(const std::wstring& commandLineTail) {
        std::wstring line = L"\"" + ProgramPath() + L"\" " + commandLineTail;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        started_ = CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                  nullptr, &startup, &info_) != FALSE;
    }
    ~Program() {
        if (!started_)
            return;
        if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(info_.hProcess, 99);
            WaitForSingleObject(info_.hProcess, 10000);
        }
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
    }
    bool Started() const { return started_; }
    DWORD Pid() const { return info_.dwProcessId; }
    HWND Window(const wchar_t* className, HWND owner = nullptr) const {
        return FindProcessWindow(info_.dwProcessId, className, owner);
    }
    // Waits for a visible window of the class and returns it.
    HWND Await(const wchar_t* className, HWND owner = nullptr, DWORD limit = 30000) const {
        HWND found = nullptr;
        WaitUntil([&] { return (found = Window(className, owner)) != nullptr; }, limit);
        return found;
    }
    bool Ended(DWORD limit) const { return WaitForSingleObject(info_.hProcess, limit) == 0; }
    DWORD ExitCode() const {
        DWORD code = 0;
        GetExitCodeProcess(info_.hProcess, &code);
        return code;
    }

private:
    PROCESS_INFORMATION info_{};
    bool started_ = false;
};

// Sends WM_NULL to the program's progress dialog every 100 ms, from a
// thread of its own, whenever the dialog shows, until stopped, and times
// each answer: what a user meets as a dialog that does not respond.
class DialogPinger {
public:
    explicit DialogPinger(const Program& program);
    ~DialogPinger() { Stop(); }
    DialogPinger(const DialogPinger&) = delete;
    DialogPinger& operator=(const DialogPinger&) = delete;
    void Stop();

    static constexpr double kLateMs = 200;
    double longestMs = 0;
    int pings = 0;
    int late = 0;
    // When each late answer came (seconds after the start) and its time (ms).
    std::string lateAt;

private:
    void Run();
    const Program& program_;
    const ULONGLONG started_ = GetTickCount64();
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// The text of the tip or box `window` shows.
std::wstring MessageOf(HWND window);
// The control after a labelled one in creation order, that is with the next
// id (an image button has no text of its own to find it by).
HWND ControlAfter(HWND parent, const wchar_t* labelText, int steps);
void PressImageButton(HWND button);
// Real mouse clicks at a screen point: `times` presses of the left button
// (2 for a double click), or one of the right button.
enum class Mouse { Left, Right };
void ClickAt(POINT point, Mouse button = Mouse::Left, int times = 1);
void Click(HWND button);
HWND Button(HWND window, const wchar_t* text);

struct MainWindow {
    HWND window = nullptr;
    HWND pane = nullptr;
    HWND list = nullptr;
    HWND startScan = nullptr;
};

MainWindow AwaitMain(const Program& program);
// Repeats a user action until its effect shows: an action that reaches the
// program while it drains its queue (a dialog or box just closed) is
// dropped by the toolkit's drain, as a hurried click would be.
bool Repeat(const std::function<void()>& action, const std::function<bool()>& shows);
void ChoosePreset(HWND setup, HWND presets, int index);
// Opens the setup window through "Start a new scan" and cancels the folder
// picker it opens at once (none opens when the program was given a root).
HWND OpenSetup(const Program& program, const MainWindow& main);
// Sets the root, presses "Start the scan now" and waits for the end of the
// scan (`ended`, when given) and its tip (null when it did not show).
HWND StartAndAwaitTip(const Program& program, const MainWindow& main, HWND setup,
                      const std::wstring& root, bool* ended = nullptr);
void ExpectRowsEqual(const std::vector<RemoteRow>& shown, const std::vector<RemoteRow>& expected);
void CloseAndExpectExitCode(Program& program, HWND window);

// Scans `root` through the setup window with preset row `presetIndex`
// (0-based; the start-up criteria when -1) and waits for the scan's end;
// whether it ended.
bool ScanWith(const Program& program, const MainWindow& main, const std::wstring& root,
              int presetIndex);
// The message box (not a tip) of the program owned by `owner`, once shown.
HWND AwaitBox(const Program& program, HWND owner, DWORD limit = 30000);
// Presses the box's button with `text` and waits until the box is gone.
bool AnswerBox(HWND box, const wchar_t* text);

// Puts a registry key back as it was when the guard was made, when the
// guard ends (also at a failed assertion): its values with their types, its
// subkeys and theirs, or its absence. The test prefix is shared by every
// run, so what a test sets for itself must not outlive it.
class RegistryKeyGuard {
public:
    RegistryKeyGuard(HKEY root, std::wstring path);
    ~RegistryKeyGuard();
    RegistryKeyGuard(const RegistryKeyGuard&) = delete;
    RegistryKeyGuard& operator=(const RegistryKeyGuard&) = delete;

    struct Value {
        std::wstring name;
        DWORD type = REG_NONE;
        std::vector<BYTE> data;
    };
    struct Key {
        std::wstring name;
        std::vector<Value> values;
        std::vector<Key> subkeys;
    };

private:
    HKEY root_;
    std::wstring path_;
    bool existed_ = false;
    Key saved_;
};

// Runs `command` with the Linux shell, as a program beside Wine would (X
// tools: xclip, xdotool), and waits for it; its output goes to `output`
// when given. Wine starts a Unix program without the Windows handles, so
// the shell redirects into a file read back through drive Z:.
bool RunUnix(const std::string& command, std::string* output = nullptr, DWORD limit = 30000);

}  // namespace cs::driver
