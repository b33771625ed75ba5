#include <windows.h>

#include <algorithm>
#include <limits>

#include "platform/file.h"
#include "platform/text.h"
#include "platform/win32/error_status.h"
#include "platform/win32/folder_win32.h"

namespace cs::platform {

namespace {

// One ReadFile request at most; larger single requests can fail on network
// shares with ERROR_NO_SYSTEM_RESOURCES, and the engine reads far less.
constexpr size_t kMaxRequest = 16u << 20;

bool IsHeld(void* handle) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

HANDLE AsHandle(void* handle) {
    return static_cast<HANDLE>(handle);
}

}  // namespace

FileReader::~FileReader() {
    Close();
}

FileReader::FileReader(FileReader&& other) noexcept : handle_(other.handle_) {
    other.handle_ = nullptr;
}

FileReader& FileReader::operator=(FileReader&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = other.handle_;
        other.handle_ = nullptr;
    }
    return *this;
}

Status FileReader::Open(const std::u16string& path) {
    Close();
    const win32::LongPath native = win32::LongPath::Of(path);
    // Read sharing only: a program that has the file open for writing makes
    // this open fail, rather than letting us hash bytes that are changing.
    const HANDLE handle =
        win32::CreateFileAt(native, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        // Without backup semantics CreateFileW refuses a folder with the same
        // ERROR_ACCESS_DENIED a permission problem gives; tell them apart.
        if (error == ERROR_ACCESS_DENIED) {
            const DWORD attributes = win32::AttributesAt(native);
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
                return Status::NotRegular;
            }
        }
        return StatusFromWin32Error(error);
    }
    // A path can also name a pipe or a device ("\\.\pipe\x"), where a
    // read waits for input that may never come. ("nul.txt" in a folder is a
    // file here: the long form never turns it into the device.)
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        return Status::NotRegular;
    }
    handle_ = handle;
    return Status::Ok;
}

Status FileReader::OpenToPeek(const std::u16string& path) {
    return Open(path);
}

bool FileReader::IsOpen() const {
    return IsHeld(handle_);
}

void FileReader::Close() {
    if (IsHeld(handle_))
        CloseHandle(AsHandle(handle_));
    handle_ = nullptr;
}

int64_t FileReader::Read(void* buffer, size_t count) {
    if (!IsHeld(handle_))
        return -1;
    auto* out = static_cast<unsigned char*>(buffer);
    size_t done = 0;
    // A short read is not the end of the file; only 0 bytes is.
    while (done < count) {
        const auto request = static_cast<DWORD>(std::min(count - done, kMaxRequest));
        DWORD got = 0;
        if (!ReadFile(AsHandle(handle_), out + done, request, &got, nullptr))
            return -1;
        if (got == 0)
            break;
        done += got;
    }
    return static_cast<int64_t>(done);
}

bool FileReader::SeekFromEnd(uint64_t distance) {
    if (!IsHeld(handle_))
        return false;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(AsHandle(handle_), &size) || size.QuadPart < 0)
        return false;
    if (distance > static_cast<uint64_t>(size.QuadPart))
        return false;
    LARGE_INTEGER target;
    target.QuadPart = size.QuadPart - static_cast<LONGLONG>(distance);
    return SetFilePointerEx(AsHandle(handle_), target, nullptr, FILE_BEGIN) != 0;
}

bool FileReader::SeekTo(uint64_t offset) {
    if (!IsHeld(handle_))
        return false;
    if (offset > static_cast<uint64_t>(std::numeric_limits<LONGLONG>::max()))
        return false;
    LARGE_INTEGER target;
    target.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(AsHandle(handle_), target, nullptr, FILE_BEGIN) != 0;
}

void FileReader::HintSequential() {
    // Windows takes this hint only when the file is opened
    // (FILE_FLAG_SEQUENTIAL_SCAN), and its read-ahead already detects
    // sequential reads; there is nothing to tell it afterwards.
}

bool FileReader::ReadFacts(ItemFacts& facts) const {
    DWORD attributes = 0;
    return IsHeld(handle_) && win32::FactsOfHandle(AsHandle(handle_), facts, attributes);
}

}  // namespace cs::platform
