// Folders opened as themselves, and listed through their handle: the part
// of the Win32 platform layer that the walk (dir_win32.cpp), the checked
// removal and the tree deletion share. A folder is opened with backup
// semantics (the only way CreateFileW opens a folder) and never through a
// reparse point; its entries come from FileIdBothDirectoryInfo, which hands
// over each entry's file id with the name, so the walk learns every file's
// identity without opening it. Any thread; a listing belongs to one thread.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/item_facts.h"
#include "platform/win32/handles.h"
#include "platform/win32/long_path.h"

namespace cs::platform::win32 {

// Opens `path` itself (through its LongPath), never what a reparse point
// there leads to. Folders
// open too (backup semantics). `share` decides who may rename or delete
// the item while the handle is held.
UniqueHandle OpenItself(const std::wstring& path, DWORD access, DWORD share);

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Shared for reading and writing but not for deleting: while held, nobody
// can rename, delete or replace the item.
constexpr DWORD kShareNoDelete = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD kListAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE;

// What an open handle is: identity (volume serial, file index), size, last
// write, kind; `attributes` gets the attribute word. False when the system
// cannot say.
bool FactsOfHandle(HANDLE item, ItemFacts& facts, DWORD& attributes);

// Whether the item at `path`, opened as `item`, is a reparse point. Both are
// asked: Windows reports it on the handle opened with
// FILE_FLAG_OPEN_REPARSE_POINT, while Wine follows a Unix symbolic link even
// then and reports the link only when asked by path.
bool IsReparsePoint(DWORD handleAttributes, const std::wstring& path);

// Whether the folder reparse point at `path` is where another volume is
// mounted (its target "\??\Volume{…}"), as opposed to a junction or
// symbolic link to a folder, which is removed as a link. `volumeSerial` is
// the volume of the folder that holds it.
bool LeadsToAnotherVolume(const std::wstring& path, uint64_t volumeSerial);

// The entries of an open folder in the order the system gives them, fetched
// in large batches. "." and ".." are skipped.
class FolderListing {
public:
    explicit FolderListing(HANDLE folder);
    // The next entry, valid until the following call; nullptr at the end or
    // on a failure (Failed tells which).
    const FILE_ID_BOTH_DIR_INFO* Next();
    bool Failed() const { return failed_; }

private:
    bool Fetch();

    HANDLE folder_;
    std::vector<uint64_t> buffer_;  // 8-byte aligned, as the entries need
    size_t offset_ = 0;
    bool filled_ = false;
    bool ended_ = false;
    bool failed_ = false;
};

std::wstring EntryName(const FILE_ID_BOTH_DIR_INFO& entry);

inline uint64_t FileTimeValue(const LARGE_INTEGER& time) {
    return static_cast<uint64_t>(time.QuadPart);
}

}  // namespace cs::platform::win32
