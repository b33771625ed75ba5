// Non-cryptographic 64-bit hashing for the scan's indexes and signatures.
// A collision only ever costs extra work (the digests or the bytes decide),
// never a wrong match. Pure; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace cs::engine {

inline uint64_t Mix(uint64_t h) {
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ull;
    h ^= h >> 33;
    return h;
}

inline uint64_t HashBytes(const uint8_t* data, size_t size, uint64_t seed) {
    uint64_t h = Mix(seed ^ size);
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t w;
        std::memcpy(&w, data + i, 8);
        h = (h ^ Mix(w)) * 0x9E3779B97F4A7C15ull;
    }
    uint64_t tail = 0;
    std::memcpy(&tail, data + i, size - i);
    return Mix(h ^ tail ^ (static_cast<uint64_t>(size) << 48));
}

inline uint64_t HashText(std::u16string_view text) {
    uint64_t h = 0x9E3779B97F4A7C15ull ^ text.size();
    for (char16_t c : text)
        h = (h ^ c) * 0x100000001B3ull;
    return Mix(h);
}

}  // namespace cs::engine
