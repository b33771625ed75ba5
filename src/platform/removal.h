// What a thread needs before it removes items through the checked removal
// (checked_removal.h), on the platforms where it needs anything.
#pragma once

namespace cs::platform {

// Prepares the calling thread for the removal functions for its lifetime
// (Windows: COM for the shell's recycle operation, and the recycle bins
// found serving are forgotten at its end; nothing on Linux).
class RemovalThreadScope {
public:
    RemovalThreadScope();
    ~RemovalThreadScope();
    RemovalThreadScope(const RemovalThreadScope&) = delete;
    RemovalThreadScope& operator=(const RemovalThreadScope&) = delete;

private:
    bool initialised_ = false;
};

}  // namespace cs::platform
