// The list-view back end of the result rows, on a real list view under Wine:
// what a row holds comes back exactly, separators carry no check box and
// their colour record, every row knows its list group even where the control
// has no groups, and a worker thread can use the rows while the thread that
// owns the control pumps.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include "app/kept_rows.h"
#include "app/result_list_view.h"
#include "engine/options.h"
#include "engine/scan.h"
#include "engine/scan_results.h"
#include "list_window.h"
#include "removal/verify.h"
#include "results/result_list.h"
#include "results/selection.h"
#include "support/temp_tree.h"
#include "toolkit/controls.h"

namespace cs::app {
namespace {

using results::kFileGroup;
using results::kFolderGroup;
using results::kNameColumn;
using results::kPathColumn;
using results::kSizeColumn;
using results::kTicked;
using results::kUnticked;
using results::kZeroByteGroup;
using results::MakeItemRow;
using results::MakeSeparatorRow;
using test::ResultListWindow;

std::u16string HeaderText(HWND list, int column) {
    wchar_t buffer[64] = {};
    LVCOLUMNW spec{};
    spec.mask = LVCF_TEXT;
    spec.pszText = buffer;
    spec.cchTextMax = 64;
    SendMessageW(list, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&spec));
    return std::u16string(buffer, buffer + wcslen(buffer));
}

TEST(ResultListView, PreparedAsTheMainWindowShowsIt) {
    ResultListWindow window(1000);
    ListViewRows rows(window.List());
    EXPECT_EQ(rows.ColumnCount(), 3);
    EXPECT_EQ(HeaderText(window.List(), 0), u" Full path");
    EXPECT_EQ(HeaderText(window.List(), 1), u" File name");
    EXPECT_EQ(HeaderText(window.List(), 2), u" Size");
    EXPECT_EQ(SendMessageW(window.List(), LVM_GETCOLUMNWIDTH, 0, 0), 1000 - 420);
    EXPECT_EQ(SendMessageW(window.List(), LVM_GETCOLUMNWIDTH, 1, 0), 170);
    EXPECT_EQ(SendMessageW(window.List(), LVM_GETCOLUMNWIDTH, 2, 0), 100);
    const DWORD extended =
        static_cast<DWORD>(SendMessageW(window.List(), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    EXPECT_EQ(extended & (LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT),
              static_cast<DWORD>(LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT));
    // The instance decides from what the control really does.
    EXPECT_EQ(rows.GroupsSupported(), window.GroupsSupported());
    EXPECT_EQ(rows.GroupsSupported(), SendMessageW(window.List(), LVM_GETGROUPCOUNT, 0, 0) == 4);
}

TEST(ResultListView, RowsReadBackExactlyAsAppended) {
    ResultListWindow window;
    ListViewRows rows(window.List());
    // Longer than MAX_PATH, and not only ASCII.
    const std::u16string longPath =
        u"C:\\" + std::u16string(300, u'x') + u"\\\u00e9t\u00e9 \u65e5.txt";
    results::RowData folder =
        MakeItemRow(kFolderGroup, results::kFolderImage, u"C:\\Data", u"N/A (Folder)");
    results::RowData file = MakeItemRow(kFileGroup, results::kFileImage, longPath, u"1.5 KB");
    file.stateImage = kTicked;
    results::RowData empty = MakeItemRow(kZeroByteGroup, results::kFileImage, u"D:", u"0 bytes");
    rows.Append(folder);
    rows.Append(file);
    rows.Append(empty);

    ASSERT_EQ(rows.Count(), 3);
    EXPECT_EQ(rows.Text(0, kPathColumn), u"C:\\Data");
    EXPECT_EQ(rows.Text(0, kNameColumn), u"Data");
    EXPECT_EQ(rows.Text(0, kSizeColumn), u"N/A (Folder)");
    EXPECT_EQ(rows.Text(1, kPathColumn), longPath);
    EXPECT_EQ(rows.Text(1, kNameColumn), u"\u00e9t\u00e9 \u65e5.txt");
    EXPECT_EQ(rows.Text(2, kNameColumn), u"D:");
    EXPECT_EQ(rows.StateImage(0), kUnticked);
    EXPECT_EQ(rows.StateImage(1), kTicked);
    EXPECT_EQ(rows.Group(0), kFolderGroup);
    EXPECT_EQ(rows.Group(1), kFileGroup);
    EXPECT_EQ(rows.Group(2), kZeroByteGroup);
    EXPECT_EQ(rows.Image(0), results::kFolderImage);
    EXPECT_EQ(rows.Image(1), results::kFileImage);
    for (int32_t r = 0; r < 3; ++r)
        EXPECT_EQ(rows.ItemData(r), 0) << "only separators carry item data";

    // Rows that do not exist read as -1 and empty texts.
    for (int32_t missing : {-1, 3, 1000}) {
        EXPECT_EQ(rows.StateImage(missing), -1) << missing;
        EXPECT_EQ(rows.Group(missing), -1) << missing;
        EXPECT_EQ(rows.Text(missing, kPathColumn), u"") << missing;
    }
    EXPECT_EQ(rows.Text(0, 3), u"");
}

int keptReleased = 0;
void ReleaseKept(LPARAM data) {
    ++keptReleased;
    delete reinterpret_cast<toolkit::ListRowData*>(data);
}
LPARAM MakeKeptSeparator() {
    return reinterpret_cast<LPARAM>(new toolkit::ListRowData);
}
LPARAM MakeKeptTexts(std::wstring_view path, std::wstring_view name, std::wstring_view size) {
    return reinterpret_cast<LPARAM>(toolkit::NewRowWithTexts({path, name, size}));
}

// The list the main window makes keeps no rows; the procedure in front of
// it answers for them as a list with rows of its own does.
TEST(ResultListView, KeptRowsAnswerAsTheListItselfWould) {
    ResultListWindow window(900, 300, true);
    ASSERT_TRUE(KeepRowsForList(window.List(), ReleaseKept));
    EXPECT_FALSE(KeepRowsForList(window.List(), ReleaseKept)) << "put in front twice";
    ListViewRows rows(window.List(), MakeKeptSeparator, ReleaseKept, MakeKeptTexts);
    keptReleased = 0;
    results::RowData ticked = MakeItemRow(kFileGroup, results::kFileImage, u"C:\\b.txt", u"2 KB");
    ticked.stateImage = kTicked;
    rows.Append(MakeItemRow(kFileGroup, results::kFileImage, u"C:\\a.txt", u"1 KB"));
    rows.Append(MakeSeparatorRow(kFileGroup));
    rows.Append(MakeItemRow(kZeroByteGroup, results::kFileImage, u"C:\\z.txt", u"0 bytes"));
    rows.Insert(1, ticked);

    struct Expected {
        std::u16string path, name;
        int state, group, image;
    };
    auto expectRows = [&](const std::vector<Expected>& expected, const char* when) {
        ASSERT_EQ(rows.Count(), static_cast<int32_t>(expected.size())) << when;
        for (int32_t r = 0; r < rows.Count(); ++r) {
            const Expected& row = expected[static_cast<size_t>(r)];
            EXPECT_EQ(rows.Text(r, kPathColumn), row.path) << when << " row " << r;
            EXPECT_EQ(rows.Text(r, kNameColumn), row.name) << when << " row " << r;
            EXPECT_EQ(rows.StateImage(r), row.state) << when << " row " << r;
            EXPECT_EQ(rows.Group(r), row.group) << when << " row " << r;
            EXPECT_EQ(rows.Image(r), row.image) << when << " row " << r;
        }
    };
    const int file = results::kFileImage;
    expectRows({{u"C:\\a.txt", u"a.txt", kUnticked, kFileGroup, file},
                {u"C:\\b.txt", u"b.txt", kTicked, kFileGroup, file},
                {u"", u"", results::kNoCheckBox, kFileGroup, results::kSeparatorImage},
                {u"C:\\z.txt", u"z.txt", kUnticked, kZeroByteGroup, file}},
               "filled");
    EXPECT_EQ(SendMessageW(window.List(), LVM_GETITEMCOUNT, 0, 0), 4) << "the list's own count";
    EXPECT_EQ(rows.StateImage(4), -1);
    EXPECT_EQ(rows.Text(4, kPathColumn), u"");

    // The highlight stays with its row when a row goes in above it.
    rows.SetSelectedFocused(3, true);
    rows.Insert(0, MakeItemRow(kFileGroup, results::kFileImage, u"C:\\0.txt", u"0 KB"));
    EXPECT_EQ(rows.FirstSelected(), 4);
    EXPECT_EQ(rows.Text(rows.FirstSelected(), kNameColumn), u"z.txt");

    // Ticks, deletions and the whole list going free each row's record once.
    rows.SetStateImage(0, kTicked);
    rows.SetStateImage(2, kUnticked);
    rows.DeleteRow(3);
    EXPECT_EQ(keptReleased, 1);
    expectRows({{u"C:\\0.txt", u"0.txt", kTicked, kFileGroup, file},
                {u"C:\\a.txt", u"a.txt", kUnticked, kFileGroup, file},
                {u"C:\\b.txt", u"b.txt", kUnticked, kFileGroup, file},
                {u"C:\\z.txt", u"z.txt", kUnticked, kZeroByteGroup, file}},
               "changed");
    rows.DeleteAll();
    EXPECT_EQ(rows.Count(), 0);
    EXPECT_EQ(keptReleased, 5);
}

int separatorRecords = 0;
int separatorRecord = 0;
LPARAM MakeSeparatorRecord() {
    ++separatorRecords;
    return reinterpret_cast<LPARAM>(&separatorRecord);
}

TEST(ResultListView, SeparatorHasNoCheckBoxAndCarriesItsRecord) {
    ResultListWindow window;
    ListViewRows rows(window.List(), MakeSeparatorRecord);
    separatorRecords = 0;
    rows.Append(MakeItemRow(kFileGroup, results::kFileImage, u"C:\\a.txt", u"1 KB"));
    rows.Append(MakeSeparatorRow(kFileGroup));
    rows.Append(MakeItemRow(kZeroByteGroup, results::kFileImage, u"C:\\z.txt", u"0 bytes"));

    EXPECT_EQ(separatorRecords, 1) << "one record per separator, none for item rows";
    EXPECT_EQ(rows.StateImage(1), results::kNoCheckBox);
    // The control itself shows no check box: no state-image bits at all.
    EXPECT_EQ(SendMessageW(window.List(), LVM_GETITEMSTATE, 1, LVIS_STATEIMAGEMASK), 0);
    EXPECT_EQ(rows.ItemData(1), reinterpret_cast<LPARAM>(&separatorRecord));
    EXPECT_EQ(rows.ItemData(0), 0);
    EXPECT_EQ(rows.ItemData(2), 0);
    EXPECT_EQ(rows.Image(1), results::kSeparatorImage);
    EXPECT_EQ(rows.Group(1), kFileGroup) << "a separator belongs to the group above it";
    EXPECT_EQ(rows.Text(1, kPathColumn), u"");

    // Without a factory a separator's item data is 0.
    ListViewRows plain(window.List());
    plain.Append(MakeSeparatorRow(kFolderGroup));
    EXPECT_EQ(plain.ItemData(3), 0);
    EXPECT_EQ(plain.StateImage(3), results::kNoCheckBox);
}

// Where the control has groups the group id is read back; where it has none
// (Wine) the answer must still come from the row itself, not from its place
// in the list or its size text.
TEST(ResultListView, EveryRowKnowsItsGroupAfterDeletionsAndStateChanges) {
    ResultListWindow window;
    ListViewRows rows(window.List());
    struct Expected {
        std::u16string path;
        int group;
    };
    std::vector<Expected> expected;
    auto add = [&](int group, const char16_t* path, const char16_t* size) {
        rows.Append(MakeItemRow(group,
                                group == kFolderGroup ? results::kFolderImage : results::kFileImage,
                                path, size));
        expected.push_back({path, group});
    };
    auto separator = [&](int group) {
        rows.Append(MakeSeparatorRow(group));
        expected.push_back({u"", group});
    };
    add(kFolderGroup, u"C:\\f1\\a", u"N/A (Folder)");
    add(kFolderGroup, u"C:\\f2\\a", u"N/A (Folder)");
    separator(kFolderGroup);
    add(kFolderGroup, u"C:\\f1\\b", u"N/A (Folder)");
    add(kFolderGroup, u"C:\\f2\\b", u"N/A (Folder)");
    add(kFileGroup, u"C:\\d1\\x.txt", u"1 KB");
    // A file measured after it vanished reads "0 bytes", yet it is a member
    // of a match group, not a zero-byte file.
    add(kFileGroup, u"C:\\d2\\x.txt", u"0 bytes");
    separator(kFileGroup);
    add(kFileGroup, u"C:\\d1\\y.txt", u"0 bytes");
    add(kFileGroup, u"C:\\d2\\y.txt", u"2 KB");
    separator(kFileGroup);
    add(kZeroByteGroup, u"C:\\z\\a", u"0 bytes");
    add(kZeroByteGroup, u"C:\\z\\b", u"0 bytes");

    auto check = [&](const char* when) {
        ASSERT_EQ(rows.Count(), static_cast<int32_t>(expected.size())) << when;
        for (int32_t r = 0; r < rows.Count(); ++r) {
            EXPECT_EQ(rows.Group(r), expected[r].group) << when << ", row " << r;
            EXPECT_EQ(rows.Text(r, kPathColumn), expected[r].path) << when << ", row " << r;
        }
    };
    check("as appended");

    // Ticking, unticking and selecting share the row's state word.
    for (int32_t r = 0; r < rows.Count(); ++r) {
        if (rows.StateImage(r) > 0)
            rows.SetStateImage(r, r % 2 ? kTicked : kUnticked);
        rows.SetSelectedFocused(r, r % 3 == 0);
    }
    check("after state changes");

    // Deleting rows moves the later ones up; each keeps its own group.
    for (int32_t row : {11, 8, 6, 2, 0}) {
        rows.DeleteRow(row);
        expected.erase(expected.begin() + row);
    }
    rows.Arrange();
    check("after deletions");
    rows.DeleteAll();
    EXPECT_EQ(rows.Count(), 0);
}

TEST(ResultListView, NegativeRowsTouchNoRow) {
    ResultListWindow window;
    ListViewRows rows(window.List());
    for (int i = 0; i < 4; ++i)
        rows.Append(MakeItemRow(kFileGroup, results::kFileImage, u"C:\\r", u"1 KB"));
    // To the control, row -1 means every row.
    rows.SetStateImage(-1, kTicked);
    rows.SetSelectedFocused(-1, true);
    rows.DeleteRow(-1);
    ASSERT_EQ(rows.Count(), 4);
    for (int32_t r = 0; r < 4; ++r) {
        EXPECT_EQ(rows.StateImage(r), kUnticked);
        EXPECT_FALSE(rows.IsSelected(r));
    }
    EXPECT_EQ(rows.FirstSelected(), -1);
    rows.SetSelectedFocused(2, true);
    EXPECT_EQ(rows.FirstSelected(), 2);
    EXPECT_TRUE(rows.IsSelected(2));
    EXPECT_EQ(SendMessageW(window.List(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED),
              2);
    rows.SetSelectedFocused(2, false);
    EXPECT_EQ(rows.FirstSelected(), -1);
}

TEST(ResultListView, EnsureVisibleScrollsOnlyWhenTheRowIsHidden) {
    ResultListWindow window(900, 200);
    ShowWindow(window.Frame(), SW_SHOWNOACTIVATE);
    ListViewRows rows(window.List());
    for (int i = 0; i < 300; ++i)
        rows.Append(MakeItemRow(kFileGroup, results::kFileImage, u"C:\\r", u"1 KB"));
    ASSERT_FALSE(SendMessageW(window.List(), LVM_ISITEMVISIBLE, 250, 0));
    rows.EnsureVisible(250);
    EXPECT_TRUE(SendMessageW(window.List(), LVM_ISITEMVISIBLE, 250, 0));
    const LRESULT top = SendMessageW(window.List(), LVM_GETTOPINDEX, 0, 0);
    EXPECT_GT(top, 0);
    // A row already in view does not move the list.
    rows.EnsureVisible(static_cast<int32_t>(top));
    EXPECT_EQ(SendMessageW(window.List(), LVM_GETTOPINDEX, 0, 0), top);
}

// --- A worker thread on the rows ---------------------------------------------

struct Work {
    ListViewRows* rows;
    void (*body)(Work&);
    engine::ScanResults results;
    std::atomic<uint8_t> cancel{0};
    std::atomic<int32_t> failures{0};
    int32_t removed = 0;
    removal::ScanRecord record;
    std::vector<removal::ItemVerdict> verdicts;
    std::vector<int> groups;
    DWORD ownerThread = 0;
    bool ranElsewhere = false;
};

DWORD WINAPI RunWork(void* parameter) {
    auto* work = static_cast<Work*>(parameter);
    work->ranElsewhere = GetCurrentThreadId() != work->ownerThread;
    work->body(*work);
    return 0;
}

void RunOnWorker(Work& work) {
    work.ownerThread = GetCurrentThreadId();
    HANDLE thread = CreateThread(nullptr, 0, RunWork, &work, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    const bool ended = test::PumpUntilEnded(thread);
    if (!ended)
        work.cancel.store(1);
    WaitForSingleObject(thread, ended ? 0 : 60000);
    CloseHandle(thread);
    ASSERT_TRUE(ended) << "the worker must finish while this thread pumps";
    EXPECT_TRUE(work.ranElsewhere);
}

TEST(ResultListViewWorker, RebuildsTheListFromAnotherThread) {
    ResultListWindow window;
    ListViewRows rows(window.List(), MakeSeparatorRecord);
    Work work;
    work.rows = &rows;
    for (int g = 0; g < 3; ++g) {
        engine::MatchGroup group;
        const std::u16string n(1, static_cast<char16_t>(u'a' + g));
        group.paths = u"C:\\x\\" + n + u"\nC:\\y\\" + n;
        group.count = 2;
        group.size = 10;
        group.founderSequence = static_cast<uint64_t>(g);
        work.results.matchGroups.push_back(group);
    }
    work.results.zeroByteFiles = {u"C:\\z\\1", u"C:\\z\\2"};
    work.body = [](Work& w) {
        results::RebuildResultList(*w.rows, w.results, engine::CRIT_SAME_SIZE);
        for (int32_t r = 0; r < w.rows->Count(); ++r)
            w.groups.push_back(w.rows->Group(r));
    };
    RunOnWorker(work);
    EXPECT_EQ(work.groups, (std::vector<int>{2, 2, 2, 2, 2, 2, 2, 2, 2, 3, 3}));
    ASSERT_EQ(rows.Count(), 11);
    EXPECT_EQ(rows.StateImage(2), results::kNoCheckBox);
    EXPECT_EQ(rows.Text(3, kPathColumn), u"C:\\x\\b");
    EXPECT_EQ(rows.Text(8, kPathColumn), u"");
    EXPECT_EQ(rows.Text(9, kSizeColumn), u"0 bytes");
}

// The program's removal thread: the verified removal deletes the rows of
// removed items from a worker while the owner of the list pumps.
TEST(ResultListViewWorker, RemovesTickedItemsFromAnotherThread) {
    test::TempTree tree;
    for (int i = 0; i < 30; ++i)
        tree.Write("f" + std::to_string(i) + ".txt", "copy of group " + std::to_string(i % 10));
    ResultListWindow window;
    ListViewRows rows(window.List());
    Work work;
    work.rows = &rows;
    engine::ScanOptions options;
    options.rootPath = tree.Root16();
    options.criteria = engine::CRIT_RECURSIVE | engine::CRIT_SAME_SIZE | engine::CRIT_EXACT_CONTENTS;
    ASSERT_EQ(engine::RunScan(options, work.results, work.cancel), engine::ScanOutcome::Completed);
    results::RebuildResultList(rows, work.results, options.criteria);
    results::KeepFirst(rows);
    work.record = removal::ScanRecord(work.results, options.criteria);
    work.verdicts = removal::VerifyTickedItems(rows, work.record, work.cancel);
    ASSERT_EQ(work.verdicts.size(), 20u);
    work.body = [](Work& w) {
        w.removed = removal::RemoveVerifiedItems(*w.rows, w.verdicts, w.record, false, {},
                                                 w.cancel, w.failures);
    };
    RunOnWorker(work);
    EXPECT_EQ(work.removed, 20);
    EXPECT_EQ(work.failures.load(), 0);
    int32_t items = 0;
    for (int32_t row = 0; row < rows.Count(); ++row) {
        if (rows.StateImage(row) == results::kNoCheckBox)
            continue;
        ++items;
        EXPECT_EQ(rows.StateImage(row), kUnticked);
        EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(rows.Text(row, kPathColumn))));
    }
    EXPECT_EQ(items, 10) << "one keeper of each group";
    for (const removal::ItemVerdict& v : work.verdicts)
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(v.path))) << v.row;
}

}  // namespace
}  // namespace cs::app
