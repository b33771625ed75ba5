// The reads that tell contents apart: signatures, the byte comparison that
// stands for equal digests, placements against a bucket's founders, and the
// worker pool.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "engine/options.h"
#include "engine/read_pool.h"
#include "support/temp_tree.h"

namespace cs::engine {
namespace {

using test::TempTree;

constexpr uint64_t KiB = 1024;
constexpr uint64_t MiB = 1024 * KiB;

struct Reads {
    std::atomic<uint8_t> cancel{0};
    std::atomic<uint64_t> bytes{0};
    ReadBuffer buffer;
    ReadBuffer other;
    ReadContext Context() { return ReadContext{&cancel, &bytes, &buffer}; }
};

uint64_t SignatureOf(const std::u16string& path, uint64_t size) {
    Reads r;
    ReadJob job;
    job.path = path;
    job.size = size;
    EXPECT_EQ(ReadSignature(job, r.Context()), HashResult::Ok);
    return job.signature;
}

std::string Flip(std::string bytes, uint64_t at) {
    bytes[at] = static_cast<char>(bytes[at] ^ 0x40);
    return bytes;
}

TEST(Signature, SmallFilesAreTakenWholeLargeOnesByTheirEnds) {
    TempTree tree;
    const std::string small = test::PseudoRandomBytes(kWholeReadLimit, 1);
    tree.Write("small", small);
    tree.Write("small-middle", Flip(small, kWholeReadLimit / 2));
    const std::string large = test::PseudoRandomBytes(kWholeReadLimit + 1, 2);
    tree.Write("large", large);
    tree.Write("large-middle", Flip(large, kWholeReadLimit / 2));
    tree.Write("large-first", Flip(large, 0));
    tree.Write("large-last", Flip(large, kWholeReadLimit));

    EXPECT_NE(SignatureOf(tree.Path16("small"), small.size()),
              SignatureOf(tree.Path16("small-middle"), small.size()));
    // A middle byte of a large file is left to the digests.
    const uint64_t base = SignatureOf(tree.Path16("large"), large.size());
    EXPECT_EQ(base, SignatureOf(tree.Path16("large-middle"), large.size()));
    EXPECT_NE(base, SignatureOf(tree.Path16("large-first"), large.size()));
    EXPECT_NE(base, SignatureOf(tree.Path16("large-last"), large.size()));
}

TEST(Signature, UnreadableFileFails) {
    TempTree tree;
    Reads r;
    ReadJob job;
    job.path = tree.Path16("missing");
    job.size = 10;
    EXPECT_EQ(ReadSignature(job, r.Context()), HashResult::Failed);
}

struct CompareCase {
    const char* what;
    std::string a;
    std::string b;
    bool equalExact;
    bool equalSimilar;
};

TEST(CompareCoveredBytes, ExactlyTheBytesTheDigestsCover) {
    const std::string five = test::PseudoRandomBytes(5 * MiB, 3);
    const std::string three = test::PseudoRandomBytes(3 * MiB, 4);
    const std::string oneAndHalf = test::PseudoRandomBytes(MiB + MiB / 2, 5);
    const CompareCase cases[] = {
        {"identical 5 MiB", five, five, true, true},
        {"5 MiB, middle byte", five, Flip(five, 5 * MiB / 2), false, true},
        {"5 MiB, first byte", five, Flip(five, 0), false, false},
        {"5 MiB, last byte", five, Flip(five, 5 * MiB - 1), false, false},
        // Between 2 and 4 MiB the tail overlaps the head: every byte counts.
        {"3 MiB, middle byte", three, Flip(three, 3 * MiB / 2), false, false},
        {"below 2 MiB, last byte", oneAndHalf, Flip(oneAndHalf, oneAndHalf.size() - 1), false,
         false},
        {"one byte longer", three, three + "x", false, false},
        // Different sizes of 2 MiB or more with the same head and tail.
        {"5 and 4 MiB, same ends", five, five.substr(0, 2 * MiB) + five.substr(3 * MiB), false,
         true},
        {"2 MiB and 2 MiB + 1", five.substr(0, 2 * MiB), five.substr(0, 2 * MiB + 1), false, false},
    };
    TempTree tree;
    for (const CompareCase& c : cases) {
        SCOPED_TRACE(c.what);
        tree.Write("a", c.a);
        tree.Write("b", c.b);
        for (uint32_t criteria : {uint32_t{CRIT_EXACT_CONTENTS}, uint32_t{CRIT_SIMILAR_CONTENTS}}) {
            Reads r;
            bool equal = !(criteria == CRIT_EXACT_CONTENTS ? c.equalExact : c.equalSimilar);
            ASSERT_EQ(CompareCoveredBytes(tree.Path16("a"), tree.Path16("b"), criteria, equal,
                                          r.Context(), r.other),
                      HashResult::Ok);
            EXPECT_EQ(equal, criteria == CRIT_EXACT_CONTENTS ? c.equalExact : c.equalSimilar)
                << (criteria == CRIT_EXACT_CONTENTS ? "exact" : "similar");

            // The comparison is a shortcut for equal digests, never more.
            ContentDigests da, db;
            ASSERT_EQ(ComputeContentDigests(tree.Path16("a"), criteria, da, r.Context()),
                      HashResult::Ok);
            ASSERT_EQ(ComputeContentDigests(tree.Path16("b"), criteria, db, r.Context()),
                      HashResult::Ok);
            EXPECT_EQ(equal, da.head == db.head && da.tail == db.tail);
        }
    }
}

TEST(CompareCoveredBytes, FailsWhenEitherCannotBeReadAndStopsOnCancel) {
    TempTree tree;
    tree.WriteSized("a", 3 * MiB, 6);
    tree.WriteSized("b", 3 * MiB, 6);
    Reads r;
    bool equal = true;
    EXPECT_EQ(CompareCoveredBytes(tree.Path16("a"), tree.Path16("gone"), CRIT_EXACT_CONTENTS, equal,
                                  r.Context(), r.other),
              HashResult::Failed);
    EXPECT_FALSE(equal);
    r.cancel = 1;
    EXPECT_EQ(CompareCoveredBytes(tree.Path16("a"), tree.Path16("b"), CRIT_EXACT_CONTENTS, equal,
                                  r.Context(), r.other),
              HashResult::Cancelled);
}

std::shared_ptr<ReadJob> PlaceJob(const TempTree& tree, const char* name, uint64_t size,
                                  std::vector<const char*> founders, bool wantDigests = false) {
    auto job = std::make_shared<ReadJob>();
    job->kind = ReadJob::Kind::Place;
    job->path = tree.Path16(name);
    job->size = size;
    for (const char* f : founders)
        job->founders.push_back(tree.Path16(f));
    job->wantDigests = wantDigests;
    return job;
}

// Extra readers that may not work must never swallow the wake-up meant for
// a reader that may, and a job still staged for a batch must be handed over
// when the scan waits for it: every job of a long run of one-at-a-time
// submissions has to finish (a lost wake-up hangs here, and ctest's time
// limit fails it).
TEST(ReadPool, EveryJobFinishesWhileTheExtraReadersStayIdle) {
    TempTree tree;
    tree.Write("same-1", "abc");
    tree.Write("same-2", "abc");
    std::atomic<uint8_t> cancel{0};
    std::atomic<uint64_t> bytes{0};
    ReadPool pool(1, 2, CRIT_EXACT_CONTENTS, cancel, bytes);
    for (int i = 0; i < 3000; ++i) {
        const auto job = pool.Submit(PlaceJob(tree, "same-1", 3, {"same-2"}));
        pool.Wait(*job);
        ASSERT_EQ(job->result, HashResult::Ok);
        ASSERT_EQ(job->matched, 0);
    }
}

// A placement stops at the first founder with equal bytes, says which
// founders could not be read without failing itself, and takes its own
// digests only when asked and no founder was equal.
TEST(ReadPool, PlacementComparesFoundersInTurn) {
    TempTree tree;
    const std::string bytes = test::PseudoRandomBytes(3 * MiB, 31);
    tree.Write("file", bytes);
    tree.Write("same", bytes);
    tree.Write("head", Flip(bytes, 1));
    tree.Write("tail", Flip(bytes, 3 * MiB - 1));
    std::atomic<uint8_t> cancel{0};
    std::atomic<uint64_t> bytesRead{0};
    ReadPool pool(2, 0, CRIT_EXACT_CONTENTS, cancel, bytesRead);

    auto run = [&](std::shared_ptr<ReadJob> job) {
        pool.Submit(job);
        pool.Wait(*job);
        return job;
    };
    auto found = run(PlaceJob(tree, "file", bytes.size(), {"head", "gone", "same", "tail"}, true));
    EXPECT_EQ(found->result, HashResult::Ok);
    EXPECT_EQ(found->matched, 2);
    EXPECT_EQ(found->founderFailed, 2u);
    EXPECT_FALSE(found->hasDigests);

    auto none = run(PlaceJob(tree, "file", bytes.size(), {"head", "tail"}));
    EXPECT_EQ(none->result, HashResult::Ok);
    EXPECT_EQ(none->matched, -1);
    EXPECT_FALSE(none->hasDigests);

    auto digested = run(PlaceJob(tree, "file", bytes.size(), {"tail"}, true));
    ASSERT_EQ(digested->result, HashResult::Ok);
    EXPECT_EQ(digested->matched, -1);
    ASSERT_TRUE(digested->hasDigests);
    Reads r;
    ContentDigests expected;
    ASSERT_EQ(ComputeContentDigests(tree.Path16("file"), CRIT_EXACT_CONTENTS, expected, r.Context()),
              HashResult::Ok);
    EXPECT_TRUE(digested->digests.head == expected.head);
    EXPECT_TRUE(digested->digests.tail == expected.tail);

    // The file itself unreadable: failed, whatever the founders.
    auto unreadable = run(PlaceJob(tree, "gone", bytes.size(), {"same"}, true));
    EXPECT_EQ(unreadable->result, HashResult::Failed);
    EXPECT_EQ(unreadable->matched, -1);
}

}  // namespace
}  // namespace cs::engine
