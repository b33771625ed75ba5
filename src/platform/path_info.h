// Facts about a path that the result list shows after the scan, read fresh
// from the file system. Any thread.
#pragma once

#include <cstdint>
#include <string>

namespace cs::platform {

// The size of the file now; 0 when it cannot be found out. Works on a file
// that another program holds open (no sharing is refused).
uint64_t FileSizeOfPath(const std::u16string& path);

// The last-write time of a file or folder in 100-nanosecond steps since
// 1601-01-01 UTC (the Windows FILETIME scale, so both platforms order times
// alike); 0 when it cannot be read, which makes such an item the oldest.
// Does not follow a final symbolic link on Linux.
uint64_t FileLastWriteTime(const std::u16string& path);

}  // namespace cs::platform
