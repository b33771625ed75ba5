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

#include "engine/contents_cache.h"
#include "engine/digests.h"

namespace cs::engine {

// Files up to this size are read whole for their signature.
inline constexpr uint64_t kWholeReadLimit = 64 * 1024;
// The signature covers this many bytes at each end of the file.
inline constexpr size_t kSignatureSpan = 4096;

// How many content classes of one signature bucket are told apart by
// comparing bytes with their founders; classes founded after these carry
// digests and are found through them, so a bucket of many files that share
// their ends yet differ inside costs one digest each, not a comparison with
// every founder.
inline constexpr size_t kComparedFounders = 4;

struct ReadJob {
    // Signature: see ReadSignature.
    // Place: compare the bytes the digests cover with those of each of
    // `founders` in turn, stopping at the first equal one; when none is
    // equal and `wantDigests` holds, compute this file's digests.
    enum class Kind { Signature, Place };
    Kind kind = Kind::Signature;
    std::u16string path;
    uint64_t size = 0;  // as listed by the walk
    std::vector<std::u16string> founders;
    bool wantDigests = false;
    // Take this file's full digest when a read passes over every byte
    // anyway (a small file's signature; under exact contents a comparison
    // that found it equal, or its digests): what a cache keeps.
    bool wantFull = false;

    // Results, valid once done. `result` is about this file: Failed when it
    // could not be read, whatever the founders did.
    HashResult result = HashResult::Failed;
    uint64_t signature = 0;
    int32_t matched = -1;        // index into `founders` of the equal one
    uint32_t founderFailed = 0;  // bit i: founders[i] could not be read
    bool hasDigests = false;
    ContentDigests digests;
    bool hasFull = false;
    FullDigest full;
    // Set (release) by the worker after the results; read (acquire) by the
    // scan thread without the lock, which it polls after every file.
    std::atomic<bool> done{false};
};

// A cheap fingerprint of a file: its first and last 4 KiB, or all of a
// small file (as far as the walk's size goes). Both digests together cover
// those bytes, so files with different signatures cannot have equal
// digests; equal signatures prove nothing, and the bytes decide.
HashResult ReadSignature(ReadJob& job, const ReadContext& context);

// Whether the bytes the digests of `a` cover are the very bytes those of
// `b` cover (same head, same tail), read the way ComputeContentDigests
// reads them. Ok and `equal` when they are; Failed when either file cannot
// be read; Cancelled as usual.
HashResult CompareCoveredBytes(const std::u16string& a, const std::u16string& b, uint32_t criteria,
                               bool& equal, const ReadContext& context,
                               ReadBuffer& otherBuffer);

// Runs a Place job on the calling thread (the pool's workers call it too).
void RunPlaceJob(ReadJob& job, uint32_t criteria, const ReadContext& context,
                 ReadBuffer& otherBuffer);

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

    // Queues a job. Jobs are handed to the readers in batches (one wake-up
    // for several files, not one each); Flush hands over what is staged,
    // and Wait does so before it sleeps.
    std::shared_ptr<ReadJob> Submit(std::shared_ptr<ReadJob> job);
    void Flush();
    bool IsDone(const ReadJob& job);
    void Wait(const ReadJob& job);

private:
    void Work(unsigned index);
    // Whether worker `index` may take a job now (mutex held).
    bool MayWork(unsigned index) const;
    void Account(bool blocked);
    void Run(ReadJob& job, ReadBuffer& buffer, ReadBuffer& otherBuffer);

    const uint32_t criteria_;
    const std::atomic<uint8_t>& cancel_;
    std::atomic<uint64_t>& bytesRead_;
    std::mutex mutex_;
    std::condition_variable coreReady_;  // the readers that always work wait here
    std::condition_variable ioReady_;    // the extra readers wait here
    std::condition_variable jobDone_;
    // The job the scan thread sleeps on, if it does: only that one's end
    // wakes it, not every job's.
    std::atomic<const ReadJob*> awaited_{nullptr};
    unsigned coreThreads_ = 0;
    bool waitingOnDisk_ = false;  // recent reads mostly waited
    // Decaying counts over recent jobs (mutex held).
    double recentBlocked_ = 0;
    double recentJobs_ = 0;
    std::deque<std::shared_ptr<ReadJob>> queue_;
    std::vector<std::shared_ptr<ReadJob>> staged_;  // scan thread only
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace cs::engine
