#include <windows.h>
// <bcrypt.h> needs the Windows types above.
#include <bcrypt.h>

#include <algorithm>
#include <vector>

#include "platform/digest.h"
#include "platform/win32/handles.h"

namespace cs::platform {

namespace {

bool Succeeded(NTSTATUS status) {
    return status >= 0;
}

using UniqueHash = win32::UniqueOwner<win32::ClosedBy<BCRYPT_HASH_HANDLE, BCryptDestroyHash>>;

struct Provider {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    ULONG objectLength = 0;  // bytes of the state a hash object needs
    ULONG digestLength = 0;
};

Provider OpenProvider(LPCWSTR name) {
    Provider provider;
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!Succeeded(BCryptOpenAlgorithmProvider(&algorithm, name, nullptr, 0)))
        return provider;
    ULONG objectLength = 0;
    ULONG digestLength = 0;
    ULONG written = 0;
    if (!Succeeded(BCryptGetProperty(algorithm, BCRYPT_OBJECT_LENGTH,
                                     reinterpret_cast<PUCHAR>(&objectLength), sizeof objectLength,
                                     &written, 0)) ||
        !Succeeded(BCryptGetProperty(algorithm, BCRYPT_HASH_LENGTH,
                                     reinterpret_cast<PUCHAR>(&digestLength), sizeof digestLength,
                                     &written, 0)) ||
        digestLength == 0 || digestLength > Digest{}.bytes.size()) {
        BCryptCloseAlgorithmProvider(algorithm, 0);
        return provider;
    }
    provider.algorithm = algorithm;
    provider.objectLength = objectLength;
    provider.digestLength = digestLength;
    return provider;
}

struct Providers {
    Provider md5;
    Provider sha256;
};

// Opening a provider is costly and the handles may be shared between
// threads, so each is opened once, on first use; a function-local static
// makes that first use safe when several threads race to it. They are never
// closed: a worker may still be hashing while the process exits, and the
// system releases them with the process.
const Provider& ProviderFor(DigestAlgorithm algorithm) {
    static const Providers providers{OpenProvider(BCRYPT_MD5_ALGORITHM),
                                     OpenProvider(BCRYPT_SHA256_ALGORITHM)};
    return algorithm == DigestAlgorithm::Md5 ? providers.md5 : providers.sha256;
}

}  // namespace

struct Hasher::Impl {
    // Declared before the hash so that it outlives the hash object living
    // in it (members are destroyed in reverse order).
    std::vector<UCHAR> object;
    UniqueHash hash;
    ULONG digestLength = 0;
    bool active = false;
};

Hasher::Hasher() : impl_(std::make_unique<Impl>()) {}

Hasher::~Hasher() = default;

bool Hasher::Begin(DigestAlgorithm algorithm) {
    impl_->active = false;
    impl_->hash.Reset();
    const Provider& provider = ProviderFor(algorithm);
    if (!provider.algorithm)
        return false;
    // The caller supplies the hash object's memory: Windows 7 and Wine
    // accept a null buffer too, but only newer systems document it.
    impl_->object.resize(provider.objectLength);
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (!Succeeded(BCryptCreateHash(provider.algorithm, &hash, impl_->object.data(),
                                    provider.objectLength, nullptr, 0, 0))) {
        return false;
    }
    impl_->hash.Reset(hash);
    impl_->digestLength = provider.digestLength;
    impl_->active = true;
    return true;
}

bool Hasher::Update(const void* data, size_t size) {
    if (!impl_->active)
        return false;
    // BCryptHashData takes a non-const pointer but only reads through it.
    auto* bytes = static_cast<PUCHAR>(const_cast<void*>(data));
    constexpr size_t kMaxChunk = 1u << 30;  // the length is a ULONG
    while (size > 0) {
        const size_t chunk = std::min(size, kMaxChunk);
        if (!Succeeded(BCryptHashData(impl_->hash.Get(), bytes, static_cast<ULONG>(chunk), 0))) {
            impl_->active = false;
            impl_->hash.Reset();
            return false;
        }
        bytes += chunk;
        size -= chunk;
    }
    return true;
}

bool Hasher::Finish(Digest& out) {
    if (!impl_->active)
        return false;
    impl_->active = false;
    Digest digest;
    const bool finished =
        Succeeded(BCryptFinishHash(impl_->hash.Get(), digest.bytes.data(), impl_->digestLength, 0));
    impl_->hash.Reset();
    if (!finished)
        return false;
    digest.length = static_cast<uint8_t>(impl_->digestLength);
    out = digest;
    return true;
}

}  // namespace cs::platform
