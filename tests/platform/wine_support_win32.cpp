#ifdef _WIN32

#include "platform/wine_support_win32.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace cs::test::wine {

std::wstring W(fs::path path) {
    return path.make_preferred().native();
}

DWORD Attributes(const fs::path& path) {
    return GetFileAttributesW((L"\\\\?\\" + W(path)).c_str());
}

bool Exists(const fs::path& path) {
    return Attributes(path) != INVALID_FILE_ATTRIBUTES;
}

std::string Contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool UnderWine() {
    return WineExport<UnixNameFn>("wine_get_unix_file_name") != nullptr;
}

std::string UnixPath(const fs::path& path) {
    const auto toUnix = WineExport<UnixNameFn>("wine_get_unix_file_name");
    if (!toUnix)
        return {};
    char* unix = toUnix(W(path).c_str());
    if (!unix)
        return {};
    std::string out(unix);
    HeapFree(GetProcessHeap(), 0, unix);
    return out;
}

fs::path DosPath(const std::string& unixPath) {
    const auto toDos = WineExport<DosNameFn>("wine_get_dos_file_name");
    if (!toDos)
        return {};
    WCHAR* dos = toDos(unixPath.c_str());
    if (!dos)
        return {};
    fs::path out(dos);
    HeapFree(GetProcessHeap(), 0, dos);
    return out;
}

// Runs a shell script on the Unix side of Wine to its end. Wine hands back
// no process handle that can be waited on for a Unix program, so the script
// leaves a marker file last and the wait is for that file.
bool RunUnixScript(const std::string& script) {
    static int serial = 0;
    wchar_t temp[MAX_PATH];
    if (!UnderWine() || !GetTempPathW(MAX_PATH, temp))
        return false;
    const fs::path marker =
        fs::path(temp) /
        ("cs-unix-done-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial));
    const std::string unixMarker = UnixPath(marker);
    if (unixMarker.empty())
        return false;
    std::wstring command =
        L"/bin/sh -c \"" + fs::path(script + "; touch '" + unixMarker + "'").wstring() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return false;
    }
    for (HANDLE handle : {process.hThread, process.hProcess}) {
        if (handle && handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
    const bool done = WaitFor([&] { return Attributes(marker) != INVALID_FILE_ATTRIBUTES; });
    DeleteFileW(W(marker).c_str());
    return done;
}

bool IsLink(const fs::path& path) {
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Wine uses the trash only when its data folder exists.
fs::path TrashFolder() {
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome && *dataHome)
        return DosPath(dataHome) / "Trash";
    const char* home = std::getenv("HOME");
    if (home && *home)
        return DosPath(std::string(home) + "/.local/share") / "Trash";
    return {};
}

namespace {

// Made once for the whole run, before any test recycles.
class TrashHome : public testing::Environment {
public:
    void SetUp() override {
        const fs::path trash = TrashFolder();
        if (!trash.empty()) {
            std::error_code ignored;
            fs::create_directories(trash.parent_path(), ignored);
        }
    }
};
testing::Environment* const trashHome = testing::AddGlobalTestEnvironment(new TrashHome);

}  // namespace

FolderLinks::~FolderLinks() {
    std::string script = "true";
    for (const std::string& link : links_)
        script += "; rm -f '" + link + "'";
    if (!links_.empty())
        RunUnixScript(script);
}

bool FolderLinks::Make(const fs::path& link, const fs::path& target) {
    const std::string unixTarget = UnixPath(target);
    // The folder converted and the name appended: converting the whole
    // name would resolve an existing link.
    const std::string unixLink = UnixPath(link.parent_path()) + "/" + link.filename().string();
    if (unixTarget.empty())
        return false;
    links_.push_back(unixLink);
    return RunUnixScript("ln -s '" + unixTarget + "' '" + unixLink + "'") && IsLink(link);
}

MountBelow::MountBelow(const fs::path& folder) : unix_(UnixPath(folder)) {
    // The marker is made only on the mounted file system, so it tells that
    // the mount took.
    mounted_ = !unix_.empty() &&
               RunUnixScript("mount -t tmpfs cs-test '" + unix_ + "' && mountpoint -q '" + unix_ +
                             "' && touch '" + unix_ + "/.mounted'") &&
               Exists(folder / ".mounted");
}

MountBelow::~MountBelow() {
    if (!unix_.empty())
        RunUnixScript("umount '" + unix_ + "' 2>/dev/null");
}

}  // namespace cs::test::wine

#endif  // _WIN32
