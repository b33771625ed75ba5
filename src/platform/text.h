// Text conversions at the edge of the engine. The engine holds every name
// and path as UTF-16 code units. On Linux file names are arbitrary bytes:
// valid UTF-8 converts normally, and each byte that is not part of valid
// UTF-8 becomes one lone surrogate U+DC80..U+DCFF, which converts back to
// the same byte, so every name found can be opened again. On Windows the
// native text is UTF-16 already. Pure functions; any thread.
#pragma once

#include <string>
#include <string_view>

namespace cs::platform {

// Lossless: bytes -> UTF-16 as described above.
std::u16string Utf8ToUtf16Lossless(std::string_view bytes);

// Inverse of Utf8ToUtf16Lossless. Lone surrogates U+DC80..U+DCFF become the
// byte they stand for; any other lone surrogate is written as its 3-byte
// generalised UTF-8 form (it cannot come from a Linux name).
std::string Utf16ToUtf8Lossless(std::u16string_view text);

#ifdef _WIN32
using NativeString = std::wstring;
#else
using NativeString = std::string;
#endif

NativeString ToNative(std::u16string_view text);
std::u16string FromNative(const NativeString& text);

#ifdef _WIN32
inline constexpr char16_t kPathSeparator = u'\\';
#else
inline constexpr char16_t kPathSeparator = u'/';
#endif

// folder + separator + name; a folder that already ends in the separator
// (the Linux root "/") gets no second one.
std::u16string JoinPath(std::u16string_view folder, std::u16string_view name);

// Removes every trailing separator (Windows also accepts '/'), except that
// the Linux root "/" stays "/". "C:\" becomes "C:".
std::u16string StripTrailingSeparators(std::u16string_view path);

#ifndef _WIN32
// The order NTFS lists a folder in, so a Linux scan meets names in the order
// a Windows scan of the same tree would: ordinal order of the names
// upper-cased one UTF-16 code unit at a time (simple Unicode mappings, no
// locale's collation), ties between names that upper-case alike broken by
// their own code units so the order never depends on the listing. Windows
// lists folders this way itself.
char16_t UpperCaseCodeUnit(char16_t c);
std::u16string UpperCaseForOrder(std::u16string_view name);
#endif

}  // namespace cs::platform
