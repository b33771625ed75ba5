// The command line's guard against removing the last copy: a script cannot
// look at the rows before they are removed, so when every member of a file
// match group would go (ticked itself, or inside a ticked folder that goes
// with it), that group's ticked rows and the ticked folders holding its
// members are left in place. Pure; one thread.
#pragma once

#include <cstdint>
#include <vector>

#include "results/memory_rows.h"

namespace cs::cli {

// The ticked rows to keep, in ascending order.
std::vector<int32_t> RowsGuardingLastCopies(const results::MemoryRows& rows);

}  // namespace cs::cli
