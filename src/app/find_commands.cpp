#include "app/find_commands.h"

#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cwchar>
#include <cwctype>

#include "app/main_window.h"
#include "app/texts.h"
#include "app/window_rules.h"
#include "platform/text.h"
#include "platform/win32/com.h"
#include "platform/win32/handles.h"
#include "platform/win32/long_path.h"
#include "results/find.h"
#include "results/rows.h"
#include "toolkit/controls.h"
#include "toolkit/msgbox.h"

namespace cs::app {

namespace {

using namespace toolkit;
using platform::win32::UniqueGlobalMemory;
using platform::win32::UniquePidl;

constexpr int32_t kPlaceholderColour = 0x909090;

bool EqualsNoCase(const std::wstring& a, const wchar_t* b) {
    const std::wstring other = b;
    if (a.size() != other.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::towlower(a[i]) != std::towlower(other[i]))
            return false;
    return true;
}

// The box shows the placeholder in grey until it is entered; then it is
// cleared and typed text is black.
bool ClearPlaceholder(MainWindow& window) {
    WindowRecord& record = window.app.mainWindow;
    if (!EqualsNoCase(GetControlText(record, window.slots.findBox), texts::kFindPlaceholder))
        return false;
    SetControlText(record, window.slots.findBox, L"");
    SetControlTextColour(record, window.slots.findBox, 0);
    return true;
}

void FocusFindBox(MainWindow& window) {
    if (ControlRecord* box = FindControl(window.app.mainWindow, window.slots.findBox))
        SetFocus(box->handle);
}

// The path of the highlighted row, empty when there is none or it is a
// separator.
std::wstring HighlightedPath(MainWindow& window) {
    AppState& app = window.app;
    if (!app.rows)
        return {};
    const int32_t row = app.rows->FirstSelected();
    if (row < 0)
        return {};
    return platform::ToNative(app.rows->Text(row, results::kPathColumn));
}

}  // namespace

void EnterFindBox(MainWindow& window, bool giveFocus) {
    ClearPlaceholder(window);
    if (giveFocus)
        FocusFindBox(window);
    SetDefaultButton(window.app.mainWindow, window.slots.findNext);
    window.findPosition = -1;
}

void RestartFind(MainWindow& window) {
    window.findPosition = -1;
}

void FindNext(MainWindow& window) {
    AppState& app = window.app;
    const std::wstring text = GetControlText(app.mainWindow, window.slots.findBox);
    if (text.empty())
        return;
    if (ClearPlaceholder(window)) {
        FocusFindBox(window);
        return;
    }
    if (!app.rows)
        return;
    window.findPosition =
        results::FindInList(*app.rows, platform::FromNative(text), window.findPosition);
    if (window.findPosition < 0) {
        MsgBoxShow(app.msgBox, TipOwner(app), texts::kFindReachedEnd, msgbox::kTip,
                   msgbox::kHeight);
        return;
    }
    if (app.listHandle != nullptr)
        SetFocus(app.listHandle);
}

void CopyHighlightedPath(MainWindow& window) {
    AppState& app = window.app;
    const std::wstring path = HighlightedPath(window);
    if (path.empty() || !OpenClipboard(app.mainHandle))
        return;
    EmptyClipboard();
    bool placed = false;
    const size_t bytes = (path.size() + 1) * sizeof(wchar_t);
    UniqueGlobalMemory memory(GlobalAlloc(GMEM_MOVEABLE, bytes));
    if (void* target = memory ? GlobalLock(memory.Get()) : nullptr) {
        memcpy(target, path.c_str(), bytes);
        GlobalUnlock(memory.Get());
        placed = SetClipboardData(CF_UNICODETEXT, memory.Get()) != nullptr;
        // The clipboard owns the memory only once it took it.
        if (placed)
            memory.Release();
    }
    CloseClipboard();
    if (placed)
        MsgBoxShow(app.msgBox, TipOwner(app), texts::kPathCopied, msgbox::kTip, msgbox::kHeight);
}

void OpenLocation(const std::wstring& path) {
    const platform::win32::LongPath where = platform::win32::LongPath::Of(path);
    const DWORD attributes = platform::win32::AttributesAt(where);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    // The shell takes the plain form only; one it would rewrite leads to
    // another item, so nothing is shown rather than the wrong one.
    if (platform::win32::ShellNameProblem(where) != platform::win32::ShellName::Safe)
        return;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
        !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        ShellOpen(where.Plain().c_str());
        return;
    }
    // A link to a folder is shown as the item it is, in its parent, rather
    // than followed.
    const size_t cut = path.find_last_of(L'\\');
    if (cut == std::wstring::npos)
        return;
    std::wstring parent = path.substr(0, cut);
    // "C:" alone names the drive's current folder to the file system; the
    // folder that holds the item is its root.
    if (parent.size() == 2 && parent[1] == L':')
        parent += L'\\';
    const UniquePidl item(ILCreateFromPathW(path.c_str()));
    const UniquePidl folder(ILCreateFromPathW(parent.c_str()));
    if (item && folder) {
        PCUITEMID_CHILD child = ILFindLastID(item.Get());
        SHOpenFolderAndSelectItems(folder.Get(), 1, &child, 0);
    }
}

// Whether the shell can be given `path` and reach that very item; when it
// cannot, the user is told why nothing opens.
bool ShellCanName(MainWindow& window, const std::wstring& path) {
    if (platform::win32::ShellNameProblem(platform::win32::LongPath::Of(path)) ==
        platform::win32::ShellName::Safe)
        return true;
    MsgBoxShow(window.app.msgBox, TipOwner(window.app), texts::kShellCannotName, msgbox::kTip,
               msgbox::kHeight);
    return false;
}

void OpenHighlightedLocation(MainWindow& window) {
    const std::wstring path = HighlightedPath(window);
    if (!path.empty() && ShellCanName(window, path))
        OpenLocation(path);
}

namespace {

// Whether the shell's default action on `path` would run it rather than
// show it: a folder opens a window on itself, anything else by its type,
// and a program's type is to be started. The name's text is enough to
// tell, and no file is opened to find out.
bool WouldRun(const std::wstring& path) {
    const DWORD attributes =
        platform::win32::AttributesAt(platform::win32::LongPath::Of(path));
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    const std::wstring extension = ExtensionOf(path);
    if (extension.empty())
        return false;
    if (AssocIsDangerous(extension.c_str()))
        return true;
    wchar_t pathext[2048] = {};
    const DWORD length = GetEnvironmentVariableW(L"PATHEXT", pathext, 2048);
    return IsRunnableExtension(extension, length > 0 && length < 2048 ? pathext : L"");
}

// Asks before a program or shortcut is started; "No" is the default, so a
// hurried Return runs nothing.
bool ConfirmRun(MainWindow& window, const std::wstring& path) {
    AppState& app = window.app;
    const std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
    std::wstring text(name.size() + wcslen(texts::kWouldRun), L'\0');
    swprintf(text.data(), text.size(), texts::kWouldRun, name.c_str());
    text.resize(wcslen(text.c_str()));
    BeginMainBusy(window);
    const int32_t answer = MsgBoxAsk(app.msgBox, text.c_str(), msgbox::kYesNo, nullptr,
                                     &app.mainWindow, PumpUntilCloseRequest, &window, 2);
    MsgBoxClose(app.msgBox);
    EndMainBusy(window);
    return answer == msgbox::kFirst;
}

}  // namespace

void OpenHighlightedFile(MainWindow& window) {
    const std::wstring path = HighlightedPath(window);
    if (path.empty() || !ShellCanName(window, path))
        return;
    if (WouldRun(path) && !ConfirmRun(window, path))
        return;
    ShellOpen(path.c_str());
}

DWORD ShellOpen(const wchar_t* target) {
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    // Without NO_UI the shell answers a file with no program of its own
    // with an error box of its own, modal to nothing we own, while this
    // thread waits inside the call: the window freezes until it is
    // answered, and the failure is meant to be silent anyway.
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpFile = target;
    info.nShow = SW_SHOW;
    if (!ShellExecuteExW(&info))
        return 0;
    const UniqueHandle process(info.hProcess);
    return process ? GetProcessId(process.Get()) : 1;
}

}  // namespace cs::app
