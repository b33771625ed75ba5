// A file that really cannot be read must never be reported as a duplicate
// under a content criterion: nothing was compared. Without a content
// criterion it is grouped on size and name like any other.
//
// The tests run as root in CI, where mode 000 still reads. So on Linux the
// scan runs in a child process that has given up the capabilities that
// override file modes, keeping its user so that the tree stays reachable
// wherever it sits, and sends the groups back through a pipe. On Windows
// a file held open without read sharing cannot be opened by the scan.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "engine/scan.h"
#include "platform/text.h"
#include "support/confinement.h"
#include "support/reference_scan.h"
#include "support/temp_tree.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace cs::engine {
namespace {

namespace fs = std::filesystem;
using test::Describe;
using test::PathList;
using test::ScanSnapshot;
using test::TempTree;

const char kSame[] = "identical contents of some length";

ScanResults ScanOnce(const std::u16string& root, uint32_t criteria) {
    ScanOptions o;
    o.rootPath = root;
    o.criteria = criteria;
    ScanResults results;
    std::atomic<uint8_t> cancel{0};
    RunScan(o, results, cancel);
    return results;
}

struct Outcome {
    std::optional<ScanSnapshot> snapshot;  // empty when the child failed
};

#ifndef _WIN32

void WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n <= 0)
            return;
        done += static_cast<size_t>(n);
    }
}

std::string Serialise(const ScanSnapshot& s) {
    std::string out = "ran\n";
    for (const PathList& g : s.matchGroups) {
        out += "group\n";
        for (const auto& p : g)
            out += test::Utf8(p) + "\n";
    }
    for (const PathList& g : s.folderGroups) {
        out += "folders\n";
        for (const auto& p : g)
            out += test::Utf8(p) + "\n";
    }
    for (const auto& p : s.zeroByteFiles)
        out += "zero\n" + test::Utf8(p) + "\n";
    return out;
}

ScanSnapshot Parse(const std::string& text) {
    ScanSnapshot s;
    PathList* current = nullptr;
    size_t pos = text.find('\n') + 1;  // past "ran"
    bool nextIsZero = false;
    while (pos < text.size()) {
        const size_t nl = text.find('\n', pos);
        const std::string line = text.substr(pos, nl - pos);
        pos = nl + 1;
        if (nextIsZero) {
            s.zeroByteFiles.push_back(platform::Utf8ToUtf16Lossless(line));
            nextIsZero = false;
        } else if (line == "group") {
            current = &s.matchGroups.emplace_back();
        } else if (line == "folders") {
            current = &s.folderGroups.emplace_back();
        } else if (line == "zero") {
            nextIsZero = true;
        } else if (current) {
            current->push_back(platform::Utf8ToUtf16Lossless(line));
        }
    }
    return s;
}

// Runs `body` in a child without the right to read `unreadable` (a file of
// mode 000) and returns what it answered. `readable` must still open there,
// or the tree is out of the child's reach and the case fails.
struct ChildAnswer {
    std::optional<std::string> text;  // empty when the child failed
};

ChildAnswer RunUnprivileged(const fs::path& unreadable, const fs::path& readable,
                            const std::function<std::string()>& body) {
    ChildAnswer answer;
    int fds[2];
    if (pipe(fds) != 0) {
        ADD_FAILURE() << "no pipe";
        return answer;
    }
    const pid_t pid = fork();
    if (pid < 0) {
        ADD_FAILURE() << "cannot fork";
        return answer;
    }
    if (pid == 0) {
        close(fds[0]);
        std::string why;
        if (!test::DropFileModeOverride(why)) {
            WriteAll(fds[1], "fail\ncannot give up the permission to read any file: " + why + "\n");
            _exit(0);
        }
        // The tree stays its maker's, so both hold wherever it sits.
        const int probe = open(unreadable.c_str(), O_RDONLY);
        const int ok = open(readable.c_str(), O_RDONLY);
        if (probe >= 0 || ok < 0) {
            WriteAll(fds[1], std::string("fail\n") +
                                 (probe >= 0 ? "a file of mode 000 still reads"
                                             : "the test tree is out of reach") +
                                 "\n");
            _exit(0);
        }
        close(ok);
        WriteAll(fds[1], body());
        close(fds[1]);
        _exit(0);
    }
    close(fds[1]);
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        text.append(buffer, static_cast<size_t>(n));
    }
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        ADD_FAILURE() << "the child died (status " << status << ")";
        return answer;
    }
    if (text.rfind("fail\n", 0) == 0) {
        ADD_FAILURE() << text.substr(5);
        return answer;
    }
    answer.text = text;
    return answer;
}

Outcome ScanWithoutPermission(const ScanOptions& options, const fs::path& unreadable,
                              const fs::path& readable) {
    Outcome outcome;
    const ChildAnswer answer = RunUnprivileged(unreadable, readable, [&options] {
        ScanResults results;
        std::atomic<uint8_t> cancel{0};
        RunScan(options, results, cancel);
        return Serialise(test::SnapshotOf(results));
    });
    if (!answer.text)
        return outcome;
    if (answer.text->rfind("ran\n", 0) != 0) {
        ADD_FAILURE() << "unexpected answer from the child: " << *answer.text;
        return outcome;
    }
    outcome.snapshot = Parse(*answer.text);
    return outcome;
}

class Unreadable : public testing::Test {
protected:
    void SetUp() override {
        for (const char* n : {"r1", "r2", "r3", "u1", "u2"})
            tree.Write(n, kSame);
        tree.Write("locked/r4", kSame);
        tree.Write("odd", "a different size");
        for (const char* n : {"u1", "u2", "odd"})
            fs::permissions(tree.Path(n), fs::perms::none);
        fs::permissions(tree.Path("locked"), fs::perms::none);
        for (const test::WalkItem& item : test::ListWalk(tree.Root16(), true)) {
            if (item.isFolder || item.name == u"r4" || item.name == u"odd")
                continue;
            all.push_back(item.path);
            if (item.name[0] == u'r')
                readable.push_back(item.path);
        }
        ASSERT_EQ(all.size(), 5u);
        ASSERT_EQ(readable.size(), 3u);
    }

    ScanSnapshot Scan(uint32_t criteria) {
        ScanOptions o;
        o.rootPath = tree.Root16();
        o.criteria = criteria;
        Outcome out = ScanWithoutPermission(o, tree.Path("u1"), tree.Path("r1"));
        if (!out.snapshot) {
            failed = true;
            return {};
        }
        return *out.snapshot;
    }

    TempTree tree;
    PathList all;       // r1, r2, r3, u1, u2 in walk order
    PathList readable;  // r1, r2, r3 in walk order
    bool failed = false;  // the child could not run the scan (already reported)
};

TEST_F(Unreadable, NeverGroupedUnderAContentCriterion) {
    for (uint32_t criteria :
         {CRIT_RECURSIVE | CRIT_EXACT_CONTENTS, CRIT_RECURSIVE | CRIT_SIMILAR_CONTENTS,
          CRIT_RECURSIVE | CRIT_SAME_SIZE | CRIT_EXACT_CONTENTS,
          CRIT_RECURSIVE | CRIT_SAME_SIZE | CRIT_SIMILAR_CONTENTS | CRIT_SAME_EXTENSION}) {
        SCOPED_TRACE(testing::Message() << "criteria 0x" << std::hex << criteria);
        const ScanSnapshot s = Scan(criteria);
        if (failed)
            return;
        ASSERT_EQ(s.matchGroups.size(), 1u) << Describe(s);
        EXPECT_EQ(s.matchGroups[0], readable) << Describe(s);
    }
}

TEST_F(Unreadable, GroupedOnSizeAndNameWithoutAContentCriterion) {
    for (uint32_t criteria :
         {CRIT_RECURSIVE | CRIT_SAME_SIZE, CRIT_RECURSIVE | CRIT_SAME_SIZE | CRIT_SAME_EXTENSION}) {
        SCOPED_TRACE(testing::Message() << "criteria 0x" << std::hex << criteria);
        const ScanSnapshot s = Scan(criteria);
        if (failed)
            return;
        // The unsearchable folder's file is missing: its folder was skipped.
        ASSERT_EQ(s.matchGroups.size(), 1u) << Describe(s);
        EXPECT_EQ(s.matchGroups[0], all) << Describe(s);
    }
}

TEST_F(Unreadable, AnUnsearchableFolderIsStillAFolder) {
    tree.MakeDir("elsewhere/locked");
    const ScanSnapshot s = Scan(CRIT_RECURSIVE | CRIT_SIMILAR_FOLDERS);
    if (failed)
        return;
    ASSERT_EQ(s.folderGroups.size(), 1u) << Describe(s);
    EXPECT_EQ(s.folderGroups[0].size(), 2u);
}

// Root listed, folders not listed, files not read.
std::string SkipsText(const ScanResults& results) {
    return std::to_string(results.rootListed) + " " +
           std::to_string(results.skips.foldersNotListed) + " " +
           std::to_string(results.skips.filesNotRead);
}

// "No duplicates" must be told from "could not look": what was skipped is
// counted by cause. u1 and u2 share their size with the readable copies, so
// a content criterion has to read them; "odd" has a size of its own and is
// never opened, so it is no loss.
TEST_F(Unreadable, WhatCouldNotBeLookedAtIsCounted) {
    const ChildAnswer answer = RunUnprivileged(tree.Path("u1"), tree.Path("r1"), [this] {
        std::string out;
        for (uint32_t criteria :
             {CRIT_RECURSIVE | CRIT_EXACT_CONTENTS, CRIT_RECURSIVE | CRIT_SIMILAR_CONTENTS,
              CRIT_RECURSIVE | CRIT_SAME_SIZE}) {
            out += SkipsText(ScanOnce(tree.Root16(), criteria)) + "\n";
        }
        return out;
    });
    if (!answer.text)
        return;
    EXPECT_EQ(*answer.text, "1 1 2\n1 1 2\n1 1 0\n");
}

TEST_F(Unreadable, ARootThatCannotBeListedSaysSo) {
    const ChildAnswer answer = RunUnprivileged(tree.Path("u1"), tree.Path("r1"), [this] {
        const ScanResults results =
            ScanOnce(tree.Path16("locked"), CRIT_RECURSIVE | CRIT_SAME_SIZE);
        return SkipsText(results) + " " + std::to_string(results.folders.size());
    });
    if (!answer.text)
        return;
    EXPECT_EQ(*answer.text, "0 0 0 0");
}

// The engine digests lazily and finds groups through an index; with files
// that cannot be read among the candidates (founders included) it must
// still give what the plain linear search gives when such files are left
// out, under every criteria combination.
TEST_F(Unreadable, SameAsTheReferenceWithUnreadableFilesAnywhere) {
    const std::string bodies[] = {"alpha", "bravo", "alphaalpha", "charlie"};
    const char* const folders[] = {"", "x/", "x/Photos/", "y/photos (2)/"};
    for (int k = 0; k < 48; ++k) {
        const std::string number = std::to_string(k);
        const std::string name =
            std::string(folders[k % 4]) +
            (k % 5 == 0 ? "img (" + number + ").jpg" : "f" + number + (k % 3 ? ".jpg" : ".JPG"));
        tree.Write(name, bodies[(k * 7) % 4]);
        if (k % 3 == 1)
            fs::permissions(tree.Path(name), fs::perms::none);
    }
    const ChildAnswer answer = RunUnprivileged(tree.Path("u1"), tree.Path("r1"), [this] {
        test::DigestCache cache;
        int compared = 0;
        for (uint32_t size : {0u, 0x004u}) {
            for (uint32_t names : {0u, 0x008u, 0x010u, 0x020u}) {
                for (uint32_t contents : {0x040u, 0x080u}) {
                    ScanOptions o;
                    o.rootPath = tree.Root16();
                    o.criteria = CRIT_RECURSIVE | CRIT_SIMILAR_FOLDERS | size | names | contents;
                    const test::ScanRecord engine = test::RunEngineScan(o);
                    const test::ScanRecord reference = test::ReferenceScan(o, cache);
                    if (!(engine.final == reference.final) ||
                        engine.atRebuilds.size() != reference.atRebuilds.size() ||
                        engine.refreshCounter != reference.refreshCounter) {
                        return "differs under criteria " + std::to_string(o.criteria) +
                               "\n--- engine:\n" + Describe(engine.final) + "--- reference:\n" +
                               Describe(reference.final);
                    }
                    if (!reference.final.matchGroups.empty())
                        ++compared;
                }
            }
        }
        return "same " + std::to_string(compared);
    });
    if (!answer.text)
        return;
    ASSERT_EQ(answer.text->rfind("same ", 0), 0u) << *answer.text;
    // Most combinations must have found groups, or little was compared.
    EXPECT_GE(std::stoi(answer.text->substr(5)), 8) << *answer.text;
}

#else  // _WIN32

// A handle opened without any sharing makes every other open fail with a
// sharing violation, which is how another program's lock looks to the scan.
class LockedFile {
public:
    explicit LockedFile(const fs::path& path)
        : handle_(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              0, nullptr)) {}
    ~LockedFile() {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
    }
    bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

class Unreadable : public testing::Test {
protected:
    void SetUp() override {
        for (const char* n : {"r1", "r2", "r3", "u1", "u2"})
            tree.Write(n, kSame);
        for (const std::u16string& p : test::WalkFiles(tree.Root16(), true)) {
            all.push_back(p);
            if (p[p.rfind(u'\\') + 1] == u'r')
                readable.push_back(p);
        }
        ASSERT_EQ(readable.size(), 3u);
    }
    ScanSnapshot Scan(uint32_t criteria) {
        return test::SnapshotOf(ScanOnce(tree.Root16(), criteria));
    }
    TempTree tree;
    PathList all, readable;
};

TEST_F(Unreadable, NeverGroupedUnderAContentCriterion) {
    LockedFile u1(tree.Path("u1")), u2(tree.Path("u2"));
    ASSERT_TRUE(u1.ok() && u2.ok());
    for (uint32_t criteria :
         {uint32_t{CRIT_EXACT_CONTENTS}, CRIT_SIMILAR_CONTENTS | CRIT_SAME_SIZE}) {
        const ScanSnapshot s = Scan(criteria);
        ASSERT_EQ(s.matchGroups.size(), 1u) << Describe(s);
        EXPECT_EQ(s.matchGroups[0], readable) << Describe(s);
    }
}

TEST_F(Unreadable, GroupedOnSizeAndNameWithoutAContentCriterion) {
    LockedFile u1(tree.Path("u1")), u2(tree.Path("u2"));
    ASSERT_TRUE(u1.ok() && u2.ok());
    const ScanSnapshot s = Scan(CRIT_SAME_SIZE);
    ASSERT_EQ(s.matchGroups.size(), 1u) << Describe(s);
    EXPECT_EQ(s.matchGroups[0], all);
}

#endif  // _WIN32

}  // namespace
}  // namespace cs::engine
