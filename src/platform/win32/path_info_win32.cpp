#include <windows.h>

#include "platform/path_info.h"
#include "platform/text.h"

namespace cs::platform {

uint64_t FileSizeOfPath(const std::u16string& path) {
    const std::wstring native = ToNative(path);
    HANDLE file =
        CreateFileW(native.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        LARGE_INTEGER size;
        const BOOL ok = GetFileSizeEx(file, &size);
        CloseHandle(file);
        if (ok)
            return static_cast<uint64_t>(size.QuadPart);
    }
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(native.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    FindClose(find);
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

uint64_t FileLastWriteTime(const std::u16string& path) {
    // Read-attributes access with backup semantics opens folders too, and
    // the read sharing is all a running program usually allows.
    HANDLE file =
        CreateFileW(ToNative(path).c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    FILETIME written{};
    const BOOL ok = GetFileTime(file, nullptr, nullptr, &written);
    CloseHandle(file);
    if (!ok)
        return 0;
    return (static_cast<uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
}

}  // namespace cs::platform
