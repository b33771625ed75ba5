// Content digests at the read-chunk and head/tail boundaries, checked
// against digests computed independently over the bytes the rules say each
// digest covers.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "engine/digests.h"
#include "engine/options.h"
#include "engine/scan.h"
#include "platform/digest.h"
#include "platform/file.h"
#include "support/reference_scan.h"
#include "support/temp_tree.h"

namespace cs::engine {
namespace {

using platform::Hasher;
using test::TempTree;

constexpr uint64_t KiB = 1024;
constexpr uint64_t MiB = 1024 * KiB;

Digest DigestOf(DigestAlgorithm algorithm, const std::string& bytes, uint64_t from, uint64_t to) {
    Hasher h;
    EXPECT_TRUE(h.Begin(algorithm));
    if (to > from) {
        EXPECT_TRUE(h.Update(bytes.data() + from, to - from));
    }
    Digest d;
    EXPECT_TRUE(h.Finish(d));
    return d;
}

// What the head and tail must cover, written out from the coverage table
// rather than from the read loop.
ContentDigests Expected(const std::string& bytes, uint32_t criterion) {
    const uint64_t size = bytes.size();
    ContentDigests d;
    d.head = DigestOf(DigestAlgorithm::Md5, bytes, 0, std::min(size, kHeadLength));
    uint64_t tailFrom = size;  // below 2 MiB: the tail covers nothing
    if (criterion == CRIT_EXACT_CONTENTS && size > kHeadLength)
        tailFrom = kHeadLength;
    if (criterion == CRIT_SIMILAR_CONTENTS && size >= kHeadLength)
        tailFrom = size - kHeadLength;
    d.tail = DigestOf(DigestAlgorithm::Sha256, bytes, tailFrom, size);
    return d;
}

struct Reading {
    std::atomic<uint8_t> cancel{0};
    std::atomic<uint64_t> bytes{0};
    ReadBuffer buffer;
    ReadContext Context() { return ReadContext{&cancel, &bytes, &buffer}; }
};

TEST(Digests, KnownVectorsOfEmptyInput) {
    // Guards the independent side of the comparisons below.
    const Digest md5 = DigestOf(DigestAlgorithm::Md5, "", 0, 0);
    const Digest sha = DigestOf(DigestAlgorithm::Sha256, "", 0, 0);
    ASSERT_EQ(md5.length, 16);
    ASSERT_EQ(sha.length, 32);
    const uint8_t md5Empty[] = {0xd4, 0x1d, 0x8c, 0xd9, 0x8f, 0x00, 0xb2, 0x04,
                                0xe9, 0x80, 0x09, 0x98, 0xec, 0xf8, 0x42, 0x7e};
    const uint8_t shaEmptyStart[] = {0xe3, 0xb0, 0xc4, 0x42, 0x98, 0xfc, 0x1c, 0x14};
    EXPECT_EQ(std::memcmp(md5.bytes.data(), md5Empty, 16), 0);
    EXPECT_EQ(std::memcmp(sha.bytes.data(), shaEmptyStart, 8), 0);
}

class DigestBoundaries : public testing::TestWithParam<uint64_t> {};

TEST_P(DigestBoundaries, FileAndMemoryDigestsCoverTheDocumentedRanges) {
    const uint64_t size = GetParam();
    TempTree tree;
    const std::string bytes = test::PseudoRandomBytes(size, static_cast<uint32_t>(size));
    tree.Write("f.bin", bytes);
    const std::u16string path = tree.Path16("f.bin");

    for (uint32_t criterion : {CRIT_EXACT_CONTENTS, CRIT_SIMILAR_CONTENTS}) {
        SCOPED_TRACE(criterion == CRIT_EXACT_CONTENTS ? "exact" : "similar");
        const ContentDigests want = Expected(bytes, criterion);
        Reading r;
        ContentDigests got;
        ASSERT_EQ(ComputeContentDigests(path, criterion, got, r.Context()), HashResult::Ok);
        EXPECT_TRUE(got.head == want.head);
        EXPECT_TRUE(got.tail == want.tail);
        EXPECT_EQ(got.head.length, 16);
        EXPECT_EQ(got.tail.length, 32);
    }
}

INSTANTIATE_TEST_SUITE_P(ChunkHeadAndTailEdges, DigestBoundaries,
                         testing::Values(1, 512 * KiB - 1, 512 * KiB, 512 * KiB + 1, 2 * MiB - 1,
                                         2 * MiB, 2 * MiB + 1, 4 * MiB - 1, 4 * MiB, 4 * MiB + 1),
                         [](const testing::TestParamInfo<uint64_t>& param) {
                             return "size_" + std::to_string(param.param);
                         });

TEST(HashFileRange, HashesFromTheCurrentPositionUpToTheLimit) {
    TempTree tree;
    const uint64_t size = 3 * MiB + 17;
    const std::string bytes = test::PseudoRandomBytes(size, 7);
    tree.Write("f.bin", bytes);

    struct Case {
        uint64_t start;
        uint64_t limit;
    };
    const Case cases[] = {
        {0, 0},        {0, kHeadLength},        {0, 700000},         {100, kHeadLength},
        {100, 0},      {0, 512 * KiB},          {0, 512 * KiB + 1},  {0, 512 * KiB - 1},
        {0, size + 5}, {size - 3, kHeadLength}, {size, kHeadLength}, {size, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "start " << c.start << " limit " << c.limit);
        platform::FileReader file;
        ASSERT_EQ(file.Open(tree.Path16("f.bin")), platform::Status::Ok);
        ASSERT_TRUE(file.SeekTo(c.start));
        const uint64_t end = c.limit == 0 ? size : std::min(size, c.start + c.limit);
        for (DigestAlgorithm algorithm : {DigestAlgorithm::Md5, DigestAlgorithm::Sha256}) {
            ASSERT_TRUE(file.SeekTo(c.start));
            Reading r;
            Digest out;
            ASSERT_EQ(HashFileRange(file, algorithm, c.limit, out, r.Context()), HashResult::Ok);
            EXPECT_TRUE(out == DigestOf(algorithm, bytes, c.start, end));
            EXPECT_EQ(r.bytes.load(), end - c.start);
        }
    }
}

TEST(HashFileRange, HeadThenTailContinuesWhereTheHeadStopped) {
    TempTree tree;
    const std::string bytes = test::PseudoRandomBytes(2 * MiB + 1000, 3);
    tree.Write("f.bin", bytes);
    platform::FileReader file;
    ASSERT_EQ(file.Open(tree.Path16("f.bin")), platform::Status::Ok);
    Reading r;
    Digest head, tail;
    ASSERT_EQ(HashFileRange(file, DigestAlgorithm::Md5, kHeadLength, head, r.Context()),
              HashResult::Ok);
    ASSERT_EQ(HashFileRange(file, DigestAlgorithm::Sha256, 0, tail, r.Context()), HashResult::Ok);
    EXPECT_TRUE(head == DigestOf(DigestAlgorithm::Md5, bytes, 0, kHeadLength));
    EXPECT_TRUE(tail == DigestOf(DigestAlgorithm::Sha256, bytes, kHeadLength, bytes.size()));
}

TEST(HashFileRange, CancelStopsBetweenChunksAndLeavesTheOutputAlone) {
    TempTree tree;
    tree.WriteSized("big.bin", 3 * MiB, 11);
    platform::FileReader file;
    ASSERT_EQ(file.Open(tree.Path16("big.bin")), platform::Status::Ok);
    Reading r;
    r.cancel = 1;
    Digest out;
    out.length = 5;
    out.bytes[0] = 0xAB;
    EXPECT_EQ(HashFileRange(file, DigestAlgorithm::Sha256, 0, out, r.Context()),
              HashResult::Cancelled);
    EXPECT_EQ(out.length, 5);
    EXPECT_EQ(out.bytes[0], 0xAB);
    // Noticed within a chunk or so, not after reading the whole file.
    EXPECT_LE(r.bytes.load(), kReadChunk);

    ContentDigests digests;
    EXPECT_EQ(
        ComputeContentDigests(tree.Path16("big.bin"), CRIT_EXACT_CONTENTS, digests, r.Context()),
        HashResult::Cancelled);
}

TEST(HashFileRange, ReadErrorIsAFailureNotAShortDigest) {
    platform::FileReader closed;  // every read fails
    Reading r;
    Digest out;
    out.length = 3;
    EXPECT_EQ(HashFileRange(closed, DigestAlgorithm::Md5, 0, out, r.Context()), HashResult::Failed);
    EXPECT_EQ(out.length, 3);
}

TEST(Digests, FilesThatCannotBeOpenedHaveNoDigests) {
    TempTree tree;
    tree.MakeDir("folder");
    Reading r;
    ContentDigests d;
    EXPECT_EQ(
        ComputeContentDigests(tree.Path16("missing.bin"), CRIT_EXACT_CONTENTS, d, r.Context()),
        HashResult::Failed);
    EXPECT_EQ(ComputeContentDigests(tree.Path16("folder"), CRIT_SIMILAR_CONTENTS, d, r.Context()),
              HashResult::Failed);
}

TEST(Digests, DefaultReadContextWorks) {
    TempTree tree;
    const std::string bytes = test::PseudoRandomBytes(600 * KiB, 5);
    tree.Write("f.bin", bytes);
    ContentDigests d;
    ASSERT_EQ(ComputeContentDigests(tree.Path16("f.bin"), CRIT_EXACT_CONTENTS, d, ReadContext{}),
              HashResult::Ok);
    EXPECT_TRUE(d.head == Expected(bytes, CRIT_EXACT_CONTENTS).head);
}

TEST(Digests, IdenticalOneMiBFilesMatchWithEmptyTail) {
    TempTree tree;
    const std::string bytes = test::PseudoRandomBytes(MiB, 21);
    tree.Write("a.bin", bytes);
    tree.Write("sub/b.bin", bytes);
    const Digest emptySha = DigestOf(DigestAlgorithm::Sha256, "", 0, 0);
    for (uint32_t criterion : {CRIT_EXACT_CONTENTS, CRIT_SIMILAR_CONTENTS}) {
        Reading r;
        ContentDigests a, b;
        ASSERT_EQ(ComputeContentDigests(tree.Path16("a.bin"), criterion, a, r.Context()),
                  HashResult::Ok);
        ASSERT_EQ(ComputeContentDigests(tree.Path16("sub/b.bin"), criterion, b, r.Context()),
                  HashResult::Ok);
        EXPECT_TRUE(a.head == b.head);
        EXPECT_TRUE(a.tail == b.tail);
        EXPECT_TRUE(a.tail == emptySha);

        ScanOptions o;
        o.criteria = CRIT_RECURSIVE | CRIT_SAME_SIZE | criterion;
        o.rootPath = tree.Root16();
        const test::ScanRecord rec = test::RunEngineScan(o);
        ASSERT_EQ(rec.final.matchGroups.size(), 1u) << test::Describe(rec.final);
        EXPECT_EQ(rec.final.matchGroups[0].size(), 2u);
    }
}

// The two content criteria part ways on large files: similar contents look
// at the first and last 2 MiB only.
TEST(Digests, MiddleByteSeparatesExactFromSimilarContents) {
    TempTree tree;
    std::string bytes = test::PseudoRandomBytes(10 * MiB, 8);
    tree.Write("a.bin", bytes);
    bytes[5000000] = static_cast<char>(bytes[5000000] ^ 0x01);
    tree.Write("b.bin", bytes);

    ScanOptions o;
    o.rootPath = tree.Root16();
    o.criteria = BuildCriteriaFlags([] {
        SetupChoices c;
        ApplyPreset(3, c);  // same size, similar contents
        return c;
    }());
    test::ScanRecord rec = test::RunEngineScan(o);
    ASSERT_EQ(rec.final.matchGroups.size(), 1u);
    EXPECT_EQ(rec.final.matchGroups[0].size(), 2u);

    o.criteria = BuildCriteriaFlags([] {
        SetupChoices c;
        ApplyPreset(4, c);  // same size, exact contents
        return c;
    }());
    rec = test::RunEngineScan(o);
    EXPECT_TRUE(rec.final.matchGroups.empty()) << test::Describe(rec.final);

    // One byte past what the similar head and tail cover on a 4 MiB + 1 file.
    TempTree edge;
    std::string e = test::PseudoRandomBytes(4 * MiB + 1, 9);
    edge.Write("a.bin", e);
    e[kHeadLength] = static_cast<char>(e[kHeadLength] ^ 0x80);
    edge.Write("b.bin", e);
    o.rootPath = edge.Root16();
    o.criteria = CRIT_SIMILAR_CONTENTS;
    EXPECT_EQ(test::RunEngineScan(o).final.matchGroups.size(), 1u);
    o.criteria = CRIT_EXACT_CONTENTS;
    EXPECT_EQ(test::RunEngineScan(o).final.matchGroups.size(), 0u);
}

// A digest holding a zero byte is a digest like any other: a length taken
// up to the first zero (as of a C string) would make it look short or
// empty, and an empty digest is not compared.
TEST(Digests, DigestsWithAZeroByteStillMatchWhenIdentical) {
    std::string contents;
    for (uint32_t seed = 1; contents.empty() && seed < 10000; ++seed) {
        const std::string candidate = test::PseudoRandomBytes(64, seed);
        const Digest md5 = DigestOf(DigestAlgorithm::Md5, candidate, 0, candidate.size());
        if (std::memchr(md5.bytes.data(), 0, md5.length))
            contents = candidate;
    }
    ASSERT_FALSE(contents.empty());
    TempTree tree;
    tree.Write("a.bin", contents);
    tree.Write("b.bin", contents);
    std::string other = contents;
    other[0] = static_cast<char>(other[0] ^ 1);
    tree.Write("c.bin", other);
    ScanOptions o;
    o.rootPath = tree.Root16();
    o.criteria = CRIT_EXACT_CONTENTS;
    const test::ScanRecord rec = test::RunEngineScan(o);
    ASSERT_EQ(rec.final.matchGroups.size(), 1u) << test::Describe(rec.final);
    EXPECT_EQ(rec.final.matchGroups[0].size(), 2u) << test::Describe(rec.final);
}

TEST(Digests, LastByteSeparatesBothCriteria) {
    TempTree tree;
    std::string bytes = test::PseudoRandomBytes(4 * MiB, 10);
    tree.Write("a.bin", bytes);
    bytes.back() = static_cast<char>(bytes.back() ^ 0x01);
    tree.Write("b.bin", bytes);
    ScanOptions o;
    o.rootPath = tree.Root16();
    for (uint32_t criterion : {CRIT_EXACT_CONTENTS, CRIT_SIMILAR_CONTENTS}) {
        o.criteria = CRIT_SAME_SIZE | criterion;
        EXPECT_TRUE(test::RunEngineScan(o).final.matchGroups.empty());
    }
}

}  // namespace
}  // namespace cs::engine
