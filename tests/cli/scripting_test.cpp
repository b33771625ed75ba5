// The command line as scripts use it: conventions, filters, the formats a
// script reads back with a real parser, and plans written now and applied
// later. Every run is the real clonesifter-cli on a real tree.
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/cli_runner.h"
#include "support/temp_tree.h"

namespace {

namespace fs = std::filesystem;
using cs::test::TempTree;
using namespace cs::test::cli;
using Json = nlohmann::json;

std::set<std::string> AllPaths(const Json& doc) {
    std::set<std::string> paths;
    for (const char* section : {"folder_groups", "file_groups"})
        for (const auto& g : doc.at(section))
            for (const auto& m : g.at("members"))
                paths.insert(m.at("path").get<std::string>());
    for (const auto& m : doc.at("zero_byte_files"))
        paths.insert(m.at("path").get<std::string>());
    return paths;
}

Json ScanJson(std::vector<std::string> args) {
    args.insert(args.begin(), {"--json", "--quiet"});
    const CliResult r = RunCli(args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return Json::parse(r.out);
}

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs a shell pipeline; returns what it printed.
std::string Shell(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0)
        out.append(buf, n);
    pclose(pipe);
    return out;
}

std::string Quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// What a plan's writing left beside `target`: names that start with its own.
std::vector<std::string> Leftovers(const fs::path& target) {
    std::vector<std::string> names;
    const std::string prefix = target.filename().string() + ".";
    for (const auto& entry : fs::directory_iterator(target.parent_path()))
        if (entry.path().filename().string().rfind(prefix, 0) == 0)
            names.push_back(entry.path().filename().string());
    return names;
}

// A tmpfs of `kib` KiB at `where` for the test's life; unmounted after.
class SmallMount {
public:
    SmallMount(const fs::path& where, int kib) : where_(where) {
        fs::create_directories(where);
        const std::string data = "size=" + std::to_string(kib) + "k";
        mounted_ = mount("tmpfs", where.c_str(), "tmpfs", 0, data.c_str()) == 0;
    }
    ~SmallMount() {
        if (mounted_)
            umount2(where_.c_str(), MNT_DETACH);
    }
    bool Mounted() const { return mounted_; }

private:
    fs::path where_;
    bool mounted_ = false;
};

TEST(CliConventions, VersionHelpAndBothValueForms) {
    const CliResult version = RunCli({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("clonesifter-cli ", 0), 0u) << version.out;
    const CliResult help = RunCli({"-h"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--exclude GLOB"), std::string::npos);

    TempTree tree;
    tree.Write("a/x.dat", "0123456789");
    tree.Write("b/x.dat", "0123456789");
    tree.Write("b/y.dat", "9876543210");
    const std::string root = tree.Root().string();
    const Json spaced = ScanJson({"--contents", "exact", "--names", "none", root});
    const Json joined = ScanJson({"--contents=exact", "--names=none", root});
    EXPECT_EQ(spaced.at("file_groups"), joined.at("file_groups"));
    EXPECT_EQ(joined.at("file_groups").size(), 1u);

    const CliResult flagWithValue = RunCli({"--quiet=1", root});
    EXPECT_EQ(flagWithValue.exitCode, 2);
    EXPECT_NE(flagWithValue.err.find("--quiet takes no value"), std::string::npos);
}

TEST(CliConventions, SummaryOnStderrAndNotWithQuiet) {
    TempTree tree;
    tree.WriteSized("a/big.bin", 3000, 1);
    tree.WriteSized("b/big.bin", 3000, 1);
    tree.WriteSized("c/big.bin", 3000, 1);
    tree.Write("a/s.txt", "abc");
    tree.Write("b/s.txt", "abc");
    const CliResult r = RunCli({"--contents", "exact", tree.Root().string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // Two of three big copies and one of two small ones would go.
    EXPECT_NE(r.err.find("2 groups of duplicate files, 5 files in them; keeping one file per "
                         "group would free 5.9 KiB (6003 bytes)"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.out.find("groups of duplicate"), std::string::npos);
    const CliResult quiet = RunCli({"--quiet", "--contents", "exact", tree.Root().string()});
    EXPECT_TRUE(quiet.err.empty()) << quiet.err;
}

TEST(CliConventions, PromptSaysWhatAndWhereAndCtrlCExits130) {
    TempTree tree;
    tree.WriteSized("a/x.bin", 2048, 7);
    tree.WriteSized("b/x.bin", 2048, 7);
    tree.WriteSized("c/x.bin", 2048, 7);
    for (const char* mode : {"delete", "trash"}) {
        const CliResult r = RunCliOnTerminal(
            {"--quiet", "--contents", "exact", "--select", "keep-first", "--remove", mode,
             tree.Root().string()},
            "[y/N] ", [] {}, "\x03");
        EXPECT_EQ(r.exitCode, 130) << r.err;
        const std::string question = std::string(mode[0] == 'd' ? "Remove" : "Move") +
                                     " 2 items (4.0 KiB (4096 bytes)) " +
                                     (mode[0] == 'd' ? "for good" : "to the trash") + "?";
        EXPECT_NE(r.err.find(question), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("interrupted; nothing was removed"), std::string::npos) << r.err;
        for (const char* name : {"a/x.bin", "b/x.bin", "c/x.bin"})
            EXPECT_TRUE(fs::exists(tree.Path(name))) << name;
    }
}

TEST(CliFilters, SeveralRootsAreOneWalkAndOverlapsCountOnce) {
    TempTree tree;
    tree.Write("one/x.dat", "same contents");
    tree.Write("two/x.dat", "same contents");
    tree.Write("two/inner/x.dat", "same contents");
    const std::string one = tree.Path("one").string(), two = tree.Path("two").string();
    const Json apart = ScanJson({"--contents", "exact", one});
    EXPECT_TRUE(apart.at("file_groups").empty()) << "one copy in one/";
    // Across the roots the copies meet; the inner root is inside "two" and
    // the same root given twice adds nothing.
    const Json both = ScanJson({"--contents", "exact", one, two, tree.Path("two/inner").string(),
                                one + "/"});
    ASSERT_EQ(both.at("file_groups").size(), 1u);
    const auto& members = both["file_groups"][0]["members"];
    ASSERT_EQ(members.size(), 3u);
    EXPECT_EQ(members[0]["path"], one + "/x.dat") << "roots are walked in the order given";
    EXPECT_EQ(both.at("roots"), Json::array({one, two}));
    // Given inner first, the files below it are listed once, under it.
    const Json innerFirst =
        ScanJson({"--contents", "exact", tree.Path("two/inner").string(), two});
    EXPECT_EQ(AllPaths(innerFirst),
              (std::set<std::string>{tree.Path("two/inner/x.dat").string(),
                                     tree.Path("two/x.dat").string()}));

    // The removal reaches an item below the second root through it.
    const CliResult removed = RunCli({"--quiet", "--contents", "exact", "--select", "keep-first",
                                      "--remove", "delete", "--yes", one, two});
    EXPECT_EQ(removed.exitCode, 0) << removed.err << removed.out;
    EXPECT_TRUE(fs::exists(tree.Path("one/x.dat")));
    EXPECT_FALSE(fs::exists(tree.Path("two/x.dat")));
    EXPECT_FALSE(fs::exists(tree.Path("two/inner/x.dat")));
}

TEST(CliFilters, ExcludeMatchesNamesAndPathsBelowTheRoot) {
    TempTree tree;
    for (const char* name : {"keep/a.txt", "keep/a.tmp", "cache/a.txt", "deep/cache/a.txt",
                             "deep/x/y/a.txt", "top.txt"})
        tree.Write(name, "identical");
    const std::string root = tree.Root().string();
    auto listed = [&](std::vector<std::string> excludes) {
        std::vector<std::string> args{"--contents", "exact", "--names", "none"};
        for (const std::string& e : excludes)
            args.push_back("--exclude=" + e);
        args.push_back(root);
        std::set<std::string> rel;
        for (const std::string& p : AllPaths(ScanJson(args)))
            rel.insert(p.substr(root.size() + 1));
        return rel;
    };
    // A name pattern applies at any depth; a folder left out is not entered.
    EXPECT_EQ(listed({"*.tmp", "cache"}),
              (std::set<std::string>{"keep/a.txt", "deep/x/y/a.txt", "top.txt"}));
    // A pattern with a separator is matched against the path below the
    // root; '*' stays within one name, '**' crosses folders.
    EXPECT_EQ(listed({"deep/*/a.txt", "keep/*"}),
              (std::set<std::string>{"cache/a.txt", "deep/x/y/a.txt", "top.txt"}));
    EXPECT_EQ(listed({"deep/**/a.txt", "*.t?p"}),
              (std::set<std::string>{"keep/a.txt", "cache/a.txt", "top.txt"}));
    EXPECT_EQ(listed({"[a-k]*.txt"}), (std::set<std::string>{"keep/a.tmp", "top.txt"}));

    const CliResult rootExcluded = RunCli({"--exclude", tree.Root().filename().string(), root});
    EXPECT_EQ(rootExcluded.exitCode, 2);
    EXPECT_NE(rootExcluded.err.find("matches the root " + root + " itself"), std::string::npos)
        << rootExcluded.err;
}

TEST(CliFilters, SizeLimitsWithUnitsAndHiddenEntries) {
    TempTree tree;
    for (const char* folder : {"a", "b"}) {
        const std::string f = folder;
        tree.WriteSized(f + "/small.bin", 1023, 1);
        tree.WriteSized(f + "/kib.bin", 1024, 2);
        tree.WriteSized(f + "/big.bin", 5 * 1024 * 1024 + 1, 3);
        tree.WriteSized(f + "/.dot.bin", 2000, 4);
        tree.WriteSized(f + "/.hid/in.bin", 3000, 5);
    }
    const std::string root = tree.Root().string();
    auto names = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"--contents", "exact"});
        args.push_back(root);
        std::set<std::string> found;
        for (const std::string& p : AllPaths(ScanJson(args)))
            found.insert(fs::path(p).filename().string());
        return found;
    };
    // Both limits are inclusive; units are powers of 1024.
    EXPECT_EQ(names({"--min-size", "1k", "--max-size=5M"}),
              (std::set<std::string>{"kib.bin", ".dot.bin", "in.bin"}));
    EXPECT_EQ(names({"--min-size", "1025", "--max-size", "2KiB"}),
              (std::set<std::string>{".dot.bin"}));
    EXPECT_EQ(names({"--min-size", "5m"}), (std::set<std::string>{"big.bin"}));
    EXPECT_EQ(names({"--no-hidden"}), (std::set<std::string>{"small.bin", "kib.bin", "big.bin"}));
    EXPECT_EQ(names({"--no-hidden", "--hidden"}).size(), 5u) << "the last of the two wins";

    for (const char* bad : {"10x", "k", "1.5M", "", "99999999999999999999", "20000000T"}) {
        const CliResult r = RunCli({"--min-size", bad, root});
        EXPECT_EQ(r.exitCode, 2) << bad;
        EXPECT_NE(r.err.find("takes a size such as"), std::string::npos) << bad << r.err;
    }
}

TEST(CliFilters, OneFileSystemStaysOnTheRootsDevice) {
    TempTree tree;
    tree.Write("here/x.dat", "same bytes");
    tree.Write("y.dat", "same bytes");
    SmallMount mount(tree.Path("mnt"), 256);
    if (!mount.Mounted())
        GTEST_SKIP() << "mounting a tmpfs needs root";
    tree.Write("mnt/z.dat", "same bytes");
    tree.Write("mnt/sub/w.dat", "same bytes");
    const std::string root = tree.Root().string();
    EXPECT_EQ(AllPaths(ScanJson({"--contents", "exact", "--names", "none", root})).size(), 4u);
    EXPECT_EQ(AllPaths(ScanJson(
                  {"--contents", "exact", "--names", "none", "--one-file-system", root})),
              (std::set<std::string>{tree.Path("here/x.dat").string(),
                                     tree.Path("y.dat").string()}));
}

TEST(CliJson, VersionedMembersWithTimesMatchAndSharedSizeOnly) {
    TempTree tree;
    tree.Write("a/photo.jpg", "12345");
    tree.Write("b/photo.jpg", "1234567");
    tree.Write("c/n.txt", "same");
    tree.Write("d/n.txt", "same");
    const timespec when[2] = {{1614834367, 0}, {1614834367, 0}};  // 2021-03-04T05:06:07Z
    ASSERT_EQ(utimensat(AT_FDCWD, tree.Path("a/photo.jpg").c_str(), when, 0), 0);
    const Json doc = ScanJson({"--any-size", "--names", "exact", "--select", "keep-first",
                               tree.Root().string()});
    EXPECT_EQ(doc.at("version"), 1);
    ASSERT_EQ(doc.at("file_groups").size(), 2u);
    for (const auto& g : doc["file_groups"]) {
        EXPECT_EQ(g.at("match"), "names");
        const auto& m = g.at("members");
        ASSERT_EQ(m.size(), 2u);
        EXPECT_FALSE(m[0].at("ticked").get<bool>());
        EXPECT_TRUE(m[1].at("ticked").get<bool>());
        const bool photos = m[0]["path"] == tree.Path("a/photo.jpg").string();
        if (photos) {
            EXPECT_FALSE(g.contains("size")) << "members differ in size";
            EXPECT_EQ(m[0]["size"], 5);
            EXPECT_EQ(m[1]["size"], 7);
            EXPECT_EQ(m[0]["mtime"], "2021-03-04T05:06:07Z");
        } else {
            EXPECT_EQ(g.at("size"), 4);
        }
        EXPECT_EQ(m[1]["mtime"].get<std::string>().size(), 20u);
    }
    EXPECT_EQ(ScanJson({"--contents", "exact", tree.Root().string()})["file_groups"][0]["match"],
              "exact");
    EXPECT_EQ(ScanJson({"--contents", "similar", tree.Root().string()})["match"],
              "similar-contents");
    EXPECT_EQ(ScanJson({"--names", "none", tree.Root().string()})["match"], "size");
}

TEST(CliJson, NameThatIsNotUtf8CarriesItsBytes) {
    TempTree tree;
    tree.Write("sub/plain.dat", "same bytes");
    const std::string odd = tree.Root().string() + "/odd\xff\xfe.dat";
    std::ofstream(odd, std::ios::binary) << "same bytes";
    const CliResult r = RunCli({"--quiet", "--preset", "4", "--json", tree.Root().string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // Python, as a script would read it, decodes the bytes back to the name.
    const fs::path saved = tree.Path("out.json");
    std::ofstream(saved, std::ios::binary) << r.out;
    const std::string decoded = Shell(
        "python3 -c 'import json,sys,base64,os; d=json.load(open(sys.argv[1])); "
        "[sys.stdout.buffer.write(base64.b64decode(m[\"path_bytes\"])+b\"|\"+"
        "str(os.path.exists(base64.b64decode(m[\"path_bytes\"]))).encode()) "
        "for g in d[\"file_groups\"] for m in g[\"members\"] if \"path_bytes\" in m]' " +
        Quoted(saved.string()));
    EXPECT_EQ(decoded, odd + "|True");
}

TEST(CliRecords, Print0FeedsXargsAndLinesRefuseALineFeed) {
    TempTree tree;
    tree.Write("a/with space.txt", "one");
    tree.Write("b/with space.txt", "one");
    tree.Write("a/q'uote.bin", "two!");
    tree.Write("c/q'uote.bin", "two!");
    const std::string root = tree.Root().string();
    const std::string cli = Quoted(CS_CLI_PATH);
    // Each group ends with an empty record; xargs hands over every path
    // intact, spaces and quotes included.
    const std::string fed = Shell(cli + " --quiet --contents exact -0 " + Quoted(root) +
                                  " | xargs -0 -n1 printf '<%s>'");
    const std::string a = root + "/a/with space.txt", b = root + "/b/with space.txt";
    const std::string c = root + "/a/q'uote.bin", d = root + "/c/q'uote.bin";
    const bool spaceFirst = fed.rfind("<" + a, 0) == 0;
    const std::string first = spaceFirst ? "<" + a + "><" + b + "><>" : "<" + c + "><" + d + "><>";
    const std::string second = spaceFirst ? "<" + c + "><" + d + "><>" : "<" + a + "><" + b + "><>";
    EXPECT_EQ(fed, first + second);

    const CliResult lines = RunCli({"--quiet", "--contents", "exact", "--lines", root});
    ASSERT_EQ(lines.exitCode, 0) << lines.err;
    std::string expected = fed;
    for (const std::string from : {"><", "<", ">"})
        for (size_t at; (at = expected.find(from)) != std::string::npos;)
            expected.replace(at, from.size(), from == "><" ? "\n" : from == ">" ? "\n" : "");
    EXPECT_EQ(lines.out, expected);

    // The walk never lists a name with a line feed; a root holding one is
    // refused in every format, as its members' paths would split apart.
    tree.Write("odd\ndir/x.txt", "dup");
    tree.Write("odd\ndir/y/x.txt", "dup");
    for (const char* format : {"--lines", "--json"}) {
        const CliResult refused =
            RunCli({"--quiet", "--contents", "exact", format, tree.Path("odd\ndir").string()});
        EXPECT_EQ(refused.exitCode, 2);
        EXPECT_TRUE(refused.out.empty()) << refused.out;
        EXPECT_NE(refused.err.find("holds a line feed"), std::string::npos) << refused.err;
    }
}

TEST(CliRecords, CsvReadsBackWithPythonsCsvModule) {
    TempTree tree;
    tree.Write("a/comma, \"quoted\".txt", "same");
    tree.Write("b/comma, \"quoted\".txt", "same");
    tree.Write("a/plain.txt", "other!");
    tree.Write("b/plain.txt", "other!");
    const CliResult r = RunCli({"--quiet", "--contents", "exact", "--format", "csv", "--select",
                                "keep-first", tree.Root().string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const fs::path saved = tree.Path("out.csv");
    std::ofstream(saved, std::ios::binary) << r.out;
    const std::string rows = Shell(
        "python3 -c 'import csv,sys; r=list(csv.reader(open(sys.argv[1], newline=\"\"))); "
        "print(r[0]); [print(x[0], x[1], x[2], len(x[3]), x[4]) for x in r[1:]]' " +
        Quoted(saved.string()));
    const std::string q = tree.Path("a/comma, \"quoted\".txt").string();
    EXPECT_EQ(rows.substr(0, rows.find('\n')), "['group', 'path', 'size', 'mtime', 'ticked']");
    EXPECT_NE(rows.find(" " + q + " 4 20 false\n"), std::string::npos) << rows;
    EXPECT_NE(rows.find(" " + tree.Path("b/comma, \"quoted\".txt").string() + " 4 20 true\n"),
              std::string::npos)
        << rows;
    EXPECT_NE(rows.find(" " + tree.Path("b/plain.txt").string() + " 6 20 true\n"),
              std::string::npos)
        << rows;
}

// A script that stores the listing on a full disk must be told: /dev/full
// fails every write as a full disk does. Removal goes on, with every check.
TEST(CliWrites, AnOutputThatCannotBeWrittenExitsThree) {
    TempTree tree;
    const std::string root = tree.Root().string();
    const std::string cli = Quoted(CS_CLI_PATH) + " --quiet --contents exact ";
    auto run = [&](const std::string& args, const std::string& redirect) {
        tree.WriteSized("a/x.bin", 3000, 1);
        tree.WriteSized("b/x.bin", 3000, 1);
        return Shell(cli + args + " " + Quoted(root) + " " + redirect + "; echo \"<exit $?>\"");
    };
    const std::string toFull = "2>&1 >/dev/full";
    const struct {
        std::string args;
        std::string redirect;
        std::string message;
    } cases[] = {
        {"", toFull, "could not write the listing to standard output: No space left on device"},
        {"--json", toFull, "could not write the listing"},
        {"--format csv", toFull, "could not write the listing"},
        {"-0", toFull, "could not write the listing"},
        {"--lines", toFull, "could not write the listing"},
        {"--help", toFull, "No space left on device"},
        // The report goes where the format puts it; nowhere to say so.
        {"--select keep-first --remove delete --dry-run", toFull, "could not write the listing"},
        {"--lines --select keep-first --remove delete --dry-run", ">/dev/null 2>/dev/full", ""},
        // Every copy ticked: still kept, whatever happens to the listing.
        {"--select tick-all --remove delete --yes", toFull, "could not write the listing"},
    };
    for (const auto& c : cases) {
        const std::string said = run(c.args, c.redirect);
        EXPECT_NE(said.find("<exit 3>"), std::string::npos) << c.args << ": " << said;
        EXPECT_NE(said.find(c.message), std::string::npos) << c.args << ": " << said;
        EXPECT_TRUE(fs::exists(tree.Path("a/x.bin")) && fs::exists(tree.Path("b/x.bin"))) << c.args;
    }
    const std::string removed = run("--json --select keep-first --remove delete --yes", toFull);
    EXPECT_NE(removed.find("<exit 3>"), std::string::npos) << removed;
    EXPECT_TRUE(fs::exists(tree.Path("a/x.bin")));
    EXPECT_FALSE(fs::exists(tree.Path("b/x.bin"))) << "the removal is not stopped";
}

TEST(CliText, TabsAndControlCharactersInNamesAreEscaped) {
    TempTree tree;
    tree.Write("a/tab\there\x01.txt", "same");
    tree.Write("b/tab\there\x01.txt", "same");
    tree.Write("a/back\\slash.txt", "another");
    tree.Write("b/back\\slash.txt", "another");
    const CliResult r = RunCli({"--quiet", "--contents", "exact", tree.Root().string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find(tree.Path("a").string() + "/tab\\there\\x01.txt\ttab\\there\\x01.txt\t4 "
                                                   "bytes\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("/back\\\\slash.txt\tback\\\\slash.txt\t"), std::string::npos) << r.out;
    // Every line has exactly the three fields: no raw tab from a name.
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        if (line.find('/') != std::string::npos) {
            EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 2) << line;
        }
    }
}

class CliPlan : public ::testing::Test {
protected:
    void SetUp() override {
        tree.WriteSized("a/x.bin", 4096, 1);
        tree.WriteSized("b/x.bin", 4096, 1);
        tree.WriteSized("a/y.bin", 3000, 2);
        tree.WriteSized("c/y.bin", 3000, 2);
        plan = tree.Path("../" + tree.Root().filename().string() + ".plan.json");
    }
    void TearDown() override { fs::remove(plan); }

    CliResult WritePlan(const std::string& rule = "keep-first") {
        return RunCli({"--quiet", "--contents", "exact", "--select", rule, "--plan-out",
                       plan.string(), tree.Root().string()});
    }
    CliResult Apply(std::vector<std::string> more = {"--yes"}) {
        std::vector<std::string> args{"--apply-plan", plan.string(), "--remove", "delete",
                                      "--json"};
        args.insert(args.end(), more.begin(), more.end());
        return RunCli(args);
    }

    TempTree tree;
    fs::path plan;
};

TEST_F(CliPlan, RoundTripRemovesOnlyWhatItListsAndRemovesNothingWhenWritten) {
    const CliResult written = WritePlan();
    ASSERT_EQ(written.exitCode, 0) << written.err;
    EXPECT_NE(written.err.find("wrote a plan of 2 items"), std::string::npos) << written.err;
    for (const char* f : {"a/x.bin", "b/x.bin", "a/y.bin", "c/y.bin"})
        EXPECT_TRUE(fs::exists(tree.Path(f))) << f;
    EXPECT_EQ(Leftovers(plan), std::vector<std::string>{});

    const Json p = Json::parse(Slurp(plan));
    EXPECT_EQ(p.at("clonesifter_plan"), 1);
    std::set<std::string> removals;
    for (const auto& g : p.at("groups")) {
        for (const auto& m : g.at("members")) {
            EXPECT_GT(m.at("inode").get<uint64_t>(), 0u);
            EXPECT_GT(m.at("mtime_ticks").get<uint64_t>(), 0u);
            if (m.at("remove").get<bool>()) {
                removals.insert(m.at("path").get<std::string>());
                EXPECT_EQ(m.at("keepers").size(), 1u);
            }
        }
    }
    EXPECT_EQ(removals, (std::set<std::string>{tree.Path("b/x.bin").string(),
                                               tree.Path("c/y.bin").string()}));
    // Every folder on the way to an item is there with its identity.
    std::set<std::string> folders;
    for (const auto& f : p.at("folders"))
        folders.insert(f.at("path").get<std::string>());
    EXPECT_EQ(folders.count(tree.Root().string()), 1u);
    EXPECT_EQ(folders.count(tree.Path("c").string()), 1u);

    const CliResult dry = Apply({"--dry-run"});
    EXPECT_EQ(dry.exitCode, 0) << dry.err;
    EXPECT_TRUE(fs::exists(tree.Path("b/x.bin")));
    const CliResult applied = Apply();
    EXPECT_EQ(applied.exitCode, 0) << applied.err << applied.out;
    EXPECT_EQ(Json::parse(applied.out).at("removal").at("removed"), 2);
    EXPECT_FALSE(fs::exists(tree.Path("b/x.bin")));
    EXPECT_FALSE(fs::exists(tree.Path("c/y.bin")));
    EXPECT_TRUE(fs::exists(tree.Path("a/x.bin")));
    EXPECT_TRUE(fs::exists(tree.Path("a/y.bin")));
}

TEST_F(CliPlan, ChangedItemsAndAGoneKeeperAreRefusedOneByOne) {
    ASSERT_EQ(WritePlan().exitCode, 0);
    // x's victim rewritten with other bytes of the same size; y's keeper gone.
    tree.WriteSized("b/x.bin", 4096, 9);
    fs::remove(tree.Path("a/y.bin"));
    const CliResult r = Apply();
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_TRUE(fs::exists(tree.Path("b/x.bin")));
    EXPECT_TRUE(fs::exists(tree.Path("c/y.bin")));
    const Json doc = Json::parse(r.out);
    std::map<std::string, std::string> reasons;
    for (const auto& reason : doc.at("removal").at("reasons"))
        reasons[reason.at("path")] = reason.at("reason");
    EXPECT_NE(reasons[tree.Path("b/x.bin").string()].find("changed"), std::string::npos);
    EXPECT_NE(reasons[tree.Path("c/y.bin").string()].find("no other copy"), std::string::npos);
}

TEST_F(CliPlan, HandEditedPlansAreCheckedNotTrusted) {
    ASSERT_EQ(WritePlan().exitCode, 0);
    const std::string original = Slurp(plan);
    Json p = Json::parse(original);
    // A member claimed for another file: the identity no longer matches.
    // A different file added to a group as "exact" with its true facts: the
    // plan's word is not taken, the bytes are compared and differ.
    tree.WriteSized("d/z.bin", 4096, 5);
    struct stat st {};
    ASSERT_EQ(stat(tree.Path("d/z.bin").c_str(), &st), 0);
    for (auto& g : p["groups"]) {
        for (auto& m : g["members"]) {
            if (m["path"] == tree.Path("c/y.bin").string())
                m["inode"] = m["inode"].get<uint64_t>() + 1;
            if (m["path"] == tree.Path("b/x.bin").string()) {
                m["path"] = tree.Path("d/z.bin").string();
                m["inode"] = static_cast<uint64_t>(st.st_ino);
                m["device"] = static_cast<uint64_t>(st.st_dev);
                m["mtime_ticks"] = static_cast<uint64_t>(st.st_mtim.tv_sec + 11644473600LL) *
                                       10000000 +
                                   static_cast<uint64_t>(st.st_mtim.tv_nsec / 100);
            }
        }
    }
    Json d = p["folders"][0];
    d["path"] = tree.Path("d").string();
    struct stat dst {};
    ASSERT_EQ(stat(tree.Path("d").c_str(), &dst), 0);
    d["inode"] = static_cast<uint64_t>(dst.st_ino);
    d["mtime_ticks"] = 0;
    p["folders"].push_back(d);
    std::ofstream(plan, std::ios::binary | std::ios::trunc) << p.dump();
    const CliResult r = Apply({"--yes", "--allow-unverified=no"});
    EXPECT_EQ(r.exitCode, 2) << "a flag takes no value";
    const CliResult edited = Apply();
    EXPECT_EQ(edited.exitCode, 1) << edited.err << edited.out;
    EXPECT_TRUE(fs::exists(tree.Path("d/z.bin")));
    EXPECT_TRUE(fs::exists(tree.Path("c/y.bin")));
    EXPECT_EQ(Json::parse(edited.out).at("removal").at("removed"), 0);

    for (const std::string& broken :
         {std::string("{\"clonesifter_plan\": 1, \"roots\": "), std::string("[1, 2]"),
          std::string("{\"clonesifter_plan\": 2}"),
          original.substr(0, original.find("\"groups\"")) + "\"groups\": [{}]}"}) {
        std::ofstream(plan, std::ios::binary | std::ios::trunc) << broken;
        const CliResult bad = Apply();
        EXPECT_EQ(bad.exitCode, 2) << broken;
        EXPECT_NE(bad.err.find("cannot be used"), std::string::npos) << bad.err;
    }
}

TEST_F(CliPlan, NamesThatAreNotUtf8RoundTrip) {
    const std::string odd = tree.Root().string() + "/odd\xff";
    tree.WriteSized("odd\xff/s\xfe.bin", 5000, 3);
    tree.WriteSized("odd\xff/sub/s\xfe.bin", 5000, 3);
    ASSERT_EQ(WritePlan().exitCode, 0);
    EXPECT_TRUE(Json::accept(Slurp(plan))) << "a strict parser reads the plan";
    const CliResult r = Apply();
    EXPECT_EQ(r.exitCode, 0) << r.err << r.out;
    EXPECT_FALSE(fs::exists(tree.Path("b/x.bin")));
    EXPECT_NE(fs::exists(odd + "/s\xfe.bin"), fs::exists(odd + "/sub/s\xfe.bin"));
}

TEST_F(CliPlan, AFullDiskLeavesNoPartialPlanAndTheOldOneStands) {
    SmallMount mount(tree.Path("full"), 8);
    if (!mount.Mounted())
        GTEST_SKIP() << "mounting a tmpfs needs root";
    const fs::path target = tree.Path("full/plan.json");
    std::ofstream(target) << "old plan";
    // Fill the file system so that a plan of a few KiB cannot fit.
    {
        std::ofstream filler(tree.Path("full/filler"), std::ios::binary);
        const std::string block(1024, 'f');
        for (int i = 0; i < 64 && filler; ++i)
            filler << block;
    }
    const CliResult r = RunCli({"--quiet", "--contents", "exact", "--select", "keep-first",
                                "--plan-out", target.string(), tree.Root().string()});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("could not write the plan " + target.string() +
                         ": No space left on device; no plan was written"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(Slurp(target), "old plan");
    EXPECT_EQ(Leftovers(target), std::vector<std::string>{});
}

// Renaming over what is not a regular file would put the plan in place of
// a FIFO or a device node (or of a link, leaving its file stale); a
// temporary name another run may hold is never shared.
TEST_F(CliPlan, OnlyARegularFileIsReplacedAndTemporariesAreNotShared) {
    const fs::path out = tree.MakeDir("out");
    ASSERT_EQ(mkfifo((out / "fifo").c_str(), 0600), 0);
    const bool device = mknod((out / "device").c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0;
    std::ofstream(out / "real.json") << "kept";
    fs::create_symlink(out / "real.json", out / "link.json");
    fs::create_directory(out / "folder");
    for (const char* name : {"fifo", "device", "link.json", "folder"}) {
        if (std::string(name) == "device" && !device)
            continue;  // mknod needs root
        const fs::path target = out / name;
        const auto before = fs::symlink_status(target).type();
        const CliResult r = RunCli({"--quiet", "--contents", "exact", "--select", "keep-first",
                                    "--plan-out", target.string(), tree.Root().string()});
        EXPECT_EQ(r.exitCode, 2) << name << ": " << r.err;
        EXPECT_NE(r.err.find(target.string() + " is not a regular file but "), std::string::npos)
            << name << ": " << r.err;
        EXPECT_NE(r.err.find("; no plan was written"), std::string::npos) << r.err;
        EXPECT_EQ(fs::symlink_status(target).type(), before) << name;
    }
    EXPECT_EQ(Slurp(out / "real.json"), "kept");
    EXPECT_EQ(Leftovers(out / "fifo").size() + Leftovers(out / "link.json").size(), 0u);

    std::ofstream(plan.string() + ".tmp") << "another run's";
    ASSERT_EQ(WritePlan().exitCode, 0);
    EXPECT_EQ(Slurp(plan.string() + ".tmp"), "another run's");
    fs::remove(plan.string() + ".tmp");
}

TEST(CliInstall, ManualPageComesFromTheHelpText) {
    const std::string page = Slurp(CS_MAN_PAGE_PATH);
    EXPECT_NE(page.find(".TH CLONESIFTER-CLI"), std::string::npos);
    for (const char* option : {"exclude", "one\\-file\\-system", "apply\\-plan", "print0"})
        EXPECT_NE(page.find(std::string("\\-\\-") + option), std::string::npos) << option;
}

}  // namespace
