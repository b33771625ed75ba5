// The toolkit demo: a skinned popup and a captioned window with a side
// panel (a sub-window), labels, push buttons, a check box, an edit box and a
// list view, laid out with the list and side-panel flags. It prints every
// event it reads to stdout, one line each, so a person or a test can follow
// what the toolkit reports. Closing the captioned window ends the program;
// the skinned one closes with its button.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>

#include "toolkit/container.h"
#include "toolkit/drawing.h"
#include "toolkit/handles.h"
#include "toolkit/modal.h"
#include "toolkit/window.h"

namespace {

using namespace cs::toolkit;

constexpr int kMainWidth = 640;
constexpr int kMainHeight = 420;
constexpr int kPanelWidth = 200;
constexpr int kSkinWidth = 360;
constexpr int kSkinHeight = 170;
// Right half of the screen, where the tests' own windows (near the top-left
// corner) do not cover them while both run on one display.
constexpr int kMainX = 900;
constexpr int kMainY = 560;
constexpr int kSkinY = 340;

struct Slots {
    int32_t list = 0;
    int32_t panel = 0;
    int32_t apply = 0;
    int32_t reset = 0;
    int32_t check = 0;
    int32_t edit = 0;
    int32_t skinClose = 0;
};

int32_t Add(WindowRecord& record, ControlKind kind, const wchar_t* className, const wchar_t* text,
            DWORD style, int x, int y, int width, int height, DWORD exStyle = 0) {
    if (!EnsureControlCapacity(record))
        return 0;
    const int32_t slot = record.count + 1;
    if (record.flags & kFlagGroupStart)
        style |= WS_GROUP;
    HWND handle = CreateWindowExW(exStyle, className, text, WS_CHILD | WS_VISIBLE | style, x, y,
                                  width, height, record.currentParent,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(slot)),
                                  record.instance, nullptr);
    if (handle == nullptr || RegisterControl(record, kind, handle) != slot)
        return 0;
    record.controls[slot].designRect = {x, y, width, height};
    return slot;
}

void FillList(HWND list) {
    ListView_SetExtendedListViewStyle(
        list, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    const wchar_t* headings[] = {L" Name", L" Kind", L" Size"};
    for (int i = 0; i < 3; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.fmt = LVCFMT_LEFT;
        column.cx = 140;
        column.pszText = const_cast<wchar_t*>(headings[i]);
        ListView_InsertColumn(list, i, &column);
    }
    const wchar_t* rows[][3] = {{L"alpha.txt", L"text", L"12 KB"},
                                {L"beta.png", L"picture", L"1.5 MB"},
                                {L"gamma.doc", L"document", L"48 KB"},
                                {L"delta.bin", L"data", L"3 bytes"}};
    for (int row = 0; row < 4; ++row) {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.pszText = const_cast<wchar_t*>(rows[row][0]);
        ListView_InsertItem(list, &item);
        for (int column = 1; column < 3; ++column)
            ListView_SetItemText(list, row, column, const_cast<wchar_t*>(rows[row][column]));
    }
    ListView_SetCheckState(list, 1, TRUE);
}

bool BuildMain(WindowRecord& main, Slots& slots) {
    if (CreateToolkitWindow(main, L"TkDemoMain", L"Toolkit demo", kMainWidth, kMainHeight, kMainX,
                            kMainY, WS_OVERLAPPEDWINDOW, WS_EX_ACCEPTFILES, nullptr) == nullptr)
        return false;
    main.minTrackSize = {400, 300};
    main.newControlLayoutFlags = 0x433;
    slots.list = Add(main, ControlKind::kListView, WC_LISTVIEWW, L"",
                     WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS, 0, 0,
                     kMainWidth - kPanelWidth, kMainHeight);
    FillList(main.controls[slots.list].handle);

    main.newControlLayoutFlags = 0x432;
    slots.panel = CreateSubWindow(main, kMainWidth - kPanelWidth, kPanelWidth, kMainHeight);
    main.newControlLayoutFlags = 0;
    main.controls[slots.panel].backgroundBrush.Reset(CreateSolidBrush(RGB(0xF2, 0xF4, 0xF8)));
    main.controls[slots.panel].backColour = RGB(0xF2, 0xF4, 0xF8);

    Add(main, ControlKind::kLabel, L"Static", L"Side panel", SS_NOTIFY, 12, 12, 176, 20);
    Add(main, ControlKind::kLabel, L"Static", L"Labels, buttons, a check box and an edit box.",
        SS_NOTIFY, 12, 36, 176, 36);
    main.flags |= kFlagGroupStart;
    slots.apply =
        Add(main, ControlKind::kPushButton, L"Button", L"Apply", WS_TABSTOP, 12, 84, 80, 26);
    slots.reset =
        Add(main, ControlKind::kPushButton, L"Button", L"Reset", WS_TABSTOP, 100, 84, 80, 26);
    slots.check = Add(main, ControlKind::kCheckBox, L"Button", L"Include hidden items",
                      WS_TABSTOP | BS_AUTOCHECKBOX, 12, 124, 176, 22);
    Add(main, ControlKind::kLabel, L"Static", L"Filter:", SS_NOTIFY, 12, 158, 176, 18);
    slots.edit = Add(main, ControlKind::kEdit, L"Edit", L"*.txt", WS_TABSTOP | ES_AUTOHSCROLL, 12,
                     178, 176, 24, WS_EX_CLIENTEDGE);
    main.defaultButton = slots.apply;
    return slots.list != 0 && slots.panel != 0 && slots.edit != 0;
}

bool BuildSkinned(WindowRecord& skin, HWND owner, Slots& slots) {
    if (CreateToolkitWindow(skin, L"TkDemoSkin", L"Toolkit demo skin", kSkinWidth, kSkinHeight,
                            kMainX, kSkinY, WS_POPUP, 0, owner) == nullptr)
        return false;
    ApplyWindowSkin(skin, kSkinWidth, kSkinHeight, 0xFF303040, 0xFFFFFFFF, 0xFFE4E6EC, 12);
    skin.newControlLayoutFlags = 0x1000;  // the title drags the window
    // Without SS_NOTIFY the label lets the press through to the window.
    Add(skin, ControlKind::kLabel, L"Static", L"A skinned window", 0, 16, 12, 328, 22);
    skin.newControlLayoutFlags = 0;
    Add(skin, ControlKind::kLabel, L"Static",
        L"Transparent labels show the painted skin behind them, on the body and on the band.",
        SS_NOTIFY, 16, 44, 328, 40);
    Add(skin, ControlKind::kLabel, L"Static", L"On the band", SS_NOTIFY, 16, kSkinHeight - 28, 150,
        20);
    slots.skinClose = Add(skin, ControlKind::kPushButton, L"Button", L"Close", WS_TABSTOP,
                          kSkinWidth - 96, kSkinHeight - 33, 80, 25);
    return slots.skinClose != 0;
}

const wchar_t* Name(const EventRecord& events, const WindowRecord& main) {
    return events.window == &main ? L"main" : L"skin";
}

}  // namespace

int wmain() {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_LINK_CLASS};
    InitCommonControlsEx(&controls);
    GdiplusSession gdiplus;
    if (!gdiplus.Started()) {
        std::fputs("GDI+ did not start\n", stderr);
        return 1;
    }

    EventRecord events;
    WindowRecord main;
    WindowRecord skin;
    main.events = &events;
    skin.events = &events;
    Slots slots;
    if (!BuildMain(main, slots) || !BuildSkinned(skin, main.window, slots)) {
        std::fputs("the demo windows could not be created\n", stderr);
        return 1;
    }
    ShowToolkitWindow(main, SW_SHOWNORMAL, show::kUpdate | show::kForeground | show::kDrain);
    ShowToolkitWindow(skin, SW_SHOWNOACTIVATE, show::kUpdate | show::kDrain);
    UniqueHandle ticker = StartWakeTicker(main.window);
    // The slots, so a driver knows which event a click should give.
    std::printf("slots list=%d apply=%d check=%d edit=%d close=%d\n", slots.list, slots.apply,
                slots.check, slots.edit, slots.skinClose);
    std::printf("ready\n");
    std::fflush(stdout);

    while (WaitEvent(events)) {
        if (events.code == 0)
            continue;
        std::printf("event %d window %ls value %d\n", events.code, Name(events, main),
                    events.value);
        std::fflush(stdout);
        if (events.window == &skin &&
            (events.code == event::kClose || events.code == slots.skinClose) && skin.window) {
            CloseDialog(skin);
            continue;
        }
        if (events.window == &main && events.code == event::kClose)
            break;
    }
    if (skin.window != nullptr)
        CloseDialog(skin);
    DestroyToolkitWindow(main);
    std::printf("closed\n");
    std::fflush(stdout);
    return 0;
}
