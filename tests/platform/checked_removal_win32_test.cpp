// The checked removal on Windows, run under Wine: identities from the
// listing (hard links), removal that refuses an item or a route that is no
// longer what the scan listed, the attribute-clearing retry, locked files,
// long paths, links that must never be followed, and recycling into the
// desktop trash that Wine uses as its recycle bin. Every case checks the
// disk afterwards.
#ifdef _WIN32

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/checked_removal.h"
#include "platform/dir.h"
#include "platform/file.h"
#include "platform/text.h"
#include "platform/wine_support_win32.h"
#include "support/seen_route.h"
#include "support/temp_tree.h"

namespace cs::platform {
namespace {

namespace fs = std::filesystem;
using test::FactsOf;
using test::Listing;
using test::Scanned;
using test::Seen;
using test::TempTree;
using test::ToU16;
using namespace test::wine;

void SetWriteTime(const fs::path& path, uint64_t time) {
    const HANDLE file = CreateFileW(W(path).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    FILETIME written;
    written.dwLowDateTime = static_cast<DWORD>(time);
    written.dwHighDateTime = static_cast<DWORD>(time >> 32);
    EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &written));
    CloseHandle(file);
}

// Runs a command line to its end; Wine starts Unix programs as well. The
// limit only turns a hang into a failure.
DWORD RunProgram(std::wstring commandLine, const wchar_t* environment = nullptr) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                        environment ? CREATE_UNICODE_ENVIRONMENT : 0,
                        const_cast<wchar_t*>(environment), nullptr, &startup, &process)) {
        return 0xFFFFFFFF;
    }
    DWORD code = 0xFFFFFFFE;
    if (WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

// Dispatches posted messages on the deleting thread: the tree deletion drains
// the queue after every entry, so a message posted before it starts runs in
// the middle of it.
class MidDeletion {
public:
    using Action = void (*)(void* context);
    MidDeletion(Action action, void* context) : action_(action), context_(context) {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = &MidDeletion::Procedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"cs_removal_mid_deletion";
        RegisterClassW(&windowClass);
        window_ = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                  nullptr, windowClass.hInstance, nullptr);
        SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~MidDeletion() { DestroyWindow(window_); }
    MidDeletion(const MidDeletion&) = delete;
    MidDeletion& operator=(const MidDeletion&) = delete;

    bool Post() { return window_ && PostMessageW(window_, WM_APP, 0, 0); }
    int Runs() const { return runs_; }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_APP) {
            auto* self = reinterpret_cast<MidDeletion*>(GetWindowLongPtrW(window, GWLP_USERDATA));
            ++self->runs_;
            self->action_(self->context_);
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    Action action_;
    void* context_;
    HWND window_ = nullptr;
    int runs_ = 0;
};

// --- Identity from the listing ------------------------------------------------

TEST(FileIdentityWin32, HardLinksAreOneFileAndKeepTheirIdentity) {
    TempTree tree;
    const fs::path first = tree.Write("first.bin", "same physical file");
    tree.Write("other.bin", "same physical file");
    ASSERT_TRUE(CreateHardLinkW(W(tree.Path("second.bin")).c_str(), W(first).c_str(), nullptr));

    const auto entries = Listing(tree.Root16());
    const DirEntry& a = entries.at(u"first.bin");
    const DirEntry& b = entries.at(u"second.bin");
    const DirEntry& other = entries.at(u"other.bin");
    ASSERT_TRUE(a.hasIdentity);
    ASSERT_TRUE(b.hasIdentity);
    EXPECT_NE(a.inode, 0u);
    EXPECT_EQ(a.device, b.device);
    EXPECT_EQ(a.inode, b.inode);
    EXPECT_EQ(a.device, other.device);
    EXPECT_NE(a.inode, other.inode) << "a copy with the same bytes is another file";

    // The open file says the same as the listing did, and a rename keeps it.
    ASSERT_TRUE(MoveFileW(W(tree.Path("second.bin")).c_str(), W(tree.Path("renamed.bin")).c_str()));
    FileReader reader;
    ASSERT_EQ(reader.Open(tree.Path16("renamed.bin")), Status::Ok);
    ItemFacts open;
    ASSERT_TRUE(reader.ReadFacts(open));
    EXPECT_EQ(open.device, a.device);
    EXPECT_EQ(open.inode, a.inode);
    EXPECT_EQ(open.size, a.size);
    EXPECT_EQ(open.mtime, a.mtime);
    EXPECT_NE(open.mtime, 0u);
    EXPECT_FALSE(open.isFolder);

    // A file is no folder to take an identity from.
    uint64_t device = 0;
    uint64_t inode = 0;
    EXPECT_FALSE(FolderIdentity(tree.Path16("first.bin"), device, inode));
}

TEST(FileIdentityWin32, RecycleBinStyleFolderIsFlaggedSystem) {
    TempTree tree;
    tree.Write("$Recycle.Bin/S-1-5-21/$R0001.jpg", "trashed");
    ASSERT_TRUE(SetFileAttributesW(W(tree.Path("$Recycle.Bin")).c_str(),
                                   FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    const DirEntry bin = Listing(tree.Root16()).at(u"$Recycle.Bin");
    EXPECT_TRUE(bin.isDirectory);
    EXPECT_TRUE(bin.isSystem) << "the walk leaves system folders out by this flag";
    SetFileAttributesW(W(tree.Path("$Recycle.Bin")).c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(FileIdentityWin32, FolderThatIsALinkIsNotListed) {
    TempTree tree;
    tree.Write("outside/secret.txt", "x");
    FolderLinks links;
    if (!links.Make(tree.Path("link"), tree.Path("outside")))
        GTEST_SKIP() << "no folder links can be made here";
    DirReader reader;
    EXPECT_NE(reader.Open(tree.Path16("link")), Status::Ok);
    DirEntry entry;
    EXPECT_FALSE(reader.Next(entry));
}

// --- Checked removal for good -------------------------------------------------

TEST(CheckedRemovalWin32, UnchangedFileAndFolderTreeAreRemoved) {
    TempTree tree;
    const fs::path file = tree.Write("a/b/copy.txt", "copy");
    tree.Write("a/b/keep.txt", "keep");
    tree.Write("a/album/one.jpg", "1");
    const fs::path readOnly = tree.Write("a/album/deep/two.jpg", "2");
    ASSERT_TRUE(SetFileAttributesW(W(readOnly).c_str(), FILE_ATTRIBUTE_READONLY));
    tree.MakeDir("a/album/empty");

    const Seen copy = Scanned(tree, "a/b/copy.txt");
    EXPECT_EQ(copy.route.Path(), tree.Path16("a/b/copy.txt"));
    ItemFacts now;
    ASSERT_EQ(InspectItem(copy.route, now), ItemCheck::Ok);
    EXPECT_TRUE(now.SameIdentity(copy.item));
    EXPECT_EQ(now.size, 4u);
    EXPECT_EQ(RemoveCheckedItem(copy.route, copy.item, false), ItemCheck::Ok);
    EXPECT_FALSE(Exists(file));
    EXPECT_EQ(InspectItem(copy.route, now), ItemCheck::Vanished);

    const Seen album = Scanned(tree, "a/album");
    EXPECT_EQ(RemoveCheckedItem(album.route, album.item, false), ItemCheck::Ok);
    EXPECT_FALSE(Exists(tree.Path("a/album")));
    EXPECT_EQ(Contents(tree.Path("a/b/keep.txt")), "keep");
}

TEST(CheckedRemovalWin32, FileRewrittenSinceTheScanStays) {
    TempTree tree;
    const fs::path sameSize = tree.Write("same-size.txt", "before");
    const fs::path longer = tree.Write("longer.txt", "before");
    const Seen first = Scanned(tree, "same-size.txt");
    const Seen second = Scanned(tree, "longer.txt");

    tree.Write("same-size.txt", "after!");
    SetWriteTime(sameSize, first.item.mtime + 10'000'000);
    tree.Write("longer.txt", "after, and longer");
    SetWriteTime(longer, second.item.mtime);  // only the size tells

    for (const bool toTrash : {false, true}) {
        EXPECT_EQ(RemoveCheckedItem(first.route, first.item, toTrash), ItemCheck::Changed);
        EXPECT_EQ(RemoveCheckedItem(second.route, second.item, toTrash), ItemCheck::Changed);
    }
    EXPECT_EQ(Contents(sameSize), "after!");
    EXPECT_EQ(Contents(longer), "after, and longer");
}

TEST(CheckedRemovalWin32, FileReplacedByAnotherOfTheSameNameStays) {
    TempTree tree;
    const fs::path file = tree.Write("photo.jpg", "picture");
    const Seen seen = Scanned(tree, "photo.jpg");
    // Same name, bytes, size and time: only the identity differs. Made
    // before the original goes, so it cannot reuse the original's number.
    const fs::path stranger = tree.Write("stranger.jpg", "picture");
    SetWriteTime(stranger, seen.item.mtime);
    ASSERT_TRUE(MoveFileExW(W(stranger).c_str(), W(file).c_str(), MOVEFILE_REPLACE_EXISTING));

    for (const bool toTrash : {false, true})
        EXPECT_EQ(RemoveCheckedItem(seen.route, seen.item, toTrash), ItemCheck::Replaced);
    EXPECT_EQ(Contents(file), "picture");
}

TEST(CheckedRemovalWin32, FolderOnTheWayReplacedByAnotherFolderStopsTheRemoval) {
    TempTree tree;
    tree.Write("a/b/f.txt", "f");
    const Seen seen = Scanned(tree, "a/b/f.txt");
    // The same names again, in a new folder put where the listed one was.
    ASSERT_TRUE(MoveFileW(W(tree.Path("a")).c_str(), W(tree.Path("a-old")).c_str()));
    tree.Write("a/b/f.txt", "other f");

    ItemFacts now;
    EXPECT_EQ(InspectItem(seen.route, now), ItemCheck::PathChanged);
    for (const bool toTrash : {false, true})
        EXPECT_EQ(RemoveCheckedItem(seen.route, seen.item, toTrash), ItemCheck::PathChanged);
    EXPECT_EQ(Contents(tree.Path("a/b/f.txt")), "other f");
    EXPECT_EQ(Contents(tree.Path("a-old/b/f.txt")), "f");
}

TEST(CheckedRemovalWin32, FolderOnTheWaySwappedForALinkStopsTheRemoval) {
    TempTree tree;
    tree.Write("tree/sub/f.txt", "f");
    tree.Write("outside/f.txt", "outside");
    tree.MakeDir("moved");
    const Seen seen = Scanned(tree, "tree/sub/f.txt");
    ASSERT_TRUE(MoveFileW(W(tree.Path("tree/sub")).c_str(), W(tree.Path("moved/sub")).c_str()));
    FolderLinks links;
    if (!links.Make(tree.Path("tree/sub"), tree.Path("outside")))
        GTEST_SKIP() << "no folder links can be made here";

    for (const bool toTrash : {false, true})
        EXPECT_EQ(RemoveCheckedItem(seen.route, seen.item, toTrash), ItemCheck::PathChanged);
    EXPECT_EQ(Contents(tree.Path("outside/f.txt")), "outside");
    EXPECT_EQ(Contents(tree.Path("moved/sub/f.txt")), "f");
}

TEST(CheckedRemovalWin32, ItemTurnedIntoALinkIsLeftAlone) {
    TempTree tree;
    tree.MakeDir("tree/album");
    tree.Write("outside/keep.jpg", "keep");
    const Seen seen = Scanned(tree, "tree/album");
    ASSERT_TRUE(RemoveDirectoryW(W(tree.Path("tree/album")).c_str()));
    FolderLinks links;
    if (!links.Make(tree.Path("tree/album"), tree.Path("outside")))
        GTEST_SKIP() << "no folder links can be made here";

    ItemFacts now;
    EXPECT_EQ(InspectItem(seen.route, now), ItemCheck::Link);
    for (const bool toTrash : {false, true})
        EXPECT_EQ(RemoveCheckedItem(seen.route, seen.item, toTrash), ItemCheck::Link);
    EXPECT_EQ(Contents(tree.Path("outside/keep.jpg")), "keep");
    std::vector<TreeFile> files;
    EXPECT_EQ(ListFolderTree(seen.route, files), ItemCheck::Link);
}

TEST(CheckedRemovalWin32, FileHeldOpenWithoutDeleteSharingStays) {
    TempTree tree;
    const fs::path file = tree.Write("open.txt", "in use");
    const DWORD original = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
    ASSERT_TRUE(SetFileAttributesW(W(file).c_str(), original));
    const Seen seen = Scanned(tree, "open.txt");
    {
        OpenWithoutDeleteSharing open(file);
        ASSERT_TRUE(open.IsOpen());
        EXPECT_EQ(RemoveCheckedItem(seen.route, seen.item, false), ItemCheck::NotRemoved);
        // The retry cleared read-only; the failed retry must put it back.
        EXPECT_EQ(Attributes(file) & original, original);
        if (UnderWine() && !TrashFolder().empty()) {
            EXPECT_EQ(RemoveCheckedItem(seen.route, seen.item, true), ItemCheck::NotTrashed);
        }
        EXPECT_EQ(Contents(file), "in use");
    }
    // Nothing was left marked: once the program lets go the file is intact
    // and can still be removed.
    EXPECT_EQ(Contents(file), "in use");
    EXPECT_EQ(RemoveCheckedItem(seen.route, seen.item, false), ItemCheck::Ok);
    EXPECT_FALSE(Exists(file));
}

TEST(CheckedRemovalWin32, LinkBelowARemovedFolderIsNeverEntered) {
    TempTree tree;
    tree.Write("tree/a.txt", "a");
    tree.Write("tree/sub/b.txt", "b");
    tree.Write("outside/keep.txt", "keep");
    // Wine's RemoveDirectoryW on a link to an empty folder removes that
    // folder: the link must be handled as a link.
    const fs::path emptyTarget = tree.MakeDir("empty-target");
    FolderLinks links;
    if (!links.Make(tree.Path("tree/sub/link"), tree.Path("outside")) ||
        !links.Make(tree.Path("tree/link-to-empty"), emptyTarget))
        GTEST_SKIP() << "no folder links can be made here";
    const Seen seen = Scanned(tree, "tree");

    std::vector<TreeFile> files;
    ASSERT_EQ(ListFolderTree(seen.route, files), ItemCheck::Ok);
    std::vector<std::u16string> listed;
    for (const TreeFile& file : files)
        listed.push_back(file.relativePath);
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (std::vector<std::u16string>{u"a.txt", u"sub\\b.txt"}));

    const ItemCheck removed = RemoveCheckedItem(seen.route, seen.item, false);
    EXPECT_EQ(Contents(tree.Path("outside/keep.txt")), "keep");
    EXPECT_TRUE(Exists(emptyTarget));
    EXPECT_FALSE(Exists(tree.Path("tree/a.txt")));
    EXPECT_FALSE(Exists(tree.Path("tree/sub/b.txt")));
    // Wine cannot remove a folder link; what the call says must match the
    // disk either way.
    EXPECT_EQ(removed == ItemCheck::Ok, !Exists(tree.Path("tree")));
}

TEST(CheckedRemovalWin32, RouteLongerThanTheClassicPathLimitIsFollowed) {
    TempTree tree;
    std::string relative = "deep";
    for (int i = 0; i < 6; ++i)
        relative += "/" + std::string(60, 'n') + std::to_string(i);
    std::wstring deep = L"\\\\?\\" + W(tree.Path("deep"));
    ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
    for (int i = 0; i < 6; ++i) {
        deep += L"\\" + std::wstring(60, L'n') + std::to_wstring(i);
        ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
    }
    const std::wstring file = deep + L"\\f.txt";
    const HANDLE created =
        CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(created, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(created, "deep", 4, &written, nullptr);
    CloseHandle(created);
    ASSERT_GT(file.size(), 300u + 4u);

    // Scanned lists every folder on the way, the deepest included.
    const Seen seen = Scanned(tree, relative + "/f.txt");
    EXPECT_EQ(seen.item.size, 4u);
    EXPECT_EQ(RemoveCheckedItem(seen.route, seen.item, false), ItemCheck::Ok);
    EXPECT_EQ(GetFileAttributesW(file.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesW(deep.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(CheckedRemovalWin32, ReadOnlyAndSystemFilesGoAfterTheirAttributesAreCleared) {
    TempTree tree;
    const fs::path readOnly = tree.Write("ro.txt", "r");
    const fs::path system = tree.Write("sys.txt", "s");
    ASSERT_TRUE(SetFileAttributesW(W(readOnly).c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(
        SetFileAttributesW(W(system).c_str(), FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY));
    // The retry is what removes them: a plain delete is refused.
    ASSERT_FALSE(DeleteFileW(W(readOnly).c_str()));
    for (const char* name : {"ro.txt", "sys.txt"}) {
        const Seen seen = Scanned(tree, name);
        EXPECT_EQ(RemoveCheckedItem(seen.route, seen.item, false), ItemCheck::Ok) << name;
    }
    EXPECT_FALSE(Exists(readOnly));
    EXPECT_FALSE(Exists(system));
}

TEST(CheckedRemovalWin32, FolderWithOneLockedFileLosesEverythingElse) {
    TempTree tree;
    tree.Write("box/a.txt", "a");
    tree.Write("box/sub/b.txt", "b");
    tree.Write("box/sub/deeper/c.txt", "c");
    const fs::path readOnly = tree.Write("box/sub/ro.txt", "r");
    SetFileAttributesW(W(readOnly).c_str(), FILE_ATTRIBUTE_READONLY);
    tree.MakeDir("box/empty");
    const fs::path locked = tree.Write("box/keep/locked.txt", "locked");
    const Seen box = Scanned(tree, "box");
    {
        OpenWithoutDeleteSharing open(locked);
        ASSERT_TRUE(open.IsOpen());
        EXPECT_EQ(RemoveCheckedItem(box.route, box.item, false), ItemCheck::NotRemoved);
    }
    EXPECT_EQ(Contents(locked), "locked");
    std::vector<std::string> left;
    for (const auto& entry : fs::recursive_directory_iterator(tree.Path("box")))
        left.push_back(fs::relative(entry.path(), tree.Path("box")).generic_string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"keep", "keep/locked.txt"}));
}

TEST(CheckedRemovalWin32, TreeDeeperThanTheClassicPathLimitIsDeleted) {
    TempTree tree;
    std::wstring deep = L"\\\\?\\" + W(tree.Path("deep"));
    ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
    for (int i = 0; i < 6; ++i) {
        deep += L"\\" + std::wstring(60, L'n') + std::to_wstring(i);
        ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
        const HANDLE file = CreateFileW((deep + L"\\f.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                                        CREATE_NEW, FILE_ATTRIBUTE_READONLY, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        CloseHandle(file);
    }
    ASSERT_GT(deep.size(), 300u + 4u);
    const Seen seen = Scanned(tree, "deep");
    EXPECT_EQ(RemoveCheckedItem(seen.route, seen.item, false), ItemCheck::Ok);
    EXPECT_EQ(GetFileAttributesW(deep.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(Exists(tree.Path("deep")));
    EXPECT_TRUE(Exists(tree.Root()));
}

// The removal thread owns no window, but the tree deletion still serves
// whatever is sent to its thread while it runs.
TEST(CheckedRemovalWin32, TreeDeletionServesTheThreadsMessagesWhileItRuns) {
    TempTree tree;
    for (int i = 0; i < 5; ++i)
        tree.Write("t/f" + std::to_string(i) + ".txt", "x");
    struct Watch {
        fs::path root;
        bool rootExisted = false;
    } watch{tree.Path("t"), false};
    MidDeletion mid(
        [](void* context) {
            auto* w = static_cast<Watch*>(context);
            w->rootExisted = Exists(w->root);
        },
        &watch);
    const Seen seen = Scanned(tree, "t");
    ASSERT_TRUE(mid.Post());
    EXPECT_EQ(RemoveCheckedItem(seen.route, seen.item, false), ItemCheck::Ok);
    EXPECT_EQ(mid.Runs(), 1);
    EXPECT_TRUE(watch.rootExisted) << "the message must be served during the deletion";
    EXPECT_FALSE(Exists(tree.Path("t")));
}

// Folders are swapped for links to an outside folder while the deletion
// runs (from the deleting thread's own message queue, after the first
// entry). The listing may still describe them as plain folders; the walk
// must look again and never delete through them.
TEST(CheckedRemovalWin32, FolderSwappedForALinkDuringTheDeletionIsNotFollowed) {
    TempTree tree;
    const fs::path target = tree.MakeDir("outside");
    tree.Write("outside/keep.txt", "keep");
    tree.MakeDir("moved");
    for (int i = 0; i < 6; ++i)
        tree.Write("tree/d" + std::to_string(i) + "/f.txt", "f");
    FolderLinks links;
    if (!links.Make(tree.Path("probe-link"), target))
        GTEST_SKIP() << "no folder links can be made here";

    struct Swap {
        TempTree* tree;
        FolderLinks* links;
        fs::path target;
        int swapped = 0;
    } swap{&tree, &links, target};
    MidDeletion mid(
        [](void* context) {
            auto* s = static_cast<Swap*>(context);
            for (int i = 0; i < 6; ++i) {
                const std::string name = "d" + std::to_string(i);
                // A folder the walk holds open cannot be moved: that is the
                // guard for folders already entered.
                if (MoveFileW(W(s->tree->Path("tree/" + name)).c_str(),
                              W(s->tree->Path("moved/" + name)).c_str()) &&
                    s->links->Make(s->tree->Path("tree/" + name), s->target)) {
                    ++s->swapped;
                }
            }
        },
        &swap);
    const Seen seen = Scanned(tree, "tree");
    ASSERT_TRUE(mid.Post());
    RemoveCheckedItem(seen.route, seen.item, false);
    ASSERT_EQ(mid.Runs(), 1);
    ASSERT_GT(swap.swapped, 0) << "the swap must have happened for the case to mean anything";
    EXPECT_EQ(Contents(tree.Path("outside/keep.txt")), "keep");
    for (int i = 0; i < 6; ++i) {
        const fs::path moved = tree.Path("moved/d" + std::to_string(i) + "/f.txt");
        if (Exists(tree.Path("moved/d" + std::to_string(i)))) {
            EXPECT_EQ(Contents(moved), "f") << moved;
        }
    }
}

// --- Listing a folder's files -------------------------------------------------

TEST(ListFolderTreeWin32, ListsEveryFileThatHoldsDataWithWhatTheWalkSees) {
    TempTree tree;
    tree.Write("album/one.jpg", "one");
    tree.Write("album/empty.txt", "");
    tree.Write("album/deep/er/two.jpg", "two!");
    const fs::path hidden = tree.Write("album/Thumbs.db", "thumbs");
    ASSERT_TRUE(
        SetFileAttributesW(W(hidden).c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    tree.MakeDir("album/nothing");
    const Seen seen = Scanned(tree, "album");

    std::vector<TreeFile> files;
    ASSERT_EQ(ListFolderTree(seen.route, files), ItemCheck::Ok);
    std::map<std::u16string, ItemFacts> byPath;
    for (const TreeFile& file : files)
        byPath.emplace(file.relativePath, file.facts);
    // A system file is left out of the scan, but removing the folder would
    // take it: it is listed.
    ASSERT_EQ(byPath.size(), 3u);
    const ItemFacts two = byPath.at(u"deep\\er\\two.jpg");
    const ItemFacts walked = FactsOf(Listing(tree.Path16("album/deep/er")).at(u"two.jpg"));
    EXPECT_EQ(two.size, 4u);
    EXPECT_TRUE(two.SameIdentity(walked));
    EXPECT_EQ(two.mtime, walked.mtime);
    EXPECT_EQ(byPath.count(u"one.jpg"), 1u);
    EXPECT_EQ(byPath.count(u"Thumbs.db"), 1u);
    SetFileAttributesW(W(hidden).c_str(), FILE_ATTRIBUTE_NORMAL);

    EXPECT_TRUE(Exists(tree.Path("album/one.jpg"))) << "listing touches nothing";
}

TEST(ListFolderTreeWin32, FolderThatCannotBeOpenedMakesTheTreeUnreadable) {
    TempTree tree;
    tree.Write("album/one.jpg", "one");
    tree.Write("album/locked/two.jpg", "two");
    const Seen seen = Scanned(tree, "album");
    // Held with no sharing at all, as a program may hold a folder: nobody
    // else can open it, so what is in it cannot be known.
    const HANDLE locked = CreateFileW(W(tree.Path("album/locked")).c_str(), GENERIC_READ, 0,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(locked, INVALID_HANDLE_VALUE);
    std::vector<TreeFile> files;
    EXPECT_EQ(ListFolderTree(seen.route, files), ItemCheck::Unreadable);
    CloseHandle(locked);
    EXPECT_EQ(ListFolderTree(seen.route, files), ItemCheck::Ok);
    EXPECT_EQ(files.size(), 2u);
}

// A file system mounted below a folder is another volume to Wine (its
// serial differs). Neither the listing nor the removal may enter it.
TEST(CheckedRemovalWin32, FileSystemMountedBelowIsNeverEntered) {
    TempTree tree;
    tree.Write("tree/a.txt", "a");
    const fs::path mountPoint = tree.MakeDir("tree/mnt");
    MountBelow mount(mountPoint);
    if (!mount.Mounted())
        GTEST_SKIP() << "no file system can be mounted here (needs root under Wine)";
    tree.Write("tree/mnt/other-volume.txt", "elsewhere");
    const Seen seen = Scanned(tree, "tree");
    std::vector<TreeFile> files;
    EXPECT_EQ(ListFolderTree(seen.route, files), ItemCheck::OtherDevice);
    for (const bool toTrash : {false, true})
        EXPECT_EQ(RemoveCheckedItem(seen.route, seen.item, toTrash), ItemCheck::OtherDevice);
    EXPECT_EQ(Contents(tree.Path("tree/mnt/other-volume.txt")), "elsewhere");
    EXPECT_TRUE(Exists(tree.Path("tree/mnt")));
}

// --- Checked recycling ----------------------------------------------------------

class CheckedRecycleWin32 : public testing::Test {
protected:
    void SetUp() override {
        trash_ = TrashFolder();
        if (trash_.empty() || !UnderWine())
            GTEST_SKIP() << "the trash is checked where Wine keeps it";
    }
    fs::path InTrash(const std::string& name) const { return trash_ / "files" / name; }
    fs::path InfoOf(const std::string& name) const {
        return trash_ / "info" / (name + ".trashinfo");
    }
    static std::string Unique(const TempTree& tree, const std::string& stem) {
        return tree.Root().filename().string() + "-" + stem;
    }
    fs::path trash_;
};

TEST_F(CheckedRecycleWin32, UnchangedFileAndFolderTreeGoToTheTrash) {
    TempTree tree;
    const std::string fileName = Unique(tree, "copy.jpg");
    const std::string folderName = Unique(tree, "album");
    tree.Write("in/" + fileName, "copy");
    tree.Write("in/" + folderName + "/a.jpg", "a");
    tree.Write("in/" + folderName + "/sub/b.jpg", "b");
    const Seen file = Scanned(tree, "in/" + fileName);
    const Seen folder = Scanned(tree, "in/" + folderName);

    EXPECT_EQ(RemoveCheckedItem(file.route, file.item, true), ItemCheck::Ok);
    EXPECT_EQ(RemoveCheckedItem(folder.route, folder.item, true), ItemCheck::Ok);
    EXPECT_FALSE(Exists(tree.Path("in/" + fileName)));
    EXPECT_FALSE(Exists(tree.Path("in/" + folderName)));
    EXPECT_EQ(Contents(InTrash(fileName)), "copy");
    EXPECT_EQ(Contents(InTrash(folderName) / "sub" / "b.jpg"), "b");
    EXPECT_TRUE(Exists(tree.Path("in")));
    // The info names the plain path the shell was given, never the long form.
    const std::string info = Contents(InfoOf(fileName));
    EXPECT_NE(info.find("[Trash Info]"), std::string::npos);
    EXPECT_NE(info.find(fileName), std::string::npos);
    EXPECT_EQ(info.find("?"), std::string::npos) << info;
    EXPECT_TRUE(Exists(InfoOf(folderName)));
}

// Run only as a child process (below), whose Wine has no usable trash.
TEST(CheckedRecycleWithoutTrash, DISABLED_Child) {
    const char* root = std::getenv("CS_RECYCLE_ROOT");
    const char* name = std::getenv("CS_RECYCLE_NAME");
    ASSERT_NE(root, nullptr);
    ASSERT_NE(name, nullptr);
    const std::string narrow(root);
    const Seen seen = Scanned(std::u16string(narrow.begin(), narrow.end()), name);
    EXPECT_EQ(RemoveCheckedItem(seen.route, seen.item, true), ItemCheck::NotTrashed);
}

// Without a trash Wine's SHFileOperationW deletes instead of recycling, and
// still reports success: the item must stay where it is and count as failed.
TEST(CheckedRecycleWithoutTrash, ItemStaysWhereNothingCanKeepIt) {
    if (!UnderWine())
        GTEST_SKIP() << "a missing recycle bin is staged through Wine's trash folder";
    TempTree tree;
    const fs::path file = tree.Write("only-copy.txt", "only copy");
    // A data folder below a plain file can never be created.
    const fs::path blocker = tree.Write("not-a-folder", "x");
    const std::string blockedHome = UnixPath(blocker) + "/home";

    std::wstring environment;
    for (const wchar_t* entry = GetEnvironmentStringsW(); *entry; entry += wcslen(entry) + 1) {
        const std::wstring variable(entry);
        if (variable.rfind(L"XDG_DATA_HOME=", 0) == 0 || variable.rfind(L"HOME=", 0) == 0)
            continue;
        environment += variable + L'\0';
    }
    const std::wstring home = fs::path(blockedHome).wstring();
    environment += L"HOME=" + home + L'\0';
    environment += L"XDG_DATA_HOME=" + home + L"/.local/share" + L'\0';
    environment += L"CS_RECYCLE_ROOT=" + W(tree.Root()) + L'\0';
    environment += std::wstring(L"CS_RECYCLE_NAME=only-copy.txt") + L'\0';
    environment += L'\0';

    wchar_t self[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    const DWORD code = RunProgram(L"\"" + std::wstring(self) +
                                      L"\" --gtest_also_run_disabled_tests "
                                      L"--gtest_filter=CheckedRecycleWithoutTrash.DISABLED_Child",
                                  environment.c_str());
    EXPECT_EQ(code, 0u) << "the child's removal must report the trash's refusal";
    EXPECT_EQ(Contents(file), "only copy");
}

}  // namespace
}  // namespace cs::platform

#endif  // _WIN32
