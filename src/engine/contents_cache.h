// What earlier scans learnt about files' contents, as the engine uses it:
// an in-memory table the front end fills from its store before the scan,
// and the entries this scan learnt, which the front end writes back after
// it. The engine never opens the store; the store never sees a scan.
//
// An entry is a hint, never a proof. It is reused only for a file that is
// the same file as far as the system can tell without reading it (device
// and inode or volume and file id, size, last write and change time), and
// a group founded on hints is marked unproved, so that removal compares it
// in full. The table is filled by one thread before the scan or beside
// its start (filled); during the scan only the scan thread uses it.
//
// The table is an array in key order, not a hash: the store hands its
// entries over in that order, and the walk meets a folder's files, which
// the system numbers near one another, one after another. So a look-up
// starts where the last one ended and stays within a few cache lines,
// where a hash sent each one to two random places in some 90 MB.
#pragma once

#include <cstdint>
#include <cstring>
#include <future>
#include <vector>

namespace cs::engine {

// A full-contents digest: XXH3-128 of every byte. Fast enough to ride
// along reads the scan makes anyway; strong enough for a hint.
struct FullDigest {
    uint64_t low = 0;
    uint64_t high = 0;
    bool operator==(const FullDigest&) const = default;
};

// Streaming XXH3-128, for digests taken chunk by chunk during the reads.
class FullDigester {
public:
    FullDigester();
    ~FullDigester();
    FullDigester(const FullDigester&) = delete;
    FullDigester& operator=(const FullDigester&) = delete;
    void Reset();
    void Update(const uint8_t* data, size_t size);
    FullDigest Finish() const;
    static FullDigest Of(const uint8_t* data, size_t size);

private:
    void* state_;
};

// What tells one file apart from any other and from itself changed.
struct FileKey {
    uint64_t device = 0;
    uint64_t inode = 0;
    uint64_t size = 0;
    uint64_t mtime = 0;
    uint64_t ctime = 0;
    bool operator==(const FileKey&) const = default;
};

struct CachedContents {
    FileKey key;
    uint64_t signature = 0;  // the scan's signature of the file (read_pool.h)
    FullDigest full;
    uint32_t seenDay = 0;  // days since 1970-01-01 when a scan last used it
    bool hasFull = false;
};

class ContentsCache {
public:
    // Before the scan, or while it begins, from one thread (see filled):
    // entries in any order, then Seal. Of two entries for one file the
    // one added later counts.
    void Reserve(size_t count) { entries_.reserve(count); }
    void Add(const CachedContents& entry) { entries_.push_back(entry); }
    void Seal();
    void Clear();
    size_t Size() const { return entries_.size(); }
    const std::vector<CachedContents>& Entries() const { return entries_; }

    // Set when the table is filled on another thread while the walk
    // begins (a large store takes a while to read, and the walk needs
    // none of it): true once filled, false when it could not be. Await
    // waits for it on the scan thread's first use.
    std::shared_future<bool> filled;
    bool Await() {
        if (!awaited_) {
            usable_ = !filled.valid() || filled.get();
            awaited_ = true;
        }
        return usable_;
    }

    // The entry for exactly this file, or null (another file at that
    // identity, or the file changed). The scan thread's: it moves the
    // place the next look-up starts from.
    const CachedContents* Find(const FileKey& key);

    // Today, as seenDay counts; set by the front end.
    uint32_t today = 0;

    // Filled by the scan: entries to write back (new, changed, or used and
    // last marked seen long ago), in the order learnt; a later entry for
    // the same file supersedes an earlier one.
    std::vector<CachedContents> learnt;
    // How many files' signatures came from the table.
    uint64_t hits = 0;

    // How old a seen mark may grow before a use writes it again: a warm
    // rescan writes nearly nothing, and pruning stays within a week of
    // its rule.
    static constexpr uint32_t kSeenRefreshDays = 7;

private:
    bool awaited_ = false;
    bool usable_ = false;
    std::vector<CachedContents> entries_;  // by (device, inode) once sealed
    size_t finger_ = 0;                    // where the last look-up ended
};

}  // namespace cs::engine
