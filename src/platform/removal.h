// Removing one item from the file system for good, or to the recycle bin /
// the desktop trash. Called by the removal thread; any thread may call it.
//
// The promises every platform keeps:
// - Not found counts as removed: an item someone else took away is gone,
//   which is what the user asked for. An item whose parent folder is gone
//   too is a failure in permanent mode (the path itself is unknown) and
//   removed in recycle mode (nothing exists at that path).
// - Tree deletion never leaves the tree: it works from directory handles
//   and never follows a link, not even one swapped in while it runs. A
//   link to a folder is removed as a link; its target is never entered.
// - Whatever can be deleted in a tree is deleted; the tree fails as a whole
//   when anything stayed.
// - Recycling is honest: an item the system would destroy instead of
//   recycling (no recycle bin or trash for its drive or file system) fails
//   and stays where it is.
// Windows only: read-only and system items are retried once with those
// attributes cleared; when the retry fails too the attributes are put back.
#pragma once

#include <string>

namespace cs::platform {

// Removes a file, a folder link (as a link) or a whole folder tree.
// Trailing separators of `path` are ignored. True when the item is gone.
bool DeletePathPermanently(const std::u16string& path);

// Deletes every entry of `folder` whose name matches `mask` ("*" for all;
// "*" and "?" wildcards), recursing into subfolders, then the folder
// itself. True when the folder and everything in it are gone.
bool DeleteFolderTree(const std::u16string& folder, const std::u16string& mask);

// Moves a file or a whole folder to the recycle bin (Windows) or the
// freedesktop.org trash (Linux). On Windows a leading "\\?\" long-path
// prefix is dropped first. True when done or when nothing exists at the
// path.
bool RecyclePath(const std::u16string& path);

// Prepares the calling thread for the removal functions for its lifetime
// (Windows: COM for the shell's recycle operation; nothing on Linux).
class RemovalThreadScope {
public:
    RemovalThreadScope();
    ~RemovalThreadScope();
    RemovalThreadScope(const RemovalThreadScope&) = delete;
    RemovalThreadScope& operator=(const RemovalThreadScope&) = delete;

private:
    bool initialised_ = false;
};

}  // namespace cs::platform
