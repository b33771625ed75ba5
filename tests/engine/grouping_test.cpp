// Grouping: first-match order, member order, list-rebuild pacing, folder
// groups, and what a fresh scan clears.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>

#include "engine/scan.h"
#include "support/reference_scan.h"
#include "support/temp_tree.h"

namespace cs::engine {
namespace {

using test::Describe;
using test::Options;
using test::PathList;
using test::RunEngineScan;
using test::ScanRecord;
using test::TempTree;

// The relative names in the order the walk meets them; tests that need a
// particular order give contents by position after listing, which leaves
// the directory (and so its listing order) untouched.
std::vector<std::string> RelativeWalkOrder(const TempTree& tree) {
    std::vector<std::string> out;
    const std::u16string root = tree.Root16();
    for (const std::u16string& p : test::WalkFiles(root, true)) {
        out.push_back(test::Utf8(std::u16string_view(p).substr(root.size() + 1)));
    }
    return out;
}

TEST(Grouping, IdenticalFilesJoinInWalkOrder) {
    TempTree tree;
    tree.Write("one.bin", "content");
    tree.Write("sub/two.bin", "content");
    tree.Write("sub/deeper/three.bin", "content");
    tree.Write("other.bin", "different");
    const PathList order = test::WalkFiles(tree.Root16(), true);
    PathList expected;
    for (const std::u16string& p : order) {
        if (p != tree.Path16("other.bin"))
            expected.push_back(p);
    }
    for (uint32_t criteria : {uint32_t{CRIT_EXACT_CONTENTS}, CRIT_SIMILAR_CONTENTS | CRIT_SAME_SIZE,
                              CRIT_SAME_SIZE | CRIT_SAME_EXTENSION}) {
        const ScanRecord rec = RunEngineScan(Options(tree, criteria | CRIT_RECURSIVE));
        ASSERT_EQ(rec.final.matchGroups.size(), 1u) << Describe(rec.final);
        EXPECT_EQ(rec.final.matchGroups[0], expected);
    }
}

TEST(Grouping, GroupsAreOrderedByFounderNotByWhenTheyBecameVisible) {
    TempTree tree;
    for (const char* n : {"p", "q", "r", "s", "t"})
        tree.Write(n, "placeholder");
    const std::vector<std::string> order = RelativeWalkOrder(tree);
    ASSERT_EQ(order.size(), 5u);
    // Walk positions: 0 founds A, 1 founds B, 2 joins B, 3 joins A, 4 alone.
    tree.Write(order[0], "AAAA");
    tree.Write(order[1], "BBBBBBBB");
    tree.Write(order[2], "BBBBBBBB");
    tree.Write(order[3], "AAAA");
    tree.Write(order[4], "CCCCCC");
    ASSERT_EQ(RelativeWalkOrder(tree), order);

    for (uint32_t criteria : {CRIT_EXACT_CONTENTS, CRIT_SAME_SIZE}) {
        ScanResults results;
        std::atomic<uint8_t> cancel{0};
        ASSERT_EQ(RunScan(Options(tree, criteria), results, cancel), ScanOutcome::Completed);
        // A group of one is never held, however many groups there are.
        EXPECT_EQ(results.matchGroups.size(), 2u);
        const ScanRecord rec = RunEngineScan(Options(tree, criteria));
        ASSERT_EQ(rec.final.matchGroups.size(), 2u) << Describe(rec.final);
        EXPECT_EQ(rec.final.matchGroups[0],
                  (PathList{tree.Path16(order[0]), tree.Path16(order[3])}));
        EXPECT_EQ(rec.final.matchGroups[1],
                  (PathList{tree.Path16(order[1]), tree.Path16(order[2])}));
    }
}

TEST(Grouping, NoCriterionPutsEveryFileInTheFirstGroup) {
    TempTree tree;
    tree.Write("a.jpg", "1");
    tree.Write("b.txt", "22");
    tree.Write("c/d", "333");
    tree.Write("e", "");
    const ScanRecord rec = RunEngineScan(Options(tree, CRIT_RECURSIVE));
    ASSERT_EQ(rec.final.matchGroups.size(), 1u);
    PathList nonEmpty;
    for (const std::u16string& p : test::WalkFiles(tree.Root16(), true)) {
        if (p != tree.Path16("e"))
            nonEmpty.push_back(p);
    }
    EXPECT_EQ(rec.final.matchGroups[0], nonEmpty);
}

TEST(Grouping, SimilarNamesMatchAcrossCaseAndCopyMarkers) {
    TempTree tree;
    tree.Write("a/a.JPG", "x");
    tree.Write("b/A (2).jpg", "yy");
    tree.Write("c/a - copy.jpg", "zzz");
    tree.Write("d/b.jpg", "x");
    tree.Write("e/\xC3\x89.jpg", "x");      // É.jpg
    tree.Write("f/\xC3\xA9 (2).jpg", "x");  // é (2).jpg: no match, the É is not ASCII
    const ScanRecord rec = RunEngineScan(Options(tree, CRIT_RECURSIVE | CRIT_SIMILAR_NAME));
    ASSERT_EQ(rec.final.matchGroups.size(), 1u) << Describe(rec.final);
    EXPECT_EQ(
        std::set<std::u16string>(rec.final.matchGroups[0].begin(), rec.final.matchGroups[0].end()),
        (std::set<std::u16string>{tree.Path16("a/a.JPG"), tree.Path16("b/A (2).jpg"),
                                  tree.Path16("c/a - copy.jpg")}));
    // With the size criterion the three differ.
    EXPECT_TRUE(RunEngineScan(Options(tree, CRIT_RECURSIVE | CRIT_SIMILAR_NAME | CRIT_SAME_SIZE))
                    .final.matchGroups.empty());
}

TEST(Grouping, RebuildsComeAfter30Then40Then50Joins) {
    TempTree tree;
    for (int k = 0; k < 121; ++k)
        tree.Write("f" + std::to_string(k), "twelve bytes");
    const ScanRecord rec = RunEngineScan(Options(tree, CRIT_SAME_SIZE));
    ASSERT_EQ(rec.atRebuilds.size(), 3u);
    // Each rebuild sees the group as it stands right after the join that
    // reached the threshold.
    ASSERT_EQ(rec.atRebuilds[0].matchGroups.size(), 1u);
    EXPECT_EQ(rec.atRebuilds[0].matchGroups[0].size(), 31u);
    EXPECT_EQ(rec.atRebuilds[1].matchGroups[0].size(), 71u);
    EXPECT_EQ(rec.atRebuilds[2].matchGroups[0].size(), 121u);
    EXPECT_EQ(rec.refreshCounter, 0);
    EXPECT_EQ(rec.refreshThreshold, 60);

    tree.Write("f121", "twelve bytes");
    tree.Write("f122", "twelve bytes");
    const ScanRecord more = RunEngineScan(Options(tree, CRIT_SAME_SIZE));
    EXPECT_EQ(more.atRebuilds.size(), 3u);
    EXPECT_EQ(more.refreshCounter, 2);
    EXPECT_EQ(more.refreshThreshold, 60);

    TempTree few;
    for (int k = 0; k < 30; ++k)
        few.Write("f" + std::to_string(k), "same");
    const ScanRecord under = RunEngineScan(Options(few, CRIT_SAME_SIZE));
    EXPECT_TRUE(under.atRebuilds.empty());
    EXPECT_EQ(under.refreshCounter, 29);
    EXPECT_EQ(under.refreshThreshold, 30);
}

TEST(Grouping, FoundingAGroupIsNoJoin) {
    TempTree tree;
    // 40 distinct sizes, each twice: 40 founders, 40 joins, one rebuild.
    for (int k = 0; k < 40; ++k) {
        tree.Write("a" + std::to_string(k), std::string(k + 1, 'x'));
        tree.Write("b" + std::to_string(k), std::string(k + 1, 'y'));
    }
    const ScanRecord rec = RunEngineScan(Options(tree, CRIT_SAME_SIZE));
    EXPECT_EQ(rec.final.matchGroups.size(), 40u);
    EXPECT_EQ(rec.atRebuilds.size(), 1u);
    EXPECT_EQ(rec.refreshCounter, 10);
    EXPECT_EQ(rec.refreshThreshold, 40);
}

// Folder joins count towards the next rebuild but never start one: after
// 30 folder joins the counter stands at the threshold, and only the first
// file join rebuilds.
TEST(Grouping, FolderJoinsCountButNeverTriggerARebuild) {
    TempTree tree;
    std::string chain;
    for (int level = 0; level < 31; ++level)
        chain += "P/";
    tree.Write(chain + "f1", "same");
    tree.Write(chain + "f2", "same");
    const ScanRecord rec =
        RunEngineScan(Options(tree, CRIT_RECURSIVE | CRIT_SIMILAR_FOLDERS | CRIT_SAME_SIZE));
    ASSERT_EQ(rec.final.folderGroups.size(), 1u);
    EXPECT_EQ(rec.final.folderGroups[0].size(), 31u);
    ASSERT_EQ(rec.atRebuilds.size(), 1u);
    EXPECT_EQ(rec.atRebuilds[0].matchGroups.size(), 1u) << Describe(rec.atRebuilds[0]);
    EXPECT_EQ(rec.refreshCounter, 0);
    EXPECT_EQ(rec.refreshThreshold, 40);

    // Without the file join the folder joins alone rebuild nothing.
    TempTree folders;
    folders.MakeDir(chain);
    const ScanRecord only =
        RunEngineScan(Options(folders, CRIT_RECURSIVE | CRIT_SIMILAR_FOLDERS | CRIT_SAME_SIZE));
    EXPECT_TRUE(only.atRebuilds.empty());
    EXPECT_EQ(only.refreshCounter, 30);
}

TEST(Grouping, FoldersWithSimilarNamesInDifferentPlacesFormOneGroup) {
    TempTree tree;
    tree.MakeDir("a/Photos");
    tree.MakeDir("b/photos");
    tree.MakeDir("c/x/Photos - old");
    tree.MakeDir("d/PHOTOS (2) summer");
    tree.MakeDir("e/Photos-old");
    tree.MakeDir("f/Ph\xC3\x96tos");  // PhÖtos: not ASCII, not the same name
    const ScanRecord rec = RunEngineScan(Options(tree, CRIT_RECURSIVE | CRIT_SIMILAR_FOLDERS));
    PathList expected;
    for (const test::WalkItem& item : test::ListWalk(tree.Root16(), true)) {
        if (item.isFolder && (item.name == u"Photos" || item.name == u"photos" ||
                              item.name == u"Photos - old" || item.name == u"PHOTOS (2) summer")) {
            expected.push_back(item.path);
        }
    }
    ASSERT_EQ(expected.size(), 4u);
    ASSERT_EQ(rec.final.folderGroups.size(), 1u) << Describe(rec.final);
    EXPECT_EQ(rec.final.folderGroups[0], expected);
    EXPECT_TRUE(rec.final.matchGroups.empty());
}

TEST(Grouping, AFreshScanForgetsSectionsItWasNotAskedFor) {
    TempTree tree;
    tree.Write("a/Docs/empty", "");
    tree.Write("b/Docs/x", "1");
    tree.Write("c/y", "1");
    ScanResults results;
    std::atomic<uint8_t> cancel{0};
    const uint32_t everything =
        CRIT_RECURSIVE | CRIT_SIMILAR_FOLDERS | CRIT_LIST_ZERO_BYTE | CRIT_EXACT_CONTENTS;
    ASSERT_EQ(RunScan(Options(tree, everything), results, cancel), ScanOutcome::Completed);
    EXPECT_EQ(results.zeroByteFiles, PathList{tree.Path16("a/Docs/empty")});
    EXPECT_EQ(results.folderGroups.size(), 1u);
    EXPECT_EQ(results.matchGroups.size(), 1u);

    ASSERT_EQ(RunScan(Options(tree, CRIT_RECURSIVE | CRIT_EXACT_NAME), results, cancel),
              ScanOutcome::Completed);
    EXPECT_TRUE(results.zeroByteFiles.empty());
    EXPECT_TRUE(results.folderGroups.empty());
    EXPECT_TRUE(results.matchGroups.empty());
    EXPECT_EQ(results.refreshCounter, 0);
}

TEST(ScanResults, SplitPathsAndReset) {
    const std::u16string joined = u"/a/b\n/c d\n/e";
    const auto parts = SplitPaths(joined);
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_EQ(parts[0], u"/a/b");
    EXPECT_EQ(parts[1], u"/c d");
    EXPECT_EQ(parts[2], u"/e");
    EXPECT_EQ(SplitPaths(u"/only").size(), 1u);

    ScanResults r;
    r.matchGroups.push_back({});
    r.zeroByteFiles.push_back(u"x");
    r.refreshCounter = 7;
    r.refreshThreshold = 90;
    r.Reset();
    EXPECT_TRUE(r.matchGroups.empty());
    EXPECT_TRUE(r.zeroByteFiles.empty());
    EXPECT_EQ(r.refreshCounter, 0);
    EXPECT_EQ(r.refreshThreshold, kFirstRefreshThreshold);
}

}  // namespace
}  // namespace cs::engine

namespace cs::engine {
namespace {

using test::Describe;
using test::Options;
using test::PathList;
using test::RunEngineScan;
using test::ScanRecord;
using test::TempTree;

// Members are compared byte for byte with the first file of their bucket,
// which is only a shortcut: a file that differs from that first file must
// still find the group of the files it does equal.
TEST(Grouping, FilesDifferingFromTheFirstOfTheirBucketStillGroupTogether) {
    TempTree tree;
    // Same size, same first and last 4 KiB, different middles: one bucket.
    const std::string base = test::PseudoRandomBytes(300 * 1024, 11);
    std::string other = base;
    other[150 * 1024] ^= 0x5A;
    tree.Write("a/first.bin", base);
    tree.Write("b/second.bin", other);
    tree.Write("c/third.bin", other);
    tree.Write("d/fourth.bin", base);
    const PathList order = test::WalkFiles(tree.Root16(), true);
    auto contentOf = [&](const std::u16string& p) {
        return p == tree.Path16("a/first.bin") || p == tree.Path16("d/fourth.bin") ? 0 : 1;
    };
    PathList byContent[2];
    for (const std::u16string& p : order)
        byContent[contentOf(p)].push_back(p);
    // Groups in the order of their first member.
    const int firstContent = contentOf(order[0]);

    for (uint32_t criteria :
         {uint32_t{CRIT_EXACT_CONTENTS}, CRIT_SIMILAR_CONTENTS | CRIT_SAME_SIZE}) {
        SCOPED_TRACE(criteria);
        const ScanRecord rec = RunEngineScan(Options(tree, criteria | CRIT_RECURSIVE));
        ASSERT_EQ(rec.final.matchGroups.size(), 2u) << Describe(rec.final);
        EXPECT_EQ(rec.final.matchGroups[0], byContent[firstContent]);
        EXPECT_EQ(rec.final.matchGroups[1], byContent[1 - firstContent]);
    }
}

// Under similar contents, files of 2 MiB or more of different sizes match
// when their first and last 2 MiB agree; the byte comparison must look at
// exactly those ranges, not at the files' whole lengths.
TEST(Grouping, SimilarContentsCompareHeadAndTailOfDifferentSizes) {
    TempTree tree;
    constexpr uint64_t MiB = 1024 * 1024;
    const std::string head = test::PseudoRandomBytes(2 * MiB, 21);
    const std::string tail = test::PseudoRandomBytes(2 * MiB, 22);
    tree.Write("x/three.bin", head + std::string(MiB, 'm') + tail);
    tree.Write("y/five.bin", head + test::PseudoRandomBytes(3 * MiB, 23) + tail);
    tree.Write("z/four.bin", head + tail);
    const ScanRecord similar = RunEngineScan(Options(tree, CRIT_RECURSIVE | CRIT_SIMILAR_CONTENTS));
    ASSERT_EQ(similar.final.matchGroups.size(), 1u) << Describe(similar.final);
    EXPECT_EQ(similar.final.matchGroups[0].size(), 3u);
    const ScanRecord exact = RunEngineScan(Options(tree, CRIT_RECURSIVE | CRIT_EXACT_CONTENTS));
    EXPECT_TRUE(exact.final.matchGroups.empty()) << Describe(exact.final);
}

}  // namespace
}  // namespace cs::engine
