// The checked removal on Windows, run under Wine: identities from the
// listing (hard links), and removal that refuses an item or a route that is
// no longer what the scan listed. Every case checks the disk afterwards.
#ifdef _WIN32

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/checked_removal.h"
#include "platform/dir.h"
#include "platform/file.h"
#include "platform/text.h"
#include "platform/wine_support_win32.h"
#include "support/temp_tree.h"

namespace cs::platform {
namespace {

namespace fs = std::filesystem;
using test::TempTree;
using test::ToU16;
using namespace test::wine;

std::map<std::u16string, DirEntry> Listing(const std::u16string& folder) {
    std::map<std::u16string, DirEntry> out;
    DirReader reader;
    EXPECT_EQ(reader.Open(folder), Status::Ok);
    DirEntry entry;
    while (reader.Next(entry))
        out.emplace(entry.name, entry);
    return out;
}

ItemFacts FactsOf(const DirEntry& entry) {
    ItemFacts facts;
    facts.isFolder = entry.isDirectory;
    facts.size = entry.isDirectory ? 0 : entry.size;
    facts.mtime = entry.mtime;
    facts.device = entry.device;
    facts.inode = entry.inode;
    return facts;
}

// What the scan would have recorded on its way to `relative` (a path below
// the tree's root, '/'-separated): the root's identity, each folder's entry
// in its parent, and the item's own entry.
struct Seen {
    ItemRoute route;
    ItemFacts item;
};

Seen Scanned(const TempTree& tree, const std::string& relative) {
    Seen seen;
    seen.route.rootPath = tree.Root16();
    seen.route.root.isFolder = true;
    EXPECT_TRUE(FolderIdentity(tree.Root16(), seen.route.root.device, seen.route.root.inode));
    std::u16string folder = tree.Root16();
    const std::u16string path = ToU16(fs::path(relative));
    size_t start = 0;
    for (;;) {
        const size_t end = path.find(u'\\', start);
        const std::u16string name = path.substr(start, end - start);
        const auto entries = Listing(folder);
        const auto found = entries.find(name);
        EXPECT_NE(found, entries.end()) << relative;
        const ItemFacts facts = found == entries.end() ? ItemFacts{} : FactsOf(found->second);
        if (end == std::u16string::npos) {
            seen.route.name = name;
            seen.item = facts;
            return seen;
        }
        seen.route.folders.push_back({name, facts});
        folder = JoinPath(folder, name);
        start = end + 1;
    }
}

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
    const Seen seen = Scanned(tree, "open.txt");
    {
        OpenWithoutDeleteSharing open(file);
        ASSERT_TRUE(open.IsOpen());
        EXPECT_EQ(RemoveCheckedItem(seen.route, seen.item, false), ItemCheck::NotRemoved);
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
    FolderLinks links;
    if (!links.Make(tree.Path("tree/sub/link"), tree.Path("outside")))
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
}

}  // namespace
}  // namespace cs::platform

#endif  // _WIN32
