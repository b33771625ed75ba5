// Shared libraries loaded the first time they are needed rather than at
// start-up. libcrypto (digests, which a scan only takes in rare cases) and
// GIO (the trash) cost some 3 MiB of memory each merely by being linked,
// more than the rest of a scan of a small tree. Any thread.
#pragma once

#include <dlfcn.h>

#include <cstring>
#include <initializer_list>

namespace cs::platform::posix {

// The first of `names` that loads; null when none does. Never unloaded.
inline void* LoadLibrary(std::initializer_list<const char*> names) {
    for (const char* name : names) {
        if (void* library = dlopen(name, RTLD_NOW | RTLD_LOCAL))
            return library;
    }
    return nullptr;
}

// Sets `function` to the symbol `name` of `library`; false when missing.
template <typename Function>
bool Resolve(void* library, const char* name, Function& function) {
    void* symbol = library ? dlsym(library, name) : nullptr;
    // A data pointer becomes a function pointer through its bytes: POSIX
    // guarantees they are the same, the language only "conditionally".
    static_assert(sizeof(symbol) == sizeof(function));
    std::memcpy(&function, &symbol, sizeof function);
    return symbol != nullptr;
}

}  // namespace cs::platform::posix
