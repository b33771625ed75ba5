// The checked removal on Windows. Win32 has no "open this name relative to
// that folder handle", so every open goes by path; what makes a path
// trustworthy is that each folder on it is opened as itself (never through
// a reparse point), compared with the identity the scan listed, and then
// held without delete sharing until the item is gone. A held folder cannot
// be renamed, deleted or replaced, so once the whole route is held and
// checked, the path from the root down to the item's parent leads through
// exactly the folders the scan saw. The item itself is then opened as
// itself, checked on that handle, and deleted through the same handle, so
// nothing can be swapped in between the check and the deletion either.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/checked_removal.h"
#include "platform/text.h"
#include "platform/win32/folder_win32.h"
#include "platform/win32/handles.h"
#include "platform/win32/removal_win32.h"

namespace cs::platform {

namespace {

using win32::UniqueHandle;

bool IsMissing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// A route step must be one name: a separator or a dot entry in it would
// lead somewhere the scan never listed.
bool IsPlainName(const std::u16string& name) {
    return !name.empty() && name != u"." && name != u".." &&
           name.find_first_of(u"\\/") == std::u16string::npos;
}

struct HeldRoute {
    std::vector<UniqueHandle> folders;  // root first; released last to first
    std::u16string parent;              // the item's parent folder
    uint64_t volumeSerial = 0;          // of that parent
};

ItemCheck HoldFolder(const std::u16string& path, const ItemFacts& listed, HeldRoute& held) {
    const std::wstring native = ToNative(path);
    UniqueHandle folder = win32::OpenItself(native, win32::kListAccess, win32::kShareNoDelete);
    if (!folder)
        return IsMissing(GetLastError()) ? ItemCheck::PathChanged : ItemCheck::NotRemoved;
    ItemFacts now;
    DWORD attributes = 0;
    if (!win32::FactsOfHandle(folder.Get(), now, attributes))
        return ItemCheck::NotRemoved;
    // A route folder the scan gave no identity cannot be vouched for.
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || win32::IsReparsePoint(attributes, native) ||
        !now.SameIdentity(listed)) {
        return ItemCheck::PathChanged;
    }
    held.folders.push_back(std::move(folder));
    held.volumeSerial = now.device;
    return ItemCheck::Ok;
}

ItemCheck HoldRoute(const ItemRoute& route, HeldRoute& held) {
    if (!IsPlainName(route.name))
        return ItemCheck::NotRemoved;
    std::u16string path = route.rootPath;
    ItemCheck check = HoldFolder(path, route.root, held);
    for (const FolderStep& step : route.folders) {
        if (check != ItemCheck::Ok)
            return check;
        if (!IsPlainName(step.name))
            return ItemCheck::PathChanged;
        path = JoinPath(path, step.name);
        check = HoldFolder(path, step.facts, held);
    }
    held.parent = path;
    return check;
}

// What the item opened as `item` is now; `path` is asked too, for Wine's
// links (see IsReparsePoint).
ItemCheck ReadItem(const std::wstring& path, const UniqueHandle& item, ItemFacts& now) {
    if (!item)
        return IsMissing(GetLastError()) ? ItemCheck::Vanished : ItemCheck::NotRemoved;
    DWORD attributes = 0;
    if (!win32::FactsOfHandle(item.Get(), now, attributes))
        return ItemCheck::NotRemoved;
    if (win32::IsReparsePoint(attributes, path))
        return ItemCheck::Link;
    return ItemCheck::Ok;
}

ItemCheck LookAt(const std::wstring& path, ItemFacts& now) {
    const UniqueHandle item =
        win32::OpenItself(path, FILE_READ_ATTRIBUTES | SYNCHRONIZE, win32::kShareAll);
    return ReadItem(path, item, now);
}

ItemCheck Compare(const ItemFacts& now, const ItemFacts& expected) {
    if (!now.SameIdentity(expected))
        return ItemCheck::Replaced;
    if (now.isFolder != expected.isFolder)
        return ItemCheck::Changed;
    // A folder's own time moves whenever an entry in it does; what is in it
    // is checked file by file (ListFolderTree), not here.
    if (!now.isFolder && (now.size != expected.size || now.mtime != expected.mtime))
        return ItemCheck::Changed;
    return ItemCheck::Ok;
}

// Reads what `item` is and compares it with what the scan saw.
ItemCheck CheckItem(const std::wstring& path, const UniqueHandle& item, const ItemFacts& expected,
                    ItemFacts& now) {
    const ItemCheck check = ReadItem(path, item, now);
    return check == ItemCheck::Ok ? Compare(now, expected) : check;
}

ItemCheck DeleteChecked(const std::wstring& path, const ItemFacts& expected) {
    // Read sharing only: while the item is checked and deleted nobody can
    // rename, replace or write it, and a program that holds it open for
    // writing or without delete sharing makes this open fail.
    UniqueHandle item = win32::OpenForDeletion(path, FILE_SHARE_READ);
    ItemFacts now;
    ItemCheck check = CheckItem(path, item, expected, now);
    if (check != ItemCheck::Ok)
        return check;
    if (now.isFolder) {
        // A handle with delete access would keep the listing of the folder
        // from opening it (Wine's FindFirstFileW does not share delete), so
        // the folder is held for listing while it is emptied, and opened for
        // deletion, and checked once more, only once it is empty.
        item.Reset();
        {
            const UniqueHandle held =
                win32::OpenItself(path, win32::kListAccess, win32::kShareNoDelete);
            check = CheckItem(path, held, expected, now);
            if (check != ItemCheck::Ok)
                return check;
            const win32::TreeOutcome below = win32::DeleteTreeContents(path, L"*", now.device);
            if (below.otherVolume)
                return ItemCheck::OtherDevice;
            if (!below.complete)
                return ItemCheck::NotRemoved;
        }
        item = win32::OpenForDeletion(path, win32::kShareNoDelete);
        check = CheckItem(path, item, expected, now);
        if (check != ItemCheck::Ok)
            return check;
    }
    // Marked through the handle the checks were made on; it goes when that
    // handle closes.
    return win32::DeleteThroughHandle(item.Get()) ? ItemCheck::Ok : ItemCheck::NotRemoved;
}

ItemCheck ListBelow(HANDLE folder, const std::wstring& path, const std::u16string& relative,
                    uint64_t volumeSerial, std::vector<TreeFile>& files);

ItemCheck ShellRefusal(const win32::LongPath& path) {
    switch (win32::ShellNameProblem(path)) {
        case win32::ShellName::Safe:
            return ItemCheck::Ok;
        case win32::ShellName::EndsWithDotOrSpace:
            return ItemCheck::ShellNameEndsWithDotOrSpace;
        case win32::ShellName::DeviceName:
            return ItemCheck::ShellDeviceName;
        case win32::ShellName::TooLong:
            return ItemCheck::ShellPathTooLong;
    }
    return ItemCheck::NotTrashed;
}

ItemCheck RecycleChecked(const std::u16string& path, const ItemFacts& expected) {
    const std::wstring native = ToNative(path);
    const win32::LongPath item = win32::LongPath::Of(path);
    {
        const UniqueHandle held = win32::OpenItself(native, win32::kListAccess, win32::kShareAll);
        ItemFacts now;
        ItemCheck check = CheckItem(native, held, expected, now);
        // The recycle bin takes a folder whole, and with it whatever is
        // mounted below; a folder that cannot be looked through may hide
        // such a mount.
        if (check == ItemCheck::Ok && now.isFolder) {
            std::vector<TreeFile> ignored;
            check = ListBelow(held.Get(), item.Text(), u"", now.device, ignored);
        }
        if (check != ItemCheck::Ok)
            return check;
    }
    // The shell takes no long form, and a plain form it would rewrite (a
    // name ending with a dot, a device name, a long path) would recycle, or
    // fail on, another item than the one checked: such an item stays, with
    // its reason.
    if (const ItemCheck refusal = ShellRefusal(item); refusal != ItemCheck::Ok)
        return refusal;
    // The shell takes a path, and must open the item itself to move it, so
    // the item's handle is closed before the path is handed over. The
    // folders on the way stay held, so the route cannot change; the window
    // left is the last name alone, from the close above until the shell
    // opens it (the shell's start-up and its parsing of the path). An item
    // put in its place during that window would go to the recycle bin, from
    // where it can be restored, or, on a drive without one, stay where it
    // is (the shell is never let destroy it): nothing is lost through it.
    const bool recycled = win32::RecycleShellPath(item.Plain());
    // Counted only when the item has left its place: something else may
    // stand at its name now, but not the item the scan saw.
    ItemFacts after;
    const ItemCheck still = LookAt(native, after);
    const bool gone =
        still == ItemCheck::Vanished || (still == ItemCheck::Ok && !after.SameIdentity(expected));
    return recycled && gone ? ItemCheck::Ok : ItemCheck::NotTrashed;
}

ItemCheck ListBelow(HANDLE folder, const std::wstring& path, const std::u16string& relative,
                    uint64_t volumeSerial, std::vector<TreeFile>& files) {
    win32::FolderListing listing(folder);
    while (const FILE_ID_BOTH_DIR_INFO* entry = listing.Next()) {
        const std::wstring name = win32::EntryName(*entry);
        const std::wstring child = path + L"\\" + name;
        const std::u16string below =
            relative.empty() ? FromNative(name) : JoinPath(relative, FromNative(name));
        const DWORD attributes = entry->FileAttributes;
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            // A link holds no data; a mounted volume holds data this folder's
            // removal must not reach.
            if ((attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                win32::LeadsToAnotherVolume(child, volumeSerial))
                return ItemCheck::OtherDevice;
            continue;
        }
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            const UniqueHandle sub =
                win32::OpenItself(child, win32::kListAccess, win32::kShareNoDelete);
            ItemFacts facts;
            const ItemCheck check = ReadItem(child, sub, facts);
            if (check == ItemCheck::Link)
                continue;
            if (check != ItemCheck::Ok)
                return ItemCheck::Unreadable;
            if (facts.device != volumeSerial)
                return ItemCheck::OtherDevice;
            const ItemCheck inner = ListBelow(sub.Get(), child, below, volumeSerial, files);
            if (inner != ItemCheck::Ok)
                return inner;
            continue;
        }
        if (entry->EndOfFile.QuadPart <= 0)
            continue;
        TreeFile file;
        file.relativePath = below;
        file.facts.size = static_cast<uint64_t>(entry->EndOfFile.QuadPart);
        file.facts.mtime = win32::FileTimeValue(entry->LastWriteTime);
        file.facts.device = volumeSerial;
        file.facts.inode = static_cast<uint64_t>(entry->FileId.QuadPart);
        files.push_back(std::move(file));
    }
    return listing.Failed() ? ItemCheck::Unreadable : ItemCheck::Ok;
}

}  // namespace

ItemCheck InspectItem(const ItemRoute& route, ItemFacts& now) {
    HeldRoute held;
    const ItemCheck check = HoldRoute(route, held);
    if (check != ItemCheck::Ok)
        return check;
    return LookAt(ToNative(JoinPath(held.parent, route.name)), now);
}

ItemCheck RemoveCheckedItem(const ItemRoute& route, const ItemFacts& expected, bool toTrash) {
    HeldRoute held;
    const ItemCheck check = HoldRoute(route, held);
    if (check != ItemCheck::Ok)
        return check;
    const std::u16string path = JoinPath(held.parent, route.name);
    if (toTrash)
        return RecycleChecked(path, expected);
    return DeleteChecked(win32::LongPath::Of(path).Text(), expected);
}

ItemCheck ListFolderTree(const ItemRoute& folder, std::vector<TreeFile>& files) {
    files.clear();
    HeldRoute held;
    const ItemCheck check = HoldRoute(folder, held);
    if (check != ItemCheck::Ok)
        return check;
    const std::wstring path = win32::LongPath::Of(JoinPath(held.parent, folder.name)).Text();
    const UniqueHandle top = win32::OpenItself(path, win32::kListAccess, win32::kShareNoDelete);
    ItemFacts facts;
    const ItemCheck opened = ReadItem(path, top, facts);
    if (opened == ItemCheck::NotRemoved)
        return ItemCheck::Unreadable;
    if (opened != ItemCheck::Ok)
        return opened;
    if (!facts.isFolder)
        return ItemCheck::Changed;
    return ListBelow(top.Get(), path, u"", facts.device, files);
}

}  // namespace cs::platform
