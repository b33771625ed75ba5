#include "cli/console.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <io.h>
#include <windows.h>

#include "platform/text.h"
#else
#include <unistd.h>
#endif

namespace cs::cli {

namespace {

// The first failure of standard output, in the system's words.
bool g_outFailed = false;
std::string g_outError;

#ifdef _WIN32
bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

bool Write(DWORD which, std::string_view utf8, std::string& error) {
    const HANDLE handle = GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        if (utf8.empty())
            return true;
        error = "it is not open";
        return false;
    }
    if (IsConsole(handle)) {
        const std::u16string text = platform::Utf8ToUtf16Lossless(utf8);
        const wchar_t* data = reinterpret_cast<const wchar_t*>(text.data());
        size_t left = text.size();
        while (left > 0) {
            DWORD written = 0;
            const DWORD chunk = static_cast<DWORD>(left < 16384 ? left : 16384);
            if (!WriteConsoleW(handle, data, chunk, &written, nullptr)) {
                error = SystemErrorText(GetLastError());
                return false;
            }
            if (written == 0) {
                error = "the console took nothing";
                return false;
            }
            data += written;
            left -= written;
        }
        return true;
    }
    // Straight to the handle, not through the C runtime's buffer: its
    // failure would surface later, as an errno without the system's words.
    while (!utf8.empty()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(utf8.size() < (1u << 20) ? utf8.size() : 1u << 20);
        if (!WriteFile(handle, utf8.data(), chunk, &written, nullptr)) {
            error = SystemErrorText(GetLastError());
            return false;
        }
        if (written == 0) {
            error = "nothing was written";
            return false;
        }
        utf8.remove_prefix(written);
    }
    return true;
}
#else
bool Write(int fd, std::string_view utf8, std::string& error) {
    while (!utf8.empty()) {
        const ssize_t n = write(fd, utf8.data(), utf8.size());
        if (n < 0 && errno == EINTR)
            continue;  // Ctrl+C only sets the cancel flag; the bytes still go
        if (n < 0) {
            error = std::strerror(errno);
            return false;
        }
        if (n == 0) {
            error = "nothing was written";
            return false;
        }
        utf8.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}
#endif

}  // namespace

#ifdef _WIN32
std::string SystemErrorText(unsigned long code) {
    wchar_t buffer[512];
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             static_cast<DWORD>(code), 0, buffer,
                             static_cast<DWORD>(sizeof buffer / sizeof *buffer), nullptr);
    // The system's sentences end with a full stop and a line break; ours
    // go on after them.
    while (n > 0 && (buffer[n - 1] == L'\r' || buffer[n - 1] == L'\n' || buffer[n - 1] == L'.' ||
                     buffer[n - 1] == L' '))
        --n;
    if (n == 0)
        return "error " + std::to_string(code);
    return platform::Utf16ToUtf8Lossless(
        std::u16string(reinterpret_cast<const char16_t*>(buffer), n));
}
#endif

bool WriteOut(std::string_view utf8) {
    if (g_outFailed)
        return false;
#ifdef _WIN32
    g_outFailed = !Write(STD_OUTPUT_HANDLE, utf8, g_outError);
#else
    g_outFailed = !Write(STDOUT_FILENO, utf8, g_outError);
#endif
    return !g_outFailed;
}

bool WriteErr(std::string_view utf8) {
    std::string error;
#ifdef _WIN32
    return Write(STD_ERROR_HANDLE, utf8, error);
#else
    return Write(STDERR_FILENO, utf8, error);
#endif
}

bool CloseOut(std::string& error) {
#ifdef _WIN32
    // The C runtime owns the handle behind its descriptor 1 and would close
    // it again at exit; a console has nothing to lose at close.
    const bool closeFailed = !IsConsole(GetStdHandle(STD_OUTPUT_HANDLE)) &&
                             _close(_fileno(stdout)) != 0 && errno != EBADF;
#else
    // NFS and some FUSE file systems report a failed write only here. A
    // standard output that was never open (EBADF) lost nothing unless it
    // was written to, which failed already.
    const bool closeFailed = close(STDOUT_FILENO) != 0 && errno != EBADF;
#endif
    if (closeFailed && !g_outFailed) {
        g_outFailed = true;
        g_outError = std::strerror(errno);
    }
    error = g_outError;
    return !g_outFailed;
}

void ErrorF(const char* format, ...) {
    va_list args;
    va_start(args, format);
    char small[512];
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    std::string text;
    if (n >= 0 && static_cast<size_t>(n) < sizeof small) {
        text.assign(small, static_cast<size_t>(n));
    } else if (n > 0) {
        text.resize(static_cast<size_t>(n) + 1);
        std::vsnprintf(text.data(), text.size(), format, again);
        text.resize(static_cast<size_t>(n));
    }
    va_end(again);
    WriteErr(text);
}

}  // namespace cs::cli
