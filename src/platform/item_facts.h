// What one item on disk is, as far as removal must tell it apart from
// another: its identity and the facts that change when its contents do.
// Plain data; any thread.
#pragma once

#include <cstdint>

namespace cs::platform {

struct ItemFacts {
    uint64_t size = 0;  // 0 for folders
    // Last write in 100-nanosecond steps since 1601-01-01 UTC (FILETIME).
    uint64_t mtime = 0;
    // Linux: st_dev and st_ino. Windows: the volume serial number and the
    // 64-bit file id. Both zero when unknown.
    uint64_t device = 0;
    uint64_t inode = 0;
    bool isFolder = false;

    bool HasIdentity() const { return device != 0 || inode != 0; }
    bool SameIdentity(const ItemFacts& other) const {
        return HasIdentity() && device == other.device && inode == other.inode;
    }
};

}  // namespace cs::platform
