#include <sys/resource.h>

#include "platform/clock.h"

namespace cs::platform {

uint64_t ThreadBlockCount() {
    rusage usage{};
    if (getrusage(RUSAGE_THREAD, &usage) != 0)
        return 0;
    return static_cast<uint64_t>(usage.ru_nvcsw);
}

}  // namespace cs::platform
