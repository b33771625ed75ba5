#include "platform/win32/long_path.h"

#include <cwctype>
#include <vector>

namespace cs::platform::win32 {

namespace {

constexpr std::wstring_view kLongPrefix = L"\\\\?\\";
constexpr std::wstring_view kLongUncPrefix = L"\\\\?\\UNC\\";
constexpr std::wstring_view kDevicePrefix = L"\\\\.\\";

bool StartsWith(std::wstring_view text, std::wstring_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool IsDriveLetter(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

std::wstring CurrentFolder() {
    const DWORD needed = GetCurrentDirectoryW(0, nullptr);
    if (needed == 0)
        return {};
    std::wstring folder(needed, L'\0');
    const DWORD length = GetCurrentDirectoryW(needed, folder.data());
    if (length == 0 || length >= needed)
        return {};
    folder.resize(length);
    return folder;
}

// The current folder of drive `drive` ("D:" alone asks for it). A drive
// letter and a colon hold no name the system could rewrite.
std::wstring CurrentFolderOfDrive(wchar_t drive) {
    const wchar_t bare[] = {drive, L':', 0};
    wchar_t folder[MAX_PATH + 1] = {};
    const DWORD length = GetFullPathNameW(bare, MAX_PATH + 1, folder, nullptr);
    if (length == 0 || length > MAX_PATH)
        return {};
    return std::wstring(folder, length);
}

// `root` (an extended-length root without its final backslash) and the
// names below it, with "." and empty steps dropped and ".." taking the name
// before it (never the root).
std::wstring Assemble(std::wstring root, std::wstring_view rest) {
    std::vector<std::wstring_view> names;
    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = rest.find(L'\\', start);
        if (end == std::wstring_view::npos)
            end = rest.size();
        const std::wstring_view name = rest.substr(start, end - start);
        if (name == L"..") {
            if (!names.empty())
                names.pop_back();
        } else if (!name.empty() && name != L".") {
            names.push_back(name);
        }
        start = end + 1;
    }
    if (names.empty())
        return root + L"\\";
    for (const std::wstring_view name : names) {
        root += L'\\';
        root += name;
    }
    return root;
}

bool IsDeviceName(std::wstring_view name) {
    // The part before the first dot, with the spaces before that dot: the
    // system takes "nul.txt", "NUL .log" and "com1.tar.gz" for devices.
    std::wstring_view base = name.substr(0, name.find(L'.'));
    while (!base.empty() && base.back() == L' ')
        base.remove_suffix(1);
    std::wstring upper;
    for (const wchar_t c : base)
        upper.push_back(static_cast<wchar_t>(std::towupper(c)));
    for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"}) {
        if (upper == device)
            return true;
    }
    if (upper.size() == 4 && (StartsWith(upper, L"COM") || StartsWith(upper, L"LPT"))) {
        const wchar_t digit = upper[3];
        // Superscript one, two and three count as digits here.
        return (digit >= L'0' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' ||
               digit == L'\u00B3';
    }
    return false;
}

}  // namespace

LongPath LongPath::Of(std::u16string_view path) {
    return Of(std::wstring_view(reinterpret_cast<const wchar_t*>(path.data()), path.size()));
}

LongPath LongPath::Of(std::wstring_view given) {
    std::wstring path(given);
    if (StartsWith(path, kLongPrefix))
        return LongPath(std::move(path));
    for (wchar_t& c : path) {
        if (c == L'/')
            c = L'\\';
    }
    if (path.empty())
        return {};
    if (StartsWith(path, kLongPrefix))  // "//?/" spelled with slashes
        return LongPath(std::move(path));
    // The device namespace is the same as the extended one, except that
    // the system still rewrites names there.
    if (StartsWith(path, kDevicePrefix))
        return LongPath(std::wstring(kLongPrefix) + path.substr(kDevicePrefix.size()));
    if (StartsWith(path, L"\\\\")) {
        // "\\server\share" is the root; ".." never climbs above it.
        const std::wstring_view rest = std::wstring_view(path).substr(2);
        const size_t server = rest.find(L'\\');
        if (server == 0 || server == std::wstring_view::npos)
            return {};
        size_t share = rest.find(L'\\', server + 1);
        if (share == std::wstring_view::npos)
            share = rest.size();
        if (share == server + 1)
            return {};
        return LongPath(Assemble(std::wstring(kLongUncPrefix) + std::wstring(rest.substr(0, share)),
                                 rest.substr(share)));
    }
    if (path.size() >= 2 && path[1] == L':' && IsDriveLetter(path[0])) {
        const std::wstring drive = path.substr(0, 2);
        // "C:" alone is the drive's root here, as the engine holds roots.
        if (path.size() == 2 || path[2] == L'\\')
            return LongPath(Assemble(std::wstring(kLongPrefix) + drive, path.substr(2)));
        const std::wstring current = CurrentFolderOfDrive(path[0]);
        if (current.empty())
            return {};
        return Of(current + L"\\" + path.substr(2));
    }
    const std::wstring current = CurrentFolder();
    if (current.empty())
        return {};
    if (path[0] == L'\\') {
        // "\x": below the root of the current folder's drive or share.
        const std::wstring base = Of(current).Text();
        size_t rootEnd = std::wstring::npos;
        if (StartsWith(base, kLongUncPrefix)) {
            const size_t server = base.find(L'\\', kLongUncPrefix.size());
            if (server != std::wstring::npos)
                rootEnd = base.find(L'\\', server + 1);
            if (rootEnd == std::wstring::npos)
                rootEnd = base.size();
        } else if (base.size() >= kLongPrefix.size() + 2 && base[kLongPrefix.size() + 1] == L':') {
            rootEnd = kLongPrefix.size() + 2;
        }
        if (rootEnd == std::wstring::npos)
            return {};
        return LongPath(Assemble(base.substr(0, rootEnd), path));
    }
    return Of(current + L"\\" + path);
}

LongPath LongPath::Child(std::wstring_view name) const {
    if (text_.empty())
        return {};
    std::wstring child = text_;
    if (child.back() != L'\\')
        child.push_back(L'\\');
    child += name;
    return LongPath(std::move(child));
}

std::wstring LongPath::Plain() const {
    if (StartsWith(text_, kLongUncPrefix))
        return L"\\\\" + text_.substr(kLongUncPrefix.size());
    if (StartsWith(text_, kLongPrefix))
        return text_.substr(kLongPrefix.size());
    return text_;
}

ShellName ShellNameProblem(const LongPath& path) {
    const std::wstring plain = path.Plain();
    if (plain.size() >= MAX_PATH)
        return ShellName::TooLong;
    // The names after the root: a drive's "C:", or a share's server and name.
    size_t start = 0;
    if (StartsWith(plain, L"\\\\")) {
        start = plain.find(L'\\', 2);
        start = start == std::wstring::npos ? plain.size() : plain.find(L'\\', start + 1);
        if (start == std::wstring::npos)
            return ShellName::Safe;
    } else {
        start = plain.find(L'\\');
        if (start == std::wstring::npos)
            return ShellName::Safe;
    }
    ShellName problem = ShellName::Safe;
    while (start < plain.size()) {
        size_t end = plain.find(L'\\', start + 1);
        if (end == std::wstring::npos)
            end = plain.size();
        const std::wstring_view name = std::wstring_view(plain).substr(start + 1, end - start - 1);
        if (!name.empty() && (name.back() == L'.' || name.back() == L' '))
            return ShellName::EndsWithDotOrSpace;
        if (IsDeviceName(name))
            problem = ShellName::DeviceName;
        start = end;
    }
    return problem;
}

HANDLE CreateFileAt(const LongPath& path, DWORD access, DWORD share, DWORD disposition,
                    DWORD flags) {
    if (path.Empty()) {
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileW(path.c_str(), access, share, nullptr, disposition, flags, nullptr);
}

DWORD AttributesAt(const LongPath& path) {
    if (path.Empty()) {
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_FILE_ATTRIBUTES;
    }
    return GetFileAttributesW(path.c_str());
}

bool AttributeDataAt(const LongPath& path, WIN32_FILE_ATTRIBUTE_DATA& data) {
    if (path.Empty()) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    return GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) != 0;
}

bool SetAttributesAt(const LongPath& path, DWORD attributes) {
    if (path.Empty()) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    return SetFileAttributesW(path.c_str(), attributes) != 0;
}

bool DeleteFileAt(const LongPath& path) {
    if (path.Empty()) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    return DeleteFileW(path.c_str()) != 0;
}

bool RemoveDirectoryAt(const LongPath& path) {
    if (path.Empty()) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    return RemoveDirectoryW(path.c_str()) != 0;
}

HANDLE FindFirstAt(const LongPath& folder, std::wstring_view mask, WIN32_FIND_DATAW& entry) {
    const LongPath pattern = folder.Child(mask);
    if (pattern.Empty()) {
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    return FindFirstFileW(pattern.c_str(), &entry);
}

bool MoveFileAt(const LongPath& from, const LongPath& to, DWORD flags) {
    if (from.Empty() || to.Empty()) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    return MoveFileExW(from.c_str(), to.c_str(), flags) != 0;
}

}  // namespace cs::platform::win32
