// Size texts of the result list: steps of 1024, at most two decimals, cut
// and never rounded ("1.46 KB" for 1,500 bytes). Pure; any thread.
#pragma once

#include <cstdint>
#include <string>

namespace cs::results {

std::u16string FormatDecimal(double value);
std::u16string FormatSize(uint64_t size);

}  // namespace cs::results
