// "Delete ticked files" as a user meets it: ticks in the list, the button,
// the questions and the report, then what is on the disk and in the desktop
// trash. Each test scans a tree of its own, because each changes the disk.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/texts.h"
#include "session.h"

namespace cs::driver {
namespace {

namespace texts = app::texts;

constexpr int kExactContentsPreset = 3;
constexpr int kSimilarNamesPreset = 0;

// Names unique to this run, so the trash the runs share never holds two
// files of one name (it would rename the second).
std::wstring RunTag() {
    return std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount64());
}

std::wstring FreshRoot(const std::wstring& tag) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring root = std::wstring(temp) + L"cs-removal-" + tag + L"-" + RunTag();
    RemoveTree(root);
    CreateDirectoryW(root.c_str(), nullptr);
    return root;
}

// The desktop trash of the prefix's HOME, as Wine's recycle operation fills
// it (scripts/wine-run.sh sets XDG_DATA_HOME).
std::wstring TrashFolder() {
    char unixPath[4096] = {};
    if (GetEnvironmentVariableA("XDG_DATA_HOME", unixPath, sizeof(unixPath)) == 0)
        return {};
    using ToDos = wchar_t*(CDECL*)(const char*);
    auto toDos = reinterpret_cast<ToDos>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
    if (toDos == nullptr)
        return {};
    wchar_t* dos = toDos(unixPath);
    if (dos == nullptr)
        return {};
    std::wstring folder = std::wstring(dos) + L"\\Trash";
    HeapFree(GetProcessHeap(), 0, dos);
    return folder;
}

struct Desktop {
    explicit Desktop(const std::wstring& root) : program(L"\"" + root + L"\"") {}
    Program program;
    MainWindow main;
    HWND deleteTicked = nullptr;
};

// Starts the program and scans `root` with a preset row.
void StartAndScan(Desktop& desktop, const std::wstring& root, int preset) {
    ASSERT_TRUE(desktop.program.Started());
    desktop.main = AwaitMain(desktop.program);
    ASSERT_NE(desktop.main.window, nullptr);
    desktop.deleteTicked = ControlAfter(desktop.main.pane, texts::kRemovalSection, 3);
    ASSERT_NE(desktop.deleteTicked, nullptr);
    ASSERT_TRUE(ScanWith(desktop.program, desktop.main, root, preset)) << "the scan did not end";
}

int RowOf(const std::vector<RemoteRow>& rows, const std::wstring& path) {
    for (size_t r = 0; r < rows.size(); ++r)
        if (rows[r].texts[0] == path)
            return static_cast<int>(r);
    return -1;
}

void Tick(const MainWindow& main, const std::vector<std::wstring>& paths) {
    const std::vector<RemoteRow> rows = ReadRows(main.list);
    for (const std::wstring& path : paths) {
        const int row = RowOf(rows, path);
        ASSERT_GE(row, 0) << "no row for the file";
        ASSERT_TRUE(TickRow(main.list, row, true));
    }
}

std::vector<std::wstring> TickedPaths(HWND list) {
    std::vector<std::wstring> ticked;
    for (const RemoteRow& row : ReadRows(list))
        if (row.stateImage == 2)
            ticked.push_back(row.texts[0]);
    return ticked;
}

// Presses "Delete ticked files" until a box of the program shows; the box.
HWND PressDelete(Desktop& desktop) {
    if (!WaitUntil([&] { return IsWindowEnabled(desktop.deleteTicked) != FALSE; }))
        return nullptr;
    HWND box = nullptr;
    Repeat([&] { PressImageButton(desktop.deleteTicked); },
           [&] { return (box = AwaitBox(desktop.program, desktop.main.window, 0)) != nullptr; });
    return box;
}

// The next box of the program (the one before must be gone).
HWND NextBox(Desktop& desktop, DWORD limit = 60000) {
    return AwaitBox(desktop.program, desktop.main.window, limit);
}

// Presses the button, answers "Yes" and returns the report box.
HWND DeleteAndConfirm(Desktop& desktop) {
    HWND question = PressDelete(desktop);
    if (question == nullptr)
        return nullptr;
    EXPECT_EQ(MessageOf(question), texts::kConfirmDelete);
    if (!AnswerBox(question, L"Yes"))
        return nullptr;
    return NextBox(desktop);
}

// The flow has given the controls back: "Start a new scan" is enabled
// again.
bool FlowEnded(const MainWindow& main) {
    return WaitUntil([&] { return IsWindowEnabled(main.startScan) != FALSE; });
}

void ExpectReportAndClose(HWND report, const std::wstring& text) {
    ASSERT_NE(report, nullptr) << "no report";
    EXPECT_EQ(MessageOf(report), text);
    EXPECT_TRUE(AnswerBox(report, L"OK"));
}

// Makes the main window `grow` pixels wider, as a drag of its frame would,
// and waits until the program has refitted its path column to the new
// width (the refit gives it what the other columns, the pane and the
// scroll bar leave).
::testing::AssertionResult Widen(const MainWindow& main, int grow) {
    auto clientWidth = [&] {
        RECT client{};
        GetClientRect(main.window, &client);
        return static_cast<int>(client.right);
    };
    auto column = [&](int c) {
        return static_cast<int>(SendMessageW(main.list, LVM_GETCOLUMNWIDTH, c, 0));
    };
    const int wanted = clientWidth() + grow;
    RECT frame{};
    GetWindowRect(main.window, &frame);
    SetWindowPos(main.window, nullptr, 0, 0, frame.right - frame.left + grow,
                 frame.bottom - frame.top, SWP_NOMOVE | SWP_NOZORDER);
    if (auto sized = Settles(clientWidth, wanted); !sized)
        return sized << " (client width)";
    return Settles([&] { return column(0); }, wanted - column(1) - column(2) - 200);
}

bool Shows(HWND box) {
    return IsWindow(box) && IsWindowVisible(box);
}

void SetPermanent(const MainWindow& main) {
    HWND permanent = Button(main.pane, texts::kDeletePermanently);
    ASSERT_NE(permanent, nullptr);
    ASSERT_TRUE(Repeat([&] { Click(permanent); }, [&] { return IsChecked(permanent); }));
}

struct Copies {
    std::wstring root;
    std::vector<std::wstring> paths;  // the keeper first
    std::string bytes;
};

// `count` identical files, named so that the walk meets the keeper first.
Copies MakeCopies(const std::wstring& tag, int count, size_t size) {
    Copies copies;
    copies.root = FreshRoot(tag);
    copies.bytes = RandomBytes(7, size);
    const std::wstring unique = RunTag();
    for (int i = 0; i < count; ++i) {
        wchar_t name[64] = {};
        swprintf(name, 64, L"\\copy%04d-", i);
        const std::wstring path = copies.root + name + unique + L".bin";
        WriteFile(path, copies.bytes);
        copies.paths.push_back(path);
    }
    return copies;
}

TEST(Removal, ButtonWaitsForATickThenNothingTickedAndNoChangeNothing) {
    const std::wstring root = MakeTree(L"removal-untouched");
    Desktop desktop(root);
    StartAndScan(desktop, root, kExactContentsPreset);
    const MainWindow& main = desktop.main;
    EXPECT_FALSE(IsWindowEnabled(desktop.deleteTicked)) << "enabled before any tick";

    // Ticked and unticked again: the button stays, and finds nothing.
    const std::vector<RemoteRow> before = ReadRows(main.list);
    const std::wstring copy = root + L"\\Photos\\beach - copy.jpg";
    const int row = RowOf(before, copy);
    ASSERT_GE(row, 0);
    ASSERT_TRUE(TickRow(main.list, row, true));
    ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(desktop.deleteTicked) != FALSE; }))
        << "a tick did not enable the button";
    ASSERT_TRUE(TickRow(main.list, row, false));
    HWND box = PressDelete(desktop);
    ASSERT_NE(box, nullptr) << "no message";
    EXPECT_EQ(MessageOf(box), texts::kNothingTicked);
    EXPECT_NE(Button(box, L"OK"), nullptr);
    EXPECT_EQ(Button(box, L"Yes"), nullptr);
    ASSERT_TRUE(AnswerBox(box, L"OK"));
    ASSERT_TRUE(FlowEnded(main));
    EXPECT_EQ(desktop.program.Window(L"_WND_PROGRESS_DLG_"), nullptr);

    // "No" to the question changes nothing, on the disk or in the list.
    ASSERT_TRUE(TickRow(main.list, row, true));
    HWND question = PressDelete(desktop);
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(MessageOf(question), texts::kConfirmDelete);
    Photograph(L"removal-question");
    ASSERT_TRUE(AnswerBox(question, L"No"));
    ASSERT_TRUE(FlowEnded(main));
    EXPECT_EQ(NextBox(desktop, 0), nullptr);
    EXPECT_EQ(desktop.program.Window(L"_WND_PROGRESS_DLG_"), nullptr);
    EXPECT_TRUE(Exists(copy));
    std::vector<RemoteRow> after = ReadRows(main.list);
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(after[static_cast<size_t>(row)].stateImage, 2);
    after[static_cast<size_t>(row)].stateImage = before[static_cast<size_t>(row)].stateImage;
    ExpectRowsEqual(after, before);

    CloseAndExpectExitCode(desktop.program, main.window);
    RemoveTree(root);
}

TEST(Removal, PermanentDeletesTheTickedFilesAndTheirRowsOnly) {
    const std::wstring root = MakeTree(L"removal-permanent");
    Desktop desktop(root);
    StartAndScan(desktop, root, kExactContentsPreset);
    const MainWindow& main = desktop.main;
    HWND permanent = Button(main.pane, texts::kDeletePermanently);
    ASSERT_NE(permanent, nullptr);
    ASSERT_TRUE(Repeat([&] { Click(permanent); }, [&] { return IsChecked(permanent); }));

    const std::wstring copy = root + L"\\Photos\\beach - copy.jpg";
    const std::wstring report = root + L"\\Backup\\report.txt";
    const size_t rowsBefore = ReadRows(main.list).size();
    Tick(main, {copy, report});
    HWND done = DeleteAndConfirm(desktop);
    Photograph(L"removal-report");
    ExpectReportAndClose(done, L"All the selected files have been successfully deleted.");

    EXPECT_FALSE(Exists(copy));
    EXPECT_FALSE(Exists(report));
    EXPECT_TRUE(Exists(root + L"\\Photos\\beach.jpg"));
    EXPECT_TRUE(Exists(root + L"\\Backup\\Photos (2)\\beach (2).jpg"));
    EXPECT_TRUE(Exists(root + L"\\Documents\\report.txt"));
    const std::vector<RemoteRow> rows = ReadRows(main.list);
    EXPECT_EQ(rows.size(), rowsBefore - 2);
    EXPECT_EQ(RowOf(rows, copy), -1);
    EXPECT_EQ(RowOf(rows, report), -1);
    EXPECT_TRUE(TickedPaths(main.list).empty());

    CloseAndExpectExitCode(desktop.program, main.window);
    RemoveTree(root);
}

TEST(Removal, RecycleMovesTheTickedFileToTheTrashWithItsInfo) {
    const std::wstring trash = TrashFolder();
    ASSERT_FALSE(trash.empty()) << "no XDG_DATA_HOME: run through scripts/wine-run.sh";
    const Copies copies = MakeCopies(L"recycle", 2, 5000);
    Desktop desktop(copies.root);
    StartAndScan(desktop, copies.root, kExactContentsPreset);
    const MainWindow& main = desktop.main;
    EXPECT_TRUE(IsChecked(Button(main.pane, texts::kRecycle)));

    const std::wstring& gone = copies.paths[1];
    const std::wstring name = gone.substr(gone.rfind(L'\\') + 1);
    Tick(main, {gone});
    ExpectReportAndClose(DeleteAndConfirm(desktop),
                         L"All the selected files have been successfully deleted.");

    EXPECT_FALSE(Exists(gone));
    EXPECT_TRUE(Exists(copies.paths[0]));
    EXPECT_EQ(ReadFileBytes(trash + L"\\files\\" + name), copies.bytes)
        << "not in the trash's files folder";
    const std::string info = ReadFileBytes(trash + L"\\info\\" + name + L".trashinfo");
    EXPECT_NE(info.find("[Trash Info]"), std::string::npos);
    const std::string narrow(name.begin(), name.end());
    EXPECT_NE(info.find("Path="), std::string::npos);
    EXPECT_NE(info.find(narrow), std::string::npos) << info;
    EXPECT_EQ(RowOf(ReadRows(main.list), gone), -1);

    CloseAndExpectExitCode(desktop.program, main.window);
    DeleteFileW((trash + L"\\files\\" + name).c_str());
    DeleteFileW((trash + L"\\info\\" + name + L".trashinfo").c_str());
    RemoveTree(copies.root);
}

TEST(Removal, ALockedFileFailsAloneAndStaysTicked) {
    const Copies copies = MakeCopies(L"locked", 4, 3000);
    Desktop desktop(copies.root);
    StartAndScan(desktop, copies.root, kExactContentsPreset);
    const MainWindow& main = desktop.main;
    HWND permanent = Button(main.pane, texts::kDeletePermanently);
    ASSERT_TRUE(Repeat([&] { Click(permanent); }, [&] { return IsChecked(permanent); }));

    // Held open without delete sharing, as another program would.
    const std::wstring& locked = copies.paths[2];
    HANDLE holder = CreateFileW(locked.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    Tick(main, {copies.paths[1], copies.paths[2], copies.paths[3]});
    ExpectReportAndClose(DeleteAndConfirm(desktop),
                         L"1 item could not be deleted. Those are still checked in the list.\r\n"
                         L"Not deleted because Windows refused (in use, no permission, or not "
                         L"taken by the recycle bin): 1");
    CloseHandle(holder);

    EXPECT_TRUE(Exists(copies.paths[0]));
    EXPECT_FALSE(Exists(copies.paths[1]));
    EXPECT_EQ(ReadFileBytes(locked), copies.bytes);
    EXPECT_FALSE(Exists(copies.paths[3]));
    EXPECT_EQ(TickedPaths(main.list), std::vector<std::wstring>{locked});

    CloseAndExpectExitCode(desktop.program, main.window);
    RemoveTree(copies.root);
}

TEST(Removal, CancelLeavesTheUnhandledRowsTickedAndOnDisk) {
    constexpr int kCount = 400;
    const Copies copies = MakeCopies(L"cancel", kCount, 64);
    Desktop desktop(copies.root);
    StartAndScan(desktop, copies.root, kExactContentsPreset);
    const MainWindow& main = desktop.main;
    const std::vector<std::wstring> doomed(copies.paths.begin() + 1, copies.paths.end());
    Tick(main, doomed);
    ASSERT_EQ(TickedPaths(main.list).size(), doomed.size());
    const auto rowCount = [&] { return SendMessageW(main.list, LVM_GETITEMCOUNT, 0, 0); };
    const LRESULT before = rowCount();

    HWND question = PressDelete(desktop);
    ASSERT_NE(question, nullptr);
    ASSERT_TRUE(AnswerBox(question, L"Yes"));
    // Cancelled once the first rows have gone, well before the last.
    HWND dialog = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
        dialog = desktop.program.Window(L"_WND_PROGRESS_DLG_", main.window);
        return dialog != nullptr && MessageOf(dialog) == texts::kDeletingFiles &&
               rowCount() < before;
    })) << "the removal did not start";
    HWND cancel = Button(dialog, L"Cancel");
    ASSERT_NE(cancel, nullptr);
    Click(cancel);
    HWND report = NextBox(desktop);
    ASSERT_NE(report, nullptr);
    Photograph(L"removal-cancelled");

    // The rows are handled from the bottom up: what stays is the top of the
    // ticked rows, each on the disk; what went is gone from both.
    const std::vector<std::wstring> left = TickedPaths(main.list);
    ASSERT_GT(left.size(), 0u) << "the cancel came after the end";
    ASSERT_LT(left.size(), doomed.size());
    for (size_t i = 0; i < doomed.size(); ++i) {
        if (i < left.size()) {
            EXPECT_EQ(left[i], doomed[i]);
            EXPECT_TRUE(Exists(doomed[i])) << i;
        } else {
            EXPECT_FALSE(Exists(doomed[i])) << i;
        }
    }
    EXPECT_TRUE(Exists(copies.paths[0]));
    wchar_t expected[256] = {};
    swprintf(expected, 256, texts::kCancelledMany, static_cast<int>(left.size()));
    ExpectReportAndClose(report, left.size() == 1 ? texts::kCancelledOne : expected);

    CloseAndExpectExitCode(desktop.program, main.window);
    RemoveTree(copies.root);
}

TEST(Removal, ClosingTheWindowDuringTheQuestionStartsNothing) {
    const Copies copies = MakeCopies(L"close", 3, 2000);
    Desktop desktop(copies.root);
    StartAndScan(desktop, copies.root, kExactContentsPreset);
    Tick(desktop.main, {copies.paths[1], copies.paths[2]});
    HWND question = PressDelete(desktop);
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(MessageOf(question), texts::kConfirmDelete);
    CloseAndExpectExitCode(desktop.program, desktop.main.window);
    for (const std::wstring& path : copies.paths)
        EXPECT_EQ(ReadFileBytes(path), copies.bytes);
    RemoveTree(copies.root);
}

TEST(Removal, AnUnverifiedItemNeedsItsOwnYes) {
    // Same size and similar names, different bytes: a group the scan made
    // without reading, and no proof that a copy stays.
    const std::wstring root = FreshRoot(L"unverified");
    const std::string song = RandomBytes(3, 20000);
    std::string other = song;
    other[100] ^= 0x21;
    WriteFile(root + L"\\song.mp3", song);
    WriteFile(root + L"\\song (2).mp3", other);
    const std::string photo = RandomBytes(4, 9000);
    WriteFile(root + L"\\photo.jpg", photo);
    WriteFile(root + L"\\photo - copy.jpg", photo);
    Desktop desktop(root);
    StartAndScan(desktop, root, kSimilarNamesPreset);
    const MainWindow& main = desktop.main;
    const std::wstring lookalike = root + L"\\song (2).mp3";
    const std::wstring copy = root + L"\\photo - copy.jpg";
    Tick(main, {lookalike, copy});

    // "No" keeps the look-alike and deletes the proven copy.
    HWND extra = PressDelete(desktop);
    ASSERT_NE(extra, nullptr);
    EXPECT_EQ(MessageOf(extra), texts::kUnverifiedOne);
    Photograph(L"removal-unverified");
    ASSERT_TRUE(AnswerBox(extra, L"No"));
    HWND question = NextBox(desktop);
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(MessageOf(question), texts::kConfirmDelete);
    ASSERT_TRUE(AnswerBox(question, L"Yes"));
    ExpectReportAndClose(NextBox(desktop),
                         L"The selected files have been deleted, except those listed below.\r\n"
                         L"Kept, as you chose, because no copy was proven identical: 1");
    EXPECT_EQ(ReadFileBytes(lookalike), other);
    EXPECT_FALSE(Exists(copy));
    EXPECT_EQ(ReadFileBytes(root + L"\\photo.jpg"), photo);
    EXPECT_EQ(TickedPaths(main.list), std::vector<std::wstring>{lookalike});

    // Asked again, "Yes" lets it go; its look-alike stays.
    extra = PressDelete(desktop);
    ASSERT_NE(extra, nullptr);
    EXPECT_EQ(MessageOf(extra), texts::kUnverifiedOne);
    ASSERT_TRUE(AnswerBox(extra, L"Yes"));
    question = NextBox(desktop);
    ASSERT_NE(question, nullptr);
    ASSERT_TRUE(AnswerBox(question, L"Yes"));
    ExpectReportAndClose(NextBox(desktop),
                         L"All the selected files have been successfully deleted.");
    EXPECT_FALSE(Exists(lookalike));
    EXPECT_EQ(ReadFileBytes(root + L"\\song.mp3"), song);

    CloseAndExpectExitCode(desktop.program, main.window);
    RemoveTree(root);
}

TEST(Removal, EveryCopyTickedKeepsOneOfEachGroupAndAResizeLosesNoBox) {
    const std::wstring root = FreshRoot(L"every-copy");
    const std::string a = RandomBytes(11, 4000);
    const std::string b = RandomBytes(12, 5000);
    const std::vector<std::wstring> as = {root + L"\\a0.bin", root + L"\\a1.bin",
                                          root + L"\\a2.bin"};
    const std::vector<std::wstring> bs = {root + L"\\b0.bin", root + L"\\b1.bin"};
    for (const std::wstring& path : as)
        WriteFile(path, a);
    for (const std::wstring& path : bs)
        WriteFile(path, b);
    Desktop desktop(root);
    StartAndScan(desktop, root, kExactContentsPreset);
    const MainWindow& main = desktop.main;
    SetPermanent(main);
    Tick(main, {as[0], as[1], as[2], bs[0], bs[1]});
    const std::wstring question =
        L"In 2 groups every copy is ticked; one copy of each will be kept.\r\n" +
        std::wstring(texts::kConfirmDelete);

    // The question outlives a resize of the window; "No" then deletes
    // nothing.
    HWND box = PressDelete(desktop);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageOf(box), question);
    Photograph(L"removal-every-copy-question");
    ASSERT_TRUE(Widen(main, 60)) << "the path column did not follow the new width";
    EXPECT_TRUE(Shows(box)) << "a resize closed the question";
    ASSERT_TRUE(AnswerBox(box, L"No"));
    ASSERT_TRUE(FlowEnded(main));
    for (const std::wstring& path : as)
        EXPECT_EQ(ReadFileBytes(path), a);
    for (const std::wstring& path : bs)
        EXPECT_EQ(ReadFileBytes(path), b);
    EXPECT_EQ(TickedPaths(main.list).size(), 5u);

    // "Yes": the first copy of each group stays, still ticked, and the
    // report says why; a resize does not take the report away either.
    box = PressDelete(desktop);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageOf(box), question);
    ASSERT_TRUE(AnswerBox(box, L"Yes"));
    HWND report = NextBox(desktop);
    ASSERT_NE(report, nullptr);
    ASSERT_TRUE(Widen(main, -60));
    EXPECT_TRUE(Shows(report)) << "a resize closed the report";
    Photograph(L"removal-every-copy-report");
    ExpectReportAndClose(report,
                         L"2 items could not be deleted. Those are still checked in the list.\r\n"
                         L"Not deleted because every copy of it was ticked: 2");
    EXPECT_EQ(ReadFileBytes(as[0]), a);
    EXPECT_EQ(ReadFileBytes(bs[0]), b);
    EXPECT_FALSE(Exists(as[1]));
    EXPECT_FALSE(Exists(as[2]));
    EXPECT_FALSE(Exists(bs[1]));
    EXPECT_EQ(TickedPaths(main.list), (std::vector<std::wstring>{as[0], bs[0]}));

    CloseAndExpectExitCode(desktop.program, main.window);
    RemoveTree(root);
}

TEST(Removal, WhatChangedAfterTheScanIsRefusedWithItsReason) {
    const std::wstring root = FreshRoot(L"changed");
    // Four groups of two, the first of each kept: one whose ticked copy is
    // rewritten, one whose kept copy is deleted, one left alone, and one
    // whose ticked copy is already gone.
    std::vector<std::wstring> kept, ticked;
    std::vector<std::string> bytes;
    for (int g = 0; g < 4; ++g) {
        bytes.push_back(RandomBytes(20 + g, 3000 + 100 * g));
        const std::wstring name = root + L"\\" + static_cast<wchar_t>(L'a' + g);
        kept.push_back(name + L"0.bin");
        ticked.push_back(name + L"1.bin");
        WriteFile(kept.back(), bytes.back());
        WriteFile(ticked.back(), bytes.back());
    }
    Desktop desktop(root);
    StartAndScan(desktop, root, kExactContentsPreset);
    const MainWindow& main = desktop.main;
    SetPermanent(main);
    Tick(main, ticked);
    const std::string saved = "new work saved into it";
    WriteFile(ticked[0], saved);
    ASSERT_TRUE(DeleteFileW(kept[1].c_str()));
    ASSERT_TRUE(DeleteFileW(ticked[3].c_str()));

    HWND report = DeleteAndConfirm(desktop);
    Photograph(L"removal-reasons-report");
    ExpectReportAndClose(report,
                         L"2 items could not be deleted. Those are still checked in the list.\r\n"
                         L"Not deleted because it changed on disk after the scan: 1\r\n"
                         L"Not deleted because the copy to keep changed or is gone: 1");
    EXPECT_EQ(ReadFileBytes(ticked[0]), saved);
    EXPECT_EQ(ReadFileBytes(ticked[1]), bytes[1]);
    EXPECT_FALSE(Exists(ticked[2]));
    EXPECT_EQ(ReadFileBytes(kept[0]), bytes[0]);
    EXPECT_EQ(ReadFileBytes(kept[2]), bytes[2]);
    EXPECT_EQ(ReadFileBytes(kept[3]), bytes[3]);
    EXPECT_EQ(TickedPaths(main.list), (std::vector<std::wstring>{ticked[0], ticked[1]}))
        << "the row of the file already gone stays";

    CloseAndExpectExitCode(desktop.program, main.window);
    RemoveTree(root);
}

// A file of `size` bytes that takes no room: all of it a hole, read as
// zeros.
bool WriteHollow(const std::wstring& path, LONGLONG size) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER end{};
    end.QuadPart = size;
    const bool done = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    return done;
}

TEST(Removal, CancelWhilePreparingDeletesNothingAndSaysHowFarItGot) {
    // Two large look-alikes matched by size and name only: before anything
    // goes they are compared in full, which takes a while.
    const std::wstring root = FreshRoot(L"preparing");
    constexpr LONGLONG kSize = 16LL << 30;
    const std::wstring big = root + L"\\big.bin";
    const std::wstring copy = root + L"\\big - copy.bin";
    ASSERT_TRUE(WriteHollow(big, kSize));
    ASSERT_TRUE(WriteHollow(copy, kSize));
    Desktop desktop(root);
    StartAndScan(desktop, root, kSimilarNamesPreset);
    const MainWindow& main = desktop.main;
    Tick(main, {copy});
    ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(desktop.deleteTicked) != FALSE; }));

    // The dialog tells how far the comparison is; cancelled part way.
    HWND dialog = nullptr;
    std::wstring shown;
    ASSERT_TRUE(Repeat([&] { PressImageButton(desktop.deleteTicked); },
                       [&] {
                           dialog = desktop.program.Window(L"_WND_PROGRESS_DLG_", main.window);
                           shown = dialog ? MessageOf(dialog) : L"";
                           return shown.find(L"Checked 0 of 1 items, ") != std::wstring::npos &&
                                  shown.find(L" of 32 GB compared") != std::wstring::npos &&
                                  shown.find(L", 0 bytes of") == std::wstring::npos;
                       }))
        << "no progress shown; last: " << std::string(shown.begin(), shown.end());
    Photograph(L"removal-preparing");
    HWND cancel = Button(dialog, L"Cancel");
    ASSERT_NE(cancel, nullptr);
    Click(cancel);
    ExpectReportAndClose(NextBox(desktop),
                         L"Nothing was deleted.\r\nThe preparation was cancelled after 0 of 1 "
                         L"ticked items had been checked.");
    ASSERT_TRUE(FlowEnded(main));
    EXPECT_TRUE(Exists(big));
    EXPECT_TRUE(Exists(copy));
    EXPECT_EQ(TickedPaths(main.list), std::vector<std::wstring>{copy});

    CloseAndExpectExitCode(desktop.program, main.window);
    RemoveTree(root);
}

}  // namespace
}  // namespace cs::driver
