#include "engine/digests.h"

#include "engine/options.h"

namespace cs::engine {

HashResult HashFileRange(platform::FileReader& file, DigestAlgorithm algorithm, uint64_t limit,
                         Digest& out, const ReadContext& context) {
    platform::Hasher hasher;
    if (!hasher.Begin(algorithm))
        return HashResult::Failed;
    ReadBuffer local;
    ReadBuffer& buffer = context.buffer ? *context.buffer : local;
    if (buffer.size() < kReadChunk)
        buffer.resize(kReadChunk);

    uint64_t total = 0;
    for (;;) {
        if (context.cancel && context.cancel->load(std::memory_order_relaxed)) {
            return HashResult::Cancelled;
        }
        const uint64_t request = NextReadRequest(limit, total);
        if (request == 0)
            break;
        const int64_t got = file.Read(buffer.data(), static_cast<size_t>(request));
        if (got < 0)
            return HashResult::Failed;  // a digest of part of a file proves nothing
        if (got == 0)
            break;
        if (!hasher.Update(buffer.data(), static_cast<size_t>(got)))
            return HashResult::Failed;
        if (context.full)
            context.full->Update(buffer.data(), static_cast<size_t>(got));
        total += static_cast<uint64_t>(got);
        if (context.bytesRead) {
            context.bytesRead->fetch_add(static_cast<uint64_t>(got), std::memory_order_relaxed);
        }
        // Read stops short only at the end: asking again would return 0,
        // one system call per file for nothing.
        if (static_cast<uint64_t>(got) < request)
            break;
    }
    Digest digest;
    if (!hasher.Finish(digest))
        return HashResult::Failed;
    out = digest;
    return HashResult::Ok;
}

HashResult ComputeContentDigests(const std::u16string& path, uint32_t criteria, ContentDigests& out,
                                 const ReadContext& context) {
    platform::FileReader file;
    if (file.Open(path) != platform::Status::Ok)
        return HashResult::Failed;
    file.HintSequential();
    return ComputeContentDigests(file, criteria, out, context);
}

HashResult ComputeContentDigests(platform::FileReader& file, uint32_t criteria, ContentDigests& out,
                                 const ReadContext& context) {
    if (!file.SeekTo(0))
        return HashResult::Failed;
    ContentDigests digests;
    HashResult r = HashFileRange(file, DigestAlgorithm::Md5, kHeadLength, digests.head, context);
    if (r != HashResult::Ok)
        return r;
    if (criteria & CRIT_SIMILAR_CONTENTS) {
        // Shorter than 2 MiB: the move fails and the tail starts where the
        // head ended, at the end of the file.
        file.SeekFromEnd(kHeadLength);
    }
    r = HashFileRange(file, DigestAlgorithm::Sha256, 0, digests.tail, context);
    if (r != HashResult::Ok)
        return r;
    out = digests;
    return HashResult::Ok;
}

}  // namespace cs::engine
