#include "remote.h"

#include <commctrl.h>

namespace cs::driver {

bool WaitUntil(const std::function<bool()>& condition, DWORD limit) {
    const ULONGLONG end = GetTickCount64() + limit;
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount64() > end)
            return false;
        Sleep(20);
    }
}

namespace {

struct Search {
    DWORD pid;
    const wchar_t* className;
    HWND owner;
    HWND found;
};

bool ClassIs(HWND window, const wchar_t* className) {
    wchar_t name[128] = {};
    GetClassNameW(window, name, 128);
    return lstrcmpiW(name, className) == 0;
}

BOOL CALLBACK TopLevel(HWND window, LPARAM parameter) {
    auto& search = *reinterpret_cast<Search*>(parameter);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != search.pid || !IsWindowVisible(window) || !ClassIs(window, search.className))
        return TRUE;
    if (search.owner != nullptr && GetWindow(window, GW_OWNER) != search.owner)
        return TRUE;
    search.found = window;
    return FALSE;
}

struct ChildSearch {
    const wchar_t* className;
    std::vector<HWND> found;
};

BOOL CALLBACK Child(HWND window, LPARAM parameter) {
    auto& search = *reinterpret_cast<ChildSearch*>(parameter);
    if (ClassIs(window, search.className))
        search.found.push_back(window);
    return TRUE;
}

}  // namespace

HWND FindProcessWindow(DWORD pid, const wchar_t* className, HWND owner) {
    Search search{pid, className, owner, nullptr};
    EnumWindows(TopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<HWND> Children(HWND parent, const wchar_t* className) {
    ChildSearch search{className, {}};
    EnumChildWindows(parent, Child, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND FindChild(HWND parent, const wchar_t* className, const wchar_t* text) {
    for (HWND child : Children(parent, className))
        if (text == nullptr || TextOf(child) == text)
            return child;
    return nullptr;
}

std::wstring TextOf(HWND window) {
    wchar_t buffer[4096] = {};
    SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer), SMTO_BLOCK,
                        5000, nullptr);
    return buffer;
}

bool IsChecked(HWND button) {
    return SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

std::vector<RemoteRow> ReadRows(HWND list) {
    std::vector<RemoteRow> rows;
    DWORD pid = 0;
    GetWindowThreadProcessId(list, &pid);
    HANDLE process =
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (process == nullptr)
        return rows;
    constexpr SIZE_T kText = 4096;
    auto* remote = static_cast<char*>(
        VirtualAllocEx(process, nullptr, sizeof(LVITEMW) + kText * 2, MEM_COMMIT, PAGE_READWRITE));
    if (remote == nullptr) {
        CloseHandle(process);
        return rows;
    }
    auto* remoteText = reinterpret_cast<wchar_t*>(remote + sizeof(LVITEMW));
    const bool groups = SendMessageW(list, LVM_GETGROUPCOUNT, 0, 0) > 0;
    const auto count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        RemoteRow read;
        for (int column = 0; column < 3; ++column) {
            LVITEMW item{};
            item.iSubItem = column;
            item.pszText = remoteText;
            item.cchTextMax = kText;
            WriteProcessMemory(process, remote, &item, sizeof(item), nullptr);
            SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(remote));
            std::wstring text(kText, L'\0');
            ReadProcessMemory(process, remoteText, text.data(), kText * 2, nullptr);
            text.resize(wcsnlen(text.c_str(), kText));
            read.texts[column] = text;
        }
        const auto state = static_cast<UINT>(
            SendMessageW(list, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK | LVIS_OVERLAYMASK));
        read.stateImage = static_cast<int>((state & LVIS_STATEIMAGEMASK) >> 12);
        if (groups) {
            LVITEMW item{};
            item.mask = LVIF_GROUPID;
            item.iItem = row;
            WriteProcessMemory(process, remote, &item, sizeof(item), nullptr);
            SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(remote));
            ReadProcessMemory(process, remote, &item, sizeof(item), nullptr);
            read.group = item.iGroupId;
        } else {
            read.group = static_cast<int>((state & LVIS_OVERLAYMASK) >> 8);
        }
        rows.push_back(read);
    }
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return rows;
}

bool SetRowState(HWND list, int row, UINT mask, UINT state) {
    DWORD pid = 0;
    GetWindowThreadProcessId(list, &pid);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, pid);
    if (process == nullptr)
        return false;
    void* remote = VirtualAllocEx(process, nullptr, sizeof(LVITEMW), MEM_COMMIT, PAGE_READWRITE);
    bool done = false;
    if (remote != nullptr) {
        LVITEMW item{};
        item.stateMask = mask;
        item.state = state;
        done = WriteProcessMemory(process, remote, &item, sizeof(item), nullptr) &&
               SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                            reinterpret_cast<LPARAM>(remote)) != 0;
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    }
    CloseHandle(process);
    return done;
}

bool TickRow(HWND list, int row, bool tick) {
    return SetRowState(list, row, LVIS_STATEIMAGEMASK, INDEXTOSTATEIMAGEMASK(tick ? 2 : 1));
}

bool HighlightRow(HWND list, int row) {
    SetRowState(list, -1, LVIS_SELECTED | LVIS_FOCUSED, 0);
    return SetRowState(list, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

}  // namespace cs::driver
