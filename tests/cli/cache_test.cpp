// The digest cache of clonesifter-cli against the uncached scan: the same
// groups on changed trees, nothing removed on a forged entry, and a store
// that is damaged, locked, newer or read-only set aside with one line.
// Built for both systems: the Windows build runs it under Wine with a
// LOCALAPPDATA of its own.
#include <sqlite3.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/cli_runner.h"
#include "support/temp_tree.h"

namespace {

namespace fs = std::filesystem;
using cs::test::TempTree;
using namespace cs::test::cli;

using Groups = std::vector<std::vector<std::string>>;

// Where the program looks for its cache folder, and that folder's name.
#ifdef _WIN32
const char kCacheHome[] = "LOCALAPPDATA";
const char kCacheFolder[] = "Clonesifter";
#else
const char kCacheHome[] = "XDG_CACHE_HOME";
const char kCacheFolder[] = "clonesifter";
#endif

std::string Utf8(const fs::path& path) {
    const std::u8string s = path.u8string();
    return std::string(s.begin(), s.end());
}

// The file's inode, or on Windows its file id: the store's "inode".
uint64_t FileId(const fs::path& path) {
#ifdef _WIN32
    HANDLE h = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    BY_HANDLE_FILE_INFORMATION info{};
    const bool ok = h != INVALID_HANDLE_VALUE && GetFileInformationByHandle(h, &info);
    if (h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
    EXPECT_TRUE(ok) << Utf8(path);
    return (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
#else
    struct stat st;
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return st.st_ino;
#endif
}

struct Scan {
    CliResult r;
    Groups groups;
    std::vector<bool> proved;
};

// A folder of its own for each tree's cache, as every test's.
struct CachedTree {
    TempTree tree;
    TempTree cacheHome;

    // With `unmatched` more files of one size, each unlike the others: a
    // store large enough that the few files a rescan learns are added to
    // it, not all rewritten.
    explicit CachedTree(int unmatched = 0) {
        // Small files (read whole for their signature), files sharing
        // size and both ends but not the middle (told apart only by a
        // full read), and a group of larger copies.
        tree.Write("a/small", "small words");
        tree.Write("b/small", "small words");
        tree.Write("c/small", "small wordz");
        const std::string big = cs::test::PseudoRandomBytes(200000, 1);
        std::string other = big;
        other[100000] ^= 1;
        tree.Write("a/big", big);
        tree.Write("b/big", big);
        tree.Write("c/big", other);
        tree.Write("d/big", other);
        tree.Write("e/big", big);
        tree.WriteSized("a/lone", 5000, 7);
        for (int i = 0; i < unmatched; ++i)
            tree.WriteSized("pad/" + std::to_string(i), 64, 100 + i);
    }
    fs::path Store() const { return cacheHome.Path(std::string(kCacheFolder) + "/digests.sqlite"); }
    Environment Env() const { return {{kCacheHome, Utf8(cacheHome.Root())}}; }

    Scan Run(bool cached, const Confinement& confinement = {}) const {
        std::vector<std::string> args{"--contents", "exact", "--names", "none", "--json"};
        if (cached)
            args.push_back("--cache");
        args.push_back(Utf8(tree.Root()));
        Scan s;
        s.r = RunCli(args, Env(), confinement);
        if (s.r.exitCode != 0 || s.r.out.empty())
            return s;
        const nlohmann::json doc = nlohmann::json::parse(s.r.out);
        for (const auto& g : doc.at("file_groups")) {
            std::vector<std::string> paths;
            for (const auto& m : g.at("members"))
                paths.push_back(m.at("path"));
            s.groups.push_back(paths);
            s.proved.push_back(g.at("proved_byte_for_byte").get<bool>());
        }
        return s;
    }
};

// Rewrites a file in place with the same size, then puts its last-write
// time back to the last tick: only the change time tells.
void RewriteKeepingTime(const fs::path& path, const std::string& contents) {
    ASSERT_EQ(fs::file_size(path), contents.size());
#ifdef _WIN32
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << GetLastError();
    FILETIME written;
    DWORD count = 0;
    const bool ok =
        GetFileTime(h, nullptr, nullptr, &written) &&
        WriteFile(h, contents.data(), static_cast<DWORD>(contents.size()), &count, nullptr) &&
        count == contents.size() && SetFileTime(h, nullptr, nullptr, &written);
    CloseHandle(h);
    ASSERT_TRUE(ok) << GetLastError();
#else
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
    const timespec times[2] = {st.st_atim, st.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
#endif
}

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

int CountLines(const std::string& text, const std::string& start) {
    int n = 0;
    for (size_t at = 0; (at = text.find(start, at)) != std::string::npos; ++at)
        n += at == 0 || text[at - 1] == '\n';
    return n;
}

// "N files from the cache", from the summary.
int FromCache(const std::string& err) {
    const size_t at = err.find(" from the cache");
    if (at == std::string::npos)
        return -1;
    const size_t start = err.rfind("; ", at);
    return std::stoi(err.substr(start + 2, at - start - 2));
}

TEST(CliCache, RescanOfAChangedTreeReportsWhatAnUncachedScanReports) {
    constexpr int kUnmatched = 64, kAll = 8 + kUnmatched;
    const struct Case {
        const char* what;
        std::function<void(TempTree&)> change;
        int fromCache;  // on the rescan; -1: not checked
    } cases[] = {
        {"unchanged", [](TempTree&) {}, kAll},
        {"same size, old last write, other bytes: a miss through the change time",
         [](TempTree& t) {
             std::string b = Read(t.Path("b/big"));
             b[150000] ^= 2;
             RewriteKeepingTime(t.Path("b/big"), b);
             RewriteKeepingTime(t.Path("c/small"), "small words");
         },
         kAll - 2},
        {"a copy made to equal another, old last write kept",
         [](TempTree& t) { RewriteKeepingTime(t.Path("d/big"), Read(t.Path("a/big"))); }, kAll - 1},
        {"renamed, touched, removed, added",
         [](TempTree& t) {
             fs::rename(t.Path("a/small"), t.Path("a/small-renamed"));
             fs::last_write_time(t.Path("e/big"),
                                 fs::last_write_time(t.Path("e/big")) - std::chrono::hours(1000));
             fs::remove(t.Path("c/big"));
             t.Write("f/big", Read(t.Path("d/big")));
         },
         -1},
        {"grown and shrunk",
         [](TempTree& t) {
             t.Write("b/small", "small words, more");
             t.Write("a/big", Read(t.Path("a/big")).substr(0, 150000));
         },
         -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CachedTree t(kUnmatched);
        const Scan first = t.Run(true);
        ASSERT_EQ(first.r.exitCode, 0) << first.r.err;
        EXPECT_EQ(FromCache(first.r.err), 0);
        EXPECT_EQ(first.groups, t.Run(false).groups);
        EXPECT_EQ(first.groups.size(), 3u);
        EXPECT_EQ(first.proved, std::vector<bool>(3, true));
        EXPECT_TRUE(fs::exists(t.Store()));
        c.change(t.tree);
        const Scan uncached = t.Run(false);
        const Scan again = t.Run(true);
        ASSERT_EQ(again.r.exitCode, 0) << again.r.err;
        EXPECT_EQ(again.groups, uncached.groups);
        if (c.fromCache >= 0) {
            EXPECT_EQ(FromCache(again.r.err), c.fromCache) << again.r.err;
        }
        // A group placed on remembered digests says so.
        if (c.fromCache == kAll) {
            EXPECT_EQ(again.proved, std::vector<bool>(again.groups.size(), false));
        }
        // What the rescan learnt serves the next one as well, in place of
        // what the store held about those files before.
        const Scan next = t.Run(true);
        EXPECT_EQ(next.groups, uncached.groups);
        if (c.fromCache >= 0) {
            EXPECT_EQ(FromCache(next.r.err), kAll) << next.r.err;
        }
    }
}

sqlite3* OpenStore(const fs::path& path) {
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open(Utf8(path).c_str(), &db), SQLITE_OK);
    return db;
}

void Exec(sqlite3* db, const std::string& sql) {
    char* message = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message), SQLITE_OK)
        << (message ? message : "") << " in " << sql;
    sqlite3_free(message);
}

// Turns the store's packed entries into rows of `contents`, which the
// program reads too, so that SQL can change them. Packed, 69 bytes each,
// little-endian: device, inode, size, last write, change time, signature
// (8 bytes each), the full digest (16), 1 if there is one, the day seen (4).
void AsRows(const fs::path& store) {
    sqlite3* db = OpenStore(store);
    sqlite3_stmt* get = nullptr;
    sqlite3_stmt* put = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT entries FROM packed", -1, &get, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_prepare_v2(db, "INSERT INTO contents VALUES (?, ?, ?, ?, ?, ?, ?, ?)", -1,
                                 &put, nullptr),
              SQLITE_OK);
    while (sqlite3_step(get) == SQLITE_ROW) {
        const auto* p = static_cast<const uint8_t*>(sqlite3_column_blob(get, 0));
        const int bytes = sqlite3_column_bytes(get, 0);
        ASSERT_EQ(bytes % 69, 0);
        for (const uint8_t* e = p; e < p + bytes; e += 69) {
            for (int field = 0; field < 6; ++field) {
                int64_t v;
                std::memcpy(&v, e + 8 * field, 8);
                sqlite3_bind_int64(put, field + 1, v);
            }
            if (e[64])
                sqlite3_bind_blob(put, 7, e + 48, 16, SQLITE_TRANSIENT);
            else
                sqlite3_bind_null(put, 7);
            uint32_t seen;
            std::memcpy(&seen, e + 65, 4);
            sqlite3_bind_int64(put, 8, seen);
            EXPECT_EQ(sqlite3_step(put), SQLITE_DONE) << sqlite3_errmsg(db);
            sqlite3_reset(put);
        }
    }
    sqlite3_finalize(get);
    sqlite3_finalize(put);
    Exec(db, "DELETE FROM packed");
    sqlite3_close(db);
}

TEST(CliCache, AForgedEntryGroupsTwoFilesButRemovesNothing) {
    CachedTree t;
    ASSERT_EQ(t.Run(true).r.exitCode, 0);
    // c/small differs from a/small in one byte; its entry is made a/small's.
    AsRows(t.Store());
    sqlite3* db = OpenStore(t.Store());
    const std::string from =
        " FROM contents WHERE inode = " + std::to_string(FileId(t.tree.Path("a/small")));
    Exec(db, "UPDATE contents SET signature = (SELECT signature" + from +
                 "), digest = (SELECT digest" + from +
                 ") WHERE inode = " + std::to_string(FileId(t.tree.Path("c/small"))));
    sqlite3_close(db);

    const Scan forged = t.Run(true);
    ASSERT_EQ(forged.r.exitCode, 0) << forged.r.err;
    ASSERT_EQ(forged.groups.size(), 3u) << forged.r.out;
    EXPECT_EQ(forged.groups[1].size(), 3u) << "the forged entry was not used";
    EXPECT_FALSE(forged.proved[1]);

    const CliResult r =
        RunCli({"--contents", "exact", "--names", "none", "--cache", "--select", "keep-first",
                "--remove", "delete", "--yes", "--json", Utf8(t.tree.Root())},
               t.Env());
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(Read(t.tree.Path("c/small")), "small wordz");
    // The true copy was compared in full, found equal and removed.
    EXPECT_FALSE(fs::exists(t.tree.Path("b/small")));
    const auto doc = nlohmann::json::parse(r.out);
    ASSERT_EQ(doc.at("removal").at("not_removed").size(), 1u) << r.out;
    const std::string kept = doc.at("removal").at("not_removed")[0];
    EXPECT_TRUE(
        fs::equivalent(fs::path(std::u8string(kept.begin(), kept.end())), t.tree.Path("c/small")))
        << kept;
}

TEST(CliCache, AStoreThatCannotServeIsSetAsideInOneLine) {
    const struct Case {
        const char* what;
        std::function<void(const fs::path&)> spoil;
        const char* line;  // the start of the one line said
        bool setAside;     // moved away, and a new store made next time
    } cases[] = {
        {"garbage in the middle",
         [](const fs::path& p) {
             std::fstream f(p, std::ios::in | std::ios::out | std::ios::binary);
             f.seekp(4096);
             f << std::string(4096, '\x5a');
         },
         "clonesifter-cli: the cache is damaged", true},
        {"truncated", [](const fs::path& p) { fs::resize_file(p, fs::file_size(p) / 2 + 100); },
         "clonesifter-cli: the cache is damaged", true},
        {"not a database", [](const fs::path& p) { std::ofstream(p) << "hello"; },
         "clonesifter-cli: the cache is damaged", true},
        {"a newer format",
         [](const fs::path& p) {
             sqlite3* db = OpenStore(p);
             Exec(db, "PRAGMA user_version = 99");
             sqlite3_close(db);
         },
         "clonesifter-cli: the cache ", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CachedTree t;
        ASSERT_EQ(t.Run(true).r.exitCode, 0);
        c.spoil(t.Store());
        const Scan expected = t.Run(false);
        const Scan s = t.Run(true);
        ASSERT_EQ(s.r.exitCode, 0) << s.r.err;
        EXPECT_EQ(s.groups, expected.groups);
        EXPECT_EQ(CountLines(s.r.err, c.line), 1) << s.r.err;
        EXPECT_EQ(CountLines(s.r.err, "clonesifter-cli: "), 2) << s.r.err;  // and the summary
        EXPECT_EQ(fs::exists(t.Store().string() + ".damaged"), c.setAside);
        const Scan next = t.Run(true);
        EXPECT_EQ(next.groups, expected.groups);
        EXPECT_EQ(CountLines(next.r.err, "clonesifter-cli: "), c.setAside ? 1 : 2) << next.r.err;
    }
}

TEST(CliCache, LockedOrReadOnlyStoreLeavesTheResultsAlone) {
    CachedTree t;
    ASSERT_EQ(t.Run(true).r.exitCode, 0);
    const Scan expected = t.Run(false);
    {
        // Another program holds the store for longer than a scan waits.
        sqlite3* db = OpenStore(t.Store());
        Exec(db, "BEGIN EXCLUSIVE");
        const Scan s = t.Run(true);
        EXPECT_EQ(s.groups, expected.groups);
        EXPECT_EQ(CountLines(s.r.err, "clonesifter-cli: cannot read the cache"), 1) << s.r.err;
        Exec(db, "ROLLBACK");
        sqlite3_close(db);
    }
    // A read-only folder: read, but what the scan learnt cannot be kept.
    // Not on Windows, which has no such thing (and Wine run as root writes
    // to a read-only file).
#ifndef _WIN32
    t.tree.Write("g/big", Read(t.tree.Path("a/big")));
    fs::permissions(t.Store().parent_path(), fs::perms::owner_read | fs::perms::owner_exec);
    fs::permissions(t.Store(), fs::perms::owner_read);
    Confinement unprivileged;
    unprivileged.withoutFileModeOverride = true;
    const Scan s = t.Run(true, unprivileged);
    fs::permissions(t.Store().parent_path(), fs::perms::owner_all);
    if (s.r.exitCode == 126)
        GTEST_SKIP() << s.r.err;
    EXPECT_EQ(s.groups, t.Run(false).groups);
    EXPECT_EQ(FromCache(s.r.err), 8);
    EXPECT_EQ(CountLines(s.r.err, "clonesifter-cli: "), 2) << s.r.err;
#endif
}

TEST(CliCache, TwoRunsAtOnceBothFinishAndKeepTheStoreWhole) {
    CachedTree t;
    const Scan expected = t.Run(false);
    const Environment env = t.Env();
    const std::vector<std::string> args{"--contents", "exact",   "--names", "none",
                                        "--cache",    "--quiet", "--lines", Utf8(t.tree.Root())};
    for (int round = 0; round < 3; ++round) {
        int out1, err1, out2, err2;
        const pid_t a = Spawn(args, out1, err1, env);
        const pid_t b = Spawn(args, out2, err2, env);
        const CliResult ra = Finish(a, out1, err1);
        const CliResult rb = Finish(b, out2, err2);
        EXPECT_EQ(ra.exitCode, 0) << ra.err;
        EXPECT_EQ(rb.exitCode, 0) << rb.err;
        EXPECT_EQ(ra.out, rb.out);
        EXPECT_EQ(ra.err + rb.err, "");
        t.tree.Write("h/big" + std::to_string(round), Read(t.tree.Path("a/big")));
    }
    sqlite3* db = OpenStore(t.Store());
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), "ok");
    sqlite3_finalize(st);
    sqlite3_close(db);
}

int64_t Count(const fs::path& store, const std::string& where) {
    AsRows(store);
    sqlite3* db = OpenStore(store);
    sqlite3_stmt* st = nullptr;
    int64_t n = -1;
    if (sqlite3_prepare_v2(db, ("SELECT count(*) FROM contents " + where).c_str(), -1, &st,
                           nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        n = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    sqlite3_close(db);
    return n;
}

TEST(CliCache, EntriesUnusedFor90DaysArePrunedAndUsedOnesKept) {
    CachedTree t;
    ASSERT_EQ(t.Run(true).r.exitCode, 0);
    ASSERT_EQ(Count(t.Store(), ""), 8);
    const uint64_t gone = FileId(t.tree.Path("c/big"));
    fs::remove(t.tree.Path("c/big"));
    // As if the last scan had been 100 days ago.
    sqlite3* db = OpenStore(t.Store());
    Exec(db, "UPDATE contents SET seen = seen - 100; DELETE FROM pruned");
    sqlite3_close(db);
    const Scan s = t.Run(true);
    EXPECT_EQ(FromCache(s.r.err), 7) << s.r.err;
    // Each used entry was marked seen again; the gone file's went.
    EXPECT_EQ(Count(t.Store(), ""), 7);
    EXPECT_EQ(Count(t.Store(), "WHERE inode = " + std::to_string(gone)), 0);
}

TEST(CliCache, DefaultPlaceAndClearing) {
    CachedTree t;
    TempTree home;
#ifdef _WIN32
    const fs::path folder = home.Path("Clonesifter");
    const Environment env{{"LOCALAPPDATA", Utf8(home.Root())}};
#else
    // Without XDG_CACHE_HOME the cache goes below HOME.
    const fs::path folder = home.Path(".cache/clonesifter");
    const Environment env{{"XDG_CACHE_HOME", ""}, {"HOME", Utf8(home.Root())}};
#endif
    const CliResult r =
        RunCli({"--contents", "exact", "--cache", "--quiet", Utf8(t.tree.Root())}, env);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fs::exists(folder / "digests.sqlite"));
    const CliResult cleared = RunCli({"--clear-cache", "--cache-dir", Utf8(folder)});
    EXPECT_EQ(cleared.exitCode, 0) << cleared.err;
    EXPECT_FALSE(fs::exists(folder / "digests.sqlite"));
    EXPECT_EQ(RunCli({"--cache-dir", "x", Utf8(t.tree.Root())}).exitCode, 2);
}

}  // namespace
