// Presets, the two preset-row rules, and the flags and type filter built
// from the setup choices.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/options.h"

namespace cs::engine {
namespace {

struct ExpectedRow {
    bool sameSize;
    NameChoice names;
    ContentChoice contents;
    uint32_t flags;
};

// The preset table as the setup window documents it, rows 1..12.
const ExpectedRow kRows[kPresetCount] = {
    {true, NameChoice::Similar, ContentChoice::None, 0x014},
    {true, NameChoice::Exact, ContentChoice::None, 0x00C},
    {true, NameChoice::None, ContentChoice::Similar, 0x084},
    {true, NameChoice::None, ContentChoice::Exact, 0x044},
    {true, NameChoice::Similar, ContentChoice::Similar, 0x094},
    {true, NameChoice::Extension, ContentChoice::None, 0x024},
    {true, NameChoice::Extension, ContentChoice::Similar, 0x0A4},
    {true, NameChoice::None, ContentChoice::Exact, 0x044},
    {false, NameChoice::Similar, ContentChoice::None, 0x010},
    {false, NameChoice::Exact, ContentChoice::None, 0x008},
    {false, NameChoice::None, ContentChoice::Similar, 0x080},
    {true, NameChoice::None, ContentChoice::None, 0x004},
};

const NameChoice kNames[] = {NameChoice::Similar, NameChoice::Exact, NameChoice::Extension,
                             NameChoice::None};
const ContentChoice kContents[] = {ContentChoice::Similar, ContentChoice::Exact,
                                   ContentChoice::None};

std::vector<std::u16string> SplitLines(const std::u16string& text) {
    std::vector<std::u16string> out;
    size_t start = 0;
    for (;;) {
        const size_t nl = text.find(u'\n', start);
        out.push_back(text.substr(start, nl == std::u16string::npos ? nl : nl - start));
        if (nl == std::u16string::npos)
            return out;
        start = nl + 1;
    }
}

TEST(Presets, TableRowsCarryTheDocumentedChoicesAndTexts) {
    for (int row = 1; row <= kPresetCount; ++row) {
        SCOPED_TRACE(row);
        const PresetRow& p = Preset(row);
        EXPECT_EQ(p.sameSize, kRows[row - 1].sameSize);
        EXPECT_EQ(p.names, kRows[row - 1].names);
        EXPECT_EQ(p.contents, kRows[row - 1].contents);
    }
    EXPECT_EQ(std::u16string(Preset(1).text),
              u"Match same size files having similar names (very fast)");
    EXPECT_EQ(std::u16string(Preset(12).text), u"Match same size files (very fast)");

    const std::vector<std::u16string> lines = SplitLines(PresetListText());
    ASSERT_EQ(lines.size(), 12u);
    for (int row = 1; row <= kPresetCount; ++row) {
        EXPECT_EQ(lines[row - 1], std::u16string(Preset(row).text)) << "row " << row;
    }
    EXPECT_EQ(lines[3], lines[7]);  // rows 4 and 8 share their text
}

TEST(Presets, StartupFlagsShowRowOne) {
    EXPECT_EQ(kStartupCriteria, 0x015u);
    EXPECT_EQ(FlagsToPresetRow(0x015), 1);
    // Recursion, folder names and zero-byte listing are not part of a preset.
    EXPECT_EQ(FlagsToPresetRow(0x014), 1);
    EXPECT_EQ(FlagsToPresetRow(0x117), 1);
}

TEST(Presets, ExactContentsWithSizeShowsRowFourNeverEight) {
    EXPECT_EQ(FlagsToPresetRow(0x044), 4);
    EXPECT_EQ(FlagsToPresetRow(0x045), 4);
    EXPECT_EQ(FlagsToPresetRow(0x147), 4);
    EXPECT_EQ(ControlsToPresetRow(true, NameChoice::None, ContentChoice::Exact), 4);
}

TEST(Presets, EveryRowMapsBackToItselfExceptEightToFour) {
    for (int row = 1; row <= kPresetCount; ++row) {
        SCOPED_TRACE(row);
        const int expected = row == 8 ? 4 : row;
        EXPECT_EQ(FlagsToPresetRow(kRows[row - 1].flags), expected);
        EXPECT_EQ(FlagsToPresetRow(kRows[row - 1].flags | CRIT_RECURSIVE | CRIT_LIST_ZERO_BYTE),
                  expected);

        SetupChoices c;
        ApplyPreset(row, c);
        EXPECT_EQ(BuildCriteriaFlags(c), kRows[row - 1].flags | CRIT_RECURSIVE);
        EXPECT_EQ(ControlsToPresetRow(c.sameSize, c.names, c.contents), expected);
    }
}

TEST(Presets, ApplyingARowTouchesOnlySizeAndTheRadios) {
    SetupChoices c;
    c.recursive = false;
    c.similarFolders = true;
    c.listZeroByte = true;
    c.allFiles = false;
    c.types[2] = true;
    c.additionalExtensions = u"raw";
    ApplyPreset(11, c);
    EXPECT_FALSE(c.sameSize);
    EXPECT_EQ(c.names, NameChoice::None);
    EXPECT_EQ(c.contents, ContentChoice::Similar);
    EXPECT_FALSE(c.recursive);
    EXPECT_TRUE(c.similarFolders);
    EXPECT_TRUE(c.listZeroByte);
    EXPECT_FALSE(c.allFiles);
    EXPECT_TRUE(c.types[2]);
    EXPECT_EQ(c.additionalExtensions, u"raw");
}

// For every flag set the setup window can produce, the flags rule and the
// controls rule must name the same row (they are two views of one table),
// row 8 never comes out, and the thirteen combinations that are not a
// preset give no row at all.
TEST(Presets, FlagsRuleAndControlsRuleAgreeOnEveryCombination) {
    int noRow = 0;
    for (bool size : {false, true}) {
        for (NameChoice n : kNames) {
            for (ContentChoice c : kContents) {
                SetupChoices choices;
                choices.sameSize = size;
                choices.names = n;
                choices.contents = c;
                choices.recursive = false;
                const uint32_t base = BuildCriteriaFlags(choices);
                const int byControls = ControlsToPresetRow(size, n, c);
                SCOPED_TRACE(testing::Message() << "flags 0x" << std::hex << base);
                EXPECT_NE(byControls, 8);
                if (byControls == 0)
                    ++noRow;

                int expected = 0;
                for (int row = 1; row <= kPresetCount && expected == 0; ++row) {
                    if (row == 8)
                        continue;
                    const ExpectedRow& r = kRows[row - 1];
                    if (r.sameSize == size && r.names == n && r.contents == c)
                        expected = row;
                }
                EXPECT_EQ(byControls, expected);
                for (uint32_t extra : {0x000u, 0x001u, 0x002u, 0x100u, 0x103u}) {
                    EXPECT_EQ(FlagsToPresetRow(base | extra), expected) << "extra " << extra;
                }
            }
        }
    }
    EXPECT_EQ(noRow, 13);
}

TEST(Presets, FlagsMatchingNoRowGiveNone) {
    EXPECT_EQ(FlagsToPresetRow(0x000), 0);
    EXPECT_EQ(FlagsToPresetRow(0x001), 0);
    EXPECT_EQ(FlagsToPresetRow(0x020), 0);  // extension alone, no size
    EXPECT_EQ(FlagsToPresetRow(0x048), 0);  // exact names and contents, no size
    EXPECT_EQ(FlagsToPresetRow(0x054), 0);  // size, similar names, exact contents
    EXPECT_EQ(FlagsToPresetRow(0x064), 0);  // size, extension, exact contents
    EXPECT_EQ(ControlsToPresetRow(false, NameChoice::None, ContentChoice::None), 0);
    EXPECT_EQ(ControlsToPresetRow(false, NameChoice::None, ContentChoice::Exact), 0);
    EXPECT_EQ(ControlsToPresetRow(true, NameChoice::Exact, ContentChoice::Similar), 0);
}

TEST(Options, CriteriaFlagsFromChoices) {
    SetupChoices c;
    EXPECT_EQ(BuildCriteriaFlags(c), kStartupCriteria);  // the defaults are the start-up flags

    SetupChoices all;
    all.recursive = true;
    all.similarFolders = true;
    all.sameSize = true;
    all.names = NameChoice::Extension;
    all.contents = ContentChoice::Exact;
    all.listZeroByte = true;
    EXPECT_EQ(BuildCriteriaFlags(all), 0x167u);

    SetupChoices none;
    none.recursive = false;
    none.sameSize = false;
    none.names = NameChoice::None;
    none.contents = ContentChoice::None;
    EXPECT_EQ(BuildCriteriaFlags(none), 0u);

    SetupChoices mixed = none;
    mixed.names = NameChoice::Exact;
    mixed.contents = ContentChoice::Similar;
    mixed.similarFolders = true;
    EXPECT_EQ(BuildCriteriaFlags(mixed), 0x08Au);
}

TEST(Options, ChoicesFromFlagsRoundTripsEveryValidFlagSet) {
    const uint32_t nameBits[] = {0, 0x008, 0x010, 0x020};
    const uint32_t contentBits[] = {0, 0x040, 0x080};
    int checked = 0;
    for (uint32_t other = 0; other < 16; ++other) {
        const uint32_t loose = (other & 1 ? 0x001u : 0u) | (other & 2 ? 0x002u : 0u) |
                               (other & 4 ? 0x004u : 0u) | (other & 8 ? 0x100u : 0u);
        for (uint32_t n : nameBits) {
            for (uint32_t c : contentBits) {
                const uint32_t flags = loose | n | c;
                EXPECT_EQ(BuildCriteriaFlags(ChoicesFromFlags(flags)), flags)
                    << "flags 0x" << std::hex << flags;
                ++checked;
            }
        }
    }
    EXPECT_EQ(checked, 192);
}

const std::u16string kPictures =
    u"jpg|jpeg|jfif|pjpeg|pjp|bmp|png|apng|avif|tif|tiff|gif|svg|webp|";
const std::u16string kVideos =
    u"mov|avi|mp4|mpg|flv|mkv|rm|swf|qt|ogm|f4v|fbr|dvr-ms|divx|asf|asx|3g2|3gp|wmv|";
const std::u16string kMusic = u"mp3|wwa|flac|ogg|opus|wav|m3a|ape|mpc|tta|wv|";
const std::u16string kPdf = u"pdf|xps|";
const std::u16string kDocuments =
    u"txt|doc|docx|pub|pps|ppt|pptx|xls|xlsx|rtf|odt|ods|odp|odg|odf|odb|odm|";

TEST(ExtensionFilter, TypeListsAreTheDocumentedLiterals) {
    EXPECT_EQ(TypeExtensionList(FileType::Pictures), kPictures);
    EXPECT_EQ(TypeExtensionList(FileType::Videos), kVideos);
    EXPECT_EQ(TypeExtensionList(FileType::Music), kMusic);
    EXPECT_EQ(TypeExtensionList(FileType::PdfXps), kPdf);
    EXPECT_EQ(TypeExtensionList(FileType::Documents), kDocuments);
    EXPECT_EQ(TypeLabel(FileType::PdfXps), u"PDF/XPS");
}

SetupChoices WithText(std::u16string text, bool allFiles = true) {
    SetupChoices c;
    c.additionalExtensions = std::move(text);
    c.allFiles = allFiles;
    return c;
}

TEST(ExtensionFilter, LoneCommaAdmitsOnlyFilesWithoutExtension) {
    EXPECT_EQ(BuildExtensionFilter(WithText(u",")), u"|||");
    EXPECT_EQ(BuildExtensionFilter(WithText(u" , ")), u"|||");
    SetupChoices c = WithText(u" ,", false);
    c.types[static_cast<int>(FileType::Pictures)] = true;
    EXPECT_EQ(BuildExtensionFilter(c), u"|||" + kPictures);
}

TEST(ExtensionFilter, TypedExtensionsLoseSpacesAndDotsAndKeepTheirCase) {
    SetupChoices c = WithText(u" Raw, .NEF", false);
    c.types[static_cast<int>(FileType::Pictures)] = true;
    EXPECT_EQ(BuildExtensionFilter(c), u"|Raw|NEF|" + kPictures);

    // Typed text makes the type lists count even with "All files" checked.
    SetupChoices d = WithText(u"raw");
    d.types[static_cast<int>(FileType::Music)] = true;
    EXPECT_EQ(BuildExtensionFilter(d), u"|raw|" + kMusic);

    EXPECT_EQ(BuildExtensionFilter(WithText(u"\tjpg,\r\npng \n")), u"|jpg|png|");
    EXPECT_EQ(BuildExtensionFilter(WithText(u"a,,b")), u"|a||b|");
    EXPECT_EQ(BuildExtensionFilter(WithText(u"tar.gz")), u"|targz|");
}

TEST(ExtensionFilter, AllFilesWithoutTextScansEverything) {
    EXPECT_EQ(BuildExtensionFilter(WithText(u"")), u"");
    EXPECT_EQ(BuildExtensionFilter(WithText(u" \t\r\n")), u"");
    // The type boxes only count once "All files" is off or text was typed.
    SetupChoices c = WithText(u"");
    c.types[static_cast<int>(FileType::Videos)] = true;
    EXPECT_EQ(BuildExtensionFilter(c), u"");
}

TEST(ExtensionFilter, TickedTypesWithoutTextStartWithOneBarInFixedOrder) {
    SetupChoices c = WithText(u"", false);
    c.types[static_cast<int>(FileType::Music)] = true;
    EXPECT_EQ(BuildExtensionFilter(c), u"|" + kMusic);

    SetupChoices all = WithText(u"", false);
    for (bool& t : all.types)
        t = true;
    EXPECT_EQ(BuildExtensionFilter(all), u"|" + kPictures + kVideos + kMusic + kPdf + kDocuments);

    SetupChoices two = WithText(u"", false);
    two.types[static_cast<int>(FileType::Documents)] = true;
    two.types[static_cast<int>(FileType::Pictures)] = true;
    EXPECT_EQ(BuildExtensionFilter(two), u"|" + kPictures + kDocuments);

    // "All files" off and nothing ticked: a filter that admits nothing.
    EXPECT_EQ(BuildExtensionFilter(WithText(u"", false)), u"|");
}

}  // namespace
}  // namespace cs::engine
