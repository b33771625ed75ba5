#include "engine/read_pool.h"

#include <cstring>

#include "platform/file.h"

namespace cs::engine {

namespace {

uint64_t Mix(uint64_t h) {
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ull;
    h ^= h >> 33;
    return h;
}

// Not cryptographic: a collision only costs a full digest, never a wrong
// match, because the digests decide.
uint64_t HashBytes(const uint8_t* data, size_t size, uint64_t seed) {
    uint64_t h = Mix(seed ^ size);
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t w;
        std::memcpy(&w, data + i, 8);
        h = (h ^ Mix(w)) * 0x9E3779B97F4A7C15ull;
    }
    uint64_t tail = 0;
    std::memcpy(&tail, data + i, size - i);
    return Mix(h ^ tail ^ (static_cast<uint64_t>(size) << 48));
}

uint64_t SignatureOf(const uint8_t* head, size_t headSize, const uint8_t* tail, size_t tailSize) {
    return HashBytes(head, headSize, 1) ^ Mix(HashBytes(tail, tailSize, 2));
}

}  // namespace

HashResult ReadSignature(ReadJob& job, const ReadContext& context) {
    platform::FileReader file;
    if (file.Open(job.path) != platform::Status::Ok) return HashResult::Failed;
    std::vector<uint8_t>& buffer = *context.buffer;
    if (buffer.size() < kReadChunk) buffer.resize(kReadChunk);
    uint8_t* buf = buffer.data();
    job.hasDigests = false;
    if (job.size <= kWholeReadLimit) {
        // A small file is read whole and its signature covers every byte:
        // most small files share their size with others (there are few
        // sizes to go round) and this tells nearly all of them apart
        // without the digests, which only files with equal signatures get.
        const int64_t got = file.Read(buf, kWholeReadLimit);
        if (got < 0) return HashResult::Failed;
        const auto n = static_cast<size_t>(got);
        if (context.bytesRead) context.bytesRead->fetch_add(n, std::memory_order_relaxed);
        job.signature = HashBytes(buf, n, 3);
        return HashResult::Ok;
    }
    const int64_t head = file.Read(buf, kSignatureSpan);
    if (head != static_cast<int64_t>(kSignatureSpan)) return HashResult::Failed;
    if (!file.SeekFromEnd(kSignatureSpan)) return HashResult::Failed;
    const int64_t tail = file.Read(buf + kSignatureSpan, kSignatureSpan);
    if (tail != static_cast<int64_t>(kSignatureSpan)) return HashResult::Failed;
    if (context.bytesRead) context.bytesRead->fetch_add(2 * kSignatureSpan, std::memory_order_relaxed);
    job.signature = SignatureOf(buf, kSignatureSpan, buf + kSignatureSpan, kSignatureSpan);
    return HashResult::Ok;
}

ReadPool::ReadPool(unsigned threads, uint32_t criteria, const std::atomic<uint8_t>& cancel,
                   std::atomic<uint64_t>& bytesRead)
    : criteria_(criteria), cancel_(cancel), bytesRead_(bytesRead) {
    for (unsigned i = 0; i < threads; ++i) workers_.emplace_back([this] { Work(); });
}

ReadPool::~ReadPool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    workReady_.notify_all();
    for (std::thread& t : workers_) t.join();
}

void ReadPool::Run(ReadJob& job, std::vector<uint8_t>& buffer) {
    const ReadContext context{&cancel_, &bytesRead_, &buffer};
    if (cancel_.load(std::memory_order_relaxed)) {
        job.result = HashResult::Cancelled;
    } else if (job.kind == ReadJob::Kind::Signature) {
        job.result = ReadSignature(job, context);
    } else {
        job.result = ComputeContentDigests(job.path, criteria_, job.digests, context);
        job.hasDigests = job.result == HashResult::Ok;
    }
}

std::shared_ptr<ReadJob> ReadPool::Submit(ReadJob::Kind kind, std::u16string path, uint64_t size) {
    auto job = std::make_shared<ReadJob>();
    job->kind = kind;
    job->path = std::move(path);
    job->size = size;
    if (workers_.empty()) {
        static thread_local std::vector<uint8_t> buffer;
        Run(*job, buffer);
        job->done.store(true, std::memory_order_release);
        return job;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(job);
    }
    workReady_.notify_one();
    return job;
}

bool ReadPool::IsDone(const ReadJob& job) { return job.done.load(std::memory_order_acquire); }

void ReadPool::Wait(const ReadJob& job) {
    if (IsDone(job)) return;
    std::unique_lock<std::mutex> lock(mutex_);
    consumerWaiting_ = true;
    jobDone_.wait(lock, [&job] { return job.done.load(std::memory_order_acquire); });
    consumerWaiting_ = false;
}

void ReadPool::Work() {
    std::vector<uint8_t> buffer;
    for (;;) {
        std::shared_ptr<ReadJob> job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            workReady_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (queue_.empty()) return;
            job = std::move(queue_.front());
            queue_.pop_front();
        }
        // The job is this worker's alone until `done` is published.
        Run(*job, buffer);
        bool wake;
        {
            // Under the lock, so a scan thread about to sleep on this job
            // either sees it done or is woken.
            std::lock_guard<std::mutex> lock(mutex_);
            job->done.store(true, std::memory_order_release);
            wake = consumerWaiting_;
        }
        if (wake) jobDone_.notify_one();
    }
}

}  // namespace cs::engine
