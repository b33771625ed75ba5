// Reading one file for its digests. Opening refuses anything but a regular
// file (Linux: O_NOFOLLOW, and FIFOs/devices are never blocked on); Windows
// opens with read sharing only, so a file held open for writing by another
// program fails to open. Move-only owner of the handle; one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/item_facts.h"
#include "platform/status.h"

namespace cs::platform {

class FileReader {
public:
    FileReader() = default;
    ~FileReader();
    FileReader(FileReader&& other) noexcept;
    FileReader& operator=(FileReader&& other) noexcept;
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    Status Open(const std::u16string& path);
    // For a read of a bounded size, with one system call fewer: what the
    // file is goes unasked. Linux: the open stays non-blocking and Read
    // never waits, so a FIFO or device swapped in since the walk looked
    // gives nothing or an error, never a hang. Windows: as Open.
    Status OpenToPeek(const std::u16string& path);
    bool IsOpen() const;
    void Close();

    // Reads up to count bytes at the current position. Returns the number
    // read (0 at the end of the file) or -1 on a read error.
    int64_t Read(void* buffer, size_t count);

    // Moves to `distance` bytes before the end. Fails, leaving the position
    // unchanged, when that would be before the start of the file.
    bool SeekFromEnd(uint64_t distance);
    bool SeekTo(uint64_t offset);

    // Tells the system the file will be read front to back.
    void HintSequential();

    // What the open file is (identity, size, last write); false when the
    // system cannot say.
    bool ReadFacts(ItemFacts& facts) const;

private:
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
    bool peek_ = false;  // opened by OpenToPeek: reads never block
#endif
};

}  // namespace cs::platform
