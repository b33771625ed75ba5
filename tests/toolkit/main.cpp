#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include "toolkit/handles.h"

// GDI+ and the common controls start once, as the program's entry does.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_LINK_CLASS};
    InitCommonControlsEx(&controls);
    cs::toolkit::GdiplusSession gdiplus;
    if (!gdiplus.Started())
        return 2;
    return RUN_ALL_TESTS();
}
