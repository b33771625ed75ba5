// The single place where Win32 error codes (GetLastError) become platform
// statuses. Any thread.
#pragma once

#include "platform/status.h"

namespace cs::platform {

// `error` is a DWORD from GetLastError; spelled as its underlying type so
// this header needs no <windows.h>.
Status StatusFromWin32Error(unsigned long error);

}  // namespace cs::platform
