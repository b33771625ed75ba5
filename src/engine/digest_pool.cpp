#include "engine/digest_pool.h"

namespace cs::engine {

DigestPool::DigestPool(unsigned threads, uint32_t criteria, const std::atomic<uint8_t>& cancel,
                       std::atomic<uint64_t>& bytesRead)
    : criteria_(criteria), cancel_(cancel), bytesRead_(bytesRead) {
    for (unsigned i = 0; i < threads; ++i) workers_.emplace_back([this] { Work(); });
}

DigestPool::~DigestPool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    workReady_.notify_all();
    for (std::thread& t : workers_) t.join();
}

std::shared_ptr<DigestJob> DigestPool::Submit(std::u16string path) {
    auto job = std::make_shared<DigestJob>();
    job->path = std::move(path);
    if (workers_.empty()) {
        job->result = ComputeContentDigests(job->path, criteria_, job->digests,
                                            ReadContext{&cancel_, &bytesRead_, &inlineBuffer_});
        job->done = true;
        return job;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(job);
    }
    workReady_.notify_one();
    return job;
}

bool DigestPool::IsDone(const DigestJob& job) {
    std::lock_guard<std::mutex> lock(mutex_);
    return job.done;
}

void DigestPool::Wait(const DigestJob& job) {
    std::unique_lock<std::mutex> lock(mutex_);
    jobDone_.wait(lock, [&job] { return job.done; });
}

void DigestPool::Work() {
    std::vector<uint8_t> buffer;
    for (;;) {
        std::shared_ptr<DigestJob> job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            workReady_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (queue_.empty()) return;
            job = std::move(queue_.front());
            queue_.pop_front();
        }
        ContentDigests digests;
        const HashResult result = ComputeContentDigests(job->path, criteria_, digests,
                                                        ReadContext{&cancel_, &bytesRead_, &buffer});
        {
            std::lock_guard<std::mutex> lock(mutex_);
            job->digests = digests;
            job->result = result;
            job->done = true;
        }
        jobDone_.notify_all();
    }
}

}  // namespace cs::engine
