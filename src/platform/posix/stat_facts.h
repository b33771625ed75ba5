// What a stat record says of an item, in the terms the engine keeps:
// Windows-style times, so values order alike on both systems. Any thread.
#pragma once

#include <sys/stat.h>

#include <cstdint>

#include "platform/item_facts.h"

namespace cs::platform {

// st_mtim as a FILETIME: 100-nanosecond steps since 1601-01-01 UTC. A time
// before 1601 (possible on Linux, never on Windows) reads as 0.
inline uint64_t FiletimeOf(const struct timespec& time) {
    constexpr int64_t kSecondsFrom1601To1970 = 11644473600;
    const int64_t seconds = static_cast<int64_t>(time.tv_sec) + kSecondsFrom1601To1970;
    if (seconds < 0)
        return 0;
    return static_cast<uint64_t>(seconds) * 10000000u + static_cast<uint64_t>(time.tv_nsec) / 100u;
}

inline ItemFacts FactsOf(const struct stat& st) {
    ItemFacts facts;
    facts.isFolder = S_ISDIR(st.st_mode);
    facts.size = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
    facts.mtime = FiletimeOf(st.st_mtim);
    facts.device = static_cast<uint64_t>(st.st_dev);
    facts.inode = static_cast<uint64_t>(st.st_ino);
    return facts;
}

}  // namespace cs::platform
