// Removal on Windows, run under Wine: permanent deletion with its
// attribute-clearing retry, long paths, locked files, links that must never
// be followed, and recycling into the desktop trash that Wine uses as its
// recycle bin. Every case checks what is on disk afterwards.
#ifdef _WIN32

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/removal.h"
#include "platform/wine_support_win32.h"
#include "support/temp_tree.h"

namespace cs::platform {
namespace {

namespace fs = std::filesystem;
using test::TempTree;
using test::ToU16;
using namespace test::wine;

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

// --- Permanent deletion -------------------------------------------------------

TEST(DeletePermanentlyWin32, ReadOnlyAndSystemFilesGoAfterTheirAttributesAreCleared) {
    TempTree tree;
    const fs::path readOnly = tree.Write("ro.txt", "r");
    const fs::path system = tree.Write("sys.txt", "s");
    ASSERT_TRUE(SetFileAttributesW(W(readOnly).c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(
        SetFileAttributesW(W(system).c_str(), FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY));
    // The retry is what removes them: a plain delete is refused.
    ASSERT_FALSE(DeleteFileW(W(readOnly).c_str()));

    EXPECT_TRUE(DeletePathPermanently(ToU16(readOnly)));
    EXPECT_TRUE(DeletePathPermanently(ToU16(system)));
    EXPECT_FALSE(Exists(readOnly));
    EXPECT_FALSE(Exists(system));
}

TEST(DeletePermanentlyWin32, LockedFileStaysWithTheAttributesItHad) {
    TempTree tree;
    const fs::path file = tree.Write("locked.txt", "still here");
    const DWORD original = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
    ASSERT_TRUE(SetFileAttributesW(W(file).c_str(), original));
    {
        OpenWithoutDeleteSharing open(file);
        ASSERT_TRUE(open.IsOpen());
        EXPECT_FALSE(DeletePathPermanently(ToU16(file)));
        EXPECT_TRUE(Exists(file));
        // The retry cleared read-only; the failed retry must put it back.
        EXPECT_TRUE(Attributes(file) & FILE_ATTRIBUTE_READONLY);
        EXPECT_EQ(Attributes(file) & original, original);
    }
    EXPECT_EQ(Contents(file), "still here");
    SetFileAttributesW(W(file).c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(DeletePermanentlyWin32, FolderWithOneLockedFileLosesEverythingElse) {
    TempTree tree;
    tree.Write("box/a.txt", "a");
    tree.Write("box/sub/b.txt", "b");
    tree.Write("box/sub/deeper/c.txt", "c");
    const fs::path readOnly = tree.Write("box/sub/ro.txt", "r");
    SetFileAttributesW(W(readOnly).c_str(), FILE_ATTRIBUTE_READONLY);
    tree.MakeDir("box/empty");
    const fs::path locked = tree.Write("box/keep/locked.txt", "locked");
    {
        OpenWithoutDeleteSharing open(locked);
        ASSERT_TRUE(open.IsOpen());
        EXPECT_FALSE(DeletePathPermanently(tree.Path16("box")));
    }
    EXPECT_TRUE(Exists(locked));
    EXPECT_EQ(Contents(locked), "locked");
    std::vector<std::string> left;
    for (const auto& entry : fs::recursive_directory_iterator(tree.Path("box")))
        left.push_back(fs::relative(entry.path(), tree.Path("box")).generic_string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"keep", "keep/locked.txt"}));
}

TEST(DeletePermanentlyWin32, TreeDeeperThanTheClassicPathLimitIsDeleted) {
    TempTree tree;
    std::wstring deep = L"\\\\?\\" + W(tree.Path("deep"));
    const std::wstring level(60, L'n');
    ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
    for (int i = 0; i < 6; ++i) {
        deep += L"\\" + level + std::to_wstring(i);
        ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
        const HANDLE file = CreateFileW((deep + L"\\f.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                                        CREATE_NEW, FILE_ATTRIBUTE_READONLY, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        CloseHandle(file);
    }
    ASSERT_GT(deep.size(), 300u + 4u);

    EXPECT_TRUE(DeletePathPermanently(tree.Path16("deep")));
    EXPECT_EQ(GetFileAttributesW(deep.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(Exists(tree.Path("deep")));
    EXPECT_TRUE(Exists(tree.Root()));
}

TEST(DeletePermanentlyWin32, VanishedItemIsRemovedVanishedParentIsNot) {
    TempTree tree;
    tree.MakeDir("here");
    EXPECT_TRUE(DeletePathPermanently(tree.Path16("here/gone.txt")));
    EXPECT_TRUE(DeletePathPermanently(tree.Path16("here/gone-folder\\")));
    EXPECT_FALSE(DeletePathPermanently(tree.Path16("missing/gone.txt")));
    EXPECT_TRUE(Exists(tree.Path("here")));
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

TEST(DeleteFolderTreeWin32, ServesTheThreadsMessagesWhileItRuns) {
    TempTree tree;
    for (int i = 0; i < 5; ++i)
        tree.Write("t/f" + std::to_string(i) + ".txt", "x");
    struct Seen {
        fs::path root;
        bool rootExisted = false;
    } seen{tree.Path("t"), false};
    MidDeletion mid(
        [](void* context) {
            auto* s = static_cast<Seen*>(context);
            s->rootExisted = Exists(s->root);
        },
        &seen);
    ASSERT_TRUE(mid.Post());
    EXPECT_TRUE(DeleteFolderTree(tree.Path16("t"), u"*"));
    EXPECT_EQ(mid.Runs(), 1);
    EXPECT_TRUE(seen.rootExisted) << "the message must be served during the deletion";
    EXPECT_FALSE(Exists(tree.Path("t")));
}

// A Unix mount point is a folder reparse point to Wine, on a volume with
// another serial: the tree deletion leaves it and what is on it alone, and
// says the tree did not go.
TEST(DeletePermanentlyWin32, FileSystemMountedBelowIsNotEmptied) {
    TempTree tree;
    tree.Write("tree/a.txt", "a");
    tree.Write("tree/sub/b.txt", "b");
    const fs::path mountPoint = tree.MakeDir("tree/sub/mnt");
    MountBelow mount(mountPoint);
    if (!mount.Mounted())
        GTEST_SKIP() << "no file system can be mounted here (needs root under Wine)";
    tree.Write("tree/sub/mnt/elsewhere.txt", "elsewhere");

    EXPECT_FALSE(DeletePathPermanently(tree.Path16("tree")));
    EXPECT_EQ(Contents(tree.Path("tree/sub/mnt/elsewhere.txt")), "elsewhere");
    EXPECT_FALSE(Exists(tree.Path("tree/a.txt")));
    EXPECT_FALSE(Exists(tree.Path("tree/sub/b.txt")));
}

// --- Links ------------------------------------------------------------------

TEST(DeletePermanentlyWin32, FolderLinkInsideATreeIsNeverEntered) {
    TempTree tree;
    const fs::path target = tree.MakeDir("target");
    tree.Write("target/keep.txt", "keep");
    const fs::path emptyTarget = tree.MakeDir("empty-target");
    tree.Write("tree/a.txt", "a");
    tree.Write("tree/sub/b.txt", "b");
    FolderLinks links;
    if (!links.Make(tree.Path("tree/sub/link"), target) ||
        !links.Make(tree.Path("tree/link-to-empty"), emptyTarget))
        GTEST_SKIP() << "no folder links can be made here";

    DeletePathPermanently(tree.Path16("tree"));
    // Wine cannot remove a folder link at all (RemoveDirectoryW answers
    // "not empty" or fails); on Windows the link goes. Either way the
    // targets are untouched and everything else is gone.
    EXPECT_EQ(Contents(tree.Path("target/keep.txt")), "keep");
    EXPECT_TRUE(Exists(emptyTarget));
    EXPECT_FALSE(Exists(tree.Path("tree/a.txt")));
    EXPECT_FALSE(Exists(tree.Path("tree/sub/b.txt")));
}

TEST(DeletePermanentlyWin32, FolderLinkItselfIsRemovedAsALinkOrLeft) {
    TempTree tree;
    const fs::path target = tree.MakeDir("target");
    tree.Write("target/keep.txt", "keep");
    const fs::path emptyTarget = tree.MakeDir("empty-target");
    FolderLinks links;
    if (!links.Make(tree.Path("link"), target) ||
        !links.Make(tree.Path("link-to-empty"), emptyTarget))
        GTEST_SKIP() << "no folder links can be made here";
    const bool removed = DeletePathPermanently(tree.Path16("link"));
    const bool emptyRemoved = DeletePathPermanently(tree.Path16("link-to-empty"));
    EXPECT_EQ(Contents(tree.Path("target/keep.txt")), "keep");
    EXPECT_TRUE(Exists(emptyTarget));
    // What the call says must match the disk.
    EXPECT_EQ(removed, !Exists(tree.Path("link")));
    EXPECT_EQ(emptyRemoved, !Exists(tree.Path("link-to-empty")));
}

// Folders are swapped for links to an outside folder while the deletion
// runs (from the deleting thread's own message queue, after the first
// entry). The listing may still describe them as plain folders; the walk
// must look again and never delete through them.
TEST(DeleteFolderTreeWin32, FolderSwappedForALinkDuringTheDeletionIsNotFollowed) {
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
    ASSERT_TRUE(mid.Post());
    DeletePathPermanently(tree.Path16("tree"));
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

// --- Recycling ----------------------------------------------------------------

class RecycleWin32 : public testing::Test {
protected:
    void SetUp() override {
        trash_ = TrashFolder();
        if (trash_.empty() || !UnderWine())
            GTEST_SKIP() << "the trash is checked where Wine keeps it";
    }
    // The trashed copy of an item whose name is unique to this test.
    fs::path InTrash(const std::string& name) const { return trash_ / "files" / name; }
    fs::path InfoOf(const std::string& name) const {
        return trash_ / "info" / (name + ".trashinfo");
    }
    static std::string Unique(const TempTree& tree, const std::string& stem) {
        return tree.Root().filename().string() + "-" + stem;
    }
    fs::path trash_;
};

TEST_F(RecycleWin32, FileGoesToTheTrashWithItsInfo) {
    TempTree tree;
    const std::string name = Unique(tree, "photo.jpg");
    const fs::path file = tree.Write(name, "picture");
    ASSERT_TRUE(RecyclePath(ToU16(file)));
    EXPECT_FALSE(Exists(file));
    EXPECT_EQ(Contents(InTrash(name)), "picture");
    const std::string info = Contents(InfoOf(name));
    EXPECT_NE(info.find("[Trash Info]"), std::string::npos);
    EXPECT_NE(info.find(name), std::string::npos);
}

TEST_F(RecycleWin32, LongPathPrefixIsDroppedBeforeRecycling) {
    TempTree tree;
    const std::string name = Unique(tree, "prefixed.txt");
    const fs::path file = tree.Write(name, "prefixed");
    ASSERT_TRUE(RecyclePath(u"\\\\?\\" + ToU16(file)));
    EXPECT_FALSE(Exists(file));
    EXPECT_EQ(Contents(InTrash(name)), "prefixed");
    // The info names the plain path, not the prefixed one.
    const std::string info = Contents(InfoOf(name));
    EXPECT_EQ(info.find("?"), std::string::npos) << info;
}

TEST_F(RecycleWin32, FolderGoesToTheTrashAsAWhole) {
    TempTree tree;
    const std::string name = Unique(tree, "album");
    tree.Write(name + "/a.jpg", "a");
    tree.Write(name + "/sub/b.jpg", "b");
    ASSERT_TRUE(RecyclePath(tree.Path16(name)));
    EXPECT_FALSE(Exists(tree.Path(name)));
    EXPECT_EQ(Contents(InTrash(name) / "a.jpg"), "a");
    EXPECT_EQ(Contents(InTrash(name) / "sub" / "b.jpg"), "b");
    EXPECT_TRUE(Exists(InfoOf(name)));
}

TEST_F(RecycleWin32, VanishedItemOrParentCountsAsRecycled) {
    TempTree tree;
    tree.MakeDir("here");
    EXPECT_TRUE(RecyclePath(tree.Path16("here/gone.txt")));
    EXPECT_TRUE(RecyclePath(tree.Path16("missing/gone.txt")));
    EXPECT_FALSE(RecyclePath(u""));
    EXPECT_FALSE(RecyclePath(u"\\\\?\\"));
}

TEST_F(RecycleWin32, LockedFileIsNotRecycled) {
    TempTree tree;
    const std::string name = Unique(tree, "locked.txt");
    const fs::path file = tree.Write(name, "locked");
    OpenWithoutDeleteSharing open(file);
    ASSERT_TRUE(open.IsOpen());
    EXPECT_FALSE(RecyclePath(ToU16(file)));
    EXPECT_TRUE(Exists(file));
    EXPECT_FALSE(Exists(InTrash(name)));
}

// Run only as a child process (below), whose Wine has no usable trash.
TEST(RecycleWithoutTrash, DISABLED_Child) {
    const char* item = std::getenv("CS_RECYCLE_ITEM");
    ASSERT_NE(item, nullptr);
    const std::string narrow(item);
    EXPECT_FALSE(RecyclePath(std::u16string(narrow.begin(), narrow.end())));
}

// Without a trash Wine's SHFileOperationW deletes instead of recycling, and
// still reports success: the item must stay where it is and count as failed.
TEST(RecycleWithoutTrash, ItemStaysWhereNothingCanKeepIt) {
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
    environment += L"CS_RECYCLE_ITEM=" + W(file) + L'\0';
    environment += L'\0';

    wchar_t self[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    const DWORD code = RunProgram(L"\"" + std::wstring(self) +
                                      L"\" --gtest_also_run_disabled_tests "
                                      L"--gtest_filter=RecycleWithoutTrash.DISABLED_Child",
                                  environment.c_str());
    EXPECT_EQ(code, 0u) << "the child's RecyclePath must report failure";
    EXPECT_EQ(Contents(file), "only copy");
}

}  // namespace
}  // namespace cs::platform

#endif  // _WIN32
