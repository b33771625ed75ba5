// Owners for what COM and the shell hand out: interface pointers, memory
// from the task allocator (the strings a shell item gives), item ID lists
// (PIDLs), and the apartment a thread joins for a scope. The pointer owners
// are UniqueOwner instances (handles.h), so they move, never copy, and free
// what they hold exactly once. An interface pointer is used only on the
// thread whose apartment it came from; the rest on any thread.
#pragma once

#include <windows.h>

#include <objbase.h>
#include <shlobj.h>

#include "platform/win32/handles.h"

namespace cs::platform::win32 {

template <typename Interface>
struct ComTraits {
    using Handle = Interface*;
    static void Close(Handle pointer) noexcept { pointer->Release(); }
};
template <typename Interface>
using ComPtr = UniqueOwner<ComTraits<Interface>>;

template <typename T>
using UniqueCoTaskMem = UniqueOwner<ClosedBy<T*, CoTaskMemFree>>;
using UniquePidl = UniqueOwner<ClosedBy<PIDLIST_ABSOLUTE, ILFree>>;

// Joins the calling thread to a single-threaded apartment for the scope.
// Every successful join (S_FALSE, already joined, included) is balanced by
// one leave; a failed one (the thread is in the multithreaded apartment)
// leaves nothing to balance.
class ComApartment {
public:
    ComApartment() noexcept : joined_(SUCCEEDED(CoInitialize(nullptr))) {}
    ~ComApartment() {
        if (joined_)
            CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

    bool Joined() const noexcept { return joined_; }

private:
    bool joined_;
};

}  // namespace cs::platform::win32
