#include <objbase.h>
#include <windows.h>

#include "platform/removal.h"
#include "platform/win32/removal_win32.h"

namespace cs::platform {

// The shell's recycle operation is a COM client; the removal thread joins a
// single-threaded apartment for as long as it runs.
RemovalThreadScope::RemovalThreadScope() : initialised_(SUCCEEDED(CoInitialize(nullptr))) {}

RemovalThreadScope::~RemovalThreadScope() {
    win32::ForgetServedRecycleBins();
    if (initialised_)
        CoUninitialize();
}

}  // namespace cs::platform
