// Move-only owners of the GDI, USER and GDI+ objects the toolkit creates.
// Copying is forbidden; moving hands the object over and leaves the source
// empty; assigning or resetting releases what was held before. A handle
// counts as held only when it is neither null nor INVALID_HANDLE_VALUE,
// because Win32 reports failure with either, depending on the function.
// GDI+ owners also keep the status of their last failing call, which the
// toolkit never reports further but which a debugger or a test can read.
// Owners may be used on any thread, but GDI+ objects only while GDI+ runs.
#pragma once

#include <windows.h>
// gdiplus.h needs the COM base types that WIN32_LEAN_AND_MEAN leaves out.
#include <objidl.h>

#include <commctrl.h>

#include <algorithm>
#include <utility>

// Microsoft's GDI+ headers call min and max unqualified, which NOMINMAX
// removes; these make them build there too (mingw-w64's headers need none).
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

#include "platform/win32/handles.h"

namespace cs::toolkit {

// One owner template for every handle kind; its traits say how to close.
using platform::win32::UniqueOwner;

using platform::win32::ClosedBy;
using platform::win32::KernelHandleTraits;

template <typename T>
using UniqueGdi = UniqueOwner<ClosedBy<T, DeleteObject>>;
using UniqueBitmap = UniqueGdi<HBITMAP>;
using UniqueBrush = UniqueGdi<HBRUSH>;
using UniqueFont = UniqueGdi<HFONT>;
using UniqueRegion = UniqueGdi<HRGN>;
using UniqueGdiObject = UniqueGdi<HGDIOBJ>;
using UniqueDc = UniqueOwner<ClosedBy<HDC, DeleteDC>>;
using UniqueIcon = UniqueOwner<ClosedBy<HICON, DestroyIcon>>;
using UniqueMenu = UniqueOwner<ClosedBy<HMENU, DestroyMenu>>;
using UniqueAccelerators = UniqueOwner<ClosedBy<HACCEL, DestroyAcceleratorTable>>;
using UniqueImageList = UniqueOwner<ClosedBy<HIMAGELIST, ImageList_Destroy>>;
using UniqueWindow = UniqueOwner<ClosedBy<HWND, DestroyWindow>>;
using UniqueHandle = UniqueOwner<KernelHandleTraits>;

// A DC borrowed with GetDC, given back with ReleaseDC.
class WindowDc {
public:
    explicit WindowDc(HWND window) noexcept : window_(window), dc_(GetDC(window)) {}
    ~WindowDc() {
        if (dc_ != nullptr)
            ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;

    HDC Get() const noexcept { return dc_; }
    explicit operator bool() const noexcept { return dc_ != nullptr; }

private:
    HWND window_;
    HDC dc_;
};

// Selects an object into a DC and puts the previous one back on scope exit,
// so an owner may delete the object afterwards (GDI refuses to delete an
// object that is still selected).
class SelectGuard {
public:
    SelectGuard(HDC dc, HGDIOBJ object) noexcept
        : dc_(dc),
          previous_(dc != nullptr && object != nullptr ? SelectObject(dc, object) : nullptr) {}
    ~SelectGuard() {
        if (previous_ != nullptr && previous_ != HGDI_ERROR)
            SelectObject(dc_, previous_);
    }
    SelectGuard(const SelectGuard&) = delete;
    SelectGuard& operator=(const SelectGuard&) = delete;

    bool Selected() const noexcept { return previous_ != nullptr && previous_ != HGDI_ERROR; }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// GDI+ objects through the flat interface. The template argument is the
// object type and the function that frees it.
template <typename T, Gdiplus::GpStatus(WINGDIPAPI* Free)(T*)>
class GdipOwner {
public:
    GdipOwner() = default;
    explicit GdipOwner(T* object) noexcept : object_(object) {}
    ~GdipOwner() { Reset(); }
    GdipOwner(GdipOwner&& other) noexcept
        : object_(other.Release()), lastStatus_(other.lastStatus_) {}
    GdipOwner& operator=(GdipOwner&& other) noexcept {
        if (this != &other) {
            Reset(other.Release());
            lastStatus_ = other.lastStatus_;
        }
        return *this;
    }
    GdipOwner(const GdipOwner&) = delete;
    GdipOwner& operator=(const GdipOwner&) = delete;

    T* Get() const noexcept { return object_; }
    explicit operator bool() const noexcept { return object_ != nullptr; }
    // For the out-parameter of a creating call: frees what was held first.
    T** Put() noexcept {
        Reset();
        return &object_;
    }
    T* Release() noexcept { return std::exchange(object_, nullptr); }
    void Reset(T* object = nullptr) noexcept {
        if (object_ != nullptr)
            Free(object_);
        object_ = object;
    }

    // Records a failing status and reports whether the call succeeded.
    bool Check(Gdiplus::GpStatus status) noexcept {
        if (status != Gdiplus::Ok)
            lastStatus_ = status;
        return status == Gdiplus::Ok;
    }
    Gdiplus::GpStatus LastStatus() const noexcept { return lastStatus_; }

private:
    T* object_ = nullptr;
    Gdiplus::GpStatus lastStatus_ = Gdiplus::Ok;
};

namespace gdip = Gdiplus::DllExports;

using GdipImage = GdipOwner<Gdiplus::GpImage, gdip::GdipDisposeImage>;
using GdipBrush = GdipOwner<Gdiplus::GpBrush, gdip::GdipDeleteBrush>;
using GdipFont = GdipOwner<Gdiplus::GpFont, gdip::GdipDeleteFont>;
using GdipFontFamily = GdipOwner<Gdiplus::GpFontFamily, gdip::GdipDeleteFontFamily>;
using GdipPath = GdipOwner<Gdiplus::GpPath, gdip::GdipDeletePath>;
using GdipPen = GdipOwner<Gdiplus::GpPen, gdip::GdipDeletePen>;
using GdipGraphics = GdipOwner<Gdiplus::GpGraphics, gdip::GdipDeleteGraphics>;
using GdipRegion = GdipOwner<Gdiplus::GpRegion, gdip::GdipDeleteRegion>;
using GdipStringFormat = GdipOwner<Gdiplus::GpStringFormat, gdip::GdipDeleteStringFormat>;
using GdipImageAttributes = GdipOwner<Gdiplus::GpImageAttributes, gdip::GdipDisposeImageAttributes>;

// A linear-gradient brush is a brush for GDI+ and is freed the same way;
// the owner keeps the precise type so gradient calls need no cast.
inline Gdiplus::GpStatus WINGDIPAPI DeleteLineGradient(Gdiplus::GpLineGradient* brush) {
    return gdip::GdipDeleteBrush(brush);
}
using GdipLineGradient = GdipOwner<Gdiplus::GpLineGradient, DeleteLineGradient>;

// Every bitmap the toolkit makes is an image too; the image owner holds
// both, and this gives the bitmap view of it.
inline Gdiplus::GpBitmap* AsBitmap(const GdipImage& image) noexcept {
    return static_cast<Gdiplus::GpBitmap*>(image.Get());
}

// Cloning gives a new, independent owner (empty when the clone failed).
inline GdipImage CloneImage(Gdiplus::GpImage* image) {
    GdipImage copy;
    if (image != nullptr)
        copy.Check(gdip::GdipCloneImage(image, copy.Put()));
    return copy;
}
inline GdipBrush CloneBrush(Gdiplus::GpBrush* brush) {
    GdipBrush copy;
    if (brush != nullptr)
        copy.Check(gdip::GdipCloneBrush(brush, copy.Put()));
    return copy;
}

// GDI+ runs once per program: the entry function (or a test's main) holds
// one session for as long as any GDI+ object may exist.
class GdiplusSession {
public:
    GdiplusSession() noexcept {
        Gdiplus::GdiplusStartupInput input;
        started_ = Gdiplus::GdiplusStartup(&token_, &input, nullptr) == Gdiplus::Ok;
    }
    ~GdiplusSession() {
        if (started_)
            Gdiplus::GdiplusShutdown(token_);
    }
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;

    bool Started() const noexcept { return started_; }

private:
    ULONG_PTR token_ = 0;
    bool started_ = false;
};

}  // namespace cs::toolkit
