// Menus: a popup menu attached to a control and the entries of it or of the
// window menu. Each entry is a slot of the window's control table (kinds 16
// and 17) whose menu identifier is the slot, so choices arrive as events
// (WM_MENUCOMMAND, by position). Removing an entry's slot removes it from
// its menu; removing a submenu entry removes its entries too. User-interface
// thread only.
#pragma once

#include <windows.h>

#include <cstdint>

#include "toolkit/window.h"

namespace cs::toolkit {

// AddMenuEntry flags.
namespace menu_entry {
inline constexpr uint32_t kCheck = 0x01;
inline constexpr uint32_t kRadio = 0x02;
inline constexpr uint32_t kSubmenu = 0x04;
inline constexpr uint32_t kSeparator = 0x08;
inline constexpr uint32_t kItemBitmap = 0x10;
inline constexpr int32_t kAppend = 99;
}  // namespace menu_entry

// A popup menu owned by control `slot` (replacing its previous one), with
// its first entry; returns the entry's slot.
int32_t CreateAttachedMenu(WindowRecord& record, int32_t slot, const wchar_t* text, HBITMAP bitmap);
// Owner 0 is the window menu, -1 the control created last (its popup menu,
// or the submenu of a submenu entry). Position kAppend appends. The bitmaps
// stay the caller's and must outlive the entry.
int32_t AddMenuEntry(WindowRecord& record, int32_t ownerSlot, const wchar_t* text, int32_t position,
                     uint32_t flags, HBITMAP checkedBitmap, HBITMAP uncheckedBitmap);

}  // namespace cs::toolkit
