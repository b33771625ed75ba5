// The main window's commands: the "Select..." menu and the list's context
// menu, the accelerator table, and the dispatch of the main window's events,
// by kind and by named command, to the selection rules, find, copy path,
// open location, preview, compare and removal. User-interface thread only.
#pragma once

#include <cstdint>

#include "toolkit/container.h"

namespace cs::app {

struct MainWindow;

void BuildMenusAndAccelerators(MainWindow& window);
// Handles `e`, an event of the main window itself.
void DispatchMainEvent(MainWindow& window, const toolkit::Event& e);
// Runs selection command `entry` (a SelectEntry) on the result list.
void RunSelection(MainWindow& window, int entry);

}  // namespace cs::app
