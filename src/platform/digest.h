// MD5 and SHA-256. Linux: OpenSSL's EVP interface. Windows: CNG (bcrypt),
// whose algorithm providers are opened once per process and shared (CNG
// algorithm handles are safe to use from several threads). A Hasher is
// used by one thread at a time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

namespace cs::platform {

enum class DigestAlgorithm { Md5, Sha256 };

// A finished digest: up to 32 bytes, with its length (16 for MD5, 32 for
// SHA-256). A strong type so a digest is never confused with other bytes.
struct Digest {
    std::array<uint8_t, 32> bytes{};
    uint8_t length = 0;

    bool operator==(const Digest& other) const {
        return length == other.length && std::memcmp(bytes.data(), other.bytes.data(), length) == 0;
    }
    bool operator!=(const Digest& other) const { return !(*this == other); }
};

class Hasher {
public:
    Hasher();
    ~Hasher();
    Hasher(const Hasher&) = delete;
    Hasher& operator=(const Hasher&) = delete;

    // Starts a new digest, discarding any unfinished one.
    bool Begin(DigestAlgorithm algorithm);
    bool Update(const void* data, size_t size);
    // Finishes the digest begun last; Begin must be called again after it.
    bool Finish(Digest& out);

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace cs::platform
