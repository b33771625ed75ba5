// The checked removal on Linux. The route is walked with descriptors only:
// the root by its resolved path, every folder below relative to its parent
// with O_NOFOLLOW, each checked against the identity the scan saw. The item
// is then looked at and removed relative to the last of them, so a folder
// that someone swapped for a link after the scan ends the walk (the
// no-follow open fails, or the folder found is another one) and nothing is
// reached through it.
//
// What is left open: between the look at the item (fstatat) and its
// unlinkat, another program could replace the item under the same name.
// That window is a few microseconds and needs write access to the folder;
// it cannot lead outside the folder. The trash is handed a path (GLib has
// no descriptor-relative call): the route is checked immediately before, so
// the window there is one rename by path, again microseconds wide.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/checked_removal.h"
#include "platform/posix/account_home.h"
#include "platform/posix/descriptor.h"
#include "platform/posix/stat_facts.h"
#include "platform/posix/tree_delete.h"
#include "platform/text.h"

namespace cs::platform {
namespace {

using posix::Descriptor;

bool SameFolder(const struct stat& st, const ItemFacts& listed) {
    if (!S_ISDIR(st.st_mode))
        return false;
    if (!listed.HasIdentity())
        return true;  // nothing to compare with; the no-follow open still holds
    return static_cast<uint64_t>(st.st_dev) == listed.device &&
           static_cast<uint64_t>(st.st_ino) == listed.inode;
}

// Opens the item's parent through the route; PathChanged when any folder
// on the way is missing, a link, or another folder than the one listed.
ItemCheck OpenParent(const ItemRoute& route, Descriptor& parent) {
    const std::string root = ToNative(route.rootPath);
    Descriptor current(open(root.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st;
    if (!current.Valid() || fstat(current.Get(), &st) != 0 || !SameFolder(st, route.root))
        return ItemCheck::PathChanged;
    for (const FolderStep& step : route.folders) {
        const std::string name = ToNative(step.name);
        Descriptor next(
            openat(current.Get(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!next.Valid() || fstat(next.Get(), &st) != 0 || !SameFolder(st, step.facts))
            return ItemCheck::PathChanged;
        current = std::move(next);
    }
    parent = std::move(current);
    return ItemCheck::Ok;
}

ItemCheck LookAt(int parentFd, const std::string& name, struct stat& st) {
    if (fstatat(parentFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? ItemCheck::Vanished : ItemCheck::PathChanged;
    if (S_ISLNK(st.st_mode))
        return ItemCheck::Link;
    return ItemCheck::Ok;
}

ItemCheck Compare(const struct stat& st, const ItemFacts& expected) {
    const ItemFacts now = FactsOf(st);
    if (expected.HasIdentity() && !now.SameIdentity(expected))
        return ItemCheck::Replaced;
    if (now.isFolder != expected.isFolder || (!now.isFolder && !S_ISREG(st.st_mode)))
        return ItemCheck::Replaced;
    if (!now.isFolder && (now.size != expected.size || now.mtime != expected.mtime))
        return ItemCheck::Changed;
    return ItemCheck::Ok;
}

std::string NativePath(const ItemRoute& route) {
    return ToNative(route.Path());
}

// Folders the trash of this user may live in for an item below `path`:
// the home trash, and the trash at the top of every folder above it (GLib
// uses the one at the top of the item's mount).
std::vector<std::string> TrashFolders(const std::string& path) {
    std::vector<std::string> folders;
    const std::string uid = std::to_string(getuid());
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data)
        folders.push_back(std::string(data) + "/Trash/files");
    else if (const std::string home = posix::AccountHome(); !home.empty())
        folders.push_back(home + "/.local/share/Trash/files");
    std::string above = path;
    for (;;) {
        const size_t slash = above.rfind('/');
        if (slash == std::string::npos)
            break;
        above.resize(slash);
        const std::string top = above.empty() ? std::string() : above;
        folders.push_back(top + "/.Trash-" + uid + "/files");
        folders.push_back(top + "/.Trash/" + uid + "/files");
        if (above.empty())
            break;
    }
    return folders;
}

// Whether an entry of one of the trash folders is the item itself: a move
// into the trash keeps device and inode.
bool FoundInTrash(const std::string& path, const ItemFacts& item) {
    for (const std::string& folder : TrashFolders(path)) {
        Descriptor fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!fd.Valid())
            continue;
        struct stat st;
        if (fstat(fd.Get(), &st) != 0 || static_cast<uint64_t>(st.st_dev) != item.device)
            continue;
        DIR* dir = fdopendir(dup(fd.Get()));
        if (!dir)
            continue;
        bool found = false;
        while (const dirent* entry = readdir(dir)) {
            if (static_cast<uint64_t>(entry->d_ino) != item.inode)
                continue;
            if (fstatat(fd.Get(), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                FactsOf(st).SameIdentity(item)) {
                found = true;
                break;
            }
        }
        closedir(dir);
        if (found)
            return true;
    }
    return false;
}

ItemCheck ListBelow(int folderFd, dev_t device, const std::u16string& prefix,
                    std::vector<TreeFile>& files) {
    DIR* dir = fdopendir(dup(folderFd));
    if (!dir)
        return ItemCheck::Unreadable;
    ItemCheck result = ItemCheck::Ok;
    while (const dirent* entry = readdir(dir)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        struct stat st;
        if (fstatat(folderFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;  // gone meanwhile: nothing of it can be lost
        const std::u16string relative =
            prefix.empty() ? Utf8ToUtf16Lossless(name)
                           : prefix + kPathSeparator + Utf8ToUtf16Lossless(name);
        if (S_ISDIR(st.st_mode)) {
            if (st.st_dev != device) {
                result = ItemCheck::OtherDevice;
                break;
            }
            Descriptor sub(openat(folderFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!sub.Valid()) {
                result = ItemCheck::Unreadable;
                break;
            }
            result = ListBelow(sub.Get(), device, relative, files);
            if (result != ItemCheck::Ok)
                break;
        } else if (S_ISREG(st.st_mode) && st.st_size > 0) {
            files.push_back(TreeFile{relative, FactsOf(st)});
        }
    }
    closedir(dir);
    return result;
}

}  // namespace

ItemCheck InspectItem(const ItemRoute& route, ItemFacts& now) {
    Descriptor parent;
    if (const ItemCheck check = OpenParent(route, parent); check != ItemCheck::Ok)
        return check;
    struct stat st;
    if (const ItemCheck check = LookAt(parent.Get(), ToNative(route.name), st);
        check != ItemCheck::Ok)
        return check;
    now = FactsOf(st);
    return ItemCheck::Ok;
}

ItemCheck RemoveCheckedItem(const ItemRoute& route, const ItemFacts& expected, bool toTrash) {
    Descriptor parent;
    if (const ItemCheck check = OpenParent(route, parent); check != ItemCheck::Ok)
        return check;
    const std::string name = ToNative(route.name);
    struct stat st;
    if (const ItemCheck check = LookAt(parent.Get(), name, st); check != ItemCheck::Ok)
        return check;
    if (const ItemCheck check = Compare(st, expected); check != ItemCheck::Ok)
        return check;
    const ItemFacts item = FactsOf(st);

    if (toTrash) {
        // The trash moves a folder as a whole, mounts below it included,
        // and emptying the trash later would destroy what lives there.
        if (item.isFolder) {
            std::vector<TreeFile> ignored;
            Descriptor folder(
                openat(parent.Get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!folder.Valid())
                return ItemCheck::Unreadable;
            if (const ItemCheck check = ListBelow(folder.Get(), st.st_dev, u"", ignored);
                check == ItemCheck::OtherDevice)
                return check;
        }
        const std::string path = NativePath(route);
        posix::TrashNativePath(path);
        // Trusted only by what the disk shows: the item left its place, and
        // the trash holds it. A missing home or trash folder has been seen
        // to report success with the item untouched.
        struct stat after;
        const bool stillThere = fstatat(parent.Get(), name.c_str(), &after, AT_SYMLINK_NOFOLLOW) == 0 &&
                                FactsOf(after).SameIdentity(item);
        if (stillThere || !FoundInTrash(path, item))
            return ItemCheck::NotTrashed;
        return ItemCheck::Ok;
    }

    if (item.isFolder) {
        bool otherDevice = false;
        const bool gone = posix::DeleteTreeAt(parent.Get(), name.c_str(), "*", st.st_dev, otherDevice);
        if (otherDevice)
            return ItemCheck::OtherDevice;
        return gone ? ItemCheck::Ok : ItemCheck::NotRemoved;
    }
    if (unlinkat(parent.Get(), name.c_str(), 0) == 0 || errno == ENOENT)
        return ItemCheck::Ok;
    return ItemCheck::NotRemoved;
}

ItemCheck ListFolderTree(const ItemRoute& folder, std::vector<TreeFile>& files) {
    Descriptor parent;
    if (const ItemCheck check = OpenParent(folder, parent); check != ItemCheck::Ok)
        return check;
    const std::string name = ToNative(folder.name);
    struct stat st;
    if (const ItemCheck check = LookAt(parent.Get(), name, st); check != ItemCheck::Ok)
        return check;
    if (!S_ISDIR(st.st_mode))
        return ItemCheck::Replaced;
    Descriptor fd(openat(parent.Get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.Valid())
        return ItemCheck::Unreadable;
    return ListBelow(fd.Get(), st.st_dev, u"", files);
}

}  // namespace cs::platform
