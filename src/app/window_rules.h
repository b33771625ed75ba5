// The size rules of the main window and the rule that tells a program by
// its name, as plain functions so they can be checked without a screen of
// each size or a file of each type. Any thread.
#pragma once

#include <windows.h>

#include <string>

namespace cs::app {

// The main window's client size for a screen resolution.
SIZE MainClientSizeForScreen(int horizontalResolution, int verticalResolution);

// The client size that fits, frame included, into a work area: the rule
// gives 900 pixels of height whatever the screen, which on a screen lower
// than that would put the bottom of the list and the right pane's foot out
// of reach. `frame` is what the window adds around its client area.
SIZE FitClientIntoWorkArea(SIZE client, SIZE frame, SIZE workArea);

// The extension of the last name of `path`, with its dot (".exe"); empty
// when the name has none.
std::wstring ExtensionOf(const std::wstring& path);

// Whether Windows runs a file with `extension` (with its dot) when it is
// opened: one of the executable types of `pathext` (the PATHEXT list,
// ";"-separated), or a shortcut, which runs whatever it names. Case does
// not matter.
bool IsRunnableExtension(const std::wstring& extension, const std::wstring& pathext);

}  // namespace cs::app
