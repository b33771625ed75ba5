#include "engine/read_pool.h"

#include <cstring>

#include "engine/fast_hash.h"
#include "engine/options.h"
#include "platform/clock.h"
#include "platform/file.h"

namespace cs::engine {

namespace {

uint64_t SignatureOf(const uint8_t* head, size_t headSize, const uint8_t* tail, size_t tailSize) {
    return HashBytes(head, headSize, 1) ^ Mix(HashBytes(tail, tailSize, 2));
}

}  // namespace

HashResult ReadSignature(ReadJob& job, const ReadContext& context) {
    platform::FileReader file;
    if (file.Open(job.path) != platform::Status::Ok)
        return HashResult::Failed;
    std::vector<uint8_t>& buffer = *context.buffer;
    if (buffer.size() < kReadChunk)
        buffer.resize(kReadChunk);
    uint8_t* buf = buffer.data();
    job.hasDigests = false;
    if (job.size <= kWholeReadLimit) {
        // A small file is read whole and its signature covers every byte:
        // most small files share their size with others (there are few
        // sizes to go round) and this tells nearly all of them apart
        // without the digests, which only files with equal signatures get.
        const int64_t got = file.Read(buf, kWholeReadLimit);
        if (got < 0)
            return HashResult::Failed;
        const auto n = static_cast<size_t>(got);
        if (context.bytesRead)
            context.bytesRead->fetch_add(n, std::memory_order_relaxed);
        job.signature = HashBytes(buf, n, 3);
        return HashResult::Ok;
    }
    const int64_t head = file.Read(buf, kSignatureSpan);
    if (head != static_cast<int64_t>(kSignatureSpan))
        return HashResult::Failed;
    if (!file.SeekFromEnd(kSignatureSpan))
        return HashResult::Failed;
    const int64_t tail = file.Read(buf + kSignatureSpan, kSignatureSpan);
    if (tail != static_cast<int64_t>(kSignatureSpan))
        return HashResult::Failed;
    if (context.bytesRead)
        context.bytesRead->fetch_add(2 * kSignatureSpan, std::memory_order_relaxed);
    job.signature = SignatureOf(buf, kSignatureSpan, buf + kSignatureSpan, kSignatureSpan);
    return HashResult::Ok;
}

namespace {

// Reads the next `request` bytes of both files and compares them. Sets
// `more` false once either file has ended.
HashResult CompareChunk(platform::FileReader& a, platform::FileReader& b, size_t request,
                        uint8_t* bufA, uint8_t* bufB, bool& equal, size_t& got,
                        const ReadContext& context) {
    const int64_t na = a.Read(bufA, request);
    const int64_t nb = b.Read(bufB, request);
    if (na < 0 || nb < 0)
        return HashResult::Failed;
    if (context.bytesRead) {
        context.bytesRead->fetch_add(static_cast<uint64_t>(na + nb), std::memory_order_relaxed);
    }
    equal = na == nb && std::memcmp(bufA, bufB, static_cast<size_t>(na)) == 0;
    got = static_cast<size_t>(na);
    return HashResult::Ok;
}

// Compares two streams from the current positions, up to `limit` bytes (0:
// to the end), in the chunks HashFileRange would read.
HashResult CompareRange(platform::FileReader& a, platform::FileReader& b, uint64_t limit,
                        uint8_t* bufA, uint8_t* bufB, bool& equal, const ReadContext& context) {
    uint64_t total = 0;
    for (;;) {
        if (context.cancel && context.cancel->load(std::memory_order_relaxed)) {
            return HashResult::Cancelled;
        }
        const uint64_t request = NextReadRequest(limit, total);
        if (request == 0)
            break;
        size_t got = 0;
        const HashResult r =
            CompareChunk(a, b, static_cast<size_t>(request), bufA, bufB, equal, got, context);
        if (r != HashResult::Ok || !equal)
            return r;
        if (got == 0)
            break;
        total += got;
    }
    equal = true;
    return HashResult::Ok;
}

// Hashes the anchor's range as HashFileRange would, comparing the member's
// bytes with it while `comparing` holds. A member that cannot be read sets
// `memberFailed`; a difference only ends the comparison.
HashResult HashAndCompareRange(platform::FileReader& a, platform::FileReader& b,
                               DigestAlgorithm algorithm, uint64_t limit, Digest& out,
                               bool& comparing, bool& memberFailed, uint8_t* bufA, uint8_t* bufB,
                               const ReadContext& context) {
    platform::Hasher hasher;
    if (!hasher.Begin(algorithm))
        return HashResult::Failed;
    uint64_t total = 0;
    for (;;) {
        if (context.cancel && context.cancel->load(std::memory_order_relaxed)) {
            return HashResult::Cancelled;
        }
        const uint64_t request = NextReadRequest(limit, total);
        if (request == 0)
            break;
        const int64_t na = a.Read(bufA, static_cast<size_t>(request));
        if (na < 0)
            return HashResult::Failed;
        uint64_t read = static_cast<uint64_t>(na);
        if (comparing) {
            const int64_t nb = b.Read(bufB, static_cast<size_t>(request));
            if (nb < 0) {
                comparing = false;
                memberFailed = true;
            } else {
                read += static_cast<uint64_t>(nb);
                comparing = na == nb && std::memcmp(bufA, bufB, static_cast<size_t>(na)) == 0;
            }
        }
        if (context.bytesRead)
            context.bytesRead->fetch_add(read, std::memory_order_relaxed);
        if (na == 0)
            break;
        if (!hasher.Update(bufA, static_cast<size_t>(na)))
            return HashResult::Failed;
        total += static_cast<uint64_t>(na);
    }
    return hasher.Finish(out) ? HashResult::Ok : HashResult::Failed;
}

}  // namespace

HashResult CompareCoveredBytes(const std::u16string& pathA, const std::u16string& pathB,
                               uint32_t criteria, bool& equal, const ReadContext& context,
                               std::vector<uint8_t>& otherBuffer) {
    equal = false;
    platform::FileReader a, b;
    if (a.Open(pathA) != platform::Status::Ok || b.Open(pathB) != platform::Status::Ok) {
        return HashResult::Failed;
    }
    a.HintSequential();
    b.HintSequential();
    std::vector<uint8_t>& bufferA = *context.buffer;
    if (bufferA.size() < kReadChunk)
        bufferA.resize(kReadChunk);
    if (otherBuffer.size() < kReadChunk)
        otherBuffer.resize(kReadChunk);
    HashResult r =
        CompareRange(a, b, kHeadLength, bufferA.data(), otherBuffer.data(), equal, context);
    if (r != HashResult::Ok || !equal)
        return r;
    if (criteria & CRIT_SIMILAR_CONTENTS) {
        // Both move, or both stay at the end of a head that was the whole
        // file: either way the tails start where the digests' would.
        const bool movedA = a.SeekFromEnd(kHeadLength);
        const bool movedB = b.SeekFromEnd(kHeadLength);
        if (movedA != movedB) {
            equal = false;
            return HashResult::Ok;
        }
    }
    return CompareRange(a, b, 0, bufferA.data(), otherBuffer.data(), equal, context);
}

ReadPool::ReadPool(unsigned coreThreads, unsigned ioThreads, uint32_t criteria,
                   const std::atomic<uint8_t>& cancel, std::atomic<uint64_t>& bytesRead)
    : criteria_(criteria), cancel_(cancel), bytesRead_(bytesRead), coreThreads_(coreThreads) {
    for (unsigned i = 0; i < coreThreads + ioThreads; ++i) {
        workers_.emplace_back([this, i] { Work(i); });
    }
}

bool ReadPool::MayWork(unsigned index) const {
    return index < coreThreads_ || waitingOnDisk_;
}

void ReadPool::Account(bool blocked) {
    // Half-life of a few dozen jobs: quick to notice the cache going cold
    // (or warm) part way through a tree. Blocking, not elapsed time, is the
    // sign: a job preempted on a busy core also takes long, and adding
    // threads then would only slow the walk that feeds them.
    constexpr double kKeep = 0.97;
    recentBlocked_ = recentBlocked_ * kKeep + (blocked ? 1.0 : 0.0);
    recentJobs_ = recentJobs_ * kKeep + 1.0;
    const bool waiting = recentBlocked_ > 0.5 * recentJobs_;
    if (waiting != waitingOnDisk_) {
        waitingOnDisk_ = waiting;
        if (waiting)
            ioReady_.notify_all();
    }
}

ReadPool::~ReadPool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    coreReady_.notify_all();
    ioReady_.notify_all();
    for (std::thread& t : workers_)
        t.join();
}

void ReadPool::Run(ReadJob& job, std::vector<uint8_t>& buffer) {
    const ReadContext context{&cancel_, &bytesRead_, &buffer};
    if (cancel_.load(std::memory_order_relaxed)) {
        job.result = HashResult::Cancelled;
    } else if (job.kind == ReadJob::Kind::Signature) {
        job.result = ReadSignature(job, context);
    } else if (job.kind == ReadJob::Kind::DigestsWithMember) {
        RunPair(job, *job.member, context);
    } else {
        if (job.kind == ReadJob::Kind::CompareThenDigests) {
            thread_local std::vector<uint8_t> otherBuffer;
            bool equal = false;
            const HashResult r = CompareCoveredBytes(job.path, job.anchorPath, criteria_, equal,
                                                     context, otherBuffer);
            if (r == HashResult::Cancelled || (r == HashResult::Ok && equal)) {
                job.result = r;
                job.sameAsAnchor = r == HashResult::Ok;
                return;
            }
        }
        job.result = ComputeContentDigests(job.path, criteria_, job.digests, context);
        job.hasDigests = job.result == HashResult::Ok;
    }
}

void ReadPool::RunPair(ReadJob& anchor, ReadJob& member, const ReadContext& context) {
    auto ownDigests = [&](ReadJob& job) {
        job.result = ComputeContentDigests(job.path, criteria_, job.digests, context);
        job.hasDigests = job.result == HashResult::Ok;
    };
    if (cancel_.load(std::memory_order_relaxed)) {
        anchor.result = member.result = HashResult::Cancelled;
        return;
    }
    platform::FileReader a, b;
    if (a.Open(anchor.path) != platform::Status::Ok) {
        anchor.result = HashResult::Failed;
        ownDigests(member);
        return;
    }
    bool comparing = b.Open(member.path) == platform::Status::Ok;
    bool memberFailed = !comparing;
    a.HintSequential();
    b.HintSequential();
    thread_local std::vector<uint8_t> otherBuffer;
    std::vector<uint8_t>& bufferA = *context.buffer;
    if (bufferA.size() < kReadChunk)
        bufferA.resize(kReadChunk);
    if (otherBuffer.size() < kReadChunk)
        otherBuffer.resize(kReadChunk);

    ContentDigests digests;
    HashResult r =
        HashAndCompareRange(a, b, DigestAlgorithm::Md5, kHeadLength, digests.head, comparing,
                            memberFailed, bufferA.data(), otherBuffer.data(), context);
    if (r == HashResult::Ok && (criteria_ & CRIT_SIMILAR_CONTENTS)) {
        const bool movedA = a.SeekFromEnd(kHeadLength);
        if (comparing && b.SeekFromEnd(kHeadLength) != movedA)
            comparing = false;
    }
    if (r == HashResult::Ok) {
        r = HashAndCompareRange(a, b, DigestAlgorithm::Sha256, 0, digests.tail, comparing,
                                memberFailed, bufferA.data(), otherBuffer.data(), context);
    }
    if (r == HashResult::Cancelled) {
        anchor.result = member.result = HashResult::Cancelled;
        return;
    }
    anchor.result = r;
    anchor.hasDigests = r == HashResult::Ok;
    if (anchor.hasDigests)
        anchor.digests = digests;
    if (memberFailed) {
        member.result = HashResult::Failed;  // unreadable: never grouped
    } else if (comparing && anchor.hasDigests) {
        member.result = HashResult::Ok;
        member.sameAsAnchor = true;
    } else {
        // It differs, or the anchor could not be read through: nothing is
        // proved, and the member needs digests of its own.
        b.Close();
        ownDigests(member);
    }
}

void ReadPool::Publish(ReadJob& job) {
    job.done.store(true, std::memory_order_release);
    if (job.member)
        job.member->done.store(true, std::memory_order_release);
}

void ReadPool::Enqueue(const std::shared_ptr<ReadJob>& job) {
    if (workers_.empty()) {
        static thread_local std::vector<uint8_t> buffer;
        Run(*job, buffer);
        Publish(*job);
        return;
    }
    bool wakeIo;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(job);
        wakeIo = waitingOnDisk_;
    }
    // Two wait queues: a wake-up meant for a reader that may work must
    // never be spent on an extra reader that may not, and sleep again.
    coreReady_.notify_one();
    if (wakeIo)
        ioReady_.notify_one();
}

std::pair<std::shared_ptr<ReadJob>, std::shared_ptr<ReadJob>> ReadPool::SubmitPair(
    std::u16string anchorPath, uint64_t anchorSize, std::u16string memberPath,
    uint64_t memberSize) {
    auto member = std::make_shared<ReadJob>();
    member->kind = ReadJob::Kind::CompareThenDigests;
    member->path = std::move(memberPath);
    member->size = memberSize;
    member->anchorPath = anchorPath;
    auto anchor = std::make_shared<ReadJob>();
    anchor->kind = ReadJob::Kind::DigestsWithMember;
    anchor->path = std::move(anchorPath);
    anchor->size = anchorSize;
    anchor->member = member;
    Enqueue(anchor);
    return {anchor, member};
}

std::shared_ptr<ReadJob> ReadPool::Submit(ReadJob::Kind kind, std::u16string path, uint64_t size,
                                          std::u16string anchorPath) {
    auto job = std::make_shared<ReadJob>();
    job->kind = kind;
    job->path = std::move(path);
    job->size = size;
    job->anchorPath = std::move(anchorPath);
    Enqueue(job);
    return job;
}

bool ReadPool::IsDone(const ReadJob& job) {
    return job.done.load(std::memory_order_acquire);
}

void ReadPool::Wait(const ReadJob& job) {
    if (IsDone(job))
        return;
    std::unique_lock<std::mutex> lock(mutex_);
    consumerWaiting_ = true;
    jobDone_.wait(lock, [&job] { return job.done.load(std::memory_order_acquire); });
    consumerWaiting_ = false;
}

void ReadPool::Work(unsigned index) {
    std::vector<uint8_t> buffer;
    unsigned sampled = index;
    for (;;) {
        std::shared_ptr<ReadJob> job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            std::condition_variable& ready = index < coreThreads_ ? coreReady_ : ioReady_;
            ready.wait(lock,
                       [this, index] { return stopping_ || (!queue_.empty() && MayWork(index)); });
            if (stopping_ && (queue_.empty() || !MayWork(index)))
                return;
            job = std::move(queue_.front());
            queue_.pop_front();
        }
        // The job is this worker's alone until `done` is published.
        // One job in four is timed: enough to follow the cache going cold
        // or warm, at a quarter of the system calls.
        const bool sample = (++sampled % 4) == 0;
        const uint64_t blocksBefore = sample ? platform::ThreadBlockCount() : 0;
        Run(*job, buffer);
        const bool blocked = sample && platform::ThreadBlockCount() != blocksBefore;
        bool wake;
        {
            // Under the lock, so a scan thread about to sleep on this job
            // either sees it done or is woken.
            std::lock_guard<std::mutex> lock(mutex_);
            Publish(*job);
            wake = consumerWaiting_;
            if (sample)
                Account(blocked);
        }
        if (wake)
            jobDone_.notify_one();
    }
}

}  // namespace cs::engine
