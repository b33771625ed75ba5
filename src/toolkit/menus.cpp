// Menus: popup menus attached to controls and their entries, each entry a
// slot of the window's control table.
#include "toolkit/menus.h"

#include "toolkit/controls_internal.h"

namespace cs::toolkit {

using namespace detail;

namespace detail {

// The menu that holds entry `slot`. A plain entry records it; a submenu
// entry records its own submenu, so its holder is searched for among the
// menus of the window (menu calls by command search submenus themselves).
HMENU MenuHolding(WindowRecord& record, int32_t slot, const ControlRecord& entry) {
    if (entry.kind == ControlKind::kMenuEntry)
        return entry.menu;
    auto holds = [slot](HMENU menu) {
        return menu != nullptr &&
               GetMenuState(menu, static_cast<UINT>(slot), MF_BYCOMMAND) != static_cast<UINT>(-1);
    };
    if (holds(record.windowMenu.Get()))
        return record.windowMenu.Get();
    for (int32_t other = 1; other <= record.count; ++other) {
        const ControlRecord& control = record.controls[other];
        if (control.inUse != 0 && !IsMenuKind(control.kind) && holds(control.menu))
            return control.menu;
    }
    return nullptr;
}

bool GetMenuEntryState(WindowRecord& record, int32_t slot, const ControlRecord& entry, HMENU& menu,
                       UINT& fState) {
    menu = MenuHolding(record, slot, entry);
    if (menu == nullptr)
        return false;
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_STATE;
    if (!GetMenuItemInfoW(menu, static_cast<UINT>(slot), FALSE, &info))
        return false;
    fState = info.fState;
    return true;
}

bool SetMenuEntryState(WindowRecord& record, int32_t slot, const ControlRecord& entry,
                       uint32_t bits) {
    HMENU menu = nullptr;
    UINT fState = 0;
    if (!GetMenuEntryState(record, slot, entry, menu, fState))
        return false;
    if (bits & state::kChecked)
        fState |= MFS_CHECKED;
    else if (bits & (state::kUnchecked | state::kIndeterminate))
        fState &= ~static_cast<UINT>(MFS_CHECKED);
    if (bits & state::kEnabled)
        fState &= ~static_cast<UINT>(MFS_DISABLED | MFS_GRAYED);
    else if (bits & state::kDisabled)
        fState |= MFS_DISABLED | MFS_GRAYED;
    if (bits & state::kFocused)
        fState |= MFS_HILITE;
    else if (bits & state::kUnfocused)
        fState &= ~static_cast<UINT>(MFS_HILITE);
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_STATE;
    info.fState = fState;
    return SetMenuItemInfoW(menu, static_cast<UINT>(slot), FALSE, &info) != FALSE;
}

}  // namespace detail

int32_t CreateAttachedMenu(WindowRecord& record, int32_t slot, const wchar_t* text,
                           HBITMAP bitmap) {
    if (slot == -1)
        slot = record.count;
    ControlRecord* control = FindControl(record, slot);
    if (control == nullptr || IsMenuKind(control->kind))
        return 0;
    if (control->menu != nullptr) {
        HMENU previous = control->menu;
        control->menu = nullptr;
        DestroyControlMenu(record, previous);
        control = FindControl(record, slot);
        if (control == nullptr)
            return 0;
    }
    HMENU popup = CreatePopupMenu();
    if (popup == nullptr)
        return 0;
    MENUINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = MIM_STYLE | MIM_APPLYTOSUBMENUS;
    info.dwStyle = MNS_NOTIFYBYPOS;
    SetMenuInfo(popup, &info);
    control->menu = popup;
    return AddMenuEntry(record, slot, text, menu_entry::kAppend, 0, bitmap, bitmap);
}

namespace {

// The menu new entries of `ownerSlot` go into: the window's menu bar (made
// on first use) for slot 0, else the popup or submenu the control holds.
HMENU MenuForEntries(WindowRecord& record, int32_t ownerSlot) {
    if (ownerSlot == 0) {
        if (!record.windowMenu) {
            record.windowMenu.Reset(CreateMenu());
            if (!record.windowMenu || !SetMenu(record.window, record.windowMenu.Get())) {
                record.windowMenu.Reset();
                return nullptr;
            }
        }
        return record.windowMenu.Get();
    }
    ControlRecord* owner = FindControl(record, ownerSlot);
    if (owner == nullptr || owner->kind == ControlKind::kMenuEntry)
        return nullptr;
    return owner->menu;
}

// Choices in a submenu must arrive the same way as in its parent.
UniqueMenu MakeSubmenu(HMENU parent) {
    UniqueMenu submenu(CreatePopupMenu());
    if (!submenu)
        return submenu;
    MENUINFO parentInfo{};
    parentInfo.cbSize = sizeof(parentInfo);
    parentInfo.fMask = MIM_STYLE;
    if (GetMenuInfo(parent, &parentInfo) && (parentInfo.dwStyle & MNS_NOTIFYBYPOS)) {
        MENUINFO style{};
        style.cbSize = sizeof(style);
        style.fMask = MIM_STYLE;
        style.dwStyle = MNS_NOTIFYBYPOS;
        SetMenuInfo(submenu.Get(), &style);
    }
    return submenu;
}

// A check or radio entry shows the two bitmaps as its check marks; any other
// shows the first beside its text (kItemBitmap) or as its marks.
void DescribeEntryImages(MENUITEMINFOW& info, uint32_t flags, HBITMAP checkedBitmap,
                         HBITMAP uncheckedBitmap) {
    if (flags & (menu_entry::kCheck | menu_entry::kRadio)) {
        if (flags & menu_entry::kRadio)
            info.fType |= MFT_RADIOCHECK;
        info.fState = MFS_CHECKED;
        info.fMask |= MIIM_CHECKMARKS;
        info.hbmpChecked = checkedBitmap;
        info.hbmpUnchecked = uncheckedBitmap;
    } else if (flags & menu_entry::kItemBitmap) {
        info.fMask |= MIIM_BITMAP;
        info.hbmpItem = checkedBitmap;
    } else if (checkedBitmap != nullptr || uncheckedBitmap != nullptr) {
        info.fMask |= MIIM_CHECKMARKS;
        info.hbmpChecked = checkedBitmap;
        info.hbmpUnchecked = uncheckedBitmap;
    }
}

}  // namespace

int32_t AddMenuEntry(WindowRecord& record, int32_t ownerSlot, const wchar_t* text, int32_t position,
                     uint32_t flags, HBITMAP checkedBitmap, HBITMAP uncheckedBitmap) {
    if (record.window == nullptr || !EnsureControlCapacity(record))
        return 0;
    HMENU menu = MenuForEntries(record, ownerSlot);
    if (menu == nullptr)
        return 0;

    const int32_t slot = record.count + 1;
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STATE;
    info.wID = static_cast<UINT>(slot);
    UniqueMenu submenu;
    if (flags & menu_entry::kSeparator) {
        info.fType = MFT_SEPARATOR;
    } else {
        info.fMask |= MIIM_STRING;
        info.dwTypeData = const_cast<wchar_t*>(text != nullptr ? text : L"");
    }
    if (flags & menu_entry::kSubmenu) {
        submenu = MakeSubmenu(menu);
        if (!submenu)
            return 0;
        info.fMask |= MIIM_SUBMENU;
        info.hSubMenu = submenu.Get();
    }
    DescribeEntryImages(info, flags, checkedBitmap, uncheckedBitmap);
    const UINT where = position == menu_entry::kAppend || position < 0
                           ? static_cast<UINT>(GetMenuItemCount(menu))
                           : static_cast<UINT>(position);
    if (!InsertMenuItemW(menu, where, TRUE, &info))
        return 0;  // the submenu owner destroys the new submenu
    const ControlKind kind = submenu ? ControlKind::kSubmenuEntry : ControlKind::kMenuEntry;
    if (RegisterControl(record, kind, nullptr) != slot) {
        RemoveMenu(menu, static_cast<UINT>(slot), MF_BYCOMMAND);
        return 0;
    }
    record.controls[slot].menu = submenu ? submenu.Release() : menu;
    if (menu == record.windowMenu.Get())
        DrawMenuBar(record.window);
    return slot;
}

}  // namespace cs::toolkit
