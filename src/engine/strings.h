// The engine's string helpers. Name comparisons fold only ASCII A-Z: two
// names that differ in any other letter's case are different names here.
// Pure functions; any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace cs::engine {

inline char16_t FoldAscii(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
}

// Copy of the text with ASCII A-Z lowered; equal folded texts are exactly
// the texts EqualsNoCase calls equal, so it can key a hash index.
std::u16string FoldAsciiCopy(std::u16string_view text);

bool EqualsNoCase(std::u16string_view a, std::u16string_view b);

// 1-based position of the occurrence-th match of needle at or after the
// 1-based start, or 0. A negative occurrence counts from the end (−1 is the
// last match). lengthLimit > 0 restricts the haystack to its first
// lengthLimit code units. Case-insensitive mode folds ASCII only.
size_t FindText(std::u16string_view haystack, std::u16string_view needle, bool caseSensitive,
                int occurrence = 1, size_t start = 1, size_t lengthLimit = 0);

// Every occurrence, left to right, without rescanning replaced text.
std::u16string ReplaceAll(std::u16string_view text, std::u16string_view find,
                          std::u16string_view replacement);

// Deletes every tab, line feed, carriage return and space.
std::u16string RemoveWhitespace(std::u16string_view text);

// The extension the type filter looks at: the text after the last "." at
// index 1 or later; empty when there is no such dot.
std::u16string_view ExtensionOf(std::u16string_view name);

// Text after the last separator of a path; a bare drive ("C:") is its own
// name.
std::u16string_view NameOfPath(std::u16string_view path, char16_t separator);

}  // namespace cs::engine
