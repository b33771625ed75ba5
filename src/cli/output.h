// What clonesifter-cli prints: the result list's three sections as text,
// or one JSON object. Text is UTF-8; a Linux name byte that is not valid
// UTF-8 is written back as that same byte in text, and as the escape of
// the lone surrogate the engine holds for it (\udcXX) in JSON.
#pragma once

#include <string>

#include "engine/options.h"
#include "engine/scan_results.h"

namespace cs::cli {

std::string JsonString(std::u16string_view text);

std::string FormatText(const engine::ScanOptions& options, const engine::ScanResults& results);
std::string FormatJson(const engine::ScanOptions& options, const engine::ScanResults& results,
                       bool cancelled);

}  // namespace cs::cli
