#include "engine/grouping.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <thread>
#include <unordered_map>
#include <vector>

#include "engine/contents_cache.h"
#include "engine/digests.h"
#include "engine/fast_hash.h"
#include "engine/names.h"
#include "engine/read_pool.h"
#include "engine/scan.h"
#include "engine/strings.h"
#include "platform/file.h"

namespace cs::engine {

namespace {

// Append-only store for the texts the index keeps (founder paths, keys):
// one allocation per 64 Ki code units instead of one per file, which is
// what keeps a scan of 100,000 files in a few MiB.
class TextArena {
public:
    struct Ref {
        uint32_t chunk = 0;
        uint32_t offset = 0;
        uint32_t length = 0;
    };

    Ref Add(std::u16string_view text) {
        if (chunks_.empty() || used_ + text.size() > kChunk) {
            const size_t capacity = text.size() > kChunk ? text.size() : kChunk;
            chunks_.push_back(std::make_unique<char16_t[]>(capacity));
            used_ = text.size() > kChunk ? kChunk : 0;  // an oversized text fills its chunk
            if (text.size() > kChunk) {
                std::memcpy(chunks_.back().get(), text.data(), text.size() * sizeof(char16_t));
                return {static_cast<uint32_t>(chunks_.size() - 1), 0,
                        static_cast<uint32_t>(text.size())};
            }
        }
        std::memcpy(chunks_.back().get() + used_, text.data(), text.size() * sizeof(char16_t));
        const Ref ref{static_cast<uint32_t>(chunks_.size() - 1), static_cast<uint32_t>(used_),
                      static_cast<uint32_t>(text.size())};
        used_ += text.size();
        return ref;
    }

    std::u16string_view Get(Ref ref) const {
        if (ref.length == 0)
            return {};
        return {chunks_[ref.chunk].get() + ref.offset, ref.length};
    }

private:
    static constexpr size_t kChunk = 1 << 16;
    std::vector<std::unique_ptr<char16_t[]>> chunks_;
    size_t used_ = 0;
};

uint64_t DigestHash(const ContentDigests& d) {
    uint64_t a, b;
    std::memcpy(&a, d.head.bytes.data(), 8);
    std::memcpy(&b, d.tail.bytes.data(), 8);
    return a ^ Mix(b);
}

constexpr uint64_t kLargeClass = ~0ull;

// A path is kept as its folder (shared by every file of that folder) and
// its name: most of a path's length is the folder.
//
// What removal needs to know it still has the same file (identity, last
// write) rides along: every waiting founder holds it until a second member
// arrives. The device is an index into the few devices met, which fits the
// padding after the keys, so a record grows by the time and inode alone.
struct FileRecord {
    uint32_t folder = 0;  // index into the folder prefixes
    TextArena::Ref name;
    uint32_t device = 0;  // index into the devices met
    uint64_t sequence = 0;
    uint64_t size = 0;
    uint64_t mtime = 0;
    uint64_t inode = 0;
    uint64_t ctime = 0;  // only a cache asks for it
};

// One class of equal contents within a signature bucket, from its first
// file. Its digests are taken only when it is found through them.
struct ContentSlot {
    FileRecord founder;
    uint64_t signature = 0;  // with `opened`, the signature bucket's key
    uint32_t opened = 0;
    int32_t group = -1;
    // The founder could not be read when a later file was compared with
    // it: nothing is proved equal to it any more.
    bool dead = false;
    uint32_t digests = kNoDigests;  // index into the digests kept
    uint32_t full = kNoDigests;     // index into the full digests known
    static constexpr uint32_t kNoDigests = ~0u;
};

// Files of one size class and name key whose signatures are equal. The
// first file founds a class without being read; each later one is compared
// byte for byte with the founders of the first classes, and beyond
// kComparedFounders classes found through its digests. Most buckets only
// ever hold one class, so it is kept inline and the rest come into being
// when needed: a tree of many small files has one of these per file.
struct SignatureBucket {
    uint32_t first = 0;           // the first class's slot, which holds the key
    std::vector<uint32_t> later;  // the other classes' slots, in founding order
    std::unique_ptr<std::unordered_map<uint64_t, std::vector<uint32_t>>> slotsByDigest;
    // Placements of this bucket queued and not yet settled: while any
    // waits, a later file must wait its turn too, even one a cache could
    // place at once, or it could found the class an earlier file founds.
    uint32_t pending = 0;

    size_t Count() const { return 1 + later.size(); }
    uint32_t At(size_t i) const { return i == 0 ? first : later[i - 1]; }
};

// What needs no reading: size class and folded name key.
struct KeyBucket {
    uint64_t sizeClass = 0;
    TextArena::Ref foldedKey;
    uint64_t hash = 0;
    FileRecord first;
    int32_t group = -1;   // without content criteria: the visible group
    int32_t opened = -1;  // with content criteria: its number among the opened
};

struct FolderSlot {
    std::u16string founderPath;
    platform::ItemFacts founderFacts;
    std::u16string key;
    uint64_t sequence = 0;
    int32_t group = -1;
};

// A file of an opened bucket waiting for its signature.
//
// `trigger` is the walk position of the file whose arrival caused the step:
// a one-thread scan would have done it right then.
struct PendingSignature {
    uint64_t trigger;
    uint32_t opened;  // which opened key bucket (KeyBucket::opened)
    FileRecord file;
    std::shared_ptr<ReadJob> job;            // null when the cache told it
    const CachedContents* cached = nullptr;  // the cache's entry (not moved during a scan)
};

// What a file's signature step found, read or told by the cache.
struct Signed {
    uint64_t signature = 0;
    const FullDigest* full = nullptr;  // when known
    bool fromCache = false;
};

// A placement waiting for its comparisons.
struct PendingPlacement {
    uint64_t trigger;
    SignatureBucket* bucket;  // map nodes do not move
    FileRecord file;
    std::shared_ptr<ReadJob> job;
    std::vector<uint32_t> asked;     // the slots the job compares with, in its order
    std::vector<uint32_t> compared;  // every slot compared with so far
    bool hasFull = false;            // the file's full digest, from the cache
    FullDigest full;
};

// Enough queued for both cores and the disk, without letting the walk run
// far ahead (each waiting file holds a path).
constexpr size_t kMaxPending = 128;

// A zero-byte file or a folder met while reads were still pending: held
// back until everything the walk met before it has been placed, so the list
// rebuilt at any moment is the one a one-thread scan would show.
struct DeferredEntry {
    uint64_t barrier;  // walk position of the next file after it
    bool isFolder;
    std::u16string path;
    std::u16string name;
    platform::ItemFacts facts;
};

unsigned CoreThreads() {
    const unsigned n = std::thread::hardware_concurrency();
    // At least two, so reading overlaps the walk even on one core.
    return n < 2 ? 2 : (n > 8 ? 8 : n);
}

// Extra readers for a cold disk (see ReadPool).
constexpr unsigned kIoThreads = 2;

}  // namespace

struct Grouper::State {
    const ScanOptions& options;
    const NamePatterns& patterns;
    ScanResults& results;
    const std::atomic<uint8_t>& cancel;
    ScanProgress* progress;
    const ScanHooks& hooks;

    const uint32_t criteria;
    const bool byContent;
    const bool byName;
    // Null when none was given or it could not be filled: see Cache().
    ContentsCache* cache;

    TextArena arena;
    std::vector<TextArena::Ref> folderPrefixes;
    std::vector<uint64_t> devices;  // FileRecord::device indexes this
    uint32_t lastDevice = 0;
    std::deque<KeyBucket> buckets;    // grows without copying what it holds
    std::vector<uint32_t> table;      // open addressing: 0 empty, else bucket index + 1
    // Signature buckets by (opened key bucket, signature), open addressing
    // as `table`: 0 is empty; with kLoneSlot set, the slot of the bucket's
    // only file, which needs no bucket of its own (nearly every signature
    // is met once); else index into signatureBuckets + 1. The key lives in
    // the first class's slot. Beside each entry, the low half of its
    // key's hash: a probe passes other keys, and the table grows, without
    // a visit to a slot (a random place in memory, a file's worth of time
    // when every signature comes from a cache).
    static constexpr uint32_t kLoneSlot = 0x80000000u;
    struct SignatureEntry {
        uint32_t ref = 0;
        uint32_t hash = 0;
    };
    std::vector<SignatureEntry> signatureTable = std::vector<SignatureEntry>(1024);
    size_t signatureCount = 0;
    std::deque<SignatureBucket> signatureBuckets;  // a deque: placements hold pointers into it
    uint32_t openedCount = 0;
    std::deque<ContentSlot> slots;  // grows without a copy beside it
    std::vector<ContentDigests> slotDigests;
    std::vector<FullDigest> slotFulls;
    std::unordered_map<std::u16string, FolderSlot> folders;
    uint64_t nextSequence = 0;
    uint64_t nextFolderSequence = 0;

    std::atomic<uint64_t> ignoredBytes{0};
    std::unique_ptr<ReadPool> pool;
    std::deque<PendingSignature> signatures;
    std::deque<PendingPlacement> placements;
    std::deque<DeferredEntry> deferred;
    bool cancelled = false;

    State(const ScanOptions& o, const NamePatterns& p, ScanResults& r,
          const std::atomic<uint8_t>& c, ScanProgress* pr, const ScanHooks& h)
        : options(o),
          patterns(p),
          results(r),
          cancel(c),
          progress(pr),
          hooks(h),
          criteria(o.criteria),
          byContent(o.criteria & kContentCriteria),
          byName(o.criteria & kNameCriteria),
          cache(o.criteria & kContentCriteria ? h.cache : nullptr) {
        table.assign(1024, 0);
        if (byContent) {
            pool = std::make_unique<ReadPool>(CoreThreads(), kIoThreads, criteria, cancel,
                                              progress ? progress->bytesHashed : ignoredBytes);
        }
    }

    uint64_t SizeClass(uint64_t size) const {
        if (criteria & CRIT_SAME_SIZE)
            return size;
        if (criteria & CRIT_EXACT_CONTENTS)
            return size;
        if (criteria & CRIT_SIMILAR_CONTENTS)
            return size < kHeadLength ? size : kLargeClass;
        return 0;
    }

    // Finds the bucket for the key, or the empty table position for it.
    uint32_t* Lookup(uint64_t sizeClass, std::u16string_view folded, uint64_t hash) {
        const size_t mask = table.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            uint32_t& slot = table[i];
            if (slot == 0)
                return &slot;
            const KeyBucket& b = buckets[slot - 1];
            if (b.hash == hash && b.sizeClass == sizeClass && arena.Get(b.foldedKey) == folded) {
                return &slot;
            }
        }
    }

    void GrowTable() {
        std::vector<uint32_t> bigger(table.size() * 2, 0);
        const size_t mask = bigger.size() - 1;
        for (uint32_t slot : table) {
            if (slot == 0)
                continue;
            size_t i = buckets[slot - 1].hash & mask;
            while (bigger[i] != 0)
                i = (i + 1) & mask;
            bigger[i] = slot;
        }
        table.swap(bigger);
    }

    std::u16string Path(const FileRecord& f) const {
        const std::u16string_view prefix = arena.Get(folderPrefixes[f.folder]);
        const std::u16string_view name = arena.Get(f.name);
        std::u16string path;
        path.reserve(prefix.size() + name.size());
        path.append(prefix);
        path.append(name);
        return path;
    }

    void StoreFacts(FileRecord& f, const platform::ItemFacts& facts, uint64_t ctime) {
        f.ctime = ctime;
        f.size = facts.size;
        f.mtime = facts.mtime;
        f.inode = facts.inode;
        // Nearly every file lies on the device of the file before it.
        if (devices.empty() || devices[lastDevice] != facts.device) {
            const auto it = std::find(devices.begin(), devices.end(), facts.device);
            lastDevice = static_cast<uint32_t>(it - devices.begin());
            if (it == devices.end())
                devices.push_back(facts.device);
        }
        f.device = lastDevice;
    }

    platform::ItemFacts Facts(const FileRecord& f) const {
        platform::ItemFacts facts;
        facts.size = f.size;
        facts.mtime = f.mtime;
        facts.device = devices[f.device];
        facts.inode = f.inode;
        return facts;
    }

    // Keeps the path's folder part (everything before the name) once per run
    // of files from the same folder.
    void StorePath(FileRecord& f, const std::u16string& path, std::u16string_view name) {
        const std::u16string_view prefix(path.data(), path.size() - name.size());
        if (folderPrefixes.empty() || arena.Get(folderPrefixes.back()) != prefix) {
            folderPrefixes.push_back(arena.Add(prefix));
        }
        f.folder = static_cast<uint32_t>(folderPrefixes.size() - 1);
        f.name = arena.Add(name);
    }

    void AfterJoin() {
        if (++results.refreshCounter >= results.refreshThreshold) {
            if (hooks.rebuild)
                hooks.rebuild(results);
            results.refreshThreshold += kRefreshThresholdStep;
            results.refreshCounter = 0;
        }
    }

    // The second member makes a group visible; the founder's walk position
    // keeps it in creation order.
    int32_t Materialise(const FileRecord& founder) {
        MatchGroup g;
        g.paths = Path(founder);
        g.count = 1;
        g.size = founder.size;
        g.founderSequence = founder.sequence;
        g.facts.push_back(Facts(founder));
        results.matchGroups.push_back(std::move(g));
        if (progress)
            progress->groupsShown.fetch_add(1, std::memory_order_relaxed);
        return static_cast<int32_t>(results.matchGroups.size() - 1);
    }

    void Join(int32_t group, const std::u16string& path, const platform::ItemFacts& facts,
              bool proved = true) {
        MatchGroup& g = results.matchGroups[static_cast<size_t>(group)];
        g.proved = g.proved && proved;
        // Most groups stay small: grown exactly at first, they do not keep
        // the half-empty space doubling leaves; larger ones grow by half.
        // (reserve on a string that holds text would double anyway.)
        const size_t needed = g.paths.size() + 1 + path.size();
        if (needed > g.paths.capacity()) {
            std::u16string grown;
            grown.reserve(g.count < 4 ? needed : needed + needed / 2);
            grown = g.paths;
            g.paths.swap(grown);
        }
        if (g.facts.size() == g.facts.capacity())
            g.facts.reserve(g.count < 4 ? g.facts.size() + 1 : g.facts.size() * 3 / 2 + 1);
        g.paths += u'\n';
        g.paths += path;
        g.facts.push_back(facts);
        ++g.count;
        AfterJoin();
    }

    uint32_t Found(SignatureBucket* sb, const FileRecord& file, const ReadJob* digested,
                   const FullDigest* full = nullptr) {
        ContentSlot slot;
        slot.founder = file;
        if (sb)
            slot.signature = slots[sb->first].signature;
        if (full) {
            slot.full = static_cast<uint32_t>(slotFulls.size());
            slotFulls.push_back(*full);
        }
        if (digested) {
            slot.digests = static_cast<uint32_t>(slotDigests.size());
            slotDigests.push_back(digested->digests);
        }
        slots.push_back(slot);
        const auto index = static_cast<uint32_t>(slots.size() - 1);
        if (sb) {
            sb->later.push_back(index);
            if (digested) {
                if (!sb->slotsByDigest)
                    sb->slotsByDigest = std::make_unique<
                        std::unordered_map<uint64_t, std::vector<uint32_t>>>();
                (*sb->slotsByDigest)[DigestHash(digested->digests)].push_back(index);
            }
        }
        return index;
    }

    static size_t SignatureHash(uint32_t openedIndex, uint64_t signature) {
        return Mix(signature ^ (uint64_t{openedIndex} * 0x9E3779B97F4A7C15ull));
    }

    const ContentSlot& KeySlot(uint32_t ref) const {
        return slots[ref & kLoneSlot ? ref & ~kLoneSlot : signatureBuckets[ref - 1].first];
    }

    // The entry of (opened key bucket, signature); a new one (0) is made
    // when there was none, for the caller to fill.
    uint32_t& SignatureRef(uint32_t openedIndex, uint64_t signature) {
        if ((signatureCount + 1) * 2 > signatureTable.size()) {
            std::vector<SignatureEntry> bigger(signatureTable.size() * 2);
            const size_t mask = bigger.size() - 1;
            for (const SignatureEntry& e : signatureTable) {
                if (e.ref == 0)
                    continue;
                size_t j = e.hash & mask;
                while (bigger[j].ref != 0)
                    j = (j + 1) & mask;
                bigger[j] = e;
            }
            signatureTable.swap(bigger);
        }
        const auto hash = static_cast<uint32_t>(SignatureHash(openedIndex, signature));
        const size_t mask = signatureTable.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            SignatureEntry& e = signatureTable[i];
            if (e.ref == 0) {
                ++signatureCount;
                e.hash = hash;
                return e.ref;
            }
            if (e.hash != hash)
                continue;
            const ContentSlot& key = KeySlot(e.ref);
            if (key.signature == signature && key.opened == openedIndex)
                return e.ref;
        }
    }

    void JoinSlot(ContentSlot& slot, const FileRecord& file, bool proved = true) {
        if (slot.group < 0)
            slot.group = Materialise(slot.founder);
        Join(slot.group, Path(file), Facts(file), proved);
    }

    // --- The cache. A file the cache knows gets its signature without a
    // read; one whose full digest it knows is placed by digests alone
    // where every class it could join has a full digest too. The result
    // is the uncached one as long as the cache tells the truth; where it
    // does not, the group is marked unproved, and removal finds out.

    // The cache once filled; waits for it the first time.
    ContentsCache* Cache() {
        if (cache && !cache->Await())
            cache = nullptr;
        return cache;
    }

    FileKey KeyOf(const FileRecord& f) const {
        return FileKey{devices[f.device], f.inode, f.size, f.mtime, f.ctime};
    }
    // A file without an identity of its own (Windows gives FAT's files id 0
    // beside a real volume serial) would share its entry with every other
    // such file of its volume: it is neither remembered nor looked up.
    static bool Identified(const FileRecord& f) { return f.inode != 0; }

    void Learn(const FileRecord& f, uint64_t signature, const FullDigest* full) {
        if (!Cache() || !Identified(f))
            return;
        CachedContents c;
        c.key = KeyOf(f);
        c.signature = signature;
        c.hasFull = full != nullptr;
        if (full)
            c.full = *full;
        c.seenDay = cache->today;
        cache->learnt.push_back(c);
    }

    // Tells a slot's full digest, learnt during a read of this scan.
    void KnowFull(ContentSlot& slot, const FullDigest& full) {
        if (slot.full != ContentSlot::kNoDigests)
            return;
        slot.full = static_cast<uint32_t>(slotFulls.size());
        slotFulls.push_back(full);
        Learn(slot.founder, slot.signature, &full);
    }

    // Whether equal or differing full digests decide what the content
    // criterion decides: under exact contents always; under similar ones
    // only where the head covers the whole file.
    bool FullDecides(uint64_t size) const {
        return (criteria & CRIT_EXACT_CONTENTS) || size < kHeadLength;
    }

    // The class of `sb` whose founder has this full digest: joined.
    // Otherwise, when every live class has a full digest, a new class.
    // False when only a read can tell.
    bool PlaceByDigest(SignatureBucket& sb, const FileRecord& file, const FullDigest& full) {
        bool allKnown = true;
        for (size_t i = 0; i < sb.Count(); ++i) {
            ContentSlot& slot = slots[sb.At(i)];
            if (slot.dead)
                continue;
            if (slot.full == ContentSlot::kNoDigests) {
                allKnown = false;
            } else if (slotFulls[slot.full] == full) {
                if (placements.empty())
                    ApplyDeferred(file.sequence);
                JoinSlot(slot, file, false);
                return true;
            }
        }
        // A class founded here beyond the compared ones is found later
        // through its MD5 and SHA-256, which it lacks; under exact contents
        // a later file finds it through its full digest instead.
        if (!allKnown || (sb.Count() >= kComparedFounders && !(criteria & CRIT_EXACT_CONTENTS)))
            return false;
        Found(&sb, file, nullptr, &full);
        return true;
    }

    // The slots a file of `sb` is compared with byte for byte, as they
    // stand now: the first classes, those whose founder is still readable.
    std::vector<uint32_t> ComparedSlots(const SignatureBucket& sb) const {
        std::vector<uint32_t> out;
        const size_t n = std::min(sb.Count(), kComparedFounders);
        for (size_t i = 0; i < n; ++i) {
            if (!slots[sb.At(i)].dead)
                out.push_back(sb.At(i));
        }
        return out;
    }

    std::shared_ptr<ReadJob> PlaceJob(const FileRecord& file, const std::vector<uint32_t>& compare,
                                      bool wantDigests) {
        auto job = std::make_shared<ReadJob>();
        job->kind = ReadJob::Kind::Place;
        job->path = Path(file);
        job->size = file.size;
        job->wantFull = Cache() != nullptr;
        job->founders.reserve(compare.size());
        for (uint32_t index : compare)
            job->founders.push_back(Path(slots[index].founder));
        job->wantDigests = wantDigests;
        return pool->Submit(std::move(job));
    }

    void QueueSignature(uint64_t trigger, uint32_t openedIndex, const FileRecord& file) {
        const bool cacheable = Cache() && Identified(file);
        if (cacheable) {
            if (const CachedContents* c = cache->Find(KeyOf(file))) {
                // Done without a read, nor a job (an allocation a file, often
                // of fresh pages), and consumed in its turn like any other:
                // the order of placements is the walk's.
                ++cache->hits;
                ++results.filesFromCache;
                if (cache->today > c->seenDay + ContentsCache::kSeenRefreshDays) {
                    CachedContents seen = *c;
                    seen.seenDay = cache->today;
                    cache->learnt.push_back(seen);
                }
                signatures.push_back(PendingSignature{trigger, openedIndex, file, nullptr, c});
                return;
            }
        }
        auto job = std::make_shared<ReadJob>();
        job->kind = ReadJob::Kind::Signature;
        job->size = file.size;
        job->wantFull = cacheable;
        job->path = Path(file);
        signatures.push_back(PendingSignature{trigger, openedIndex, file, pool->Submit(job)});
    }

    void QueuePlacement(uint64_t trigger, SignatureBucket& sb, const FileRecord& file,
                        const Signed& signed_) {
        std::vector<uint32_t> compare = ComparedSlots(sb);
        const bool wantDigests = sb.Count() >= kComparedFounders;
        auto job = PlaceJob(file, compare, wantDigests);
        placements.push_back(PendingPlacement{trigger, &sb, file, std::move(job), compare, compare,
                                              signed_.full != nullptr,
                                              signed_.full ? *signed_.full : FullDigest{}});
        ++sb.pending;
    }

    // A file with its signature: into its signature bucket. The first one
    // there founds a class unread; every later one is placed by its bytes.
    void Admit(uint64_t trigger, uint32_t openedIndex, const FileRecord& file, const Signed& sig) {
        uint32_t& ref = SignatureRef(openedIndex, sig.signature);
        if (ref == 0) {
            const uint32_t index = Found(nullptr, file, nullptr, sig.full);
            slots[index].signature = sig.signature;
            slots[index].opened = openedIndex;
            ref = kLoneSlot | index;
            return;
        }
        if (ref & kLoneSlot) {
            signatureBuckets.emplace_back();
            signatureBuckets.back().first = ref & ~kLoneSlot;
            ref = static_cast<uint32_t>(signatureBuckets.size());
        }
        SignatureBucket& sb = signatureBuckets[ref - 1];
        // Only on a digest the cache gave: two files both read now are
        // compared byte for byte, as without a cache.
        if (sig.fromCache && sig.full && sb.pending == 0 && FullDecides(file.size) &&
            PlaceByDigest(sb, file, *sig.full))
            return;
        QueuePlacement(trigger, sb, file, sig);
    }

    // Applies the head placement once its job is done. False when it had to
    // ask for more (classes founded while it waited, or its digests): the
    // head then waits for that job, which keeps the order.
    bool Settle(PendingPlacement& head) {
        SignatureBucket& sb = *head.bucket;
        ReadJob& job = *head.job;
        if (job.result == HashResult::Failed) {
            ++results.skips.filesNotRead;  // unreadable: never grouped
            return true;
        }
        for (size_t i = 0; i < head.asked.size(); ++i) {
            ContentSlot& slot = slots[head.asked[i]];
            if ((job.founderFailed >> i) & 1u && !slot.dead) {
                // Read when it was admitted, unreadable now: what it holds
                // can no longer be told, so nothing more joins it.
                slot.dead = true;
                if (slot.group < 0)
                    ++results.skips.filesNotRead;
            }
        }
        if (job.matched >= 0) {
            ContentSlot& slot = slots[head.asked[static_cast<size_t>(job.matched)]];
            if (!slot.dead) {
                if (job.hasFull) {
                    KnowFull(slot, job.full);
                    if (!head.hasFull)
                        Learn(head.file, slot.signature, &job.full);
                }
                JoinSlot(slot, head.file);
                return true;
            }
        }
        // Classes founded since the job was asked for: compare with them too.
        std::vector<uint32_t> missing;
        for (uint32_t index : ComparedSlots(sb)) {
            if (std::find(head.compared.begin(), head.compared.end(), index) ==
                head.compared.end())
                missing.push_back(index);
        }
        const bool wantDigests = sb.Count() >= kComparedFounders;
        if (!missing.empty() || (wantDigests && !job.hasDigests)) {
            head.job = PlaceJob(head.file, missing, wantDigests);
            head.compared.insert(head.compared.end(), missing.begin(), missing.end());
            head.asked = std::move(missing);
            return false;
        }
        if (!wantDigests) {
            Found(&sb, head.file, nullptr, head.hasFull ? &head.full : nullptr);
            return true;
        }
        if (job.hasFull) {
            if (!head.hasFull)
                Learn(head.file, slots[sb.first].signature, &job.full);
            // A class a cache founded has no MD5 nor SHA-256 to be found by.
            for (size_t i = kComparedFounders; i < sb.Count(); ++i) {
                ContentSlot& slot = slots[sb.At(i)];
                if (!slot.dead && slot.digests == ContentSlot::kNoDigests &&
                    slot.full != ContentSlot::kNoDigests && slotFulls[slot.full] == job.full) {
                    JoinSlot(slot, head.file, false);
                    return true;
                }
            }
        }
        if (sb.slotsByDigest) {
            const auto found = sb.slotsByDigest->find(DigestHash(job.digests));
            if (found != sb.slotsByDigest->end()) {
                for (uint32_t index : found->second) {
                    ContentSlot& slot = slots[index];
                    const ContentDigests& d = slotDigests[slot.digests];
                    if (!slot.dead && d.head == job.digests.head && d.tail == job.digests.tail) {
                        JoinSlot(slot, head.file);
                        return true;
                    }
                }
            }
        }
        Found(&sb, head.file, &job, job.hasFull ? &job.full : head.hasFull ? &head.full : nullptr);
        return true;
    }

    bool Ready(const std::shared_ptr<ReadJob>& job) { return !job || pool->IsDone(*job); }

    // Applies finished reads in the order they were asked for. With `block`
    // false it returns when the oldest is not finished, unless too many
    // wait. False when a read was cancelled.
    //
    // Signatures and placements are two ordered streams. A signature step
    // founds a class only in a signature bucket that has no placement yet
    // (its first file), and each placement is queued by the signature step
    // of its own file, so handling them in this interleaving gives the
    // order a one-thread scan would.
    bool Drain(bool block) {
        // Once too many wait, the walk pauses until half have been applied:
        // resuming at the first free place would sleep and wake once a file.
        bool catchingUp = false;
        for (;;) {
            bool moved = false;
            while (!signatures.empty() && Ready(signatures.front().job)) {
                PendingSignature& head = signatures.front();
                if (head.cached) {
                    const CachedContents& c = *head.cached;
                    Admit(head.trigger, head.opened, head.file,
                          Signed{c.signature, c.hasFull ? &c.full : nullptr, true});
                } else if (head.job->result == HashResult::Cancelled) {
                    return Cancel();
                } else if (head.job->result == HashResult::Ok) {
                    const ReadJob& job = *head.job;
                    const FullDigest* full = job.hasFull ? &job.full : nullptr;
                    Learn(head.file, job.signature, full);
                    Admit(head.trigger, head.opened, head.file, Signed{job.signature, full, false});
                } else {
                    // Unreadable: never grouped, and nobody can join it.
                    ++results.skips.filesNotRead;
                }
                signatures.pop_front();
                moved = true;
            }
            while (!placements.empty() && Ready(placements.front().job)) {
                PendingPlacement& head = placements.front();
                if (head.job->result == HashResult::Cancelled)
                    return Cancel();
                ApplyDeferred(head.trigger);
                if (!Settle(head))
                    break;
                --head.bucket->pending;
                placements.pop_front();
                moved = true;
            }
            // A signature step changes nothing the list shows, but the
            // placements it queues do: held-back entries wait for both.
            uint64_t earliest = ~0ull;
            if (!signatures.empty())
                earliest = signatures.front().trigger;
            if (!placements.empty() && placements.front().trigger < earliest) {
                earliest = placements.front().trigger;
            }
            ApplyDeferred(earliest);
            if (signatures.empty() && placements.empty())
                return true;
            if (moved)
                continue;
            const size_t pending = signatures.size() + placements.size();
            if (!block && pending < (catchingUp ? kMaxPending / 2 : kMaxPending))
                return true;
            catchingUp = true;
            if (!placements.empty()) {
                pool->Wait(*placements.front().job);
            } else {
                pool->Wait(*signatures.front().job);
            }
        }
    }

    bool Cancel() {
        cancelled = true;
        signatures.clear();
        placements.clear();
        deferred.clear();
        return false;
    }

    // Applies the held-back entries that come before walk position `upTo`.
    void ApplyDeferred(uint64_t upTo) {
        while (!deferred.empty() && deferred.front().barrier <= upTo) {
            DeferredEntry& e = deferred.front();
            if (e.isFolder) {
                ApplyFolder(e.path, e.name, e.facts);
            } else {
                ListZeroByteFile(std::move(e.path), e.facts);
            }
            deferred.pop_front();
        }
    }

    bool Idle() const { return signatures.empty() && placements.empty(); }

    void ListZeroByteFile(std::u16string path, const platform::ItemFacts& facts) {
        results.zeroByteFiles.push_back(std::move(path));
        results.zeroByteFacts.push_back(facts);
    }

    void AddZeroByteFile(std::u16string path, const platform::ItemFacts& facts) {
        if (Idle()) {
            ListZeroByteFile(std::move(path), facts);
        } else {
            deferred.push_back(DeferredEntry{nextSequence, false, std::move(path), {}, facts});
        }
    }

    void AddFolder(const std::u16string& path, std::u16string_view name,
                   const platform::ItemFacts& facts) {
        if (Idle()) {
            ApplyFolder(path, name, facts);
        } else {
            deferred.push_back(
                DeferredEntry{nextSequence, true, path, std::u16string(name), facts});
        }
    }

    bool AddFile(const std::u16string& path, std::u16string_view name,
                 const platform::ItemFacts& facts, uint64_t ctime) {
        FileRecord file;
        file.sequence = nextSequence++;
        StoreFacts(file, facts, ctime);
        const uint64_t size = file.size;
        std::u16string folded;
        if (byName) {
            const std::u16string key = FileNameKey(criteria, name, patterns);
            folded = FoldAsciiCopy(key);
        }
        const uint64_t sizeClass = SizeClass(size);
        const uint64_t hash = Mix(sizeClass * 0x9E3779B97F4A7C15ull) ^ HashText(folded);

        uint32_t* slot = Lookup(sizeClass, folded, hash);
        if (*slot == 0) {
            StorePath(file, path, name);
            KeyBucket b;
            b.sizeClass = sizeClass;
            b.foldedKey = arena.Add(folded);
            b.hash = hash;
            b.first = file;
            buckets.push_back(b);
            *slot = static_cast<uint32_t>(buckets.size());
            if (buckets.size() * 2 > table.size())
                GrowTable();
            return true;
        }
        const uint32_t index = *slot - 1;

        if (!byContent) {
            if (buckets[index].group < 0)
                buckets[index].group = Materialise(buckets[index].first);
            Join(buckets[index].group, path, facts);
            return true;
        }

        StorePath(file, path, name);
        if (buckets[index].opened < 0) {
            buckets[index].opened = static_cast<int32_t>(openedCount++);
            QueueSignature(file.sequence, static_cast<uint32_t>(buckets[index].opened),
                           buckets[index].first);
        }
        QueueSignature(file.sequence, static_cast<uint32_t>(buckets[index].opened), file);
        return Drain(false);
    }

    void ApplyFolder(const std::u16string& path, std::u16string_view name,
                     const platform::ItemFacts& facts) {
        std::u16string key = patterns.NormaliseFolderName(name);
        std::u16string folded = FoldAsciiCopy(key);
        auto [it, isNew] = folders.try_emplace(std::move(folded));
        FolderSlot& slot = it->second;
        if (isNew) {
            slot.founderPath = path;
            slot.founderFacts = facts;
            slot.key = std::move(key);
            slot.sequence = nextFolderSequence++;
            return;
        }
        ++nextFolderSequence;
        if (slot.group < 0) {
            FolderGroup g;
            g.paths = std::move(slot.founderPath);
            g.count = 1;
            g.folderKey = slot.key;
            g.founderSequence = slot.sequence;
            g.facts.push_back(slot.founderFacts);
            results.folderGroups.push_back(std::move(g));
            slot.group = static_cast<int32_t>(results.folderGroups.size() - 1);
        }
        FolderGroup& g = results.folderGroups[static_cast<size_t>(slot.group)];
        g.paths += u'\n';
        g.paths += path;
        g.facts.push_back(facts);
        ++g.count;
        ++results.refreshCounter;  // folders never trigger the rebuild themselves
    }
};

Grouper::Grouper(const ScanOptions& options, const NamePatterns& patterns, ScanResults& results,
                 const std::atomic<uint8_t>& cancel, ScanProgress* progress, const ScanHooks& hooks)
    : state_(std::make_unique<State>(options, patterns, results, cancel, progress, hooks)) {}

Grouper::~Grouper() = default;

bool Grouper::Finish(bool walkCompleted) {
    State& s = *state_;
    if (!s.byContent || s.cancelled)
        return !s.cancelled;
    if (walkCompleted)
        return s.Drain(true);
    return false;
}

bool Grouper::AddFile(const std::u16string& path, std::u16string_view name,
                      const platform::ItemFacts& facts, uint64_t ctime) {
    return state_->AddFile(path, name, facts, ctime);
}

void Grouper::AddFolder(const std::u16string& path, std::u16string_view name,
                        const platform::ItemFacts& facts) {
    state_->AddFolder(path, name, facts);
}

void Grouper::AddZeroByteFile(std::u16string path, const platform::ItemFacts& facts) {
    state_->AddZeroByteFile(std::move(path), facts);
}

}  // namespace cs::engine
