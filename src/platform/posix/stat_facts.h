// ItemFacts from a stat record, with the time on the FILETIME scale so both
// platforms compare and order times alike.
#pragma once

#include <sys/stat.h>

#include <cstdint>

#include "platform/item_facts.h"

namespace cs::platform::posix {

inline uint64_t FiletimeOf(const struct timespec& t) {
    constexpr int64_t kEpochShift = 11644473600;  // 1601 to 1970, in seconds
    const int64_t seconds = static_cast<int64_t>(t.tv_sec) + kEpochShift;
    if (seconds < 0)
        return 0;
    return static_cast<uint64_t>(seconds) * 10000000u + static_cast<uint64_t>(t.tv_nsec) / 100u;
}

inline ItemFacts FactsFromStat(const struct stat& st) {
    ItemFacts facts;
    facts.isFolder = S_ISDIR(st.st_mode);
    facts.size = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
    facts.mtime = FiletimeOf(st.st_mtim);
    facts.device = static_cast<uint64_t>(st.st_dev);
    facts.inode = static_cast<uint64_t>(st.st_ino);
    return facts;
}

}  // namespace cs::platform::posix
