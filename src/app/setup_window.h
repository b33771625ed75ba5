// The scan setup window: root folder, recursion, folder names, a preset or
// single criteria, file types, extra extensions and the zero-byte option.
// It reads its controls into the engine's SetupChoices and lets the engine
// turn them into flags, filter and preset rows; it holds no rule of its own
// beyond which control stands for which choice. Runs its wait through the
// main window's event pump, so a scan ending meanwhile is still noticed.
// User-interface thread only.
#pragma once

#include <string>

namespace cs::app {

struct MainWindow;

// True when "Start the scan now" was accepted with a valid root: the
// options are written and the results reset. False when cancelled or
// closed (also when the main window was asked to close).
bool RunScanSetupWindow(MainWindow& window);

// The root as the setup window stores it: every trailing backslash gone.
std::wstring CleanRoot(std::wstring root);

}  // namespace cs::app
