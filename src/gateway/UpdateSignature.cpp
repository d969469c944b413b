#include "gateway/UpdateSignature.h"

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <fstream>
#include <memory>
#include <optional>

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

// The whole file when it exists and is at most `limit` bytes.
std::optional<std::string> ReadBounded(const std::filesystem::path& file, std::uintmax_t limit) {
    std::error_code error;
    auto size = std::filesystem::file_size(file, error);
    if (error || size > limit) return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!in || in.gcount() != static_cast<std::streamsize>(size)) return std::nullopt;
    return bytes;
}

}  // namespace

bool UpdateSignature::Verify(const std::string& publicKey, const std::filesystem::path& file,
                             const std::filesystem::path& signatureFile) noexcept {
    try {
        if (publicKey.empty()) return false;
        auto key = Ed25519Key(publicKey);
        auto signature = ReadBounded(signatureFile, SignatureSize);
        auto program = ReadBounded(file, MaxProgramSize);
        if (!key || !signature || signature->size() != SignatureSize || !program) return false;
        std::unique_ptr<EVP_MD_CTX, ContextFree> context(EVP_MD_CTX_new());
        if (!context || EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1)
            return false;
        return EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature->data()),
                                signature->size(), reinterpret_cast<const unsigned char*>(program->data()),
                                program->size()) == 1;
    } catch (...) {
        return false;
    }
}

}  // namespace qlk
