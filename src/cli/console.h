// Writing UTF-8 text to standard output and standard error. On Windows a
// console shows only what it is given as UTF-16 (WriteConsoleW): bytes
// would be read in the console's code page and non-ASCII names garbled;
// redirected to a file or a pipe, the same text goes out as UTF-8 bytes, as
// on Linux. Main thread only.
#pragma once

#include <string_view>

namespace cs::cli {

void WriteOut(std::string_view utf8);
void WriteErr(std::string_view utf8);
// printf-style, to standard error.
void ErrorF(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

}  // namespace cs::cli
