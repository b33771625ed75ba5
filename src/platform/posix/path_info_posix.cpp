#include <sys/stat.h>

#include "platform/path_info.h"
#include "platform/text.h"

namespace cs::platform {

uint64_t FileSizeOfPath(const std::u16string& path) {
    struct stat st;
    if (lstat(ToNative(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return 0;
    return static_cast<uint64_t>(st.st_size);
}

uint64_t FileLastWriteTime(const std::u16string& path) {
    struct stat st;
    if (lstat(ToNative(path).c_str(), &st) != 0)
        return 0;
    // Seconds from 1601 to 1970, so the values order like Windows FILETIMEs.
    constexpr int64_t kEpochShift = 11644473600;
    const int64_t seconds = static_cast<int64_t>(st.st_mtim.tv_sec) + kEpochShift;
    if (seconds < 0)
        return 0;
    return static_cast<uint64_t>(seconds) * 10000000u +
           static_cast<uint64_t>(st.st_mtim.tv_nsec) / 100u;
}

}  // namespace cs::platform
