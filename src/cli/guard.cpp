#include "cli/guard.h"

#include <algorithm>
#include <string>

#include "platform/text.h"
#include "results/list_text.h"
#include "results/selection.h"

namespace cs::cli {
namespace {

// Whether `path` lies somewhere below `folder`.
bool IsInside(const std::u16string& path, const std::u16string& folder) {
    if (folder.empty() || path.size() <= folder.size())
        return false;
    std::u16string prefix = folder;
    if (prefix.back() != platform::kPathSeparator)
        prefix.push_back(platform::kPathSeparator);
    if (path.size() <= prefix.size())
        return false;
    const std::u16string_view head(path.data(), prefix.size());
    return results::SameFolder(head, prefix);
}

}  // namespace

std::vector<int32_t> RowsGuardingLastCopies(const results::MemoryRows& rows) {
    const int32_t count = rows.Count();
    std::vector<int32_t> tickedFolders;
    for (int32_t r = 0; r < count; ++r)
        if (rows.Group(r) == results::kFolderGroup && rows.StateImage(r) == results::kTicked)
            tickedFolders.push_back(r);

    std::vector<int32_t> guarded;
    int32_t runStart = -1;
    for (int32_t r = 0; r < count; ++r) {
        if (!results::IsItemRow(rows, r) || rows.Group(r) != results::kFileGroup)
            continue;
        if (runStart < 0)
            runStart = r;
        if (!results::EndsRun(rows, r, count))
            continue;
        // Rows runStart..r are one match group.
        bool everyCopyGoes = true;
        std::vector<int32_t> removers;  // what would take this group's members
        for (int32_t m = runStart; m <= r && everyCopyGoes; ++m) {
            if (rows.StateImage(m) == results::kTicked) {
                removers.push_back(m);
                continue;
            }
            const std::u16string path = rows.Text(m, results::kPathColumn);
            bool inside = false;
            for (int32_t f : tickedFolders) {
                if (IsInside(path, rows.Text(f, results::kPathColumn))) {
                    removers.push_back(f);
                    inside = true;
                }
            }
            everyCopyGoes = inside;
        }
        if (everyCopyGoes)
            guarded.insert(guarded.end(), removers.begin(), removers.end());
        runStart = -1;
    }
    std::sort(guarded.begin(), guarded.end());
    guarded.erase(std::unique(guarded.begin(), guarded.end()), guarded.end());
    return guarded;
}

}  // namespace cs::cli
