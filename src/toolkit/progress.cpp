#include "toolkit/progress.h"

#include <objbase.h>
#include <shobjidl.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "toolkit/controls.h"
#include "toolkit/modal.h"
#include "toolkit/worker.h"

namespace cs::toolkit {

namespace {

using namespace Gdiplus::DllExports;
using platform::win32::ComPtr;

constexpr wchar_t kDialogClass[] = L"_WND_PROGRESS_DLG_";
constexpr DWORD kIndicatorStyle = style::kPicture;
constexpr DWORD kHeaderStyle = style::kLabel;
constexpr DWORD kMessageStyle = style::kReadOnlyText;
constexpr DWORD kCancelStyle = style::kPushButton;
constexpr int32_t kIndicatorLayout = layout::kCaption | layout::kDoubleBuffered | layout::kOwnBackground;
constexpr int32_t kMessageLayout = layout::kDoubleBuffered | layout::kOwnBackground;
constexpr int kSingleLineHeight = 14;
constexpr DWORD kRestartPollMs = 30;
constexpr DWORD kPercentagePollMs = 3;
constexpr DWORD kFrameMs = 10;
constexpr DWORD kHiddenPollMs = 20;
constexpr float kStartAngle = 280.0f;
constexpr float kSweep = 280.0f;

// The taskbar interfaces by the identifiers the shell registers them under,
// spelled out so no import library has to provide them.
constexpr GUID kClsidTaskbarList{
    0x56FDF344, 0xFD6D, 0x11D0, {0x95, 0x8A, 0x00, 0x60, 0x97, 0xC9, 0xA0, 0x90}};
constexpr GUID kIidTaskbarList{
    0x56FDF342, 0xFD6D, 0x11D0, {0x95, 0x8A, 0x00, 0x60, 0x97, 0xC9, 0xA0, 0x90}};
constexpr GUID kIidTaskbarList2{
    0x602D4995, 0xB13A, 0x429B, {0xA6, 0x6E, 0x19, 0x35, 0xE4, 0x4F, 0x43, 0x17}};
constexpr GUID kIidTaskbarList3{
    0xEA1AFB91, 0x9E28, 0x4B86, {0x90, 0xE9, 0x9E, 0x9F, 0x8A, 0x5E, 0xEF, 0xAF}};

COLORREF ToColorRef(Argb colour) {
    return RGB((colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF);
}

// The window whose taskbar button shows the progress: the dialog is an
// owned popup, which has no button of its own, so it is the top-level
// window of its owner (the dialog itself only when it has no owner).
HWND TaskbarWindow(const ProgressIndicator& indicator) {
    if (indicator.taskbarWindow != nullptr && IsWindow(indicator.taskbarWindow))
        return indicator.taskbarWindow;
    return indicator.window != nullptr ? indicator.window->window : nullptr;
}

void SetTaskbarState(ProgressIndicator& indicator, TBPFLAG state) {
    HWND window = TaskbarWindow(indicator);
    if (indicator.taskbar != nullptr && window != nullptr)
        indicator.taskbar->SetProgressState(window, state);
}

void WaitForSpinner(ProgressIndicator& indicator, DWORD pollMs) {
    if (!SpinnerRunning(indicator))
        return;
    indicator.spinner.stop = 1;
    while (WaitForSingleObject(indicator.thread.Get(), pollMs) == WAIT_TIMEOUT) {
    }
}

// Sleeps while the control is hidden; false when the thread must end.
bool WaitUntilVisible(const SpinnerParams& params, DWORD pollMs) {
    for (;;) {
        if (!IsWindow(params.control) || params.stop != 0)
            return false;
        if (IsWindowVisible(params.control))
            return true;
        Sleep(pollMs);
    }
}

// One blended pixel: `coverage` of `colour` over what is there (opaque).
uint32_t Blend(uint32_t under, Argb colour, float coverage) {
    auto mix = [&](int shift) {
        const float a = static_cast<float>((colour >> shift) & 0xFF);
        const float b = static_cast<float>((under >> shift) & 0xFF);
        return static_cast<uint32_t>(b + (a - b) * coverage + 0.5f) << shift;
    };
    return 0xFF000000u | mix(16) | mix(8) | mix(0);
}

// Paints the arc into the frame's pixels with its edges' coverage computed
// per pixel. GDI+ under Wine draws no anti-aliased lines or fills at all,
// on a device context or a bitmap (a measured arc had exactly two colours),
// and this looks the same everywhere.
void PaintArc(uint32_t* pixels, int size, float penWidth, float startAngle, float sweep,
              Argb colour) {
    const float centre = static_cast<float>(size) / 2.0f;
    const float radius = (static_cast<float>(size) - penWidth - 4.0f) / 2.0f;
    const float half = penWidth / 2.0f;
    constexpr float kDegrees = 180.0f / 3.14159265f;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const float dx = static_cast<float>(x) + 0.5f - centre;
            const float dy = static_cast<float>(y) + 0.5f - centre;
            const float distance = std::sqrt(dx * dx + dy * dy);
            const float radial = std::clamp(half + 0.5f - std::fabs(distance - radius), 0.0f, 1.0f);
            if (radial <= 0.0f)
                continue;
            // Angles run clockwise on the screen, from the positive x axis.
            float angle = std::atan2(dy, dx) * kDegrees - startAngle;
            angle = std::fmod(angle + 720.0f, 360.0f);
            // Signed distance to the nearer end along the circle, in pixels:
            // negative inside the sweep, positive past its ends.
            const float degrees = angle > sweep ? std::min(angle - sweep, 360.0f - angle)
                                                : -std::min(angle, sweep - angle);
            const float along = std::clamp(0.5f - degrees / kDegrees * distance, 0.0f, 1.0f);
            const float coverage = radial * along;
            if (coverage > 0.0f) {
                uint32_t& pixel = pixels[static_cast<size_t>(y) * size + x];
                pixel = Blend(pixel, colour, coverage);
            }
        }
    }
}

DWORD WINAPI SpinnerThreadProc(void* parameter) {
    auto& params = *static_cast<SpinnerParams*>(parameter);
    if (!WaitUntilVisible(params, kHiddenPollMs))
        return 0;
    const int size = params.size;
    WindowDc dc(params.control);
    if (!dc || size <= 0)
        return 0;
    // Each frame is painted into a DIB section and goes to the screen with
    // one BitBlt.
    UniqueDc memory(CreateCompatibleDC(dc.Get()));
    uint32_t* pixels = nullptr;
    UniqueBitmap canvas = CreateArgbDib(size, size, 0, &pixels);
    if (!memory || !canvas || pixels == nullptr)
        return 0;
    SelectGuard selected(memory.Get(), canvas.Get());

    UniqueBrush background;
    if (params.background != nullptr) {
        HBITMAP converted = nullptr;
        if (GdipCreateHBITMAPFromBitmap(static_cast<Gdiplus::GpBitmap*>(params.background),
                                        &converted, params.backColor) == Gdiplus::Ok) {
            UniqueBitmap image(converted);
            background.Reset(CreatePatternBrush(image.Get()));
        }
    } else {
        // The colour is always a plain COLORREF here (ToColorRef drops the
        // alpha), so the solid brush serves every window.
        background.Reset(CreateSolidBrush(params.backColor));
    }
    const float penWidth = static_cast<float>(size) / 6.0f - 1.0f;
    const float step = static_cast<float>(SpinnerStepDegrees(params.speed));
    const RECT area{0, 0, size, size};

    float angle = kStartAngle;
    while (params.stop == 0) {
        SleepEx(kFrameMs, FALSE);
        if (background)
            FillRect(memory.Get(), &area, background.Get());
        GdiFlush();
        PaintArc(pixels, size, penWidth, angle, kSweep, params.arcColor);
        if (!BitBlt(dc.Get(), 0, 0, size, size, memory.Get(), 0, 0, SRCCOPY))
            break;
        angle += step;
        if (angle >= 360.0f)
            angle -= 360.0f;
        if (!WaitUntilVisible(params, kFrameMs))
            break;
    }
    return 0;
}

void StartSpinner(ProgressIndicator& indicator, int32_t value) {
    if (indicator.state == indicator::kSpinning && indicator.value == value)
        return;
    WaitForSpinner(indicator, kRestartPollMs);
    ControlRecord* control = FindControl(*indicator.window, indicator.controlId);
    // A blank face in the background colour until the first frame.
    UniqueBitmap blank = CreateArgbDib(indicator.size, indicator.size, indicator.backColor);
    if (blank)
        SetControlImage(*indicator.window, indicator.controlId, blank.Get(), indicator.size,
                        indicator.size);
    SpinnerParams& params = indicator.spinner;
    params.control = control->handle;
    params.arcColor = indicator.arcColor;
    params.backColor = ToColorRef(indicator.backColor);
    params.size = indicator.size;
    params.speed = value < -progress::kMaxSpeed ? progress::kMaxSpeed : -value;
    params.stop = 0;
    indicator.thread = StartThread(SpinnerThreadProc, &params);
    indicator.value = value;
    indicator.state = indicator::kSpinning;
    SetTaskbarState(indicator, TBPF_INDETERMINATE);
}

void ShowPercentage(ProgressIndicator& indicator, int32_t value) {
    WaitForSpinner(indicator, kPercentagePollMs);
    if (indicator.state == indicator::kPercentage && indicator.value == value)
        return;
    if (indicator.taskbar != nullptr && TaskbarWindow(indicator) != nullptr) {
        indicator.taskbar->SetProgressState(TaskbarWindow(indicator), TBPF_NORMAL);
        indicator.taskbar->SetProgressValue(TaskbarWindow(indicator), static_cast<ULONGLONG>(value),
                                            100);
    }
    indicator.value = value;
    indicator.state = indicator::kPercentage;

    const int size = indicator.size;
    const int32_t shown = value > 100 ? 100 : value;
    GdipImage image = CreatePremultipliedBitmap(size, size);
    GdipGraphics graphics;
    if (!image || !graphics.Check(GdipGetImageGraphicsContext(image.Get(), graphics.Put())))
        return;
    GdipGraphicsClear(graphics.Get(), indicator.backColor);
    GdipSetSmoothingMode(graphics.Get(), Gdiplus::SmoothingModeHighQuality);
    const float penWidth = static_cast<float>(size) / 10.0f;
    GdipPen pen;
    if (pen.Check(GdipCreatePen1(indicator.ringColor, penWidth, Gdiplus::UnitPixel, pen.Put()))) {
        const float corner = penWidth / 2.0f + 1.0f;
        const float side = static_cast<float>(size) - penWidth - 2.0f;
        GdipDrawArc(graphics.Get(), pen.Get(), corner, corner, side, side, -90.0f,
                    static_cast<float>(shown) * 3.6f + 1.0f);
    }
    graphics.Reset();
    const int whole = static_cast<int>(penWidth);
    GdipFont font = CreateUiFont(0.25f * static_cast<float>(size), Gdiplus::FontStyleBold);
    const std::wstring text = std::to_wstring(shown) + L"%";
    DrawCenteredText(AsBitmap(image), text.c_str(), static_cast<float>(whole + 1),
                     static_cast<float>(2 * whole), static_cast<float>(size - 2 * whole),
                     static_cast<float>(size - 4 * whole), font.Get(), indicator.arcColor);
    HBITMAP converted = nullptr;
    if (GdipCreateHBITMAPFromBitmap(AsBitmap(image), &converted, 0) != Gdiplus::Ok)
        return;
    UniqueBitmap bitmap(converted);
    SetControlState(*indicator.window, indicator.controlId, state::kVisible);
    SetControlImage(*indicator.window, indicator.controlId, bitmap.Get(), size, size);
}

void SetIndicatorValue(ProgressIndicator& indicator, int32_t value) {
    if (indicator.window == nullptr ||
        FindControl(*indicator.window, indicator.controlId) == nullptr)
        return;
    if (value < progress::kUnchanged)
        StartSpinner(indicator, value);
    else if (value >= 0)
        ShowPercentage(indicator, value);
}

// Centres the text vertically in the control by moving the top of its
// formatting rectangle; the edit control itself only aligns to the top.
void SetMessage(ProgressDialog& dialog, const wchar_t* text) {
    ControlRecord* control = FindControl(dialog.window, dialog.messageId);
    if (control == nullptr)
        return;
    HWND edit = control->handle;
    SendMessageW(edit, WM_SETREDRAW, FALSE, 0);
    RECT client{};
    GetClientRect(edit, &client);
    SendMessageW(edit, EM_SETRECT, 0, reinterpret_cast<LPARAM>(&client));
    SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    const auto lines = static_cast<int>(SendMessageW(edit, EM_GETLINECOUNT, 0, 0));
    int lineHeight = kSingleLineHeight;
    if (lines >= 2) {
        const auto second = SendMessageW(edit, EM_LINEINDEX, 1, 0);
        const auto first = SendMessageW(edit, EM_POSFROMCHAR, 0, 0);
        const auto next = SendMessageW(edit, EM_POSFROMCHAR, static_cast<WPARAM>(second), 0);
        lineHeight = static_cast<short>(HIWORD(next)) - static_cast<short>(HIWORD(first));
    }
    RECT format{};
    SendMessageW(edit, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
    format.top = (client.bottom - lines * lineHeight) / 2;
    SendMessageW(edit, EM_SETRECT, 0, reinterpret_cast<LPARAM>(&format));
    SendMessageW(edit, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(edit, nullptr, TRUE);
}

void CreateTaskbar(ProgressIndicator& indicator) {
    if (indicator.taskbar != nullptr)
        return;
    ComPtr<ITaskbarList> list;
    if (FAILED(CoCreateInstance(kClsidTaskbarList, nullptr, CLSCTX_INPROC_SERVER, kIidTaskbarList,
                                reinterpret_cast<void**>(list.Put()))) ||
        !list)
        return;
    // The shell documents HrInit as required before any other call; without
    // it Windows may ignore every progress call.
    ComPtr<ITaskbarList2> list2;
    if (SUCCEEDED(list->HrInit()) &&
        SUCCEEDED(list->QueryInterface(kIidTaskbarList2, reinterpret_cast<void**>(list2.Put()))) &&
        list2) {
        ITaskbarList3* list3 = nullptr;
        if (SUCCEEDED(list2->QueryInterface(kIidTaskbarList3, reinterpret_cast<void**>(&list3))))
            indicator.taskbar = list3;
    }
}

}  // namespace

int SpinnerStepDegrees(int32_t speed) {
    return speed / 30 + 1;
}

bool SpinnerRunning(const ProgressIndicator& indicator) {
    return ThreadRunning(indicator.thread.Get());
}

ProgressIndicator::ProgressIndicator() = default;

ProgressIndicator::~ProgressIndicator() {
    // The thread reads this record's spinner block; it must be gone first.
    if (thread) {
        spinner.stop = 1;
        WaitForSingleObject(thread.Get(), INFINITE);
    }
    if (taskbar != nullptr)
        taskbar->Release();
}

ProgressDialog::~ProgressDialog() {
    if (window.window != nullptr)
        ProgressClose(*this);
}

ProgressDialog& ProgressOpen(ProgressDialog& dialog, const wchar_t* message, WindowRecord* owner) {
    if (dialog.window.window != nullptr)
        ProgressClose(dialog);
    dialog.owner = owner;
    dialog.window.events =
        owner != nullptr && owner->events != nullptr ? owner->events : &dialog.ownEvents;
    dialog.indicatorSize = progress::kIndicatorSize;
    WindowRecord& record = dialog.window;
    HWND ownerWindow = owner != nullptr ? owner->window : nullptr;
    if (CreateToolkitWindow(record, kDialogClass, L"", progress::kWidth, progress::kHeight,
                            kCentred, kCentred, WS_POPUP, kDefaultExStyle, ownerWindow) == nullptr)
        return dialog;
    record.fontSize = 10.0;
    record.fontWeight = 400;
    record.fontFace.fill(L'\0');
    wcsncpy(record.fontFace.data(), L"Arial", record.fontFace.size() - 1);
    record.textColour = static_cast<int32_t>(dialog.textColor);
    ApplyWindowSkin(record, progress::kWidth, progress::kHeight, dialog.frameColor,
                    dialog.bodyColor, dialog.bodyColor, dialog.cornerSize);
    if (owner != nullptr)
        EnterOwnedPopup(*owner, record.window);

    const int size = dialog.indicatorSize;
    dialog.indicatorId =
        CreateStandardControl(record, ControlKind::kPicture, L"Static", L"", kIndicatorStyle, 0,
                              {.rect = {10, 10, size, size}, .layout = kIndicatorLayout});

    ProgressIndicator& indicator = dialog.indicator;
    if (indicator.window != nullptr) {
        indicator.spinner.stop = 1;
        indicator.state = indicator::kIdle;
        indicator.value = 0;
        SetTaskbarState(indicator, TBPF_NOPROGRESS);
    }
    indicator.size = size;
    if (ControlRecord* control = FindControl(record, dialog.indicatorId)) {
        RECT client{};
        GetClientRect(control->handle, &client);
        indicator.size = client.right;
    }
    CreateTaskbar(indicator);
    indicator.window = &record;
    indicator.taskbarWindow = ownerWindow != nullptr ? GetAncestor(ownerWindow, GA_ROOT) : nullptr;
    indicator.controlId = dialog.indicatorId;
    indicator.backColor = dialog.bodyColor;
    indicator.arcColor = 0xFF000000u | ((dialog.textColor & 0xFF) << 16) |
                         (dialog.textColor & 0xFF00) | ((dialog.textColor >> 16) & 0xFF);
    indicator.ringColor = dialog.ringColor;
    SetIndicatorValue(indicator, 0);

    dialog.headerId =
        CreateStandardControl(record, ControlKind::kLabel, L"Static", L"", kHeaderStyle, 0,
                              {.rect = {0, 0, progress::kWidth, 20}});
    if (dialog.headerId != 0)
        SetControlBackColour(record, dialog.headerId, kNoBrushColour);

    dialog.messageId = CreateStandardControl(
        record, ControlKind::kReadOnlyText, L"Edit", L"", kMessageStyle, 0,
        {.rect = {size + 20, 10, 420 - size, size}, .layout = kMessageLayout});
    if (dialog.messageId != 0)
        SetControlBackColour(record, dialog.messageId,
                             static_cast<int32_t>(ToColorRef(dialog.bodyColor)));
    SetMessage(dialog, message != nullptr ? message : L"");
    return dialog;
}

ProgressDialog& ProgressSetState(ProgressDialog& dialog, int32_t value, const wchar_t* message) {
    if (dialog.window.window == nullptr)
        return dialog;
    SetIndicatorValue(dialog.indicator, value);
    if (message != nullptr)
        SetMessage(dialog, message);
    return dialog;
}

ProgressDialog& ProgressAddCancel(ProgressDialog& dialog) {
    WindowRecord& record = dialog.window;
    if (record.window == nullptr)
        return dialog;
    RECT client{};
    GetClientRect(record.window, &client);
    const int width = client.right;
    const ControlRect cancel{width / 2 + 15, dialog.indicatorSize + 23, width / 2 - 45, 24};
    dialog.cancelId = CreateStandardControl(record, ControlKind::kPushButton, L"Button", L"Cancel",
                                            kCancelStyle, 0, {.rect = cancel});
    const int height = dialog.indicatorSize + 54;
    if (client.bottom >= height)
        return dialog;
    HWND foreground = GetForegroundWindow();
    const bool visible = IsWindowVisible(record.window) != FALSE;
    ApplyWindowSkin(record, width, height, dialog.frameColor, dialog.bodyColor, dialog.bandColor,
                    dialog.cornerSize);
    SetWindowPos(record.window, nullptr, 0, 0, width, height,
                 SWP_HIDEWINDOW | SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOZORDER);
    SetRoundedWindowRegion(record.window, width, height, dialog.cornerSize);
    if (foreground != nullptr)
        SetForegroundWindow(foreground);
    if (visible)
        ProgressShow(dialog);
    return dialog;
}

ProgressDialog& ProgressShow(ProgressDialog& dialog) {
    if (dialog.window.window == nullptr)
        return dialog;
    HWND ownerWindow = dialog.owner != nullptr ? dialog.owner->window : nullptr;
    if (ownerWindow != nullptr && (GetWindowLongW(ownerWindow, GWL_STYLE) & WS_MINIMIZE)) {
        ShowWindow(ownerWindow, SW_RESTORE);
        CenterWindow(dialog.window.window, ownerWindow);
        ShowToolkitWindow(dialog.window, SW_SHOW, show::kUpdate);
        ShowWindow(ownerWindow, SW_MINIMIZE);
    } else {
        ShowToolkitWindow(dialog.window, SW_SHOW, show::kUpdate);
    }
    return dialog;
}

ProgressDialog& ProgressClose(ProgressDialog& dialog) {
    ProgressIndicator& indicator = dialog.indicator;
    if (indicator.window != nullptr &&
        FindControl(*indicator.window, indicator.controlId) != nullptr) {
        indicator.spinner.stop = 1;
        indicator.value = 0;
        indicator.state = indicator::kIdle;
        SetTaskbarState(indicator, TBPF_NOPROGRESS);
    }
    ShowToolkitWindow(dialog.window, SW_HIDE, 0);
    dialog.owner = nullptr;
    dialog.indicatorId = dialog.messageId = dialog.cancelId = dialog.secondButtonId = -1;
    dialog.headerId = dialog.extraId = -1;
    dialog.indicatorSize = 0;
    DestroyToolkitWindow(dialog.window);
    return dialog;
}

}  // namespace cs::toolkit
