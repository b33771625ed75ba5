#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "platform/dir.h"
#include "platform/posix/errno_status.h"
#include "platform/text.h"

namespace cs::platform {

struct DirReader::Impl {
    DIR* dir = nullptr;
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
    return Status::Ok;
}

bool DirReader::Next(DirEntry& entry) {
    if (!impl_ || !impl_->dir)
        return false;
    for (;;) {
        errno = 0;
        const dirent* d = readdir(impl_->dir);
        if (!d) {
            Close();
            return false;
        }
        const char* name = d->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        struct stat st;
        if (fstatat(dirfd(impl_->dir), name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            continue;  // vanished between listing and looking: as if never there
        }
        entry.name = Utf8ToUtf16Lossless(name);
        entry.isDirectory = S_ISDIR(st.st_mode);
        entry.isReparsePoint = S_ISLNK(st.st_mode);
        entry.isSystem = false;
        entry.isSpecial = !S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode);
        entry.size = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
        entry.attributes = static_cast<uint32_t>(st.st_mode);
        entry.hasIdentity = true;
        entry.device = static_cast<uint64_t>(st.st_dev);
        entry.inode = static_cast<uint64_t>(st.st_ino);
        return true;
    }
}

void DirReader::Close() {
    if (impl_ && impl_->dir) {
        closedir(impl_->dir);
        impl_->dir = nullptr;
    }
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
