// The toolkit demo, written as the program's windows are: a skinned popup,
// a captioned window with a side panel (a sub-window on its own colour),
// labels, push buttons, a check box, a find box with its grey placeholder,
// a rule, radio buttons, a size grip, a list view and an image button with
// a tooltip, laid out with the list and side-panel flags, and a window with the remaining control kinds (preset
// list, link, radio buttons, pictures, read-only text, a button with a
// menu) whose buttons open a yes/no message box, a tip and the progress
// dialog (spinning, then at 40 %). It prints every event it reads to
// stdout, one line each, and the screen rectangles of what it opens, so a
// person or a test can follow and drive it. Closing the captioned window
// ends the program; the skinned one closes with its button.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>

#include "toolkit/container.h"
#include "toolkit/controls.h"
#include "toolkit/drawing.h"
#include "toolkit/handles.h"
#include "toolkit/modal.h"
#include "toolkit/msgbox.h"
#include "toolkit/progress.h"
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
constexpr int kControlsWidth = 580;
constexpr int kControlsHeight = 262;
constexpr int kControlsX = 900;
constexpr int kControlsY = 40;

constexpr COLORREF kPaneColour = RGB(0xF2, 0xF4, 0xF8);
constexpr COLORREF kRuleColour = RGB(0x10, 0x10, 0x10);
constexpr int32_t kPlaceholderColour = 0x909090;

struct Slots {
    int32_t list = 0;
    int32_t panel = 0;
    int32_t apply = 0;
    int32_t reset = 0;
    int32_t check = 0;
    int32_t edit = 0;
    int32_t recycle = 0;
    int32_t skinClose = 0;
    int32_t imageButton = 0;
    int32_t ask = 0;
    int32_t tip = 0;
    int32_t progress = 0;
    int32_t menuButton = 0;
};

void FillList(HWND list) {
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

// The program's own icon as a GDI+ image, for the image button and pictures.
GdipImage IconImage(HINSTANCE instance, UniqueBitmap* bitmap = nullptr) {
    UniqueIcon icon(static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, 32, 32, LR_DEFAULTCOLOR)));
    UniqueBitmap iconBitmap = IconToBitmap(icon.Get(), 32, 32);
    GdipImage image = BitmapToImage(iconBitmap.Get());
    if (bitmap != nullptr)
        *bitmap = std::move(iconBitmap);
    return image;
}

// The main window's shape: the list fills the window left of a pane that
// keeps to the right edge; the pane holds the buttons, the find box with
// its grey placeholder, the removal-mode radios on the pane's colour and
// the size grip.
bool BuildMain(WindowRecord& main, Slots& slots) {
    if (CreateToolkitWindow(main, L"TkDemoMain", L"Toolkit demo", kMainWidth, kMainHeight, kMainX,
                            kMainY, WS_OVERLAPPEDWINDOW, WS_EX_ACCEPTFILES, nullptr) == nullptr)
        return false;
    main.minTrackSize = {400, 300};
    SetWindowBackColour(main, RGB(0xFD, 0xFD, 0xFF));
    slots.list = CreateList(
        main, L" Name\n Kind\n Size",
        {.rect = {0, 0, kMainWidth - kPanelWidth, kMainHeight}, .layout = layout::kFillsWindow});
    if (slots.list != 0)
        FillList(main.controls[slots.list].handle);

    slots.panel =
        CreateSubWindow(main, {.rect = {kMainWidth - kPanelWidth, 0, kPanelWidth, kMainHeight},
                               .layout = layout::kRightPane});
    SetControlBackColour(main, slots.panel, static_cast<int32_t>(kPaneColour));
    // Everything below sits in the panel.
    auto in = [&slots](ControlRect rect) { return Placement{.rect = rect, .parent = slots.panel}; };

    CreateLabel(main, L"Side panel", in({12, 12, 176, 20}));
    CreateLabel(main, L"Labels, buttons, a check box and an edit box.", in({12, 36, 176, 36}));
    slots.apply = CreatePushButton(
        main, L"Apply", {.rect = {12, 84, 80, 26}, .parent = slots.panel, .groupStart = true});
    slots.reset = CreatePushButton(main, L"Reset", in({100, 84, 80, 26}));
    slots.check = CreateCheckBox(main, L"Include hidden items", in({12, 124, 176, 22}));
    CreateLabel(main, L"Find:", in({12, 158, 176, 18}));
    slots.edit = CreateEditBox(main, L"Type a name to find", in({12, 178, 176, 24}));
    SetControlTextColour(main, slots.edit, kPlaceholderColour);
    SetDefaultButton(main, slots.apply);

    GdipImage icon = IconImage(main.instance);
    slots.imageButton = CreateImageButton(main, in({10, 214, kImageButtonWidth, 40}));
    const ImageButtonStyle look = LightImageButtonStyle();  // the main window's
    PaintImageButton(main, slots.imageButton, L"Start a new scan", icon.Get(), 40,
                     L"Pick a folder and the criteria,\r\nthen start the scan", &look);

    CreateHorizontalRule(main, kRuleColour, in({12, 264, 176, 2}));
    slots.recycle =
        CreateRadioButton(main, L"Move to the recycle bin",
                          {.rect = {12, 274, 176, 20}, .parent = slots.panel, .groupStart = true});
    CreateRadioButton(main, L"Delete permanently", in({12, 296, 176, 20}));
    SetControlState(main, slots.recycle, state::kChecked);
    CreateSizeGrip(main, 16, slots.panel);
    return slots.list != 0 && slots.panel != 0 && slots.edit != 0 && slots.imageButton != 0;
}

bool BuildControls(WindowRecord& window, HWND owner, Slots& slots) {
    if (CreateToolkitWindow(window, L"TkDemoControls", L"Toolkit demo controls", kControlsWidth,
                            kControlsHeight, kControlsX, kControlsY, kDefaultStyle, 0,
                            owner) == nullptr)
        return false;
    CreateLabel(window, L"Every other control kind of the toolkit:", {.rect = {10, 76, 330, 20}});
    const int32_t text = CreateTextBox(window, {.rect = {10, 10, 330, 54}});
    SetControlText(window, text,
                   L"A read-only text box.\r\nIt wraps and scrolls like an edit box.");
    SetControlTextColour(window, text, RGB(0x30, 0x30, 0x90));
    CreateRadioButton(window, L"Exact names", {.rect = {360, 40, 200, 20}, .groupStart = true});
    CreateRadioButton(window, L"Similar names", {.rect = {360, 62, 200, 20}});
    CreateRadioButton(window, L"Same extension", {.rect = {360, 84, 200, 20}});
    CreateDropDownList(window,
                       L"Exact duplicates (same size and contents)\nSimilar names\nSame size only",
                       {.rect = {10, 110, 545, 0}});
    CreateLink(window,
               L"Read about <a href=\"https://example.org/clonesifter/\">scan criteria</a> on the "
               L"web site",
               {.rect = {10, 146, 420, 20}});
    UniqueBitmap iconBitmap;
    GdipImage icon = IconImage(window.instance, &iconBitmap);
    CreatePicture(window, iconBitmap.Get(), {.rect = {10, 180, 32, 32}});
    CreateScaledPicture(window, icon.Get(), {.rect = {52, 172, 48, 48}});
    slots.menuButton = CreatePushButton(window, L"Menu", {.rect = {120, 180, 90, 26}});
    CreateAttachedMenu(window, slots.menuButton, L"Open folder", nullptr);
    AddMenuEntry(window, slots.menuButton, nullptr, menu_entry::kAppend, menu_entry::kSeparator,
                 nullptr, nullptr);
    AddMenuEntry(window, slots.menuButton, L"Keep newest", menu_entry::kAppend, menu_entry::kRadio,
                 nullptr, nullptr);
    slots.ask = CreatePushButton(window, L"Ask", {.rect = {10, 228, 100, 26}});
    slots.tip = CreatePushButton(window, L"Tip", {.rect = {120, 228, 100, 26}});
    slots.progress = CreatePushButton(window, L"Progress", {.rect = {230, 228, 100, 26}});
    return slots.progress != 0;
}

bool BuildSkinned(WindowRecord& skin, HWND owner, Slots& slots) {
    if (CreateToolkitWindow(skin, L"TkDemoSkin", L"Toolkit demo skin", kSkinWidth, kSkinHeight,
                            kMainX, kSkinY, WS_POPUP, 0, owner) == nullptr)
        return false;
    ApplyWindowSkin(skin, kSkinWidth, kSkinHeight, 0xFF303040, 0xFFFFFFFF, 0xFFE4E6EC, 12);
    // The title drags the window: without SS_NOTIFY the label lets the press
    // through to the window, which starts the drag.
    CreateStandardControl(skin, ControlKind::kLabel, L"Static", L"A skinned window",
                          WS_CHILD | WS_VISIBLE, 0,
                          {.rect = {16, 12, 328, 22}, .layout = layout::kCaption});
    CreateLabel(skin,
                L"Transparent labels show the painted skin behind them, on the body and on the "
                L"band.",
                {.rect = {16, 44, 328, 40}});
    CreateLabel(skin, L"On the band", {.rect = {16, kSkinHeight - 28, 150, 20}});
    slots.skinClose =
        CreatePushButton(skin, L"Close", {.rect = {kSkinWidth - 96, kSkinHeight - 33, 80, 25}});
    return slots.skinClose != 0;
}

struct Windows {
    WindowRecord* main;
    WindowRecord* skin;
    WindowRecord* controls;
    MsgBox* box;
    ProgressDialog* progress;
};

const wchar_t* Name(const EventRecord& events, const Windows& windows) {
    if (events.window == windows.main)
        return L"main";
    if (events.window == windows.skin)
        return L"skin";
    if (events.window == windows.controls)
        return L"controls";
    if (events.window == &windows.box->window)
        return windows.box->kind == msgbox::kTip ? L"tip" : L"box";
    if (events.window == &windows.progress->window)
        return L"progress";
    return L"other";
}

void PrintRect(const char* what, HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    std::printf("rect %s %ld %ld %ld %ld\n", what, rect.left, rect.top, rect.right - rect.left,
                rect.bottom - rect.top);
    std::fflush(stdout);
}

// Where a driver clicks a control: its centre on the screen.
void PrintCentre(const char* what, WindowRecord& record, int32_t slot) {
    ControlRecord* control = FindControl(record, slot);
    if (control == nullptr)
        return;
    RECT rect{};
    GetWindowRect(control->handle, &rect);
    std::printf("centre %s %ld %ld\n", what, (rect.left + rect.right) / 2,
                (rect.top + rect.bottom) / 2);
    std::fflush(stdout);
}

// The box's wait: tells the driver once per box where it and its "No" are.
bool AnnouncingPump(EventRecord& events, void* context) {
    auto* box = static_cast<MsgBox*>(context);
    static HWND announced = nullptr;
    if (box->window.window != nullptr && box->window.window != announced) {
        announced = box->window.window;
        PrintRect("box", box->window.window);
        PrintCentre("no", box->window, box->secondButtonId);
    }
    return WaitEvent(events);
}

// What the loop acts on, besides the windows it names in its output.
struct Demo {
    EventRecord events;
    WindowRecord main;
    WindowRecord skin;
    WindowRecord controls;
    MsgBox box;
    ProgressDialog progress;
    Slots slots;
};

// The slots, so a driver knows which event a click should give, and where
// the buttons that open the box, the tip and the dialog are.
void AnnounceSlots(Demo& demo) {
    const Slots& slots = demo.slots;
    std::printf(
        "slots list=%d apply=%d check=%d edit=%d close=%d image=%d ask=%d tip=%d "
        "progress=%d\n",
        slots.list, slots.apply, slots.check, slots.edit, slots.skinClose, slots.imageButton,
        slots.ask, slots.tip, slots.progress);
    PrintCentre("ask", demo.controls, slots.ask);
    PrintCentre("tip", demo.controls, slots.tip);
    PrintCentre("progress", demo.controls, slots.progress);
    std::printf("ready\n");
    std::fflush(stdout);
}

// First press: spinning as the program's callers open it; second: 40 %.
void PressProgress(Demo& demo) {
    ProgressDialog& progress = demo.progress;
    if (progress.window.window == nullptr) {
        ProgressOpen(progress, L"Currently scanning...\r\nZ:\\srv\\data", &demo.controls);
        ProgressSetState(progress, progress::kSpin, nullptr);
        ProgressAddCancel(progress);
        ProgressShow(progress);
        std::printf("progress spinning\n");
    } else {
        ProgressSetState(progress, 40, L"Deleting the selected files...");
        std::printf("progress 40\n");
    }
    PrintRect("progress", progress.window.window);
    PrintCentre("cancel", progress.window, progress.cancelId);
}

// Acts on one event; false when the captioned window closes.
bool HandleEvent(Demo& demo, const Windows& windows) {
    const EventRecord& events = demo.events;
    const Slots& slots = demo.slots;
    std::printf("event %d window %ls value %d\n", events.code, Name(events, windows), events.value);
    std::fflush(stdout);
    const Event e = ReadEvent(events);
    if (e.window == &demo.controls && e.IsCommand(slots.ask)) {
        const int32_t answer =
            MsgBoxAsk(demo.box, L"Are you sure you want to delete the selected files?",
                      msgbox::kYesNo, &demo.controls, nullptr, AnnouncingPump, &demo.box);
        std::printf("answer %d\n", answer);
        std::fflush(stdout);
    } else if (e.window == &demo.controls && e.IsCommand(slots.tip)) {
        MsgBoxShow(demo.box, &demo.controls, L"The selected path was copied to the clipboard.",
                   msgbox::kTip);
        if (demo.box.window.window != nullptr)
            PrintRect("tip", demo.box.window.window);
    } else if (e.window == &demo.controls && e.IsCommand(slots.progress)) {
        PressProgress(demo);
    } else if (e.window == &demo.progress.window && e.IsCommand(demo.progress.cancelId)) {
        ProgressClose(demo.progress);
        std::printf("progress closed\n");
        std::fflush(stdout);
    } else if (e.window == &demo.skin &&
               (e.kind == event::kClose || e.IsCommand(slots.skinClose)) && demo.skin.window) {
        CloseDialog(demo.skin);
    } else if (e.window == &demo.main && e.kind == event::kClose) {
        return false;
    }
    return true;
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

    Demo demo;
    demo.main.events = &demo.events;
    demo.skin.events = &demo.events;
    demo.controls.events = &demo.events;
    if (!BuildMain(demo.main, demo.slots) ||
        !BuildSkinned(demo.skin, demo.main.window, demo.slots) ||
        !BuildControls(demo.controls, demo.main.window, demo.slots)) {
        std::fputs("the demo windows could not be created\n", stderr);
        return 1;
    }
    ShowToolkitWindow(demo.main, SW_SHOWNORMAL, show::kUpdate | show::kForeground | show::kDrain);
    ShowToolkitWindow(demo.skin, SW_SHOWNOACTIVATE, show::kUpdate | show::kDrain);
    ShowToolkitWindow(demo.controls, SW_SHOWNOACTIVATE, show::kUpdate | show::kDrain);
    const Windows windows{&demo.main, &demo.skin, &demo.controls, &demo.box, &demo.progress};
    UniqueHandle ticker = StartWakeTicker(demo.main.window);
    AnnounceSlots(demo);

    while (WaitEvent(demo.events)) {
        if (demo.events.code == 0)
            continue;
        // A tip vanishes at the next user action, which still takes effect.
        if (CloseTipOnEvent(demo.box, demo.events)) {
            std::printf("tip closed\n");
            std::fflush(stdout);
        }
        if (!HandleEvent(demo, windows))
            break;
    }
    if (demo.skin.window != nullptr)
        CloseDialog(demo.skin);
    MsgBoxClose(demo.box);
    ProgressClose(demo.progress);
    DestroyToolkitWindow(demo.controls);
    DestroyToolkitWindow(demo.main);
    std::printf("closed\n");
    std::fflush(stdout);
    return 0;
}
