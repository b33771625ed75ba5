#include "app/commands.h"

#include <windows.h>

#include <commctrl.h>
#include <windowsx.h>

#include <iterator>

#include "app/find_commands.h"
#include "app/main_window.h"
#include "app/preview_window.h"
#include "app/removal_flow.h"
#include "app/scan_flow.h"
#include "app/texts.h"
#include "results/rows.h"
#include "results/selection.h"
#include "toolkit/container.h"
#include "toolkit/controls.h"
#include "toolkit/drawing.h"
#include "toolkit/menus.h"

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

// Unfolds to the left of the button from its bottom-left corner. Folder
// entries need a highlighted row, the others a list with rows.
void SelectMenu(MainWindow& window) {
    AppState& app = window.app;
    const MainSlots& s = window.slots;
    ControlRecord* button = FindControl(app.mainWindow, s.select);
    if (button == nullptr || button->menu == nullptr)
        return;
    const bool anyRows = app.rows && app.rows->Count() > 0;
    const bool highlighted = app.rows && app.rows->FirstSelected() >= 0;
    for (int entry = 0; entry < kSelectEntryCount; ++entry) {
        const bool folderEntry = entry == kSelectTickFolder || entry == kSelectUntickFolder;
        SetEnabled(app.mainWindow, s.selectEntries[entry], folderEntry ? highlighted : anyRows);
    }
    RECT bounds{};
    GetWindowRect(button->handle, &bounds);
    TrackPopupMenu(button->menu, TPM_RIGHTALIGN | TPM_BOTTOMALIGN, bounds.left, bounds.bottom, 0,
                   app.mainHandle, nullptr);
}

void BuildSelectMenu(MainWindow& window) {
    WindowRecord& record = window.app.mainWindow;
    MainSlots& s = window.slots;
    static constexpr const wchar_t* kTexts[kSelectEntryCount] = {
        texts::kKeepFirst,  texts::kKeepLast,      texts::kKeepSmallest, texts::kKeepBiggest,
        texts::kTickFolder, texts::kUntickFolder,  texts::kTickAll,      texts::kUntickAll,
        texts::kKeepOldest, texts::kKeepNewest};
    HBITMAP icon = window.menuBitmaps[3].Get();
    for (int entry = 0; entry < kSelectEntryCount; ++entry) {
        const wchar_t* text = kTexts[entry];
        s.selectEntries[entry] =
            entry == 0 ? CreateAttachedMenu(record, s.select, text, icon)
                       : AddMenuEntry(record, s.select, text, menu_entry::kAppend, 0, icon, icon);
        // A line after keep last, keep biggest, untick folder and untick all.
        if (entry == kSelectKeepLast || entry == kSelectKeepBiggest ||
            entry == kSelectUntickFolder || entry == kSelectUntickAll)
            AddMenuEntry(record, s.select, nullptr, menu_entry::kAppend, menu_entry::kSeparator,
                         nullptr, nullptr);
    }
}

// The main window's commands by name: what a click, a menu choice or an
// accelerator on a slot asks for.
enum class MainCommand {
    kNone,
    kStartScan,
    kEnterFindBox,
    kFindNext,
    kSelectMenu,
    kSelectEntry,
    kOpenLocation,
    kCopyPath,
    kPreview,
    kCompare,
    kDeleteTicked,
};

int SelectEntryOf(const MainSlots& s, int32_t slot) {
    for (int entry = 0; entry < kSelectEntryCount; ++entry)
        if (s.selectEntries[entry] != 0 && s.selectEntries[entry] == slot)
            return entry;
    return -1;
}

MainCommand CommandOf(const MainSlots& s, int32_t slot) {
    if (slot == 0)
        return MainCommand::kNone;
    if (slot == s.startScan)
        return MainCommand::kStartScan;
    if (slot == s.analyzeLabel)
        return MainCommand::kEnterFindBox;
    if (slot == s.findNext)
        return MainCommand::kFindNext;
    if (slot == s.select)
        return MainCommand::kSelectMenu;
    if (SelectEntryOf(s, slot) >= 0)
        return MainCommand::kSelectEntry;
    if (slot == s.menuOpenLocation || slot == s.openLocation)
        return MainCommand::kOpenLocation;
    if (slot == s.menuCopyPath)
        return MainCommand::kCopyPath;
    if (slot == s.menuPreview)
        return MainCommand::kPreview;
    if (slot == s.menuCompare)
        return MainCommand::kCompare;
    if (slot == s.deleteTicked)
        return MainCommand::kDeleteTicked;
    return MainCommand::kNone;
}

void RunCommand(MainWindow& window, MainCommand command, int32_t slot) {
    switch (command) {
        case MainCommand::kStartScan:
            StartNewScanCommand(window);
            break;
        case MainCommand::kEnterFindBox:
            EnterFindBox(window, true);
            break;
        case MainCommand::kFindNext:
            FindNext(window);
            break;
        case MainCommand::kSelectMenu:
            SelectMenu(window);
            break;
        case MainCommand::kSelectEntry:
            RunSelection(window, SelectEntryOf(window.slots, slot));
            break;
        case MainCommand::kOpenLocation:
            OpenHighlightedLocation(window);
            break;
        case MainCommand::kCopyPath:
            CopyHighlightedPath(window);
            break;
        case MainCommand::kPreview:
            OpenHighlightedFile(window);
            break;
        case MainCommand::kCompare:
            CompareCommand(window);
            break;
        case MainCommand::kDeleteTicked:
            RunRemovalFlow(window);
            break;
        case MainCommand::kNone:
            break;
    }
}

}  // namespace

void RunSelection(MainWindow& window, int entry) {
    AppState& app = window.app;
    if (!app.rows)
        return;
    SectionedRows& rows = *app.rows;
    // A rule may change every row; drawn once at the end, not row by row.
    HoldListDrawing(window, true);
    switch (entry) {
        case kSelectKeepFirst:
            results::KeepFirst(rows);
            break;
        case kSelectKeepLast:
            results::KeepLast(rows);
            break;
        case kSelectKeepSmallest:
            results::KeepBy(rows, results::KeepRule::Smallest);
            break;
        case kSelectKeepBiggest:
            results::KeepBy(rows, results::KeepRule::Biggest);
            break;
        case kSelectTickFolder:
        case kSelectUntickFolder:
            results::SetRowsInSelectedFolder(rows, entry == kSelectTickFolder);
            break;
        case kSelectTickAll:
        case kSelectUntickAll:
            results::SetAllItems(rows, entry == kSelectTickAll);
            break;
        case kSelectKeepOldest:
            results::KeepBy(rows, results::KeepRule::Oldest);
            break;
        case kSelectKeepNewest:
            results::KeepBy(rows, results::KeepRule::Newest);
            break;
        default:
            break;
    }
    HoldListDrawing(window, false);
    // The rows' own notices arrive one at a time and only the last is read
    // as an event; the button must not depend on which one that is.
    if (AnyTicked(app))
        SetEnabled(app.mainWindow, window.slots.deleteTicked, true);
}

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

    BuildSelectMenu(window);
    const auto& select = s.selectEntries;
    auto command = [](int32_t slot) { return static_cast<WORD>(slot); };
    const ACCEL table[] = {
        {FVIRTKEY | FCONTROL, 'C', command(s.menuCopyPath)},
        {FVIRTKEY | FALT, VK_RETURN, command(s.menuPreview)},
        {FVIRTKEY | FALT, 'C', command(s.menuCompare)},
        {FVIRTKEY | FCONTROL, 'F', command(s.analyzeLabel)},
        {FVIRTKEY, VK_F3, command(s.findNext)},
        {FVIRTKEY | FCONTROL, 'A', command(select[kSelectTickAll])},
        {FVIRTKEY | FCONTROL, 'N', command(select[kSelectUntickAll])},
        {FVIRTKEY | FCONTROL, 'L', command(select[kSelectKeepSmallest])},
        {FVIRTKEY | FALT, 'L', command(select[kSelectKeepBiggest])},
        {FVIRTKEY | FCONTROL, 'B', command(select[kSelectKeepFirst])},
        {FVIRTKEY | FALT, 'B', command(select[kSelectKeepLast])},
        {FVIRTKEY | FCONTROL, 'I', command(select[kSelectTickFolder])},
        {FVIRTKEY | FALT, 'I', command(select[kSelectUntickFolder])},
        {FVIRTKEY | FCONTROL, 'G', command(select[kSelectKeepOldest])},
        {FVIRTKEY | FALT, 'G', command(select[kSelectKeepNewest])},
    };
    record.accelerators.Reset(
        CreateAcceleratorTableW(const_cast<ACCEL*>(table), static_cast<int>(std::size(table))));
}

void DispatchMainEvent(MainWindow& window, const Event& e) {
    const MainSlots& s = window.slots;
    switch (e.kind) {
        case event::kCommand:
            RunCommand(window, CommandOf(s, e.slot), e.slot);
            break;
        case event::kEditFocused:
            if (e.From(s.findBox))
                EnterFindBox(window, false);
            break;
        case event::kEditChanged:
            if (e.From(s.findBox))
                RestartFind(window);
            break;
        case event::kContextMenu:
            if (e.From(s.select))
                SelectMenu(window);
            else if (e.From(s.list))
                ContextMenu(window, e.data);
            break;
        case event::kDoubleClick:
            if (e.From(s.list))
                OpenHighlightedLocation(window);
            break;
        case event::kItemTicked:
        case event::kItemUnticked:
            if (e.From(s.list))
                CheckBoxGuard(window, e.kind == event::kItemTicked, static_cast<int32_t>(e.data));
            break;
        case event::kItemSelected:
        case event::kItemDeselected:
        case event::kItemLostFocus:
            if (e.From(s.list))
                HighlightGuard(window);
            break;
        case event::kFilesDropped:
            DropCommand(window, reinterpret_cast<const wchar_t*>(e.data));
            break;
        default:
            break;
    }
}

}  // namespace cs::app
