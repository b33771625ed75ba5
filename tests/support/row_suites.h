// The row-API suites: the list rebuild, the selection rules, find and the
// verified removal, written once and run on every rows back end. A back end
// takes part by instantiating the suite with a fixture type that offers
//   using Rows = ...;  Rows& rows();  (a fresh, empty row list per test)
// e.g. INSTANTIATE_TYPED_TEST_SUITE_P(Memory, RowSuite, MemoryBackend).
// The tests run on the thread that owns the rows.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/options.h"
#include "engine/scan.h"
#include "engine/scan_results.h"
#include "platform/text.h"
#include "removal/verify.h"
#include "results/find.h"
#include "results/list_fill.h"
#include "results/result_list.h"
#include "results/selection.h"
#include "support/temp_tree.h"

namespace cs::test {

// A path below the platform's drive ("C:" on Windows, "" on Linux), so the
// same cases read C:\ab\z.txt on Windows and /ab/z.txt on Linux.
inline std::u16string P(std::initializer_list<std::u16string_view> parts) {
#ifdef _WIN32
    std::u16string path = u"C:";
#else
    std::u16string path;
#endif
    for (std::u16string_view part : parts) {
        path.push_back(platform::kPathSeparator);
        path += part;
    }
    return path;
}

template <class Rows>
void AddItem(Rows& rows, int group, const std::u16string& path, int state = results::kUnticked,
             std::u16string size = u"1 KB") {
    results::RowData row = results::MakeItemRow(
        group, group == results::kFolderGroup ? results::kFolderImage : results::kFileImage, path,
        std::move(size));
    rows.Append(row);
    rows.SetStateImage(rows.Count() - 1, state);
}

template <class Rows>
void AddSeparator(Rows& rows, int group) {
    rows.Append(results::MakeSeparatorRow(group));
}

// One character per row: '.' separator, 'u' unticked, 't' ticked.
template <class Rows>
std::string States(const Rows& rows) {
    std::string out;
    for (int32_t r = 0; r < rows.Count(); ++r) {
        const int state = rows.StateImage(r);
        out += state == results::kNoCheckBox ? '.'
               : state == results::kTicked   ? 't'
               : state == results::kUnticked ? 'u'
                                             : '?';
    }
    return out;
}

// One character per row: 's' separator, or the group digit.
template <class Rows>
std::string Layout(const Rows& rows) {
    std::string out;
    for (int32_t r = 0; r < rows.Count(); ++r) {
        const int group = rows.Group(r);
        out += rows.StateImage(r) == results::kNoCheckBox ? 's' : static_cast<char>('0' + group);
    }
    return out;
}

template <class Rows>
std::vector<std::u16string> PathsOf(const Rows& rows) {
    std::vector<std::u16string> out;
    for (int32_t r = 0; r < rows.Count(); ++r)
        out.push_back(rows.Text(r, results::kPathColumn));
    return out;
}

template <class Backend>
class RowSuite : public testing::Test {
protected:
    typename Backend::Rows& rows() { return backend_.rows(); }
    Backend backend_;
};

TYPED_TEST_SUITE_P(RowSuite);

// ---- rebuild ----------------------------------------------------------

inline engine::ScanResults ResultsWith(int folderGroups, int matchGroups, int zeroFiles) {
    engine::ScanResults results;
    uint64_t sequence = 0;
    for (int g = 0; g < folderGroups; ++g) {
        engine::FolderGroup group;
        const std::u16string n(1, static_cast<char16_t>(u'a' + g));
        group.paths = P({u"f1", n}) + u"\n" + P({u"f2", n});
        group.count = 2;
        group.founderSequence = sequence++;
        results.folderGroups.push_back(group);
    }
    for (int g = 0; g < matchGroups; ++g) {
        engine::MatchGroup group;
        const std::u16string n = std::u16string(1, static_cast<char16_t>(u'a' + g)) + u".txt";
        group.paths = P({u"d1", n}) + u"\n" + P({u"d2", n}) + u"\n" + P({u"d3", n});
        group.count = 3;
        group.size = 1536;
        group.founderSequence = sequence++;
        results.matchGroups.push_back(group);
    }
    for (int z = 0; z < zeroFiles; ++z)
        results.zeroByteFiles.push_back(
            P({u"z", std::u16string(1, static_cast<char16_t>(u'a' + z))}));
    return results;
}

TYPED_TEST_P(RowSuite, RebuildPlacesSeparatorsInEverySectionCombination) {
    struct Case {
        int folders, groups, zeros;
        const char* layout;
    };
    // Separators between the groups of a section; none after the last
    // folder group; one after the last match group only when zero-byte rows
    // follow.
    const Case cases[] = {
        {0, 0, 0, ""},
        {1, 0, 0, "11"},
        {2, 0, 0, "11s11"},
        {0, 1, 0, "222"},
        {0, 2, 0, "222s222"},
        {0, 0, 2, "33"},
        {2, 2, 0, "11s11222s222"},
        {0, 1, 2, "222s33"},
        {1, 0, 1, "113"},
        {2, 2, 2, "11s11222s222s33"},
    };
    for (const Case& c : cases) {
        const engine::ScanResults results = ResultsWith(c.folders, c.groups, c.zeros);
        // Filled from two hand-overs, the first with the zero-byte files and
        // every group but the first of its section, the rows take the places
        // the rebuild gives them.
        this->rows().DeleteAll();
        engine::ScanResults early = results;
        if (c.folders > 1)
            early.folderGroups[0].count = 0;
        if (c.groups > 1)
            early.matchGroups[0].count = 0;
        results::FillSource source;
        results::FillLayout layout;
        const engine::ScanResults* handOvers[] = {&early, &results};
        for (const engine::ScanResults* handed : handOvers) {
            std::vector<results::NewRows> batch = source.Take(*handed, engine::CRIT_SAME_SIZE);
            layout.Insert(this->rows(), batch);
        }
        EXPECT_EQ(Layout(this->rows()), c.layout) << "filled in two hand-overs";

        results::RebuildResultList(this->rows(), results, engine::CRIT_SAME_SIZE);
        EXPECT_EQ(Layout(this->rows()), c.layout)
            << c.folders << " folder groups, " << c.groups << " match groups, " << c.zeros
            << " zero-byte files";
        // Every rebuild leaves only unticked rows and check-box-less bars.
        for (int32_t r = 0; r < this->rows().Count(); ++r) {
            const bool separator = Layout(this->rows())[r] == 's';
            EXPECT_EQ(this->rows().StateImage(r),
                      separator ? results::kNoCheckBox : results::kUnticked);
            if (separator) {
                EXPECT_TRUE(this->rows().Text(r, results::kPathColumn).empty());
                EXPECT_TRUE(this->rows().Text(r, results::kSizeColumn).empty());
                EXPECT_EQ(this->rows().Group(r), this->rows().Group(r - 1))
                    << "a separator belongs to the group above it";
            }
        }
    }
}

TYPED_TEST_P(RowSuite, RebuildFillsNamesAndSizeTexts) {
    auto& rows = this->rows();
    rows.Append(results::MakeItemRow(results::kFileGroup, results::kFileImage, u"left over",
                                     u"x"));  // a rebuild starts from nothing
    engine::ScanResults results = ResultsWith(1, 1, 1);
    results::RebuildResultList(rows, results, engine::CRIT_SAME_SIZE);
    ASSERT_EQ(rows.Count(), 2 + 3 + 1 + 1);
    EXPECT_EQ(rows.Text(0, results::kPathColumn), P({u"f1", u"a"}));
    EXPECT_EQ(rows.Text(0, results::kNameColumn), u"a");
    EXPECT_EQ(rows.Text(0, results::kSizeColumn), u"N/A (Folder)");
    EXPECT_EQ(rows.Text(2, results::kNameColumn), u"a.txt");
    EXPECT_EQ(rows.Text(2, results::kSizeColumn), u"1.5 KB");
    EXPECT_EQ(rows.Text(6, results::kSizeColumn), u"0 bytes");
    EXPECT_EQ(rows.Group(6), results::kZeroByteGroup);
}

TYPED_TEST_P(RowSuite, RebuildWithoutSizeCriterionMeasuresFilesNow) {
    TempTree tree;
    tree.Write("a/x.bin", std::string(2048, 'x'));
    tree.Write("b/x.bin", std::string(62, 'y'));  // changed since the scan
    engine::ScanResults results;
    engine::MatchGroup group;
    group.paths = tree.Path16("a/x.bin") + u"\n" + tree.Path16("b/x.bin");
    group.count = 2;
    group.size = 2048;
    results.matchGroups.push_back(group);
    results::RebuildResultList(this->rows(), results, engine::CRIT_EXACT_NAME);
    ASSERT_EQ(this->rows().Count(), 2);
    EXPECT_EQ(this->rows().Text(0, results::kSizeColumn), u"2 KB");
    EXPECT_EQ(this->rows().Text(1, results::kSizeColumn), u"62 bytes");
}

// ---- selection ----------------------------------------------------------

TYPED_TEST_P(RowSuite, KeepFirstAndLastWorkPerRun) {
    auto& rows = this->rows();
    // R1 R2 R3 | then a folder run directly followed by a file run.
    AddItem(rows, 2, P({u"r1"}));
    AddItem(rows, 2, P({u"r2"}));
    AddItem(rows, 2, P({u"r3"}));
    AddSeparator(rows, 2);
    AddItem(rows, 2, P({u"s1"}));
    AddItem(rows, 2, P({u"s2"}));
    results::KeepFirst(rows);
    EXPECT_EQ(States(rows), "utt.ut");
    results::KeepLast(rows);
    EXPECT_EQ(States(rows), "ttu.tu");

    rows.DeleteAll();
    AddItem(rows, 1, P({u"g1a"}));
    AddItem(rows, 1, P({u"g1b"}));
    AddItem(rows, 2, P({u"g2a"}));  // no separator: the group change ends the run
    AddItem(rows, 2, P({u"g2b"}));
    results::KeepFirst(rows);
    EXPECT_EQ(States(rows), "utut");
    results::KeepLast(rows);
    EXPECT_EQ(States(rows), "tutu");
    results::SetAllItems(rows, true);
    results::KeepBy(rows, results::KeepRule::Smallest);
    EXPECT_EQ(States(rows), "utut");
    results::KeepBy(rows, results::KeepRule::Biggest);
    EXPECT_EQ(States(rows), "tutu");
}

TYPED_TEST_P(RowSuite, KeepSmallestAndBiggestCompareFolderThenName) {
    auto& rows = this->rows();
    AddItem(rows, 2, P({u"x", u"file - Copy.txt"}));
    AddItem(rows, 2, P({u"x", u"file.txt"}));
    AddSeparator(rows, 2);
    AddItem(rows, 2, P({u"ab", u"z.txt"}));
    AddItem(rows, 2, P({u"a", u"zz.txt"}));  // shorter folder wins over a shorter name
    AddSeparator(rows, 2);
    AddItem(rows, 2, P({u"Ab", u"b.txt"}));
    AddItem(rows, 2, P({u"aB", u"bb.txt"}));  // folders equal but for case: names decide
    results::KeepBy(rows, results::KeepRule::Smallest);
    EXPECT_EQ(States(rows), "tu.tu.ut");
    // Biggest: a shorter folder does not win, so the longer name does.
    results::KeepBy(rows, results::KeepRule::Biggest);
    EXPECT_EQ(States(rows), "ut.tu.tu");
}

TYPED_TEST_P(RowSuite, KeepOldestAndNewestReadFileTimes) {
    TempTree tree;
    const auto now = std::filesystem::file_time_type::clock::now();
    auto touch = [&](const char* name, int minutesAgo) {
        const auto path = tree.Write(name, "x");
        std::filesystem::last_write_time(path, now - std::chrono::minutes(minutesAgo));
        return ToU16(path);
    };
    auto& rows = this->rows();
    AddItem(rows, 2, touch("new", 1));
    AddItem(rows, 2, touch("old", 60));
    AddItem(rows, 2, touch("mid", 30));
    AddSeparator(rows, 2);
    AddItem(rows, 2, touch("same1", 10));
    AddItem(rows, 2, touch("same2", 10));
    AddSeparator(rows, 2);
    AddItem(rows, 2, touch("present", 5));
    AddItem(rows, 2, tree.Path16("missing"));  // cannot be opened: time 0, the oldest
    AddSeparator(rows, 2);
    AddItem(rows, 3, touch("alone", 3), results::kTicked);  // a run of one row

    results::KeepBy(rows, results::KeepRule::Oldest);
    EXPECT_EQ(States(rows), "tut.ut.tu.u");
    results::SetAllItems(rows, true);
    results::KeepBy(rows, results::KeepRule::Newest);
    EXPECT_EQ(States(rows), "utt.ut.ut.u");
}

TYPED_TEST_P(RowSuite, SingleRowRunIsNeverTicked) {
    auto& rows = this->rows();
    AddItem(rows, 3, P({u"z"}), results::kTicked);
    results::KeepBy(rows, results::KeepRule::Smallest);
    EXPECT_EQ(States(rows), "t") << "keep smallest leaves a lone row as it is";
    results::KeepBy(rows, results::KeepRule::Biggest);
    EXPECT_EQ(States(rows), "u");
    results::KeepFirst(rows);
    EXPECT_EQ(States(rows), "u");
}

TYPED_TEST_P(RowSuite, FolderRulesTouchOnlyRowsDirectlyInside) {
    auto& rows = this->rows();
    AddItem(rows, 1, P({u"Data"}));                    // 0: a folder row
    AddItem(rows, 1, P({u"Other", u"Data"}));          // 1
    AddSeparator(rows, 1);                             // 2
    AddItem(rows, 1, P({u"Data", u"Sub"}));            // 3: folder inside Data
    AddItem(rows, 1, P({u"Else", u"Sub"}));            // 4
    AddItem(rows, 2, P({u"Data", u"a.txt"}));          // 5
    AddItem(rows, 2, P({u"Data", u"Sub", u"b.txt"}));  // 6: in a subfolder
    AddSeparator(rows, 2);                             // 7
    AddItem(rows, 3, P({u"Data", u"empty"}));          // 8

    rows.SetSelectedFocused(5, true);  // a file row: its parent folder
    results::SetRowsInSelectedFolder(rows, true);
    EXPECT_EQ(States(rows), "uu.tutu.t");
    results::SetRowsInSelectedFolder(rows, false);
    EXPECT_EQ(States(rows), "uu.uuuu.u");

    rows.SetSelectedFocused(5, false);
    rows.SetSelectedFocused(0, true);  // a folder row: the folder itself
    results::SetRowsInSelectedFolder(rows, true);
    EXPECT_EQ(States(rows), "uu.tutu.t");

    rows.SetSelectedFocused(0, false);
    results::SetAllItems(rows, false);
    results::SetRowsInSelectedFolder(rows, true);  // nothing selected
    EXPECT_EQ(States(rows), "uu.uuuu.u");
    results::SetAllItems(rows, true);
    EXPECT_EQ(States(rows), "tt.tttt.t") << "separators never get a check box";
}

TYPED_TEST_P(RowSuite, EveryCommandOnAnEmptyListChangesNothing) {
    auto& rows = this->rows();
    results::KeepFirst(rows);
    results::KeepLast(rows);
    for (auto rule : {results::KeepRule::Smallest, results::KeepRule::Biggest,
                      results::KeepRule::Oldest, results::KeepRule::Newest})
        results::KeepBy(rows, rule);
    results::SetAllItems(rows, true);
    results::SetRowsInSelectedFolder(rows, true);
    EXPECT_EQ(rows.Count(), 0);
    EXPECT_EQ(results::FindInList(rows, u"x", -1), -1);
}

// ---- find ---------------------------------------------------------------

TYPED_TEST_P(RowSuite, FindSearchesAllColumnsAndWrapsToMinusOne) {
    auto& rows = this->rows();
    AddItem(rows, 2, P({u"Photos", u"a.jpg"}), results::kUnticked, u"12 KB");   // 0: path
    AddItem(rows, 2, P({u"b", u"x.jpg"}), results::kUnticked, u"3 MB");         // 1
    AddSeparator(rows, 2);                                                      // 2
    AddItem(rows, 2, P({u"c", u"my PHOTO.png"}), results::kUnticked, u"5 KB");  // 3: name
    AddItem(rows, 2, P({u"d", u"y.png"}), results::kUnticked, u"1 bytes");      // 4

    EXPECT_EQ(results::FindInList(rows, u"photo", -1), 0);
    EXPECT_EQ(rows.FirstSelected(), 0);
    EXPECT_EQ(results::FindInList(rows, u"photo", 0), 3);
    EXPECT_EQ(rows.FirstSelected(), 3) << "the found row is the only one selected";
    EXPECT_FALSE(rows.IsSelected(0));
    EXPECT_EQ(results::FindInList(rows, u"photo", 3), -1);
    EXPECT_EQ(rows.FirstSelected(), -1) << "no match leaves nothing selected";
    EXPECT_EQ(results::FindInList(rows, u"photo", -1), 0) << "restart from the top";
    EXPECT_EQ(results::FindInList(rows, u"kb", -1), 0) << "size texts are searched";
    EXPECT_EQ(results::FindInList(rows, u"kb", 0), 3);
    rows.SetSelectedFocused(4, true);
    EXPECT_EQ(results::FindInList(rows, u"MB", -1), 1);
    EXPECT_FALSE(rows.IsSelected(4)) << "rows after the match are cleared too";
}

// ---- removal --------------------------------------------------------------

// The verified removal on this back end, as the program runs it: the rows
// of removed items go from the bottom row up (so the indices still to come
// stay valid), a refused row stays ticked, and an item someone else took
// away counts as removed and loses its row.
TYPED_TEST_P(RowSuite, VerifiedRemovalDropsTheRowsOfRemovedItemsBottomUp) {
    TempTree tree;
    for (const char* folder : {"a", "b", "c"})
        tree.Write(std::string(folder) + "/x.txt", "group one");
    for (const char* folder : {"a", "b"}) {
        tree.Write(std::string(folder) + "/y.txt", "group two!");
        tree.Write(std::string(folder) + "/z.txt", "group three");
    }
    engine::ScanOptions options;
    options.rootPath = tree.Root16();
    options.criteria = engine::CRIT_RECURSIVE | engine::CRIT_SAME_SIZE | engine::CRIT_EXACT_CONTENTS;
    engine::ScanResults scanned;
    std::atomic<uint8_t> cancel{0};
    ASSERT_EQ(engine::RunScan(options, scanned, cancel), engine::ScanOutcome::Completed);
    auto& rows = this->rows();
    results::RebuildResultList(rows, scanned, options.criteria);
    results::KeepFirst(rows);
    std::vector<std::u16string> ticked;
    for (int32_t r = 0; r < rows.Count(); ++r)
        if (rows.StateImage(r) == results::kTicked)
            ticked.push_back(rows.Text(r, results::kPathColumn));
    ASSERT_EQ(ticked.size(), 4u);
    // The top ticked item is rewritten (same size, a later time), the
    // bottom one taken away.
    const std::filesystem::path rewritten(ticked.front());
    const std::string other(static_cast<size_t>(std::filesystem::file_size(rewritten)), '#');
    { std::ofstream(rewritten, std::ios::binary) << other; }
    std::filesystem::last_write_time(
        rewritten, std::filesystem::last_write_time(rewritten) + std::chrono::seconds(5));
    std::filesystem::remove(std::filesystem::path(ticked.back()));

    const removal::ScanRecord record(scanned, options.criteria);
    const auto verdicts = removal::VerifyTickedItems(rows, record, cancel);
    removal::RemovalPolicy policy;
    policy.goneIsRemoved = true;
    std::atomic<int32_t> failures{0};
    std::vector<removal::ItemOutcome> outcomes;
    const int32_t removed = removal::RemoveVerifiedItems(rows, verdicts, record, false, policy,
                                                         cancel, failures, &outcomes);
    EXPECT_EQ(removed, 3);
    EXPECT_EQ(failures.load(), 1);
    std::vector<std::u16string> walked;
    for (const removal::ItemOutcome& o : outcomes)
        walked.push_back(o.path);
    EXPECT_EQ(walked, std::vector<std::u16string>(ticked.rbegin(), ticked.rend()));
    int32_t items = 0;
    for (int32_t r = 0; r < rows.Count(); ++r) {
        if (!results::IsItemRow(rows, r))
            continue;
        ++items;
        const std::u16string path = rows.Text(r, results::kPathColumn);
        const bool refused = path == ticked.front();
        EXPECT_EQ(rows.StateImage(r), refused ? results::kTicked : results::kUnticked);
        EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(path)));
    }
    EXPECT_EQ(items, 4) << "three keepers and the refused row";
    for (size_t t = 1; t + 1 < ticked.size(); ++t)
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(ticked[t])));
}

REGISTER_TYPED_TEST_SUITE_P(RowSuite, RebuildPlacesSeparatorsInEverySectionCombination,
                            RebuildFillsNamesAndSizeTexts,
                            RebuildWithoutSizeCriterionMeasuresFilesNow, KeepFirstAndLastWorkPerRun,
                            KeepSmallestAndBiggestCompareFolderThenName,
                            KeepOldestAndNewestReadFileTimes, SingleRowRunIsNeverTicked,
                            FolderRulesTouchOnlyRowsDirectlyInside,
                            EveryCommandOnAnEmptyListChangesNothing,
                            FindSearchesAllColumnsAndWrapsToMinusOne,
                            VerifiedRemovalDropsTheRowsOfRemovedItemsBottomUp);

}  // namespace cs::test
