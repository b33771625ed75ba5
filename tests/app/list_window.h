// A real result list for the tests: a top-level window holding a report
// list view prepared the way the main window prepares it, on the calling
// thread (which then owns it and must pump while other threads use it).
#pragma once

#include <windows.h>

namespace cs::test {

class ResultListWindow {
public:
    // Client size of the frame; the list fills it. `keepsNoRows` makes the
    // list the main window makes, which leaves its rows to the program.
    explicit ResultListWindow(int width = 900, int height = 300, bool keepsNoRows = false);
    ~ResultListWindow();
    ResultListWindow(const ResultListWindow&) = delete;
    ResultListWindow& operator=(const ResultListWindow&) = delete;

    HWND Frame() const { return frame_; }
    HWND List() const { return list_; }
    int ClientWidth() const { return width_; }
    bool GroupsSupported() const { return groupsSupported_; }

private:
    int width_;
    HWND frame_ = nullptr;
    HWND list_ = nullptr;
    bool groupsSupported_ = false;
};

// Dispatches this thread's messages until `thread` has ended; false when it
// has not ended within the limit, which only turns a hang into a failure.
bool PumpUntilEnded(HANDLE thread, DWORD limitMilliseconds = 60000);

}  // namespace cs::test
