// What the control files share: menu-entry lookups (menus.cpp), the
// bitmap hand-over of pictures and image buttons (controls.cpp) and the
// making of a control's font (window.cpp). Private to
// the toolkit. User-interface thread only.
#pragma once

#include <windows.h>

#include <cstdint>

#include "toolkit/container_internal.h"
#include "toolkit/controls.h"

namespace cs::toolkit::detail {

inline bool IsMenuKind(ControlKind kind) {
    return kind == ControlKind::kMenuEntry || kind == ControlKind::kSubmenuEntry;
}

// The menu that holds entry `slot`, or null.
HMENU MenuHolding(WindowRecord& record, int32_t slot, const ControlRecord& entry);
bool GetMenuEntryState(WindowRecord& record, int32_t slot, const ControlRecord& entry, HMENU& menu,
                       UINT& fState);
bool SetMenuEntryState(WindowRecord& record, int32_t slot, const ControlRecord& entry,
                       uint32_t bits);

// Shows `bitmap` in a static bitmap control and deletes what it hands back
// unless the record still owns it (one of `owned`).
void ShowBitmap(HWND control, HBITMAP bitmap, const HBITMAP* owned, size_t ownedCount);
// A GDI bitmap of a GDI+ image (black behind transparent parts); empty on
// failure.
UniqueBitmap ToBitmap(Gdiplus::GpImage* image);

// `font` in the window's face and style: points below 1 give 8.5, a weight
// below 1 gives 400. Empty on failure.
UniqueFont CreateControlFont(const WindowRecord& record, ControlFont font);

}  // namespace cs::toolkit::detail
