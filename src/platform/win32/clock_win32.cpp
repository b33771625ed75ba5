#include "platform/clock.h"

namespace cs::platform {

// Windows keeps no per-thread count of voluntary waits that is cheap to
// read; without it the pool keeps to one reader per core.
uint64_t ThreadBlockCount() {
    return 0;
}

}  // namespace cs::platform
