#include "engine/options.h"

#include "engine/strings.h"

namespace cs::engine {

namespace {

constexpr PresetRow kPresets[kPresetCount] = {
    {u"Match same size files having similar names (very fast)", true, NameChoice::Similar,
     ContentChoice::None},
    {u"Match same size files having the same exact names (very fast)", true, NameChoice::Exact,
     ContentChoice::None},
    {u"Match same size files having similar contents (fast)", true, NameChoice::None,
     ContentChoice::Similar},
    {u"Match same size files having the same exact contents (slow)", true, NameChoice::None,
     ContentChoice::Exact},
    {u"Match same size files having similar names and similar contents (fast)", true,
     NameChoice::Similar, ContentChoice::Similar},
    {u"Match same size files having the same file extensions (very fast)", true,
     NameChoice::Extension, ContentChoice::None},
    {u"Match same size files having the same file extensions and similar contents (fast)", true,
     NameChoice::Extension, ContentChoice::Similar},
    {u"Match same size files having the same exact contents (slow)", true, NameChoice::None,
     ContentChoice::Exact},
    {u"Match files having similar names (very fast)", false, NameChoice::Similar,
     ContentChoice::None},
    {u"Match files having the same exact names (very fast)", false, NameChoice::Exact,
     ContentChoice::None},
    {u"Match files having similar contents (fast)", false, NameChoice::None,
     ContentChoice::Similar},
    {u"Match same size files (very fast)", true, NameChoice::None, ContentChoice::None},
};

struct FlagRule {
    uint32_t mask;
    uint32_t value;
    int row;
};

// Row 8 repeats row 4 and is deliberately absent: row 4 always wins.
constexpr FlagRule kFlagRules[] = {
    {0x0D4, 0x014, 1},  {0x0CC, 0x00C, 2},  {0x0BC, 0x084, 3},  {0x07C, 0x044, 4},
    {0x094, 0x094, 5},  {0x0E4, 0x024, 6},  {0x0A4, 0x0A4, 7},  {0x0D4, 0x010, 9},
    {0x0CC, 0x008, 10}, {0x0BC, 0x080, 11}, {0x0FC, 0x004, 12},
};

constexpr std::u16string_view kTypeLists[kFileTypeCount] = {
    u"jpg|jpeg|jfif|pjpeg|pjp|bmp|png|apng|avif|tif|tiff|gif|svg|webp|",
    u"mov|avi|mp4|mpg|flv|mkv|rm|swf|qt|ogm|f4v|fbr|dvr-ms|divx|asf|asx|3g2|3gp|wmv|",
    u"mp3|wwa|flac|ogg|opus|wav|m3a|ape|mpc|tta|wv|",
    u"pdf|xps|",
    u"txt|doc|docx|pub|pps|ppt|pptx|xls|xlsx|rtf|odt|ods|odp|odg|odf|odb|odm|",
};

constexpr std::u16string_view kTypeLabels[kFileTypeCount] = {
    u"Pictures", u"Videos", u"Music", u"PDF/XPS", u"Documents",
};

}  // namespace

const PresetRow& Preset(int row) {
    if (row < 1)
        row = 1;
    if (row > kPresetCount)
        row = kPresetCount;
    return kPresets[row - 1];
}

std::u16string PresetListText() {
    std::u16string text;
    for (int i = 0; i < kPresetCount; ++i) {
        if (i)
            text += u'\n';
        text += kPresets[i].text;
    }
    return text;
}

int FlagsToPresetRow(uint32_t flags) {
    for (const FlagRule& rule : kFlagRules) {
        if ((flags & rule.mask) == rule.value)
            return rule.row;
    }
    return 0;
}

int ControlsToPresetRow(bool sameSize, NameChoice names, ContentChoice contents) {
    for (int row = 1; row <= kPresetCount; ++row) {
        if (row == 8)
            continue;  // the same line as row 4, which is met first
        const PresetRow& p = kPresets[row - 1];
        if (p.sameSize == sameSize && p.names == names && p.contents == contents)
            return row;
    }
    return 0;
}

std::u16string_view TypeExtensionList(FileType type) {
    return kTypeLists[static_cast<int>(type)];
}

std::u16string_view TypeLabel(FileType type) {
    return kTypeLabels[static_cast<int>(type)];
}

uint32_t BuildCriteriaFlags(const SetupChoices& c) {
    uint32_t flags = 0;
    if (c.recursive)
        flags |= CRIT_RECURSIVE;
    if (c.similarFolders)
        flags |= CRIT_SIMILAR_FOLDERS;
    if (c.sameSize)
        flags |= CRIT_SAME_SIZE;
    switch (c.names) {
        case NameChoice::Exact:
            flags |= CRIT_EXACT_NAME;
            break;
        case NameChoice::Similar:
            flags |= CRIT_SIMILAR_NAME;
            break;
        case NameChoice::Extension:
            flags |= CRIT_SAME_EXTENSION;
            break;
        case NameChoice::None:
            break;
    }
    switch (c.contents) {
        case ContentChoice::Exact:
            flags |= CRIT_EXACT_CONTENTS;
            break;
        case ContentChoice::Similar:
            flags |= CRIT_SIMILAR_CONTENTS;
            break;
        case ContentChoice::None:
            break;
    }
    if (c.listZeroByte)
        flags |= CRIT_LIST_ZERO_BYTE;
    return flags;
}

std::u16string BuildExtensionFilter(const SetupChoices& c) {
    std::u16string text = RemoveWhitespace(c.additionalExtensions);
    text = ReplaceAll(text, u",", u"|");
    text = ReplaceAll(text, u".", u"");
    std::u16string filter;
    if (!text.empty()) {
        filter.reserve(text.size() + 2);
        filter += u'|';
        filter += text;
        filter += u'|';
    }
    if (!filter.empty() || !c.allFiles) {
        if (filter.empty())
            filter.push_back(u'|');
        for (int i = 0; i < kFileTypeCount; ++i) {
            if (c.types[i])
                filter += kTypeLists[i];
        }
    }
    return filter;
}

void ApplyPreset(int row, SetupChoices& choices) {
    if (row < 1 || row > kPresetCount)
        return;
    const PresetRow& p = kPresets[row - 1];
    choices.sameSize = p.sameSize;
    choices.names = p.names;
    choices.contents = p.contents;
}

SetupChoices ChoicesFromFlags(uint32_t flags) {
    SetupChoices c;
    c.recursive = flags & CRIT_RECURSIVE;
    c.similarFolders = flags & CRIT_SIMILAR_FOLDERS;
    c.sameSize = flags & CRIT_SAME_SIZE;
    if (flags & CRIT_SIMILAR_NAME) {
        c.names = NameChoice::Similar;
    } else if (flags & CRIT_EXACT_NAME) {
        c.names = NameChoice::Exact;
    } else if (flags & CRIT_SAME_EXTENSION) {
        c.names = NameChoice::Extension;
    } else {
        c.names = NameChoice::None;
    }
    if (flags & CRIT_SIMILAR_CONTENTS) {
        c.contents = ContentChoice::Similar;
    } else if (flags & CRIT_EXACT_CONTENTS) {
        c.contents = ContentChoice::Exact;
    } else {
        c.contents = ContentChoice::None;
    }
    c.listZeroByte = flags & CRIT_LIST_ZERO_BYTE;
    return c;
}

}  // namespace cs::engine
