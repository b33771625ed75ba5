// What the scan saw of each item is what removal checks before it touches
// anything: every group member, zero-byte file, folder-group member and
// listed folder must carry the facts the file system gives for that very
// path (lstat: the item itself, never a link's target).
#include <gtest/gtest.h>

#ifndef _WIN32

#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/scan.h"
#include "platform/text.h"
#include "support/reference_scan.h"
#include "support/temp_tree.h"

namespace cs::engine {
namespace {

namespace fs = std::filesystem;
using test::TempTree;

void ExpectFactsOf(std::u16string_view path, const platform::ItemFacts& facts) {
    const std::string native = platform::Utf16ToUtf8Lossless(path);
    SCOPED_TRACE(native);
    struct stat st;
    ASSERT_EQ(lstat(native.c_str(), &st), 0);
    EXPECT_EQ(facts.isFolder, S_ISDIR(st.st_mode));
    EXPECT_EQ(facts.size, S_ISDIR(st.st_mode) ? 0u : static_cast<uint64_t>(st.st_size));
    EXPECT_EQ(facts.mtime, (static_cast<uint64_t>(st.st_mtim.tv_sec) + 11644473600ull) * 10000000u +
                               static_cast<uint64_t>(st.st_mtim.tv_nsec) / 100u);
    EXPECT_EQ(facts.device, static_cast<uint64_t>(st.st_dev));
    EXPECT_EQ(facts.inode, static_cast<uint64_t>(st.st_ino));
}

template <typename Group>
void ExpectMembersFacts(const std::vector<Group>& groups) {
    for (const Group& g : groups) {
        const auto paths = SplitPaths(g.paths);
        ASSERT_EQ(g.facts.size(), paths.size());
        ASSERT_EQ(g.facts.size(), static_cast<size_t>(g.count));
        for (size_t i = 0; i < paths.size(); ++i)
            ExpectFactsOf(paths[i], g.facts[i]);
    }
}

TEST(ScanFacts, EveryListedItemCarriesWhatTheFileSystemSaysOfIt) {
    TempTree tree;
    // Members met far apart, so founders wait in the index a while; times
    // with nanoseconds, so a lost fraction shows.
    tree.Write("a/Photos/x.bin", std::string(3000, 'x'));
    tree.Write("b/other.bin", std::string(3000, 'o'));
    tree.Write("b/Photos/x.bin", std::string(3000, 'x'));
    tree.Write("c/deep/er/x.bin", std::string(3000, 'x'));
    tree.Write("c/y.txt", "short");
    tree.Write("d/y.txt", "short");
    tree.Write("empty", "");
    tree.Write("a/empty2", "");
    int k = 0;
    for (const auto& e : fs::recursive_directory_iterator(tree.Root())) {
        const timespec times[2] = {{0, UTIME_OMIT}, {1600000000 + ++k, 100000000 + 12345 * k}};
        ASSERT_EQ(utimensat(AT_FDCWD, e.path().c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
    }
    fs::create_hard_link(tree.Path("c/y.txt"), tree.Path("c/z-link.txt"));

    for (uint32_t criteria : {uint32_t{CRIT_EXACT_CONTENTS}, CRIT_SIMILAR_CONTENTS | CRIT_SAME_SIZE,
                              uint32_t{CRIT_SAME_SIZE}, CRIT_SAME_SIZE | CRIT_EXACT_NAME}) {
        SCOPED_TRACE(criteria);
        ScanOptions o;
        o.rootPath = tree.Root16();
        o.criteria = criteria | CRIT_RECURSIVE | CRIT_SIMILAR_FOLDERS | CRIT_LIST_ZERO_BYTE;
        ScanResults results;
        std::atomic<uint8_t> cancel{0};
        ASSERT_EQ(RunScan(o, results, cancel), ScanOutcome::Completed);

        ASSERT_EQ(results.matchGroups.size(), 2u) << test::Describe(test::SnapshotOf(results));
        ExpectMembersFacts(results.matchGroups);
        ASSERT_EQ(results.folderGroups.size(), 1u);  // the two Photos
        ExpectMembersFacts(results.folderGroups);
        ASSERT_EQ(results.zeroByteFiles.size(), 2u);
        ASSERT_EQ(results.zeroByteFacts.size(), 2u);
        for (size_t i = 0; i < results.zeroByteFiles.size(); ++i)
            ExpectFactsOf(results.zeroByteFiles[i], results.zeroByteFacts[i]);

        size_t folders = 1;  // the root
        for (const auto& e : fs::recursive_directory_iterator(tree.Root()))
            folders += e.is_directory() ? 1 : 0;
        EXPECT_EQ(results.folders.size(), folders);
        EXPECT_EQ(results.folders.count(tree.Root16()), 1u);
        for (const auto& [path, facts] : results.folders)
            ExpectFactsOf(path, facts);
    }
}

}  // namespace
}  // namespace cs::engine

#endif  // _WIN32
