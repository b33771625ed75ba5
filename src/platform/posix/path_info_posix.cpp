#include <sys/stat.h>

#include "platform/path_info.h"
#include "platform/posix/stat_facts.h"
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
    return FiletimeOf(st.st_mtim);
}

}  // namespace cs::platform
