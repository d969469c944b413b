#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qlk {

// An Ed25519 signature (64 bytes) made with the maintainers' release key
// (tools/sign-update.sh).
class UpdateSignature {
public:
    static constexpr std::size_t SignatureSize = 64;

    // True only when `publicKey` (base64 of a DER Ed25519 public key) is
    // given and `signature` is its valid signature of `message`. Anything
    // missing or malformed means false, never an exception.
    static bool Verify(const std::string& publicKey, std::string_view message,
                       std::string_view signature) noexcept;
};

}  // namespace qlk
