#include <openssl/evp.h>

#include "platform/digest.h"

namespace cs::platform {

struct Hasher::Impl {
    EVP_MD_CTX* ctx = nullptr;
    bool active = false;
};

Hasher::Hasher() : impl_(std::make_unique<Impl>()) {
    impl_->ctx = EVP_MD_CTX_new();
}

Hasher::~Hasher() {
    if (impl_->ctx)
        EVP_MD_CTX_free(impl_->ctx);
}

bool Hasher::Begin(DigestAlgorithm algorithm) {
    impl_->active = false;
    if (!impl_->ctx)
        return false;
    const EVP_MD* md = algorithm == DigestAlgorithm::Md5 ? EVP_md5() : EVP_sha256();
    impl_->active = EVP_DigestInit_ex(impl_->ctx, md, nullptr) == 1;
    return impl_->active;
}

bool Hasher::Update(const void* data, size_t size) {
    if (!impl_->active)
        return false;
    if (size == 0)
        return true;
    if (EVP_DigestUpdate(impl_->ctx, data, size) != 1) {
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
    if (EVP_DigestFinal_ex(impl_->ctx, d.bytes.data(), &length) != 1 || length > d.bytes.size()) {
        return false;
    }
    d.length = static_cast<uint8_t>(length);
    out = d;
    return true;
}

}  // namespace cs::platform
