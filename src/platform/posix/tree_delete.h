// The Linux tree deletion and the trash call, the last steps of the checked
// removal. Any thread.
#pragma once

#include <sys/types.h>

#include <string>

namespace cs::platform::posix {

// Deletes the entry `name` of the open folder `parentFd`; a folder as a
// whole tree of the entries matching `mask`, never following a link and
// never entering a folder whose device is not `device` (such a folder and
// the folders holding it stay, and `otherDevice` is set). True when
// everything matched is gone.
bool DeleteTreeAt(int parentFd, const char* name, const char* mask, dev_t device,
                  bool& otherDevice);

// Hands a path to the desktop trash. True when the trash took it or
// nothing was there.
bool TrashNativePath(const std::string& path);

}  // namespace cs::platform::posix
