// Navigation in the result list from the main window: the find box and
// "Find next (F3)", copying the highlighted row's path, opening the folder
// that holds the highlighted item, and the shell open operation that the
// links and "Preview selected file" share. Each works on the highlighted
// row (the first selected one) and is silent on failure, but for the tip
// at the end of a search. User-interface thread only.
#pragma once

#include <windows.h>

#include <string>

namespace cs::app {

struct MainWindow;

// The find box gained the focus (-77) or Ctrl+F asked for it: the
// placeholder goes, Return then searches, and the next search starts from
// the top. Only Ctrl+F moves the focus, since a focus event already has it.
void EnterFindBox(MainWindow& window, bool giveFocus);
// The find text changed: the next search starts from the top.
void RestartFind(MainWindow& window);
// Searches from the row after the last one found; at the end of the list
// shows the tip and starts over from the top next time.
void FindNext(MainWindow& window);
// Puts the highlighted row's path on the clipboard and says so in a tip.
void CopyHighlightedPath(MainWindow& window);
// Opens the folder holding the highlighted item, the item selected; a
// folder row opens the folder itself. Nothing for a path that has gone.
void OpenHighlightedLocation(MainWindow& window);
void OpenLocation(const std::wstring& path);
// Opens the highlighted row's path with the program the shell associates.
void OpenHighlightedFile(MainWindow& window);

// The shell's default action on a path or web address: the started
// process's id, 1 when the shell gave no process, 0 on failure.
DWORD ShellOpen(const wchar_t* target);

}  // namespace cs::app
