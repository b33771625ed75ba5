#include "session.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <random>

#include "app/texts.h"
#include "engine/scan.h"
#include "platform/text.h"
#include "results/memory_rows.h"
#include "results/result_list.h"

namespace cs::driver {

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

std::string ReadFileBytes(const std::wstring& path) {
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void RemoveTree(const std::wstring& root) {
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((root + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring path = root + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(root.c_str());
}

std::wstring MakeTree(const std::wstring& tag) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring root =
        std::wstring(temp) + L"cs-driver-" + tag + L"-" + std::to_wstring(GetCurrentProcessId());
    RemoveTree(root);
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

namespace {

BOOL CALLBACK CollectShown(HWND window, LPARAM parameter) {
    if (IsWindowVisible(window))
        reinterpret_cast<std::vector<HWND>*>(parameter)->push_back(window);
    return TRUE;
}

// Every visible window on the screen (top-level ones and their children)
// that belongs to another process: what a capture shows.
std::vector<HWND> OthersOnScreen() {
    std::vector<HWND> shown;
    EnumWindows(CollectShown, reinterpret_cast<LPARAM>(&shown));
    std::vector<HWND> all;
    for (HWND window : shown) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        if (pid == GetCurrentProcessId())
            continue;
        all.push_back(window);
        EnumChildWindows(window, CollectShown, reinterpret_cast<LPARAM>(&all));
    }
    return all;
}

}  // namespace

// A window paints only once its thread's queue is empty (WM_PAINT comes
// last), so what was asked of it before has shown once each of its threads
// has answered a sent message and it has no region left to paint.
void WaitForPaintsOnScreen() {
    WaitUntil(
        [] {
            for (HWND window : OthersOnScreen()) {
                if (!SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_BLOCK | SMTO_ABORTIFHUNG, 5000,
                                         nullptr) &&
                    IsWindow(window))
                    return false;
                if (GetUpdateRect(window, nullptr, FALSE))
                    return false;
            }
            return true;
        },
        10000);
}

void Photograph(const wchar_t* name) {
    wchar_t folder[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"CS_SCREENSHOTS", folder, MAX_PATH) == 0)
        return;
    WaitForPaintsOnScreen();
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

void ClickAt(POINT point, Mouse button, int times) {
    SetCursorPos(point.x, point.y);
    std::vector<INPUT> clicks;
    for (int i = 0; i < times; ++i) {
        for (bool up : {false, true}) {
            INPUT input{};
            input.type = INPUT_MOUSE;
            if (button == Mouse::Left)
                input.mi.dwFlags = up ? MOUSEEVENTF_LEFTUP : MOUSEEVENTF_LEFTDOWN;
            else
                input.mi.dwFlags = up ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_RIGHTDOWN;
            clicks.push_back(input);
        }
    }
    SendInput(static_cast<UINT>(clicks.size()), clicks.data(), sizeof(INPUT));
}

void Click(HWND button) {
    PostMessageW(button, BM_CLICK, 0, 0);
}

HWND Button(HWND window, const wchar_t* text) {
    return FindChild(window, L"Button", text);
}

DialogPinger::DialogPinger(const Program& program) : program_(program) {
    thread_ = std::thread([this] { Run(); });
}

void DialogPinger::Stop() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
}

void DialogPinger::Run() {
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    auto now = [&] {
        LARGE_INTEGER counter{};
        QueryPerformanceCounter(&counter);
        return static_cast<double>(counter.QuadPart) * 1000.0 /
               static_cast<double>(frequency.QuadPart);
    };
    // Looked for again only once it is gone: a look through the program's
    // windows is tens of requests to the Wine server, which the program
    // under measurement shares.
    HWND dialog = nullptr;
    while (!stop_) {
        const double next = now() + 100;
        if (dialog == nullptr || !IsWindow(dialog))
            dialog = program_.Window(L"_WND_PROGRESS_DLG_");
        if (dialog != nullptr) {
            const double sent = now();
            DWORD_PTR result = 0;
            // Far longer than late: the time it really took is the measure.
            SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 20000, &result);
            const double ms = now() - sent;
            ++pings;
            longestMs = ms > longestMs ? ms : longestMs;
            if (ms > kLateMs) {
                ++late;
                char at[64];
                std::snprintf(at, sizeof at, "%s%.1f:%.0f", lateAt.empty() ? "" : " ",
                              static_cast<double>(GetTickCount64() - started_) / 1000, ms);
                lateAt += at;
            }
        }
        const double left = next - now();
        if (left > 0)
            Sleep(static_cast<DWORD>(left));
    }
}

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
    // Again after 3 s without an effect (a dropped action shows no effect
    // at all); the last attempt waits long enough that a slow effect of any
    // of them still counts.
    for (int attempt = 0; attempt < 5; ++attempt) {
        action();
        if (WaitUntil(shows, attempt < 4 ? 3000 : 30000))
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
        setup = program.Await(texts::kSetupClass, nullptr, attempt < 4 ? 3000 : 30000);
    }
    if (setup == nullptr)
        return nullptr;
    // With a root already named (the command line, a drop) the box holds it
    // and no picker opens.
    HWND rootEdit = FindChild(setup, L"Edit");
    HWND picker = nullptr;
    WaitUntil([&] {
        return !TextOf(rootEdit).empty() || (picker = program.Window(L"#32770", setup)) != nullptr;
    });
    if (picker == nullptr)
        return TextOf(rootEdit).empty() ? nullptr : setup;
    PostMessageW(picker, WM_COMMAND, IDCANCEL, 0);
    WaitUntil([&] { return !IsWindow(picker) || !IsWindowVisible(picker); });
    return setup;
}

// Sets the root, presses "Start the scan now" and waits for the end tip.
HWND StartAndAwaitTip(const Program& program, const MainWindow& main, HWND setup,
                      const std::wstring& root, bool* ended) {
    HWND rootEdit = FindChild(setup, L"Edit");
    SendMessageW(rootEdit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(root.c_str()));
    HWND start = Button(setup, texts::kStartNow);
    WaitUntil([&] { return IsWindowEnabled(start) != FALSE; });
    if (!Repeat([&] { Click(start); }, [&] { return !IsWindow(setup); }))
        return nullptr;
    // The end of the scan shows as the progress dialog going, then the tip;
    // the tip can be gone again at once, when the window loses the focus to
    // another program just then. So the scan has ended when the dialog has
    // come and gone, or when the tip shows.
    HWND tip = nullptr;
    bool progressSeen = false;
    auto tipShown = [&] {
        tip = program.Window(L"_WndMsgTipClass", main.window);
        if (tip != nullptr && !MessageOf(tip).empty())
            return true;
        tip = nullptr;
        return false;
    };
    const bool over = WaitUntil(
        [&] {
            if (program.Window(L"_WND_PROGRESS_DLG_") != nullptr) {
                progressSeen = true;
                return false;
            }
            return tipShown() || progressSeen;
        },
        120000);
    if (over && tip == nullptr)
        WaitUntil(tipShown);
    if (ended != nullptr)
        *ended = over;
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

bool ScanWith(const Program& program, const MainWindow& main, const std::wstring& root,
              int presetIndex) {
    HWND setup = OpenSetup(program, main);
    if (setup == nullptr)
        return false;
    if (presetIndex >= 0) {
        HWND presets = FindChild(setup, L"ComboBox");
        if (presets == nullptr ||
            !Repeat([&] { ChoosePreset(setup, presets, presetIndex); },
                    [&] { return SendMessageW(presets, CB_GETCURSEL, 0, 0) == presetIndex; }))
            return false;
    }
    bool ended = false;
    StartAndAwaitTip(program, main, setup, root, &ended);
    return ended;
}

HWND AwaitBox(const Program& program, HWND owner, DWORD limit) {
    return program.Await(L"_WINDOW_MsgBoxClass", owner, limit);
}

bool AnswerBox(HWND box, const wchar_t* text) {
    HWND button = Button(box, text);
    if (button == nullptr)
        return false;
    return Repeat([&] { Click(button); }, [&] { return !IsWindow(box) || !IsWindowVisible(box); });
}

namespace {

void ReadKey(HKEY key, RegistryKeyGuard::Key& into) {
    DWORD subkeys = 0;
    DWORD longestSubkey = 0;
    DWORD values = 0;
    DWORD longestName = 0;
    DWORD longestData = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, &longestSubkey, nullptr,
                         &values, &longestName, &longestData, nullptr, nullptr) != ERROR_SUCCESS)
        return;
    for (DWORD index = 0; index < values; ++index) {
        RegistryKeyGuard::Value value;
        std::wstring name(longestName + 1, L'\0');
        DWORD nameLength = longestName + 1;
        value.data.resize(longestData);
        DWORD dataSize = longestData;
        if (RegEnumValueW(key, index, name.data(), &nameLength, nullptr, &value.type,
                          value.data.data(), &dataSize) != ERROR_SUCCESS)
            continue;
        name.resize(nameLength);
        value.name = name;
        value.data.resize(dataSize);
        into.values.push_back(std::move(value));
    }
    for (DWORD index = 0; index < subkeys; ++index) {
        std::wstring name(longestSubkey + 1, L'\0');
        DWORD nameLength = longestSubkey + 1;
        if (RegEnumKeyExW(key, index, name.data(), &nameLength, nullptr, nullptr, nullptr,
                          nullptr) != ERROR_SUCCESS)
            continue;
        name.resize(nameLength);
        HKEY opened = nullptr;
        if (RegOpenKeyExW(key, name.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
            continue;
        RegistryKeyGuard::Key subkey;
        subkey.name = name;
        ReadKey(opened, subkey);
        RegCloseKey(opened);
        into.subkeys.push_back(std::move(subkey));
    }
}

void WriteKey(HKEY parent, const std::wstring& path, const RegistryKeyGuard::Key& key) {
    HKEY created = nullptr;
    if (RegCreateKeyExW(parent, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created,
                        nullptr) != ERROR_SUCCESS)
        return;
    for (const RegistryKeyGuard::Value& value : key.values)
        RegSetValueExW(created, value.name.c_str(), 0, value.type, value.data.data(),
                       static_cast<DWORD>(value.data.size()));
    for (const RegistryKeyGuard::Key& subkey : key.subkeys)
        WriteKey(created, subkey.name, subkey);
    RegCloseKey(created);
}

}  // namespace

RegistryKeyGuard::RegistryKeyGuard(HKEY root, std::wstring path)
    : root_(root), path_(std::move(path)) {
    HKEY opened = nullptr;
    existed_ = RegOpenKeyExW(root_, path_.c_str(), 0, KEY_READ, &opened) == ERROR_SUCCESS;
    if (existed_) {
        ReadKey(opened, saved_);
        RegCloseKey(opened);
    }
}

RegistryKeyGuard::~RegistryKeyGuard() {
    RegDeleteTreeW(root_, path_.c_str());
    RegDeleteKeyW(root_, path_.c_str());
    if (existed_)
        WriteKey(root_, path_, saved_);
}

bool RunUnix(const std::string& command, std::string* output, DWORD limit) {
    // Wine gives no handle to wait on for a Unix process: the shell leaves
    // a mark when the command has ended.
    static int runs = 0;
    const std::string file =
        "/tmp/cs-driver-unix-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++runs);
    std::string script = "(" + command + ") > " + file + " 2>/dev/null; : > " + file + ".done";
    for (size_t at = 0; (at = script.find('"', at)) != std::string::npos; at += 2)
        script.insert(at, 1, '\\');
    std::wstring line = L"Z:\\bin\\sh -c \"" + std::wstring(script.begin(), script.end()) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return false;
    if (process.hThread != nullptr)
        CloseHandle(process.hThread);
    if (process.hProcess != nullptr)
        CloseHandle(process.hProcess);
    std::wstring windowsFile = L"Z:" + std::wstring(file.begin(), file.end());
    for (wchar_t& c : windowsFile)
        c = c == L'/' ? L'\\' : c;
    const std::wstring mark = windowsFile + L".done";
    const bool ended = WaitUntil([&] { return Exists(mark); }, limit);
    if (output != nullptr)
        *output = ReadFileBytes(windowsFile);
    DeleteFileW(windowsFile.c_str());
    DeleteFileW(mark.c_str());
    return ended;
}

}  // namespace cs::driver
