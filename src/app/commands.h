// The main window's commands: the "Select..." menu and the list's context
// menu, the accelerator table, and the dispatch of the main window's events
// in their fixed order to the selection rules, find, copy path, open
// location, preview, compare and removal. User-interface thread only.
#pragma once

#include <cstdint>

namespace cs::app {

struct MainWindow;

void BuildMenusAndAccelerators(MainWindow& window);
// Handles the current event of the main window (app.events).
void DispatchMainEvent(MainWindow& window);
// Runs selection command `entry` (a SelectEntry) on the result list.
void RunSelection(MainWindow& window, int entry);

}  // namespace cs::app
