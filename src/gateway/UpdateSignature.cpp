#include "gateway/UpdateSignature.h"

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>

#include "message/Base64.h"

namespace qlk {

namespace {

struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct ContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

std::unique_ptr<EVP_PKEY, KeyFree> Ed25519Key(const std::string& base64) {
    std::string der = Base64DecodeString(base64);
    const auto* bytes = reinterpret_cast<const unsigned char*>(der.data());
    std::unique_ptr<EVP_PKEY, KeyFree> key(d2i_PUBKEY(nullptr, &bytes, static_cast<long>(der.size())));
    if (!key || EVP_PKEY_id(key.get()) != EVP_PKEY_ED25519) return nullptr;
    return key;
}

}  // namespace

bool UpdateSignature::Verify(const std::string& publicKey, std::string_view message,
                             std::string_view signature) noexcept {
    try {
        if (publicKey.empty() || signature.size() != SignatureSize) return false;
        auto key = Ed25519Key(publicKey);
        if (!key) return false;
        std::unique_ptr<EVP_MD_CTX, ContextFree> context(EVP_MD_CTX_new());
        if (!context || EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1)
            return false;
        return EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.data()),
                                signature.size(), reinterpret_cast<const unsigned char*>(message.data()),
                                message.size()) == 1;
    } catch (...) {
        return false;
    }
}

}  // namespace qlk
