#include "cli/cache_store.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/text.h"

#include <sqlite3.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace cs::cli {

namespace {

const char kStoreName[] = "digests.sqlite";

std::filesystem::path Native(const std::u16string& path) {
    return std::filesystem::path(platform::ToNative(path));
}

// A path as the messages and SQLite take it: UTF-8 on both systems (on
// Windows path::string() would be the ANSI code page, which cannot say
// every name).
std::string Utf8(const std::filesystem::path& path) {
#ifdef _WIN32
    return platform::Utf16ToUtf8Lossless(path.u16string());
#else
    return path.string();
#endif
}

}  // namespace

std::u16string DefaultCacheFolder() {
#ifdef _WIN32
    const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
    if (!local || !*local)
        return {};
    std::u16string folder(local, local + std::wcslen(local));
    return folder + u"\\Clonesifter";
#else
    // As the XDG base directories have it, a relative XDG_CACHE_HOME is
    // not to be used.
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg && xdg[0] == '/')
        return platform::Utf8ToUtf16Lossless(std::string(xdg) + "/clonesifter");
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return platform::Utf8ToUtf16Lossless(std::string(home) + "/.cache/clonesifter");
    return {};
#endif
}

bool ClearCache(const std::u16string& folder, std::string& problem) {
    const std::filesystem::path base = Native(folder) / kStoreName;
    for (const char* suffix : {"", "-journal", "-wal", "-shm", ".damaged"}) {
        std::filesystem::path p = base;
        p += suffix;
        std::error_code ec;
        std::filesystem::remove(p, ec);
        if (ec) {
            problem = "could not remove " + Utf8(p) + ": " + ec.message();
            return false;
        }
    }
    return true;
}

namespace {

uint32_t Today() {
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<hours>(system_clock::now().time_since_epoch()).count() / 24);
}

// Integers go in as SQLite's signed 64 bits, bit for bit.
sqlite3_int64 In(uint64_t v) {
    sqlite3_int64 s;
    std::memcpy(&s, &v, sizeof s);
    return s;
}
uint64_t Out(sqlite3_int64 s) {
    uint64_t v;
    std::memcpy(&v, &s, sizeof v);
    return v;
}

uint32_t Cutoff(const engine::ContentsCache& cache) {
    return cache.today > kPruneAfterDays ? cache.today - kPruneAfterDays : 0;
}

// The store keeps most entries packed, in key order, kPackedPerRow to a
// row: a million entries read from a few hundred rows in hundredths of a
// second and written in a tenth, where as a million rows they take about
// a second each way. An entry, little-endian: device, inode, size, last
// write, change time, signature (8 bytes each), the full digest (16), 1
// when there is one, the day last seen (4).
constexpr size_t kPackedRecord = 69;
constexpr size_t kPackedPerRow = 4096;

void Put(uint8_t*& p, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        *p++ = static_cast<uint8_t>(v >> (8 * i));
}
uint64_t Get(const uint8_t*& p, int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v |= static_cast<uint64_t>(*p++) << (8 * i);
    return v;
}

void Pack(const engine::CachedContents& c, uint8_t* p) {
    for (uint64_t v : {c.key.device, c.key.inode, c.key.size, c.key.mtime, c.key.ctime, c.signature,
                       c.full.low, c.full.high})
        Put(p, v, 8);
    Put(p, c.hasFull ? 1 : 0, 1);
    Put(p, c.seenDay, 4);
}

engine::CachedContents Unpack(const uint8_t* p) {
    engine::CachedContents c;
    c.key.device = Get(p, 8);
    c.key.inode = Get(p, 8);
    c.key.size = Get(p, 8);
    c.key.mtime = Get(p, 8);
    c.key.ctime = Get(p, 8);
    c.signature = Get(p, 8);
    c.full.low = Get(p, 8);
    c.full.high = Get(p, 8);
    c.hasFull = Get(p, 1) != 0;
    c.seenDay = static_cast<uint32_t>(Get(p, 4));
    return c;
}

bool IsDamage(int code) {
    code &= 0xff;
    return code == SQLITE_CORRUPT || code == SQLITE_NOTADB || code == SQLITE_FORMAT;
}

}  // namespace

struct CacheStore::Impl {
    sqlite3* db = nullptr;
    std::filesystem::path path;
    // What Open found: entries packed and in rows, the oldest packed seen.
    size_t packedEntries = 0;
    size_t rowEntries = 0;
    uint32_t oldestPacked = UINT32_MAX;

    bool AppendRows(const engine::ContentsCache& cache, bool prune);
    bool Rewrite(const engine::ContentsCache& cache);

    ~Impl() { Close(); }
    void Close() {
        if (db)
            sqlite3_close(db);
        db = nullptr;
    }

    std::string Error(const char* doing) const {
        return std::string(doing) + " " + Utf8(path) + ": " +
               (db ? sqlite3_errmsg(db) : "out of memory");
    }

    bool Exec(const char* sql) {
        return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    }

    // A damaged store is moved aside, so that the next run starts afresh
    // and the damage can still be looked at.
    std::string SetAside(const std::string& why) {
        Close();
        std::filesystem::path aside = path;
        aside += ".damaged";
        std::error_code ec;
        std::filesystem::rename(path, aside, ec);
        std::filesystem::path journal = path;
        journal += "-journal";
        std::filesystem::remove(journal, ec);
        return why + "; moved it to " + Utf8(aside) + " and scanned without it";
    }
};

CacheStore::CacheStore() : impl_(std::make_unique<Impl>()) {}
CacheStore::~CacheStore() = default;

bool CacheStore::Open(const std::u16string& folder, engine::ContentsCache& cache,
                      std::string& problem) {
    Impl& s = *impl_;
    cache.today = Today();
    const std::filesystem::path dir = Native(folder);
    s.path = dir / kStoreName;
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec)) {
        std::filesystem::create_directories(dir, ec);
        if (ec) {
            problem = "cannot create the cache folder " + Utf8(dir) + ": " + ec.message() +
                      "; scanned without the cache";
            return false;
        }
#ifndef _WIN32
        // What was read may be private: the cache says what files exist.
        // (%LOCALAPPDATA% is the user's own already.)
        chmod(dir.c_str(), 0700);
#endif
    }
    if (sqlite3_open_v2(Utf8(s.path).c_str(), &s.db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        problem = s.Error("cannot open the cache") + "; scanned without it";
        s.Close();
        return false;
    }
    // Another run writing holds the lock for a moment; longer than this
    // and the scan goes on without waiting.
    sqlite3_busy_timeout(s.db, 5000);

    auto fail = [&](int code, const char* doing) {
        if (IsDamage(code)) {
            problem = s.SetAside(s.Error("the cache is damaged:"));
        } else {
            problem = s.Error(doing) + "; scanned without it";
            s.Close();
        }
        cache.Clear();
        return false;
    };

    sqlite3_stmt* st = nullptr;
    int version = 0;
    const auto readVersion = [&] {
        int code = sqlite3_prepare_v2(s.db, "PRAGMA user_version", -1, &st, nullptr);
        if (code == SQLITE_OK) {
            code = sqlite3_step(st);
            if (code == SQLITE_ROW) {
                version = sqlite3_column_int(st, 0);
                code = SQLITE_OK;
            }
        }
        sqlite3_finalize(st);
        return code;
    };
    int rc = readVersion();
    if (rc != SQLITE_OK)
        return fail(sqlite3_errcode(s.db), "cannot read the cache");
    if (version < kCacheFormat) {
        // New, never finished, or of this program's first format (one row
        // per file, which the next save rewrites anyway): made afresh in
        // one transaction, which a run beside this one waits for (and then
        // finds done).
        if (!s.Exec("BEGIN IMMEDIATE") || readVersion() != SQLITE_OK)
            return fail(sqlite3_errcode(s.db), "cannot set up the cache");
        if (version >= kCacheFormat) {
            s.Exec("COMMIT");
        } else if (!s.Exec("DROP TABLE IF EXISTS contents") ||
                   !s.Exec("DROP TABLE IF EXISTS packed") ||
                   !s.Exec("DROP TABLE IF EXISTS pruned") ||
                   !s.Exec("CREATE TABLE packed (id INTEGER PRIMARY KEY, entries BLOB NOT NULL)") ||
                   !s.Exec("CREATE TABLE contents ("
                           " device INTEGER NOT NULL, inode INTEGER NOT NULL,"
                           " size INTEGER NOT NULL, mtime INTEGER NOT NULL, ctime INTEGER NOT NULL,"
                           " signature INTEGER NOT NULL, digest BLOB, seen INTEGER NOT NULL,"
                           " PRIMARY KEY (device, inode)) WITHOUT ROWID") ||
                   !s.Exec("CREATE TABLE pruned (day INTEGER NOT NULL)") ||
                   !s.Exec(("PRAGMA user_version = " + std::to_string(kCacheFormat)).c_str()) ||
                   !s.Exec("COMMIT")) {
            return fail(sqlite3_errcode(s.db), "cannot set up the cache");  // closing rolls back
        }
    }
    if (version > kCacheFormat) {
        problem = "the cache " + Utf8(s.path) + " was written by a newer version (format " +
                  std::to_string(version) + "); scanned without it and left it as it is";
        s.Close();
        return false;
    }

    // Both tables as of one moment: a run beside this one may rewrite them.
    if (!s.Exec("BEGIN"))
        return fail(sqlite3_errcode(s.db), "cannot read the cache");
    s.packedEntries = 0;
    s.oldestPacked = UINT32_MAX;
    // Every packed row but the last is full: the table is made its size
    // at once rather than grown step by step (a third of the time).
    if (sqlite3_prepare_v2(s.db,
                           "SELECT (SELECT count(*) FROM packed), (SELECT count(*) FROM contents)",
                           -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        cache.Reserve(static_cast<size_t>(sqlite3_column_int64(st, 0)) * kPackedPerRow +
                      static_cast<size_t>(sqlite3_column_int64(st, 1)));
    sqlite3_finalize(st);
    rc = sqlite3_prepare_v2(s.db, "SELECT entries FROM packed ORDER BY id", -1, &st, nullptr);
    while (rc == SQLITE_OK && (rc = sqlite3_step(st)) == SQLITE_ROW) {
        rc = SQLITE_OK;
        const auto* p = static_cast<const uint8_t*>(sqlite3_column_blob(st, 0));
        const size_t bytes = static_cast<size_t>(sqlite3_column_bytes(st, 0));
        if (bytes % kPackedRecord != 0) {
            sqlite3_finalize(st);
            s.Exec("ROLLBACK");
            problem = s.SetAside("the cache is damaged: " + Utf8(s.path) +
                                 " holds a packed row of " + std::to_string(bytes) + " bytes");
            cache.Clear();
            return false;
        }
        for (size_t at = 0; at < bytes; at += kPackedRecord) {
            const engine::CachedContents c = Unpack(p + at);
            s.oldestPacked = std::min(s.oldestPacked, c.seenDay);
            cache.Add(c);
        }
        s.packedEntries += bytes / kPackedRecord;
    }
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE)
        return fail(rc, "cannot read the cache");  // closing ends the transaction
    s.rowEntries = 0;
    rc = sqlite3_prepare_v2(s.db,
                            "SELECT device, inode, size, mtime, ctime, signature, digest, seen "
                            "FROM contents",
                            -1, &st, nullptr);
    while (rc == SQLITE_OK && (rc = sqlite3_step(st)) == SQLITE_ROW) {
        rc = SQLITE_OK;
        engine::CachedContents c;
        c.key.device = Out(sqlite3_column_int64(st, 0));
        c.key.inode = Out(sqlite3_column_int64(st, 1));
        c.key.size = Out(sqlite3_column_int64(st, 2));
        c.key.mtime = Out(sqlite3_column_int64(st, 3));
        c.key.ctime = Out(sqlite3_column_int64(st, 4));
        c.signature = Out(sqlite3_column_int64(st, 5));
        if (sqlite3_column_bytes(st, 6) == 16) {
            std::memcpy(&c.full, sqlite3_column_blob(st, 6), 16);
            c.hasFull = true;
        }
        c.seenDay = static_cast<uint32_t>(sqlite3_column_int64(st, 7));
        cache.Add(c);  // newer than the packed entry for the same file
        ++s.rowEntries;
    }
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE)
        return fail(rc, "cannot read the cache");  // closing ends the transaction
    s.Exec("COMMIT");
    cache.Seal();
    return true;
}

namespace {

bool KeyOrder(const engine::CachedContents* a, const engine::CachedContents* b) {
    return a->key.device != b->key.device ? a->key.device < b->key.device
                                          : a->key.inode < b->key.inode;
}

}  // namespace

bool CacheStore::Impl::AppendRows(const engine::ContentsCache& cache, bool prune) {
    // In key order: rows given in the B-tree's order land on its pages one
    // after another. Stable, as a later entry for a file supersedes an
    // earlier one.
    std::vector<const engine::CachedContents*> order;
    order.reserve(cache.learnt.size());
    for (const engine::CachedContents& c : cache.learnt)
        order.push_back(&c);
    std::stable_sort(order.begin(), order.end(), KeyOrder);
    sqlite3_stmt* st = nullptr;
    bool ok = sqlite3_prepare_v2(db,
                                 "INSERT OR REPLACE INTO contents "
                                 "(device, inode, size, mtime, ctime, signature, digest, seen) "
                                 "VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
                                 -1, &st, nullptr) == SQLITE_OK;
    for (size_t i = 0; ok && i < order.size(); ++i) {
        const engine::CachedContents& c = *order[i];
        sqlite3_bind_int64(st, 1, In(c.key.device));
        sqlite3_bind_int64(st, 2, In(c.key.inode));
        sqlite3_bind_int64(st, 3, In(c.key.size));
        sqlite3_bind_int64(st, 4, In(c.key.mtime));
        sqlite3_bind_int64(st, 5, In(c.key.ctime));
        sqlite3_bind_int64(st, 6, In(c.signature));
        if (c.hasFull)
            sqlite3_bind_blob(st, 7, &c.full, 16, SQLITE_TRANSIENT);
        else
            sqlite3_bind_null(st, 7);
        sqlite3_bind_int64(st, 8, c.seenDay);
        ok = sqlite3_step(st) == SQLITE_DONE;
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    if (ok && prune)
        ok = Exec(("DELETE FROM contents WHERE seen < " + std::to_string(Cutoff(cache))).c_str());
    return ok;
}

bool CacheStore::Impl::Rewrite(const engine::ContentsCache& cache) {
    // What was read, then what was learnt, in key order; of the entries
    // for one file the last one counts (the sort is stable).
    const uint32_t cutoff = Cutoff(cache);
    std::vector<const engine::CachedContents*> order;
    order.reserve(cache.Size() + cache.learnt.size());
    for (const engine::CachedContents& c : cache.Entries())
        if (c.seenDay >= cutoff)
            order.push_back(&c);
    for (const engine::CachedContents& c : cache.learnt)
        order.push_back(&c);
    std::stable_sort(order.begin(), order.end(), KeyOrder);
    size_t kept = 0;
    for (size_t i = 0; i < order.size(); ++i)
        if (i + 1 == order.size() || KeyOrder(order[i], order[i + 1]))
            order[kept++] = order[i];
    order.resize(kept);
    if (!Exec("DELETE FROM packed") || !Exec("DELETE FROM contents"))
        return false;
    sqlite3_stmt* st = nullptr;
    bool ok = sqlite3_prepare_v2(db, "INSERT INTO packed (entries) VALUES (?)", -1, &st, nullptr) ==
              SQLITE_OK;
    std::vector<uint8_t> blob;
    for (size_t at = 0; ok && at < order.size(); at += kPackedPerRow) {
        const size_t n = std::min(kPackedPerRow, order.size() - at);
        blob.resize(n * kPackedRecord);
        for (size_t i = 0; i < n; ++i)
            Pack(*order[at + i], blob.data() + i * kPackedRecord);
        sqlite3_bind_blob(st, 1, blob.data(), static_cast<int>(blob.size()), SQLITE_STATIC);
        ok = sqlite3_step(st) == SQLITE_DONE;
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    return ok;
}

bool CacheStore::Save(const engine::ContentsCache& cache, std::string& problem) {
    Impl& s = *impl_;
    if (!s.db)
        return true;
    sqlite3_stmt* pruned = nullptr;
    uint32_t lastPruned = 0;
    if (sqlite3_prepare_v2(s.db, "SELECT max(day) FROM pruned", -1, &pruned, nullptr) ==
            SQLITE_OK &&
        sqlite3_step(pruned) == SQLITE_ROW)
        lastPruned = static_cast<uint32_t>(sqlite3_column_int64(pruned, 0));
    sqlite3_finalize(pruned);
    const bool prune = lastPruned != cache.today;
    if (cache.learnt.empty() && !prune)
        return true;

    if (!s.Exec("BEGIN IMMEDIATE")) {
        problem = s.Error("could not update the cache") + "; it is as it was";
        return false;
    }
    // A few changed files are rows of their own, cheap to add to a large
    // store; once the rows would pass an eighth of the packed entries (a
    // first scan at once), or packed entries are due to be pruned, all is
    // packed again. A run beside this one that saved meanwhile may lose
    // its entries to the rewrite: misses, never a wrong entry, as every
    // entry is about the key it is stored under.
    const bool rewrite = (s.rowEntries + cache.learnt.size()) * 8 > s.packedEntries ||
                         (prune && s.oldestPacked < Cutoff(cache));
    bool ok = rewrite ? s.Rewrite(cache) : s.AppendRows(cache, prune);
    if (ok && prune)
        ok = s.Exec(
            ("DELETE FROM pruned; INSERT INTO pruned VALUES (" + std::to_string(cache.today) + ")")
                .c_str());
    ok = ok && s.Exec("COMMIT");
    if (!ok) {
        problem = s.Error("could not update the cache") + "; it is as it was";
        s.Exec("ROLLBACK");
        return false;
    }
    return true;
}

}  // namespace cs::cli
