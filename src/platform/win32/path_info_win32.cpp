#include <windows.h>

#include "platform/path_info.h"
#include "platform/text.h"
#include "platform/win32/folder_win32.h"

namespace cs::platform {

uint64_t FileSizeOfPath(const std::u16string& path) {
    const win32::LongPath native = win32::LongPath::Of(path);
    HANDLE file = win32::CreateFileAt(native, 0, win32::kShareAll, OPEN_EXISTING, 0);
    if (file != INVALID_HANDLE_VALUE) {
        LARGE_INTEGER size;
        const BOOL ok = GetFileSizeEx(file, &size);
        CloseHandle(file);
        if (ok)
            return static_cast<uint64_t>(size.QuadPart);
    }
    // Where the file cannot be opened (no sharing granted), its folder's
    // entry still tells its size.
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!win32::AttributeDataAt(native, data))
        return 0;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

uint64_t FileLastWriteTime(const std::u16string& path) {
    // Read-attributes access with backup semantics opens folders too, and
    // the read sharing is all a running program usually allows.
    HANDLE file = win32::CreateFileAt(win32::LongPath::Of(path), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_ATTRIBUTE_NORMAL);
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
