#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace qlk {

// The detached Ed25519 signature of an update program: 64 bytes, made over
// the whole file (tools/sign-update.sh).
class UpdateSignature {
public:
    static constexpr std::size_t SignatureSize = 64;
    // Longest program file that is checked; a larger one is refused.
    static constexpr std::uintmax_t MaxProgramSize = 512ull * 1024 * 1024;

    // True only when `publicKey` (base64 of a DER Ed25519 public key) is
    // given and `signatureFile` holds its valid signature of `file`. Any
    // missing or unreadable part means false, never an exception.
    static bool Verify(const std::string& publicKey, const std::filesystem::path& file,
                       const std::filesystem::path& signatureFile) noexcept;
};

}  // namespace qlk
