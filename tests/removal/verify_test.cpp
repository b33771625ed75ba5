// Verified removal on real trees: a scan, a selection rule, the disk
// changed the way users and other programs change it, then the check and
// the removal. What is on disk afterwards is what counts.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "engine/scan.h"
#include "platform/text.h"
#include "removal/verify.h"
#include "results/memory_rows.h"
#include "results/result_list.h"
#include "results/selection.h"
#include "support/temp_tree.h"

#ifndef _WIN32
#include <sys/mount.h>
#include <unistd.h>
#endif

namespace cs::removal {
namespace {

namespace fs = std::filesystem;
using engine::CRIT_EXACT_CONTENTS;
using engine::CRIT_RECURSIVE;
using engine::CRIT_SAME_SIZE;
using engine::CRIT_SIMILAR_CONTENTS;
using engine::CRIT_SIMILAR_FOLDERS;
using engine::CRIT_SIMILAR_NAME;
using test::TempTree;

constexpr uint32_t kExact = CRIT_RECURSIVE | CRIT_SAME_SIZE | CRIT_EXACT_CONTENTS;
constexpr uint32_t kSizeAndNames = CRIT_RECURSIVE | CRIT_SAME_SIZE | CRIT_SIMILAR_NAME;

// One scan and its rows, as either front end holds them.
struct Scanned {
    engine::ScanOptions options;
    engine::ScanResults results;
    results::MemoryRows rows;
    std::atomic<uint8_t> cancel{0};

    Scanned(const std::u16string& root, uint32_t criteria) {
        options.rootPath = root;
        options.criteria = criteria;
        engine::RunScan(options, results, cancel);
        results::RebuildResultList(rows, results, criteria);
    }

    std::vector<ItemVerdict> Verify(const ScanRecord& record) {
        return VerifyTickedItems(rows, record, cancel);
    }

    // Checks and removes what the policy permits; the outcomes top row first.
    std::vector<ItemOutcome> Remove(bool toTrash = false, RemovalPolicy policy = {}) {
        const ScanRecord record(results, options.criteria);
        return RemoveChecked(record, Verify(record), toTrash, policy);
    }

    std::vector<ItemOutcome> RemoveChecked(const ScanRecord& record,
                                           const std::vector<ItemVerdict>& verdicts,
                                           bool toTrash = false, RemovalPolicy policy = {}) {
        std::atomic<int32_t> failures{0};
        std::vector<ItemOutcome> outcomes;
        RemoveVerifiedItems(rows, verdicts, record, toTrash, policy, cancel, failures, &outcomes);
        std::reverse(outcomes.begin(), outcomes.end());
        return outcomes;
    }
};

const ItemOutcome* OutcomeFor(const std::vector<ItemOutcome>& outcomes, const fs::path& path) {
    const std::u16string wanted = test::ToU16(path);
    for (const ItemOutcome& o : outcomes)
        if (o.path == wanted)
            return &o;
    return nullptr;
}

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every distinct content of the regular files below `root`.
std::set<std::string> Contents(const fs::path& root) {
    std::set<std::string> contents;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file() && !e.is_symlink())
            contents.insert(Slurp(e.path()));
    return contents;
}

TEST(VerifiedRemoval, UnchangedExactCopiesGoAndTheKeeperStays) {
    TempTree tree;
    const auto a = tree.Write("a/photo.jpg", "the same bytes");
    const auto b = tree.Write("b/photo.jpg", "the same bytes");
    const auto c = tree.Write("c/photo (2).jpg", "the same bytes");
    Scanned s(tree.Root16(), kExact);
    results::KeepFirst(s.rows);
    const auto outcomes = s.Remove();
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_TRUE(outcomes[0].removed && outcomes[1].removed);
    EXPECT_TRUE(fs::exists(a));
    EXPECT_FALSE(fs::exists(b));
    EXPECT_FALSE(fs::exists(c));
    EXPECT_EQ(s.rows.Count(), 1) << "the removed rows went with their items";
}

TEST(VerifiedRemoval, VictimRewrittenOrReplacedSinceTheScanStays) {
    TempTree tree;
    const auto keep = tree.Write("keep.txt", "0123456789");
    const auto rewritten = tree.Write("rewritten.txt", "0123456789");
    const auto replaced = tree.Write("replaced.txt", "0123456789");
    Scanned s(tree.Root16(), kExact);
    results::KeepFirst(s.rows);
    // Same size, other bytes, a later time: a user saved new work into it.
    tree.Write("rewritten.txt", "9876543210");
    fs::last_write_time(rewritten, fs::last_write_time(rewritten) + std::chrono::seconds(5));
    // Another file moved into its place under the same name.
    fs::remove(replaced);
    tree.Write("replaced.txt", "0123456789");
    const auto outcomes = s.Remove();
    ASSERT_NE(OutcomeFor(outcomes, rewritten), nullptr);
    EXPECT_FALSE(OutcomeFor(outcomes, rewritten)->removed);
    EXPECT_EQ(OutcomeFor(outcomes, rewritten)->check, platform::ItemCheck::Changed);
    EXPECT_EQ(Slurp(rewritten), "9876543210");
    ASSERT_NE(OutcomeFor(outcomes, replaced), nullptr);
    EXPECT_FALSE(OutcomeFor(outcomes, replaced)->removed);
    EXPECT_TRUE(fs::exists(replaced));
    EXPECT_TRUE(fs::exists(keep));
    EXPECT_EQ(s.rows.Count(), 3) << "refused rows stay";
}

TEST(VerifiedRemoval, KeeperGoneBeforeOrAfterTheCheckStopsTheRemoval) {
    TempTree tree;
    const auto a1 = tree.Write("a1.txt", "group a");
    const auto a2 = tree.Write("a2.txt", "group a");
    const auto b1 = tree.Write("x/b.txt", "group b!");
    const auto b2 = tree.Write("y/b.txt", "group b!");
    Scanned s(tree.Root16(), kExact);
    results::KeepFirst(s.rows);
    fs::remove(a1);  // before the check
    const ScanRecord record(s.results, s.options.criteria);
    const auto verdicts = s.Verify(record);
    ASSERT_EQ(verdicts.size(), 2u);
    EXPECT_EQ(verdicts[0].why, Why::NoKeeper);
    EXPECT_EQ(verdicts[1].verdict, Verdict::Verified);
    fs::remove(b1);  // after the check, before the removal
    const auto outcomes = s.RemoveChecked(record, verdicts);
    EXPECT_TRUE(fs::exists(a2));
    EXPECT_TRUE(fs::exists(b2));
    ASSERT_NE(OutcomeFor(outcomes, b2), nullptr);
    EXPECT_EQ(OutcomeFor(outcomes, b2)->why, Why::KeeperGone);
}

TEST(VerifiedRemoval, AWhollyTickedGroupKeepsItsFirstCopyAndAGoneItemCountsAsRemoved) {
    TempTree tree;
    const auto a1 = tree.Write("a1.txt", "group a");
    const auto a2 = tree.Write("a2.txt", "group a");
    const auto a3 = tree.Write("a3.txt", "group a");
    const auto b1 = tree.Write("b1.txt", "group b!");
    const auto b2 = tree.Write("b2.txt", "group b!");
    const auto c1 = tree.Write("c1.txt", "group c!!");
    const auto c2 = tree.Write("c2.txt", "group c!!");
    const auto e1 = tree.Write("e1.txt", "");
    const auto e2 = tree.Write("e2.txt", "");
    Scanned s(tree.Root16(), kExact | engine::CRIT_LIST_ZERO_BYTE);
    results::SetAllItems(s.rows, true);
    // Group c is not wholly ticked: its first row is the user's keeper.
    for (int32_t r = 0; r < s.rows.Count(); ++r)
        if (s.rows.Text(r, results::kPathColumn) == test::ToU16(c1))
            s.rows.SetStateImage(r, results::kUnticked);
    std::vector<RowSnapshot> snapshot = SnapshotRows(s.rows);
    const std::vector<int32_t> kept = KeepFirstOfFullyTickedGroups(snapshot);
    ASSERT_EQ(kept.size(), 2u) << "groups a and b; not c, not the empty files";
    EXPECT_EQ(snapshot[static_cast<size_t>(kept[0])].path, test::ToU16(a1));
    EXPECT_EQ(snapshot[static_cast<size_t>(kept[1])].path, test::ToU16(b1));

    fs::remove(b2);  // gone before the check: nothing of it is left to lose
    const ScanRecord record(s.results, s.options.criteria);
    const auto verdicts = VerifyTicked(snapshot, record, s.cancel);
    RemovalPolicy policy;
    policy.goneIsRemoved = true;
    const auto outcomes = s.RemoveChecked(record, verdicts, false, policy);
    for (const ItemOutcome& o : outcomes)
        EXPECT_TRUE(o.removed) << platform::Utf16ToUtf8Lossless(o.path) << ": "
                               << WhyText(o.why, o.check);
    EXPECT_TRUE(fs::exists(a1));
    EXPECT_TRUE(fs::exists(b1));
    EXPECT_TRUE(fs::exists(c1));
    for (const auto& gone : {a2, a3, c2, e1, e2})
        EXPECT_FALSE(fs::exists(gone));
    std::set<std::u16string> left;
    for (int32_t r = 0; r < s.rows.Count(); ++r)
        if (results::IsItemRow(s.rows, r))
            left.insert(s.rows.Text(r, results::kPathColumn));
    EXPECT_EQ(left, (std::set<std::u16string>{test::ToU16(a1), test::ToU16(b1), test::ToU16(c1)}))
        << "the gone item's row went with the removed ones";
}

TEST(VerifiedRemoval, TwoRunsOnOneTreeNeverTakeBothCopies) {
    TempTree tree;
    tree.Write("one/report.txt", "quarterly");
    tree.Write("two/report.txt", "quarterly");
    tree.Write("three/report.txt", "quarterly");
    const auto before = Contents(tree.Root());
    Scanned first(tree.Root16(), kExact);
    Scanned second(tree.Root16(), kExact);
    results::KeepFirst(first.rows);
    results::KeepLast(second.rows);
    // Both checked (both prompts answered), then confirmed one after the other.
    const ScanRecord r1(first.results, kExact), r2(second.results, kExact);
    const auto v1 = first.Verify(r1);
    const auto v2 = second.Verify(r2);
    first.RemoveChecked(r1, v1);
    const auto outcomes = second.RemoveChecked(r2, v2);
    EXPECT_EQ(Contents(tree.Root()), before);
    for (const ItemOutcome& o : outcomes)
        EXPECT_FALSE(o.removed) << platform::Utf16ToUtf8Lossless(o.path);
}

TEST(VerifiedRemoval, WithoutExactContentsBytesAreComparedInFull) {
    TempTree tree;
    // Same size and similar names, other contents: a look-alike.
    const auto same1 = tree.Write("same.txt", "identical words");
    const auto same2 = tree.Write("same - copy.txt", "identical words");
    const auto look1 = tree.Write("look.txt", "first version!!");
    const auto look2 = tree.Write("look - copy.txt", "other version!!");
    Scanned s(tree.Root16(), kSizeAndNames);
    results::KeepFirst(s.rows);
    const ScanRecord record(s.results, kSizeAndNames);
    const auto verdicts = s.Verify(record);
    const VerdictCounts counts = CountVerdicts(verdicts);
    EXPECT_EQ(counts.verified, 1);
    EXPECT_EQ(counts.unverified, 1);
    const auto outcomes = s.RemoveChecked(record, verdicts);
    EXPECT_NE(fs::exists(same1), fs::exists(same2)) << "one of the true copies went";
    EXPECT_TRUE(fs::exists(look1) && fs::exists(look2)) << "unverified items need consent";
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_EQ(outcomes[0].removed + outcomes[1].removed, 1);
    for (const ItemOutcome& o : outcomes) {
        if (!o.removed) {
            EXPECT_EQ(o.why, Why::KeeperDiffers);
        }
    }

    // With consent the look-alike goes too.
    Scanned again(tree.Root16(), kSizeAndNames);
    results::KeepFirst(again.rows);
    again.Remove(false, RemovalPolicy{true, false});
    EXPECT_NE(fs::exists(look1), fs::exists(look2));
}

TEST(VerifiedRemoval, SimilarContentsWithAnotherMiddleByteIsUnverified) {
    TempTree tree;
    const uint64_t size = 5u << 20;  // head and tail of 2 MiB leave a middle
    const std::string bytes = test::PseudoRandomBytes(size, 7);
    std::string other = bytes;
    other[size / 2] ^= 0x5A;
    tree.Write("film.mkv", bytes);
    const auto twin = tree.Write("film (2).mkv", other);
    constexpr uint32_t kSimilar = CRIT_RECURSIVE | CRIT_SAME_SIZE | CRIT_SIMILAR_CONTENTS;
    Scanned s(tree.Root16(), kSimilar);
    ASSERT_EQ(s.results.matchGroups.size(), 1u) << "the scan sees them as similar";
    results::KeepFirst(s.rows);
    const auto outcomes = s.Remove();
    EXPECT_TRUE(fs::exists(twin));
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0].why, Why::KeeperDiffers);
}

TEST(VerifiedRemoval, FolderGroupsAreMatchedByNameAndNeverProveAnything) {
    TempTree tree;
    // Two "Photos" folders that share a name only, and two that are copies.
    tree.Write("2023/Photos/beach.jpg", "sand and sea");
    const auto unique = tree.Write("2024/Photos/city.jpg", "only copy of this");
    tree.Write("Backup/Docs/letter.txt", "dear reader");
    tree.Write("Backup/Docs/sub/note.txt", "remember");
    const auto docsCopy = tree.Write("Docs/letter.txt", "dear reader");
    tree.Write("Docs/sub/note.txt", "remember");
    const auto before = Contents(tree.Root());
    constexpr uint32_t kFolders = CRIT_RECURSIVE | CRIT_SIMILAR_FOLDERS | CRIT_SAME_SIZE |
                                  CRIT_SIMILAR_NAME;
    {
        Scanned s(tree.Root16(), kFolders);
        results::SetAllItems(s.rows, true);
        s.Remove(false, RemovalPolicy{true, false});
        EXPECT_EQ(Contents(tree.Root()), before) << "tick-all must leave one of each group";
    }
    Scanned s(tree.Root16(), kFolders);
    results::KeepFirst(s.rows);
    const ScanRecord record(s.results, kFolders);
    const auto verdicts = s.Verify(record);
    bool sawPhotos = false, sawDocs = false;
    for (const ItemVerdict& v : verdicts) {
        if (v.path == tree.Path16("2024/Photos")) {
            sawPhotos = true;
            EXPECT_EQ(v.verdict, Verdict::Unverified);
            EXPECT_EQ(v.why, Why::NoCopyBelow);
        }
        if (v.path == tree.Path16("Docs")) {
            sawDocs = true;
            EXPECT_EQ(v.verdict, Verdict::Verified) << WhyText(v.why, v.check);
        }
    }
    EXPECT_TRUE(sawPhotos);
    EXPECT_TRUE(sawDocs);
    s.RemoveChecked(record, verdicts);
    EXPECT_TRUE(fs::exists(unique));
    EXPECT_FALSE(fs::exists(docsCopy)) << "every file below had its twin in the keeper";
    EXPECT_EQ(Contents(tree.Root()), before);
}

TEST(VerifiedRemoval, FileAddedBelowAVerifiedFolderAfterTheCheckStopsIt) {
    TempTree tree;
    tree.Write("Backup/Docs/letter.txt", "dear reader");
    tree.Write("Docs/letter.txt", "dear reader");
    constexpr uint32_t kFolders = CRIT_RECURSIVE | CRIT_SIMILAR_FOLDERS | CRIT_SAME_SIZE |
                                  CRIT_SIMILAR_NAME;
    Scanned s(tree.Root16(), kFolders);
    results::KeepFirst(s.rows);
    const ScanRecord record(s.results, kFolders);
    const auto verdicts = s.Verify(record);
    const auto fresh = tree.Write("Docs/new work.txt", "written after the check");
    s.RemoveChecked(record, verdicts);
    EXPECT_TRUE(fs::exists(fresh));
}

// The user's Cancel while the first item goes: that item is finished,
// the walk stops before the next, and the rows not reached stay ticked.
struct CancelOnFirstDelete : results::MemoryRows {
    std::atomic<uint8_t>* cancel = nullptr;
    void DeleteRow(int32_t row) {
        results::MemoryRows::DeleteRow(row);
        cancel->store(1);
    }
};

TEST(VerifiedRemoval, CancelFinishesTheItemInHandAndLeavesTheRestTicked) {
    TempTree tree;
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"})
        tree.Write(name, "four copies");
    engine::ScanOptions options;
    options.rootPath = tree.Root16();
    options.criteria = kExact;
    engine::ScanResults scanned;
    std::atomic<uint8_t> cancel{0};
    ASSERT_EQ(engine::RunScan(options, scanned, cancel), engine::ScanOutcome::Completed);
    CancelOnFirstDelete rows;
    rows.cancel = &cancel;
    results::RebuildResultList(rows, scanned, kExact);
    results::KeepFirst(rows);
    const ScanRecord record(scanned, kExact);
    const auto verdicts = VerifyTickedItems(rows, record, cancel);
    ASSERT_EQ(verdicts.size(), 3u);
    std::atomic<int32_t> failures{0};
    EXPECT_EQ(RemoveVerifiedItems(rows, verdicts, record, false, {}, cancel, failures), 1);
    EXPECT_EQ(failures.load(), 0) << "items not reached are not failures";
    EXPECT_FALSE(fs::exists(fs::path(verdicts[2].path))) << "the bottom row goes first";
    for (size_t v = 0; v < 2; ++v) {
        EXPECT_TRUE(fs::exists(fs::path(verdicts[v].path)));
        EXPECT_EQ(rows.StateImage(verdicts[v].row), results::kTicked);
    }
}

#ifndef _WIN32

TEST(VerifiedRemoval, ParentSwappedForALinkLeadsNowhereInEitherMode) {
    for (const bool toTrash : {false, true}) {
        TempTree tree;
        TempTree outside;
        tree.Write("keep/f.txt", "the same bytes");
        tree.Write("dup/f.txt", "the same bytes");
        const auto foreign = outside.Write("f.txt", "other bytes, not in the tree");
        Scanned s(tree.Root16(), kExact);
        results::KeepFirst(s.rows);
        // "dup" is walked first, so keep-first ticks keep/f.txt.
        ASSERT_EQ(s.rows.Text(1, results::kPathColumn), tree.Path16("keep/f.txt"));
        ASSERT_EQ(s.rows.StateImage(1), results::kTicked);
        // While the question waits, the folder becomes a link to another
        // folder holding a file of the same name.
        fs::rename(tree.Path("keep"), tree.Path("keep.moved"));
        fs::create_directory_symlink(outside.Root(), tree.Path("keep"));
        const auto outcomes = s.Remove(toTrash);
        EXPECT_EQ(Slurp(foreign), "other bytes, not in the tree") << "trash " << toTrash;
        ASSERT_EQ(outcomes.size(), 1u);
        EXPECT_FALSE(outcomes[0].removed);
        EXPECT_EQ(outcomes[0].check, platform::ItemCheck::PathChanged);
        EXPECT_TRUE(fs::exists(tree.Path("keep.moved/f.txt")));
    }
}

TEST(VerifiedRemoval, FolderHoldingAnotherFileSystemIsNeverEntered) {
    if (geteuid() != 0)
        GTEST_SKIP() << "mounting needs root";
    for (const bool toTrash : {false, true}) {
        TempTree tree;
        tree.Write("Backup/Docs/letter.txt", "dear reader");
        tree.Write("Docs/letter.txt", "dear reader");
        tree.MakeDir("Docs/mnt");
        const std::string mountPoint = tree.Path("Docs/mnt").string();
        if (mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=1m") != 0)
            GTEST_SKIP() << "tmpfs cannot be mounted here";
        { std::ofstream(tree.Path("Docs/mnt/elsewhere.txt")) << "lives on another device"; }
        constexpr uint32_t kFolders = CRIT_RECURSIVE | CRIT_SIMILAR_FOLDERS | CRIT_SAME_SIZE |
                                      CRIT_SIMILAR_NAME;
        Scanned s(tree.Root16(), kFolders);
        results::KeepFirst(s.rows);
        const auto outcomes = s.Remove(toTrash, RemovalPolicy{true, true});
        const bool kept = fs::exists(tree.Path("Docs/mnt/elsewhere.txt"));
        umount(mountPoint.c_str());
        EXPECT_TRUE(kept) << "trash " << toTrash;
        const ItemOutcome* docs = OutcomeFor(outcomes, tree.Path("Docs"));
        ASSERT_NE(docs, nullptr);
        EXPECT_FALSE(docs->removed);
        EXPECT_EQ(docs->check, platform::ItemCheck::OtherDevice);
    }
}

#endif  // !_WIN32

}  // namespace
}  // namespace cs::removal
