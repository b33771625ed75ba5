// What one scan looks for: the criteria flags, the root folder and the
// extension filter, plus the preset table and the rules that turn the setup
// choices into flags and filter. Plain data in and out, so the setup window
// and the command line share one implementation. No state; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/walk_filter.h"

namespace cs::engine {

enum CriteriaFlag : uint32_t {
    CRIT_RECURSIVE = 0x001,
    CRIT_SIMILAR_FOLDERS = 0x002,
    CRIT_SAME_SIZE = 0x004,
    CRIT_EXACT_NAME = 0x008,
    CRIT_SIMILAR_NAME = 0x010,
    CRIT_SAME_EXTENSION = 0x020,
    CRIT_EXACT_CONTENTS = 0x040,
    CRIT_SIMILAR_CONTENTS = 0x080,
    CRIT_LIST_ZERO_BYTE = 0x100,
};

inline constexpr uint32_t kNameCriteria = 0x038;
inline constexpr uint32_t kContentCriteria = 0x0C0;
inline constexpr uint32_t kStartupCriteria = 0x015;

struct ScanOptions {
    uint32_t criteria = kStartupCriteria;
    std::u16string rootPath;         // no trailing separator ("C:", Linux "/")
    std::u16string extensionFilter;  // "" or "|ext|ext|..."
    // Walked after rootPath, in this order, into the same results; a root
    // met again (itself or below another root) is listed once.
    std::vector<std::u16string> moreRoots;
    WalkFilter filter;
};

// The three radio groups of the setup window.
enum class NameChoice { Similar, Exact, Extension, None };
enum class ContentChoice { Similar, Exact, None };

struct PresetRow {
    const char16_t* text;
    bool sameSize;
    NameChoice names;
    ContentChoice contents;
};

inline constexpr int kPresetCount = 12;
// Rows 1..12; index 0 is row 1.
const PresetRow& Preset(int row);
// The twelve preset texts joined by "\n", as the drop-down list is filled.
std::u16string PresetListText();

// Which row the flags correspond to when the setup window opens; 0 = none.
int FlagsToPresetRow(uint32_t flags);
// Which row the control states correspond to; 0 = none. Never row 8.
int ControlsToPresetRow(bool sameSize, NameChoice names, ContentChoice contents);

enum class FileType { Pictures, Videos, Music, PdfXps, Documents };
inline constexpr int kFileTypeCount = 5;
// The literal list of a type, each entry followed by "|", no leading bar.
std::u16string_view TypeExtensionList(FileType type);
// Label of the type's check box ("Pictures", ..., "PDF/XPS", "Documents").
std::u16string_view TypeLabel(FileType type);

// Everything the setup window lets the user choose, as plain data.
struct SetupChoices {
    bool recursive = true;
    bool similarFolders = false;
    bool sameSize = true;
    NameChoice names = NameChoice::Similar;
    ContentChoice contents = ContentChoice::None;
    bool allFiles = true;
    bool types[kFileTypeCount] = {false, false, false, false, false};
    std::u16string additionalExtensions;
    bool listZeroByte = false;
};

uint32_t BuildCriteriaFlags(const SetupChoices& choices);
std::u16string BuildExtensionFilter(const SetupChoices& choices);

// Applies a preset row (1..12) to the choices: size box and both radios.
void ApplyPreset(int row, SetupChoices& choices);
// The choices the setup window shows for given flags.
SetupChoices ChoicesFromFlags(uint32_t flags);

}  // namespace cs::engine
