// A scan of a home folder must not list what the user has thrown away: the
// trashed copy is no copy the user keeps, and "keep the oldest" would keep
// it and remove the live file. A root inside a trash is scanned as asked.
#include <gtest/gtest.h>

#ifndef _WIN32

#include <sys/mount.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "engine/scan.h"
#include "support/reference_scan.h"
#include "support/temp_tree.h"

namespace cs::engine {
namespace {

namespace fs = std::filesystem;
using test::Describe;
using test::PathList;
using test::RunEngineScan;
using test::ScanRecord;
using test::TempTree;

// Sets (or unsets) an environment variable for the test's lifetime.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        if (value)
            setenv(name, value->c_str(), 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

ScanRecord ScanOf(const fs::path& root) {
    engine::ScanOptions o;
    o.rootPath = test::ToU16(root);
    o.criteria = CRIT_RECURSIVE | CRIT_EXACT_CONTENTS;
    return RunEngineScan(o);
}

class HomeTrash : public testing::Test {
protected:
    void SetUp() override {
        tree.Write("home/photo.jpg", kPicture);
        tree.Write("home/docs/photo.jpg", kPicture);
        tree.Write("home/.local/share/Trash/files/photo.jpg", kPicture);
        tree.Write("home/.local/share/Trash/files/photo.2.jpg", kPicture);
        tree.Write("home/.local/share/Trash/info/photo.jpg.trashinfo",
                   "[Trash Info]\nPath=photo.jpg\n");
        tree.Write("home/.local/share/Trash/info/photo.2.jpg.trashinfo", "[Trash Info]\n");
        live = {tree.Path16("home/docs/photo.jpg"), tree.Path16("home/photo.jpg")};
    }

    static constexpr const char* kPicture = "pretend these are the bytes of a picture";
    TempTree tree;
    PathList live;
};

TEST_F(HomeTrash, IsLeftOutOfAScanOfHomeWhateverPathNamesIt) {
    // HOME through a link: the trash is told by its identity, not its path.
    fs::create_directory_symlink(tree.Path("home"), tree.Path("home-link"));
    ScopedEnv home("HOME", tree.Path("home-link").string());
    ScopedEnv data("XDG_DATA_HOME", std::nullopt);
    const ScanRecord rec = ScanOf(tree.Path("home"));
    ASSERT_EQ(rec.final.matchGroups.size(), 1u) << Describe(rec.final);
    EXPECT_EQ(rec.final.matchGroups[0], live);
}

TEST_F(HomeTrash, XdgDataHomeSaysWhereItIs) {
    tree.Write("home/data/Trash/files/photo.jpg", kPicture);
    ScopedEnv home("HOME", tree.Path("home").string());
    ScopedEnv data("XDG_DATA_HOME", tree.Path("home/data").string());
    const ScanRecord rec = ScanOf(tree.Path("home"));
    ASSERT_EQ(rec.final.matchGroups.size(), 1u) << Describe(rec.final);
    // ~/.local/share/Trash is no trash now: an ordinary folder, listed.
    EXPECT_EQ(rec.final.matchGroups[0].size(), 4u) << Describe(rec.final);
    for (const std::u16string& p : rec.final.matchGroups[0])
        EXPECT_EQ(p.find(u"/data/Trash/"), std::u16string::npos) << test::Utf8(p);
}

TEST_F(HomeTrash, ARootInsideItIsScanned) {
    ScopedEnv home("HOME", tree.Path("home").string());
    ScopedEnv data("XDG_DATA_HOME", std::nullopt);
    const PathList trashed = {tree.Path16("home/.local/share/Trash/files/photo.2.jpg"),
                              tree.Path16("home/.local/share/Trash/files/photo.jpg")};
    for (const char* root : {"home/.local/share/Trash", "home/.local/share/Trash/files"}) {
        const ScanRecord rec = ScanOf(tree.Path(root));
        ASSERT_EQ(rec.final.matchGroups.size(), 1u) << root << "\n" << Describe(rec.final);
        EXPECT_EQ(rec.final.matchGroups[0], trashed);
    }
}

// .Trash-$UID and .Trash/$UID count only at the top of a file system; a
// folder of that name anywhere else is the user's own.
TEST(TopTrash, IsLeftOutAtTheTopOfAFileSystemOnly) {
    TempTree tree;
    const fs::path volume = tree.MakeDir("volume");
    if (mount("none", volume.c_str(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "cannot mount a file system here (needs root)";
    struct Unmount {
        fs::path at;
        ~Unmount() { umount2(at.c_str(), MNT_DETACH); }
    } unmount{volume};
    ScopedEnv data("XDG_DATA_HOME", std::nullopt);
    ScopedEnv home("HOME", tree.Path("nohome").string());
    const std::string uid = std::to_string(getuid());
    const char* kSame = "one and the same";
    for (const std::string& name :
         {std::string("volume/live.txt"), "volume/.Trash-" + uid + "/files/a.txt",
          "volume/.Trash-" + uid + "/files/b.txt", "volume/.Trash/" + uid + "/files/c.txt",
          std::string("volume/.Trash/other/files/d.txt"),
          "volume/sub/.Trash-" + uid + "/files/e.txt", ".Trash-" + uid + "/f.txt"}) {
        tree.Write(name, kSame);
    }
    const ScanRecord rec = ScanOf(tree.Root());
    ASSERT_EQ(rec.final.matchGroups.size(), 1u) << Describe(rec.final);
    // The test's own folder is no file system's top, so its .Trash-$UID is
    // listed; so are another user's trash and a trash-named folder lower down.
    EXPECT_EQ(
        rec.final.matchGroups[0],
        (PathList{tree.Path16(".Trash-" + uid + "/f.txt"),
                  tree.Path16("volume/.Trash/other/files/d.txt"), tree.Path16("volume/live.txt"),
                  tree.Path16("volume/sub/.Trash-" + uid + "/files/e.txt")}));

    const ScanRecord inside = ScanOf(tree.Path("volume/.Trash-" + uid));
    ASSERT_EQ(inside.final.matchGroups.size(), 1u) << Describe(inside.final);
    EXPECT_EQ(inside.final.matchGroups[0].size(), 2u);
}

}  // namespace
}  // namespace cs::engine

#endif  // _WIN32
