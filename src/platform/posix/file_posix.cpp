#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file.h"
#include "platform/posix/errno_status.h"
#include "platform/posix/stat_facts.h"
#include "platform/text.h"

namespace cs::platform {

FileReader::~FileReader() {
    Close();
}

FileReader::FileReader(FileReader&& other) noexcept : fd_(other.fd_), peek_(other.peek_) {
    other.fd_ = -1;
}

FileReader& FileReader::operator=(FileReader&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        peek_ = other.peek_;
        other.fd_ = -1;
    }
    return *this;
}

namespace {

int OpenForReading(const std::string& native) {
    constexpr int kFlags = O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC;
    int fd = open(native.c_str(), kFlags | O_NOATIME);
    if (fd < 0 && errno == EPERM)
        fd = open(native.c_str(), kFlags);
    return fd;
}

}  // namespace

Status FileReader::OpenToPeek(const std::u16string& path) {
    Close();
    const int fd = OpenForReading(ToNative(path));
    if (fd < 0)
        return StatusFromErrno(errno);
    fd_ = fd;
    peek_ = true;
    return Status::Ok;
}

Status FileReader::Open(const std::u16string& path) {
    Close();
    // O_NONBLOCK: a FIFO swapped in after the walk looked must not hang the
    // open; the type check below then refuses it.
    // O_NOATIME: a scan only looks; it should not make the file system
    // write an access time back for every file it reads. Only the owner
    // (or a privileged user) may ask for it, so fall back without it.
    const int fd = OpenForReading(ToNative(path));
    if (fd < 0)
        return StatusFromErrno(errno);
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Status::NotRegular;
    }
    // O_NONBLOCK stays: Linux ignores it for regular files on local file
    // systems, and Read clears it should a file system ever answer EAGAIN.
    // Two fewer calls per file matter on a tree of small files.
    fd_ = fd;
    peek_ = false;
    return Status::Ok;
}

bool FileReader::IsOpen() const {
    return fd_ >= 0;
}

void FileReader::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

int64_t FileReader::Read(void* buffer, size_t count) {
    if (fd_ < 0)
        return -1;
    auto* out = static_cast<char*>(buffer);
    size_t done = 0;
    // A short read is not the end of the file; only 0 is.
    while (done < count) {
        const ssize_t n = ::read(fd_, out + done, count - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN && !peek_) {
                const int flags = fcntl(fd_, F_GETFL);
                if (flags >= 0 && (flags & O_NONBLOCK) &&
                    fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) == 0) {
                    continue;
                }
            }
            return -1;
        }
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
}

bool FileReader::SeekFromEnd(uint64_t distance) {
    if (fd_ < 0)
        return false;
    struct stat st;
    if (fstat(fd_, &st) != 0)
        return false;
    if (static_cast<uint64_t>(st.st_size) < distance)
        return false;
    return lseek(fd_, st.st_size - static_cast<off_t>(distance), SEEK_SET) >= 0;
}

bool FileReader::SeekTo(uint64_t offset) {
    return fd_ >= 0 && lseek(fd_, static_cast<off_t>(offset), SEEK_SET) >= 0;
}

void FileReader::HintSequential() {
    if (fd_ >= 0)
        posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
}

bool FileReader::ReadFacts(ItemFacts& facts) const {
    struct stat st;
    if (fd_ < 0 || fstat(fd_, &st) != 0)
        return false;
    facts = FactsOf(st);
    return true;
}

}  // namespace cs::platform
