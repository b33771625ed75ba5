#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/dir.h"
#include "platform/posix/errno_status.h"
#include "platform/posix/stat_facts.h"
#include "platform/text.h"

namespace cs::platform {

namespace {

struct ListedName {
    std::string native;
    std::u16string name;
    std::u16string orderKey;
};

}  // namespace

// readdir gives a hash order on most Linux file systems, which would make
// "the first copy" depend on how the tree was created. So the names are read
// first, sorted, and only then looked at: the same one fstatat per entry as
// listing in the system's order, and no other system call per entry.
struct DirReader::Impl {
    DIR* dir = nullptr;
    std::vector<ListedName> names;
    size_t next = 0;
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
    while (const dirent* d = readdir(impl_->dir)) {
        const char* name = d->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        ListedName& listed = impl_->names.emplace_back();
        listed.native = name;
        listed.name = Utf8ToUtf16Lossless(listed.native);
        listed.orderKey = UpperCaseForOrder(listed.name);
    }
    std::sort(impl_->names.begin(), impl_->names.end(),
              [](const ListedName& a, const ListedName& b) {
                  if (a.orderKey != b.orderKey)
                      return a.orderKey < b.orderKey;
                  return a.name < b.name;
              });
    return Status::Ok;
}

bool DirReader::Next(DirEntry& entry) {
    if (!impl_ || !impl_->dir)
        return false;
    while (impl_->next < impl_->names.size()) {
        ListedName& listed = impl_->names[impl_->next++];
        struct stat st;
        if (fstatat(dirfd(impl_->dir), listed.native.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            continue;  // vanished between listing and looking: as if never there
        }
        entry.name = std::move(listed.name);
        entry.isDirectory = S_ISDIR(st.st_mode);
        entry.isReparsePoint = S_ISLNK(st.st_mode);
        entry.isSystem = false;
        entry.isSpecial = !S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode);
        entry.size = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
        entry.mtime = FiletimeOf(st.st_mtim);
        entry.attributes = static_cast<uint32_t>(st.st_mode);
        entry.hasIdentity = true;
        entry.device = static_cast<uint64_t>(st.st_dev);
        entry.inode = static_cast<uint64_t>(st.st_ino);
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
    impl_->names.clear();
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

}  // namespace cs::platform
