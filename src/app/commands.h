// The main window's commands: the list's context menu, the accelerator
// table and the dispatch of the events of the main window in their fixed
// order. Commands of later work (selection, find, copy path, open location,
// preview, compare, removal) have their slots and menu entries but do
// nothing yet. User-interface thread only.
#pragma once

namespace cs::app {

struct MainWindow;

void BuildMenusAndAccelerators(MainWindow& window);
// Handles the current event of the main window (app.events).
void DispatchMainEvent(MainWindow& window);

}  // namespace cs::app
