// Name keys: the text that must be equal (ASCII case folded) for two files
// to match under a name criterion, and the key of a folder for folder-name
// groups. The copy-marker normalisation uses 16-bit PCRE2. NamePatterns is
// compiled once per scan run and then only read; one thread at a time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace cs::engine {

inline constexpr char16_t kFileNamePattern[] = u"^(.+?)( - .+| \\(\\d+\\).*)(\\.\\w+)$";
inline constexpr char16_t kFileNameReplacement[] = u"$1$3";
inline constexpr char16_t kFolderNamePattern[] = u"^(.+)( - \\w+| \\(\\d+\\).*)$";
inline constexpr char16_t kFolderNameReplacement[] = u"$1";

class NamePatterns {
public:
    NamePatterns() = default;
    ~NamePatterns();
    NamePatterns(const NamePatterns&) = delete;
    NamePatterns& operator=(const NamePatterns&) = delete;

    // Compiles whichever pattern is not compiled yet; a pattern that fails
    // stays absent and the names it would normalise keep their full text.
    void Compile();
    bool HasFilePattern() const { return filePattern_ != nullptr; }
    bool HasFolderPattern() const { return folderPattern_ != nullptr; }

    std::u16string NormaliseFileName(std::u16string_view name) const;
    std::u16string NormaliseFolderName(std::u16string_view name) const;

private:
    void* filePattern_ = nullptr;    // pcre2_code_16*
    void* folderPattern_ = nullptr;  // pcre2_code_16*
};

// Substitutes with the compiled pattern as the name-matching rules say:
// unchanged when the pattern is absent, does not match, or fails.
std::u16string Normalise(const void* pattern, std::u16string_view name,
                         std::u16string_view replacement);

// The file's name key under the active name criterion; empty when none.
std::u16string FileNameKey(uint32_t criteria, std::u16string_view name,
                           const NamePatterns& patterns);

}  // namespace cs::engine
