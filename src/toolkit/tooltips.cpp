#include "toolkit/tooltips.h"

#include <commctrl.h>

namespace cs::toolkit {

namespace {

// Wide enough that no tip is ever wrapped by the control: the texts carry
// their own line breaks.
constexpr LPARAM kMaxTipWidth = 100000;

}  // namespace

bool EnsureTooltipWindow(WindowRecord& record) {
    if (record.tooltip)
        return true;
    if (record.window == nullptr)
        return false;
    HWND tooltip =
        CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, record.window,
                        nullptr, record.instance, nullptr);
    if (tooltip == nullptr)
        return false;
    SetWindowPos(tooltip, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    record.tooltip.Reset(tooltip);
    return true;
}

bool SetControlTip(WindowRecord& record, int32_t slot, const wchar_t* text) {
    ControlRecord* control = FindControl(record, slot);
    if (control == nullptr || control->handle == nullptr || !EnsureTooltipWindow(record))
        return false;
    TOOLINFOW tool{};
    // The version-2 size (with lParam) is the one both the old and the v6
    // tooltip control accept on 64-bit Windows; the full structure is
    // refused by controls older than v6.
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = control->handle;
    tool.uId = reinterpret_cast<UINT_PTR>(control->handle);
    tool.hinst = record.instance;
    tool.lpszText = const_cast<wchar_t*>(text != nullptr ? text : L"");
    SendMessageW(record.tooltip.Get(), TTM_SETMAXTIPWIDTH, 0, kMaxTipWidth);
    return SendMessageW(record.tooltip.Get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool)) ==
           TRUE;
}

}  // namespace cs::toolkit
