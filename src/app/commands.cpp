#include "app/commands.h"

#include <windows.h>

#include <commctrl.h>
#include <windowsx.h>

#include <iterator>

#include "app/main_window.h"
#include "app/removal_flow.h"
#include "app/scan_flow.h"
#include "app/texts.h"
#include "results/rows.h"
#include "toolkit/container.h"
#include "toolkit/controls.h"
#include "toolkit/drawing.h"

namespace cs::app {

namespace {

using namespace toolkit;

int32_t HighlightedRow(AppState& app) {
    return app.rows ? app.rows->FirstSelected() : -1;
}

bool IsItemRow(AppState& app, int32_t row) {
    return row >= 0 && app.rows && results::IsItemRow(*app.rows, row);
}

void SetEnabled(WindowRecord& record, int32_t slot, bool on) {
    if (slot != 0)
        SetControlState(record, slot, on ? state::kEnabled : state::kDisabled);
}

// A separator never stays highlighted, so every command that reads the
// highlighted row finds an item or nothing.
void HighlightGuard(MainWindow& window) {
    AppState& app = window.app;
    const int32_t row = HighlightedRow(app);
    if (row >= 0 && IsItemRow(app, row)) {
        SetEnabled(app.mainWindow, window.slots.openLocation, true);
        return;
    }
    SetEnabled(app.mainWindow, window.slots.openLocation, false);
    if (row >= 0)
        app.rows->SetSelectedFocused(row, false);
}

// A click can give a separator row a check box; it is taken away again.
void CheckBoxGuard(MainWindow& window, bool ticked, int32_t row) {
    AppState& app = window.app;
    if (!app.rows || row < 0)
        return;
    if (app.rows->Text(row, results::kPathColumn).empty()) {
        app.rows->SetStateImage(row, results::kNoCheckBox);
        return;
    }
    if (ticked)
        SetEnabled(app.mainWindow, window.slots.deleteTicked, true);
}

void ContextMenu(MainWindow& window, intptr_t point) {
    AppState& app = window.app;
    const bool item = IsItemRow(app, HighlightedRow(app));
    const MainSlots& s = window.slots;
    for (int32_t slot :
         {s.openLocation, s.menuOpenLocation, s.menuCopyPath, s.menuPreview, s.menuCompare})
        SetEnabled(app.mainWindow, slot, item);
    ControlRecord* list = FindControl(app.mainWindow, s.list);
    if (list == nullptr || list->menu == nullptr)
        return;
    TrackPopupMenu(list->menu, TPM_LEFTBUTTON, GET_X_LPARAM(point), GET_Y_LPARAM(point), 0,
                   app.mainHandle, nullptr);
}

}  // namespace

void BuildMenusAndAccelerators(MainWindow& window) {
    AppState& app = window.app;
    WindowRecord& record = app.mainWindow;
    MainSlots& s = window.slots;
    const int iconFor[4] = {kLocationSmall, kCopyIcon, kPreviewIcon, kCompareIcon};
    for (int i = 0; i < 4; ++i)
        window.menuBitmaps[i] = IconToBitmap(window.icons[iconFor[i]].Get(), 16, 16);
    s.menuOpenLocation =
        CreateAttachedMenu(record, s.list, texts::kMenuOpenLocation, window.menuBitmaps[0].Get());
    s.menuCopyPath = AddMenuEntry(record, s.list, texts::kMenuCopyPath, menu_entry::kAppend, 0,
                                  window.menuBitmaps[1].Get(), window.menuBitmaps[1].Get());
    AddMenuEntry(record, s.list, nullptr, menu_entry::kAppend, menu_entry::kSeparator, nullptr,
                 nullptr);
    s.menuPreview = AddMenuEntry(record, s.list, texts::kMenuPreview, menu_entry::kAppend, 0,
                                 window.menuBitmaps[2].Get(), window.menuBitmaps[2].Get());
    s.menuCompare = AddMenuEntry(record, s.list, texts::kMenuCompare, menu_entry::kAppend, 0,
                                 window.menuBitmaps[3].Get(), window.menuBitmaps[3].Get());
    if (ControlRecord* list = FindControl(record, s.list); list != nullptr && list->menu)
        SetMenuDefaultItem(list->menu, 0, TRUE);
    for (int32_t slot : {s.menuOpenLocation, s.menuCopyPath, s.menuPreview, s.menuCompare})
        SetEnabled(record, slot, false);

    // The entries of the selection commands come with them; these are the
    // commands whose slots exist now.
    const ACCEL table[] = {
        {FVIRTKEY | FCONTROL, 'C', static_cast<WORD>(s.menuCopyPath)},
        {FVIRTKEY | FALT, VK_RETURN, static_cast<WORD>(s.menuPreview)},
        {FVIRTKEY | FALT, 'C', static_cast<WORD>(s.menuCompare)},
        {FVIRTKEY | FCONTROL, 'F', static_cast<WORD>(s.analyzeLabel)},
        {FVIRTKEY, VK_F3, static_cast<WORD>(s.findNext)},
    };
    record.accelerators.Reset(
        CreateAcceleratorTableW(const_cast<ACCEL*>(table), static_cast<int>(std::size(table))));
}

void DispatchMainEvent(MainWindow& window) {
    AppState& app = window.app;
    const EventRecord& events = *app.events;
    const MainSlots& s = window.slots;
    const int32_t code = events.code;
    const bool fromList = events.value == s.list && s.list != 0;
    if (code == s.startScan && code > 0) {
        StartNewScanCommand(window);
    } else if (fromList && (code == event::kItemTicked || code == event::kItemUnticked)) {
        CheckBoxGuard(window, code == event::kItemTicked, static_cast<int32_t>(events.data));
    } else if (fromList && (code == event::kItemSelected || code == event::kItemDeselected ||
                            code == event::kItemLostFocus)) {
        HighlightGuard(window);
    } else if (fromList && code == event::kContextMenu) {
        ContextMenu(window, events.data);
    } else if (code == s.deleteTicked && code > 0) {
        RunRemovalFlow(window);
    }
    // Files dropped on the window (-5) are ignored: the root comes from the
    // setup window.
}

}  // namespace cs::app
