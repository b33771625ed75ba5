// The main window's commands used as a user uses them: the selection
// accelerators and the "Select..." menu, find with F3 and Return, copy
// path, open location, the guards that keep separator rows plain, and
// "Preview selected file". Keys are typed with SendInput into the program's
// window, so the accelerator table itself is what is tested; every effect
// is read back from the program's list, the clipboard or the screen.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "app/texts.h"
#include "engine/options.h"
#include "platform/text.h"
#include "results/memory_rows.h"
#include "results/selection.h"
#include "session.h"

namespace cs::driver {
namespace {

namespace texts = app::texts;

// The program's window in front, so that typed keys reach it.
bool BringToFront(HWND window) {
    return Repeat([&] { SetForegroundWindow(window); },
                  [&] { return GetForegroundWindow() == window; });
}

// Presses `key` with the modifiers held, and lets everything go again.
void Type(std::initializer_list<WORD> modifiers, WORD key) {
    std::vector<INPUT> inputs;
    auto add = [&](WORD vk, bool up) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = vk;
        input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        inputs.push_back(input);
    };
    for (WORD modifier : modifiers)
        add(modifier, false);
    add(key, false);
    add(key, true);
    for (auto it = std::rbegin(modifiers); it != std::rend(modifiers); ++it)
        add(*it, true);
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

int Highlighted(HWND list) {
    return static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                         LVNI_SELECTED));
}

int StateOf(HWND list, int row) {
    return static_cast<int>(
        (SendMessageW(list, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK) & LVIS_STATEIMAGEMASK) >>
        12);
}

std::vector<int> States(HWND list) {
    std::vector<int> states;
    const auto count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row)
        states.push_back(StateOf(list, row));
    return states;
}

bool AllItemsTicked(HWND list) {
    for (int state : States(list))
        if (state == 1)
            return false;
    return true;
}

// The rows as the program shows them, as memory rows the rules can run on.
results::MemoryRows AsMemoryRows(const std::vector<RemoteRow>& shown) {
    results::MemoryRows rows;
    for (const RemoteRow& row : shown) {
        results::RowData data;
        data.stateImage = row.stateImage;
        data.group = row.group;
        data.separator = row.stateImage == 0;
        for (int c = 0; c < 3; ++c)
            data.texts[c] = platform::FromNative(row.texts[c]);
        rows.Append(data);
    }
    return rows;
}

std::vector<int> StatesOf(const results::MemoryRows& rows) {
    std::vector<int> states;
    for (int32_t r = 0; r < rows.Count(); ++r)
        states.push_back(rows.StateImage(r));
    return states;
}

// Sets every item row ticked or not, as clicks on each would.
void SetItems(HWND list, bool tick) {
    const std::vector<int> states = States(list);
    for (int row = 0; row < static_cast<int>(states.size()); ++row)
        if (states[row] > 0)
            TickRow(list, row, tick);
}

// What the X clipboard holds, as any Linux program of the desktop reads it.
std::wstring XClipboard() {
    std::string bytes;
    if (!RunUnix("xclip -o -selection clipboard", &bytes))
        return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()),
                                         nullptr, 0);
    std::wstring text(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(),
                        size);
    return text;
}

// A visible top-level window of any process with `className` whose title
// holds `part`; null when there is none.
HWND WindowTitled(const wchar_t* className, const std::wstring& part) {
    struct Search {
        const wchar_t* className;
        const std::wstring* part;
        HWND found;
    } search{className, &part, nullptr};
    EnumWindows(
        [](HWND window, LPARAM parameter) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(parameter);
            wchar_t name[128] = {};
            GetClassNameW(window, name, 128);
            if (!IsWindowVisible(window) || lstrcmpiW(name, s.className) != 0)
                return TRUE;
            if (TextOf(window).find(*s.part) == std::wstring::npos)
                return TRUE;
            s.found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// A path the build gave, as Windows names it (the build runs on Linux).
std::wstring DosPath(const char* path) {
    using ToDos = wchar_t*(CDECL*)(const char*);
    auto toDos = reinterpret_cast<ToDos>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
    if (path[0] != '/' || toDos == nullptr)
        return std::wstring(path, path + strlen(path));
    wchar_t* dos = toDos(path);
    if (dos == nullptr)
        return {};
    std::wstring result = dos;
    HeapFree(GetProcessHeap(), 0, dos);
    return result;
}

// Whether a process runs whose program file is named `name`.
bool ProcessRuns(const wchar_t* name) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return true;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    bool found = false;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !found;
         more = Process32NextW(snapshot, &entry))
        found = lstrcmpiW(entry.szExeFile, name) == 0;
    CloseHandle(snapshot);
    return found;
}

// Closes a window of another program and waits until it has gone.
void CloseOther(HWND window) {
    PostMessageW(window, WM_CLOSE, 0, 0);
    WaitUntil([&] { return !IsWindow(window) || !IsWindowVisible(window); });
}

// A point inside `row` of another process's list, on the screen.
// A point of the row `x` pixels from its left edge.
constexpr int kBoxX = 8;
POINT PointInRow(HWND list, int row, int x = 200) {
    // The row's rectangle, read through the other process's memory.
    DWORD pid = 0;
    GetWindowThreadProcessId(list, &pid);
    HANDLE process =
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    RECT rect{LVIR_BOUNDS, 0, 0, 0};
    if (void* remote = VirtualAllocEx(process, nullptr, sizeof(rect), MEM_COMMIT, PAGE_READWRITE)) {
        WriteProcessMemory(process, remote, &rect, sizeof(rect), nullptr);
        SendMessageW(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(remote));
        ReadProcessMemory(process, remote, &rect, sizeof(rect), nullptr);
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    }
    CloseHandle(process);
    POINT point{rect.left + x, (rect.top + rect.bottom) / 2};
    ClientToScreen(list, &point);
    return point;
}

HWND Tip(const Program& program, HWND owner) {
    return program.Window(L"_WndMsgTipClass", owner);
}

// A scan of `root` that fills all three sections: same size and exact
// contents, similar folder names, zero-byte files.
bool ScanAllSections(const Program& program, const MainWindow& main, const std::wstring& root) {
    HWND setup = OpenSetup(program, main);
    if (setup == nullptr)
        return false;
    HWND presets = FindChild(setup, L"ComboBox");
    HWND exact = Button(setup, texts::kExactContents);
    if (!Repeat([&] { ChoosePreset(setup, presets, 3); }, [&] { return IsChecked(exact); }))
        return false;
    HWND folders = Button(setup, texts::kSimilarFolders);
    HWND zeroByte = Button(setup, texts::kListZeroByte);
    Click(folders);
    Click(zeroByte);
    if (!WaitUntil([&] { return IsChecked(folders) && IsChecked(zeroByte); }))
        return false;
    bool ended = false;
    StartAndAwaitTip(program, main, setup, root, &ended);
    return ended;
}

class MainWindowCommands : public ::testing::Test {
protected:
    void SetUp() override {
        tree_ = MakeTree(L"commands");
        program_ = std::make_unique<Program>(L"\"" + tree_ + L"\"");
        ASSERT_TRUE(program_->Started());
        main_ = AwaitMain(*program_);
        ASSERT_NE(main_.window, nullptr);
        ASSERT_TRUE(ScanAllSections(*program_, main_, tree_)) << "the scan did not end";
        // The end tip goes at the first action; closing it now keeps it out
        // of the checks below.
        if (HWND tip = Tip(*program_, main_.window))
            PostMessageW(tip, WM_CLOSE, 0, 0);
        ASSERT_TRUE(WaitUntil([&] { return Tip(*program_, main_.window) == nullptr; }));
        shown_ = ReadRows(main_.list);
        ASSERT_GE(shown_.size(), 9u);
    }
    void TearDown() override {
        if (program_ && main_.window != nullptr)
            CloseAndExpectExitCode(*program_, main_.window);
        program_.reset();
        RemoveTree(tree_);
    }

    // The first item row of section `group` and the separator or title
    // row before it.
    int FirstItemOf(int group) const {
        for (size_t r = 0; r < shown_.size(); ++r)
            if (shown_[r].group == group && shown_[r].stateImage > 0)
                return static_cast<int>(r);
        return -1;
    }
    int FirstSeparator() const {
        for (size_t r = 0; r < shown_.size(); ++r)
            if (shown_[r].stateImage == 0)
                return static_cast<int>(r);
        return -1;
    }
    HWND PaneButton(const wchar_t* label, int steps) const {
        return ControlAfter(main_.pane, label, steps);
    }

    std::wstring tree_;
    std::unique_ptr<Program> program_;
    MainWindow main_;
    std::vector<RemoteRow> shown_;
};

struct Rule {
    const char* name;
    std::initializer_list<WORD> modifiers;
    WORD key;
    bool startTicked;  // the rows before the command, so that it changes some
    void (*apply)(results::MemoryRows&);
};

TEST_F(MainWindowCommands, SelectionAcceleratorsTickByTheirRules) {
    HWND deleteTicked = PaneButton(texts::kRemovalSection, 3);
    ASSERT_NE(deleteTicked, nullptr);
    EXPECT_FALSE(IsWindowEnabled(deleteTicked));
    // A file row highlighted, for the folder rules.
    const int fileRow = FirstItemOf(results::kFileGroup);
    ASSERT_GE(fileRow, 0);

    const Rule rules[] = {
        {"keep first (Ctrl+B)", {VK_CONTROL}, 'B', false,
         [](results::MemoryRows& r) { results::KeepFirst(r); }},
        {"keep last (Alt+B)", {VK_MENU}, 'B', false,
         [](results::MemoryRows& r) { results::KeepLast(r); }},
        {"keep smallest (Ctrl+L)", {VK_CONTROL}, 'L', false,
         [](results::MemoryRows& r) { results::KeepBy(r, results::KeepRule::Smallest); }},
        {"keep biggest (Alt+L)", {VK_MENU}, 'L', false,
         [](results::MemoryRows& r) { results::KeepBy(r, results::KeepRule::Biggest); }},
        {"keep oldest (Ctrl+G)", {VK_CONTROL}, 'G', false,
         [](results::MemoryRows& r) { results::KeepBy(r, results::KeepRule::Oldest); }},
        {"keep newest (Alt+G)", {VK_MENU}, 'G', false,
         [](results::MemoryRows& r) { results::KeepBy(r, results::KeepRule::Newest); }},
        {"tick all (Ctrl+A)", {VK_CONTROL}, 'A', false,
         [](results::MemoryRows& r) { results::SetAllItems(r, true); }},
        {"untick all (Ctrl+N)", {VK_CONTROL}, 'N', true,
         [](results::MemoryRows& r) { results::SetAllItems(r, false); }},
        {"tick folder (Ctrl+I)", {VK_CONTROL}, 'I', false,
         [](results::MemoryRows& r) { results::SetRowsInSelectedFolder(r, true); }},
        {"untick folder (Alt+I)", {VK_MENU}, 'I', true,
         [](results::MemoryRows& r) { results::SetRowsInSelectedFolder(r, false); }},
    };
    bool first = true;
    for (const Rule& rule : rules) {
        SCOPED_TRACE(rule.name);
        // The very first command starts from the scan's rows, all unticked,
        // so it alone enables "Delete ticked files".
        if (!first)
            SetItems(main_.list, rule.startTicked);
        ASSERT_TRUE(HighlightRow(main_.list, fileRow));
        std::vector<RemoteRow> before = ReadRows(main_.list);
        results::MemoryRows expected = AsMemoryRows(before);
        expected.SetSelectedFocused(fileRow, true);
        rule.apply(expected);
        ASSERT_NE(StatesOf(expected), States(main_.list)) << "the command would change nothing";
        ASSERT_TRUE(BringToFront(main_.window));
        Type(rule.modifiers, rule.key);
        EXPECT_TRUE(WaitUntil([&] { return States(main_.list) == StatesOf(expected); }));
        if (first) {
            EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(deleteTicked) != FALSE; }))
                << "a command that ticked rows left \"Delete ticked files\" disabled";
            first = false;
        }
    }
}

TEST_F(MainWindowCommands, TheSelectMenuOpensFromItsButtonAndRunsTheChosenRule) {
    HWND select = PaneButton(texts::kAnalyzeSection, 4);
    ASSERT_NE(select, nullptr);
    ASSERT_TRUE(HighlightRow(main_.list, FirstItemOf(results::kFileGroup)));
    ASSERT_TRUE(BringToFront(main_.window));
    HWND menu = nullptr;
    ASSERT_TRUE(Repeat([&] { PressImageButton(select); },
                       [&] { return (menu = program_->Window(L"#32768")) != nullptr; }))
        << "no menu";
    // It unfolds to the left of the button, its bottom-right corner at the
    // button's bottom-left.
    RECT button{};
    RECT shown{};
    GetWindowRect(select, &button);
    GetWindowRect(menu, &shown);
    EXPECT_EQ(shown.right, button.left);
    EXPECT_EQ(shown.bottom, button.bottom);
    Photograph(L"select-menu");
    // Seventh entry, past three lines: "Tick all".
    for (int i = 0; i < 7; ++i)
        Type({}, VK_DOWN);
    Type({}, VK_RETURN);
    EXPECT_TRUE(WaitUntil([&] { return AllItemsTicked(main_.list); })) << "Tick all from the menu left rows unticked";
    EXPECT_TRUE(WaitUntil([&] { return program_->Window(L"#32768") == nullptr; }));
}

TEST_F(MainWindowCommands, BoxesTickByClickAndSpaceAndSeparatorsTakeNeither) {
    const int separator = FirstSeparator();
    ASSERT_GE(separator, 0);
    HWND openLocation = PaneButton(texts::kAnalyzeSection, 3);
    ASSERT_NE(openLocation, nullptr);
    const int item = FirstItemOf(results::kFileGroup);
    ASSERT_GE(item, 0);

    // A click on a row's box ticks it; the space bar on the row clicked
    // unticks it again.
    ASSERT_TRUE(BringToFront(main_.window));
    ClickAt(PointInRow(main_.list, item, kBoxX));
    EXPECT_TRUE(WaitUntil([&] { return StateOf(main_.list, item) == 2; }))
        << "a click on the box left it at " << StateOf(main_.list, item);
    ClickAt(PointInRow(main_.list, item));
    ASSERT_TRUE(WaitUntil([&] { return Highlighted(main_.list) == item; }));
    Type({}, VK_SPACE);
    EXPECT_TRUE(WaitUntil([&] { return StateOf(main_.list, item) == 1; }))
        << "the space bar left the box at " << StateOf(main_.list, item);

    EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(openLocation) != FALSE; }))
        << "an item row highlighted leaves \"Open location\" disabled";
    HighlightRow(main_.list, separator);
    EXPECT_TRUE(WaitUntil([&] { return Highlighted(main_.list) < 0; }))
        << "a separator row stays highlighted";
    EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(openLocation) == FALSE; }));

    TickRow(main_.list, separator, true);
    ClickAt(PointInRow(main_.list, separator, kBoxX));
    EXPECT_TRUE(WaitUntil([&] { return StateOf(main_.list, separator) == 0; }))
        << "a separator row kept the check box it was given";
}

TEST_F(MainWindowCommands, FindWalksTheMatchesThenSaysItReachedTheEnd) {
    HWND findBox = FindChild(main_.pane, L"Edit");
    ASSERT_NE(findBox, nullptr);
    EXPECT_EQ(TextOf(findBox), texts::kFindPlaceholder);
    ASSERT_TRUE(BringToFront(main_.window));
    GUITHREADINFO gui{};
    gui.cbSize = sizeof(gui);
    auto focusInBox = [&] {
        return GetGUIThreadInfo(GetWindowThreadProcessId(main_.window, nullptr), &gui) &&
               gui.hwndFocus == findBox;
    };
    // F3 and Ctrl+F with the placeholder shown both only clear it and put
    // the caret in the box.
    for (WORD key : {WORD{VK_F3}, WORD{'F'}}) {
        SendMessageW(findBox, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(texts::kFindPlaceholder));
        if (main_.list != nullptr)
            SetRowState(main_.list, -1, LVIS_SELECTED | LVIS_FOCUSED, 0);
        if (key == 'F')
            Type({VK_CONTROL}, key);
        else
            Type({}, key);
        ASSERT_TRUE(WaitUntil([&] { return TextOf(findBox).empty(); })) << "key " << key;
        EXPECT_TRUE(WaitUntil(focusInBox)) << "key " << key;
        EXPECT_EQ(Highlighted(main_.list), -1) << "key " << key;
    }

    // Every row that holds "BEACH" in its path or name, in any letter case.
    std::vector<int> matches;
    for (size_t r = 0; r < shown_.size(); ++r) {
        std::wstring all = shown_[r].texts[0] + L"|" + shown_[r].texts[1];
        for (wchar_t& c : all)
            c = towlower(c);
        if (all.find(L"beach") != std::wstring::npos)
            matches.push_back(static_cast<int>(r));
    }
    ASSERT_GE(matches.size(), 3u);
    SendMessageW(findBox, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"BEACH"));
    for (int expected : matches) {
        Type({}, VK_F3);
        ASSERT_TRUE(WaitUntil([&] { return Highlighted(main_.list) == expected; }))
            << "F3 did not find row " << expected << "; highlighted " << Highlighted(main_.list);
    }
    Type({}, VK_F3);
    HWND tip = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (tip = Tip(*program_, main_.window)) != nullptr; }));
    EXPECT_EQ(MessageOf(tip), texts::kFindReachedEnd);
    EXPECT_EQ(Highlighted(main_.list), -1);
    // The next search starts from the top again.
    Type({}, VK_F3);
    EXPECT_TRUE(WaitUntil([&] { return Highlighted(main_.list) == matches[0]; }));

    // Return in the box searches too; a changed text restarts from the top.
    // "KB" is only in the size texts here.
    int kilobytes = -1;
    for (size_t r = 0; r < shown_.size() && kilobytes < 0; ++r)
        if (shown_[r].texts[2].find(L"KB") != std::wstring::npos &&
            shown_[r].texts[0].find(L"KB") == std::wstring::npos)
            kilobytes = static_cast<int>(r);
    ASSERT_GE(kilobytes, 0);
    ASSERT_TRUE(BringToFront(main_.window));
    SendMessageW(findBox, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"kb"));
    // A click in the box takes the focus back from the list.
    RECT box{};
    GetWindowRect(findBox, &box);
    ClickAt({(box.left + box.right) / 2, (box.top + box.bottom) / 2});
    ASSERT_TRUE(WaitUntil([&] {
        return GetGUIThreadInfo(GetWindowThreadProcessId(main_.window, nullptr), &gui) &&
               gui.hwndFocus == findBox;
    }));
    Type({}, VK_RETURN);
    EXPECT_TRUE(WaitUntil([&] { return Highlighted(main_.list) == kilobytes; }))
        << "highlighted " << Highlighted(main_.list);
}

TEST_F(MainWindowCommands, CopyPathPutsTheHighlightedPathOnTheClipboard) {
    auto clipboard = [&]() {
        std::wstring text;
        if (!OpenClipboard(nullptr))
            return text;
        if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
            if (auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
                text = chars;
                GlobalUnlock(data);
            }
        }
        CloseClipboard();
        return text;
    };
    auto setClipboard = [&](const std::wstring& text) {
        if (!OpenClipboard(nullptr))
            return;
        EmptyClipboard();
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * 2);
        memcpy(GlobalLock(memory), text.c_str(), (text.size() + 1) * 2);
        GlobalUnlock(memory);
        SetClipboardData(CF_UNICODETEXT, memory);
        CloseClipboard();
    };

    // No highlighted row: Ctrl+C does nothing, as the tick-all after it
    // shows once it has been handled.
    setClipboard(L"left alone");
    HighlightRow(main_.list, -1);
    SetRowState(main_.list, -1, LVIS_SELECTED | LVIS_FOCUSED, 0);
    ASSERT_TRUE(BringToFront(main_.window));
    Type({VK_CONTROL}, 'C');
    Type({VK_CONTROL}, 'A');
    ASSERT_TRUE(WaitUntil([&] { return AllItemsTicked(main_.list); }));
    EXPECT_EQ(Tip(*program_, main_.window), nullptr);
    EXPECT_EQ(clipboard(), L"left alone");

    const int row = FirstItemOf(results::kFileGroup);
    ASSERT_TRUE(HighlightRow(main_.list, row));
    Type({VK_CONTROL}, 'C');
    HWND tip = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (tip = Tip(*program_, main_.window)) != nullptr; }));
    EXPECT_EQ(MessageOf(tip), texts::kPathCopied);
    EXPECT_EQ(clipboard(), shown_[row].texts[0]);
    // What other programs of the desktop paste; Wine passes it on to X a
    // moment later.
    EXPECT_TRUE(WaitUntil([&] { return XClipboard() == shown_[row].texts[0]; }))
        << "the X clipboard holds something else";
}

TEST_F(MainWindowCommands, OpenLocationShowsTheFolderThatHoldsTheItem) {
    HWND openLocation = PaneButton(texts::kAnalyzeSection, 3);
    ASSERT_NE(openLocation, nullptr);
    // A file row: its folder, from the button.
    const int fileRow = FirstItemOf(results::kFileGroup);
    const std::wstring path = shown_[fileRow].texts[0];
    const std::wstring folder = path.substr(0, path.find_last_of(L'\\'));
    const std::wstring folderName = folder.substr(folder.find_last_of(L'\\') + 1);
    ASSERT_TRUE(HighlightRow(main_.list, fileRow));
    ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(openLocation) != FALSE; }));
    PressImageButton(openLocation);
    HWND shell = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
        return (shell = WindowTitled(L"ExplorerWClass", folderName)) != nullptr;
    })) << "no shell window on " << std::string(folderName.begin(), folderName.end());
    CloseOther(shell);

    // A folder row, by a double click: the folder itself.
    const int folderRow = FirstItemOf(results::kFolderGroup);
    ASSERT_GE(folderRow, 0);
    const std::wstring ownName = shown_[folderRow].texts[1];
    ASSERT_TRUE(BringToFront(main_.window));
    ClickAt(PointInRow(main_.list, folderRow), Mouse::Left, 2);
    ASSERT_TRUE(WaitUntil([&] {
        return (shell = WindowTitled(L"ExplorerWClass", ownName)) != nullptr;
    })) << "no shell window on the folder row's folder";
    CloseOther(shell);
}

TEST_F(MainWindowCommands, TheContextMenuActsOnItemRowsOnly) {
    auto rightClick = [&](int row) { ClickAt(PointInRow(main_.list, row), Mouse::Right); };
    // On a separator the entries are greyed: choosing the first does
    // nothing, as the tick-all after it shows once both are handled.
    const int separator = FirstSeparator();
    ASSERT_TRUE(BringToFront(main_.window));
    rightClick(separator);
    ASSERT_TRUE(WaitUntil([&] { return program_->Window(L"#32768") != nullptr; }));
    Photograph(L"context-menu-separator");
    Type({}, VK_DOWN);
    Type({}, VK_RETURN);
    Type({}, VK_ESCAPE);
    ASSERT_TRUE(WaitUntil([&] { return program_->Window(L"#32768") == nullptr; }));
    Type({VK_CONTROL}, 'A');
    ASSERT_TRUE(WaitUntil([&] { return AllItemsTicked(main_.list); }));
    EXPECT_EQ(FindWindowW(L"ExplorerWClass", nullptr), nullptr);

    // On a file row the first entry, the default, opens its folder.
    const int fileRow = FirstItemOf(results::kFileGroup);
    const std::wstring path = shown_[fileRow].texts[0];
    const std::wstring folder = path.substr(0, path.find_last_of(L'\\'));
    rightClick(fileRow);
    ASSERT_TRUE(WaitUntil([&] { return program_->Window(L"#32768") != nullptr; }));
    Photograph(L"context-menu-item");
    Type({}, VK_DOWN);
    Type({}, VK_RETURN);
    HWND shell = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
        return (shell = WindowTitled(L"ExplorerWClass",
                                     folder.substr(folder.find_last_of(L'\\') + 1))) != nullptr;
    }));
    CloseOther(shell);
}

TEST_F(MainWindowCommands, AltReturnOpensTheHighlightedFileWithItsProgram) {
    int textRow = -1;
    for (size_t r = 0; r < shown_.size() && textRow < 0; ++r)
        if (shown_[r].texts[1] == L"report.txt")
            textRow = static_cast<int>(r);
    ASSERT_GE(textRow, 0);
    // A fresh test prefix maps no extension to a program; this test maps
    // ".txt" to the system's text editor for its own run (Wine reads no
    // per-user classes) and then puts back what the prefix had.
    RegistryKeyGuard keepExtension(HKEY_CLASSES_ROOT, L".txt");
    RegistryKeyGuard keepClass(HKEY_CLASSES_ROOT, L"cs.drivertext");
    auto set = [](const wchar_t* key, const wchar_t* value) {
        HKEY opened = nullptr;
        if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                            &opened, nullptr) != ERROR_SUCCESS)
            return false;
        const bool done =
            RegSetValueExW(opened, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                           static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t))) ==
            ERROR_SUCCESS;
        RegCloseKey(opened);
        return done;
    };
    ASSERT_TRUE(set(L".txt", L"cs.drivertext"));
    ASSERT_TRUE(set(L"cs.drivertext\\shell\\open\\command",
                    L"\"C:\\windows\\system32\\notepad.exe\" \"%1\""));
    ASSERT_TRUE(HighlightRow(main_.list, textRow));
    ASSERT_TRUE(BringToFront(main_.window));
    Type({VK_MENU}, VK_RETURN);
    HWND editor = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
        return (editor = WindowTitled(L"Notepad", L"report")) != nullptr;
    })) << "the text file was not opened";
    CloseOther(editor);

    // A type no program opens: nothing shows, and the window goes on.
    const int jpegRow = FirstItemOf(results::kFileGroup);
    ASSERT_TRUE(HighlightRow(main_.list, jpegRow));
    ASSERT_TRUE(BringToFront(main_.window));
    Type({VK_MENU}, VK_RETURN);
    Type({VK_CONTROL}, 'A');
    EXPECT_TRUE(WaitUntil([&] { return AllItemsTicked(main_.list); })) << "the window stopped answering after a file no program opens";
    EXPECT_EQ(program_->Window(L"#32770"), nullptr);

    // A duplicated program: looking at it asks first, "No" is what Return
    // says, and "No" starts nothing; only "Yes" runs it.
    const std::wstring tool = tree_ + L"\\tool.exe";
    const std::wstring copy = tree_ + L"\\Backup\\tool.exe";
    for (const std::wstring& path : {tool, copy})
        ASSERT_TRUE(CopyFileW(DosPath(CS_MARKER_TOOL).c_str(), path.c_str(), FALSE));
    ASSERT_TRUE(ScanWith(*program_, main_, tree_, 3)) << "the second scan did not end";
    if (HWND tip = Tip(*program_, main_.window))
        PostMessageW(tip, WM_CLOSE, 0, 0);
    const std::vector<RemoteRow> rows = ReadRows(main_.list);
    auto rowOf = [&](const std::wstring& path) {
        for (size_t r = 0; r < rows.size(); ++r)
            if (rows[r].texts[0] == path)
                return static_cast<int>(r);
        return -1;
    };
    auto ask = [&](const std::wstring& path) -> HWND {
        const int row = rowOf(path);
        if (row < 0 || !HighlightRow(main_.list, row) || !BringToFront(main_.window))
            return nullptr;
        HWND box = nullptr;
        Repeat([&] { Type({VK_MENU}, VK_RETURN); },
               [&] { return (box = AwaitBox(*program_, main_.window, 0)) != nullptr; });
        return box;
    };
    HWND question = ask(tool);
    ASSERT_NE(question, nullptr) << "no question before a program is run";
    EXPECT_EQ(MessageOf(question),
              L"tool.exe is a program or a shortcut. Opening it will run it. Open it anyway?");
    HWND no = Button(question, L"No");
    ASSERT_NE(no, nullptr);
    EXPECT_NE(GetWindowLongW(no, GWL_STYLE) & BS_DEFPUSHBUTTON, 0) << "\"No\" is not the default";
    EXPECT_EQ(GetWindowLongW(Button(question, L"Yes"), GWL_STYLE) & BS_DEFPUSHBUTTON, 0);
    Photograph(L"open-program-question");
    ASSERT_TRUE(Repeat(
        [&] {
            SetForegroundWindow(question);
            Type({}, VK_RETURN);
        },
        [&] { return !IsWindow(question) || !IsWindowVisible(question); }));
    question = ask(copy);
    ASSERT_NE(question, nullptr);
    ASSERT_TRUE(AnswerBox(question, L"Yes"));
    EXPECT_TRUE(WaitUntil([&] { return Exists(copy + L".ran"); })) << "\"Yes\" did not run it";
    // Once no tool runs any more, a run the "No" had started would have
    // left its mark too.
    EXPECT_TRUE(WaitUntil([] { return !ProcessRuns(L"tool.exe"); }));
    EXPECT_FALSE(Exists(tool + L".ran")) << "\"No\" ran the program";
}

}  // namespace
}  // namespace cs::driver
