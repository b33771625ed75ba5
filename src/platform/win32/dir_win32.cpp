#include <windows.h>

#include "platform/dir.h"
#include "platform/text.h"
#include "platform/win32/error_status.h"
#include "platform/win32/handles.h"

namespace cs::platform {

namespace {

bool IsDotOrDotDot(const wchar_t* name) {
    return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

bool EndsInSeparator(const std::wstring& path) {
    return !path.empty() && (path.back() == L'\\' || path.back() == L'/');
}

// GetFileAttributesW("C:") names the current directory of drive C, not its
// root; a bare drive gets its backslash back before it is asked about.
std::wstring AttributePath(const std::u16string& path) {
    std::wstring native = ToNative(path);
    if (native.size() == 2 && native[1] == L':')
        native.push_back(L'\\');
    return native;
}

DWORD AttributesOf(const std::u16string& path) {
    if (path.empty())
        return INVALID_FILE_ATTRIBUTES;
    return GetFileAttributesW(AttributePath(path).c_str());
}

}  // namespace

struct DirReader::Impl {
    win32::UniqueFindHandle find;
    WIN32_FIND_DATAW data{};
    // FindFirstFileExW returns the first entry together with the handle;
    // it waits in `data` until Next hands it out.
    bool pending = false;
};

DirReader::DirReader() : impl_(std::make_unique<Impl>()) {}
DirReader::~DirReader() {
    Close();
}
DirReader::DirReader(DirReader&&) noexcept = default;
DirReader& DirReader::operator=(DirReader&& other) noexcept {
    if (this != &other) {
        Close();
        impl_ = std::move(other.impl_);
    }
    return *this;
}

Status DirReader::Open(const std::u16string& path) {
    Close();
    if (!impl_)
        impl_ = std::make_unique<Impl>();
    const std::u16string folder = path.empty() ? std::u16string(u".") : path;
    std::wstring pattern = ToNative(folder);
    pattern += EndsInSeparator(pattern) ? L"*" : L"\\*";
    // FindExInfoBasic skips the 8.3 short name nobody here reads, and the
    // large fetch asks for entries in bigger batches: both cut the cost of
    // listing big folders.
    const HANDLE handle =
        FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &impl_->data, FindExSearchNameMatch,
                         nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        const DWORD attributes = AttributesOf(folder);
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            // A drive root has no "." and ".." entries, so an empty one
            // answers "no file found": that is an empty listing.
            if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && error == ERROR_FILE_NOT_FOUND) {
                return Status::Ok;
            }
            // Searching below a file fails with a path error (or
            // ERROR_DIRECTORY, depending on the system); the caller wants to
            // know it met a file.
            if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
                return Status::NotDirectory;
        }
        return StatusFromWin32Error(error);
    }
    impl_->find.Reset(handle);
    impl_->pending = true;
    return Status::Ok;
}

bool DirReader::Next(DirEntry& entry) {
    if (!impl_)
        return false;
    for (;;) {
        if (!impl_->pending) {
            if (!impl_->find)
                return false;
            // Any failure here, ERROR_NO_MORE_FILES or a medium gone, ends
            // the listing: the walk has nothing better to do with it.
            if (!FindNextFileW(impl_->find.Get(), &impl_->data)) {
                Close();
                return false;
            }
        }
        impl_->pending = false;
        const WIN32_FIND_DATAW& data = impl_->data;
        if (IsDotOrDotDot(data.cFileName))
            continue;
        const std::wstring name(data.cFileName);
        entry.name = FromNative(name);
        entry.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entry.isReparsePoint = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        entry.isSystem = (data.dwFileAttributes & FILE_ATTRIBUTE_SYSTEM) != 0;
        entry.isSpecial = false;
        entry.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        entry.attributes = data.dwFileAttributes;
        entry.hasIdentity = false;
        entry.device = 0;
        entry.inode = 0;
        return true;
    }
}

void DirReader::Close() {
    if (!impl_)
        return;
    impl_->find.Reset();
    impl_->pending = false;
}

bool FolderIdentity(const std::u16string&, uint64_t&, uint64_t&) {
    // The identity would take an extra open per folder; Windows has no bind
    // mounts, and the walk never enters reparse points, so it cannot loop.
    return false;
}

bool IsDirectory(const std::u16string& path) {
    const DWORD attributes = AttributesOf(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return false;
    }
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return true;
    // The attributes above are the link's own: a directory link whose target
    // is gone still carries the directory bit. Opening it follows the link
    // (backup semantics is what lets CreateFileW open a folder at all).
    win32::UniqueHandle target(CreateFileW(AttributePath(path).c_str(), FILE_READ_ATTRIBUTES,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                           nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    return target && GetFileInformationByHandle(target.Get(), &info) &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace cs::platform

// ---- The scan's root and the trash (engine side) --------------------------
// Self-contained on purpose: the rest of this file is the directory listing.

namespace cs::platform {

bool ResolveRoot(const std::u16string& given, std::u16string& resolved, ItemFacts& facts) {
    if (given.empty())
        return false;
    // GetFullPathNameW makes the path absolute and drops "." and ".." steps
    // and doubled separators, by text alone. A junction or link to a folder
    // needs no resolving: listing through it lists its target, and below the
    // root the walk never enters one.
    std::wstring native = ToNative(given);
    if (native.size() == 2 && native[1] == L':')
        native.push_back(L'\\');  // "C:" alone names the drive's current folder
    const DWORD needed = GetFullPathNameW(native.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return false;
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(native.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed)
        return false;
    full.resize(length);
    // "C:\" is held as "C:"; every other path loses its trailing separators.
    std::u16string text = StripTrailingSeparators(FromNative(full));
    const DWORD attributes = AttributesOf(text);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    facts = ItemFacts{};
    facts.isFolder = true;
    win32::UniqueHandle folder(CreateFileW(AttributePath(text).c_str(), FILE_READ_ATTRIBUTES,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                           nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (folder && GetFileInformationByHandle(folder.Get(), &info)) {
        facts.mtime = (static_cast<uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                      info.ftLastWriteTime.dwLowDateTime;
        facts.device = info.dwVolumeSerialNumber;
        facts.inode = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    }
    resolved = std::move(text);
    return true;
}

// The recycle bin is a system folder, which the walk leaves out already.
TrashFolders::TrashFolders(const std::u16string&, const ItemFacts& rootFacts) {
    root_.device = rootFacts.device;
}

}  // namespace cs::platform
