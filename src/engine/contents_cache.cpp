#include "engine/contents_cache.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <algorithm>
#include <cstdint>

namespace cs::engine {

FullDigester::FullDigester() : state_(XXH3_createState()) {
    Reset();
}

FullDigester::~FullDigester() {
    XXH3_freeState(static_cast<XXH3_state_t*>(state_));
}

void FullDigester::Reset() {
    XXH3_128bits_reset(static_cast<XXH3_state_t*>(state_));
}

void FullDigester::Update(const uint8_t* data, size_t size) {
    XXH3_128bits_update(static_cast<XXH3_state_t*>(state_), data, size);
}

FullDigest FullDigester::Finish() const {
    const XXH128_hash_t h = XXH3_128bits_digest(static_cast<const XXH3_state_t*>(state_));
    return {h.low64, h.high64};
}

FullDigest FullDigester::Of(const uint8_t* data, size_t size) {
    const XXH128_hash_t h = XXH3_128bits(data, size);
    return {h.low64, h.high64};
}

namespace {

bool Before(const FileKey& a, const FileKey& b) {
    return a.device != b.device ? a.device < b.device : a.inode < b.inode;
}
bool SameFile(const FileKey& a, const FileKey& b) {
    return a.device == b.device && a.inode == b.inode;
}

}  // namespace

void ContentsCache::Seal() {
    auto before = [](const CachedContents& a, const CachedContents& b) {
        return Before(a.key, b.key);
    };
    // The store's packed entries and then its rows, each run in key order:
    // merged in one pass. Anything else is sorted; both keep the order of
    // additions among entries for one file.
    const auto descent = std::is_sorted_until(entries_.begin(), entries_.end(), before);
    if (descent != entries_.end()) {
        if (std::is_sorted(descent, entries_.end(), before))
            std::inplace_merge(entries_.begin(), descent, entries_.end(), before);
        else
            std::stable_sort(entries_.begin(), entries_.end(), before);
    }
    size_t kept = 0;
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (i + 1 < entries_.size() && SameFile(entries_[i].key, entries_[i + 1].key))
            continue;  // superseded
        if (kept != i)
            entries_[kept] = entries_[i];
        ++kept;
    }
    entries_.resize(kept);
    finger_ = 0;
}

void ContentsCache::Clear() {
    entries_.clear();
    finger_ = 0;
}

const CachedContents* ContentsCache::Find(const FileKey& key) {
    const size_t n = entries_.size();
    if (n == 0)
        return nullptr;
    // Gallops from the last place to bracket the key, then halves: a
    // neighbour costs a few steps, a far one no more than twice a plain
    // binary search.
    size_t lo, hi;  // the first entry not before the key lies in (lo, hi]
    size_t at = finger_ < n ? finger_ : n - 1;
    if (Before(entries_[at].key, key)) {
        lo = at;
        size_t step = 1;
        for (;;) {
            if (n - 1 - lo <= step) {
                hi = n;
                break;
            }
            if (!Before(entries_[lo + step].key, key)) {
                hi = lo + step;
                break;
            }
            lo += step;
            step *= 2;
        }
    } else {
        hi = at;
        size_t step = 1;
        for (;;) {
            if (hi < step) {
                lo = SIZE_MAX;  // before the first entry
                break;
            }
            if (Before(entries_[hi - step].key, key)) {
                lo = hi - step;
                break;
            }
            hi -= step;
            step *= 2;
        }
    }
    // lo + 1 wraps to 0 for "before the first"
    const auto found = std::lower_bound(
        entries_.begin() + static_cast<ptrdiff_t>(lo + 1),
        entries_.begin() + static_cast<ptrdiff_t>(hi), key,
        [](const CachedContents& entry, const FileKey& k) { return Before(entry.key, k); });
    finger_ = static_cast<size_t>(found - entries_.begin());
    return found != entries_.end() && found->key == key ? &*found : nullptr;
}

}  // namespace cs::engine
