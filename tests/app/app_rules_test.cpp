// The desktop program's own rules, without its windows: the main window's
// size by screen, the column refit, the root a command line names, the root
// the setup window stores, the end-of-scan tip and the section titles that
// stand in for list groups where the control has none.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/main_window.h"
#include "app/removal_flow.h"
#include "app/scan_flow.h"
#include "app/section_rows.h"
#include "app/setup_window.h"
#include "app/texts.h"
#include "app/window_rules.h"
#include "engine/scan_results.h"
#include "list_window.h"
#include "results/list_fill.h"
#include "results/memory_rows.h"
#include "results/result_list.h"
#include "results/selection.h"

namespace cs::app {
namespace {

TEST(MainWindowSize, FollowsTheScreenResolution) {
    const SIZE wide = MainClientSizeForScreen(1920, 1080);
    EXPECT_EQ(wide.cx, 1300);
    EXPECT_EQ(wide.cy, 900);
    const SIZE middle = MainClientSizeForScreen(1024, 768);
    EXPECT_EQ(middle.cx, 800);
    EXPECT_EQ(middle.cy, 900);
    const SIZE narrow = MainClientSizeForScreen(800, 600);
    EXPECT_EQ(narrow.cx, 750);
    EXPECT_EQ(narrow.cy, 900);
    // The bounds belong to the smaller size.
    EXPECT_EQ(MainClientSizeForScreen(1500, 900).cx, 800);
    EXPECT_EQ(MainClientSizeForScreen(1501, 900).cx, 1300);
    EXPECT_EQ(MainClientSizeForScreen(950, 900).cx, 750);
    EXPECT_EQ(MainClientSizeForScreen(951, 900).cx, 800);
    EXPECT_EQ(MainClientSizeForScreen(951, 100).cy, 550);
}

TEST(MainWindowSize, IsCutToTheWorkAreaOnlyWhereItDoesNotFit) {
    // 900 client rows on a 768-pixel screen with a 40-pixel task bar.
    const SIZE cut = FitClientIntoWorkArea({800, 900}, {16, 39}, {1024, 728});
    EXPECT_EQ(cut.cx, 800);
    EXPECT_EQ(cut.cy, 728 - 39);
    const SIZE kept = FitClientIntoWorkArea({1300, 900}, {16, 39}, {1600, 1160});
    EXPECT_EQ(kept.cx, 1300);
    EXPECT_EQ(kept.cy, 900);
}

TEST(MainWindowSize, ARefitGivesTheWholeWidthChangeToThePathColumn) {
    const int before = PathColumnWidthFor(1300, 170, 100);
    EXPECT_EQ(PathColumnWidthFor(1400, 170, 100), before + 100);
    // Name and size columns and the pane keep what they have.
    EXPECT_EQ(before + 170 + 100 + 180, 1300 - 20);
}

TEST(RemovalReport, CountsOnlyRefusalsInItsFirstLineAndNamesEveryReason) {
    RemovalTally all;
    all.ticked = all.removed = 3;
    EXPECT_EQ(RemovalReportText(all), L"All the selected files have been successfully deleted.");

    RemovalTally kept = all;
    kept.removed = 2;
    kept[NotDeleted::KeptByChoice] = 1;
    EXPECT_EQ(RemovalReportText(kept),
              L"The selected files have been deleted, except those listed below.\r\n"
              L"Kept, as you chose, because no copy was proven identical: 1");

    RemovalTally mixed;
    mixed.ticked = 9;
    mixed.removed = 2;
    mixed[NotDeleted::KeptByChoice] = 2;
    mixed[NotDeleted::WindowsRefused] = 1;
    mixed[NotDeleted::EveryCopyTicked] = 4;
    EXPECT_EQ(RemovalReportText(mixed),
              L"5 items could not be deleted. Those are still checked in the list.\r\n"
              L"Not deleted because every copy of it was ticked: 4\r\n"
              L"Not deleted because Windows refused (in use, no permission, or not taken by the "
              L"recycle bin): 1\r\n"
              L"Kept, as you chose, because no copy was proven identical: 2");

    // A cancel left items unreached: every item not deleted is counted.
    RemovalTally cancelled;
    cancelled.ticked = 10;
    cancelled.removed = 4;
    cancelled[NotDeleted::ChangedOnDisk] = 1;
    EXPECT_EQ(RemovalReportText(cancelled),
              L"The removal was cancelled: 6 items were not deleted. Those are still checked in "
              L"the list.\r\nNot deleted because it changed on disk after the scan: 1");
}

TEST(RemovalQuestion, SaysFirstHowManyGroupsKeepOneCopy) {
    EXPECT_EQ(ConfirmQuestion(0), texts::kConfirmDelete);
    EXPECT_EQ(ConfirmQuestion(3),
              L"In 3 groups every copy is ticked; one copy of each will be kept.\r\n" +
                  std::wstring(texts::kConfirmDelete));
}

TEST(WouldRun, ProgramsScriptsAndShortcutsByTheirExtensionOnly) {
    const std::wstring pathext = L".COM;.EXE;.BAT;.CMD;.VBS;.JS;.WSF;.MSC";
    for (const wchar_t* runs : {L".exe", L".EXE", L".Cmd", L".msc", L".lnk", L".URL", L".pif",
                                L".scf"})
        EXPECT_TRUE(IsRunnableExtension(runs, pathext)) << std::string(runs, runs + wcslen(runs));
    for (const wchar_t* shows : {L".txt", L".jpg", L".ex", L".exe2", L".", L""})
        EXPECT_FALSE(IsRunnableExtension(shows, pathext))
            << std::string(shows, shows + wcslen(shows));
    EXPECT_EQ(ExtensionOf(L"C:\\a.b\\tool.exe"), L".exe");
    EXPECT_EQ(ExtensionOf(L"C:\\a.b\\README"), L"");
    EXPECT_EQ(ExtensionOf(L"C:\\tool"), L"");
}

TEST(CommandLine, GivesTheRootBetweenTheFirstTwoQuotesOrTheWholeLine) {
    EXPECT_EQ(RootFromCommandLine(L"\"C:\\My files\""), L"C:\\My files");
    EXPECT_EQ(RootFromCommandLine(L"C:\\My files"), L"C:\\My files");
    EXPECT_EQ(RootFromCommandLine(L"\"C:\\a\" \"D:\\b\""), L"C:\\a");
    EXPECT_EQ(RootFromCommandLine(L"C:\\a\"b"), L"C:\\a\"b");
    EXPECT_EQ(RootFromCommandLine(L""), L"");
    EXPECT_EQ(RootFromCommandLine(nullptr), L"");
}

TEST(SetupRoot, LosesEveryTrailingBackslash) {
    EXPECT_EQ(CleanRoot(L"C:\\"), L"C:");
    EXPECT_EQ(CleanRoot(L"C:\\data\\\\"), L"C:\\data");
    EXPECT_EQ(CleanRoot(L"C:\\data"), L"C:\\data");
    EXPECT_EQ(CleanRoot(L"\\"), L"");
}

struct WithSkips {
    struct {
        uint64_t foldersNotListed = 3;
        uint64_t filesNotRead = 7;
    } skips;
};
struct WithoutSkips {};

TEST(EndOfScanTip, SaysWhereTheScanCouldNotLook) {
    EXPECT_EQ(EndOfScanText(1, {}), texts::kNoDuplicates);
    EXPECT_EQ(EndOfScanText(2, {}), texts::kDuplicatesFound);
    const std::wstring told = EndOfScanText(0, SkipsOf(WithSkips{}));
    EXPECT_EQ(told.rfind(texts::kNoDuplicates, 0), 0u);
    EXPECT_NE(told.find(L"3 folder(s)"), std::wstring::npos)
        << std::string(told.begin(), told.end());
    EXPECT_NE(told.find(L"7 file(s)"), std::wstring::npos);
    EXPECT_EQ(SkipsOf(WithoutSkips{}).filesNotRead, 0u);
    EXPECT_EQ(EndOfScanText(5, SkipsOf(WithoutSkips{})), texts::kDuplicatesFound);
    // A root that could not be opened is never "no duplicates".
    engine::ScanResults unlisted;
    unlisted.rootListed = false;
    EXPECT_EQ(EndOfScanText(0, SkipsOf(unlisted)), texts::kRootNotListed);
    EXPECT_EQ(EndOfScanText(0, SkipsOf(engine::ScanResults{})), texts::kNoDuplicates);
    // Nor is a cancelled scan, which did not look everywhere either.
    EXPECT_EQ(EndOfScanText(0, {}, true), texts::kScanCancelled);
    EXPECT_EQ(EndOfScanText(0, SkipsOf(WithSkips{}), true).rfind(texts::kScanCancelled, 0), 0u);
}

// A worker's exception must end its work, not the process (which would
// end this test binary too); its exit code is the flows' failure mark.
TEST(WorkerThread, AnExceptionEndsTheWorkNotTheProcess) {
    const auto finish = [](LPTHREAD_START_ROUTINE entry) {
        toolkit::UniqueHandle thread = StartWorkerThread(entry, nullptr);
        EXPECT_TRUE(thread);
        if (!thread)
            return DWORD{0};
        EXPECT_EQ(WaitForSingleObject(thread.Get(), 60000), WAIT_OBJECT_0);
        DWORD code = 0;
        EXPECT_TRUE(toolkit::ThreadEnded(thread.Get(), code));
        return code;
    };
    EXPECT_EQ(finish([](void*) -> DWORD { throw std::runtime_error("disk on fire"); }),
              kWorkerFailed);
    EXPECT_EQ(finish([](void*) -> DWORD { return 7; }), 7u) << "a normal end keeps its code";
}

engine::ScanResults ThreeSections() {
    engine::ScanResults results;
    engine::FolderGroup folders;
    folders.paths = u"C:\\a\\Photos\nC:\\b\\Photos (2)";
    folders.count = 2;
    results.folderGroups.push_back(folders);
    for (int g = 0; g < 2; ++g) {
        engine::MatchGroup group;
        group.paths =
            g == 0 ? u"C:\\a\\x.jpg\nC:\\b\\x.jpg\nC:\\c\\x.jpg" : u"C:\\a\\y.txt\nC:\\b\\y.txt";
        group.count = g == 0 ? 3 : 2;
        group.size = 1000 + g;
        group.founderSequence = static_cast<uint64_t>(g);
        results.matchGroups.push_back(group);
    }
    results.zeroByteFiles = {u"C:\\a\\e1", u"C:\\b\\e2"};
    return results;
}

TEST(SectionRows, TitlesSeparateTheSectionsWithoutChangingWhatTheRulesSee) {
    test::ResultListWindow window;
    SectionedRows rows(window.List(), nullptr, nullptr, nullptr);
    const engine::ScanResults results = ThreeSections();
    const uint32_t criteria = engine::CRIT_SAME_SIZE | engine::CRIT_LIST_ZERO_BYTE;
    results::RebuildResultList(rows, results, criteria);
    results::MemoryRows plain;
    results::RebuildResultList(plain, results, criteria);

    ASSERT_EQ(rows.ResultRowCount(), plain.Count());
    if (window.GroupsSupported()) {
        EXPECT_EQ(rows.TitleCount(), 0);
        return;
    }
    // One title before each section, carrying that section's group.
    ASSERT_EQ(rows.TitleCount(), 3);
    EXPECT_EQ(rows.StateImage(0), results::kNoCheckBox);
    EXPECT_EQ(rows.Group(0), results::kFolderGroup);
    EXPECT_TRUE(rows.Text(0, 0).empty() && rows.Text(0, 1).empty());

    // The rules tick the same items on both: a title never joins two runs.
    results::KeepFirst(rows);
    results::KeepFirst(plain);
    int32_t shown = 0;
    for (int32_t r = 0; r < rows.Count(); ++r) {
        if (rows.Text(r, 0).empty())
            continue;
        while (plain.Text(shown, 0).empty())
            ++shown;
        EXPECT_EQ(rows.Text(r, 0), plain.Text(shown, 0));
        EXPECT_EQ(rows.StateImage(r), plain.StateImage(shown)) << "row " << r;
        EXPECT_EQ(rows.Group(r), plain.Group(shown)) << "row " << r;
        ++shown;
    }
    // A second rebuild starts the titles again.
    results::RebuildResultList(rows, results, criteria);
    EXPECT_EQ(rows.TitleCount(), 3);
    EXPECT_EQ(rows.Count(), plain.Count() + 3);

    // Filled from hand-overs instead (the zero-byte files and the second
    // group first), the titles take the rebuild's places.
    auto describe = [&rows](int32_t r) {
        return std::u16string{static_cast<char16_t>(u'0' + rows.StateImage(r)),
                              static_cast<char16_t>(u'0' + rows.Group(r)), u' '} +
               rows.Text(r, 0);
    };
    std::vector<std::u16string> rebuilt;
    for (int32_t r = 0; r < rows.Count(); ++r)
        rebuilt.push_back(describe(r));
    rows.DeleteAll();
    engine::ScanResults early = results;
    early.matchGroups[0].count = 0;
    results::FillSource source;
    results::FillLayout layout(rows.WantsTitles());
    const engine::ScanResults* handOvers[] = {&early, &results};
    for (const engine::ScanResults* handed : handOvers) {
        std::vector<results::NewRows> batch = source.Take(*handed, criteria);
        layout.Insert(rows, batch);
    }
    EXPECT_EQ(rows.TitleCount(), 3);
    ASSERT_EQ(rows.Count(), static_cast<int32_t>(rebuilt.size()));
    for (int32_t r = 0; r < rows.Count(); ++r)
        EXPECT_TRUE(describe(r) == rebuilt[static_cast<size_t>(r)]) << "row " << r;
}

}  // namespace
}  // namespace cs::app
