// The checked removal of single items on the real file system, and the
// report text. Each case starts from what a scan saw of the item, then
// looks at the disk afterwards, never only at the answer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/checked_removal.h"
#include "platform/text.h"
#ifndef _WIN32
#include "platform/posix/removal_hooks.h"
#endif
#include "removal/removal.h"
#include "support/seen_route.h"
#include "support/temp_tree.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace cs::removal {
namespace {

namespace fs = std::filesystem;
using platform::ItemCheck;
using platform::RemoveCheckedItem;
using test::Scanned;
using test::Seen;
using test::TempTree;
using test::ToU16;

TEST(RemovalReport, SingularPluralAndSuccess) {
    EXPECT_EQ(RemovalReport(0), u"All the selected files have been successfully deleted.");
    EXPECT_EQ(RemovalReport(1),
              u"1 item could not be deleted. Those are still checked in the list.");
    EXPECT_EQ(RemovalReport(12),
              u"12 items could not be deleted. Those are still checked in the list.");
}

// Someone else took the item away: nothing stands at its name, which the
// verified removal may count as removed. Its folder gone too is a route
// that leads nowhere, never a success, in either mode.
TEST(CheckedRemoval, ItemOrFolderTakenAwaySinceTheScanIsToldApart) {
    TempTree tree;
    tree.Write("here/vanished.txt", "x");
    tree.Write("gone/vanished.txt", "y");
    const Seen item = Scanned(tree, "here/vanished.txt");
    const Seen inGone = Scanned(tree, "gone/vanished.txt");
    fs::remove(tree.Path("here/vanished.txt"));
    fs::remove_all(tree.Path("gone"));
    for (const bool toTrash : {false, true}) {
        EXPECT_EQ(RemoveCheckedItem(item.route, item.item, toTrash), ItemCheck::Vanished)
            << "trash " << toTrash;
        EXPECT_EQ(RemoveCheckedItem(inGone.route, inGone.item, toTrash), ItemCheck::PathChanged)
            << "trash " << toTrash;
    }
    EXPECT_TRUE(fs::exists(tree.Path("here")));
}

#ifndef _WIN32

TEST(CheckedRemoval, RemovesFilesReadOnlyFilesAndWholeTrees) {
    TempTree tree;
    const fs::path plain = tree.Write("plain.txt", "x");
    const fs::path locked = tree.Write("readonly.txt", "x");
    fs::permissions(locked,
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    tree.Write("folder/a.txt", "a");
    tree.Write("folder/sub/deeper/b.txt", "b");
    const fs::path readOnlyInTree = tree.Write("folder/sub/c.txt", "c");
    fs::permissions(readOnlyInTree, fs::perms::owner_write, fs::perm_options::remove);
    tree.MakeDir("folder/empty");

    for (const char* name : {"plain.txt", "readonly.txt", "folder"}) {
        const Seen seen = Scanned(tree, name);
        EXPECT_EQ(RemoveCheckedItem(seen.route, seen.item, false), ItemCheck::Ok) << name;
    }
    EXPECT_FALSE(fs::exists(plain));
    EXPECT_FALSE(fs::exists(locked));
    EXPECT_FALSE(fs::exists(tree.Path("folder")));
    EXPECT_TRUE(fs::exists(tree.Root()));
}

TEST(CheckedRemoval, LinksInsideARemovedTreeAreRemovedAsLinksNeverFollowed) {
    TempTree tree;
    tree.Write("target/keep.txt", "precious");
    tree.Write("target/sub/keep2.txt", "precious");
    tree.Write("doomed/file.txt", "x");
    fs::create_directory_symlink(tree.Path("target"), tree.Path("doomed/link-to-folder"));
    fs::create_symlink(tree.Path("target/keep.txt"), tree.Path("doomed/link-to-file"));
    fs::create_directory_symlink(tree.Path("target"), tree.Path("top-link"));

    const Seen doomed = Scanned(tree, "doomed");
    EXPECT_EQ(RemoveCheckedItem(doomed.route, doomed.item, false), ItemCheck::Ok);
    EXPECT_FALSE(fs::exists(fs::symlink_status(tree.Path("doomed"))));
    // A link where a listed item stood is never the item: it stays.
    const Seen topLink = Scanned(tree, "top-link");
    EXPECT_EQ(RemoveCheckedItem(topLink.route, topLink.item, false), ItemCheck::Link);
    EXPECT_TRUE(fs::exists(fs::symlink_status(tree.Path("top-link"))));
    EXPECT_TRUE(fs::exists(tree.Path("target/keep.txt")));
    EXPECT_TRUE(fs::exists(tree.Path("target/sub/keep2.txt")));
}

// A folder inside the tree is swapped for a link to a folder outside it
// after the deletion has seen a folder there and before it opens it. The
// deletion must remove the link and never reach through it.
void SwapSubForLink(int parentFd, const char* name) {
    if (std::string(name) != "sub")
        return;
    ASSERT_EQ(renameat(parentFd, "sub", parentFd, "sub-aside"), 0);
    ASSERT_EQ(symlinkat("../victim", parentFd, "sub"), 0);
}

TEST(CheckedRemoval, FolderSwappedForALinkDuringDeletionIsNotFollowed) {
    TempTree tree;
    for (int i = 0; i < 5; ++i)
        tree.Write("victim/file" + std::to_string(i), "must survive");
    tree.Write("doomed/sub/f", "x");
    tree.Write("doomed/other/g", "y");
    const Seen doomed = Scanned(tree, "doomed");
    platform::posix::SetBeforeOpenFolderHook(SwapSubForLink);
    RemoveCheckedItem(doomed.route, doomed.item, false);
    platform::posix::SetBeforeOpenFolderHook(nullptr);
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(fs::exists(tree.Path("victim/file" + std::to_string(i))));
    // The link itself went (whether the folder moved aside was still met by
    // the listing decides only whether the tree could be emptied).
    EXPECT_FALSE(fs::exists(fs::symlink_status(tree.Path("doomed/sub"))));
    EXPECT_FALSE(fs::exists(tree.Path("doomed/other")));
}

// chattr +i makes a file that even root cannot delete.
bool MakeImmutable(const fs::path& path, bool on) {
    const std::string command =
        std::string("chattr ") + (on ? "+i" : "-i") + " '" + path.string() + "' 2>/dev/null";
    return std::system(command.c_str()) == 0;
}

TEST(CheckedRemoval, TreeWithAnUndeletableFileDeletesEverythingElse) {
    TempTree tree;
    tree.Write("f/a.txt", "a");
    tree.Write("f/sub/b.txt", "b");
    const fs::path stuck = tree.Write("f/stuck/locked.txt", "c");
    tree.Write("f/stuck/other.txt", "d");
    const Seen seen = Scanned(tree, "f");
    if (!MakeImmutable(stuck, true))
        GTEST_SKIP() << "chattr +i is not available on this file system";
    const ItemCheck removed = RemoveCheckedItem(seen.route, seen.item, false);
    MakeImmutable(stuck, false);
    EXPECT_EQ(removed, ItemCheck::NotRemoved);
    EXPECT_TRUE(fs::exists(stuck));
    EXPECT_FALSE(fs::exists(tree.Path("f/a.txt")));
    EXPECT_FALSE(fs::exists(tree.Path("f/sub")));
    EXPECT_FALSE(fs::exists(tree.Path("f/stuck/other.txt")));
}

// GLib reads the data folder once per process, so every trash case shares
// one trash below a scratch folder on the same file system as the files.
class Trash : public testing::Test {
protected:
    static void SetUpTestSuite() {
        static TempTree home;
        dataHome_ = home.Root() / "data";
        fs::create_directories(dataHome_);
        setenv("XDG_DATA_HOME", dataHome_.c_str(), 1);
    }
    static fs::path dataHome_;
};
fs::path Trash::dataHome_;

TEST_F(Trash, FilesAndFoldersGoToTheTrashWithTheirInfo) {
    TempTree tree;
    tree.Write("photo.jpg", "picture");
    tree.Write("album/a.jpg", "a");
    tree.Write("album/sub/b.jpg", "b");
    for (const char* name : {"photo.jpg", "album"}) {
        const Seen seen = Scanned(tree, name);
        ASSERT_EQ(RemoveCheckedItem(seen.route, seen.item, true), ItemCheck::Ok) << name;
    }
    EXPECT_FALSE(fs::exists(tree.Path("photo.jpg")));
    EXPECT_FALSE(fs::exists(tree.Path("album")));
    const fs::path trash = dataHome_ / "Trash";
    EXPECT_TRUE(fs::exists(trash / "files" / "photo.jpg"));
    EXPECT_TRUE(fs::exists(trash / "files" / "album" / "sub" / "b.jpg"));
    ASSERT_TRUE(fs::exists(trash / "info" / "photo.jpg.trashinfo"));
    std::string info(static_cast<size_t>(fs::file_size(trash / "info" / "photo.jpg.trashinfo")),
                     '\0');
    FILE* in = fopen((trash / "info" / "photo.jpg.trashinfo").c_str(), "rb");
    ASSERT_NE(in, nullptr);
    ASSERT_EQ(fread(info.data(), 1, info.size(), in), info.size());
    fclose(in);
    EXPECT_NE(info.find("[Trash Info]"), std::string::npos);
    EXPECT_NE(info.find("photo.jpg"), std::string::npos);
}

TEST_F(Trash, ItemWhereNoTrashCanBeMadeStaysInPlace) {
    // A memory file system is one GLib will not keep a trash on; the test
    // mounts its own rather than use the machine's /dev/shm.
    if (geteuid() != 0)
        GTEST_SKIP() << "mounting a memory file system needs root";
    TempTree tree;
    const std::string mountPoint = tree.MakeDir("mnt").string();
    ASSERT_EQ(mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=1m"), 0) << strerror(errno);
    const fs::path file = tree.Write("mnt/only.txt", "only copy");
    const Seen seen = Scanned(tree, "mnt/only.txt");
    const ItemCheck recycled = RemoveCheckedItem(seen.route, seen.item, true);
    const bool stayed = fs::exists(file);
    umount(mountPoint.c_str());
    EXPECT_EQ(recycled, ItemCheck::NotTrashed);
    EXPECT_TRUE(stayed) << "an item without a trash must not be destroyed";
}

#endif  // !_WIN32

}  // namespace
}  // namespace cs::removal
