// Uses clonesifter.exe as a user would, from another process under the same
// window system: starts it with a folder, waits for its windows, presses its
// buttons, types into its edits, reads its list rows and compares them with
// what the engine gives for the same folder and options. Every wait is on a
// condition; the limits only turn a hang into a failure. With
// CS_SCREENSHOTS set to a folder, the windows are photographed on the way.
// This file: start-up, the setup window and the scan.
#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/texts.h"
#include "engine/options.h"
#include "session.h"

namespace cs::driver {
namespace {

namespace texts = app::texts;

class DesktopProgram : public ::testing::Test {
protected:
    // CS_DEMO_ROOT names a folder to scan instead of the one made here.
    static void SetUpTestSuite() {
        wchar_t demo[MAX_PATH] = {};
        made_ = GetEnvironmentVariableW(L"CS_DEMO_ROOT", demo, MAX_PATH) == 0;
        tree_ = new std::wstring(made_ ? MakeTree(L"scan") : demo);
    }
    static void TearDownTestSuite() {
        if (made_)
            RemoveTree(*tree_);
        delete tree_;
        tree_ = nullptr;
    }
    static const std::wstring& Tree() { return *tree_; }

private:
    static std::wstring* tree_;
    static bool made_;
};

std::wstring* DesktopProgram::tree_ = nullptr;
bool DesktopProgram::made_ = false;

// Drops `path` on `window` as the shell would. A drop's HDROP is memory of
// the receiving process, so the DROPFILES record is written into the
// program's own memory; a fixed global block is a plain pointer, which is
// what the drop handling reads (and frees) there.
bool DropOn(const Program& program, HWND window, const std::wstring& path) {
    HANDLE process =
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, program.Pid());
    if (process == nullptr)
        return false;
    std::vector<char> record(sizeof(DROPFILES) + (path.size() + 2) * sizeof(wchar_t), 0);
    auto* drop = reinterpret_cast<DROPFILES*>(record.data());
    drop->pFiles = sizeof(DROPFILES);
    drop->pt = {200, 200};
    drop->fWide = TRUE;
    memcpy(record.data() + sizeof(DROPFILES), path.c_str(), path.size() * sizeof(wchar_t));
    void* remote =
        VirtualAllocEx(process, nullptr, record.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    SIZE_T written = 0;
    const bool ok = remote != nullptr &&
                    WriteProcessMemory(process, remote, record.data(), record.size(), &written) &&
                    written == record.size() &&
                    PostMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0);
    CloseHandle(process);
    return ok;
}

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
    auto clientWidth = [&] {
        RECT client{};
        GetClientRect(main.window, &client);
        return client.right;
    };
    auto clientHeight = [&] {
        RECT client{};
        GetClientRect(main.window, &client);
        return client.bottom;
    };
    EXPECT_TRUE(Settles(clientWidth, 1300));
    EXPECT_TRUE(Settles(clientHeight, 900));
    HWND openLocation = ControlAfter(main.pane, texts::kAnalyzeSection, 3);
    HWND deleteTicked = ControlAfter(main.pane, texts::kRemovalSection, 3);
    ASSERT_NE(openLocation, nullptr);
    ASSERT_NE(deleteTicked, nullptr);
    EXPECT_FALSE(IsWindowEnabled(openLocation));
    EXPECT_FALSE(IsWindowEnabled(deleteTicked));
    EXPECT_TRUE(IsWindowEnabled(main.startScan));

    // Growing the window by 100 widens the path column only, by 100. Each
    // resize is another process's, answered by the window manager in its
    // own time: the next starts once the last has arrived.
    auto columnWidth = [&](int column) {
        return static_cast<int>(SendMessageW(main.list, LVM_GETCOLUMNWIDTH, column, 0));
    };
    const int pathBefore = columnWidth(0);
    const int nameBefore = columnWidth(1);
    RECT frame{};
    GetWindowRect(main.window, &frame);
    auto grow = [&](int by) {
        SetWindowPos(main.window, nullptr, 0, 0, frame.right - frame.left + by,
                     frame.bottom - frame.top, SWP_NOMOVE | SWP_NOZORDER);
    };
    grow(100);
    ASSERT_TRUE(Settles(clientWidth, 1400));
    ASSERT_TRUE(WaitUntil([&] { return columnWidth(0) != pathBefore; }))
        << "no refit after a width change";
    const int pathAtFirstRefit = columnWidth(0);
    grow(200);
    EXPECT_TRUE(Settles(clientWidth, 1500));
    EXPECT_TRUE(Settles([&] { return columnWidth(0); }, pathAtFirstRefit + 100));
    EXPECT_EQ(columnWidth(1), nameBefore);
    // The pane keeps its width and moves with the right edge.
    auto paneWidth = [&] {
        RECT pane{};
        GetWindowRect(main.pane, &pane);
        return pane.right - pane.left;
    };
    EXPECT_TRUE(Settles(paneWidth, 180));

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
    ClickAt({(list.left + list.right) / 2, (list.top + list.bottom) / 2});
    EXPECT_TRUE(WaitUntil([&] {
        return program.Window(L"_WndMsgTipClass", main.window) == nullptr;
    })) << "the tip stayed after a click in the list";
    CloseAndExpectExitCode(program, main.window);
}

TEST_F(DesktopProgram, SetupWindowRulesThenAScanShowsTheEnginesRows) {
    // No root on the command line: the setup window opens the picker.
    Program program(L"");
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

// Two equal files of a tebibyte each, holes all through, which take no room
// on the disk: proving them equal reads two tebibytes, minutes at any speed,
// so a scan of them by exact contents is still running whenever the test
// cancels it or closes the window, however slow the machine.
struct EndlessTree {
    std::wstring root;

    EndlessTree() {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        root = std::wstring(temp) + L"cs-driver-endless-" + std::to_wstring(GetCurrentProcessId());
        RemoveTree(root);
        CreateDirectoryW(root.c_str(), nullptr);
        for (const wchar_t* name : {L"\\one.bin", L"\\two.bin"}) {
            HANDLE file = CreateFileW((root + name).c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            LARGE_INTEGER size{};
            size.QuadPart = 1LL << 40;
            if (file != INVALID_HANDLE_VALUE) {
                SetFilePointerEx(file, size, nullptr, FILE_BEGIN);
                SetEndOfFile(file);
                CloseHandle(file);
            }
        }
    }
    ~EndlessTree() { RemoveTree(root); }
    bool Made() const {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        return GetFileAttributesExW((root + L"\\two.bin").c_str(), GetFileExInfoStandard,
                                    &data) &&
               data.nFileSizeHigh == 256;
    }
};

// Presses the progress dialog's Cancel; the tip the scan ends with, once the
// dialog is gone, or null after a minute.
HWND CancelAndAwaitTip(const Program& program, const MainWindow& main, HWND progress) {
    HWND cancel = Button(progress, texts::kCancel);
    if (cancel == nullptr)
        return nullptr;
    Click(cancel);
    HWND tip = nullptr;
    WaitUntil(
        [&] {
            tip = program.Window(L"_WndMsgTipClass", main.window);
            return tip != nullptr && program.Window(L"_WND_PROGRESS_DLG_") == nullptr;
        },
        60000);
    return program.Window(L"_WND_PROGRESS_DLG_") == nullptr ? tip : nullptr;
}

TEST_F(DesktopProgram, CancelEarlyThenScanAgainThenCloseDuringAScan) {
    const EndlessTree endless;
    ASSERT_TRUE(endless.Made()) << "no tebibyte files in the temporary folder";
    Program program(L"");
    ASSERT_TRUE(program.Started());
    MainWindow main = AwaitMain(program);
    ASSERT_NE(main.window, nullptr);

    // The endless tree by exact contents, typed with a backslash.
    HWND setup = OpenSetup(program, main);
    ASSERT_NE(setup, nullptr);
    HWND presets = FindChild(setup, L"ComboBox");
    HWND exact = Button(setup, texts::kExactContents);
    ASSERT_TRUE(presets && exact);
    ASSERT_TRUE(Repeat([&] { ChoosePreset(setup, presets, 3); }, [&] { return IsChecked(exact); }));
    const std::wstring typed = endless.root + L"\\";
    SendMessageW(FindChild(setup, L"Edit"), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str()));
    HWND start = Button(setup, texts::kStartNow);
    ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(start) != FALSE; }));
    Click(start);
    HWND progress = program.Await(L"_WND_PROGRESS_DLG_");
    ASSERT_NE(progress, nullptr) << "no progress dialog";
    const std::wstring scanning = std::wstring(texts::kScanning) + L"\r\n" + endless.root;
    EXPECT_TRUE(WaitUntil([&] { return MessageOf(progress) == scanning; }))
        << "the progress dialog does not name the root without its backslash";
    Photograph(L"progress");
    // One scan at a time: while it runs, "Start a new scan" is off, and a
    // folder dropped on the window is refused with a tip.
    EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(main.startScan) == FALSE; }))
        << "Start a new scan stays enabled during a scan";
    ASSERT_TRUE(DropOn(program, main.window, Tree()));
    EXPECT_TRUE(WaitUntil([&] {
        HWND refusal = program.Window(L"_WndMsgTipClass", main.window);
        return refusal != nullptr && MessageOf(refusal) == texts::kScanAlreadyRunning;
    })) << "no refusal of a drop during a scan";
    EXPECT_EQ(program.Window(texts::kSetupClass), nullptr) << "a second setup window opened";
    HWND tip = CancelAndAwaitTip(program, main, progress);
    ASSERT_NE(tip, nullptr) << "no tip within a minute of the cancel";
    // Nobody looked everywhere: never "could not find any duplicate files".
    const std::wstring message = MessageOf(tip);
    EXPECT_EQ(message.rfind(texts::kScanCancelled, 0), 0u)
        << std::string(message.begin(), message.end());
    EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(main.startScan) != FALSE; }));

    // A second scan after the cancelled one runs to its end.
    setup = OpenSetup(program, main);
    ASSERT_NE(setup, nullptr);
    tip = StartAndAwaitTip(program, main, setup, Tree());
    ASSERT_NE(tip, nullptr);
    engine::SetupChoices choices;  // the criteria kept from before
    engine::ApplyPreset(4, choices);
    const bool groups = SendMessageW(main.list, LVM_GETGROUPCOUNT, 0, 0) > 0;
    ExpectRowsEqual(ReadRows(main.list), ExpectedRows(Tree(), choices, groups));

    // Closing during a scan hides the window at once; the process ends once
    // the scan has stopped.
    setup = OpenSetup(program, main);
    ASSERT_NE(setup, nullptr);
    SendMessageW(FindChild(setup, L"Edit"), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(endless.root.c_str()));
    start = Button(setup, texts::kStartNow);
    ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(start) != FALSE; }));
    Click(start);
    ASSERT_NE(program.Await(L"_WND_PROGRESS_DLG_"), nullptr);
    PostMessageW(main.window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(main.window); }, 60000));
    ASSERT_TRUE(program.Ended(60000));
    EXPECT_EQ(program.ExitCode(), 1u);
}

// Rows of whole groups: split at every row without a check box.
std::vector<std::vector<RemoteRow>> GroupsOf(const std::vector<RemoteRow>& rows) {
    std::vector<std::vector<RemoteRow>> groups;
    bool open = false;
    for (const RemoteRow& row : rows) {
        if (row.stateImage == 0) {
            open = false;
            continue;
        }
        if (!open)
            groups.emplace_back();
        open = true;
        groups.back().push_back(row);
    }
    return groups;
}

bool SameRows(const std::vector<RemoteRow>& a, const std::vector<RemoteRow>& b) {
    if (a.size() != b.size())
        return false;
    for (size_t r = 0; r < a.size(); ++r)
        for (int c = 0; c < 3; ++c)
            if (a[r].texts[c] != b[r].texts[c] || a[r].stateImage != b[r].stateImage ||
                a[r].group != b[r].group)
                return false;
    return true;
}

// Thousands of pairs, each file's twin of its name and size in another
// folder: a group is whole from the moment it exists, so wherever a Cancel
// lands, every group on the list must be one of the engine's.
TEST_F(DesktopProgram, CancelDuringALongFillLeavesWholeGroupsAndTheDialogAnswers) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring root =
        std::wstring(temp) + L"cs-driver-pairs-" + std::to_wstring(GetCurrentProcessId());
    RemoveTree(root);
    constexpr int kPairs = 20000;
    for (const wchar_t* folder : {L"", L"\\a", L"\\b"})
        CreateDirectoryW((root + folder).c_str(), nullptr);
    for (int pair = 0; pair < kPairs; ++pair) {
        const std::string bytes(static_cast<size_t>(pair + 1), 'x');
        const std::wstring name = L"\\pair" + std::to_wstring(pair) + L".dat";
        WriteFile(root + L"\\a" + name, bytes);
        WriteFile(root + L"\\b" + name, bytes);
    }
    engine::SetupChoices choices;  // the setup window's first choices
    engine::ApplyPreset(1, choices);

    Program program(L"\"" + root + L"\"");
    ASSERT_TRUE(program.Started());
    MainWindow main = AwaitMain(program);
    ASSERT_NE(main.window, nullptr);
    HWND setup = OpenSetup(program, main);
    ASSERT_NE(setup, nullptr);
    HWND start = Button(setup, texts::kStartNow);
    ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(start) != FALSE; }));
    DialogPinger pinger(program);
    ASSERT_TRUE(Repeat([&] { Click(start); }, [&] { return !IsWindow(setup); }));
    HWND progress = program.Await(L"_WND_PROGRESS_DLG_");
    ASSERT_NE(progress, nullptr);
    // Cancelled once rows have started to go in.
    ASSERT_TRUE(WaitUntil([&] { return SendMessageW(main.list, LVM_GETITEMCOUNT, 0, 0) > 0; }));
    Photograph(L"progress-during-fill");
    HWND tip = CancelAndAwaitTip(program, main, progress);
    ASSERT_NE(tip, nullptr) << "no tip within a minute of the cancel";
    pinger.Stop();
    EXPECT_EQ(MessageOf(tip).rfind(texts::kScanCancelled, 0), 0u);
    EXPECT_GT(pinger.pings, 0);
    EXPECT_EQ(pinger.late, 0) << "answers over 200 ms (seconds in:ms) " << pinger.lateAt
                              << ", longest " << pinger.longestMs << " ms";

    const bool groups = SendMessageW(main.list, LVM_GETGROUPCOUNT, 0, 0) > 0;
    const std::vector<RemoteRow> expected = ExpectedRows(root, choices, groups);
    const std::vector<RemoteRow> shown = ReadRows(main.list);
    const std::vector<std::vector<RemoteRow>> all = GroupsOf(expected);
    const std::vector<std::vector<RemoteRow>> kept = GroupsOf(shown);
    ASSERT_EQ(all.size(), static_cast<size_t>(kPairs));
    ASSERT_GT(kept.size(), 0u);
    ASSERT_LT(kept.size(), all.size()) << "the cancel came after the end of the fill";
    // In the engine's order, each group one of the engine's ...
    size_t next = 0;
    for (const std::vector<RemoteRow>& group : kept) {
        while (next < all.size() && !SameRows(all[next], group))
            ++next;
        ASSERT_LT(next, all.size())
            << "a group the engine did not find, or out of order: "
            << std::string(group[0].texts[0].begin(), group[0].texts[0].end());
        ++next;
    }
    // ... and between them one separator each, after a title where the list
    // has no groups: the rows a rebuild of just these groups would give.
    std::vector<RemoteRow> rebuilt;
    if (!groups)
        rebuilt.push_back(expected.front());
    for (size_t g = 0; g < kept.size(); ++g) {
        if (g > 0)
            rebuilt.push_back(expected[(groups ? 0 : 1) + all[0].size()]);
        rebuilt.insert(rebuilt.end(), kept[g].begin(), kept[g].end());
    }
    EXPECT_TRUE(SameRows(shown, rebuilt)) << shown.size() << " rows shown";

    CloseAndExpectExitCode(program, main.window);
    RemoveTree(root);
}

TEST_F(DesktopProgram, TheFolderPickerFillsTheRootAndTheGripSizesTheWindow) {
    Program program(L"");
    ASSERT_TRUE(program.Started());
    MainWindow main = AwaitMain(program);
    ASSERT_NE(main.window, nullptr);

    // The picker opens with the setup window; a folder chosen in it becomes
    // the root, and the scan can start.
    HWND setup = nullptr;
    for (int attempt = 0; attempt < 5 && setup == nullptr; ++attempt) {
        PressImageButton(main.startScan);
        setup = program.Await(texts::kSetupClass, nullptr, attempt < 4 ? 3000 : 30000);
    }
    ASSERT_NE(setup, nullptr);
    HWND picker = program.Await(L"#32770", setup);
    ASSERT_NE(picker, nullptr) << "no folder picker";
    Photograph(L"picker");
    HWND name = GetDlgItem(picker, 1152);
    ASSERT_NE(name, nullptr);
    SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Tree().c_str()));
    PostMessageW(picker, WM_COMMAND, IDOK, 0);
    HWND rootEdit = FindChild(setup, L"Edit");
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(picker) || !IsWindow(picker); }))
        << "the picker stayed open";
    EXPECT_TRUE(WaitUntil([&] {
        std::wstring root = TextOf(rootEdit);
        while (!root.empty() && root.back() == L'\\')
            root.pop_back();
        return lstrcmpiW(root.c_str(), Tree().c_str()) == 0;
    })) << "the root edit holds " << std::string(TextOf(rootEdit).begin(), TextOf(rootEdit).end());
    HWND start = Button(setup, texts::kStartNow);
    EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(start) != FALSE; }));
    Click(Button(setup, texts::kCancel));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(setup) || !IsWindowVisible(setup); }));

    // Dragging the grip at the pane's foot sizes the window by as much.
    HWND grip = nullptr;
    for (HWND child : Children(main.pane, L"Static")) {
        RECT r{};
        GetClientRect(child, &r);
        if (r.right == 24 && r.bottom == 24)
            grip = child;
    }
    ASSERT_NE(grip, nullptr) << "no 24 x 24 grip in the pane";
    RECT before{};
    GetWindowRect(main.window, &before);
    RECT at{};
    GetWindowRect(grip, &at);
    // Through X, as a real drag: the window manager takes the drag over
    // once the press has reached it, so the mouse moves until it grows.
    const std::string x = std::to_string((at.left + at.right) / 2);
    const std::string y = std::to_string((at.top + at.bottom) / 2);
    ASSERT_TRUE(RunUnix("xdotool mousemove " + x + " " + y + " mousedown 1"));
    WaitUntil([&] {
        RunUnix("xdotool mousemove_relative --sync 8 4");
        GetWindowRect(main.window, &at);
        return at.right - at.left >= before.right - before.left + 40;
    });
    RunUnix("xdotool mouseup 1");
    RECT after{};
    EXPECT_TRUE(WaitUntil([&] {
        GetWindowRect(main.window, &after);
        return after.right - after.left >= before.right - before.left + 40 &&
               after.bottom - after.top >= before.bottom - before.top + 20;
    })) << "the window did not grow with the grip: " << (after.right - after.left) << " x "
        << (after.bottom - after.top);
    EXPECT_EQ(after.left, before.left);
    EXPECT_EQ(after.top, before.top);
    CloseAndExpectExitCode(program, main.window);
}

TEST_F(DesktopProgram, AFolderGivenOrDroppedIsTheRootAndAScanThatCannotStartSaysSo) {
    // The system refuses the scan's thread here, as one out of resources
    // would.
    SetEnvironmentVariableW(L"CS_TEST_FAIL_THREAD_START", L"1");
    Program program(L"\"" + Tree() + L"\"");
    SetEnvironmentVariableW(L"CS_TEST_FAIL_THREAD_START", nullptr);
    ASSERT_TRUE(program.Started());
    MainWindow main = AwaitMain(program);
    ASSERT_NE(main.window, nullptr);

    // The folder on the command line is the root, ready to start; the
    // picker does not open by itself.
    HWND setup = OpenSetup(program, main);
    ASSERT_NE(setup, nullptr);
    HWND rootEdit = FindChild(setup, L"Edit");
    HWND start = Button(setup, texts::kStartNow);
    EXPECT_TRUE(WaitUntil([&] { return TextOf(rootEdit) == Tree(); }))
        << std::string(TextOf(rootEdit).begin(), TextOf(rootEdit).end());
    EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(start) != FALSE; }));
    EXPECT_EQ(program.Window(L"#32770", setup), nullptr) << "the picker opened by itself";
    Photograph(L"setup-with-root");

    // The thread cannot start: a message, and the window usable again.
    ASSERT_TRUE(Repeat([&] { Click(start); }, [&] { return !IsWindow(setup); }));
    HWND box = AwaitBox(program, main.window);
    ASSERT_NE(box, nullptr) << "no message when the scan could not start";
    EXPECT_EQ(MessageOf(box), texts::kScanNotStarted);
    ASSERT_TRUE(AnswerBox(box, L"OK"));
    EXPECT_TRUE(WaitUntil([&] { return program.Window(L"_WND_PROGRESS_DLG_") == nullptr; }))
        << "the progress dialog stayed";
    EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(main.startScan) != FALSE; }));

    // A dropped file stands for its folder.
    const std::wstring dropped = Tree() + L"\\Photos\\beach.jpg";
    ASSERT_TRUE(Exists(dropped));
    ASSERT_TRUE(DropOn(program, main.window, dropped));
    setup = program.Await(texts::kSetupClass, nullptr);
    ASSERT_NE(setup, nullptr) << "a drop opened no setup window";
    rootEdit = FindChild(setup, L"Edit");
    EXPECT_TRUE(WaitUntil([&] { return TextOf(rootEdit) == Tree() + L"\\Photos"; }))
        << std::string(TextOf(rootEdit).begin(), TextOf(rootEdit).end());
    Click(Button(setup, texts::kCancel));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(setup) || !IsWindowVisible(setup); }));
    CloseAndExpectExitCode(program, main.window);
}

}  // namespace
}  // namespace cs::driver
