#include "engine/read_pool.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "engine/fast_hash.h"
#include "engine/options.h"
#include "platform/clock.h"
#include "platform/file.h"

namespace cs::engine {

namespace {

// Whether the reads of a comparison or of the digests pass over every byte
// of the file in order.
bool CoversEveryByte(uint32_t criteria) {
    return (criteria & CRIT_EXACT_CONTENTS) && !(criteria & CRIT_SIMILAR_CONTENTS);
}

uint64_t SignatureOf(const uint8_t* head, size_t headSize, const uint8_t* tail, size_t tailSize) {
    return HashBytes(head, headSize, 1) ^ Mix(HashBytes(tail, tailSize, 2));
}

}  // namespace

HashResult ReadSignature(ReadJob& job, const ReadContext& context) {
    // Peeked: a few KiB that only tell files apart, and what proves two
    // files equal (CompareWithFounder) opens them the careful way.
    platform::FileReader file;
    if (file.OpenToPeek(job.path) != platform::Status::Ok)
        return HashResult::Failed;
    ReadBuffer& buffer = *context.buffer;
    if (buffer.size() < kReadChunk)
        buffer.resize(kReadChunk);
    uint8_t* buf = buffer.data();
    job.hasDigests = false;
    job.hasFull = false;
    if (job.size <= kWholeReadLimit) {
        // A small file is read whole and its signature covers every byte:
        // most small files share their size with others (there are few
        // sizes to go round) and this tells nearly all of them apart
        // without the digests, which only files with equal signatures get.
        // Up to the walk's size and no further: one read call, where asking
        // for more would cost a second one that returns nothing. Files of
        // one bucket share that size, so the signatures stay comparable.
        const int64_t got = file.Read(buf, static_cast<size_t>(job.size));
        if (got < 0)
            return HashResult::Failed;
        const auto n = static_cast<size_t>(got);
        if (context.bytesRead)
            context.bytesRead->fetch_add(n, std::memory_order_relaxed);
        job.signature = HashBytes(buf, n, 3);
        if (job.wantFull && n == job.size) {
            job.full = FullDigester::Of(buf, n);
            job.hasFull = true;
        }
        return HashResult::Ok;
    }
    const int64_t head = file.Read(buf, kSignatureSpan);
    if (head != static_cast<int64_t>(kSignatureSpan))
        return HashResult::Failed;
    // The tail by the walk's size: files of one bucket share it, so their
    // signatures cover the same bytes, and one system call is saved.
    if (!file.SeekTo(job.size - kSignatureSpan))
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

enum class CompareOutcome { Equal, Differ, FileFailed, FounderFailed, Cancelled };

// Compares two streams from their current positions, up to `limit` bytes
// (0: to the end), in the chunks HashFileRange would read; `full`, when
// given, takes in the bytes compared.
CompareOutcome CompareStreams(platform::FileReader& file, platform::FileReader& founder,
                              uint64_t limit, uint8_t* bufA, uint8_t* bufB,
                              const ReadContext& context, FullDigester* full) {
    uint64_t total = 0;
    for (;;) {
        if (context.cancel && context.cancel->load(std::memory_order_relaxed))
            return CompareOutcome::Cancelled;
        const uint64_t request = NextReadRequest(limit, total);
        if (request == 0)
            return CompareOutcome::Equal;
        const int64_t na = file.Read(bufA, static_cast<size_t>(request));
        if (na < 0)
            return CompareOutcome::FileFailed;
        const int64_t nb = founder.Read(bufB, static_cast<size_t>(request));
        if (nb < 0)
            return CompareOutcome::FounderFailed;
        if (context.bytesRead) {
            context.bytesRead->fetch_add(static_cast<uint64_t>(na + nb),
                                         std::memory_order_relaxed);
        }
        if (na != nb || std::memcmp(bufA, bufB, static_cast<size_t>(na)) != 0)
            return CompareOutcome::Differ;
        if (full)
            full->Update(bufA, static_cast<size_t>(na));
        // Both ended together: a short read is the end of the file.
        if (static_cast<uint64_t>(na) < request)
            return CompareOutcome::Equal;
        total += static_cast<uint64_t>(na);
    }
}

// Whether `file` (open) and the file at `founderPath` have equal digests,
// told by comparing the bytes the digests cover: equal bytes are equal
// digests, and differing bytes differing ones (short of a collision, which
// the comparison cannot suffer).
CompareOutcome CompareWithFounder(platform::FileReader& file, const std::u16string& founderPath,
                                  uint64_t size, uint32_t criteria, ReadBuffer& bufferA,
                                  ReadBuffer& bufferB, const ReadContext& context,
                                  FullDigester* full = nullptr) {
    if (!file.SeekTo(0))
        return CompareOutcome::FileFailed;
    platform::FileReader founder;
    if (founder.Open(founderPath) != platform::Status::Ok)
        return CompareOutcome::FounderFailed;
    if (size > kWholeReadLimit)
        founder.HintSequential();
    if (bufferA.size() < kReadChunk)
        bufferA.resize(kReadChunk);
    if (bufferB.size() < kReadChunk)
        bufferB.resize(kReadChunk);
    // Only under exact contents do the two streams cover every byte.
    if (!CoversEveryByte(criteria))
        full = nullptr;
    if (full)
        full->Reset();
    const CompareOutcome head =
        CompareStreams(file, founder, kHeadLength, bufferA.data(), bufferB.data(), context, full);
    if (head != CompareOutcome::Equal)
        return head;
    if (criteria & CRIT_SIMILAR_CONTENTS) {
        // Both move, or both stay at the end of a head that was the whole
        // file: either way the tails start where the digests' would.
        if (file.SeekFromEnd(kHeadLength) != founder.SeekFromEnd(kHeadLength))
            return CompareOutcome::Differ;
    }
    return CompareStreams(file, founder, 0, bufferA.data(), bufferB.data(), context, full);
}

// The full digest of an open file, from its start.
HashResult HashWhole(platform::FileReader& file, FullDigester& full, const ReadContext& context) {
    if (!file.SeekTo(0))
        return HashResult::Failed;
    ReadBuffer& buffer = *context.buffer;
    if (buffer.size() < kReadChunk)
        buffer.resize(kReadChunk);
    full.Reset();
    for (;;) {
        if (context.cancel && context.cancel->load(std::memory_order_relaxed))
            return HashResult::Cancelled;
        const int64_t got = file.Read(buffer.data(), kReadChunk);
        if (got < 0)
            return HashResult::Failed;
        full.Update(buffer.data(), static_cast<size_t>(got));
        if (context.bytesRead)
            context.bytesRead->fetch_add(static_cast<uint64_t>(got), std::memory_order_relaxed);
        if (static_cast<uint64_t>(got) < kReadChunk)
            return HashResult::Ok;
    }
}

}  // namespace

HashResult CompareCoveredBytes(const std::u16string& pathA, const std::u16string& pathB,
                               uint32_t criteria, bool& equal, const ReadContext& context,
                               ReadBuffer& otherBuffer) {
    equal = false;
    platform::FileReader a;
    if (a.Open(pathA) != platform::Status::Ok)
        return HashResult::Failed;
    a.HintSequential();
    switch (CompareWithFounder(a, pathB, ~0ull, criteria, *context.buffer, otherBuffer, context)) {
        case CompareOutcome::Equal:
            equal = true;
            return HashResult::Ok;
        case CompareOutcome::Differ:
            return HashResult::Ok;
        case CompareOutcome::Cancelled:
            return HashResult::Cancelled;
        default:
            return HashResult::Failed;
    }
}

void RunPlaceJob(ReadJob& job, uint32_t criteria, const ReadContext& context,
                 ReadBuffer& otherBuffer) {
    job.matched = -1;
    job.founderFailed = 0;
    job.hasDigests = false;
    job.hasFull = false;
    std::optional<FullDigester> full;
    const bool takeFull = job.wantFull && CoversEveryByte(criteria);
    if (takeFull)
        full.emplace();
    platform::FileReader file;
    if (file.Open(job.path) != platform::Status::Ok) {
        job.result = HashResult::Failed;
        return;
    }
    if (job.size > kWholeReadLimit)
        file.HintSequential();
    for (size_t i = 0; i < job.founders.size(); ++i) {
        switch (CompareWithFounder(file, job.founders[i], job.size, criteria, *context.buffer,
                                   otherBuffer, context, full ? &*full : nullptr)) {
            case CompareOutcome::Equal:
                job.matched = static_cast<int32_t>(i);
                job.result = HashResult::Ok;
                if (full) {
                    job.full = full->Finish();
                    job.hasFull = true;
                }
                return;
            case CompareOutcome::Differ:
                break;
            case CompareOutcome::FounderFailed:
                job.founderFailed |= 1u << i;
                break;
            case CompareOutcome::FileFailed:
                job.result = HashResult::Failed;
                return;
            case CompareOutcome::Cancelled:
                job.result = HashResult::Cancelled;
                return;
        }
    }
    if (job.wantDigests) {
        ReadContext withFull = context;
        if (full) {
            full->Reset();
            withFull.full = &*full;
        }
        job.result = ComputeContentDigests(file, criteria, job.digests, withFull);
        job.hasDigests = job.result == HashResult::Ok;
        if (job.hasDigests && full) {
            job.full = full->Finish();
            job.hasFull = true;
        }
        return;
    }
    if (full) {
        // Unlike every class compared: it founds one, and a cache needs its
        // full digest to place the next file without reading this one.
        // A read that fails here only costs the digest: the file was read
        // as far as the scan itself needed.
        const HashResult whole = HashWhole(file, *full, context);
        job.result = whole == HashResult::Cancelled ? whole : HashResult::Ok;
        if (whole == HashResult::Ok) {
            job.full = full->Finish();
            job.hasFull = true;
        }
        return;
    }
    job.result = HashResult::Ok;
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
    constexpr double kKeep = 0.885;  // 0.97 per 4 jobs, to the 4th power: 16 jobs a sample
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

void ReadPool::Run(ReadJob& job, ReadBuffer& buffer, ReadBuffer& otherBuffer) {
    const ReadContext context{&cancel_, &bytesRead_, &buffer};
    if (cancel_.load(std::memory_order_relaxed)) {
        job.result = HashResult::Cancelled;
    } else if (job.kind == ReadJob::Kind::Signature) {
        job.result = ReadSignature(job, context);
    } else {
        RunPlaceJob(job, criteria_, context, otherBuffer);
    }
}

std::shared_ptr<ReadJob> ReadPool::Submit(std::shared_ptr<ReadJob> job) {
    if (workers_.empty()) {
        static thread_local ReadBuffer buffer, otherBuffer;
        Run(*job, buffer, otherBuffer);
        job->done.store(true, std::memory_order_release);
        return job;
    }
    staged_.push_back(job);
    // Enough to keep both cores busy between two hand-overs, few enough
    // that the readers never wait on a walk that has work for them.
    constexpr size_t kBatch = 8;
    if (staged_.size() >= kBatch)
        Flush();
    return job;
}

void ReadPool::Flush() {
    if (staged_.empty())
        return;
    bool wakeIo;
    const size_t count = staged_.size();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (std::shared_ptr<ReadJob>& job : staged_)
            queue_.push_back(std::move(job));
        wakeIo = waitingOnDisk_;
    }
    staged_.clear();
    // Two wait queues: a wake-up meant for a reader that may work must
    // never be spent on an extra reader that may not, and sleep again.
    if (count > 1)
        coreReady_.notify_all();
    else
        coreReady_.notify_one();
    if (wakeIo)
        ioReady_.notify_all();
}

bool ReadPool::IsDone(const ReadJob& job) {
    return job.done.load(std::memory_order_acquire);
}

void ReadPool::Wait(const ReadJob& job) {
    if (IsDone(job))
        return;
    Flush();
    std::unique_lock<std::mutex> lock(mutex_);
    // Announced before the last look at `done`, and a reader publishes
    // `done` before it looks at this (both sequentially consistent): one of
    // the two sees the other, and the reader then takes the lock, which it
    // only gets once this thread sleeps, before it wakes it.
    awaited_.store(&job);
    jobDone_.wait(lock, [&job] { return job.done.load(); });
    awaited_.store(nullptr);
}

void ReadPool::Work(unsigned index) {
    ReadBuffer buffer, otherBuffer;
    unsigned sampled = index;
    std::vector<std::shared_ptr<ReadJob>> taken;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            std::condition_variable& ready = index < coreThreads_ ? coreReady_ : ioReady_;
            ready.wait(lock,
                       [this, index] { return stopping_ || (!queue_.empty() && MayWork(index)); });
            if (stopping_ && (queue_.empty() || !MayWork(index)))
                return;
            // A few at a time, half of what waits at most, so the other
            // readers get their share: one lock for several small files.
            const size_t take = std::min<size_t>(4, (queue_.size() + 1) / 2);
            for (size_t i = 0; i < take; ++i) {
                taken.push_back(std::move(queue_.front()));
                queue_.pop_front();
            }
        }
        for (std::shared_ptr<ReadJob>& job : taken) {
            // The job is this worker's alone until `done` is published.
            // One job in sixteen is timed: enough to follow the cache going
            // cold or warm, at a sixteenth of the system calls.
            const bool sample = (++sampled % 16) == 0;
            const uint64_t blocksBefore = sample ? platform::ThreadBlockCount() : 0;
            Run(*job, buffer, otherBuffer);
            const bool blocked = sample && platform::ThreadBlockCount() != blocksBefore;
            // Let go of the job as soon as it is published: the scan thread
            // then nearly always holds the last reference and frees the job
            // it allocated. Freed here, later, jobs and their paths went
            // back to the scan thread's heap from this thread, and the
            // allocator's cross-thread work grew faster than the file count.
            const ReadJob* const published = job.get();
            job->done.store(true);
            job.reset();
            if (awaited_.load() == published) {
                { std::lock_guard<std::mutex> lock(mutex_); }
                jobDone_.notify_one();
            }
            if (sample) {
                std::lock_guard<std::mutex> lock(mutex_);
                Account(blocked);
            }
        }
        taken.clear();
    }
}

}  // namespace cs::engine
