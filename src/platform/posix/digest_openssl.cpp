#include <openssl/evp.h>

#include "platform/digest.h"
#include "platform/posix/on_demand.h"

namespace cs::platform {

namespace {

// libcrypto's digest calls, loaded on first use (see on_demand.h); the
// header gives the types only.
struct Crypto {
    decltype(&EVP_MD_CTX_new) ctxNew = nullptr;
    decltype(&EVP_MD_CTX_free) ctxFree = nullptr;
    decltype(&EVP_md5) md5 = nullptr;
    decltype(&EVP_sha256) sha256 = nullptr;
    decltype(&EVP_DigestInit_ex) init = nullptr;
    decltype(&EVP_DigestUpdate) update = nullptr;
    decltype(&EVP_DigestFinal_ex) finish = nullptr;
    bool loaded = false;
};

const Crypto& Library() {
    static const Crypto crypto = [] {
        Crypto c;
        void* library = posix::LoadLibrary({"libcrypto.so.3", "libcrypto.so"});
        c.loaded = posix::Resolve(library, "EVP_MD_CTX_new", c.ctxNew) &&
                   posix::Resolve(library, "EVP_MD_CTX_free", c.ctxFree) &&
                   posix::Resolve(library, "EVP_md5", c.md5) &&
                   posix::Resolve(library, "EVP_sha256", c.sha256) &&
                   posix::Resolve(library, "EVP_DigestInit_ex", c.init) &&
                   posix::Resolve(library, "EVP_DigestUpdate", c.update) &&
                   posix::Resolve(library, "EVP_DigestFinal_ex", c.finish);
        return c;
    }();
    return crypto;
}

}  // namespace

struct Hasher::Impl {
    EVP_MD_CTX* ctx = nullptr;
    bool active = false;
};

Hasher::Hasher() : impl_(std::make_unique<Impl>()) {
    // Without the library every digest fails, as a provider failure would.
    if (Library().loaded)
        impl_->ctx = Library().ctxNew();
}

Hasher::~Hasher() {
    if (impl_->ctx)
        Library().ctxFree(impl_->ctx);
}

bool Hasher::Begin(DigestAlgorithm algorithm) {
    impl_->active = false;
    if (!impl_->ctx)
        return false;
    const EVP_MD* md = algorithm == DigestAlgorithm::Md5 ? Library().md5() : Library().sha256();
    impl_->active = Library().init(impl_->ctx, md, nullptr) == 1;
    return impl_->active;
}

bool Hasher::Update(const void* data, size_t size) {
    if (!impl_->active)
        return false;
    if (size == 0)
        return true;
    if (Library().update(impl_->ctx, data, size) != 1) {
        impl_->active = false;
        return false;
    }
    return true;
}

bool Hasher::Finish(Digest& out) {
    if (!impl_->active)
        return false;
    impl_->active = false;
    unsigned int length = 0;
    Digest d;
    if (Library().finish(impl_->ctx, d.bytes.data(), &length) != 1 ||
        length > d.bytes.size()) {
        return false;
    }
    d.length = static_cast<uint8_t>(length);
    out = d;
    return true;
}

}  // namespace cs::platform
