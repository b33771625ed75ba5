#include "platform/win32/folder_win32.h"

#include <winioctl.h>

#include <cstring>
#include <string_view>

namespace cs::platform::win32 {

namespace {

constexpr size_t kListingBytes = 64 * 1024;

bool StartsWith(std::wstring_view text, std::wstring_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

UniqueHandle OpenItself(const std::wstring& path, DWORD access, DWORD share) {
    return UniqueHandle(CreateFileAt(LongPath::Of(path), access, share, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT));
}

bool FactsOfHandle(HANDLE item, ItemFacts& facts, DWORD& attributes) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(item, &info))
        return false;
    attributes = info.dwFileAttributes;
    facts.isFolder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    facts.size =
        facts.isFolder ? 0 : (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    facts.mtime = (static_cast<uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                  info.ftLastWriteTime.dwLowDateTime;
    facts.device = info.dwVolumeSerialNumber;
    facts.inode = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

bool IsReparsePoint(DWORD handleAttributes, const std::wstring& path) {
    if (handleAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return true;
    const DWORD byPath = AttributesAt(LongPath::Of(path));
    return byPath != INVALID_FILE_ATTRIBUTES && (byPath & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool LeadsToAnotherVolume(const std::wstring& path, uint64_t volumeSerial) {
    const UniqueHandle link = OpenItself(path, FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll);
    if (!link)
        return false;
    // REPARSE_DATA_BUFFER (a driver-kit type): the tag, the data length and a
    // reserved word, then for a mount point the offset and length of the
    // substitute name within the path buffer that starts at byte 16.
    std::vector<uint64_t> data(MAXIMUM_REPARSE_DATA_BUFFER_SIZE / sizeof(uint64_t));
    DWORD returned = 0;
    if (DeviceIoControl(link.Get(), FSCTL_GET_REPARSE_POINT, nullptr, 0, data.data(),
                        static_cast<DWORD>(data.size() * sizeof(uint64_t)), &returned, nullptr) &&
        returned >= 16) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
        DWORD tag = 0;
        std::memcpy(&tag, bytes, sizeof(tag));
        if (tag != IO_REPARSE_TAG_MOUNT_POINT)
            return false;
        uint16_t offset = 0;
        uint16_t length = 0;
        std::memcpy(&offset, bytes + 8, sizeof(offset));
        std::memcpy(&length, bytes + 10, sizeof(length));
        if (16u + offset + length > returned)
            return true;  // a mount point we cannot read: assume the worst
        std::wstring target(length / sizeof(wchar_t), L'\0');
        std::memcpy(target.data(), bytes + 16 + offset, length);
        return StartsWith(target, L"\\??\\Volume{");
    }
    // Wine 8 reports both a Unix symbolic link to a folder and a Unix mount
    // point as a folder reparse point, and can describe neither. What lies
    // behind it tells them apart: a file system mounted there has another
    // volume serial (Wine gives 0 for one it did not mount as a drive).
    const UniqueHandle behind(CreateFileAt(LongPath::Of(path), FILE_READ_ATTRIBUTES, kShareAll,
                                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS));
    ItemFacts facts;
    DWORD attributes = 0;
    return behind && FactsOfHandle(behind.Get(), facts, attributes) && facts.device != volumeSerial;
}

FolderListing::FolderListing(HANDLE folder)
    : folder_(folder), buffer_(kListingBytes / sizeof(uint64_t)) {}

bool FolderListing::Fetch() {
    offset_ = 0;
    filled_ = false;
    if (ended_)
        return false;
    if (GetFileInformationByHandleEx(folder_, FileIdBothDirectoryInfo, buffer_.data(),
                                     static_cast<DWORD>(buffer_.size() * sizeof(uint64_t)))) {
        filled_ = true;
        return true;
    }
    ended_ = true;
    const DWORD error = GetLastError();
    // An empty drive root has no "." and "..", so its first fetch finds
    // nothing at all: that is an empty listing, not a failure.
    failed_ = error != ERROR_NO_MORE_FILES && error != ERROR_FILE_NOT_FOUND;
    return false;
}

const FILE_ID_BOTH_DIR_INFO* FolderListing::Next() {
    for (;;) {
        if (!filled_ && !Fetch())
            return nullptr;
        const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(
            reinterpret_cast<const unsigned char*>(buffer_.data()) + offset_);
        if (entry->NextEntryOffset == 0)
            filled_ = false;
        else
            offset_ += entry->NextEntryOffset;
        const size_t length = entry->FileNameLength / sizeof(wchar_t);
        const wchar_t* name = entry->FileName;
        const bool dot =
            (length == 1 && name[0] == L'.') || (length == 2 && name[0] == L'.' && name[1] == L'.');
        if (!dot)
            return entry;
    }
}

std::wstring EntryName(const FILE_ID_BOTH_DIR_INFO& entry) {
    return std::wstring(entry.FileName, entry.FileNameLength / sizeof(wchar_t));
}

}  // namespace cs::platform::win32
