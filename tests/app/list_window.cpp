#include "list_window.h"

#include <commctrl.h>

#include "app/result_list_view.h"

namespace cs::test {

namespace {

constexpr wchar_t kFrameClass[] = L"cs_app_tests_frame";

void RegisterFrameClass() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kFrameClass;
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    RegisterClassW(&windowClass);  // a second registration fails harmlessly
}

}  // namespace

ResultListWindow::ResultListWindow(int width, int height, bool keepsNoRows) : width_(width) {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_LISTVIEW_CLASSES;
    InitCommonControlsEx(&controls);
    RegisterFrameClass();
    RECT bounds{0, 0, width, height};
    AdjustWindowRect(&bounds, WS_OVERLAPPEDWINDOW, FALSE);
    frame_ = CreateWindowExW(0, kFrameClass, L"result list", WS_OVERLAPPEDWINDOW, 0, 0,
                             bounds.right - bounds.left, bounds.bottom - bounds.top, nullptr,
                             nullptr, GetModuleHandleW(nullptr), nullptr);
    list_ = CreateWindowExW(0, WC_LISTVIEWW, L"",
                            WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SHOWSELALWAYS |
                                (keepsNoRows ? LVS_OWNERDATA : 0),
                            0, 0, width,
                            height, frame_, nullptr, GetModuleHandleW(nullptr), nullptr);
    groupsSupported_ = app::PrepareResultListView(list_, width);
}

ResultListWindow::~ResultListWindow() {
    if (frame_)
        DestroyWindow(frame_);
}

bool PumpUntilEnded(HANDLE thread, DWORD limitMilliseconds) {
    const ULONGLONG limit = GetTickCount64() + limitMilliseconds;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        if (now >= limit)
            return false;
        const DWORD wait = MsgWaitForMultipleObjects(1, &thread, FALSE,
                                                     static_cast<DWORD>(limit - now), QS_ALLINPUT);
        if (wait == WAIT_OBJECT_0)
            return true;
        if (wait != WAIT_OBJECT_0 + 1)
            return false;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

}  // namespace cs::test
