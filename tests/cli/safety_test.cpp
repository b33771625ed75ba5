// The command line as a careless or unlucky user meets it: selection rules
// that would take every copy, folders that share only a name, the disk
// changed while the question waits, a trash that is not there. After each
// run every distinct content that existed must still exist.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/cli_runner.h"
#include "support/temp_tree.h"

namespace {

namespace fs = std::filesystem;
using cs::test::TempTree;
using namespace cs::test::cli;

const char kPrompt[] = "[y/N] ";

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A digest of every distinct non-empty content below `root`, the trash and
// links left out. Empty files hold no bytes to lose: clearing them out is
// what the zero-byte section is for.
std::set<size_t> Contents(const fs::path& root) {
    std::set<size_t> contents;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        if (it->path().filename() == ".local") {
            it.disable_recursion_pending();
            continue;
        }
        if (it->is_regular_file() && !it->is_symlink() && it->file_size() > 0)
            contents.insert(std::hash<std::string>{}(Slurp(it->path())));
    }
    return contents;
}

// Copies, look-alikes and folders that share a name, small and large.
void MakeTrickyTree(TempTree& tree) {
    tree.Write("Photos/beach.jpg", "sand and sea");
    tree.Write("Backup/Photos/beach.jpg", "sand and sea");
    tree.Write("Backup/Photos/beach - copy.jpg", "sand and sea");
    // Same size and similar names, other contents.
    tree.Write("Docs/report.txt", "version one");
    tree.Write("Docs/report (2).txt", "version two");
    // Folders sharing a name, holding files found nowhere else.
    tree.Write("2023/Music/song.mp3", "only copy of the song");
    tree.Write("2024/Music/other.mp3", "only copy of another");
    // Same first and last 2 MiB, another middle byte.
    const uint64_t size = 5u << 20;
    std::string big = cs::test::PseudoRandomBytes(size, 11);
    tree.Write("Films/holiday.mkv", big);
    big[size / 2] ^= 1;
    tree.Write("Films/holiday (2).mkv", big);
    tree.Write("empty.txt", "");
    tree.Write("Docs/empty.log", "");
}

TEST(CliSafety, NoPresetAndRuleLosesAnyContent) {
    for (int preset = 1; preset <= 12; ++preset) {
        for (const char* rule : {"keep-first", "keep-last", "tick-all"}) {
            TempTree tree;
            MakeTrickyTree(tree);
            const auto before = Contents(tree.Root());
            const CliResult r =
                RunCli({"--preset", std::to_string(preset), "--folders", "--zero-byte", "--select",
                        rule, "--remove", "delete", "--yes", "--quiet", tree.Root().string()});
            EXPECT_NE(r.exitCode, 2) << r.err;
            EXPECT_EQ(Contents(tree.Root()), before) << "preset " << preset << ", " << rule;
        }
    }
}

TEST(CliSafety, FolderGroupsNeverTakeTheOnlyCopy) {
    for (const char* rule : {"keep-first", "tick-all"}) {
        TempTree tree;
        const auto song = tree.Write("2023/Music/song.mp3", "only copy of the song");
        const auto other = tree.Write("2024/Music/other.mp3", "only copy of another");
        const CliResult r = RunCli({"--folders", "--select", rule, "--remove", "delete", "--yes",
                                    "--json", "--quiet", tree.Root().string()});
        EXPECT_EQ(r.exitCode, 1) << rule << r.err;
        EXPECT_TRUE(fs::exists(song)) << rule;
        EXPECT_TRUE(fs::exists(other)) << rule;
        const auto doc = nlohmann::json::parse(r.out);
        EXPECT_EQ(doc.at("removal").at("removed"), 0);
        EXPECT_NE(doc.at("removal").at("report"),
                  "All the selected files have been successfully deleted.");
        for (const auto& reason : doc.at("removal").at("reasons"))
            EXPECT_FALSE(reason.at("reason").get<std::string>().empty());
    }
}

TEST(CliSafety, UnverifiedItemsNeedConsent) {
    TempTree tree;
    // "report (2).txt" is walked first, so keep-first ticks "report.txt".
    tree.Write("report (2).txt", "version two");
    const auto lookalike = tree.Write("report.txt", "version one");
    const std::vector<std::string> base = {"--select", "keep-first", "--remove", "delete",
                                           "--yes",    "--quiet",    tree.Root().string()};
    const CliResult held = RunCli(base);
    EXPECT_EQ(held.exitCode, 1);
    EXPECT_TRUE(fs::exists(lookalike));
    EXPECT_NE(held.err.find("1 ticked item is held back as unverified"), std::string::npos)
        << held.err;
    EXPECT_NE(held.out.find("report.txt\t(unverified: no copy that stays has the same "
                            "contents; --allow-unverified removes it"),
              std::string::npos)
        << held.out;

    std::vector<std::string> forced = base;
    forced.insert(forced.begin(), "--allow-unverified");
    EXPECT_EQ(RunCli(forced).exitCode, 0);
    EXPECT_FALSE(fs::exists(lookalike));
}

TEST(CliSafety, ParentSwappedForALinkWhileTheQuestionWaits) {
    for (const char* mode : {"delete", "trash"}) {
        TempTree tree;
        TempTree outside;
        TempTree home;
        tree.Write("dup/f.txt", "the same bytes");
        tree.Write("keep/f.txt", "the same bytes");
        const auto foreign = outside.Write("f.txt", "another file, outside the tree");
        const CliResult r = RunCliOnTerminal(
            {"--contents", "exact", "--select", "keep-first", "--remove", mode, "--quiet",
             tree.Root().string()},
            kPrompt,
            [&] {
                fs::rename(tree.Path("keep"), tree.Path("keep.moved"));
                fs::create_directory_symlink(outside.Root(), tree.Path("keep"));
            },
            "y", {{"XDG_DATA_HOME", (home.Root() / "data").string()}});
        EXPECT_EQ(r.exitCode, 1) << mode << r.err << r.out;
        EXPECT_EQ(Slurp(foreign), "another file, outside the tree") << mode;
        EXPECT_TRUE(fs::exists(tree.Path("keep.moved/f.txt")));
        EXPECT_TRUE(fs::exists(tree.Path("dup/f.txt")));
        EXPECT_NE(r.out.find("1 item could not be deleted. Those are still checked in the list."),
                  std::string::npos)
            << r.out;
    }
}

// With HOME naming a folder that is not there the trash cannot be made: a
// failure, and the file stays. With no HOME at all the trash is in the
// account's home from the password database; that home is a folder of the
// test, mounted over the real one for this run only, and holds the files
// too (a move into the trash never crosses a mount).
TEST(CliSafety, TheTrashIsInTheHomeOrItIsAFailure) {
    for (const char* home : {"/nonexistent", ""}) {
        TempTree accountHome;
        // "a (2).txt" is walked first, so keep-first ticks "a.txt".
        const auto kept = accountHome.Write("files/a (2).txt", "twice");
        const auto ticked = accountHome.Write("files/a.txt", "twice");
        std::string root = accountHome.Path("files").string();
        Confinement confinement;
        if (!*home) {
            const passwd* account = getpwuid(getuid());
            if (geteuid() != 0 || !account)
                GTEST_SKIP() << "a home of the test's own is mounted, which needs root";
            confinement.homeMountedFrom = accountHome.Root().string();
            root = std::string(account->pw_dir) + "/files";
        }
        const CliResult r = RunCli({"--contents", "exact", "--select", "keep-first", "--remove",
                                    "trash", "--yes", "--json", "--quiet", root},
                                   {{"HOME", home}, {"XDG_DATA_HOME", ""}}, confinement);
        ASSERT_NE(r.exitCode, 126) << r.err;
        EXPECT_TRUE(fs::exists(kept));
        const auto doc = nlohmann::json::parse(r.out);
        if (*home) {
            EXPECT_EQ(r.exitCode, 1) << "HOME=" << home << r.err;
            EXPECT_TRUE(fs::exists(ticked));
            EXPECT_EQ(doc.at("removal").at("removed"), 0);
            EXPECT_EQ(doc.at("removal").at("reasons").at(0).at("reason"),
                      "the trash did not take it");
        } else {
            EXPECT_EQ(r.exitCode, 0) << "no HOME: " << r.err << r.out;
            EXPECT_FALSE(fs::exists(ticked));
            EXPECT_EQ(Slurp(accountHome.Path(".local/share/Trash/files/a.txt")), "twice");
            EXPECT_EQ(doc.at("removal").at("removed"), 1);
        }
    }
}

TEST(CliSafety, AHomeFolderIsScannedWithoutItsTrash) {
    TempTree home;
    const auto live = home.Write("photo.jpg", "holiday picture");
    const auto trashed = home.Write(".local/share/Trash/files/photo.jpg", "holiday picture");
    fs::last_write_time(trashed, fs::last_write_time(live) - std::chrono::hours(24));
    const CliResult r = RunCli({"--contents", "exact", "--select", "keep-oldest", "--remove",
                                "delete", "--yes", "--quiet", home.Root().string()},
                               {{"HOME", home.Root().string()}, {"XDG_DATA_HOME", ""}});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fs::exists(live));
    EXPECT_NE(r.out.find("Please tick at least one item"), std::string::npos) << r.out;
}

TEST(CliSafety, RootSpelledAnyWayScansTheSameFolder) {
    TempTree tree;
    tree.Write("data/a.txt", "twice");
    tree.Write("data/b/a.txt", "twice");
    fs::create_directory_symlink(tree.Path("data"), tree.Path("link"));
    const std::string data = tree.Path("data").string();
    for (const std::string& root :
         {data + "/", data + "//", tree.Path("link").string(), tree.Path("link").string() + "/"}) {
        const CliResult r = RunCli({"--contents", "exact", "--json", "--quiet", root});
        ASSERT_EQ(r.exitCode, 0) << root << r.err;
        const auto doc = nlohmann::json::parse(r.out);
        EXPECT_EQ(doc.at("file_groups").size(), 1u) << root;
    }
}

TEST(CliSafety, WhatCouldNotBeReadIsCountedAndAnUnlistableRootIsAnError) {
    TempTree tree;
    tree.Write("a.txt", "twice");
    tree.Write("b.txt", "twice");
    tree.Write("closed/c.txt", "twice");
    fs::permissions(tree.Write("d.txt", "twice"), fs::perms::none);
    fs::permissions(tree.Path("closed"), fs::perms::none);
    Confinement unprivileged;
    unprivileged.withoutFileModeOverride = true;
    const CliResult r = RunCli(
        {"--contents", "exact", "--names", "none", "--json", "--quiet", tree.Root().string()}, {},
        unprivileged);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto doc = nlohmann::json::parse(r.out);
    EXPECT_EQ(doc.at("skipped").at("folders_not_listed"), 1);
    EXPECT_EQ(doc.at("skipped").at("files_not_read"), 1);
    EXPECT_NE(r.err.find("could not look into 1 folder and could not read 1 file"),
              std::string::npos)
        << r.err;

    const CliResult closed = RunCli({"--quiet", tree.Path("closed").string()}, {}, unprivileged);
    EXPECT_EQ(closed.exitCode, 2);
    EXPECT_NE(closed.err.find("permission denied: " + tree.Path("closed").string()),
              std::string::npos)
        << closed.err;
}

}  // namespace
