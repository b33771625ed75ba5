// The Linux pieces of the checked removal (checked_removal_posix.cpp): the
// tree deletion and the trash call. The tree deletion works from directory
// descriptors: every entry below is reached with *at() calls
// relative to its own folder's descriptor, and folders are entered with
// O_NOFOLLOW | O_DIRECTORY. A folder that someone swaps for a link between
// our look and our open is therefore never entered (the open fails with
// ELOOP and the link itself is removed), and nothing outside the tree can
// be reached through a path rebuilt from names.
//
// Linux has no read-only or system attribute that blocks deletion the way
// Windows does (write permission on the folder decides, and immutable
// files must stay immutable), so there is no attribute-clearing retry.
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <gio/gio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/posix/descriptor.h"
#include "platform/posix/on_demand.h"
#include "platform/posix/removal_hooks.h"
#include "platform/posix/tree_delete.h"
#include "platform/removal.h"

namespace cs::platform {

namespace posix {
namespace {
BeforeOpenFolderHook beforeOpenFolder = nullptr;
}
void SetBeforeOpenFolderHook(BeforeOpenFolderHook hook) {
    beforeOpenFolder = hook;
}
}  // namespace posix

namespace {

using posix::DeleteTreeAt;
using posix::Descriptor;

bool UnlinkEntry(int folderFd, const char* name, int flags) {
    return unlinkat(folderFd, name, flags) == 0 || errno == ENOENT;
}

// Deletes the matching entries of an open folder; false when any stayed.
// Goes on after a failure, so everything that can go, goes.
bool DeleteEntries(int folderFd, const char* mask, dev_t device, bool& otherDevice) {
    const int listFd = dup(folderFd);
    if (listFd < 0)
        return true;  // cannot list: removing the folder itself will tell
    DIR* dir = fdopendir(listFd);
    if (!dir) {
        ::close(listFd);
        return true;
    }
    bool ok = true;
    while (const dirent* entry = readdir(dir)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        if (fnmatch(mask, name, 0) != 0)
            continue;
        struct stat st;
        if (fstatat(folderFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT)
                ok = false;
            continue;
        }
        // A link is a non-directory here (no-follow), so it is unlinked as
        // itself and its target is never touched.
        const bool gone = S_ISDIR(st.st_mode)
                              ? DeleteTreeAt(folderFd, name, mask, device, otherDevice)
                              : UnlinkEntry(folderFd, name, 0);
        ok = ok && gone;
    }
    closedir(dir);
    return ok;
}

}  // namespace

namespace posix {

bool DeleteTreeAt(int parentFd, const char* name, const char* mask, dev_t device,
                  bool& otherDevice) {
    if (posix::beforeOpenFolder)
        posix::beforeOpenFolder(parentFd, name);
    const int fd = openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT)
            return true;
        // Swapped for a link (ELOOP) or a file (ENOTDIR) since we looked:
        // remove that entry as it is, never what it points to.
        if (error == ELOOP || error == ENOTDIR)
            return UnlinkEntry(parentFd, name, 0);
        // Cannot be listed: an empty folder can still be removed.
        return UnlinkEntry(parentFd, name, AT_REMOVEDIR);
    }
    bool ok;
    {
        Descriptor folder(fd);
        struct stat st;
        if (fstat(folder.Get(), &st) != 0)
            return false;
        // A file system mounted here is not part of the tree the user
        // ticked: emptying it would destroy data that lives elsewhere.
        if (st.st_dev != device) {
            otherDevice = true;
            return false;
        }
        ok = DeleteEntries(folder.Get(), mask, device, otherDevice);
    }
    const bool removed = UnlinkEntry(parentFd, name, AT_REMOVEDIR);
    return removed && ok;
}

namespace {

// GIO's calls, loaded on the first move to the trash (see on_demand.h);
// the header gives the types only.
struct Gio {
    decltype(&g_file_new_for_path) newForPath = nullptr;
    decltype(&g_file_trash) trash = nullptr;
    decltype(&g_io_error_quark) ioErrorQuark = nullptr;
    decltype(&g_error_matches) errorMatches = nullptr;
    decltype(&g_error_free) errorFree = nullptr;
    decltype(&g_object_unref) unref = nullptr;
    bool loaded = false;
};

const Gio& GioLibrary() {
    static const Gio gio = [] {
        Gio g;
        void* library = LoadLibrary({"libgio-2.0.so.0", "libgio-2.0.so"});
        g.loaded = Resolve(library, "g_file_new_for_path", g.newForPath) &&
                   Resolve(library, "g_file_trash", g.trash) &&
                   Resolve(library, "g_io_error_quark", g.ioErrorQuark) &&
                   Resolve(library, "g_error_matches", g.errorMatches) &&
                   Resolve(library, "g_error_free", g.errorFree) &&
                   Resolve(library, "g_object_unref", g.unref);
        return g;
    }();
    return gio;
}

}  // namespace

bool TrashNativePath(const std::string& native) {
    // GLib moves the item into the trash of its own file system (the home
    // trash, or .Trash-$uid at the top of that mount) and never deletes:
    // where no trash can be found or made it fails, and the item stays.
    // Without GIO nothing is moved, and the item stays too.
    const Gio& gio = GioLibrary();
    if (!gio.loaded)
        return false;
    GFile* file = gio.newForPath(native.c_str());
    GError* error = nullptr;
    bool ok = gio.trash(file, nullptr, &error) != FALSE;
    if (!ok && error && gio.errorMatches(error, gio.ioErrorQuark(), G_IO_ERROR_NOT_FOUND))
        ok = true;
    if (error)
        gio.errorFree(error);
    gio.unref(file);
    return ok;
}

}  // namespace posix

RemovalThreadScope::RemovalThreadScope() = default;
RemovalThreadScope::~RemovalThreadScope() = default;

}  // namespace cs::platform
