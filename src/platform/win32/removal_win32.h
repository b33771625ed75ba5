// The last steps of the checked removal (checked_removal_win32.cpp):
// permanent deletion and recycling of an item already checked. Any thread.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/win32/handles.h"

namespace cs::platform::win32 {

// Opens an item as itself for deleting through its handle: with the right
// to change its attributes where that is granted, without it otherwise.
UniqueHandle OpenForDeletion(const std::wstring& path, DWORD share);

// Marks the item for deletion (it goes when its last handle closes). A
// read-only or system item is retried once with those attributes cleared,
// and gets them back when the retry fails too. `item` needs DELETE and
// FILE_READ_ATTRIBUTES access; the retry needs FILE_WRITE_ATTRIBUTES.
bool DeleteThroughHandle(HANDLE item);

struct TreeOutcome {
    bool complete = true;      // everything below is gone
    bool otherVolume = false;  // a folder on another volume was met and left
};

// Deletes every entry of `folder` matching `mask`, recursing into
// subfolders (each held without delete sharing while it is emptied), never
// through a reparse point (a link is removed as a link) and never into a
// folder whose volume serial is not `volumeSerial` or that is a volume
// mount point. The folder itself stays.
TreeOutcome DeleteTreeContents(const std::wstring& folder, const std::wstring& mask,
                               uint64_t volumeSerial);

// Hands a path (without the "\\?\" prefix) to the shell for recycling.
// True only where the shell vouches for a recycled copy (IFileOperation) or,
// where it cannot say (Wine), where a recycle bin serves the volume and the
// item has left its place.
bool RecycleShellPath(const std::wstring& shellPath);
// Forgets which recycle bins this thread found serving (the yes is kept for
// one removal run on its thread).
void ForgetServedRecycleBins();

}  // namespace cs::platform::win32
