#include "engine/contents_cache.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

#include "engine/fast_hash.h"

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

size_t Slot(uint64_t device, uint64_t inode) {
    return Mix(inode ^ Mix(device + 0x9E3779B97F4A7C15ull));
}

}  // namespace

void ContentsCache::Reserve(size_t count) {
    entries_.reserve(count);
    size_t size = 1024;
    while (size < count * 2)
        size *= 2;
    if (size > table_.size()) {
        table_.assign(size, 0);
        for (size_t i = 0; i < entries_.size(); ++i) {
            size_t j = Slot(entries_[i].key.device, entries_[i].key.inode) & (size - 1);
            while (table_[j] != 0)
                j = (j + 1) & (size - 1);
            table_[j] = static_cast<uint32_t>(i + 1);
        }
    }
}

void ContentsCache::Clear() {
    entries_.clear();
    table_.clear();
}

void ContentsCache::Grow() {
    Reserve(entries_.size() * 2 + 1);
}

void ContentsCache::Add(const CachedContents& entry) {
    if ((entries_.size() + 1) * 2 > table_.size())
        Grow();
    const size_t mask = table_.size() - 1;
    for (size_t i = Slot(entry.key.device, entry.key.inode) & mask;; i = (i + 1) & mask) {
        if (table_[i] == 0) {
            entries_.push_back(entry);
            table_[i] = static_cast<uint32_t>(entries_.size());
            return;
        }
        CachedContents& held = entries_[table_[i] - 1];
        if (held.key.device == entry.key.device && held.key.inode == entry.key.inode) {
            held = entry;
            return;
        }
    }
}

const CachedContents* ContentsCache::Find(const FileKey& key) const {
    if (table_.empty())
        return nullptr;
    const size_t mask = table_.size() - 1;
    for (size_t i = Slot(key.device, key.inode) & mask;; i = (i + 1) & mask) {
        if (table_[i] == 0)
            return nullptr;
        const CachedContents& held = entries_[table_[i] - 1];
        if (held.key.device == key.device && held.key.inode == key.inode)
            return held.key == key ? &held : nullptr;
    }
}

}  // namespace cs::engine
