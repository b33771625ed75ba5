// The walk: which entries take part, links and special files, recursion,
// the type filter, one physical file listed once, and cancelling.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/scan.h"
#include "platform/text.h"
#include "support/reference_scan.h"
#include "support/temp_tree.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace cs::engine {
namespace {

namespace fs = std::filesystem;
using test::Describe;
using test::Options;
using test::PathList;
using test::RunEngineScan;
using test::ScanRecord;
using test::TempTree;

std::set<std::u16string> AsSet(const PathList& paths) {
    return {paths.begin(), paths.end()};
}

std::set<std::u16string> AllGroupedPaths(const ScanRecord& rec) {
    std::set<std::u16string> out;
    for (const PathList& g : rec.final.matchGroups)
        out.insert(g.begin(), g.end());
    return out;
}

TEST(Walk, HiddenFilesTakePart) {
    TempTree tree;
    tree.Write(".hidden", "same bytes");
    tree.Write("visible", "same bytes");
    tree.Write(".dir/inner", "same bytes");
    const ScanRecord rec = RunEngineScan(Options(tree, CRIT_RECURSIVE | CRIT_EXACT_CONTENTS));
    ASSERT_EQ(rec.final.matchGroups.size(), 1u) << Describe(rec.final);
    EXPECT_EQ(AsSet(rec.final.matchGroups[0]),
              (std::set<std::u16string>{tree.Path16(".hidden"), tree.Path16("visible"),
                                        tree.Path16(".dir/inner")}));
}

TEST(Walk, NonRecursiveListsNoFolderAndNothingBelowTheRoot) {
    TempTree tree;
    tree.Write("a.txt", "xyz");
    tree.Write("Photos/a.txt", "xyz");
    tree.Write("b/Photos/a.txt", "xyz");
    tree.Write("b/empty.txt", "");
    tree.Write("top-empty.txt", "");
    const uint32_t flags =
        CRIT_SIMILAR_FOLDERS | CRIT_SAME_SIZE | CRIT_EXACT_NAME | CRIT_LIST_ZERO_BYTE;

    const ScanRecord flat = RunEngineScan(Options(tree, flags));
    EXPECT_TRUE(flat.final.folderGroups.empty()) << Describe(flat.final);
    EXPECT_TRUE(flat.final.matchGroups.empty()) << Describe(flat.final);
    EXPECT_EQ(flat.final.zeroByteFiles, PathList{tree.Path16("top-empty.txt")});

    const ScanRecord deep = RunEngineScan(Options(tree, flags | CRIT_RECURSIVE));
    ASSERT_EQ(deep.final.folderGroups.size(), 1u) << Describe(deep.final);
    EXPECT_EQ(AsSet(deep.final.folderGroups[0]),
              (std::set<std::u16string>{tree.Path16("Photos"), tree.Path16("b/Photos")}));
    ASSERT_EQ(deep.final.matchGroups.size(), 1u);
    EXPECT_EQ(deep.final.matchGroups[0].size(), 3u);
    EXPECT_EQ(AsSet(deep.final.zeroByteFiles),
              (std::set<std::u16string>{tree.Path16("top-empty.txt"), tree.Path16("b/empty.txt")}));
}

TEST(Walk, ZeroByteFilesIgnoreTheTypeFilterAndNeverMatch) {
    TempTree tree;
    tree.Write("e.txt", "");
    tree.Write("f.jpg", "");
    tree.Write("noext", "");
    tree.Write("sub/g.doc", "");
    ScanOptions o = Options(tree, CRIT_RECURSIVE | CRIT_LIST_ZERO_BYTE, u"|jpg|");
    const ScanRecord rec = RunEngineScan(o);
    EXPECT_TRUE(rec.final.matchGroups.empty()) << Describe(rec.final);  // no criterion at all
    EXPECT_EQ(rec.final.zeroByteFiles, test::WalkFiles(tree.Root16(), true));
    EXPECT_EQ(rec.final.zeroByteFiles.size(), 4u);

    o.criteria = CRIT_RECURSIVE;
    EXPECT_TRUE(RunEngineScan(o).final.zeroByteFiles.empty());
}

TEST(Walk, TypeFilterIsCaseInsensitiveAndBarsAdmitFilesWithoutExtension) {
    TempTree tree;
    for (const char* name : {"noext", "trail.", ".bashrc", "x.txt", "y.TXT", "z.jpg", "w.tar.gz"}) {
#ifdef _WIN32
        if (std::string(name) == "trail.")
            continue;  // Win32 drops a trailing dot
#endif
        tree.Write(name, "identical");
    }
    auto grouped = [&](std::u16string filter) {
        return AllGroupedPaths(RunEngineScan(Options(tree, CRIT_EXACT_CONTENTS, filter)));
    };
    std::set<std::u16string> extensionless{tree.Path16("noext"), tree.Path16(".bashrc")};
#ifndef _WIN32
    extensionless.insert(tree.Path16("trail."));
#endif
    EXPECT_EQ(grouped(u"||"), extensionless);
    EXPECT_EQ(grouped(u"|||"), extensionless);
    EXPECT_EQ(grouped(u"|txt|"),
              (std::set<std::u16string>{tree.Path16("x.txt"), tree.Path16("y.TXT")}));
    EXPECT_EQ(grouped(u"|TXT|GZ|"),
              (std::set<std::u16string>{tree.Path16("x.txt"), tree.Path16("y.TXT"),
                                        tree.Path16("w.tar.gz")}));
    // "tar.gz" is never an extension: only the text after the last dot is.
    EXPECT_TRUE(grouped(u"|tar.gz|jpg|").empty());
    EXPECT_TRUE(grouped(u"|").empty());
    EXPECT_EQ(grouped(u"").size(), extensionless.size() + 4);
}

TEST(Walk, CancelledBeforeTheFirstEntryFindsNothing) {
    TempTree tree;
    tree.Write("a", "1");
    tree.Write("b", "1");
    tree.Write("c", "");
    ScanResults results;
    std::atomic<uint8_t> cancel{1};
    EXPECT_EQ(RunScan(Options(tree, CRIT_RECURSIVE | CRIT_SAME_SIZE | CRIT_LIST_ZERO_BYTE), results,
                      cancel),
              ScanOutcome::Cancelled);
    EXPECT_TRUE(results.matchGroups.empty());
    EXPECT_TRUE(results.zeroByteFiles.empty());
}

// Cancel raised at the first rebuild, deep in the tree, must stop every
// level: not one more entry anywhere is processed.
TEST(Walk, CancelInADeepFolderUnwindsEveryLevel) {
    TempTree tree;
    std::string deep;
    for (int level = 0; level < 12; ++level) {
        deep += "d" + std::to_string(level) + "/";
        // Side folders at each level, met before or after the descent as
        // the listing orders them.
        for (int k = 0; k < 3; ++k) {
            tree.Write(deep + "side/f" + std::to_string(k), "0123456789");
        }
    }
    for (int k = 0; k < 40; ++k)
        tree.Write(deep + "leaf" + std::to_string(k), "0123456789");

    ScanResults results;
    std::atomic<uint8_t> cancel{0};
    int rebuilds = 0;
    ScanHooks hooks;
    hooks.rebuild = [&](const ScanResults&) {
        ++rebuilds;
        cancel = 1;
    };
    ScanProgress progress;
    const ScanOutcome outcome =
        RunScan(Options(tree, CRIT_RECURSIVE | CRIT_SAME_SIZE), results, cancel, &progress, hooks);
    EXPECT_EQ(outcome, ScanOutcome::Cancelled);
    EXPECT_EQ(rebuilds, 1);
    ASSERT_EQ(results.matchGroups.size(), 1u);
    // The founder and the 30 joins that reached the first threshold.
    EXPECT_EQ(results.matchGroups[0].count, 31);
    EXPECT_EQ(SplitPaths(results.matchGroups[0].paths).size(), 31u);
}

TEST(Walk, CancelFromAnotherThreadStopsTheScanThread) {
    TempTree tree;
    // More copies of one file than the reads that can be under way at once
    // (128) and the joins before the first rebuild (30) together: a cancel
    // that lands at that rebuild leaves files the scan never reads.
    for (int k = 0; k < 300; ++k)
        tree.WriteSized("copy" + std::to_string(k), 16 << 10, 1);
    const ScanOptions options = Options(tree, CRIT_EXACT_CONTENTS);  // must outlive the thread
    // What a whole scan reads (both sides of every comparison count).
    uint64_t everything = 0;
    {
        ScanResults results;
        std::atomic<uint8_t> cancel{0};
        ScanProgress progress;
        ASSERT_EQ(RunScan(options, results, cancel, &progress), ScanOutcome::Completed);
        everything = progress.bytesHashed.load();
        ASSERT_GT(everything, 0u);
    }
    // The scan thread waits in its first rebuild until this thread has
    // raised the flag, so the cancel always lands while it is still at work.
    std::promise<std::thread::id> paused;
    std::future<std::thread::id> pausedOn = paused.get_future();
    std::promise<void> raised;
    std::shared_future<void> resume = raised.get_future().share();
    int rebuilds = 0;
    ScanHooks hooks;
    hooks.rebuild = [&, resume](const ScanResults&) {
        if (++rebuilds > 1)
            return;
        paused.set_value(std::this_thread::get_id());
        // Only bounds a hang of the test itself.
        resume.wait_for(std::chrono::seconds(60));
    };
    ScanResults results;
    std::atomic<uint8_t> cancel{0};
    ScanProgress progress;
    // The program's worker runs the scan this way: RunScan on a thread of
    // its own, the cancel flag raised from the interface thread.
    ScanOutcome outcome = ScanOutcome::Completed;
    std::thread worker(
        [&] { outcome = RunScan(options, results, cancel, &progress, hooks); });
    const bool reached = pausedOn.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
    cancel = 1;
    raised.set_value();
    worker.join();
    ASSERT_TRUE(reached) << "the scan never reached its first rebuild";
    EXPECT_NE(pausedOn.get(), std::this_thread::get_id());
    EXPECT_EQ(outcome, ScanOutcome::Cancelled)
        << "bytes read " << progress.bytesHashed.load() << " of " << everything << ", groups "
        << results.matchGroups.size();
    EXPECT_LT(progress.bytesHashed.load(), everything);
    ASSERT_EQ(results.matchGroups.size(), 1u);
    EXPECT_LT(results.matchGroups[0].count, 300);
}

TEST(Walk, RootThatCannotBeListedGivesAnEmptyCompletedScan) {
    TempTree tree;
    tree.Write("a", "abc");
    tree.Write("b", "abc");
    ScanOptions o = Options(tree, CRIT_RECURSIVE | CRIT_EXACT_CONTENTS | CRIT_LIST_ZERO_BYTE);
    ScanResults results;
    std::atomic<uint8_t> cancel{0};
    for (const char* root : {"a", "missing"}) {
        o.rootPath = tree.Path16(root);
        EXPECT_EQ(RunScan(o, results, cancel), ScanOutcome::Completed) << root;
        EXPECT_TRUE(results.matchGroups.empty());
        EXPECT_TRUE(results.zeroByteFiles.empty());
        // Said, so that it is never taken for a folder without duplicates.
        EXPECT_FALSE(results.rootListed) << root;
    }
}

#ifndef _WIN32

TEST(Walk, SymbolicLinksAreNeitherListedNorFollowed) {
    TempTree tree;
    tree.Write("real/a.bin", "payload");
    tree.Write("real/Photos/b.bin", "payload");
    tree.Write("empty", "");
    fs::create_symlink(tree.Path("real/a.bin"), tree.Path("link-to-file.bin"));
    fs::create_directory_symlink(tree.Path("real"), tree.Path("link-to-dir"));
    tree.MakeDir("other");
    fs::create_directory_symlink(tree.Path("real/Photos"), tree.Path("other/Photos"));
    fs::create_symlink(tree.Path("empty"), tree.Path("link-to-empty"));
    fs::create_symlink(tree.Path("nowhere"), tree.Path("dangling"));

    const ScanRecord rec = RunEngineScan(Options(
        tree, CRIT_RECURSIVE | CRIT_SIMILAR_FOLDERS | CRIT_EXACT_CONTENTS | CRIT_LIST_ZERO_BYTE));
    ASSERT_EQ(rec.final.matchGroups.size(), 1u) << Describe(rec.final);
    EXPECT_EQ(
        AsSet(rec.final.matchGroups[0]),
        (std::set<std::u16string>{tree.Path16("real/a.bin"), tree.Path16("real/Photos/b.bin")}));
    EXPECT_TRUE(rec.final.folderGroups.empty()) << Describe(rec.final);
    EXPECT_EQ(rec.final.zeroByteFiles, PathList{tree.Path16("empty")});
}

TEST(Walk, FifosAndSocketsAreNeverListedNorOpened) {
    TempTree tree;
    tree.Write("a", "");
    tree.Write("x1", "data");
    tree.Write("x2", "data");
    const fs::path fifo = tree.Path("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
    const fs::path sock = tree.Path("sock");
    const int s = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(s, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(sock.native().size(), sizeof(addr.sun_path));
    std::strcpy(addr.sun_path, sock.c_str());
    ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);

    // No size criterion: if the FIFO were taken for a file it would have to
    // be opened and read, and would hang there.
    auto scan = std::async(std::launch::async, [&] {
        return RunEngineScan(Options(tree, CRIT_EXACT_CONTENTS | CRIT_LIST_ZERO_BYTE));
    });
    if (scan.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        ADD_FAILURE() << "the scan blocked on the FIFO";
        const int w = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);  // release it
        if (w >= 0)
            close(w);
    }
    const ScanRecord rec = scan.get();
    close(s);
    EXPECT_EQ(rec.final.zeroByteFiles, PathList{tree.Path16("a")});
    ASSERT_EQ(rec.final.matchGroups.size(), 1u) << Describe(rec.final);
    EXPECT_EQ(AsSet(rec.final.matchGroups[0]),
              (std::set<std::u16string>{tree.Path16("x1"), tree.Path16("x2")}));
}

TEST(Walk, AHardLinkIsListedOnce) {
    TempTree tree;
    tree.Write("one", "the same bytes");
    fs::create_hard_link(tree.Path("one"), tree.Path("one-link"));
    tree.Write("sub/copy", "the same bytes");
    fs::create_hard_link(tree.Path("one"), tree.Path("sub/deeper-link"));

    for (uint32_t criteria : {CRIT_RECURSIVE | CRIT_EXACT_CONTENTS, CRIT_RECURSIVE | CRIT_SAME_SIZE,
                              CRIT_RECURSIVE | CRIT_SIMILAR_CONTENTS | CRIT_SAME_SIZE}) {
        SCOPED_TRACE(criteria);
        const ScanRecord rec = RunEngineScan(Options(tree, criteria));
        ASSERT_EQ(rec.final.matchGroups.size(), 1u) << Describe(rec.final);
        const std::set<std::u16string> members = AsSet(rec.final.matchGroups[0]);
        EXPECT_EQ(rec.final.matchGroups[0].size(), 2u) << Describe(rec.final);
        EXPECT_TRUE(members.count(tree.Path16("sub/copy")));
        // Whichever name of the linked file the walk met first stands for it.
        const int linkedNames = int(members.count(tree.Path16("one"))) +
                                int(members.count(tree.Path16("one-link"))) +
                                int(members.count(tree.Path16("sub/deeper-link")));
        EXPECT_EQ(linkedNames, 1);
    }
}

// Only a name that takes part claims the file: a ".bak" link met first and
// left out by the type filter must not hide the ".jpg" name of the same
// file, or an identical pair of pictures goes unreported.
TEST(Walk, ALinkLeftOutByTheFiltersHidesNoOtherName) {
    TempTree tree;
    tree.Write("a.bak", "the same picture");
    fs::create_hard_link(tree.Path("a.bak"), tree.Path("b.jpg"));
    tree.Write("c.jpg", "the same picture");
    tree.Write("d0.bak", "");
    fs::create_hard_link(tree.Path("d0.bak"), tree.Path("e0.jpg"));
    const ScanRecord rec = RunEngineScan(Options(tree, CRIT_EXACT_CONTENTS, u"|jpg|"));
    ASSERT_EQ(rec.final.matchGroups.size(), 1u) << Describe(rec.final);
    EXPECT_EQ(rec.final.matchGroups[0], (PathList{tree.Path16("b.jpg"), tree.Path16("c.jpg")}));
    // An empty file not listed claims nothing either; once listed, its
    // second name is not listed again.
    EXPECT_TRUE(rec.final.zeroByteFiles.empty());
    const ScanRecord zero =
        RunEngineScan(Options(tree, CRIT_EXACT_CONTENTS | CRIT_LIST_ZERO_BYTE, u"|jpg|"));
    EXPECT_EQ(zero.final.zeroByteFiles, PathList{tree.Path16("d0.bak")});
}

// The same tree must give the same groups, member order and so the same
// "first" copy however it was made, on Linux as on Windows: folders are
// walked in NTFS order (upper-cased names, code-unit order), not in the
// file system's hash or creation order.
TEST(Walk, TheSameTreeGivesTheSameOrderWhateverTheCreationOrder) {
    const std::vector<std::string> names = {"B", "a", "_x", "M/b", "Z", "M/A"};
    TempTree forward, backward;
    for (const std::string& n : names)
        forward.Write(n, "identical");
    for (auto it = names.rbegin(); it != names.rend(); ++it)
        backward.Write(*it, "identical");
    auto relative = [](const TempTree& tree) {
        const ScanRecord rec = RunEngineScan(Options(tree, CRIT_RECURSIVE | CRIT_EXACT_CONTENTS));
        std::vector<std::u16string> out;
        for (const PathList& g : rec.final.matchGroups) {
            for (const std::u16string& p : g)
                out.push_back(p.substr(tree.Root16().size() + 1));
        }
        return out;
    };
    const std::vector<std::u16string> expected = {u"a", u"B", u"M/A", u"M/b", u"Z", u"_x"};
    EXPECT_EQ(relative(forward), expected);
    EXPECT_EQ(relative(backward), expected);
}

// Members of a group are held as paths joined by line feeds: a name with a
// line feed in it would come back as two paths, and the second could name
// another, real file that is no duplicate at all.
TEST(Walk, NamesHoldingALineFeedAreLeftOut) {
    TempTree tree;
    tree.Write("a\nb.txt", "same");
    tree.Write("b.txt", "same");
    tree.Write("dir\nx/c.txt", "same");
    tree.Write("d.txt", "same");
    const ScanRecord rec =
        RunEngineScan(Options(tree, CRIT_RECURSIVE | CRIT_EXACT_CONTENTS | CRIT_SIMILAR_FOLDERS));
    ASSERT_EQ(rec.final.matchGroups.size(), 1u) << Describe(rec.final);
    EXPECT_EQ(AsSet(rec.final.matchGroups[0]),
              (std::set<std::u16string>{tree.Path16("b.txt"), tree.Path16("d.txt")}));
}

// Linux names are bytes, not necessarily UTF-8; such a file must be found,
// opened for its digests and reported under a path that names it again.
TEST(Walk, NamesThatAreNotUtf8AreFoundAndRead) {
    TempTree tree;
    tree.Write("plain.bin", "same bytes here");
    const fs::path odd = tree.Root() / std::string("bad\xff\xfe name.bin");
    {
        std::ofstream out(odd, std::ios::binary);
        out << "same bytes here";
    }
    const ScanRecord rec = RunEngineScan(Options(tree, CRIT_EXACT_CONTENTS));
    ASSERT_EQ(rec.final.matchGroups.size(), 1u) << Describe(rec.final);
    EXPECT_EQ(AsSet(rec.final.matchGroups[0]),
              (std::set<std::u16string>{tree.Path16("plain.bin"), test::ToU16(odd)}));
    for (const std::u16string& p : rec.final.matchGroups[0]) {
        EXPECT_TRUE(fs::exists(fs::path(platform::ToNative(p)))) << test::Utf8(p);
    }
}

#endif  // _WIN32

}  // namespace
}  // namespace cs::engine
