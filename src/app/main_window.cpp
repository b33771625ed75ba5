#include "app/main_window.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <new>
#include <string>

#include "app/commands.h"
#include "app/kept_rows.h"
#include "app/find_commands.h"
#include "app/scan_flow.h"
#include "app/texts.h"
#include "app/window_rules.h"
#include "platform/text.h"
#include "results/rows.h"
#include "toolkit/container.h"
#include "toolkit/controls.h"
#include "toolkit/drawing.h"
#include "toolkit/msgbox.h"
#include "toolkit/progress.h"
#include "toolkit/tooltips.h"
#include "toolkit/worker.h"

namespace cs::app {

namespace {

using namespace toolkit;

constexpr int kPaneWidth = 180;
constexpr int kGripSize = 24;
constexpr int kGripDrawnSize = 240;
constexpr Argb kGripColour = 0xFF2020EF;
constexpr COLORREF kPaneColour = RGB(0xF4, 0xF5, 0xF8);
constexpr int32_t kPaneLayout = layout::kRightPane;
constexpr int32_t kListLayout = layout::kFillsWindow;
// The grip stays at the pane's foot; the pane keeps its width, so the grip
// keeps its x.
constexpr int32_t kGripLayout = layout::kLeft | layout::kBottom;
constexpr ControlFont kSectionFont{.points = 10.0, .weight = 800};

constexpr UINT kSmallSize = 0x00100000;
constexpr UINT kLargeSize = 0x00000020;
constexpr UINT kBothSizes = 0x00100020;

std::wstring Shell32Path() {
    wchar_t system[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_SYSTEM, nullptr, 0, system)))
        return L"shell32.dll";
    return std::wstring(system) + L"\\shell32.dll";
}

void ExtractShellIcons(MainWindow& window) {
    const std::wstring path = Shell32Path();
    auto extract = [&](int index, UINT size, int largeSlot, int smallSlot) {
        HICON large = nullptr;
        HICON small = nullptr;
        if (FAILED(SHDefExtractIconW(path.c_str(), index, 0, largeSlot >= 0 ? &large : nullptr,
                                     smallSlot >= 0 ? &small : nullptr, size)))
            return;
        if (largeSlot >= 0)
            window.icons[largeSlot].Reset(large);
        if (smallSlot >= 0)
            window.icons[smallSlot].Reset(small);
    };
    extract(3, kSmallSize, -1, kFolderRowIcon);
    extract(72, kSmallSize, -1, kFileRowIcon);
    extract(263, kBothSizes, kLocationLarge, kLocationSmall);
    extract(54, kSmallSize, -1, kCopyIcon);
    extract(22, kLargeSize, kScanIcon, -1);
    extract(171, kSmallSize, -1, kFindIcon);
    extract(133, kLargeSize, kSelectIcon, -1);
    extract(31, kLargeSize, kDeleteIcon, -1);
    extract(98, kSmallSize, -1, kCompareIcon);
    extract(137, kSmallSize, -1, kPreviewIcon);
}

// The pane's controls all sit in the pane.
Placement InPane(const MainWindow& window, ControlRect rect) {
    return {.rect = rect, .parent = window.slots.pane};
}

int32_t ImageButton(MainWindow& window, int y, int height, const wchar_t* caption, HICON icon,
                    int iconSize, const wchar_t* tip) {
    WindowRecord& record = window.app.mainWindow;
    const int32_t slot =
        CreateImageButton(record, InPane(window, {10, y, kImageButtonWidth, height}));
    if (slot == 0)
        return 0;
    GdipImage image;
    if (icon != nullptr) {
        UniqueBitmap bitmap = IconToBitmap(icon, iconSize, iconSize);
        image = BitmapToImage(bitmap.Get());
    }
    const ImageButtonStyle look = LightImageButtonStyle();
    PaintImageButton(record, slot, caption, image.Get(), height, tip, &look);
    return slot;
}

int32_t SectionLabel(MainWindow& window, const wchar_t* text, int y) {
    return CreateLabel(
        window.app.mainWindow, text,
        {.rect = {10, y, 160, 20}, .parent = window.slots.pane, .font = kSectionFont});
}

// Four parallel diagonal strokes, drawn large and scaled down so the
// anti-aliasing stays smooth at 24 pixels.
UniqueBitmap DrawGrip() {
    using namespace Gdiplus::DllExports;
    GdipImage canvas = CreatePremultipliedBitmap(kGripDrawnSize, kGripDrawnSize);
    if (!canvas)
        return UniqueBitmap();
    {
        GdipGraphics graphics;
        if (!graphics.Check(GdipGetImageGraphicsContext(canvas.Get(), graphics.Put())))
            return UniqueBitmap();
        GdipGraphicsClear(graphics.Get(), 0x00000000);
        GdipSetSmoothingMode(graphics.Get(), Gdiplus::SmoothingModeAntiAlias);
        GdipPen pen;
        if (!pen.Check(GdipCreatePen1(kGripColour, 24.0f, Gdiplus::UnitPixel, pen.Put())))
            return UniqueBitmap();
        for (int i = 0; i < 4; ++i) {
            const float start = static_cast<float>(70 * i + 10);
            GdipDrawLine(graphics.Get(), pen.Get(), start, static_cast<float>(kGripDrawnSize),
                         static_cast<float>(kGripDrawnSize), start);
        }
    }
    GdipImage scaled = ScaleImage(canvas.Get(), kGripSize, kGripSize, 0);
    HBITMAP bitmap = nullptr;
    if (!scaled ||
        GdipCreateHBITMAPFromBitmap(AsBitmap(scaled), &bitmap, 0x00000000) != Gdiplus::Ok)
        return UniqueBitmap();
    return UniqueBitmap(bitmap);
}

void CreatePane(MainWindow& window, SIZE client) {
    AppState& app = window.app;
    WindowRecord& record = app.mainWindow;
    MainSlots& s = window.slots;
    s.pane = CreateSubWindow(record, {.rect = {client.cx - kPaneWidth, 0, kPaneWidth, client.cy},
                                      .layout = kPaneLayout});
    SetControlBackColour(record, s.pane, static_cast<int32_t>(kPaneColour));

    s.scanLabel = SectionLabel(window, texts::kScanSection, 10);
    s.startScan = ImageButton(window, 30, 40, texts::kStartScan, window.icons[kScanIcon].Get(), 32,
                              texts::kStartScanTip);
    s.analyzeLabel = SectionLabel(window, texts::kAnalyzeSection, 90);
    s.findBox = CreateEditBox(record, texts::kFindPlaceholder, InPane(window, {10, 110, 160, 22}));
    SetControlTextColour(record, s.findBox, 0x909090);
    s.findNext = ImageButton(window, 135, 32, texts::kFindNext, window.icons[kFindIcon].Get(), 16,
                             texts::kFindNextTip);
    s.openLocation = ImageButton(window, 185, 40, texts::kOpenLocation,
                                 window.icons[kLocationLarge].Get(), 32, texts::kOpenLocationTip);
    s.select = ImageButton(window, 230, 40, texts::kSelect, window.icons[kSelectIcon].Get(), 32,
                           texts::kSelectTip);
    s.removalLabel = SectionLabel(window, texts::kRemovalSection, 290);
    s.recycle =
        CreateRadioButton(record, texts::kRecycle,
                          {.rect = {10, 310, 160, 18}, .parent = s.pane, .groupStart = true});
    s.deletePermanently =
        CreateRadioButton(record, texts::kDeletePermanently, InPane(window, {10, 335, 160, 18}));
    SetControlState(record, s.recycle, state::kChecked);
    s.deleteTicked = ImageButton(window, 360, 40, texts::kDeleteTicked,
                                 window.icons[kDeleteIcon].Get(), 32, texts::kDeleteTickedTip);
    s.siteLink = CreateLink(record, texts::kSiteLink, InPane(window, {10, 420, 170, 20}));
    s.versionLink = CreateLink(record, texts::kVersionLink, InPane(window, {10, 445, 160, 20}));
    s.helpLink = CreateLink(record, texts::kHelpLink, InPane(window, {10, 470, 140, 20}));
    for (int32_t link : {s.siteLink, s.versionLink, s.helpLink})
        SetLinkPlainColours(record, link);

    window.gripBitmap = DrawGrip();
    const ControlRect corner{kPaneWidth - kGripSize, client.cy - kGripSize, kGripSize, kGripSize};
    s.grip = CreatePicture(record, window.gripBitmap.Get(),
                           {.rect = corner, .parent = s.pane, .layout = kGripLayout});
    // Drawn by the program, acting as the toolkit's grip.
    ActAsSizeGrip(record, s.grip);
    SetControlState(record, s.openLocation, state::kDisabled);
    SetControlState(record, s.deleteTicked, state::kDisabled);
}

// Item data of the rows: the colours of separators and titles, the texts
// of member rows; a record the list's owner frees when the row goes. Made
// on whichever thread rebuilds the list.
constexpr COLORREF kTitleBack = RGB(0xE4, 0xE8, 0xF0);
constexpr COLORREF kTitleText = RGB(0x20, 0x30, 0x60);

LPARAM MakeSeparatorData() {
    auto* colours = new (std::nothrow) ListRowData;
    if (colours == nullptr)
        return 0;
    colours->row.backColour = static_cast<int32_t>(results::kSeparatorColour);
    return reinterpret_cast<LPARAM>(colours);
}

LPARAM MakeRowTexts(std::wstring_view path, std::wstring_view name, std::wstring_view size) {
    return reinterpret_cast<LPARAM>(NewRowWithTexts({path, name, size}));
}

void ReleaseRowData(LPARAM data) {
    delete reinterpret_cast<ListRowData*>(data);
}

// A title row is told apart from a separator by its text colour.
LPARAM MakeTitleData(int) {
    auto* colours = new (std::nothrow) ListRowData;
    if (colours == nullptr)
        return 0;
    colours->row.backColour = static_cast<int32_t>(kTitleBack);
    colours->row.textColour = static_cast<int32_t>(kTitleText);
    return reinterpret_cast<LPARAM>(colours);
}

const wchar_t* SectionName(int group) {
    switch (group) {
        case results::kFolderGroup:
            return texts::kFolderSection;
        case results::kFileGroup:
            return texts::kFileSection;
        case results::kZeroByteGroup:
            return texts::kZeroByteSection;
        default:
            return L"";
    }
}

// Writes the section names over the title rows once the list has painted
// them: the list draws no text of its own there (the rows have none, so
// find and the rules never see a title), and plain GDI keeps the painting
// clear of the GDI+ lock the workers' threads may hold.
LRESULT CALLBACK TitlePainter(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                              DWORD_PTR reference) {
    if (message == WM_NCDESTROY)
        RemoveWindowSubclass(list, TitlePainter, id);
    if (message != WM_PAINT)
        return DefSubclassProc(list, message, wParam, lParam);
    const LRESULT result = DefSubclassProc(list, message, wParam, lParam);
    auto* font = reinterpret_cast<HFONT>(reference);
    const auto top = static_cast<int>(SendMessageW(list, LVM_GETTOPINDEX, 0, 0));
    const auto page = static_cast<int>(SendMessageW(list, LVM_GETCOUNTPERPAGE, 0, 0));
    const auto count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    const WindowDc dc(list);
    if (!dc)
        return result;
    const SelectGuard selectFont(dc.Get(), font);
    SetBkMode(dc.Get(), TRANSPARENT);
    SetTextColor(dc.Get(), kTitleText);
    for (int row = top; row >= 0 && row < count && row <= top + page + 1; ++row) {
        LVITEMW item{};
        item.mask = LVIF_PARAM | LVIF_STATE;
        item.iItem = row;
        item.stateMask = LVIS_OVERLAYMASK;
        if (!SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)))
            continue;
        auto* colours = reinterpret_cast<ListRowData*>(item.lParam);
        if (colours == nullptr || colours->row.textColour != static_cast<int32_t>(kTitleText))
            continue;
        RECT bounds{};
        bounds.left = LVIR_BOUNDS;
        if (!SendMessageW(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&bounds)))
            continue;
        const UniqueBrush back(CreateSolidBrush(kTitleBack));
        FillRect(dc.Get(), &bounds, back.Get());
        bounds.left += 6;
        const int group = static_cast<int>((item.state & LVIS_OVERLAYMASK) >> 8);
        DrawTextW(dc.Get(), SectionName(group), -1, &bounds, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    }
    return result;
}

void CreateResultList(MainWindow& window, SIZE client) {
    AppState& app = window.app;
    WindowRecord& record = app.mainWindow;
    window.slots.list =
        CreateList(record, texts::kColumnHeadings,
                   {.rect = {0, 0, client.cx - kPaneWidth, client.cy}, .layout = kListLayout},
                   true);
    ControlRecord* list = FindControl(record, window.slots.list);
    if (list == nullptr || !KeepRowsForList(list->handle, ReleaseRowData))
        return;
    app.listHandle = list->handle;
    window.groupsSupported = PrepareResultListView(list->handle, client.cx);

    HIMAGELIST images = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 5, 3);
    if (images != nullptr) {
        ImageList_AddIcon(images, window.icons[kFolderRowIcon].Get());
        ImageList_AddIcon(images, window.icons[kFileRowIcon].Get());
        // The list destroys it with itself.
        SendMessageW(list->handle, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images));
    }

    if (!window.groupsSupported) {
        LOGFONTW face{};
        face.lfHeight = FontHeightForPoints(9.0);
        face.lfWeight = FW_BOLD;
        wcscpy_s(face.lfFaceName, L"Segoe UI");
        window.titleFont.Reset(CreateFontIndirectW(&face));
        SetWindowSubclass(list->handle, TitlePainter, 1,
                          reinterpret_cast<DWORD_PTR>(window.titleFont.Get()));
    }
    app.rows = std::make_unique<SectionedRows>(list->handle, MakeSeparatorData, ReleaseRowData,
                                               MakeTitleData, MakeRowTexts);
    GetClientRect(record.window, &app.listRect);
}

SIZE ClientSize(MainWindow& window) {
    int horizontal = 0;
    int vertical = 0;
    {
        const WindowDc screen(nullptr);
        horizontal = GetDeviceCaps(screen.Get(), HORZRES);
        vertical = GetDeviceCaps(screen.Get(), VERTRES);
    }
    const SIZE rule = MainClientSizeForScreen(horizontal, vertical);
    RECT frame{0, 0, rule.cx, rule.cy};
    AdjustWindowRectEx(&frame, WS_OVERLAPPEDWINDOW, FALSE, WS_EX_ACCEPTFILES);
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const SIZE fitted = FitClientIntoWorkArea(
        rule, {frame.right - frame.left - rule.cx, frame.bottom - frame.top - rule.cy},
        {work.right - work.left, work.bottom - work.top});
    window.fittedToWorkArea = fitted.cx != rule.cx || fitted.cy != rule.cy;
    return fitted;
}

void RefitColumns(MainWindow& window) {
    AppState& app = window.app;
    RECT client{};
    // Minimised, the client area is empty: nothing to fit, and the width
    // it has on restoring is the one it had.
    if (app.mainHandle == nullptr || app.listHandle == nullptr || IsIconic(app.mainHandle) ||
        !GetClientRect(app.mainHandle, &client) || client.right == app.lastClientWidth)
        return;
    const int name = static_cast<int>(SendMessageW(app.listHandle, LVM_GETCOLUMNWIDTH, 1, 0));
    const int size = static_cast<int>(SendMessageW(app.listHandle, LVM_GETCOLUMNWIDTH, 2, 0));
    SendMessageW(app.listHandle, LVM_SETCOLUMNWIDTH, 0,
                 PathColumnWidthFor(client.right, name, size));
    app.lastClientWidth = client.right;
    // A tip goes at the user's next action, a resize among them; a box is a
    // question or a report that waits for its answer, and stays.
    if (app.msgBox.kind == msgbox::kTip)
        MsgBoxClose(app.msgBox);
}

}  // namespace

WindowRecord* TipOwner(AppState& app) {
    return app.mainHandle != nullptr && IsWindowVisible(app.mainHandle) ? &app.mainWindow : nullptr;
}

bool NextEvent(MainWindow& window) {
    AppState& app = window.app;
    EventRecord& events = *app.events;
    if (!WaitEvent(events))
        return false;
    CheckFinishedScan(window);
    CloseTipOnEvent(app.msgBox, events);
    // A press in the list gives no event of its own, yet it is the user's
    // next action and the tip must go.
    const MSG& taken = events.messageCopy;
    if ((taken.message == WM_LBUTTONDOWN || taken.message == WM_RBUTTONDOWN) &&
        app.listHandle != nullptr &&
        (taken.hwnd == app.listHandle || IsChild(app.listHandle, taken.hwnd)) &&
        app.msgBox.kind == msgbox::kTip)
        MsgBoxClose(app.msgBox);
    // The window reports no size event for a plain resize (only while the
    // frame is dragged), so the width is compared after every message.
    RefitColumns(window);
    const Event e = ReadEvent(events);
    if (app.progress.window.window != nullptr && e.window == &app.progress.window &&
        e.IsCommand(app.progress.cancelId))
        app.cancelRequested = 1;
    if (e.window != &app.mainWindow)
        return true;
    if (e.kind == event::kClose) {
        app.closeRequested = true;
    } else if (e.IsCommand(window.slots.siteLink)) {
        ShellOpen(texts::kSiteRoot);
    } else if (e.IsCommand(window.slots.versionLink)) {
        ShellOpen(texts::kSiteAbout);
    } else if (e.IsCommand(window.slots.helpLink)) {
        ShellOpen(texts::kSiteHelp);
    }
    return true;
}

bool NextEventUntilClose(MainWindow& window) {
    return !window.app.closeRequested && NextEvent(window) && !window.app.closeRequested;
}

bool PumpForToolkit(EventRecord&, void* context) {
    return NextEvent(*static_cast<MainWindow*>(context));
}

bool PumpUntilCloseRequest(EventRecord&, void* context) {
    return NextEventUntilClose(*static_cast<MainWindow*>(context));
}

namespace {

LRESULT CALLBACK CancelWatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                             DWORD_PTR reference) {
    auto& app = *reinterpret_cast<AppState*>(reference);
    if (message == WM_COMMAND && app.progress.cancelId > 0 &&
        LOWORD(wParam) == app.progress.cancelId && (app.scanThread || app.removalThread))
        app.cancelRequested = 1;
    if (message == WM_NCDESTROY)
        RemoveWindowSubclass(window, CancelWatch, id);
    return DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace

void OpenWorkerProgress(AppState& app, const wchar_t* text) {
    ProgressOpen(app.progress, text, &app.mainWindow);
    ProgressSetState(app.progress, progress::kSpin, nullptr);
    ProgressAddCancel(app.progress);
    ProgressShow(app.progress);
    if (app.progress.window.window != nullptr)
        SetWindowSubclass(app.progress.window.window, CancelWatch, 1,
                          reinterpret_cast<DWORD_PTR>(&app));
}

void HoldListDrawing(MainWindow& window, bool hold, bool drawNow) {
    HWND list = window.app.listHandle;
    if (list == nullptr)
        return;
    const bool painter = !window.groupsSupported;
    if (hold) {
        SendMessageW(list, WM_SETREDRAW, FALSE, 0);
        if (painter)
            RemoveWindowSubclass(list, TitlePainter, 1);
        return;
    }
    if (painter)
        SetWindowSubclass(list, TitlePainter, 1,
                          reinterpret_cast<DWORD_PTR>(window.titleFont.Get()));
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(list, nullptr, nullptr,
                 drawNow ? RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW
                         : RDW_VALIDATE | RDW_NOCHILDREN);
}

void DrawListBand(MainWindow& window, int band, int bands) {
    HWND list = window.app.listHandle;
    RECT client{};
    if (list == nullptr || bands <= 0 || !GetClientRect(list, &client))
        return;
    RECT part = client;
    part.top = client.top + (client.bottom - client.top) * band / bands;
    part.bottom = client.top + (client.bottom - client.top) * (band + 1) / bands;
    RedrawWindow(list, &part, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void BeginMainBusy(MainWindow& window) {
    BeginBusy(window.busy, window.app.mainWindow, window.slots.startScan, window.slots.list,
              window.slots.grip);
}

void EndMainBusy(MainWindow& window) {
    EndBusy(window.busy);
}

bool WorkerRunning(const AppState& app) {
    return static_cast<bool>(app.scanThread) || static_cast<bool>(app.removalThread);
}

UniqueHandle StartWorkerThread(LPTHREAD_START_ROUTINE entry, void* parameter) {
    if (GetEnvironmentVariableW(L"CS_TEST_FAIL_THREAD_START", nullptr, 0) != 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return UniqueHandle();
    }
    return StartThread(entry, parameter);
}

int RunMainWindow(AppState& app, HINSTANCE instance, const wchar_t* commandLine, int showCommand,
                  HICON largeIcon, HICON smallIcon) {
    MainWindow window(app);
    WindowRecord& record = app.mainWindow;
    record.instance = instance;
    const SIZE client = ClientSize(window);
    HWND handle =
        CreateToolkitWindow(record, texts::kMainClass, texts::kMainTitle, client.cx, client.cy,
                            kCentred, kCentred, WS_OVERLAPPEDWINDOW, WS_EX_ACCEPTFILES, nullptr);
    if (handle == nullptr)
        return 1;
    app.events = record.events;
    app.mainHandle = handle;
    // Every close request of the main window (close box, Alt+F4, WM_CLOSE)
    // reaches it as the toolkit's close message. The busy guard, the drains
    // of dialogs and system calls with loops of their own dispatch it without
    // the event pump, and then no close event is ever read; the record marks
    // the message itself. (A subclass watching it cost every message to the
    // window, each list notice included, server round trips under Wine.)
    record.closeRequested = &app.closeRequested;
    ReplaceWindowIcons(handle, largeIcon, smallIcon);
    ExtractShellIcons(window);

    CreatePane(window, client);
    CreateResultList(window, client);

    ShowToolkitWindow(record, showCommand == SW_HIDE ? SW_SHOWNORMAL : showCommand,
                      show::kUpdate | show::kForeground | show::kDrain);
    app.options.criteria = engine::kStartupCriteria;
    app.options.rootPath = platform::FromNative(RootFromCommandLine(commandLine));
    app.suggestedRoot = app.options.rootPath;
    window.tickers[0] = StartWakeTicker(handle);
    BuildMenusAndAccelerators(window);
    window.tickers[1] = StartWakeTicker(handle);
    RECT now{};
    GetClientRect(handle, &now);
    app.lastClientWidth = now.right;
    MsgBoxShow(app.msgBox, TipOwner(app), texts::kStartTip, msgbox::kTip, msgbox::kHeight);

    while (NextEventUntilClose(window)) {
        if (const Event e = ReadEvent(*app.events); e.window == &app.mainWindow)
            DispatchMainEvent(window, e);
    }
    app.cancelRequested = 1;

    ShowToolkitWindow(record, SW_HIDE, 0);
    // The scan thread's list messages are served only while this thread
    // pumps, so waiting without pumping could never end. When the queue has
    // ended, only those messages are served until it is gone.
    while (app.scanThread && NextEvent(window)) {
    }
    JoinWorker(app.scanThread.Get());
    app.scanThread.Reset();
    // The title font goes with this function; the list stays until the
    // record's teardown.
    if (app.listHandle != nullptr)
        RemoveWindowSubclass(app.listHandle, TitlePainter, 1);
    return 1;
}

}  // namespace cs::app
