#include "app/preview_window.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/texts.h"
#include "platform/text.h"
#include "platform/win32/long_path.h"
#include "results/group_range.h"
#include "results/list_text.h"
#include "results/rows.h"
#include "toolkit/container.h"
#include "toolkit/controls.h"
#include "toolkit/drawing.h"
#include "toolkit/modal.h"
#include "toolkit/msgbox.h"

namespace cs::app {

namespace {

using namespace toolkit;

constexpr int kClientWidth = 630;
constexpr int kTwoPanelHeight = 290;
constexpr int kTallHeight = 440;
constexpr DWORD kStyle = style::kFixedFrame;
constexpr COLORREF kBackground = 0xFDFDFF;
constexpr Argb kGapColour = 0xFF907080;
constexpr Argb kPanelColour = 0xFFFFFDFD;
constexpr float kPanelCorner = 12.0f;
constexpr int kPanelMargin = 5;
constexpr int kThumbnailSize = 128;
constexpr DWORD kPlaceholderStyle = style::kCentredLabel;
constexpr DWORD kReadOnlyEditStyle = style::kReadOnlyLine;
constexpr int kPageTwoPanels = 10;
constexpr int kPageMore = 15;

// One panel: its five controls in their fixed order, and the row it shows
// with that row's path, so a tick is written only to the row the panel
// still stands for.
struct PreviewPanel {
    int32_t indexLabelId = 0;
    int32_t checkId = 0;
    int32_t sizeEditId = 0;
    int32_t parentEditId = 0;
    int32_t nameEditId = 0;
    int32_t row = -1;
    std::u16string path;
};

struct Preview {
    MainWindow& main;
    WindowRecord record;
    int32_t pane = 0;
    std::vector<PreviewPanel> panels;
    int16_t wheelRemainder = 0;
    bool tickedSome = false;
};

// The thumbnail of `path` letterboxed into the square, or nothing for a
// file the decoder does not take (folders, other files, broken pictures).
// The decoded picture is released before the next file is opened, so one
// picture at a time is in memory and no file stays open.
GdipImage LoadThumbnail(const std::wstring& path) {
    Gdiplus::GpBitmap* loaded = nullptr;
    // Through the long form: the plain one may name another file ("trail."
    // is read as "trail"), and a picture of it beside its look-alike would
    // show a copy where there is none.
    const platform::win32::LongPath file = platform::win32::LongPath::Of(path);
    if (file.Empty() || gdip::GdipCreateBitmapFromFileICM(file.c_str(), &loaded) != Gdiplus::Ok)
        return GdipImage();
    GdipImage source(loaded);
    UINT width = 0;
    UINT height = 0;
    if (gdip::GdipGetImageWidth(source.Get(), &width) != Gdiplus::Ok ||
        gdip::GdipGetImageHeight(source.Get(), &height) != Gdiplus::Ok || width == 0 || height == 0)
        return GdipImage();
    return ScaleImage(source.Get(), kThumbnailSize, kThumbnailSize, kScaleFitSquare);
}

// One panel's background: the gap colour with the rounded panel 5 pixels
// in from the top and the sides. Panels repeat every 145 pixels from the
// pane's top, so this one tile, repeated by the pane's pattern brush, gives
// the background of every panel and of the 5-pixel foot, whatever the
// number of panels.
GdipImage PanelTile(int width) {
    GdipImage tile = CreatePremultipliedBitmap(width, kPreviewPanelPitch);
    if (!tile)
        return tile;
    {
        GdipGraphics graphics;
        if (!graphics.Check(gdip::GdipGetImageGraphicsContext(tile.Get(), graphics.Put())) ||
            !graphics.Check(gdip::GdipGraphicsClear(graphics.Get(), kGapColour)))
            return GdipImage();
    }
    FillRoundedRect(AsBitmap(tile), static_cast<float>(kPanelMargin),
                    static_cast<float>(kPanelMargin), static_cast<float>(width - 2 * kPanelMargin),
                    static_cast<float>(kPreviewPanelPitch - kPanelMargin), kPanelColour,
                    kPanelCorner);
    return tile;
}

// Every control of a panel sits in the pane that scrolls.
Placement InPane(const Preview& preview, int x, int y, int width, int height) {
    return {.rect = {x, y, width, height}, .parent = preview.pane};
}

int32_t ReadOnlyEdit(Preview& preview, const std::wstring& text, int x, int y, int width) {
    return CreateStandardControl(preview.record, ControlKind::kEdit, L"Edit", text.c_str(),
                                 kReadOnlyEditStyle, WS_EX_CLIENTEDGE,
                                 InPane(preview, x, y, width, 20));
}

void BuildPanel(Preview& preview, int32_t row, int top) {
    WindowRecord& r = preview.record;
    SectionedRows& rows = *preview.main.app.rows;
    PreviewPanel panel;
    panel.row = row;
    panel.path = rows.Text(row, results::kPathColumn);
    const std::wstring path = platform::ToNative(panel.path);

    const Placement thumbnailPlace = InPane(preview, 10, top + 6, kThumbnailSize, kThumbnailSize);
    int32_t thumbnail = 0;
    if (GdipImage picture = LoadThumbnail(path))
        thumbnail = CreateScaledPicture(r, picture.Get(), thumbnailPlace);
    if (thumbnail == 0)
        CreateStandardControl(r, ControlKind::kLabel, L"Static", texts::kPreviewNotAvailable,
                              kPlaceholderStyle, 0, thumbnailPlace);

    const std::wstring index = texts::kListItemIndex + std::to_wstring(row);
    panel.indexLabelId = CreateLabel(r, index.c_str(), InPane(preview, 150, top + 10, 130, 18));
    panel.checkId =
        CreateCheckBox(r, texts::kCheckedForRemoval, InPane(preview, 280, top + 9, 150, 18));
    if (rows.StateImage(row) == results::kTicked)
        SetControlState(r, panel.checkId, state::kChecked);
    CreateLabel(r, texts::kFileSizeLabel, InPane(preview, 430, top + 10, 60, 20));
    panel.sizeEditId = ReadOnlyEdit(
        preview, platform::ToNative(rows.Text(row, results::kSizeColumn)), 490, top + 8, 125);
    CreateLabel(r, texts::kParentFolderLabel, InPane(preview, 150, top + 35, 200, 20));
    panel.parentEditId = ReadOnlyEdit(
        preview, platform::ToNative(results::ParentFolder(panel.path)), 150, top + 55, 465);
    CreateLabel(r, texts::kFileNameLabel, InPane(preview, 150, top + 85, 200, 20));
    panel.nameEditId = ReadOnlyEdit(
        preview, platform::ToNative(rows.Text(row, results::kNameColumn)), 150, top + 105, 465);
    preview.panels.push_back(std::move(panel));
}

PreviewScrollBar ReadScrollBar(HWND window) {
    SCROLLINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = SIF_ALL;
    PreviewScrollBar bar;
    if (!GetScrollInfo(window, SB_VERT, &info))
        return bar;
    bar.minimum = info.nMin;
    bar.maximum = info.nMax;
    bar.page = static_cast<int>(info.nPage);
    bar.position = info.nPos;
    bar.trackPosition = info.nTrackPos;
    return bar;
}

// The pane's top follows the position, so it can never drift from it.
void MoveTo(Preview& preview, int position) {
    SCROLLINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = SIF_POS;
    info.nPos = position;
    SetScrollInfo(preview.record.window, SB_VERT, &info, TRUE);
    SetWindowPos(ControlHandle(preview.record, preview.pane), nullptr, 0,
                 -(position - 1) * kPreviewUnitPixels, 0, 0,
                 SWP_NOSIZE | SWP_NOOWNERZORDER | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool Build(Preview& preview, results::RowRange group) {
    AppState& app = preview.main.app;
    WindowRecord& r = preview.record;
    const int n = group.Count();
    r.events = app.events;
    r.instance = app.mainWindow.instance;
    const DWORD style = kStyle | (n > 3 ? WS_VSCROLL : 0);
    if (CreateToolkitWindow(r, texts::kPreviewClass, texts::kPreviewTitle, kClientWidth,
                            n == 2 ? kTwoPanelHeight : kTallHeight, kCentred, kCentred, style,
                            kDefaultExStyle, app.mainHandle) == nullptr)
        return false;
    CenterWindow(r.window, app.mainHandle);
    EnterOwnedPopup(app.mainWindow, r.window);
    SetWindowBackColour(r, kBackground);
    r.textColour = 0;

    RECT client{};
    GetClientRect(r.window, &client);
    preview.pane =
        CreateSubWindow(r, {.rect = {0, 0, client.right, kPreviewPanelPitch * n + kPanelMargin},
                            .layout = layout::kOwnBackground});
    if (preview.pane == 0)
        return false;
    if (GdipImage tile = PanelTile(client.right))
        SetSubWindowPattern(r, preview.pane, tile.Get());

    preview.panels.reserve(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k)
        BuildPanel(preview, group.first + k, kPanelMargin + kPreviewPanelPitch * k);

    SCROLLINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMin = 1;
    info.nMax = kPreviewUnitsPerPanel * n;
    info.nPage = n == 2 ? kPageTwoPanels : kPageMore;
    info.nPos = 1;
    SetScrollInfo(r.window, SB_VERT, &info, FALSE);
    ShowToolkitWindow(r, SW_SHOWNORMAL, show::kUpdate);
    return true;
}

void Scroll(Preview& preview, WPARAM request) {
    const PreviewScrollBar bar = ReadScrollBar(preview.record.window);
    const int change =
        ScrollRequestChange(bar, LOWORD(request), static_cast<int16_t>(HIWORD(request)));
    if (change != 0)
        MoveTo(preview, bar.position + change);
}

void Wheel(Preview& preview, WPARAM value) {
    if (preview.record.window == nullptr || ControlHandle(preview.record, preview.pane) == nullptr)
        return;
    const PreviewScrollBar bar = ReadScrollBar(preview.record.window);
    const WheelMove move =
        WheelScroll(bar, preview.wheelRemainder, static_cast<int16_t>(HIWORD(value)));
    preview.wheelRemainder = move.remainder;
    if (move.change != 0)
        MoveTo(preview, bar.position + move.change);
}

bool StillShows(Preview& preview, const PreviewPanel& panel) {
    SectionedRows& rows = *preview.main.app.rows;
    return results::IsItemRow(rows, panel.row) &&
           rows.Text(panel.row, results::kPathColumn) == panel.path;
}

// The user toggled a panel's box: the row's tick follows. When the list was
// rebuilt meanwhile (a scan ended) and the row is another file now, the
// box goes back rather than tick a file the user never saw here.
void BoxToggled(Preview& preview, const PreviewPanel& panel) {
    WindowRecord& r = preview.record;
    const bool checked = IsControlChecked(r, panel.checkId);
    if (!StillShows(preview, panel)) {
        SetControlState(r, panel.checkId, checked ? state::kUnchecked : state::kChecked);
        return;
    }
    preview.main.app.rows->SetStateImage(panel.row,
                                         checked ? results::kTicked : results::kUnticked);
    preview.tickedSome = preview.tickedSome || checked;
}

// A row's tick changed in the list (by this window or otherwise): the
// panel that shows the row shows it too.
void RowTickChanged(Preview& preview, int32_t row) {
    for (const PreviewPanel& panel : preview.panels) {
        if (panel.row != row || !StillShows(preview, panel))
            continue;
        const bool ticked = preview.main.app.rows->StateImage(row) == results::kTicked;
        SetControlState(preview.record, panel.checkId,
                        ticked ? state::kChecked : state::kUnchecked);
    }
}

void RunWait(Preview& preview) {
    AppState& app = preview.main.app;
    while (!app.closeRequested && NextEvent(preview.main)) {
        const Event e = ReadEvent(*app.events);
        // A close from any window ends the preview; the main window's own
        // close is also noted in closeRequested and ends the program next.
        if (e.kind == event::kClose)
            break;
        if (e.window == &app.mainWindow && e.From(preview.main.slots.list) &&
            (e.kind == event::kItemTicked || e.kind == event::kItemUnticked)) {
            RowTickChanged(preview, static_cast<int32_t>(e.data));
            continue;
        }
        if (e.window != &preview.record)
            continue;
        switch (e.kind) {
            case event::kVerticalScroll:
                // The window's own bar, not a control's.
                if (e.slot == 0)
                    Scroll(preview, static_cast<WPARAM>(e.data));
                break;
            case event::kWheel:
                Wheel(preview, static_cast<WPARAM>(static_cast<uint32_t>(e.value)));
                break;
            case event::kCommand:
                for (const PreviewPanel& panel : preview.panels)
                    if (e.IsCommand(panel.checkId))
                        BoxToggled(preview, panel);
                break;
            default:
                break;
        }
    }
}

}  // namespace

int LastScrollPosition(const PreviewScrollBar& bar) {
    return std::max(bar.minimum, bar.maximum - bar.page + 1);
}

int ScrollRequestChange(const PreviewScrollBar& bar, int request, int16_t thumbPosition) {
    const int last = LastScrollPosition(bar);
    const int position = bar.position;
    auto within = [&](int target) { return std::clamp(target, bar.minimum, last) - position; };
    switch (request) {
        case SB_LINEUP:
            return position > bar.minimum ? -1 : 0;
        case SB_LINEDOWN:
            return position < last ? 1 : 0;
        case SB_PAGEUP:
            return within(position - bar.page);
        case SB_PAGEDOWN:
            return within(position + bar.page);
        case SB_THUMBPOSITION:
            return within(thumbPosition);
        case SB_TOP:
            return within(bar.minimum);
        case SB_BOTTOM:
            return last - position;
        default:
            return within(bar.trackPosition);
    }
}

WheelMove WheelScroll(const PreviewScrollBar& bar, int16_t remainder, int16_t delta) {
    const int sum = remainder + delta;
    WheelMove move;
    if ((sum >= 1 && sum <= 119) || (sum >= -119 && sum <= -1)) {
        move.remainder = static_cast<int16_t>(sum);
        return move;
    }
    int notches = sum / WHEEL_DELTA;
    move.remainder = static_cast<int16_t>(sum % WHEEL_DELTA);
    // Away from the user scrolls up, towards the user down; never past an
    // end.
    if (notches > 0)
        notches = std::min(notches, bar.position - bar.minimum);
    else
        notches = std::max(notches, bar.position - LastScrollPosition(bar));
    move.change = -notches;
    return move;
}

int ShowGroupPreview(MainWindow& window, int32_t row, bool* tickedSome) {
    AppState& app = window.app;
    if (tickedSome != nullptr)
        *tickedSome = false;
    if (!app.rows)
        return 0;
    const results::RowRange group =
        results::LimitAround(results::GroupAround(*app.rows, row), row, kPreviewMaxPanels);
    if (group.Empty())
        return 0;

    Preview preview{window, {}, 0, {}, 0, false};
    // Decoding every picture of a large group takes a moment.
    HCURSOR previousCursor = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    const bool built = Build(preview, group);
    SetCursor(previousCursor);
    if (built)
        RunWait(preview);
    if (preview.record.window != nullptr)
        CloseDialog(preview.record);
    if (tickedSome != nullptr)
        *tickedSome = preview.tickedSome;
    return built ? 1 : 0;
}

void CompareCommand(MainWindow& window) {
    AppState& app = window.app;
    BeginMainBusy(window);
    const int32_t row = app.rows ? app.rows->FirstSelected() : -1;
    if (row >= 0) {
        bool tickedSome = false;
        ShowGroupPreview(window, row, &tickedSome);
        if (app.mainHandle != nullptr && !app.closeRequested) {
            BringWindowToTop(app.mainHandle);
            SetForegroundWindow(app.mainHandle);
        }
        EndMainBusy(window);
        // The list's tick events went to the preview's wait, so the main
        // window never saw them; the delete button must not stay disabled
        // with rows ticked.
        if (tickedSome)
            SetControlState(app.mainWindow, window.slots.deleteTicked, state::kEnabled);
        return;
    }
    // A close of the main window meanwhile must not leave the box waiting.
    MsgBoxAsk(app.msgBox, texts::kCompareNeedsRow, msgbox::kOk, TipOwner(app), nullptr,
              PumpUntilCloseRequest, &window);
    EndMainBusy(window);
}

}  // namespace cs::app
