// Tooltips: each toolkit window owns at most one tooltip window (kept in its
// WindowRecord and destroyed with it), and each control can get a tip text
// there. The tooltip control subclasses the control itself, so the toolkit
// relays no mouse messages. User-interface thread only.
#pragma once

#include <cstdint>

#include "toolkit/window.h"

namespace cs::toolkit {

// Creates the window's tooltip window on first use; false when it cannot.
bool EnsureTooltipWindow(WindowRecord& record);
// Attaches `text` (copied by the tooltip control) to control `slot`; tips
// wrap only at explicit line breaks. False leaves the control without a tip.
bool SetControlTip(WindowRecord& record, int32_t slot, const wchar_t* text);

}  // namespace cs::toolkit
