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

}  // namespace cs::platform
