// The text rules of the list commands and the rebuild during a scan.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "engine/scan.h"
#include "results/list_text.h"
#include "results/memory_rows.h"
#include "results/result_list.h"
#include "support/reference_scan.h"
#include "support/temp_tree.h"

namespace cs::results {
namespace {

TEST(ListText, ParentFolderAndName) {
#ifdef _WIN32
    EXPECT_EQ(ParentFolder(u"C:\\Data\\a.txt"), u"C:\\Data");
    EXPECT_EQ(ParentFolder(u"C:\\a.txt"), u"C:");
    EXPECT_EQ(ParentFolder(u"C:\\Data\\Sub\\\\"), u"C:\\Data");
    EXPECT_EQ(ParentFolder(u"\\\\server\\share\\a"), u"\\\\server\\share");
    EXPECT_EQ(NameForPath(u"C:"), u"C:") << "a bare drive is its own name";
    EXPECT_EQ(NameForPath(u"C:\\Data\\a.txt"), u"a.txt");
    EXPECT_TRUE(SameFolder(u"C:\\DATA", u"c:\\data"));
#else
    EXPECT_EQ(ParentFolder(u"/data/a.txt"), u"/data");
    EXPECT_EQ(ParentFolder(u"/a.txt"), u"/") << "a file below the root";
    EXPECT_EQ(ParentFolder(u"/data/sub//"), u"/data");
    EXPECT_EQ(NameForPath(u"/data/a.txt"), u"a.txt");
    EXPECT_FALSE(SameFolder(u"/DATA", u"/data")) << "two folders on Linux";
#endif
}

TEST(ListText, ComparisonsFoldThroughTowlower) {
    EXPECT_TRUE(EqualsLowered(u"Photo", u"pHOTO"));
    EXPECT_FALSE(EqualsLowered(u"Photo", u"Photos"));
    EXPECT_TRUE(LessLowered(u"abc", u"ABD"));
    EXPECT_FALSE(LessLowered(u"ABD", u"abc"));
    EXPECT_FALSE(LessLowered(u"ABC", u"abc")) << "equal after folding";
    EXPECT_TRUE(ContainsLowered(u"C:\\My Photos\\x.jpg", u"PHOTO"));
    EXPECT_FALSE(ContainsLowered(u"short", u"longer pattern"));
    EXPECT_TRUE(ContainsLowered(u"anything", u""));
}

// The scan rebuilds the rows through the hook as groups arrive; every
// rebuild shows a complete, consistent list (each group whole).
TEST(RebuildHook, ScanFillsRowsAsItGoes) {
    test::TempTree tree;
    for (int g = 0; g < 45; ++g) {
        const std::string body = "group " + std::to_string(g) + " contents";
        tree.Write("a/f" + std::to_string(g), body);
        tree.Write("b/f" + std::to_string(g), body);
    }
    const engine::ScanOptions options = test::Options(
        tree, engine::CRIT_RECURSIVE | engine::CRIT_SAME_SIZE | engine::CRIT_EXACT_CONTENTS);
    MemoryRows rows;
    std::vector<int32_t> seen;
    engine::ScanHooks hooks = RebuildHookFor(rows, options.criteria);
    auto rebuild = hooks.rebuild;
    hooks.rebuild = [&](const engine::ScanResults& results) {
        rebuild(results);
        seen.push_back(rows.Count());
    };
    engine::ScanResults results;
    std::atomic<uint8_t> cancel{0};
    engine::RunScan(options, results, cancel, nullptr, hooks);
    ASSERT_FALSE(seen.empty()) << "45 groups cross the first threshold of 30";
    for (int32_t count : seen)
        EXPECT_EQ(count % 3, 2) << "n groups of two show 3n - 1 rows";
    RebuildResultList(rows, results, options.criteria);
    EXPECT_EQ(rows.Count(), 45 * 3 - 1);
}

}  // namespace
}  // namespace cs::results
