#include <windows.h>

#include "platform/dir.h"
#include "platform/text.h"
#include "platform/win32/error_status.h"
#include "platform/win32/folder_win32.h"
#include "platform/win32/handles.h"

namespace cs::platform {

namespace {

DWORD AttributesOf(const std::u16string& path) {
    if (path.empty())
        return INVALID_FILE_ATTRIBUTES;
    return win32::AttributesAt(win32::LongPath::Of(path));
}

}  // namespace

struct DirReader::Impl {
    win32::UniqueHandle folder;
    std::unique_ptr<win32::FolderListing> listing;
    uint64_t volumeSerial = 0;
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
    const std::wstring folder = ToNative(path.empty() ? std::u16string(u".") : path);
    // The folder itself, never what a reparse point there leads to: a folder
    // swapped for a link after its parent was listed is refused, not
    // followed. Every sharing is granted, so the walk never stands in the
    // way of another program.
    win32::UniqueHandle handle = win32::OpenItself(folder, win32::kListAccess, win32::kShareAll);
    if (!handle)
        return StatusFromWin32Error(GetLastError());
    ItemFacts facts;
    DWORD attributes = 0;
    if (!win32::FactsOfHandle(handle.Get(), facts, attributes))
        return StatusFromWin32Error(GetLastError());
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return Status::NotDirectory;
    if (win32::IsReparsePoint(attributes, folder))
        return Status::NotRegular;
    impl_->volumeSerial = facts.device;
    impl_->folder = std::move(handle);
    impl_->listing = std::make_unique<win32::FolderListing>(impl_->folder.Get());
    return Status::Ok;
}

bool DirReader::Next(DirEntry& entry) {
    if (!impl_ || !impl_->listing)
        return false;
    // Any failure, the end or a medium gone, ends the listing: the walk has
    // nothing better to do with it.
    const FILE_ID_BOTH_DIR_INFO* found = impl_->listing->Next();
    if (!found) {
        Close();
        return false;
    }
    const DWORD attributes = found->FileAttributes;
    entry.name = FromNative(win32::EntryName(*found));
    entry.isDirectory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.isReparsePoint = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    entry.isSystem = (attributes & FILE_ATTRIBUTE_SYSTEM) != 0;
    entry.isSpecial = false;
    entry.size = static_cast<uint64_t>(found->EndOfFile.QuadPart);
    entry.mtime = win32::FileTimeValue(found->LastWriteTime);
    entry.ctime = win32::FileTimeValue(found->ChangeTime);
    entry.attributes = attributes;
    // Every entry of one folder lies on the folder's volume: a volume
    // mounted below is a reparse point here, listed but never entered.
    entry.device = impl_->volumeSerial;
    entry.inode = static_cast<uint64_t>(found->FileId.QuadPart);
    // A file system without file ids gives 0 (FAT's ids are not stable).
    entry.hasIdentity = entry.inode != 0;
    return true;
}

void DirReader::Close() {
    if (!impl_)
        return;
    impl_->listing.reset();
    impl_->folder.Reset();
}

bool FolderIdentity(const std::u16string& path, uint64_t& device, uint64_t& inode) {
    // Follows a link, as a user-given root may be one (the walk below the
    // root never enters one).
    win32::UniqueHandle folder(win32::CreateFileAt(win32::LongPath::Of(path), FILE_READ_ATTRIBUTES,
                                                   win32::kShareAll, OPEN_EXISTING,
                                                   FILE_FLAG_BACKUP_SEMANTICS));
    ItemFacts facts;
    DWORD attributes = 0;
    if (!folder || !win32::FactsOfHandle(folder.Get(), facts, attributes) ||
        !(attributes & FILE_ATTRIBUTE_DIRECTORY) || !facts.HasIdentity()) {
        return false;
    }
    device = facts.device;
    inode = facts.inode;
    return true;
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
    win32::UniqueHandle target(win32::CreateFileAt(win32::LongPath::Of(path), FILE_READ_ATTRIBUTES,
                                                   win32::kShareAll, OPEN_EXISTING,
                                                   FILE_FLAG_BACKUP_SEMANTICS));
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
    // Made absolute by text alone, "." and ".." steps and doubled
    // separators gone, and nothing else changed: GetFullPathNameW would
    // also drop trailing dots and spaces, and "trail." would become the
    // folder "trail". A junction or link to a folder needs no resolving:
    // listing through it lists its target, and below the root the walk
    // never enters one.
    const win32::LongPath full = win32::LongPath::Of(given);
    if (full.Empty())
        return false;
    // "C:\" is held as "C:"; every other path loses its trailing separators.
    std::u16string text = StripTrailingSeparators(FromNative(full.Plain()));
    const DWORD attributes = win32::AttributesAt(full);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    facts = ItemFacts{};
    facts.isFolder = true;
    win32::UniqueHandle folder(win32::CreateFileAt(full, FILE_READ_ATTRIBUTES, win32::kShareAll,
                                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS));
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
