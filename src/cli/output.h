// What clonesifter-cli prints: the result list's three sections as text,
// or one JSON object. Text is UTF-8; a Linux name byte that is not valid
// UTF-8 is written back as that same byte in text, and as the escape of
// the lone surrogate the engine holds for it (\udcXX) in JSON.
#pragma once

#include <string>

#include <vector>

#include "engine/options.h"
#include "engine/scan_results.h"
#include "results/memory_rows.h"

namespace cs::cli {

std::string JsonString(std::u16string_view text);

// The rows as text: a header per section, a blank line where a separator
// row stands, one line per item: path, name and size text separated by
// tabs, and a fourth field "ticked" on ticked rows.
std::string FormatRows(const results::MemoryRows& rows);

// What a removal did, for the JSON document.
struct RemovalSummary {
    const char* mode = "";
    bool dryRun = false;
    int32_t removed = 0;
    int32_t failures = 0;
    std::u16string report;
    int32_t unverified = 0;
    std::vector<std::u16string> notRemoved;
    std::vector<std::string> reasons;  // one per notRemoved path
    std::vector<std::u16string> keptAsLastCopies;
};

// `ticked` lists the ticked rows' paths in row order (before any removal);
// `removal` is null when nothing was to be removed.
std::string FormatJson(const engine::ScanOptions& options, const engine::ScanResults& results,
                       bool cancelled, const std::vector<std::u16string>& ticked,
                       const RemovalSummary* removal);

}  // namespace cs::cli
