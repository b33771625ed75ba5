// Removal on Linux. Permanent deletion works from directory descriptors:
// the parent is opened once, every entry below is reached with *at() calls
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
#include "platform/text.h"

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

// Splits a path into its folder and last name. False for the root, an
// empty path and names that are not entries ("." and "..").
bool SplitParent(std::string path, std::string& parent, std::string& name) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (path.empty() || path == "/")
        return false;
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        parent = std::string(".");
        name = std::move(path);
    } else {
        parent = std::string(path.data(), slash == 0 ? 1 : slash);
        name = std::string(path.data() + slash + 1, path.size() - slash - 1);
    }
    return name != "." && name != "..";
}

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

// Opens the folder that holds `path`'s last name; -1 when it is not there.
int OpenParent(const std::string& parent) {
    return open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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

bool DeletePathPermanently(const std::u16string& path) {
    std::string parent, name;
    if (!SplitParent(ToNative(path), parent, name))
        return false;
    // A missing parent is a failure: unlike a missing item, nothing says
    // the item is gone rather than somewhere we cannot see.
    Descriptor parentFd(OpenParent(parent));
    if (parentFd.Get() < 0)
        return false;
    struct stat st;
    if (fstatat(parentFd.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT;
    bool otherDevice = false;
    if (S_ISDIR(st.st_mode))
        return DeleteTreeAt(parentFd.Get(), name.c_str(), "*", st.st_dev, otherDevice);
    return UnlinkEntry(parentFd.Get(), name.c_str(), 0);
}

bool DeleteFolderTree(const std::u16string& folder, const std::u16string& mask) {
    std::string parent, name;
    if (!SplitParent(ToNative(folder), parent, name))
        return false;
    Descriptor parentFd(OpenParent(parent));
    if (parentFd.Get() < 0)
        return false;
    const std::string nativeMask = ToNative(mask.empty() ? std::u16string_view(u"*") : mask);
    struct stat st;
    if (fstatat(parentFd.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT;
    bool otherDevice = false;
    return DeleteTreeAt(parentFd.Get(), name.c_str(), nativeMask.c_str(), st.st_dev, otherDevice);
}

bool RecyclePath(const std::u16string& path) {
    if (path.empty())
        return false;
    const std::string native = ToNative(path);
    struct stat st;
    if (lstat(native.c_str(), &st) != 0)
        return errno == ENOENT || errno == ENOTDIR;  // nothing exists there
    return posix::TrashNativePath(native);
}

RemovalThreadScope::RemovalThreadScope() = default;
RemovalThreadScope::~RemovalThreadScope() = default;

}  // namespace cs::platform
