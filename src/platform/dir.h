// Directory iteration: one folder's entries with what the walk needs to
// filter them, without opening any file. "." and ".." are never returned.
// An owner of an open directory handle; move-only. One thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/item_facts.h"
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
    // The change time, same scale: Linux st_ctim, Windows the ChangeTime
    // the listing gives (that of FILE_BASIC_INFO). It moves on every write,
    // also one that puts the old last-write time back.
    uint64_t ctime = 0;
    uint32_t attributes = 0;  // Windows attribute word; Linux st_mode
    // (device, inode) on Linux; (volume serial, file id) on Windows.
    // hasIdentity is false where the system did not give one.
    bool hasIdentity = false;
    uint64_t device = 0;
    uint64_t inode = 0;
    // Names the file has (Linux st_nlink); 0 where the system did not say.
    // A file with one name cannot be met again under another.
    uint32_t links = 0;
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

// The folder the user named as the root, as the walk lists it: absolute,
// links followed (the user named it; below it no link is ever followed),
// no "." or ".." step, no doubled or trailing separator; a Windows drive
// root as "C:", the Linux root as "/". Fills what that folder is now
// (identity zero where the system gives none cheaply). False when it names
// no existing folder.
bool ResolveRoot(const std::u16string& given, std::u16string& resolved, ItemFacts& facts);

// Where a listed folder stands, as far as telling a trash folder in it goes.
struct FolderPlace {
    uint64_t device = 0;
    bool fileSystemTop = false;  // its device differs from its parent's, or "/"
    bool sharedTrash = false;    // ".Trash" at the top of a file system
};

// The user's trash folders, which a scan leaves out: a trashed copy is not a
// copy the user keeps, and "keep the oldest" would keep it and remove the
// live one. Linux: the home trash ($XDG_DATA_HOME/Trash, by default
// ~/.local/share/Trash), told by its identity, whatever path leads to it;
// .Trash-$UID and .Trash/$UID at the top of a file system. Windows: none;
// the recycle bin is a system folder, which the walk leaves out anyway.
// Nothing is left out when the root is itself inside a trash: the user asked
// to look there. Made once per scan (a few system calls); asking costs none.
class TrashFolders {
public:
    // For a walk from `root` (resolved) whose facts are `rootFacts`.
    TrashFolders(const std::u16string& root, const ItemFacts& rootFacts);

    FolderPlace RootPlace() const { return root_; }

    // Whether sub-folder `entry` of a folder at `place` is a trash to leave out.
    bool LeavesOut(const FolderPlace& place, const DirEntry& entry) const {
        if (!active_)
            return false;
        if (entry.hasIdentity && home_.HasIdentity() && entry.device == home_.device &&
            entry.inode == home_.inode) {
            return true;
        }
        return (place.fileSystemTop && entry.name == topTrashName_) ||
               (place.sharedTrash && entry.name == userName_);
    }

    // Where sub-folder `entry` of a folder at `place` stands.
    FolderPlace PlaceOf(const FolderPlace& place, const DirEntry& entry) const {
        FolderPlace below;
        below.device = entry.hasIdentity ? entry.device : place.device;
        below.fileSystemTop = entry.hasIdentity && entry.device != place.device;
        below.sharedTrash = place.fileSystemTop && entry.name == u".Trash";
        return below;
    }

private:
    FolderPlace root_;
    bool active_ = false;
    ItemFacts home_;               // the home trash; no identity when there is none
    std::u16string topTrashName_;  // ".Trash-$UID"
    std::u16string userName_;      // "$UID", inside a shared ".Trash"
};

}  // namespace cs::platform
