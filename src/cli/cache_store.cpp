#include "cli/cache_store.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

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

bool IsDamage(int code) {
    code &= 0xff;
    return code == SQLITE_CORRUPT || code == SQLITE_NOTADB || code == SQLITE_FORMAT;
}

}  // namespace

struct CacheStore::Impl {
    sqlite3* db = nullptr;
    std::filesystem::path path;
    bool damaged = false;

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

    bool Exec(const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

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
    int rc = sqlite3_prepare_v2(s.db, "PRAGMA user_version", -1, &st, nullptr);
    int version = 0;
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(st);
        if (rc == SQLITE_ROW) {
            version = sqlite3_column_int(st, 0);
            rc = SQLITE_OK;
        }
    }
    sqlite3_finalize(st);
    if (rc != SQLITE_OK)
        return fail(sqlite3_errcode(s.db), "cannot read the cache");
    if (version > kCacheFormat) {
        problem = "the cache " + Utf8(s.path) +
                  " was written by a newer version (format " + std::to_string(version) +
                  "); scanned without it and left it as it is";
        s.Close();
        return false;
    }
    if (version == 0) {
        // New (or never finished): made in one transaction, which a run
        // beside this one waits for.
        if (!s.Exec("BEGIN IMMEDIATE") ||
            !s.Exec("CREATE TABLE IF NOT EXISTS contents ("
                    " device INTEGER NOT NULL, inode INTEGER NOT NULL,"
                    " size INTEGER NOT NULL, mtime INTEGER NOT NULL, ctime INTEGER NOT NULL,"
                    " signature INTEGER NOT NULL, digest BLOB, seen INTEGER NOT NULL,"
                    " PRIMARY KEY (device, inode)) WITHOUT ROWID") ||
            !s.Exec("CREATE TABLE IF NOT EXISTS pruned (day INTEGER NOT NULL)") ||
            !s.Exec("PRAGMA user_version = 1") || !s.Exec("COMMIT")) {
            const int code = sqlite3_errcode(s.db);
            s.Exec("ROLLBACK");
            return fail(code, "cannot set up the cache");
        }
    }

    rc = sqlite3_prepare_v2(s.db,
                            "SELECT device, inode, size, mtime, ctime, signature, digest, seen "
                            "FROM contents",
                            -1, &st, nullptr);
    if (rc != SQLITE_OK)
        return fail(sqlite3_errcode(s.db), "cannot read the cache");
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
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
        cache.Add(c);
    }
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE)
        return fail(rc, "cannot read the cache");
    return true;
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
    bool ok = true;
    sqlite3_stmt* st = nullptr;
    ok = sqlite3_prepare_v2(s.db,
                            "INSERT OR REPLACE INTO contents "
                            "(device, inode, size, mtime, ctime, signature, digest, seen) "
                            "VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
                            -1, &st, nullptr) == SQLITE_OK;
    for (size_t i = 0; ok && i < cache.learnt.size(); ++i) {
        const engine::CachedContents& c = cache.learnt[i];
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
    if (ok && prune) {
        const std::string sql =
            "DELETE FROM contents WHERE seen < " +
            std::to_string(static_cast<int64_t>(cache.today) - kPruneAfterDays) +
            "; DELETE FROM pruned; INSERT INTO pruned VALUES (" + std::to_string(cache.today) +
            ")";
        ok = s.Exec(sql.c_str());
    }
    ok = ok && s.Exec("COMMIT");
    if (!ok) {
        problem = s.Error("could not update the cache") + "; it is as it was";
        s.Exec("ROLLBACK");
        return false;
    }
    return true;
}

}  // namespace cs::cli
