// Uses clonesifter.exe as a user would, from another process under the same
// window system: starts it with a folder, waits for its windows, presses its
// buttons, types into its edits, reads its list rows and compares them with
// what the engine gives for the same folder and options. Every wait is on a
// condition; the limits only turn a hang into a failure. With
// CS_SCREENSHOTS set to a folder, the windows are photographed on the way.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "app/texts.h"
#include "engine/options.h"
#include "engine/scan.h"
#include "platform/text.h"
#include "remote.h"
#include "results/memory_rows.h"
#include "results/result_list.h"

namespace cs::driver {
namespace {

namespace texts = app::texts;

std::wstring ProgramPath() {
    std::wstring path = L"" CS_APP_EXE;
    if (!path.empty() && path[0] == L'/') {
        // Built on Linux, run under Wine: the path is a Unix one.
        using ToDos = wchar_t*(CDECL*)(const char*);
        auto toDos = reinterpret_cast<ToDos>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
        if (toDos != nullptr) {
            if (wchar_t* dos = toDos(CS_APP_EXE)) {
                path = dos;
                HeapFree(GetProcessHeap(), 0, dos);
            }
        }
    }
    return path;
}

void WriteFile(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << "cannot write the test tree";
    DWORD written = 0;
    if (!bytes.empty())
        ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

std::string RandomBytes(unsigned seed, size_t size) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random() & 0xFF);
    return bytes;
}

// Three copies of one file under three names, two of another, a look-alike
// of the same size, two empty files and two folders with similar names:
// every section of the list has something.
std::wstring MakeTree() {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring root = std::wstring(temp) + L"cs-driver-" + std::to_wstring(GetCurrentProcessId());
    for (const wchar_t* folder :
         {L"", L"\\Photos", L"\\Backup", L"\\Backup\\Photos (2)", L"\\Documents"})
        CreateDirectoryW((root + folder).c_str(), nullptr);
    const std::string beach = RandomBytes(1, 30000);
    WriteFile(root + L"\\Photos\\beach.jpg", beach);
    WriteFile(root + L"\\Photos\\beach - copy.jpg", beach);
    WriteFile(root + L"\\Backup\\Photos (2)\\beach (2).jpg", beach);
    std::string lookalike = beach;
    lookalike[15000] ^= 0x5A;
    WriteFile(root + L"\\Photos\\lookalike.jpg", lookalike);
    const std::string report = "Quarterly report\r\n";
    WriteFile(root + L"\\Documents\\report.txt", report);
    WriteFile(root + L"\\Backup\\report.txt", report);
    WriteFile(root + L"\\Documents\\notes.txt", "Other notes\r\n");
    WriteFile(root + L"\\Documents\\empty.txt", "");
    WriteFile(root + L"\\Backup\\empty.log", "");
    return root;
}

// The rows the program must show: the engine's scan and the list rebuild,
// with a title row before each section where the list has no groups.
std::vector<RemoteRow> ExpectedRows(const std::wstring& root, const engine::SetupChoices& choices,
                                    bool groups) {
    engine::ScanOptions options;
    options.criteria = engine::BuildCriteriaFlags(choices);
    options.extensionFilter = engine::BuildExtensionFilter(choices);
    options.rootPath = platform::FromNative(root);
    engine::ScanResults found;
    std::atomic<uint8_t> cancel{0};
    engine::RunScan(options, found, cancel);
    results::MemoryRows rows;
    results::RebuildResultList(rows, found, options.criteria);
    std::vector<RemoteRow> expected;
    int group = 0;
    for (int32_t r = 0; r < rows.Count(); ++r) {
        if (!groups && rows.Group(r) != group) {
            group = rows.Group(r);
            RemoteRow title;
            title.group = group;
            expected.push_back(title);
        }
        RemoteRow row;
        for (int c = 0; c < 3; ++c)
            row.texts[c] = platform::ToNative(rows.Text(r, c));
        row.stateImage = rows.StateImage(r);
        row.group = rows.Group(r);
        expected.push_back(row);
    }
    return expected;
}

// A GDI capture of the screen as a 24-bit BMP, when CS_SCREENSHOTS names a
// folder.
void Photograph(const wchar_t* name) {
    wchar_t folder[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"CS_SCREENSHOTS", folder, MAX_PATH) == 0)
        return;
    // Let the windows finish painting what they were asked to.
    Sleep(300);
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    const DWORD stride = ((width * 3 + 3) / 4) * 4;
    const DWORD size = stride * height;
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(info.bmiHeader);
    file.bfSize = file.bfOffBits + size;
    const std::wstring path = std::wstring(folder) + L"\\" + name + L".bmp";
    HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (out != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        ::WriteFile(out, &file, sizeof(file), &written, nullptr);
        ::WriteFile(out, &info.bmiHeader, sizeof(info.bmiHeader), &written, nullptr);
        ::WriteFile(out, bits, size, &written, nullptr);
        CloseHandle(out);
    }
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

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

// The text of the tip or box `window` shows.
std::wstring MessageOf(HWND window) {
    for (const wchar_t* kind : {L"Static", L"Edit"}) {
        for (HWND label : Children(window, kind)) {
            const std::wstring text = TextOf(label);
            if (text.size() > 20)
                return text;
        }
    }
    return {};
}

// The control after a labelled one in creation order, that is with the next
// id (an image button has no text of its own to find it by).
HWND ControlAfter(HWND parent, const wchar_t* labelText, int steps) {
    HWND label = FindChild(parent, L"Static", labelText);
    if (label == nullptr)
        return nullptr;
    const int id = GetDlgCtrlID(label) + steps;
    for (HWND child : Children(parent, L"Static"))
        if (GetDlgCtrlID(child) == id)
            return child;
    return nullptr;
}

void PressImageButton(HWND button) {
    PostMessageW(GetParent(button), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), STN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
}

void Click(HWND button) {
    PostMessageW(button, BM_CLICK, 0, 0);
}

HWND Button(HWND window, const wchar_t* text) {
    return FindChild(window, L"Button", text);
}

struct MainWindow {
    HWND window = nullptr;
    HWND pane = nullptr;
    HWND list = nullptr;
    HWND startScan = nullptr;
};

MainWindow AwaitMain(const Program& program) {
    MainWindow main;
    main.window = program.Await(texts::kMainClass);
    if (main.window == nullptr)
        return main;
    WaitUntil([&] {
        main.list = FindChild(main.window, WC_LISTVIEWW);
        HWND label = FindChild(main.window, L"Static", texts::kScanSection);
        main.pane = label != nullptr ? GetParent(label) : nullptr;
        main.startScan = main.pane ? ControlAfter(main.pane, texts::kScanSection, 1) : nullptr;
        return main.list != nullptr && main.startScan != nullptr;
    });
    return main;
}

// Repeats a user action until its effect shows: an action that reaches the
// program while it drains its queue (a dialog or box just closed) is
// dropped by the toolkit's drain, as a hurried click would be.
bool Repeat(const std::function<void()>& action, const std::function<bool()>& shows) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        action();
        if (WaitUntil(shows, 3000))
            return true;
    }
    return false;
}

void ChoosePreset(HWND setup, HWND presets, int index) {
    SendMessageW(presets, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    PostMessageW(setup, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(presets), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(presets));
}

// Opens the setup window through "Start a new scan" and cancels the folder
// picker it opens at once.
HWND OpenSetup(const Program& program, const MainWindow& main) {
    // A press that arrives while the program drains its queue (closing a
    // tip or a dialog) is dropped, as a click at that moment would be; the
    // user clicks again.
    HWND setup = nullptr;
    for (int attempt = 0; attempt < 5 && setup == nullptr; ++attempt) {
        PressImageButton(main.startScan);
        setup = program.Await(texts::kSetupClass, nullptr, 3000);
    }
    if (setup == nullptr)
        return nullptr;
    HWND picker = program.Await(L"#32770", setup);
    if (picker == nullptr)
        return nullptr;
    PostMessageW(picker, WM_COMMAND, IDCANCEL, 0);
    WaitUntil([&] { return !IsWindow(picker) || !IsWindowVisible(picker); });
    return setup;
}

// Sets the root, presses "Start the scan now" and waits for the end tip.
HWND StartAndAwaitTip(const Program& program, const MainWindow& main, HWND setup,
                      const std::wstring& root) {
    HWND rootEdit = FindChild(setup, L"Edit");
    SendMessageW(rootEdit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(root.c_str()));
    HWND start = Button(setup, texts::kStartNow);
    WaitUntil([&] { return IsWindowEnabled(start) != FALSE; });
    if (!Repeat([&] { Click(start); }, [&] { return !IsWindow(setup); }))
        return nullptr;
    HWND tip = nullptr;
    WaitUntil(
        [&] {
            tip = program.Window(L"_WndMsgTipClass", main.window);
            return tip != nullptr && !MessageOf(tip).empty() &&
                   program.Window(L"_WND_PROGRESS_DLG_") == nullptr;
        },
        120000);
    return tip;
}

void ExpectRowsEqual(const std::vector<RemoteRow>& shown, const std::vector<RemoteRow>& expected) {
    ASSERT_EQ(shown.size(), expected.size());
    for (size_t r = 0; r < shown.size(); ++r) {
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(shown[r].texts[c], expected[r].texts[c]) << "row " << r << " column " << c;
        EXPECT_EQ(shown[r].stateImage, expected[r].stateImage) << "row " << r;
        EXPECT_EQ(shown[r].group, expected[r].group) << "row " << r;
    }
}

void CloseAndExpectExitCode(Program& program, HWND window) {
    PostMessageW(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(program.Ended(60000)) << "the program did not end after its window closed";
    EXPECT_EQ(program.ExitCode(), 1u);
}

class DesktopProgram : public ::testing::Test {
protected:
    // CS_DEMO_ROOT names a folder to scan instead of the one made here.
    static void SetUpTestSuite() {
        wchar_t demo[MAX_PATH] = {};
        if (GetEnvironmentVariableW(L"CS_DEMO_ROOT", demo, MAX_PATH) > 0)
            tree_ = new std::wstring(demo);
        else
            tree_ = new std::wstring(MakeTree());
    }
    static void TearDownTestSuite() {
        delete tree_;
        tree_ = nullptr;
    }
    static const std::wstring& Tree() { return *tree_; }

private:
    static std::wstring* tree_;
};

std::wstring* DesktopProgram::tree_ = nullptr;

TEST_F(DesktopProgram, StartsWithItsWindowTheStartTipAndDisabledButtons) {
    // A quoted folder on the command line, as the shell passes one.
    Program program(L"\"" + Tree() + L"\"");
    ASSERT_TRUE(program.Started());
    MainWindow main = AwaitMain(program);
    ASSERT_NE(main.window, nullptr) << "no visible CLONESIFTER_WND";
    ASSERT_NE(main.list, nullptr);

    HWND tip = program.Await(L"_WndMsgTipClass", main.window);
    ASSERT_NE(tip, nullptr) << "no start tip";
    EXPECT_EQ(MessageOf(tip), texts::kStartTip);

    // The screen here is 1600 x 1200: the wide rule.
    RECT client{};
    GetClientRect(main.window, &client);
    EXPECT_EQ(client.right, 1300);
    EXPECT_EQ(client.bottom, 900);
    HWND openLocation = ControlAfter(main.pane, texts::kAnalyzeSection, 3);
    HWND deleteTicked = ControlAfter(main.pane, texts::kRemovalSection, 3);
    ASSERT_NE(openLocation, nullptr);
    ASSERT_NE(deleteTicked, nullptr);
    EXPECT_FALSE(IsWindowEnabled(openLocation));
    EXPECT_FALSE(IsWindowEnabled(deleteTicked));
    EXPECT_TRUE(IsWindowEnabled(main.startScan));

    // Growing the window by 100 widens the path column only, by 100.
    const int pathBefore = static_cast<int>(SendMessageW(main.list, LVM_GETCOLUMNWIDTH, 0, 0));
    const int nameBefore = static_cast<int>(SendMessageW(main.list, LVM_GETCOLUMNWIDTH, 1, 0));
    RECT frame{};
    GetWindowRect(main.window, &frame);
    auto grow = [&](int by) {
        SetWindowPos(main.window, nullptr, 0, 0, frame.right - frame.left + by,
                     frame.bottom - frame.top, SWP_NOMOVE | SWP_NOZORDER);
    };
    grow(100);
    ASSERT_TRUE(WaitUntil([&] {
        return SendMessageW(main.list, LVM_GETCOLUMNWIDTH, 0, 0) != pathBefore;
    })) << "no refit after a width change";
    const int pathAtFirstRefit =
        static_cast<int>(SendMessageW(main.list, LVM_GETCOLUMNWIDTH, 0, 0));
    grow(200);
    EXPECT_TRUE(WaitUntil([&] {
        return SendMessageW(main.list, LVM_GETCOLUMNWIDTH, 0, 0) == pathAtFirstRefit + 100;
    }));
    EXPECT_EQ(SendMessageW(main.list, LVM_GETCOLUMNWIDTH, 1, 0), nameBefore);
    // The pane keeps its width and moves with the right edge.
    RECT pane{};
    GetWindowRect(main.pane, &pane);
    GetClientRect(main.window, &client);
    EXPECT_EQ(pane.right - pane.left, 180);
    EXPECT_EQ(client.right, 1500);

    CloseAndExpectExitCode(program, main.window);
}

TEST_F(DesktopProgram, ClickInTheListClosesTheStartTip) {
    Program program(L"");
    ASSERT_TRUE(program.Started());
    MainWindow main = AwaitMain(program);
    ASSERT_NE(main.window, nullptr);
    HWND tip = program.Await(L"_WndMsgTipClass", main.window);
    ASSERT_NE(tip, nullptr);
    RECT list{};
    GetWindowRect(main.list, &list);
    SetForegroundWindow(main.window);
    SetCursorPos((list.left + list.right) / 2, (list.top + list.bottom) / 2);
    INPUT clicks[2] = {};
    clicks[0].type = clicks[1].type = INPUT_MOUSE;
    clicks[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    clicks[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, clicks, sizeof(INPUT));
    EXPECT_TRUE(WaitUntil([&] {
        return program.Window(L"_WndMsgTipClass", main.window) == nullptr;
    })) << "the tip stayed after a click in the list";
    CloseAndExpectExitCode(program, main.window);
}

TEST_F(DesktopProgram, SetupWindowRulesThenAScanShowsTheEnginesRows) {
    Program program(Tree());
    ASSERT_TRUE(program.Started());
    MainWindow main = AwaitMain(program);
    ASSERT_NE(main.window, nullptr);
    HWND setup = OpenSetup(program, main);
    ASSERT_NE(setup, nullptr) << "no setup window, or no folder picker in it";
    Photograph(L"setup");

    HWND start = Button(setup, texts::kStartNow);
    HWND sameSize = Button(setup, texts::kSameSize);
    HWND similarNames = Button(setup, texts::kSimilarNames);
    HWND extension = Button(setup, texts::kSameExtension);
    HWND noContents = Button(setup, texts::kNoContents);
    HWND allFiles = Button(setup, texts::kAllFiles);
    HWND presets = FindChild(setup, L"ComboBox");
    std::vector<HWND> edits = Children(setup, L"Edit");
    ASSERT_EQ(edits.size(), 2u);
    HWND extensions = edits[1];
    ASSERT_TRUE(start && sameSize && similarNames && extension && noContents && allFiles &&
                presets);

    // Cancelling the picker leaves the start button disabled; the start-up
    // criteria show as preset row 1.
    EXPECT_FALSE(IsWindowEnabled(start));
    EXPECT_TRUE(IsChecked(Button(setup, texts::kRecursive)));
    EXPECT_TRUE(IsChecked(sameSize));
    EXPECT_TRUE(IsChecked(similarNames));
    EXPECT_TRUE(IsChecked(noContents));
    EXPECT_TRUE(IsChecked(allFiles));
    EXPECT_EQ(SendMessageW(presets, CB_GETCURSEL, 0, 0), 0);

    // Preset row 9: size off, similar names, no contents.
    EXPECT_TRUE(
        Repeat([&] { ChoosePreset(setup, presets, 8); }, [&] { return !IsChecked(sameSize); }));
    EXPECT_TRUE(IsChecked(similarNames));
    EXPECT_TRUE(IsChecked(noContents));
    // Size on again and the extension radio: row 6.
    Click(sameSize);
    ASSERT_TRUE(WaitUntil([&] { return IsChecked(sameSize); }));
    EXPECT_TRUE(Repeat([&] { Click(extension); },
                       [&] { return SendMessageW(presets, CB_GETCURSEL, 0, 0) == 5; }))
        << "row " << SendMessageW(presets, CB_GETCURSEL, 0, 0);

    // An extension typed unticks "All files"; cleared, it ticks it again.
    EXPECT_TRUE(
        Repeat([&] { SendMessageW(extensions, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"txt")); },
               [&] { return !IsChecked(allFiles); }));
    EXPECT_TRUE(
        Repeat([&] { SendMessageW(extensions, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"")); },
               [&] { return IsChecked(allFiles); }));

    // A folder that does not exist keeps the window open with the message.
    const std::wstring missing = Tree() + L"\\no such folder";
    SendMessageW(edits[0], WM_SETTEXT, 0, reinterpret_cast<LPARAM>(missing.c_str()));
    ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(start) != FALSE; }));
    HWND box = nullptr;
    Repeat([&] { Click(start); },
           [&] { return (box = program.Window(L"_WINDOW_MsgBoxClass", setup)) != nullptr; });
    ASSERT_NE(box, nullptr) << "no message for an invalid root";
    EXPECT_EQ(MessageOf(box), texts::kInvalidRoot);
    Click(FindChild(box, L"Button"));
    EXPECT_TRUE(WaitUntil([&] { return program.Window(L"_WINDOW_MsgBoxClass") == nullptr; }));
    EXPECT_TRUE(IsWindowVisible(setup));

    // Same size and exact contents, similar folder names and zero-byte files.
    HWND exact = Button(setup, texts::kExactContents);
    ASSERT_TRUE(Repeat([&] { ChoosePreset(setup, presets, 3); }, [&] { return IsChecked(exact); }));
    Click(Button(setup, texts::kSimilarFolders));
    Click(Button(setup, texts::kListZeroByte));
    ASSERT_TRUE(WaitUntil([&] {
        return IsChecked(Button(setup, texts::kSimilarFolders)) &&
               IsChecked(Button(setup, texts::kListZeroByte));
    }));

    // A trailing backslash is dropped from the root.
    HWND tip = StartAndAwaitTip(program, main, setup, Tree() + L"\\");
    ASSERT_NE(tip, nullptr) << "no end-of-scan tip";
    EXPECT_EQ(MessageOf(tip), texts::kDuplicatesFound);
    Photograph(L"results");

    engine::SetupChoices choices;
    engine::ApplyPreset(4, choices);
    choices.similarFolders = true;
    choices.listZeroByte = true;
    const bool groups = SendMessageW(main.list, LVM_GETGROUPCOUNT, 0, 0) > 0;
    const std::vector<RemoteRow> expected = ExpectedRows(Tree(), choices, groups);
    const std::vector<RemoteRow> shown = ReadRows(main.list);
    // Folders, the beach copies, the reports and the empty files.
    ASSERT_GE(expected.size(), 9u);
    ExpectRowsEqual(shown, expected);

    CloseAndExpectExitCode(program, main.window);
}

TEST_F(DesktopProgram, CancelEarlyThenScanAgainThenCloseDuringAScan) {
    Program program(L"");
    ASSERT_TRUE(program.Started());
    MainWindow main = AwaitMain(program);
    ASSERT_NE(main.window, nullptr);

    // The whole drive, typed with its backslash: a scan too large to end by
    // itself before the cancel.
    HWND setup = OpenSetup(program, main);
    ASSERT_NE(setup, nullptr);
    SendMessageW(FindChild(setup, L"Edit"), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"Z:\\"));
    HWND start = Button(setup, texts::kStartNow);
    ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(start) != FALSE; }));
    Click(start);
    HWND progress = program.Await(L"_WND_PROGRESS_DLG_");
    ASSERT_NE(progress, nullptr) << "no progress dialog";
    const std::wstring scanning = std::wstring(texts::kScanning) + L"\r\nZ:";
    EXPECT_TRUE(WaitUntil([&] { return MessageOf(progress) == scanning; }))
        << "the progress dialog does not name the root without its backslash";
    Photograph(L"progress");
    HWND cancel = Button(progress, texts::kCancel);
    ASSERT_NE(cancel, nullptr);
    const ULONGLONG pressed = GetTickCount64();
    Click(cancel);
    HWND tip = nullptr;
    ASSERT_TRUE(WaitUntil(
        [&] {
            tip = program.Window(L"_WndMsgTipClass", main.window);
            return tip != nullptr && program.Window(L"_WND_PROGRESS_DLG_") == nullptr;
        },
        60000))
        << "no tip after cancel";
    EXPECT_LT(GetTickCount64() - pressed, 10000u) << "cancel took long";
    const std::wstring message = MessageOf(tip);
    EXPECT_TRUE(message.rfind(texts::kNoDuplicates, 0) == 0 ||
                message.rfind(texts::kDuplicatesFound, 0) == 0);
    // The rows found before the cancel stay: no row is a leftover of
    // another scan, and the tip agrees with their number.
    const std::vector<RemoteRow> kept = ReadRows(main.list);
    size_t items = 0;
    for (const RemoteRow& row : kept)
        items += row.stateImage > 0 ? 1 : 0;
    if (message.rfind(texts::kDuplicatesFound, 0) == 0) {
        EXPECT_GE(items, 2u);
    } else {
        EXPECT_LT(items, 2u);
    }

    // A second scan after the cancelled one runs to its end.
    setup = OpenSetup(program, main);
    ASSERT_NE(setup, nullptr);
    tip = StartAndAwaitTip(program, main, setup, Tree());
    ASSERT_NE(tip, nullptr);
    engine::SetupChoices choices;  // the start-up criteria, kept from before
    const bool groups = SendMessageW(main.list, LVM_GETGROUPCOUNT, 0, 0) > 0;
    ExpectRowsEqual(ReadRows(main.list), ExpectedRows(Tree(), choices, groups));

    // Closing during a scan hides the window at once; the process ends once
    // the scan has stopped.
    setup = OpenSetup(program, main);
    ASSERT_NE(setup, nullptr);
    SendMessageW(FindChild(setup, L"Edit"), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"Z:"));
    start = Button(setup, texts::kStartNow);
    ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(start) != FALSE; }));
    Click(start);
    ASSERT_NE(program.Await(L"_WND_PROGRESS_DLG_"), nullptr);
    PostMessageW(main.window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(main.window); }, 5000));
    ASSERT_TRUE(program.Ended(60000));
    EXPECT_EQ(program.ExitCode(), 1u);
}

}  // namespace
}  // namespace cs::driver
