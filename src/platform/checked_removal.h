// Reaching one listed item again after the scan, through the very folders
// the scan listed, and removing it only while it is still the item the scan
// saw. Between the scan and the removal a folder on the way may have been
// swapped for a link to somewhere else, the item rewritten or replaced, or
// a file system mounted below a folder: each of those is told apart here
// and nothing is removed then. Any thread; no state.
//
// How each platform keeps the route honest:
// - Linux: the root is opened by its resolved path and checked against the
//   identity the scan gave it; every folder below is opened relative to its
//   parent's descriptor with O_NOFOLLOW | O_DIRECTORY and checked the same
//   way; the item is looked at and removed relative to its parent's
//   descriptor (fstatat without following, unlinkat).
// - Windows: each folder of the route is opened as itself (never through a
//   reparse point), checked, and held without delete sharing until the item
//   is gone, so none of them can be renamed or replaced meanwhile; the item
//   is removed through a handle opened on it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/item_facts.h"

namespace cs::platform {

enum class ItemCheck {
    Ok,
    Vanished,     // nothing stands at that name now
    Changed,      // size, time or kind differ from what the scan saw
    Replaced,     // another file or folder stands at that name
    Link,         // a link or other reparse point stands at that name
    PathChanged,  // a folder on the way is gone, a link, or not the one listed
    OtherDevice,  // a folder below the item lies on another file system
    Unreadable,   // a folder below the item cannot be listed
    NotRemoved,   // the system refused, or part of a tree stayed
    NotTrashed,   // the trash did not take it (still in place, or not found there)
    // Windows: the recycle bin takes only a plain path, and the plain form
    // of this one would name another item, so the item is not handed over.
    ShellNameEndsWithDotOrSpace,
    ShellDeviceName,
    ShellPathTooLong,
};

// Short English words for a check, for reports and JSON ("changed since
// the scan", ...).
const char* ItemCheckText(ItemCheck check);

struct FolderStep {
    std::u16string name;
    ItemFacts facts;  // what the scan saw of this folder
};

// The way to an item: the scan's root folder, then every folder below it
// down to the item's parent, with the identities the scan listed, then the
// item's own name.
struct ItemRoute {
    std::u16string rootPath;  // resolved, no trailing separator
    ItemFacts root;
    std::vector<FolderStep> folders;
    std::u16string name;  // never empty: the root itself is never removed

    std::u16string Path() const;
};

// Reaches the item without following any link; fills `now` with what is
// there (Ok), or says why it could not be reached.
ItemCheck InspectItem(const ItemRoute& route, ItemFacts& now);

// Checks the route, and that the item is still `expected`: the same
// identity and kind, and for a file the same size and last-write time.
// Then removes it: for good (a folder as a whole tree that never enters
// another file system: OtherDevice, nothing below such a folder is
// touched), or to the trash / recycle bin (Ok only when the item has left
// its place and is found in the trash). Ok when it is gone.
// A tree is deleted from folder handles (descriptors on Linux), never
// through a link: a link below it is removed as a link, its target never
// entered. Whatever can go goes; the tree is NotRemoved when anything
// stayed. Windows: a read-only or system item is retried once with those
// attributes cleared, and gets them back when the retry fails too.
ItemCheck RemoveCheckedItem(const ItemRoute& route, const ItemFacts& expected, bool toTrash);

struct TreeFile {
    std::u16string relativePath;  // below the folder, joined by the separator
    ItemFacts facts;
};

// Every regular, non-empty file below a folder reached through its route
// (links, empty files and special files hold no data that could be lost
// and are not listed). OtherDevice when a folder below lies on another file
// system; Unreadable when one cannot be listed.
ItemCheck ListFolderTree(const ItemRoute& folder, std::vector<TreeFile>& files);

}  // namespace cs::platform
