// The Windows pieces of the checked removal (checked_removal_win32.cpp):
// deletion through a handle, the contents of a folder tree (folder links
// removed as links, through the "\\?\" long form) and recycling through
// the shell. Any thread; recycling initialises COM for itself. A tree
// deletion dispatches the calling thread's messages after every entry, so a
// thread that owns windows stays responsive meanwhile.
//
// How a tree deletion keeps inside the tree. Win32 offers no "delete this
// name relative to that folder handle", so the walk goes by path, and a path
// can be redirected by a link swapped in after it was listed. Two guards:
// - Every folder the walk enters is held open for listing without
//   FILE_SHARE_DELETE until the walk leaves it. Windows refuses to rename or
//   delete a folder so held, so no folder on the path from the tree's top to
//   the entry being handled can be replaced while it is in use.
// - Right before a folder is entered (after it is held), it is examined again,
//   by its handle (opened with FILE_FLAG_OPEN_REPARSE_POINT, so the handle is
//   the link itself on Windows) and by its path (Wine follows the link when
//   it opens it but reports it as a reparse point by path). A link found
//   there is removed as a link and never listed.
// A name that turns into a link between these checks and a delete call is
// harmless on Windows: DeleteFileW and RemoveDirectoryW remove a link, never
// its target. Wine's RemoveDirectoryW goes through a link to an empty folder
// (see RemoveFolderLink, which every link found is given instead); there the
// one window left is between releasing an emptied folder and removing it.
#include <windows.h>

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text.h"
#include "platform/win32/com.h"
#include "platform/win32/folder_win32.h"
#include "platform/win32/handles.h"
#include "platform/win32/removal_win32.h"

namespace cs::platform {

namespace {

using win32::ComApartment;
using win32::ComPtr;
using win32::UniqueFindHandle;
using win32::UniqueHandle;

constexpr DWORD kClearableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM;

// Dispatches everything queued for this thread. A WM_QUIT met here is posted
// again and ends the draining, so the thread's own loop still sees it.
void DrainMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// One delete call, and when it fails on a read-only or system item, one more
// with those two attributes cleared. Not found counts as removed. When the
// second call fails too, the attributes are put back: the item stays, and it
// stays as the user had it.
template <typename Operation>
bool WithAttributeRetry(const std::wstring& given, Operation operation) {
    const win32::LongPath path = win32::LongPath::Of(given);
    if (operation(path))
        return true;
    if (GetLastError() == ERROR_FILE_NOT_FOUND)
        return true;
    const DWORD attributes = win32::AttributesAt(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & kClearableAttributes))
        return false;
    // Setting attributes through a link may reach its target; a link is
    // never changed on the way to removing it.
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return false;
    if (!win32::SetAttributesAt(path, attributes & ~kClearableAttributes))
        return false;
    if (operation(path))
        return true;
    if (GetLastError() == ERROR_FILE_NOT_FOUND)
        return true;
    win32::SetAttributesAt(path, attributes);
    return false;
}

bool RemoveFile(const std::wstring& path) {
    return WithAttributeRetry(path, win32::DeleteFileAt);
}

bool RemoveEmptyFolder(const std::wstring& path) {
    return WithAttributeRetry(path, win32::RemoveDirectoryAt);
}

bool SetAttributesOf(HANDLE item, DWORD attributes) {
    FILE_BASIC_INFO basic{};  // zero times: leave them as they are
    basic.FileAttributes = attributes;
    return SetFileInformationByHandle(item, FileBasicInfo, &basic, sizeof(basic)) != 0;
}

bool MarkForDeletion(HANDLE item) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    return SetFileInformationByHandle(item, FileDispositionInfo, &disposition,
                                      sizeof(disposition)) != 0;
}

// Removes a folder link (junction or folder symbolic link) as a link. It is
// opened as itself and deleted through that handle, with the same
// attribute-clearing retry as everything else. When the open reaches a
// folder that is no reparse point, the system went through the link (Wine
// does: its RemoveDirectoryW on a link to an empty folder deletes that
// folder), and the link is left alone rather than its target destroyed.
bool RemoveFolderLink(const std::wstring& path) {
    UniqueHandle link = win32::OpenForDeletion(path, win32::kShareAll);
    if (!link)
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    FILE_BASIC_INFO original{};
    if (!GetFileInformationByHandleEx(link.Get(), FileBasicInfo, &original, sizeof(original)))
        return false;
    if (!(original.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    return win32::DeleteThroughHandle(link.Get());
}

// Opens a folder for listing, as itself when it is a link, without delete
// sharing: while the handle is held nobody can rename, delete or replace it.
UniqueHandle HoldFolder(const std::wstring& folder) {
    return win32::OpenItself(folder, win32::kListAccess, win32::kShareNoDelete);
}

bool IsDotEntry(const wchar_t* name) {
    return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

// Removes one folder below a tree being deleted, as a link when it is one.
// `volumeSerial` is the tree's volume: a folder on another volume is left
// whole, and so is the mount point of one (removing that would only unmount
// it, but the user asked to delete what they saw, and that is not ours to
// judge).
win32::TreeOutcome DeleteSubtree(const std::wstring& folder, const std::wstring& mask,
                                 uint64_t volumeSerial) {
    UniqueHandle held = HoldFolder(folder);
    if (!held)
        return {RemoveEmptyFolder(folder), false};
    ItemFacts facts;
    DWORD attributes = 0;
    const bool known = win32::FactsOfHandle(held.Get(), facts, attributes);
    if (win32::IsReparsePoint(known ? attributes : 0, folder)) {
        held.Reset();
        if (win32::LeadsToAnotherVolume(folder, volumeSerial))
            return {false, true};
        return {RemoveFolderLink(folder), false};
    }
    if (!known)
        return {false, false};
    if (facts.device != volumeSerial)
        return {false, true};
    win32::TreeOutcome outcome = win32::DeleteTreeContents(folder, mask, volumeSerial);
    // Our own handle lacks delete sharing; it has to go before the folder can.
    held.Reset();
    if (!RemoveEmptyFolder(folder))
        outcome.complete = false;
    return outcome;
}

// --- Recycling ---------------------------------------------------------------

// Watches the one delete of a recycle operation. The shell announces before
// the delete whether it will recycle (TSF_DELETE_RECYCLE_IF_POSSIBLE); an
// item it means to destroy is refused there, which cancels its delete. After
// the delete the shell hands over the recycled copy, or none when the item
// was destroyed after all.
// COM objects are released through Release, never deleted through the
// interface, so the interface's missing virtual destructor is as intended.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#endif
class RecycleWatch : public IFileOperationProgressSink {
public:
    bool refused = false;
    bool finished = false;
    HRESULT deleteResult = E_FAIL;
    bool recycledCopy = false;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        if (id == IID_IUnknown || id == IID_IFileOperationProgressSink) {
            *object = static_cast<IFileOperationProgressSink*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // Lives on the caller's stack and outlives the operation that holds it.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE PreDeleteItem(DWORD flags, IShellItem*) override {
        if (!(flags & TSF_DELETE_RECYCLE_IF_POSSIBLE)) {
            refused = true;
            return E_ABORT;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE PostDeleteItem(DWORD, IShellItem*, HRESULT result,
                                             IShellItem* newlyCreated) override {
        finished = true;
        deleteResult = result;
        recycledCopy = newlyCreated != nullptr;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE StartOperations() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE FinishOperations(HRESULT) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PreRenameItem(DWORD, IShellItem*, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PostRenameItem(DWORD, IShellItem*, LPCWSTR, HRESULT,
                                             IShellItem*) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE PreMoveItem(DWORD, IShellItem*, IShellItem*, LPCWSTR) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE PostMoveItem(DWORD, IShellItem*, IShellItem*, LPCWSTR, HRESULT,
                                           IShellItem*) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE PreCopyItem(DWORD, IShellItem*, IShellItem*, LPCWSTR) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE PostCopyItem(DWORD, IShellItem*, IShellItem*, LPCWSTR, HRESULT,
                                           IShellItem*) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE PreNewItem(DWORD, IShellItem*, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PostNewItem(DWORD, IShellItem*, LPCWSTR, LPCWSTR, DWORD, HRESULT,
                                          IShellItem*) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE UpdateProgress(UINT, UINT) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ResetTimer() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PauseTimer() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ResumeTimer() override { return S_OK; }
};
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

enum class Recycle { Done, Failed, NoFileOperation };

// The Windows way: IFileOperation tells per item whether a recycled copy
// exists. Wine 8 creates the object but implements none of its methods
// (E_NOTIMPL); anything short of a performed operation falls back.
Recycle RecycleThroughFileOperation(const std::wstring& path) {
    ComPtr<IFileOperation> operation;
    if (FAILED(CoCreateInstance(CLSID_FileOperation, nullptr, CLSCTX_ALL, IID_IFileOperation,
                                reinterpret_cast<void**>(operation.Put())))) {
        return Recycle::NoFileOperation;
    }
    // No FOF_WANTNUKEWARNING: it would ask the user, and nobody is there to
    // answer on the removal thread; the watch refuses instead.
    if (FAILED(operation->SetOperationFlags(FOF_NOERRORUI | FOF_SILENT | FOF_NOCONFIRMATION |
                                            FOF_ALLOWUNDO | FOFX_RECYCLEONDELETE |
                                            FOFX_EARLYFAILURE))) {
        return Recycle::NoFileOperation;
    }
    ComPtr<IShellItem> item;
    if (FAILED(SHCreateItemFromParsingName(path.c_str(), nullptr, IID_IShellItem,
                                           reinterpret_cast<void**>(item.Put())))) {
        return Recycle::NoFileOperation;
    }
    RecycleWatch watch;
    DWORD cookie = 0;
    if (FAILED(operation->Advise(&watch, &cookie)))
        return Recycle::NoFileOperation;
    if (FAILED(operation->DeleteItem(item.Get(), nullptr))) {
        operation->Unadvise(cookie);
        return Recycle::NoFileOperation;
    }
    const HRESULT performed = operation->PerformOperations();
    BOOL aborted = FALSE;
    if (FAILED(operation->GetAnyOperationsAborted(&aborted)))
        aborted = FALSE;
    operation->Unadvise(cookie);
    // A destroyed item (no recycled copy) is gone and cannot come back, but
    // it is not reported as recycled: the user learns that it failed.
    const bool recycled = SUCCEEDED(performed) && !aborted && !watch.refused && watch.finished &&
                          SUCCEEDED(watch.deleteResult) && watch.recycledCopy;
    return recycled ? Recycle::Done : Recycle::Failed;
}

// Whether the volume holding `path` has a recycle bin at all, for the
// fallback, which gets no per-item answer. Wine ignores the drive and
// answers whether its desktop trash can be used, which is exactly when its
// SHFileOperationW recycles instead of deleting (without one it deletes and
// reports success). Where IFileOperation works the shell's own per-item
// answer is used instead of this query, whose answer for drives without a
// bin Windows does not document.
// The query sums up the whole bin (Wine reads every entry of its trash: about
// 40 ms per thousand items), so a yes is remembered for the calling thread,
// which is one removal run on the removal thread. A no is asked again.
// The memo lives in the system's own thread-local storage, not in a C++
// thread_local: one of those, used on the desktop program's removal thread
// (made with CreateThread), left the process hanging at exit under Wine, in
// winpthreads' pthread_key_delete. RemovalThreadScope frees it.
DWORD ServedSlot() {
    static const DWORD slot = TlsAlloc();
    return slot;
}

std::vector<std::wstring>* ServedBins(bool create) {
    const DWORD slot = ServedSlot();
    if (slot == TLS_OUT_OF_INDEXES)
        return nullptr;
    auto* served = static_cast<std::vector<std::wstring>*>(TlsGetValue(slot));
    if (served == nullptr && create) {
        served = new (std::nothrow) std::vector<std::wstring>;
        if (served != nullptr && !TlsSetValue(slot, served)) {
            delete served;
            served = nullptr;
        }
    }
    return served;
}

bool RecycleBinServes(const std::wstring& path) {
    wchar_t volume[MAX_PATH + 1] = {};
    if (!GetVolumePathNameW(path.c_str(), volume, MAX_PATH))
        return false;
    std::vector<std::wstring>* served = ServedBins(true);
    if (served != nullptr && std::find(served->begin(), served->end(), volume) != served->end())
        return true;
    SHQUERYRBINFO info{};
    info.cbSize = sizeof(info);
    if (FAILED(SHQueryRecycleBinW(volume, &info)))
        return false;
    if (served != nullptr)
        served->emplace_back(volume);
    return true;
}

bool Exists(const std::wstring& path) {
    return win32::AttributesAt(win32::LongPath::Of(path)) != INVALID_FILE_ATTRIBUTES;
}

// The fallback where IFileOperation is missing: SHFileOperationW says nothing
// about a recycled copy, so it runs only where a recycle bin serves, and the
// item must have left its place without the operation being aborted.
bool RecycleThroughFileOp(const std::wstring& path) {
    std::wstring source = path;
    source.push_back(L'\0');  // the second NUL ends the list; c_str adds it
    SHFILEOPSTRUCTW operation{};
    operation.hwnd = nullptr;
    operation.wFunc = FO_DELETE;
    operation.pFrom = source.c_str();
    operation.pTo = nullptr;
    operation.fFlags = FOF_NOERRORUI | FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT;
    operation.fAnyOperationsAborted = FALSE;
    operation.hNameMappings = nullptr;
    operation.lpszProgressTitle = nullptr;
    if (SHFileOperationW(&operation) != 0 || operation.fAnyOperationsAborted)
        return false;
    return !Exists(path);
}

}  // namespace

namespace win32 {

UniqueHandle OpenForDeletion(const std::wstring& path, DWORD share) {
    UniqueHandle item = OpenItself(
        path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE, share);
    // Changing attributes may be denied where deleting is not.
    if (!item && GetLastError() == ERROR_ACCESS_DENIED)
        item = OpenItself(path, DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE, share);
    return item;
}

bool DeleteThroughHandle(HANDLE item) {
    FILE_BASIC_INFO original{};
    if (!GetFileInformationByHandleEx(item, FileBasicInfo, &original, sizeof(original)))
        return false;
    if (MarkForDeletion(item))
        return true;
    if (!(original.FileAttributes & kClearableAttributes))
        return false;
    if (!SetAttributesOf(item, original.FileAttributes & ~kClearableAttributes))
        return false;
    if (MarkForDeletion(item))
        return true;
    SetAttributesOf(item, original.FileAttributes);
    return false;
}

TreeOutcome DeleteTreeContents(const std::wstring& folder, const std::wstring& mask,
                               uint64_t volumeSerial) {
    TreeOutcome outcome;
    WIN32_FIND_DATAW entry{};
    UniqueFindHandle listing(FindFirstAt(LongPath::Of(folder), mask, entry));
    if (!listing)
        return outcome;
    do {
        if (IsDotEntry(entry.cFileName))
            continue;
        const std::wstring child = folder + L"\\" + entry.cFileName;
        TreeOutcome part;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            part = DeleteSubtree(child, mask, volumeSerial);
        else
            part.complete = RemoveFile(child);
        outcome.complete = outcome.complete && part.complete;
        outcome.otherVolume = outcome.otherVolume || part.otherVolume;
        DrainMessages();
    } while (FindNextFileW(listing.Get(), &entry));
    return outcome;
}

void ForgetServedRecycleBins() {
    std::vector<std::wstring>* served = ServedBins(false);
    if (served == nullptr)
        return;
    TlsSetValue(ServedSlot(), nullptr);
    delete served;
}

bool RecycleShellPath(const std::wstring& shellPath) {
    ComApartment com;
    switch (RecycleThroughFileOperation(shellPath)) {
        case Recycle::Done:
            return true;
        case Recycle::Failed:
            return false;
        case Recycle::NoFileOperation:
            break;
    }
    if (!RecycleBinServes(shellPath))
        return false;
    return RecycleThroughFileOp(shellPath);
}

}  // namespace win32

}  // namespace cs::platform
