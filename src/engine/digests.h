// Content digests of one file: MD5 of the first 2 MiB (head) and SHA-256 of
// either the rest of the file (exact contents) or its last 2 MiB (similar
// contents), read in 512 KiB chunks. A read error or a cancel part way makes
// the digest absent: a digest of only some of the bytes could equal another
// file's. One thread per call; the buffer is the caller's.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/contents_cache.h"
#include "platform/digest.h"
#include "platform/file.h"

namespace cs::engine {

using platform::Digest;
using platform::DigestAlgorithm;

inline constexpr uint64_t kHeadLength = 0x200000;  // 2 MiB
inline constexpr size_t kReadChunk = 0x80000;      // 512 KiB

// Leaves what it allocates unwritten: a read buffer's pages then only
// count towards the process's memory once a read has filled them, so the
// readers of a tree of small files hold a page each, not 512 KiB.
template <typename T>
struct UninitialisedAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = UninitialisedAllocator<U>;
    };
    UninitialisedAllocator() = default;
    template <typename U>
    UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept {}
    template <typename U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};
using ReadBuffer = std::vector<uint8_t, UninitialisedAllocator<uint8_t>>;

// Where HashFileRange reports bytes read (progress) and looks for cancel.
struct ReadContext {
    const std::atomic<uint8_t>* cancel = nullptr;
    std::atomic<uint64_t>* bytesRead = nullptr;
    ReadBuffer* buffer = nullptr;  // reused; grown to kReadChunk
    // Takes in every byte HashFileRange reads, when given.
    FullDigester* full = nullptr;
};

enum class HashResult { Ok, Failed, Cancelled };

// The size of the next read when `total` bytes of a range of `limit` bytes
// (0: to the end of the file) are done; 0 once the range is complete. With
// a 2 MiB limit: four reads of 512 KiB, then 0.
inline uint64_t NextReadRequest(uint64_t limit, uint64_t total) {
    if (limit != 0 && limit < total + kReadChunk)
        return limit - total;
    return kReadChunk;
}

// Hashes from the file's current position up to `limit` bytes (0 = to the
// end). On anything but Ok, `out` is left unchanged.
HashResult HashFileRange(platform::FileReader& file, DigestAlgorithm algorithm, uint64_t limit,
                         Digest& out, const ReadContext& context);

struct ContentDigests {
    Digest head;
    Digest tail;
};

// Both digests of the file at `path` under the content criterion in
// `criteria` (CRIT_EXACT_CONTENTS or CRIT_SIMILAR_CONTENTS). Ok only when
// both were computed over every byte they cover.
HashResult ComputeContentDigests(const std::u16string& path, uint32_t criteria, ContentDigests& out,
                                 const ReadContext& context);
// The same for a file already open, from its start.
HashResult ComputeContentDigests(platform::FileReader& file, uint32_t criteria, ContentDigests& out,
                                 const ReadContext& context);

}  // namespace cs::engine
