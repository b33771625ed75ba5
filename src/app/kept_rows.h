// The result rows kept by the program instead of by the list view. The list
// is created keeping no rows of its own (LVS_OWNERDATA); this procedure,
// put in front of the list's, keeps them and answers the messages a list
// with rows of its own answers: inserting, reading and deleting rows,
// their texts, images, item data, check boxes and groups. So ListViewRows,
// the toolkit and the drivers that read the list from outside go on as with
// any list, while the list view only draws and selects.
//
// Why: under Wine a list view that keeps its rows costs four heap blocks a
// row in the process heap, and its row arrays, which grow ten entries at a
// time among them and among the blocks other threads take, leave the heap in
// pieces: for 62,500 rows 15 MB in use among 110 to 240 MB of holes, more
// than the engine's whole peak.
//
// A row's texts come from its item data (the toolkit's row record, made by
// ListViewRows' texts factory); a row inserted with texts of its own shows
// none. Every message reaches the procedure on the list's own thread, as
// SendMessage delivers it, so the rows need no lock.
#pragma once

#include <windows.h>

#include "app/result_list_view.h"

namespace cs::app {

// `list` must keep no rows of its own and have none yet. The procedure frees
// the rows' item data with `release` when they go, and itself with the
// list. False when it could not be put in place.
bool KeepRowsForList(HWND list, SeparatorDataRelease release);

}  // namespace cs::app
