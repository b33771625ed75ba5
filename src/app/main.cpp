// The process entry of the desktop program: process-wide services (error
// mode, COM, common controls, GDI+), the icons, the application record and
// the main window function, then teardown in reverse. The exit code is 1 on
// every path.
#include <windows.h>

#include <commctrl.h>

#include <memory>

#include "app/app_state.h"
#include "app/main_window.h"
#include "platform/win32/com.h"
#include "toolkit/handles.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int showCommand) {
    // Unreadable drives met during a scan must never raise system dialogs.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    const cs::platform::win32::ComApartment com;
    // The links are SysLink controls, which only load when asked for.
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_LINK_CLASS};
    InitCommonControlsEx(&controls);
    // A failed start leaves drawing that needs GDI+ failing quietly; the
    // program still runs.
    const cs::toolkit::GdiplusSession gdiplus;
    HICON largeIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    HICON smallIcon = LoadIconW(instance, MAKEINTRESOURCEW(2));

    auto app = std::make_unique<cs::app::AppState>();
    const int exitCode =
        cs::app::RunMainWindow(*app, instance, commandLine, showCommand, largeIcon, smallIcon);
    cs::app::TeardownAppState(*app);
    return exitCode;
}
