// The text rules of the list commands and the rebuild during a scan.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "engine/scan.h"
#include "results/list_fill.h"
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

std::string Describe(const MemoryRows& rows) {
    std::string out;
    for (int32_t r = 0; r < rows.Count(); ++r) {
        out += std::to_string(rows.Group(r)) + (rows.IsSeparator(r) ? "s" : "") + ' ' +
               std::to_string(rows.StateImage(r)) + ' ' + std::to_string(rows.Image(r));
        for (int c = 0; c < kColumnCount; ++c)
            for (char16_t unit : rows.Text(r, c))
                out += static_cast<char>(unit < 128 ? unit : '?');
        out += '\n';
    }
    return out;
}

// Filled from hand-overs instead of rebuilt, the rows equal the rebuild's at
// every hand-over and at the end: groups whose second member comes after
// groups founded later, members joining groups already shown, zero-byte
// files arriving between them, similar folders, and the closing separator
// of the file section appearing with the first zero-byte file.
TEST(RebuildHook, FillingFromHandOversEqualsTheRebuildThroughout) {
    test::TempTree tree;
    uint32_t random = 7;
    auto next = [&random](uint32_t below) {
        random = random * 1103515245u + 12345u;
        return (random >> 16) % below;
    };
    for (int g = 0; g < 120; ++g) {
        const std::string body = "contents " + std::to_string(g) + std::string(g % 7, 'x');
        // The founder early, the copies late and in another order.
        tree.Write("a/" + std::to_string(g), body);
        for (uint32_t c = 0, copies = next(4); c < copies; ++c)
            tree.Write("d" + std::to_string(next(5)) + "/" + std::to_string(119 - g) + "-" +
                           std::to_string(c),
                       body);
        if (next(9) == 0)
            tree.Write("d" + std::to_string(next(5)) + "/empty" + std::to_string(g), "");
        if (next(11) == 0)
            tree.MakeDir("d" + std::to_string(next(5)) + "/sub" + std::to_string(g % 4));
    }
    const engine::ScanOptions options = test::Options(
        tree, engine::CRIT_RECURSIVE | engine::CRIT_SAME_SIZE | engine::CRIT_EXACT_CONTENTS |
                  engine::CRIT_LIST_ZERO_BYTE | engine::CRIT_SIMILAR_FOLDERS);
    FillSource source;
    FillLayout layout;
    MemoryRows filled;
    int handOvers = 0;
    auto check = [&](const engine::ScanResults& results) {
        std::vector<NewRows> batch = source.Take(results, options.criteria);
        layout.Insert(filled, batch);
        MemoryRows rebuilt;
        RebuildResultList(rebuilt, results, options.criteria);
        ASSERT_EQ(Describe(filled), Describe(rebuilt)) << "after hand-over " << handOvers;
        ++handOvers;
    };
    engine::ScanHooks hooks;
    hooks.rebuild = check;
    engine::ScanResults results;
    std::atomic<uint8_t> cancel{0};
    engine::RunScan(options, results, cancel, nullptr, hooks);
    check(results);
    EXPECT_GT(handOvers, 3);
    EXPECT_FALSE(results.zeroByteFiles.empty());
    EXPECT_FALSE(results.folderGroups.empty());
    EXPECT_EQ(layout.RowCount(), filled.Count());
}

}  // namespace
}  // namespace cs::results
