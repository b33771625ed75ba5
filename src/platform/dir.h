// Directory iteration: one folder's entries with what the walk needs to
// filter them, without opening any file. "." and ".." are never returned.
// An owner of an open directory handle; move-only. One thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/status.h"

namespace cs::platform {

struct DirEntry {
    std::u16string name;
    bool isDirectory = false;
    // Windows: FILE_ATTRIBUTE_REPARSE_POINT. Linux: a symbolic link.
    bool isReparsePoint = false;
    // Windows: FILE_ATTRIBUTE_SYSTEM. Never set on Linux.
    bool isSystem = false;
    // Linux: a FIFO, socket or device node; such entries must never be
    // opened (a FIFO would hang the scan). Never set on Windows.
    bool isSpecial = false;
    uint64_t size = 0;
    // Last write in 100-nanosecond steps since 1601-01-01 UTC (FILETIME).
    uint64_t mtime = 0;
    uint32_t attributes = 0;  // Windows attribute word; Linux st_mode
    // (device, inode) on Linux; (volume serial, file id) on Windows.
    // hasIdentity is false where the system did not give one.
    bool hasIdentity = false;
    uint64_t device = 0;
    uint64_t inode = 0;
};

class DirReader {
public:
    DirReader();
    ~DirReader();
    DirReader(DirReader&&) noexcept;
    DirReader& operator=(DirReader&&) noexcept;
    DirReader(const DirReader&) = delete;
    DirReader& operator=(const DirReader&) = delete;

    // Opens the folder for listing. Windows searches path + "\*" and lists
    // in the system's order; Linux reads every name first and lists them in
    // the order NTFS would (see UpperCaseForOrder), so "first" means the
    // same on both systems.
    Status Open(const std::u16string& path);
    // Fills the next entry; false at the end (the handle is then closed).
    bool Next(DirEntry& entry);
    void Close();

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// Identity of a folder itself, for walk-cycle detection (Linux bind mounts).
bool FolderIdentity(const std::u16string& path, uint64_t& device, uint64_t& inode);

// True when the path names an existing directory (following links, as a
// user-given root may be a link).
bool IsDirectory(const std::u16string& path);

}  // namespace cs::platform
