// Test seam of the Linux tree deletion: a function called right after the
// deletion has looked at an entry and found a folder, and right before it
// opens that folder. A test swaps the folder for a link there, which is the
// race the no-follow opens exist for. Never set in the program.
#pragma once

namespace cs::platform::posix {

using BeforeOpenFolderHook = void (*)(int parentFd, const char* name);
void SetBeforeOpenFolderHook(BeforeOpenFolderHook hook);

}  // namespace cs::platform::posix
