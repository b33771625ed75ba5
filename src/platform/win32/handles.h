// Move-only owners of Win32 handles: the one owner template of the program
// (the toolkit adds its GDI, USER and GDI+ traits to it), and the kernel
// handles the platform layer opens. Copying is
// forbidden; moving hands the handle over and leaves the source empty;
// assigning or resetting closes what was held before. A handle counts as
// held only when it is neither null nor INVALID_HANDLE_VALUE, because Win32
// reports failure with either, depending on the function.
#pragma once

#include <windows.h>

namespace cs::platform::win32 {

template <typename Traits>
class UniqueOwner {
public:
    using Handle = typename Traits::Handle;

    UniqueOwner() = default;
    explicit UniqueOwner(Handle handle) noexcept : handle_(handle) {}
    ~UniqueOwner() { Reset(); }
    UniqueOwner(UniqueOwner&& other) noexcept : handle_(other.Release()) {}
    UniqueOwner& operator=(UniqueOwner&& other) noexcept {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }
    UniqueOwner(const UniqueOwner&) = delete;
    UniqueOwner& operator=(const UniqueOwner&) = delete;

    Handle Get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return IsHeld(handle_); }
    // The object's members, where the handle points at one (a COM
    // interface).
    Handle operator->() const noexcept { return handle_; }
    // For the out-parameter of a creating call: closes what was held first.
    Handle* Put() noexcept {
        Reset();
        return &handle_;
    }

    Handle Release() noexcept {
        Handle handle = handle_;
        handle_ = Handle{};
        return handle;
    }
    void Reset(Handle handle = Handle{}) noexcept {
        if (IsHeld(handle_))
            Traits::Close(handle_);
        handle_ = handle;
    }

private:
    static bool IsHeld(Handle handle) noexcept {
        return handle != Handle{} && handle != reinterpret_cast<Handle>(INVALID_HANDLE_VALUE);
    }

    Handle handle_{};
};

// The traits of a handle that one function closes.
template <typename H, auto CloseFunction>
struct ClosedBy {
    using Handle = H;
    static void Close(Handle handle) noexcept { CloseFunction(handle); }
};

using KernelHandleTraits = ClosedBy<HANDLE, CloseHandle>;
using FindHandleTraits = ClosedBy<HANDLE, FindClose>;
// Memory from GlobalAlloc: the clipboard's currency, which owns it only
// once it has taken it.
using GlobalMemoryTraits = ClosedBy<HGLOBAL, GlobalFree>;

using UniqueHandle = UniqueOwner<KernelHandleTraits>;
using UniqueFindHandle = UniqueOwner<FindHandleTraits>;
using UniqueGlobalMemory = UniqueOwner<GlobalMemoryTraits>;

}  // namespace cs::platform::win32
