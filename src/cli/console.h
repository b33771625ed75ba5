// Writing UTF-8 text to standard output and standard error. On Windows a
// console shows only what it is given as UTF-16 (WriteConsoleW): bytes
// would be read in the console's code page and non-ASCII names garbled;
// redirected to a file or a pipe, the same text goes out as UTF-8 bytes, as
// on Linux. Every write is checked: a listing cut short on a full disk must
// not pass for a whole one. Main thread only.
#pragma once

#include <string>
#include <string_view>

namespace cs::cli {

// False when not every byte reached the stream. Standard output takes
// nothing more after its first failure (a listing with a hole in it is
// worse than one cut short); the failure is kept for CloseOut.
bool WriteOut(std::string_view utf8);
// Standard error keeps no failure: each write stands alone.
bool WriteErr(std::string_view utf8);
// Closes standard output, where a file system may report a write it could
// not complete. False with the system's words for the first failure of
// standard output since the start.
bool CloseOut(std::string& error);
#ifdef _WIN32
// The system's sentence for a Win32 error code, without its full stop.
std::string SystemErrorText(unsigned long code);
#endif
// printf-style, to standard error.
void ErrorF(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

}  // namespace cs::cli
