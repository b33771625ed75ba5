// Helpers of the Windows platform suites that run under Wine: reaching the
// Unix side of the prefix (paths, shell scripts, symbolic links, mounts),
// the desktop trash Wine uses as its recycle bin, and files held open as
// another program would. Test code only; one thread.
#pragma once
#ifdef _WIN32

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

namespace cs::test::wine {

namespace fs = std::filesystem;

std::wstring W(fs::path path);
DWORD Attributes(const fs::path& path);
bool Exists(const fs::path& path);
std::string Contents(const fs::path& path);
bool IsLink(const fs::path& path);

// Holds a file open for reading without delete sharing, as a program that
// has it open would.
class OpenWithoutDeleteSharing {
public:
    explicit OpenWithoutDeleteSharing(const fs::path& path)
        : handle_(CreateFileW(W(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr)) {}
    ~OpenWithoutDeleteSharing() {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
    }
    OpenWithoutDeleteSharing(const OpenWithoutDeleteSharing&) = delete;
    OpenWithoutDeleteSharing& operator=(const OpenWithoutDeleteSharing&) = delete;
    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

using UnixNameFn = char*(CDECL*)(LPCWSTR);
using DosNameFn = WCHAR*(CDECL*)(const char*);

template <typename Fn>
Fn WineExport(const char* name) {
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    return kernel ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(kernel, name)))
                  : nullptr;
}

bool UnderWine();
std::string UnixPath(const fs::path& path);
fs::path DosPath(const std::string& unixPath);

// Polls until `done` holds; the limit only turns a hang into a failure.
template <typename Condition>
bool WaitFor(Condition done) {
    const ULONGLONG limit = GetTickCount64() + 60000;
    while (!done()) {
        if (GetTickCount64() > limit)
            return false;
        SwitchToThread();
    }
    return true;
}

// Runs a shell script on the Unix side of Wine to its end; false when it
// could not be run or did not end.
bool RunUnixScript(const std::string& script);

// Unix symbolic links, which Wine shows as folder reparse points; Make is
// false where none can be made (not under Wine). They are removed from the
// Unix side at the end, before the scratch tree goes: its clean-up would
// follow them.
class FolderLinks {
public:
    FolderLinks() = default;
    FolderLinks(const FolderLinks&) = delete;
    FolderLinks& operator=(const FolderLinks&) = delete;
    ~FolderLinks();

    bool Make(const fs::path& link, const fs::path& target);

private:
    std::vector<std::string> links_;
};

// A tmpfs mounted on a folder for the owner's lifetime, from the Unix side
// (needs root); Mounted is false where that cannot be done.
class MountBelow {
public:
    explicit MountBelow(const fs::path& folder);
    ~MountBelow();
    MountBelow(const MountBelow&) = delete;
    MountBelow& operator=(const MountBelow&) = delete;
    bool Mounted() const { return mounted_; }

private:
    std::string unix_;
    bool mounted_ = false;
};

// Wine's recycle bin is the freedesktop.org trash below $XDG_DATA_HOME.
fs::path TrashFolder();

}  // namespace cs::test::wine

#endif  // _WIN32
