#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/dir.h"
#include "platform/posix/account_home.h"
#include "platform/posix/errno_status.h"
#include "platform/posix/stat_facts.h"
#include "platform/text.h"

namespace cs::platform {

namespace {

// A listed name, as places in the listing's two text stores: a folder's
// listing is read whole before it is looked at, and one allocation per name
// (two, with its wide form) was most of the walk's time in the allocator.
struct ListedName {
    size_t native = 0;  // offset of the NUL-terminated bytes in `natives`
    size_t wide = 0;    // offset of the name in `wides`
    size_t wideLength = 0;
};

// The order of UpperCaseForOrder's keys, without making them: a folder's
// listing is held while the walk is below it, and a key per name was a
// third of that memory.
bool ComesBefore(std::u16string_view a, std::u16string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const char16_t ca = a[i], cb = b[i];
        if (ca == cb)
            continue;
        const char16_t ua = UpperCaseCodeUnit(ca), ub = UpperCaseCodeUnit(cb);
        if (ua != ub)
            return ua < ub;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

}  // namespace

// readdir gives a hash order on most Linux file systems, which would make
// "the first copy" depend on how the tree was created. So the names are read
// first, sorted, and only then looked at: the same one fstatat per entry as
// listing in the system's order, and no other system call per entry.
struct DirReader::Impl {
    DIR* dir = nullptr;
    std::vector<ListedName> names;
    std::string natives;
    std::u16string wides;
    size_t next = 0;

    std::u16string_view Wide(const ListedName& n) const {
        return std::u16string_view(wides).substr(n.wide, n.wideLength);
    }
};

DirReader::DirReader() : impl_(std::make_unique<Impl>()) {}
DirReader::~DirReader() {
    Close();
}
DirReader::DirReader(DirReader&&) noexcept = default;
DirReader& DirReader::operator=(DirReader&& other) noexcept {
    if (this != &other) {
        Close();
        impl_ = std::move(other.impl_);
    }
    return *this;
}

Status DirReader::Open(const std::u16string& path) {
    Close();
    if (!impl_)
        impl_ = std::make_unique<Impl>();
    const std::string native = ToNative(path.empty() ? std::u16string_view(u".") : path);
    // O_NOFOLLOW: the walk has already refused links; a folder swapped for a
    // link between listing and opening must not lead the walk elsewhere.
    const int fd = open(native.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return StatusFromErrno(errno);
    impl_->dir = fdopendir(fd);
    if (!impl_->dir) {
        const int error = errno;
        ::close(fd);
        return StatusFromErrno(error);
    }
    // A read error part way ends the listing with what was read, as the
    // system's order would have.
    Impl& im = *impl_;
    while (const dirent* d = readdir(im.dir)) {
        const char* name = d->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        const std::string_view bytes(name);
        ListedName& listed = im.names.emplace_back();
        listed.native = im.natives.size();
        im.natives.append(bytes);
        im.natives.push_back('\0');
        listed.wide = im.wides.size();
        bool ascii = true;
        for (const char c : bytes)
            ascii = ascii && static_cast<unsigned char>(c) < 0x80;
        if (ascii) {
            im.wides.append(bytes.begin(), bytes.end());
        } else {
            im.wides.append(Utf8ToUtf16Lossless(bytes));
        }
        listed.wideLength = im.wides.size() - listed.wide;
    }
    std::sort(im.names.begin(), im.names.end(),
              [&im](const ListedName& a, const ListedName& b) {
                  return ComesBefore(im.Wide(a), im.Wide(b));
              });
    return Status::Ok;
}

bool DirReader::Next(DirEntry& entry) {
    if (!impl_ || !impl_->dir)
        return false;
    while (impl_->next < impl_->names.size()) {
        const ListedName& listed = impl_->names[impl_->next++];
        struct stat st;
        if (fstatat(dirfd(impl_->dir), impl_->natives.c_str() + listed.native, &st,
                    AT_SYMLINK_NOFOLLOW) != 0) {
            continue;  // vanished between listing and looking: as if never there
        }
        // Into the caller's string, whose room the next entry reuses.
        entry.name.assign(impl_->Wide(listed));
        entry.isDirectory = S_ISDIR(st.st_mode);
        entry.isReparsePoint = S_ISLNK(st.st_mode);
        entry.isSystem = false;
        entry.isSpecial = !S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode);
        entry.size = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
        entry.mtime = FiletimeOf(st.st_mtim);
        entry.ctime = FiletimeOf(st.st_ctim);
        entry.attributes = static_cast<uint32_t>(st.st_mode);
        entry.hasIdentity = true;
        entry.device = static_cast<uint64_t>(st.st_dev);
        entry.inode = static_cast<uint64_t>(st.st_ino);
        entry.links = static_cast<uint32_t>(st.st_nlink);
        return true;
    }
    Close();
    return false;
}

void DirReader::Close() {
    if (!impl_)
        return;
    if (impl_->dir) {
        closedir(impl_->dir);
        impl_->dir = nullptr;
    }
    // Let go of the listing's memory, not just its contents: the walk keeps
    // a reader open for every folder above the one it lists.
    std::vector<ListedName>().swap(impl_->names);
    std::string().swap(impl_->natives);
    std::u16string().swap(impl_->wides);
    impl_->next = 0;
}

bool FolderIdentity(const std::u16string& path, uint64_t& device, uint64_t& inode) {
    struct stat st;
    if (stat(ToNative(path).c_str(), &st) != 0)
        return false;
    device = static_cast<uint64_t>(st.st_dev);
    inode = static_cast<uint64_t>(st.st_ino);
    return true;
}

bool IsDirectory(const std::u16string& path) {
    struct stat st;
    return !path.empty() && stat(ToNative(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ResolveRoot(const std::u16string& given, std::u16string& resolved, ItemFacts& facts) {
    if (given.empty())
        return false;
    // realpath follows every link, and drops "." and ".." steps and doubled
    // or trailing slashes: "dir/", "dir//", "./dir" and a link to dir all
    // become the one absolute path the walk then lists without following.
    char* real = realpath(ToNative(given).c_str(), nullptr);
    if (!real)
        return false;
    const std::string native(real);
    std::free(real);
    struct stat st;
    if (lstat(native.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    resolved = FromNative(native);
    facts = FactsOf(st);
    return true;
}

namespace {

bool StatFollowing(const std::string& path, ItemFacts& facts) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return false;
    facts = FactsOf(st);
    return true;
}

// The parent of an absolute, resolved path; "/" is its own parent.
std::string ParentOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == 0 || slash == std::string::npos ? std::string("/") : path.substr(0, slash);
}

std::string HomeTrashPath() {
    // The XDG rule: a relative XDG_DATA_HOME is to be ignored.
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && data[0] == '/')
        return std::string(data) + "/Trash";
    const std::string home = posix::AccountHome();
    if (!home.empty() && home[0] == '/')
        return home + "/.local/share/Trash";
    return {};
}

}  // namespace

TrashFolders::TrashFolders(const std::u16string& root, const ItemFacts& rootFacts) {
    const std::string uid = std::to_string(getuid());
    topTrashName_ = FromNative(".Trash-" + uid);
    userName_ = FromNative(uid);
    const std::string homeTrash = HomeTrashPath();
    if (!homeTrash.empty() && !StatFollowing(homeTrash, home_))
        home_ = ItemFacts{};

    const std::string native = ToNative(root);
    root_.device = rootFacts.device;
    ItemFacts parent;
    root_.fileSystemTop = native == "/" || (StatFollowing(ParentOf(native), parent) &&
                                            parent.device != rootFacts.device);
    root_.sharedTrash = false;

    // Is the root inside a trash? The home trash by identity, on every step
    // up to "/"; the trashes at a file system's top by their names, which
    // errs towards listing everything (a folder of that name elsewhere is
    // never left out anyway).
    std::string step = native;
    std::string below;  // the step's child on the way to the root
    for (;;) {
        ItemFacts facts;
        if (home_.HasIdentity() && StatFollowing(step, facts) && facts.SameIdentity(home_))
            return;
        const std::string name = step.substr(step.rfind('/') + 1);
        if (name == ".Trash-" + uid || (name == ".Trash" && below == uid))
            return;
        if (step == "/")
            break;
        below = name;
        step = ParentOf(step);
    }
    active_ = true;
}

}  // namespace cs::platform
