#include "engine/grouping.h"

#include <cstring>
#include <deque>
#include <thread>
#include <unordered_map>
#include <vector>

#include "engine/digest_pool.h"
#include "engine/digests.h"
#include "engine/names.h"
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
        if (ref.length == 0) return {};
        return {chunks_[ref.chunk].get() + ref.offset, ref.length};
    }

private:
    static constexpr size_t kChunk = 1 << 16;
    std::vector<std::unique_ptr<char16_t[]>> chunks_;
    size_t used_ = 0;
};

uint64_t Mix(uint64_t h) {
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ull;
    h ^= h >> 33;
    return h;
}

uint64_t HashText(std::u16string_view text) {
    uint64_t h = 0x9E3779B97F4A7C15ull ^ text.size();
    for (char16_t c : text) h = (h ^ c) * 0x100000001B3ull;
    return Mix(h);
}

// Not cryptographic: a collision only costs a full digest, never a wrong
// match, because the digests decide.
uint64_t HashBytes(const uint8_t* data, size_t size, uint64_t seed) {
    uint64_t h = Mix(seed ^ size);
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t w;
        std::memcpy(&w, data + i, 8);
        h = (h ^ Mix(w)) * 0x9E3779B97F4A7C15ull;
    }
    uint64_t tail = 0;
    std::memcpy(&tail, data + i, size - i);
    return Mix(h ^ tail ^ (size << 56));
}

uint64_t DigestHash(const ContentDigests& d) {
    uint64_t a, b;
    std::memcpy(&a, d.head.bytes.data(), 8);
    std::memcpy(&b, d.tail.bytes.data(), 8);
    return a ^ Mix(b);
}

constexpr size_t kSignatureSpan = 4096;
// Files up to this size are read whole on first contact and digested from
// memory: a second open would cost more than the hashing.
constexpr uint64_t kWholeReadLimit = 64 * 1024;
constexpr uint64_t kLargeClass = ~0ull;

struct FileRecord {
    TextArena::Ref path;
    TextArena::Ref nameKey;
    uint64_t sequence = 0;
    uint64_t size = 0;
};

struct Candidate {
    FileRecord file;
    bool hasDigests = false;
    ContentDigests digests;
    std::shared_ptr<DigestJob> job;  // set while its digests are being computed
};

struct ContentSlot {
    FileRecord founder;
    ContentDigests digests;
    int32_t group = -1;
};

struct SignatureBucket {
    bool opened = false;
    Candidate first;
    std::unordered_map<uint64_t, std::vector<uint32_t>> slotsByDigest;
};

struct OpenedBucket {
    std::unordered_map<uint64_t, SignatureBucket> bySignature;
};

// What needs no reading: size class and folded name key.
struct KeyBucket {
    uint64_t sizeClass = 0;
    TextArena::Ref foldedKey;
    uint64_t hash = 0;
    FileRecord first;
    int32_t group = -1;   // without content criteria: the visible group
    int32_t opened = -1;  // with content criteria: index of its OpenedBucket
};

struct FolderSlot {
    std::u16string founderPath;
    std::u16string key;
    uint64_t sequence = 0;
    int32_t group = -1;
};

enum class ReadOutcome { Ok, Failed, Cancelled };

struct SignatureBucket;

// A placement decided by the walk but waiting for digests: applied strictly
// in the order it was decided.
struct PendingPlacement {
    SignatureBucket* bucket;
    Candidate candidate;
};

// Enough work queued for both cores without letting the walk run far ahead
// (each waiting placement holds a path).
constexpr size_t kMaxPendingPlacements = 64;

unsigned DigestThreads() {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : (n > 4 ? 4 : n);
}

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

    TextArena arena;
    std::vector<KeyBucket> buckets;
    std::vector<uint32_t> table;  // open addressing: 0 empty, else bucket index + 1
    std::vector<OpenedBucket> opened;
    std::vector<ContentSlot> slots;
    std::unordered_map<std::u16string, FolderSlot> folders;
    uint64_t nextSequence = 0;
    uint64_t nextFolderSequence = 0;

    std::vector<uint8_t> readBuffer;
    std::atomic<uint64_t> ignoredBytes{0};
    std::unique_ptr<DigestPool> pool;
    std::deque<PendingPlacement> pending;
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
          byName(o.criteria & kNameCriteria) {
        table.assign(1024, 0);
        if (byContent) {
            pool = std::make_unique<DigestPool>(DigestThreads(), criteria, cancel,
                                                progress ? progress->bytesHashed : ignoredBytes);
        }
    }

    ReadContext Context() {
        return ReadContext{&cancel, progress ? &progress->bytesHashed : &ignoredBytes,
                           &readBuffer};
    }

    uint64_t SizeClass(uint64_t size) const {
        if (criteria & CRIT_SAME_SIZE) return size;
        if (criteria & CRIT_EXACT_CONTENTS) return size;
        if (criteria & CRIT_SIMILAR_CONTENTS) return size < kHeadLength ? size : kLargeClass;
        return 0;
    }

    // Finds the bucket for the key, or the empty table position for it.
    uint32_t* Lookup(uint64_t sizeClass, std::u16string_view folded, uint64_t hash) {
        const size_t mask = table.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            uint32_t& slot = table[i];
            if (slot == 0) return &slot;
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
            if (slot == 0) continue;
            size_t i = buckets[slot - 1].hash & mask;
            while (bigger[i] != 0) i = (i + 1) & mask;
            bigger[i] = slot;
        }
        table.swap(bigger);
    }

    std::u16string Path(const FileRecord& f) const { return std::u16string(arena.Get(f.path)); }

    void AfterJoin() {
        if (++results.refreshCounter >= results.refreshThreshold) {
            if (hooks.rebuild) hooks.rebuild(results);
            results.refreshThreshold += kRefreshThresholdStep;
            results.refreshCounter = 0;
        }
    }

    // The second member makes a group visible; the founder's walk position
    // keeps it in creation order.
    int32_t Materialise(const FileRecord& founder, const ContentDigests* digests) {
        MatchGroup g;
        g.paths = Path(founder);
        g.count = 1;
        g.size = founder.size;
        g.nameKey = std::u16string(arena.Get(founder.nameKey));
        if (digests) {
            g.headDigest = digests->head;
            g.tailDigest = digests->tail;
        }
        g.founderSequence = founder.sequence;
        results.matchGroups.push_back(std::move(g));
        if (progress) progress->groupsShown.fetch_add(1, std::memory_order_relaxed);
        return static_cast<int32_t>(results.matchGroups.size() - 1);
    }

    void Join(int32_t group, const std::u16string& path) {
        MatchGroup& g = results.matchGroups[static_cast<size_t>(group)];
        g.paths += u'\n';
        g.paths += path;
        ++g.count;
        AfterJoin();
    }

    ReadOutcome Signature(Candidate& c, uint64_t& signature) {
        platform::FileReader file;
        if (file.Open(std::u16string(arena.Get(c.file.path))) != platform::Status::Ok) {
            return ReadOutcome::Failed;
        }
        if (readBuffer.size() < kReadChunk) readBuffer.resize(kReadChunk);
        uint8_t* buf = readBuffer.data();
        std::atomic<uint64_t>& counter = progress ? progress->bytesHashed : ignoredBytes;
        if (c.file.size <= kWholeReadLimit) {
            // Read to the real end, not the listed size: the digests must be
            // of what the file holds now, as a full read would see.
            const int64_t got = file.Read(buf, kWholeReadLimit + 1);
            if (got < 0) return ReadOutcome::Failed;
            const auto n = static_cast<size_t>(got);
            counter.fetch_add(n, std::memory_order_relaxed);
            if (n > kWholeReadLimit) {
                c.hasDigests = false;  // grew past the limit: digest it the long way later
            } else {
                if (!ContentDigestsOfBytes(buf, n, criteria, c.digests)) return ReadOutcome::Failed;
                c.hasDigests = true;
            }
            const size_t headSpan = n < kSignatureSpan ? n : kSignatureSpan;
            const size_t tailSpan = headSpan;
            signature = HashBytes(buf, headSpan, 1) ^ Mix(HashBytes(buf + n - tailSpan, tailSpan, 2));
            return ReadOutcome::Ok;
        }
        const int64_t head = file.Read(buf, kSignatureSpan);
        if (head != static_cast<int64_t>(kSignatureSpan)) return ReadOutcome::Failed;
        if (!file.SeekFromEnd(kSignatureSpan)) return ReadOutcome::Failed;
        const int64_t tail = file.Read(buf + kSignatureSpan, kSignatureSpan);
        if (tail != static_cast<int64_t>(kSignatureSpan)) return ReadOutcome::Failed;
        counter.fetch_add(2 * kSignatureSpan, std::memory_order_relaxed);
        signature = HashBytes(buf, kSignatureSpan, 1) ^
                    Mix(HashBytes(buf + kSignatureSpan, kSignatureSpan, 2));
        return ReadOutcome::Ok;
    }

    // Starts the digests of a candidate that has none yet.
    void RequestDigests(Candidate& c) {
        if (!c.hasDigests && !c.job) c.job = pool->Submit(std::u16string(arena.Get(c.file.path)));
    }

    // Applies the waiting placements in order; with `block` false it stops
    // at the first one whose digests are not ready, unless too many wait.
    // False when a digest was cancelled.
    bool Drain(bool block) {
        while (!pending.empty()) {
            PendingPlacement& head = pending.front();
            Candidate& c = head.candidate;
            if (c.job) {
                if (!pool->IsDone(*c.job)) {
                    if (!block && pending.size() < kMaxPendingPlacements) return true;
                    pool->Wait(*c.job);
                }
                if (c.job->result == HashResult::Cancelled) {
                    cancelled = true;
                    return false;
                }
                if (c.job->result == HashResult::Ok) {
                    c.digests = c.job->digests;
                    c.hasDigests = true;
                }
                c.job.reset();
            }
            // Unreadable: never grouped, and nobody can join it.
            if (c.hasDigests) Place(*head.bucket, c);
            pending.pop_front();
        }
        return true;
    }

    // Places a digested candidate: joins the slot with equal digests, or
    // founds a new (so far invisible) one.
    void Place(SignatureBucket& sb, const Candidate& c) {
        const uint64_t h = DigestHash(c.digests);
        std::vector<uint32_t>& list = sb.slotsByDigest[h];
        for (uint32_t index : list) {
            ContentSlot& slot = slots[index];
            if (slot.digests.head == c.digests.head && slot.digests.tail == c.digests.tail) {
                if (slot.group < 0) slot.group = Materialise(slot.founder, &slot.digests);
                Join(slot.group, Path(c.file));
                return;
            }
        }
        slots.push_back(ContentSlot{c.file, c.digests, -1});
        list.push_back(static_cast<uint32_t>(slots.size() - 1));
    }

    // Moves a candidate into the signature layer of an opened bucket.
    ReadOutcome Admit(OpenedBucket& ob, Candidate c) {
        uint64_t signature = 0;
        const ReadOutcome r = Signature(c, signature);
        if (r != ReadOutcome::Ok) return r;  // unreadable: never grouped
        auto [it, isNew] = ob.bySignature.try_emplace(signature);
        SignatureBucket& sb = it->second;
        if (isNew) {
            sb.first = std::move(c);
            return ReadOutcome::Ok;
        }
        if (!sb.opened) {
            sb.opened = true;
            RequestDigests(sb.first);
            pending.push_back(PendingPlacement{&sb, std::move(sb.first)});
            sb.first = Candidate{};
        }
        RequestDigests(c);
        pending.push_back(PendingPlacement{&sb, std::move(c)});
        return ReadOutcome::Ok;
    }

    bool AddFile(const std::u16string& path, std::u16string_view name, uint64_t size) {
        FileRecord file;
        file.sequence = nextSequence++;
        file.size = size;
        std::u16string folded;
        if (byName) {
            const std::u16string key = FileNameKey(criteria, name, patterns);
            folded = FoldAsciiCopy(key);
            file.nameKey = arena.Add(key);
        }
        const uint64_t sizeClass = SizeClass(size);
        const uint64_t hash = Mix(sizeClass * 0x9E3779B97F4A7C15ull) ^ HashText(folded);

        uint32_t* slot = Lookup(sizeClass, folded, hash);
        if (*slot == 0) {
            file.path = arena.Add(path);
            KeyBucket b;
            b.sizeClass = sizeClass;
            b.foldedKey = arena.Add(folded);
            b.hash = hash;
            b.first = file;
            buckets.push_back(b);
            *slot = static_cast<uint32_t>(buckets.size());
            if (buckets.size() * 2 > table.size()) GrowTable();
            return true;
        }
        const uint32_t index = *slot - 1;

        if (!byContent) {
            if (buckets[index].group < 0) buckets[index].group = Materialise(buckets[index].first, nullptr);
            Join(buckets[index].group, path);
            return true;
        }

        file.path = arena.Add(path);
        if (buckets[index].opened < 0) {
            opened.emplace_back();
            buckets[index].opened = static_cast<int32_t>(opened.size() - 1);
            Candidate founder;
            founder.file = buckets[index].first;
            if (Admit(opened.back(), founder) == ReadOutcome::Cancelled) return false;
        }
        Candidate c;
        c.file = file;
        if (Admit(opened[static_cast<size_t>(buckets[index].opened)], c) ==
            ReadOutcome::Cancelled) {
            return false;
        }
        return Drain(false);
    }

    void AddFolder(const std::u16string& path, std::u16string_view name) {
        std::u16string key = patterns.NormaliseFolderName(name);
        std::u16string folded = FoldAsciiCopy(key);
        auto [it, isNew] = folders.try_emplace(std::move(folded));
        FolderSlot& slot = it->second;
        if (isNew) {
            slot.founderPath = path;
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
            results.folderGroups.push_back(std::move(g));
            slot.group = static_cast<int32_t>(results.folderGroups.size() - 1);
        }
        FolderGroup& g = results.folderGroups[static_cast<size_t>(slot.group)];
        g.paths += u'\n';
        g.paths += path;
        ++g.count;
        ++results.refreshCounter;  // folders never trigger the rebuild themselves
    }
};

Grouper::Grouper(const ScanOptions& options, const NamePatterns& patterns, ScanResults& results,
                 const std::atomic<uint8_t>& cancel, ScanProgress* progress,
                 const ScanHooks& hooks)
    : state_(std::make_unique<State>(options, patterns, results, cancel, progress, hooks)) {}

Grouper::~Grouper() = default;

bool Grouper::Finish(bool walkCompleted) {
    State& s = *state_;
    if (!s.byContent || s.cancelled) return !s.cancelled;
    if (walkCompleted) return s.Drain(true);
    return false;
}

bool Grouper::AddFile(const std::u16string& path, std::u16string_view name, uint64_t size) {
    return state_->AddFile(path, name, size);
}

void Grouper::AddFolder(const std::u16string& path, std::u16string_view name) {
    state_->AddFolder(path, name);
}

}  // namespace cs::engine
