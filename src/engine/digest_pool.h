// Full-file digests computed on worker threads, so both cores hash while
// the walk goes on. The pool only computes; every grouping decision stays on
// the scan thread, which consumes the results in walk order, so the groups
// and the moments of the list rebuilds are those of a single-threaded scan.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/digests.h"

namespace cs::engine {

struct DigestJob {
    std::u16string path;
    ContentDigests digests;
    HashResult result = HashResult::Failed;
    bool done = false;  // guarded by the pool's mutex
};

class DigestPool {
public:
    // threads == 0 computes every job inside Submit, on the caller's thread.
    DigestPool(unsigned threads, uint32_t criteria, const std::atomic<uint8_t>& cancel,
               std::atomic<uint64_t>& bytesRead);
    ~DigestPool();
    DigestPool(const DigestPool&) = delete;
    DigestPool& operator=(const DigestPool&) = delete;

    std::shared_ptr<DigestJob> Submit(std::u16string path);
    bool IsDone(const DigestJob& job);
    void Wait(const DigestJob& job);

private:
    void Work();

    const uint32_t criteria_;
    const std::atomic<uint8_t>& cancel_;
    std::atomic<uint64_t>& bytesRead_;
    std::mutex mutex_;
    std::condition_variable workReady_;
    std::condition_variable jobDone_;
    std::deque<std::shared_ptr<DigestJob>> queue_;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
    std::vector<uint8_t> inlineBuffer_;
};

}  // namespace cs::engine
