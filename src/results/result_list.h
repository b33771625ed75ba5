// Filling the result rows from the scan results: folder section, file
// section, zero-byte section, with separator rows between the shown groups
// of a section. Every rebuild throws all rows away, so every row comes back
// unticked. Runs on the scan thread during a scan (through the engine's
// rebuild hook) and on the UI thread after it; it only talks to the rows.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/options.h"
#include "engine/scan.h"
#include "engine/scan_results.h"
#include "platform/path_info.h"
#include "results/list_text.h"
#include "results/rows.h"
#include "results/size_text.h"

namespace cs::results {

inline constexpr char16_t kFolderSizeText[] = u"N/A (Folder)";
inline constexpr char16_t kZeroSizeText[] = u"0 bytes";

RowData MakeItemRow(int group, int image, std::u16string_view path, std::u16string sizeText);
RowData MakeSeparatorRow(int group);

// Where the file sizes come from when the size criterion is off (the file
// is measured now, so a size that changed since the scan shows).
using SizeOfPath = uint64_t (*)(const std::u16string&);

template <RowList R>
void RebuildResultList(R& rows, const engine::ScanResults& results, uint32_t criteriaFlags,
                       SizeOfPath sizeOfPath = platform::FileSizeOfPath) {
    rows.SetRedraw(false);
    rows.DeleteAll();

    // Only groups of two or more members are held, so each one is shown.
    const auto folders = results.OrderedFolderGroups();
    for (size_t g = 0; g < folders.size(); ++g) {
        for (std::u16string_view path : engine::SplitPaths(folders[g]->paths))
            rows.Append(MakeItemRow(kFolderGroup, kFolderImage, path, kFolderSizeText));
        if (g + 1 < folders.size())
            rows.Append(MakeSeparatorRow(kFolderGroup));
    }

    const bool sizeKnown = (criteriaFlags & engine::CRIT_SAME_SIZE) != 0;
    const auto groups = results.OrderedMatchGroups();
    for (size_t g = 0; g < groups.size(); ++g) {
        for (std::u16string_view path : engine::SplitPaths(groups[g]->paths)) {
            const uint64_t size = sizeKnown ? groups[g]->size : sizeOfPath(std::u16string(path));
            rows.Append(MakeItemRow(kFileGroup, kFileImage, path, FormatSize(size)));
        }
        if (g + 1 < groups.size() || !results.zeroByteFiles.empty())
            rows.Append(MakeSeparatorRow(kFileGroup));
    }

    for (const std::u16string& path : results.zeroByteFiles)
        rows.Append(MakeItemRow(kZeroByteGroup, kFileImage, path, kZeroSizeText));

    rows.SetRedraw(true);
}

// The engine's rebuild hook filling `rows` as the scan goes; the rows must
// outlive the scan and be usable from the scan thread.
template <RowList R>
engine::ScanHooks RebuildHookFor(R& rows, uint32_t criteriaFlags) {
    engine::ScanHooks hooks;
    hooks.rebuild = [&rows, criteriaFlags](const engine::ScanResults& results) {
        RebuildResultList(rows, results, criteriaFlags);
    };
    return hooks;
}

}  // namespace cs::results
