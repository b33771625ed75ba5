// The command line's digest cache on disk: one SQLite database in the
// cache folder, read whole into the engine's table before a scan and
// given what the scan learnt after it. Main thread only.
//
// The store is a convenience and never a reason to fail: a store that is
// damaged, locked past a few seconds, on a read-only disk or of a newer
// format is set aside with one line, and the scan goes on without it, to
// the results an uncached scan gives. Two runs at once are SQLite's to
// keep apart (its locks; writes are one short transaction at the end).
// Most entries are kept packed many to a row, and what later scans learn
// as rows of their own until those are worth packing again (see Save).
//
// Pruning: an entry no scan used for 90 days is dropped (checked at most
// once a day, when a scan writes), so the store follows what is scanned;
// a file changed in place replaces its own entry.
#pragma once

#include <memory>
#include <string>

#include "engine/contents_cache.h"

namespace cs::cli {

// $XDG_CACHE_HOME/clonesifter, else ~/.cache/clonesifter; on Windows
// %LOCALAPPDATA%\Clonesifter. Empty when none of those is known.
std::u16string DefaultCacheFolder();

inline constexpr int kCacheFormat = 2;
inline constexpr unsigned kPruneAfterDays = 90;

class CacheStore {
public:
    CacheStore();
    ~CacheStore();
    CacheStore(const CacheStore&) = delete;
    CacheStore& operator=(const CacheStore&) = delete;

    // Opens (creating) the store in `folder` and fills `cache` with it.
    // False with `problem` (a sentence, no newline) when it cannot be used;
    // `cache` is then empty. May run on a thread of its own while the
    // scan begins (engine::ContentsCache::filled); Save then on the main
    // thread once it has ended.
    bool Open(const std::u16string& folder, engine::ContentsCache& cache, std::string& problem);
    // Writes what the scan learnt and prunes. False with `problem` when
    // that failed; the store then holds what it held before.
    bool Save(const engine::ContentsCache& cache, std::string& problem);

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// Removes the store in `folder` (nothing there is no failure). False
// with `problem` when it is there and cannot be removed.
bool ClearCache(const std::u16string& folder, std::string& problem);

}  // namespace cs::cli
