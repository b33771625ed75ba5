// What the driver needs to use another process's windows as a user would:
// finding its windows, waiting on conditions, reading and setting texts and
// reading list rows through memory of the other process.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace cs::driver {

// Polls `condition` every 20 ms; false when it did not hold within `limit`
// milliseconds (an upper bound that turns a hang into a failure).
bool WaitUntil(const std::function<bool()>& condition, DWORD limit = 30000);

// Waits until `read` gives `expected`: another process's window applies a
// move, a size or a text in its own time (a resize asked of it also goes
// through the window manager and back). On failure, says what it gave last.
template <class Read, class Value>
::testing::AssertionResult Settles(const Read& read, const Value& expected, DWORD limit = 30000) {
    auto last = read();
    if (WaitUntil([&] { return (last = read()) == expected; }, limit))
        return ::testing::AssertionSuccess();
    std::ostringstream shown;
    shown << "still " << last << " after " << limit << " ms, expected " << expected;
    return ::testing::AssertionFailure() << shown.str();
}

// A visible top-level window of process `pid` with class `className`
// (owned by `owner` when it is not null), or null.
HWND FindProcessWindow(DWORD pid, const wchar_t* className, HWND owner = nullptr);
// A descendant of `parent` of class `className` whose text is `text` (any
// text when null), or null.
HWND FindChild(HWND parent, const wchar_t* className, const wchar_t* text = nullptr);
std::vector<HWND> Children(HWND parent, const wchar_t* className);
std::wstring TextOf(HWND window);
bool IsChecked(HWND button);

struct RemoteRow {
    std::wstring texts[3];
    int stateImage = 0;
    int group = 0;
};

// Every row of a list view of another process.
std::vector<RemoteRow> ReadRows(HWND list);

// Sets the state bits `mask` of a row of another process's list view to
// `state` (LVM_SETITEMSTATE; row -1 means every row), as the user's click
// would; the program gets its LVN_ITEMCHANGED.
bool SetRowState(HWND list, int row, UINT mask, UINT state);
// Ticks (state image 2) or unticks (1) a row.
bool TickRow(HWND list, int row, bool tick);
// Makes `row` the only highlighted row, as a click on it would.
bool HighlightRow(HWND list, int row);

}  // namespace cs::driver
