// The sentence the user reads when a removal has ended, the same in the
// desktop program and on the command line. The removal itself is the
// verified one (verify.h): VerifyTicked, then RemoveVerifiedItems.
#pragma once

#include <cstdint>
#include <string>

namespace cs::removal {

std::u16string RemovalReport(int32_t failures);

}  // namespace cs::removal
