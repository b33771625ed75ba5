// Plans: the ticked rows of a scan written down, to be checked and applied
// later. A plan carries what verified removal needs to judge each item
// again on its own: every member of each group concerned with the facts
// the scan saw (size, last write, identity), which members go and which
// stay, and the identity of every folder on the way to them, from the
// roots down. Nothing in a plan is trusted beyond that: it is a file
// anyone can edit, so applying it checks every item against the disk as a
// fresh removal would, and compares contents in full even where the plan
// says the scan compared them. Main thread only.
#pragma once

#include <string>
#include <vector>

#include "engine/options.h"
#include "engine/scan_results.h"

namespace cs::cli {

// The plan of the ticked paths. A group goes in when one of its members is
// ticked or lies below a ticked folder (a folder is judged by the copies of
// the files below it).
std::string FormatPlan(const engine::ScanOptions& options, const engine::ScanResults& results,
                       const std::vector<std::u16string>& roots,
                       const std::vector<std::u16string>& ticked);

// Why a plan cannot go to `path`, empty when it can: something that is not
// a regular file stands there (a FIFO, a device, a folder, a symbolic
// link). A plan is put in place by rename, which would replace that thing
// itself: the FIFO's reader or the device's users would lose it, and a
// link would go while its file kept the old plan.
std::string PlanTargetProblem(const std::u16string& path);

enum class PlanWrite { Written, Refused, Failed };

// Writes `text` to a temporary file of its own beside `path`, flushes it to
// the disk and renames it over `path`: a reader sees the old file or the
// whole new one, and a failure leaves neither a partial file nor the
// temporary one. Refused when PlanTargetProblem says so. `error` says why
// when not Written.
PlanWrite WriteFileAtomically(const std::u16string& path, const std::string& text,
                              std::string& error);

// Reads a plan back as scan results (groups, facts, roots, folders), the
// criteria it was made with and the paths it ticks. False with `error`
// saying what is wrong with the file.
bool ReadPlan(const std::u16string& path, engine::ScanOptions& options,
              engine::ScanResults& results, std::vector<std::u16string>& roots,
              std::vector<std::u16string>& ticked, std::string& error);

}  // namespace cs::cli
