// Text rules of the commands that work on the result list: comparisons
// that fold every character through `towlower` (the engine folds only
// A to Z), the parent folder of a row's path, and the name shown for a
// path. Pure; any thread.
#pragma once

#include <string>
#include <string_view>

namespace cs::results {

char16_t LowerChar(char16_t c);

// Case-insensitive, one UTF-16 unit at a time after `towlower`.
bool EqualsLowered(std::u16string_view a, std::u16string_view b);
// For texts of equal length: true when the first differing lowered unit of
// `a` is lower than that of `b`.
bool LessLowered(std::u16string_view a, std::u16string_view b);
// Whether `pattern` occurs in `text`, compared as above; an empty pattern
// occurs everywhere.
bool ContainsLowered(std::u16string_view text, std::u16string_view pattern);

// The parent folder as the selection commands compute it: trailing
// separators dropped, then the text before the last separator when that
// separator is past the second character ("C:\a.txt" -> "C:"). A Linux
// path directly below the root has the root "/" as parent.
std::u16string ParentFolder(std::u16string_view path);

// Whether two folder paths name the same folder for the folder rules.
// Windows folds case through `towlower` (its file systems ignore case);
// Linux compares exactly, because there "Photos" and "photos" are two
// different folders and ticking the wrong one's files would delete them.
bool SameFolder(std::u16string_view a, std::u16string_view b);

// Column 1 of a row: the text after the last separator; a bare drive
// ("C:") is its own name.
std::u16string NameForPath(std::u16string_view path);

}  // namespace cs::results
