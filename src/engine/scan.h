// One scan run: the walk of the tree below the root, the entry filters,
// name keys, lazy content digests and indexed grouping, as one pass. Runs
// on one worker thread (or the caller's); stopped through the cancel flag,
// which it reads once per directory entry and between read chunks.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "engine/options.h"
#include "engine/scan_results.h"

namespace cs::engine {

class ContentsCache;

enum class ScanOutcome { Completed, Cancelled };

// Live counters for a progress display. Written by the scan thread; any
// thread may read them.
struct ScanProgress {
    std::atomic<uint64_t> filesSeen{0};
    std::atomic<uint64_t> bytesHashed{0};
    std::atomic<uint64_t> groupsShown{0};

    std::u16string CurrentFolder() const;
    void SetCurrentFolder(const std::u16string& folder);

private:
    mutable std::mutex folderMutex_;
    std::u16string currentFolder_;
};

struct ScanHooks {
    // Called on the scan thread whenever the refresh threshold is reached,
    // to rebuild the result list from `results`.
    std::function<void(const ScanResults&)> rebuild;
    // What earlier scans learnt (contents_cache.h), or null: used and
    // added to by the scan thread.
    ContentsCache* cache = nullptr;
};

// Runs the whole scan on the calling thread. `results` is reset first;
// refreshCounter starts at 0 and refreshThreshold at 30. The root is
// resolved once (links followed, separators and dot steps dropped) and
// every result path starts with results.root. A root that names no folder
// or cannot be listed completes with rootListed false and nothing found;
// the caller must say so rather than report "no duplicates".
ScanOutcome RunScan(const ScanOptions& options, ScanResults& results,
                    const std::atomic<uint8_t>& cancelRequested, ScanProgress* progress = nullptr,
                    const ScanHooks& hooks = {});

}  // namespace cs::engine
