// MD5 and SHA-256 against the published test vectors, fed in awkward
// pieces, reused, and from several threads at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "platform/digest.h"

namespace cs::platform {
namespace {

std::string Hex(const Digest& digest) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < digest.length; ++i) {
        out.push_back(kDigits[digest.bytes[i] >> 4]);
        out.push_back(kDigits[digest.bytes[i] & 15]);
    }
    return out;
}

// The digest of `data` fed in pieces of `piece` bytes (0 = all at once).
std::string HexOf(DigestAlgorithm algorithm, const std::string& data, size_t piece = 0) {
    Hasher hasher;
    if (!hasher.Begin(algorithm))
        return "Begin failed";
    if (piece == 0)
        piece = data.size() + 1;
    for (size_t at = 0; at < data.size(); at += piece) {
        if (!hasher.Update(data.data() + at, std::min(piece, data.size() - at))) {
            return "Update failed";
        }
    }
    Digest digest;
    if (!hasher.Finish(digest))
        return "Finish failed";
    return Hex(digest);
}

const std::string kMillionA(1000000, 'a');

TEST(Hasher, Md5KnownVectors) {
    EXPECT_EQ(HexOf(DigestAlgorithm::Md5, ""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(HexOf(DigestAlgorithm::Md5, "abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(HexOf(DigestAlgorithm::Md5, kMillionA), "7707d6ae4e027c70eea2a935c2296f21");
}

TEST(Hasher, Sha256KnownVectors) {
    EXPECT_EQ(HexOf(DigestAlgorithm::Sha256, ""),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(HexOf(DigestAlgorithm::Sha256, "abc"),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(HexOf(DigestAlgorithm::Sha256, kMillionA),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Hasher, PiecesOfAnySizeGiveTheSameDigest) {
    for (const size_t piece :
         {size_t{1}, size_t{63}, size_t{64}, size_t{65}, size_t{4093}, size_t{512 * 1024}}) {
        SCOPED_TRACE(piece);
        const std::string& data = piece == 1 ? std::string(70000, 'a') : kMillionA;
        EXPECT_EQ(HexOf(DigestAlgorithm::Md5, data, piece), HexOf(DigestAlgorithm::Md5, data));
        EXPECT_EQ(HexOf(DigestAlgorithm::Sha256, data, piece),
                  HexOf(DigestAlgorithm::Sha256, data));
    }
    EXPECT_EQ(HexOf(DigestAlgorithm::Sha256, kMillionA, 999),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Hasher, DigestLengthsFollowTheAlgorithm) {
    Hasher hasher;
    Digest digest;
    ASSERT_TRUE(hasher.Begin(DigestAlgorithm::Md5));
    ASSERT_TRUE(hasher.Finish(digest));
    EXPECT_EQ(digest.length, 16);
    ASSERT_TRUE(hasher.Begin(DigestAlgorithm::Sha256));
    ASSERT_TRUE(hasher.Finish(digest));
    EXPECT_EQ(digest.length, 32);
}

TEST(Hasher, OneHasherServesDigestAfterDigest) {
    Hasher hasher;
    Digest digest;
    // Begin discards an unfinished digest.
    ASSERT_TRUE(hasher.Begin(DigestAlgorithm::Sha256));
    ASSERT_TRUE(hasher.Update("discarded", 9));
    ASSERT_TRUE(hasher.Begin(DigestAlgorithm::Md5));
    ASSERT_TRUE(hasher.Update("abc", 3));
    ASSERT_TRUE(hasher.Finish(digest));
    EXPECT_EQ(Hex(digest), "900150983cd24fb0d6963f7d28e17f72");

    // After Finish nothing goes on without a new Begin.
    EXPECT_FALSE(hasher.Update("abc", 3));
    EXPECT_FALSE(hasher.Finish(digest));
    EXPECT_EQ(Hex(digest), "900150983cd24fb0d6963f7d28e17f72") << "a failed Finish wrote";

    ASSERT_TRUE(hasher.Begin(DigestAlgorithm::Sha256));
    ASSERT_TRUE(hasher.Update("abc", 3));
    ASSERT_TRUE(hasher.Update("", 0));
    ASSERT_TRUE(hasher.Finish(digest));
    EXPECT_EQ(Hex(digest), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(Hasher, NothingWithoutBegin) {
    Hasher hasher;
    Digest digest;
    EXPECT_FALSE(hasher.Update("abc", 3));
    EXPECT_FALSE(hasher.Finish(digest));
    EXPECT_EQ(digest.length, 0);
}

TEST(Hasher, DigestsWithAZeroByteCompareOverTheirWholeLength) {
    // Find an input whose MD5 has a zero byte before its last byte, so a
    // comparison that stops at a zero would miss a later difference.
    Hasher hasher;
    Digest digest;
    size_t zeroAt = 0;
    std::string input;
    for (int i = 0; i < 100000 && zeroAt == 0; ++i) {
        input = "zero" + std::to_string(i);
        ASSERT_TRUE(hasher.Begin(DigestAlgorithm::Md5));
        ASSERT_TRUE(hasher.Update(input.data(), input.size()));
        ASSERT_TRUE(hasher.Finish(digest));
        for (size_t k = 0; k + 1 < digest.length; ++k) {
            if (digest.bytes[k] == 0) {
                zeroAt = k + 1;  // 1-based, so 0 still means "not found"
                break;
            }
        }
    }
    ASSERT_NE(zeroAt, 0u);

    Digest again;
    ASSERT_TRUE(hasher.Begin(DigestAlgorithm::Md5));
    ASSERT_TRUE(hasher.Update(input.data(), input.size()));
    ASSERT_TRUE(hasher.Finish(again));
    EXPECT_TRUE(again == digest);

    Digest differentAfterZero = digest;
    differentAfterZero.bytes[digest.length - 1] ^= 1;
    EXPECT_FALSE(differentAfterZero == digest);
    EXPECT_TRUE(differentAfterZero != digest);
}

TEST(Hasher, ThreadsHashAtTheSameTime) {
    // The algorithm providers are shared by every Hasher. Run alone (ctest
    // gives each case its own process natively) this also races the
    // threads to the providers' first use.
    constexpr int kThreads = 6;
    std::vector<std::string> results(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &results] {
            const auto algorithm = t % 2 ? DigestAlgorithm::Sha256 : DigestAlgorithm::Md5;
            std::string joined;
            for (int round = 0; round < 3; ++round) {
                joined += HexOf(algorithm, kMillionA, 4096 + t) + " ";
            }
            results[t] = joined;
        });
    }
    for (auto& thread : threads)
        thread.join();
    const std::string md5 = "7707d6ae4e027c70eea2a935c2296f21 ";
    const std::string sha = "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0 ";
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(results[t], t % 2 ? sha + sha + sha : md5 + md5 + md5) << "thread " << t;
    }
}

}  // namespace
}  // namespace cs::platform
