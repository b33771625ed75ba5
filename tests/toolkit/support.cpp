#include "support.h"

#include <commctrl.h>

#include <vector>

#include "toolkit/controls.h"
#include "toolkit/drawing.h"

namespace cs::toolkit::test {

HWND TestWindow::Create(const wchar_t* className, int width, int height, DWORD style, HWND owner) {
    return CreateToolkitWindow(record, className, L"toolkit test", width, height, 40, 40, style,
                               kDefaultExStyle, owner);
}

int32_t AddControl(WindowRecord& record, ControlKind kind, const wchar_t* className,
                   const wchar_t* text, DWORD style, int x, int y, int width, int height) {
    return AddControl(record, kind, className, text, style, {.rect = {x, y, width, height}});
}

int32_t AddControl(WindowRecord& record, ControlKind kind, const wchar_t* className,
                   const wchar_t* text, DWORD style, const Placement& at) {
    return CreateStandardControl(record, kind, className, text, WS_CHILD | WS_VISIBLE | style, 0,
                                 at);
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        PumpAll();
        if (done())
            return true;
        // Sleeps only until a message arrives (or briefly, for conditions
        // that change without one, such as X mapping a window).
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return true;
}

bool WaitForEventCode(EventRecord& events, int32_t code, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (!PumpOneMessage(events, false)) {
            if (std::chrono::steady_clock::now() >= end)
                return false;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
            continue;
        }
        if (events.code == code)
            return true;
        if (std::chrono::steady_clock::now() >= end)
            return false;
    }
}

bool SetClientSize(HWND window, int width, int height) {
    RECT outer{0, 0, width, height};
    AdjustWindowRectEx(&outer, static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE)));
    return SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                        SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE) != FALSE;
}

RECT ClientRect(HWND window) {
    RECT rect{};
    GetClientRect(window, &rect);
    return rect;
}

RECT RectInParent(HWND control) {
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

uint32_t BitmapPixel(HBITMAP bitmap, int x, int y) {
    BitmapDimensions size;
    if (!BitmapSize(bitmap, size))
        return 0;
    std::vector<uint32_t> pixels(static_cast<size_t>(size.width) * size.height);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = size.width;
    info.bmiHeader.biHeight = -size.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    WindowDc screen(nullptr);
    if (GetDIBits(screen.Get(), bitmap, 0, static_cast<UINT>(size.height), pixels.data(), &info,
                  DIB_RGB_COLORS) == 0)
        return 0;
    return pixels[static_cast<size_t>(y) * size.width + x];
}

uint32_t ImagePixel(const GdipImage& image, int x, int y) {
    Gdiplus::ARGB colour = 0;
    Gdiplus::DllExports::GdipBitmapGetPixel(AsBitmap(image), x, y, &colour);
    return colour;
}

uint32_t ScreenPixel(HWND window, int x, int y) {
    WindowDc dc(window);
    const COLORREF colour = GetPixel(dc.Get(), x, y);
    return 0xFF000000u | (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
}

std::vector<uint32_t> CaptureClient(HWND window, int& width, int& height) {
    const RECT client = ClientRect(window);
    width = client.right;
    height = client.bottom;
    std::vector<uint32_t> pixels;
    if (width <= 0 || height <= 0)
        return pixels;
    WindowDc dc(window);
    uint32_t* bits = nullptr;
    UniqueBitmap target = CreateArgbDib(width, height, 0, &bits);
    UniqueDc memory(CreateCompatibleDC(dc.Get()));
    if (!dc || !target || !memory)
        return pixels;
    {
        SelectGuard select(memory.Get(), target.Get());
        if (!BitBlt(memory.Get(), 0, 0, width, height, dc.Get(), 0, 0, SRCCOPY))
            return pixels;
        GdiFlush();
        pixels.assign(bits, bits + static_cast<size_t>(width) * height);
    }
    for (uint32_t& pixel : pixels)
        pixel |= 0xFF000000u;
    return pixels;
}

bool BringToFront(HWND window) {
    return PumpUntil([&] {
        if (GetForegroundWindow() == window)
            return true;
        BringWindowToTop(window);
        SetForegroundWindow(window);
        return false;
    });
}

void ForgetQuit() {
    MSG message{};
    while (PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

std::wstring ColumnHeading(HWND list, int column, int& width) {
    wchar_t text[64] = {};
    LVCOLUMNW info{};
    info.mask = LVCF_TEXT | LVCF_WIDTH;
    info.pszText = text;
    info.cchTextMax = 64;
    if (!SendMessageW(list, LVM_GETCOLUMNW, static_cast<WPARAM>(column),
                      reinterpret_cast<LPARAM>(&info)))
        return {};
    width = info.cx;
    return text;
}

}  // namespace cs::toolkit::test
