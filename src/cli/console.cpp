#include "cli/console.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#ifdef _WIN32
#include <windows.h>

#include "platform/text.h"
#endif

namespace cs::cli {

namespace {

void Write(FILE* stream, std::string_view utf8) {
#ifdef _WIN32
    HANDLE handle = GetStdHandle(stream == stdout ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
        std::fflush(stream);
        const std::u16string text = platform::Utf8ToUtf16Lossless(utf8);
        const wchar_t* data = reinterpret_cast<const wchar_t*>(text.data());
        size_t left = text.size();
        while (left > 0) {
            DWORD written = 0;
            const DWORD chunk = static_cast<DWORD>(left < 16384 ? left : 16384);
            if (!WriteConsoleW(handle, data, chunk, &written, nullptr) || written == 0)
                break;
            data += written;
            left -= written;
        }
        return;
    }
#endif
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
    std::fflush(stream);
}

}  // namespace

void WriteOut(std::string_view utf8) {
    Write(stdout, utf8);
}

void WriteErr(std::string_view utf8) {
    Write(stderr, utf8);
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
