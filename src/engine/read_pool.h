// The file reads of a scan, done on worker threads so that both cores hash
// and the disk has more than one request to serve while the walk goes on.
// The pool only reads and computes; every grouping decision stays on the
// scan thread, which consumes the results in the order it asked for them,
// so groups, member order and the moments of the list rebuilds are those of
// a one-thread scan.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/digests.h"

namespace cs::engine {

// Files up to this size are read whole for their signature.
inline constexpr uint64_t kWholeReadLimit = 64 * 1024;
// The signature covers this many bytes at each end of the file.
inline constexpr size_t kSignatureSpan = 4096;

struct ReadJob {
    // Signature: see ReadSignature. Digests: both content digests.
    // CompareThenDigests: compare the bytes the digests cover with those of
    // `anchorPath`; equal bytes have equal digests, so only a file that
    // differs is digested.
    // DigestsWithMember: the digests of this file (the anchor) while the
    // bytes of `member` are compared with it in the same pass, filling the
    // member's job as CompareThenDigests would; the anchor is read once.
    enum class Kind { Signature, Digests, CompareThenDigests, DigestsWithMember };
    Kind kind = Kind::Signature;
    std::u16string path;
    uint64_t size = 0;  // as listed by the walk
    std::u16string anchorPath;
    std::shared_ptr<ReadJob> member;  // DigestsWithMember only; done with this job

    // Results, valid once done.
    HashResult result = HashResult::Failed;
    uint64_t signature = 0;
    bool hasDigests = false;
    bool sameAsAnchor = false;  // covered bytes equal to the anchor's: its digests hold
    ContentDigests digests;
    // Set (release) by the worker after the results; read (acquire) by the
    // scan thread without the lock, which it polls after every file.
    std::atomic<bool> done{false};
};

// A cheap fingerprint of a file: its first and last 4 KiB, or all of a
// small file. Both digests together cover those bytes, so files with
// different signatures cannot have equal digests; equal signatures prove
// nothing, and the digests decide.
HashResult ReadSignature(ReadJob& job, const ReadContext& context);

// Whether the bytes the digests of `a` cover are the very bytes those of
// `b` cover (same head, same tail), read the way ComputeContentDigests
// reads them. Ok and `equal` when they are; Failed when either file cannot
// be read; Cancelled as usual.
HashResult CompareCoveredBytes(const std::u16string& a, const std::u16string& b, uint32_t criteria,
                               bool& equal, const ReadContext& context,
                               std::vector<uint8_t>& otherBuffer);

// Reads on a warm cache are computing (copies, digests): more threads than
// cores only take time from the walk, which feeds them. Reads from a cold
// disk mostly wait, and more requests in flight let the disk serve them
// sooner. So `coreThreads` workers always run, and up to `ioThreads` more
// join in while most recent reads had to block.
class ReadPool {
public:
    ReadPool(unsigned coreThreads, unsigned ioThreads, uint32_t criteria,
             const std::atomic<uint8_t>& cancel, std::atomic<uint64_t>& bytesRead);
    ~ReadPool();
    ReadPool(const ReadPool&) = delete;
    ReadPool& operator=(const ReadPool&) = delete;

    std::shared_ptr<ReadJob> Submit(ReadJob::Kind kind, std::u16string path, uint64_t size,
                                    std::u16string anchorPath = {});
    // The anchor's digests and the first member's comparison in one pass;
    // returns the two jobs, anchor first. Only the anchor's is queued.
    std::pair<std::shared_ptr<ReadJob>, std::shared_ptr<ReadJob>> SubmitPair(
        std::u16string anchorPath, uint64_t anchorSize, std::u16string memberPath,
        uint64_t memberSize);
    bool IsDone(const ReadJob& job);
    void Wait(const ReadJob& job);

private:
    void Work(unsigned index);
    // Whether worker `index` may take a job now (mutex held).
    bool MayWork(unsigned index) const;
    void Account(bool blocked);
    void Run(ReadJob& job, std::vector<uint8_t>& buffer);
    void RunPair(ReadJob& anchor, ReadJob& member, const ReadContext& context);
    void Enqueue(const std::shared_ptr<ReadJob>& job);
    static void Publish(ReadJob& job);

    const uint32_t criteria_;
    const std::atomic<uint8_t>& cancel_;
    std::atomic<uint64_t>& bytesRead_;
    std::mutex mutex_;
    std::condition_variable coreReady_;  // the readers that always work wait here
    std::condition_variable ioReady_;    // the extra readers wait here
    std::condition_variable jobDone_;
    bool consumerWaiting_ = false;  // wake the scan thread only when it sleeps
    unsigned coreThreads_ = 0;
    bool waitingOnDisk_ = false;  // recent reads mostly waited
    // Decaying counts over recent jobs (mutex held).
    double recentBlocked_ = 0;
    double recentJobs_ = 0;
    std::deque<std::shared_ptr<ReadJob>> queue_;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace cs::engine
