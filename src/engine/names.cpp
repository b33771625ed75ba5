#include "engine/names.h"

#include <pcre2.h>

#include <vector>

#include "engine/options.h"
#include "engine/strings.h"

namespace cs::engine {

namespace {

static_assert(sizeof(PCRE2_UCHAR16) == sizeof(char16_t));

const PCRE2_UCHAR16* Units(const char16_t* text) {
    return reinterpret_cast<const PCRE2_UCHAR16*>(text);
}

pcre2_code_16* CompilePattern(const char16_t* pattern) {
    int error = 0;
    PCRE2_SIZE offset = 0;
    return pcre2_compile_16(Units(pattern), PCRE2_ZERO_TERMINATED, PCRE2_CASELESS, &error, &offset,
                            nullptr);
}

}  // namespace

NamePatterns::~NamePatterns() {
    pcre2_code_free_16(static_cast<pcre2_code_16*>(filePattern_));
    pcre2_code_free_16(static_cast<pcre2_code_16*>(folderPattern_));
}

void NamePatterns::Compile() {
    if (!filePattern_)
        filePattern_ = CompilePattern(kFileNamePattern);
    if (!folderPattern_)
        folderPattern_ = CompilePattern(kFolderNamePattern);
}

std::u16string Normalise(const void* patternHandle, std::u16string_view name,
                         std::u16string_view replacement) {
    std::u16string key(name);
    const auto* pattern = static_cast<const pcre2_code_16*>(patternHandle);
    if (!pattern)
        return key;

    pcre2_match_data_16* match = pcre2_match_data_create_from_pattern_16(pattern, nullptr);
    if (!match)
        return key;
    const int matched =
        pcre2_match_16(pattern, Units(key.c_str()), key.size(), 0, 0, match, nullptr);
    pcre2_match_data_free_16(match);
    if (matched <= 0)
        return key;

    // The replacement is measured, not zero-terminated, so a name holding a
    // NUL code unit (impossible on disk, possible in a test) is still whole.
    size_t factor = 2;
    for (;;) {
        PCRE2_SIZE outLength = factor * key.size() + 2;
        std::vector<PCRE2_UCHAR16> out(outLength);
        pcre2_match_data_16* data = pcre2_match_data_create_from_pattern_16(pattern, nullptr);
        if (!data)
            return key;
        const int result = pcre2_substitute_16(
            pattern, Units(key.c_str()), key.size(), 0, PCRE2_SUBSTITUTE_GLOBAL, data, nullptr,
            Units(std::u16string(replacement).c_str()), replacement.size(), out.data(), &outLength);
        pcre2_match_data_free_16(data);
        if (result == PCRE2_ERROR_NOMEMORY) {
            factor *= 2;
            continue;
        }
        if (result > 0) {
            return std::u16string(reinterpret_cast<const char16_t*>(out.data()), outLength);
        }
        return key;
    }
}

std::u16string NamePatterns::NormaliseFileName(std::u16string_view name) const {
    return Normalise(filePattern_, name, kFileNameReplacement);
}

std::u16string NamePatterns::NormaliseFolderName(std::u16string_view name) const {
    return Normalise(folderPattern_, name, kFolderNameReplacement);
}

std::u16string FileNameKey(uint32_t criteria, std::u16string_view name,
                           const NamePatterns& patterns) {
    if (criteria & CRIT_EXACT_NAME)
        return std::u16string(name);
    if (criteria & CRIT_SIMILAR_NAME)
        return patterns.NormaliseFileName(name);
    if (criteria & CRIT_SAME_EXTENSION) {
        const size_t dot = name.rfind(u'.');
        if (dot == std::u16string_view::npos || dot == 0)
            return {};
        return std::u16string(name.substr(dot));
    }
    return {};
}

}  // namespace cs::engine
