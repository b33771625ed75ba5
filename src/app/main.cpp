// The process entry of the desktop program: process-wide services (error
// mode, COM, common controls, GDI+), the icons, the application record and
// the main window function, then teardown in reverse. The exit code is 1 on
// every path.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include <memory>

#include "app/app_state.h"
#include "app/main_window.h"
#include "toolkit/handles.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int showCommand) {
    // Unreadable drives met during a scan must never raise system dialogs.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    const HRESULT com = CoInitialize(nullptr);
    // The links are SysLink controls, which only load when asked for.
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_LINK_CLASS};
    InitCommonControlsEx(&controls);
    // A failed start leaves the token 0; drawing that needs GDI+ then fails
    // quietly and the program still runs.
    ULONG_PTR gdiplusToken = 0;
    Gdiplus::GdiplusStartupInput input;
    if (Gdiplus::GdiplusStartup(&gdiplusToken, &input, nullptr) != Gdiplus::Ok)
        gdiplusToken = 0;
    HICON largeIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    HICON smallIcon = LoadIconW(instance, MAKEINTRESOURCEW(2));

    int exitCode = 1;
    {
        auto app = std::make_unique<cs::app::AppState>();
        exitCode =
            cs::app::RunMainWindow(*app, instance, commandLine, showCommand, largeIcon, smallIcon);
        cs::app::TeardownAppState(*app);
    }

    if (gdiplusToken != 0)
        Gdiplus::GdiplusShutdown(gdiplusToken);
    if (SUCCEEDED(com))
        CoUninitialize();
    return exitCode;
}
