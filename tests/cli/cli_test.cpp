// The real clonesifter-cli on real trees: exit codes, the JSON document and
// the text sections, checked against what is on disk.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "cli/cli_runner.h"
#include "platform/text.h"
#include "support/temp_tree.h"

namespace {

namespace fs = std::filesystem;
using cs::test::TempTree;
using namespace cs::test::cli;

std::vector<std::vector<std::string>> FileGroups(const nlohmann::json& doc) {
    std::vector<std::vector<std::string>> groups;
    for (const auto& g : doc.at("file_groups")) {
        std::vector<std::string> paths;
        for (const auto& m : g.at("members"))
            paths.push_back(m.at("path"));
        groups.push_back(paths);
    }
    return groups;
}

TEST(CliUsage, BadInvocationsExitWithTwo) {
    TempTree tree;
    const std::string root = tree.Root().string();
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {},
             {"--preset", "13", root},
             {"--preset", "0", root},
             {"--preset"},
             {"--names", "fuzzy", root},
             {"--contents", "partial", root},
             {"--types", "pictures,movies", root},
             {"--bogus", root},
             {"--json=yes", root},
             {"--format", "xml", root},
             {"--min-size", "10x", root},
             {"--max-size", "-1", root},
             {"--min-size=2M", "--max-size=1M", root},
             {"--exclude=", root},
             {"--plan-out", "p.json", "--remove", "delete", root},
             {"--apply-plan", "p.json", root},
             {"--apply-plan", "p.json"},
         }) {
        const CliResult r = RunCli(args);
        EXPECT_EQ(r.exitCode, 2) << "args: " << ::testing::PrintToString(args);
        EXPECT_NE(r.err.find("Usage:"), std::string::npos);
        EXPECT_TRUE(r.out.empty());
    }
}

TEST(CliUsage, EachRootProblemIsNamed) {
    TempTree tree;
    tree.Write("file.txt", "x");
    tree.Write("ok/a.txt", "x");
    const std::string ok = tree.Path("ok").string();
    const struct {
        std::string root;
        std::string message;
    } cases[] = {{tree.Path("file.txt").string(), "not a folder: "},
                 {tree.Path("missing").string(), "no such folder: "}};
    for (const auto& c : cases) {
        // A bad root anywhere in the list stops the run before any scan.
        const CliResult r = RunCli({ok, c.root});
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find(c.message + c.root), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
}

TEST(CliUsage, HelpGoesToStdout) {
    const CliResult r = RunCli({"--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("--preset N"), std::string::npos);
}

TEST(CliOptions, CriteriaAndFilterFromPresetAndOverrides) {
    TempTree tree;
    const std::string root = tree.Root().string();
    struct Case {
        std::vector<std::string> args;
        int criteria;
        std::string filter;
    } cases[] = {
        {{}, 0x015, ""},
        {{"--preset", "4"}, 0x045, ""},
        {{"--preset", "8"}, 0x045, ""},
        {{"--preset", "9"}, 0x011, ""},
        {{"--preset", "12"}, 0x005, ""},
        {{"--any-size", "--preset", "4"}, 0x041, ""},  // overrides win wherever they stand
        {{"--names", "exact", "--contents", "similar"}, 0x08D, ""},
        {{"--names", "extension", "--names", "none"}, 0x005, ""},
        {{"--no-recursive", "--folders", "--zero-byte"}, 0x116, ""},
        {{"--ext", " Raw, .NEF"}, 0x015, "|Raw|NEF|"},
        {{"--ext", ","}, 0x015, "|||"},
        {{"--types", "pdf,music"}, 0x015, "|mp3|wwa|flac|ogg|opus|wav|m3a|ape|mpc|tta|wv|pdf|xps|"},
        {{"--ext", "raw", "--types", "pdf"}, 0x015, "|raw|pdf|xps|"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.push_back("--json");
        args.push_back(root + "///");
        const CliResult r = RunCli(args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const auto doc = nlohmann::json::parse(r.out);
        EXPECT_EQ(doc.at("criteria"), c.criteria) << ::testing::PrintToString(c.args);
        EXPECT_EQ(doc.at("extension_filter"), c.filter) << ::testing::PrintToString(c.args);
        EXPECT_EQ(doc.at("root"), root) << "trailing separators are removed";
        EXPECT_EQ(doc.at("cancelled"), false);
    }
}

// The order the walk meets files in: listing order, each sub-folder
// finished before the next entry of its parent.
// The scan's order: each folder's names upper-cased and in code-unit order.
void WalkOrder(const fs::path& folder, std::vector<std::string>& out) {
    std::vector<fs::directory_entry> entries(fs::directory_iterator(folder), {});
    auto key = [](const fs::directory_entry& e) {
        const std::u16string name = cs::test::ToU16(e.path().filename());
        return std::make_pair(cs::platform::UpperCaseForOrder(name), name);
    };
    std::sort(entries.begin(), entries.end(),
              [&key](const auto& a, const auto& b) { return key(a) < key(b); });
    for (const auto& e : entries) {
        if (e.is_directory()) {
            WalkOrder(e.path(), out);
        } else {
            out.push_back(e.path().string());
        }
    }
}

TEST(CliJson, GroupsInCreationOrderWithFounderSize) {
    TempTree tree;
    tree.Write("a/one.bin", std::string(1000, 'x'));
    tree.Write("a/b/two.bin", std::string(1000, 'x'));
    tree.Write("a/b/c/three.bin", std::string(1000, 'x'));
    tree.Write("a/b/c/d/other.bin", std::string(1000, 'y'));  // same size, other contents
    tree.Write("a/b/c/d/e/empty.bin", "");
    tree.Write("z/first.txt", "abc");
    tree.Write("z/second.txt", "abc");
    std::vector<std::string> order;
    WalkOrder(tree.Root(), order);
    auto walked = [&order](std::vector<std::string> paths) {
        std::sort(paths.begin(), paths.end(), [&order](const auto& x, const auto& y) {
            return std::find(order.begin(), order.end(), x) <
                   std::find(order.begin(), order.end(), y);
        });
        return paths;
    };
    const std::vector<std::string> big =
        walked({tree.Path("a/one.bin").string(), tree.Path("a/b/two.bin").string(),
                tree.Path("a/b/c/three.bin").string()});
    const std::vector<std::string> small =
        walked({tree.Path("z/first.txt").string(), tree.Path("z/second.txt").string()});

    const CliResult r = RunCli({"--preset", "4", "--zero-byte", "--json", tree.Root().string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto doc = nlohmann::json::parse(r.out);
    ASSERT_EQ(doc.at("file_groups").size(), 2u);
    // Groups come in the order their first member was met.
    const bool bigFirst = walked({big[0], small[0]})[0] == big[0];
    const size_t bigIndex = bigFirst ? 0 : 1;
    EXPECT_EQ(FileGroups(doc)[bigIndex], big);
    EXPECT_EQ(FileGroups(doc)[1 - bigIndex], small);
    EXPECT_EQ(doc["file_groups"][bigIndex]["size"], 1000);
    EXPECT_EQ(doc["file_groups"][1 - bigIndex]["size"], 3);
    ASSERT_EQ(doc.at("zero_byte_files").size(), 1u);
    EXPECT_EQ(doc["zero_byte_files"][0]["path"], tree.Path("a/b/c/d/e/empty.bin").string());
    EXPECT_EQ(doc["zero_byte_files"][0]["size"], 0);
    EXPECT_TRUE(doc.at("folder_groups").empty());
}

TEST(CliJson, NameBytesThatAreNotUtf8SurviveAsSurrogateEscapes) {
    TempTree tree;
    tree.Write("sub/plain.dat", "same bytes");
    const fs::path odd = tree.Root() / std::string("odd\xff\xfe.dat");
    std::ofstream(odd, std::ios::binary) << "same bytes";
    const CliResult r = RunCli({"--preset", "4", "--json", tree.Root().string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("odd\\udcff\\udcfe.dat"), std::string::npos) << r.out;
    // Every other byte is plain UTF-8: nothing raw above 0x7F is written.
    for (unsigned char c : r.out)
        EXPECT_LT(c, 0x80);

    // The text form writes the original bytes back, so the path can be used.
    const CliResult text = RunCli({"--preset", "4", tree.Root().string()});
    EXPECT_NE(text.out.find(odd.string() + "\todd\xff\xfe.dat\t10 bytes\n"), std::string::npos)
        << text.out;
}

TEST(CliText, SectionsMirrorTheResultList) {
    TempTree tree;
    // Each folder holds one entry besides the next folder's chain, so the
    // walk order is fixed: pic.jpg's folder lists it before "x" or after.
    tree.Write("Photos/x/Photos (2)/y/empty.txt", "");
    tree.Write("Photos/x/Photos (2)/pic - copy.jpg", std::string(1536, 'p'));
    tree.Write("Photos/pic.jpg", std::string(1536, 'p'));
    std::vector<std::string> order;
    WalkOrder(tree.Root(), order);
    std::string first = tree.Path("Photos/pic.jpg").string() + "\tpic.jpg\t1.5 KB\n";
    std::string second =
        tree.Path("Photos/x/Photos (2)/pic - copy.jpg").string() + "\tpic - copy.jpg\t1.5 KB\n";
    if (order[0] != tree.Path("Photos/pic.jpg").string())
        std::swap(first, second);

    const CliResult r = RunCli({"--folders", "--zero-byte", tree.Root().string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string expected =
        "Duplicate folder names\n" + tree.Path("Photos").string() + "\tPhotos\tN/A (Folder)\n" +
        tree.Path("Photos/x/Photos (2)").string() + "\tPhotos (2)\tN/A (Folder)\n" +
        "\nDuplicate files\n" + first + second + "\nEmpty (zero-byte) files\n" +
        tree.Path("Photos/x/Photos (2)/y/empty.txt").string() + "\tempty.txt\t0 bytes\n";
    EXPECT_EQ(r.out, expected);
}

TEST(CliText, WithoutTheSizeCriterionSizesAreReadFromDisk) {
    TempTree tree;
    tree.Write("a/song.mp3", std::string(100, 'a'));
    tree.Write("a/b/song.mp3", std::string(2048, 'b'));
    const CliResult r = RunCli({"--preset", "10", tree.Root().string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("\tsong.mp3\t100 bytes\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\tsong.mp3\t2 KB\n"), std::string::npos) << r.out;
}

TEST(CliCancel, InterruptPrintsPartialResultsAndExits130) {
    TempTree tree;
    // Sparse: hashing them takes seconds, storing them takes nothing. Where
    // the file system keeps no holes they would be 8 GiB of real writes, so
    // there they are smaller: still far more than one read.
    uint64_t big = 4ull << 30;
    {
        const fs::path probe = tree.Path("probe");
        std::ofstream(probe).close();
        fs::resize_file(probe, 64u << 20);
        struct stat st;
        if (stat(probe.c_str(), &st) != 0 || static_cast<uint64_t>(st.st_blocks) * 512 > (32u << 20))
            big = 256u << 20;
        fs::remove(probe);
    }
    for (const char* name : {"a/big1.bin", "a/b/big2.bin"}) {
        const fs::path p = tree.Path(name);
        fs::create_directories(p.parent_path());
        std::ofstream(p).close();
        fs::resize_file(p, big);
    }
    tree.Write("small1.txt", "dup");
    tree.Write("a/b/c/small2.txt", "dup");
    int outFd, errFd;
    const pid_t pid =
        Spawn({"--preset", "4", "--json", "--quiet", tree.Root().string()}, outFd, errFd);
    ASSERT_GT(pid, 0);
    // Wait until the scan holds one of the big files open: it is then
    // inside a digest that takes seconds, and the interrupt lands there.
    const fs::path fdDir = "/proc/" + std::to_string(pid) + "/fd";
    bool hashing = false;
    for (int spin = 0; spin < 200000 && !hashing; ++spin) {
        std::error_code listError;
        fs::directory_iterator it(fdDir, listError);
        if (listError)
            break;  // the process ended
        for (; it != fs::directory_iterator(); it.increment(listError)) {
            // A descriptor may close between the listing and this read;
            // that says nothing about the process, so it only skips the entry.
            std::error_code linkError;
            const fs::path target = fs::read_symlink(it->path(), linkError);
            if (!linkError && target.filename().string().rfind("big", 0) == 0)
                hashing = true;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    ASSERT_TRUE(hashing) << "the scan never opened a big file";
    kill(pid, SIGINT);
    const CliResult r = Finish(pid, outFd, errFd);
    EXPECT_EQ(r.exitCode, 130) << r.err;
    const auto doc = nlohmann::json::parse(r.out);
    EXPECT_EQ(doc.at("cancelled"), true);
    for (const auto& group : FileGroups(doc)) {
        for (const auto& path : group) {
            EXPECT_EQ(path.find("big"), std::string::npos) << "the big pair was never finished";
        }
    }
}

// ---- selection and removal ------------------------------------------------

// Three copies of one text and two of another, in folders a, b and c, found
// by contents; returns the paths in the rows' order for the first group.
struct RemovalTree {
    TempTree tree;
    RemovalTree() {
        tree.Write("a/x.txt", "same words");
        tree.Write("b/x.txt", "same words");
        tree.Write("c/x.txt", "same words");
        tree.Write("a/y.txt", "other words!");
        tree.Write("b/y.txt", "other words!");
    }
    std::string Root() const { return tree.Root().string(); }
};

std::vector<std::string> Strings(const nlohmann::json& array) {
    std::vector<std::string> out;
    for (const auto& item : array)
        out.push_back(item.get<std::string>());
    return out;
}

bool Exists(const std::string& path) {
    return fs::exists(fs::symlink_status(path));
}

TEST(CliRemoval, DeletesExactlyTheTickedRows) {
    RemovalTree t;
    const CliResult listed =
        RunCli({"--contents", "exact", "--json", "--select", "keep-first", t.Root()});
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    const auto doc = nlohmann::json::parse(listed.out);
    const auto groups = FileGroups(doc);
    ASSERT_EQ(groups.size(), 2u);
    // Keep first: every member but the first of each group, in row order.
    std::vector<std::string> expectTicked;
    for (const auto& group : groups)
        expectTicked.insert(expectTicked.end(), group.begin() + 1, group.end());
    EXPECT_EQ(Strings(doc.at("ticked")), expectTicked);

    const CliResult r = RunCli(
        {"--contents", "exact", "--select", "keep-first", "--remove", "delete", "--yes", t.Root()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("\nAll the selected files have been successfully deleted.\n"),
              std::string::npos)
        << r.out;
    for (const auto& group : groups) {
        EXPECT_TRUE(Exists(group[0]));
        for (size_t m = 1; m < group.size(); ++m)
            EXPECT_FALSE(Exists(group[m])) << group[m];
    }
    // The ticked rows were marked in the listing printed before removal.
    EXPECT_NE(r.out.find(expectTicked[0] + "\tx.txt\t10 bytes\tticked\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(groups[0][0] + "\tx.txt\t10 bytes\n"), std::string::npos);
}

TEST(CliRemoval, NeverRemovesEveryCopyUnlessAllowed) {
    RemovalTree t;
    // Ticking the rows in a and b ticks the y group completely; of the x
    // group c/x.txt stays, so x may go.
    const CliResult r =
        RunCli({"--contents", "exact", "--folders", "--select", "untick-all", "--tick-folder",
                t.tree.Path("a").string(), "--tick-folder", t.tree.Path("b").string(), "--remove",
                "delete", "--yes", "--json", t.Root()});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    const auto doc = nlohmann::json::parse(r.out);
    const auto& removal = doc.at("removal");
    const std::vector<std::string> kept = Strings(removal.at("kept_as_last_copies"));
    EXPECT_EQ(kept.size(), 2u);
    EXPECT_TRUE(Exists(t.tree.Path("a/y.txt").string()));
    EXPECT_TRUE(Exists(t.tree.Path("b/y.txt").string()));
    EXPECT_FALSE(Exists(t.tree.Path("a/x.txt").string()));
    EXPECT_FALSE(Exists(t.tree.Path("b/x.txt").string()));
    EXPECT_TRUE(Exists(t.tree.Path("c/x.txt").string()));
    EXPECT_EQ(removal.at("failures"), 2);
    EXPECT_EQ(removal.at("report"),
              "2 items could not be deleted. Those are still checked in the list.");

    const CliResult all = RunCli({"--contents", "exact", "--select", "tick-all", "--remove",
                                  "delete", "--yes", "--allow-all-copies", t.Root()});
    EXPECT_EQ(all.exitCode, 0) << all.err;
    EXPECT_FALSE(Exists(t.tree.Path("a/y.txt").string()));
    EXPECT_FALSE(Exists(t.tree.Path("b/y.txt").string()));
    EXPECT_TRUE(Exists(t.tree.Path("c/x.txt").string())) << "no longer has a copy";
}

TEST(CliRemoval, TickedFolderHoldingTheLastCopyIsKeptToo) {
    TempTree tree;
    tree.Write("keep/x.txt", "same words");
    tree.Write("dup/x.txt", "same words");
    tree.MakeDir("other/dup");
    // Folder group: dup and other/dup. Ticking dup's folder row and the
    // keep/x.txt row would take both copies of x.txt.
    const CliResult r = RunCli({"--contents", "exact", "--folders", "--tick-folder",
                                tree.Root().string(), "--tick-folder", tree.Path("keep").string(),
                                "--remove", "delete", "--yes", "--json", tree.Root().string()});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_TRUE(Exists(tree.Path("keep/x.txt").string()));
    EXPECT_TRUE(Exists(tree.Path("dup/x.txt").string()));
    const auto doc = nlohmann::json::parse(r.out);
    const auto kept = Strings(doc.at("removal").at("kept_as_last_copies"));
    EXPECT_NE(std::find(kept.begin(), kept.end(), tree.Path("dup").string()), kept.end());
}

TEST(CliRemoval, AsksOrRefusesAndDryRunTouchesNothing) {
    RemovalTree t;
    const CliResult refused =
        RunCli({"--contents", "exact", "--select", "keep-first", "--remove", "delete", t.Root()});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.err.find("give --yes"), std::string::npos) << refused.err;
    const CliResult dry = RunCli({"--contents", "exact", "--select", "keep-last", "--remove",
                                  "delete", "--dry-run", t.Root()});
    EXPECT_EQ(dry.exitCode, 0) << dry.err;
    // It says how many items, how many bytes, and where to.
    EXPECT_NE(dry.out.find("Would remove 3 items, "), std::string::npos) << dry.out;
    EXPECT_NE(dry.out.find(" B, for good:\n"), std::string::npos) << dry.out;
    for (const char* name : {"a/x.txt", "b/x.txt", "c/x.txt", "a/y.txt", "b/y.txt"})
        EXPECT_TRUE(Exists(t.tree.Path(name).string())) << name;
    EXPECT_EQ(RunCli({"--yes", t.Root()}).exitCode, 2) << "--yes without --remove";

    const CliResult nothing =
        RunCli({"--contents", "exact", "--remove", "delete", "--yes", t.Root()});
    EXPECT_EQ(nothing.exitCode, 0);
    EXPECT_NE(
        nothing.out.find("Please tick at least one item for removal before using this option."),
        std::string::npos);
}

TEST(CliRemoval, TrashModeMovesItemsIntoTheTrash) {
    RemovalTree t;
    TempTree home;
    const fs::path data = home.Root() / "data";
    const CliResult r = RunCli(
        {"--contents", "exact", "--select", "keep-first", "--remove", "trash", "--yes", t.Root()},
        {{"XDG_DATA_HOME", data.string()}});
    EXPECT_EQ(r.exitCode, 0) << r.err << r.out;
    size_t files = 0, infos = 0;
    for (const auto& e : fs::directory_iterator(data / "Trash" / "files")) {
        (void)e;
        ++files;
    }
    for (const auto& e : fs::directory_iterator(data / "Trash" / "info"))
        infos += e.path().extension() == ".trashinfo";
    EXPECT_EQ(files, 3u);
    EXPECT_EQ(infos, 3u);
}

TEST(CliRemoval, UndeletableItemIsReportedAndExitIsOne) {
    RemovalTree t;
    const fs::path stuck = t.tree.Path("c/x.txt");
    if (std::system(("chattr +i '" + stuck.string() + "' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "chattr +i is not available here";
    const CliResult r =
        RunCli({"--contents", "exact", "--select", "tick-all", "--untick-folder",
                t.tree.Path("a").string(), "--remove", "delete", "--yes", t.Root()});
    std::system(("chattr -i '" + stuck.string() + "'").c_str());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("\n1 item could not be deleted. Those are still checked in the list.\n" +
                         stuck.string() + "\t(the system refused to remove it)\n"),
              std::string::npos)
        << r.out;
    EXPECT_TRUE(Exists(stuck.string()));
    EXPECT_FALSE(Exists(t.tree.Path("b/x.txt").string()));
    EXPECT_TRUE(Exists(t.tree.Path("a/x.txt").string()));
}

}  // namespace
