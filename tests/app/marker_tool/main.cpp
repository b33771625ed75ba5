// A stand-in for a program a user could start by mistake: each run appends
// one line to "<its own path>.ran" and ends at once. The driver copies it
// into a tree under a program's name and watches for that file, so that a
// run shows on the disk and none is missed.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    wchar_t mark[MAX_PATH + 8] = {};
    const DWORD length = GetModuleFileNameW(nullptr, mark, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return 1;
    lstrcatW(mark, L".ran");
    HANDLE file = CreateFileW(mark, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    DWORD written = 0;
    WriteFile(file, "ran\r\n", 5, &written, nullptr);
    CloseHandle(file);
    return 0;
}
