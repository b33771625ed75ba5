// How often the calling thread has had to wait, to tell reads that wait on
// the disk from reads served by the cache. Any thread.
#pragma once

#include <cstdint>

namespace cs::platform {

// Number of times the calling thread has blocked of its own accord
// (voluntary context switches: waiting for the disk, among others); being
// preempted does not count. Always 0 where the system does not say.
uint64_t ThreadBlockCount();

}  // namespace cs::platform
