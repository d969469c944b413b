#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace qlk {

// The update server's version file, signed with the release key so that
// nobody on the way can offer an old or altered program as a new one:
//
//   8.33                      the version, the first line as it always was
//   size 1234567              the program's length in bytes
//   sha256 <64 hex digits>    the program's SHA-256
//   signature <base64>        Ed25519 signature of every byte above this line
//
// Lines end with LF or CR LF; further lines above the signature are signed
// with the rest and otherwise ignored (tools/sign-update.sh writes it).
class UpdateManifest {
public:
    // Largest program a manifest may announce.
    static constexpr long long MaxProgramSize = 512LL * 1024 * 1024;
    // Longest version text.
    static constexpr std::size_t MaxVersionLength = 64;

    // The manifest `text` holds, when it is one and its signature verifies
    // against `publicKey`; nullopt otherwise.
    static std::optional<UpdateManifest> Verify(const std::string& publicKey, std::string_view text);

    const std::string& Version() const { return version_; }
    long long Size() const { return size_; }
    // True when `program` is exactly the file the manifest describes.
    bool Matches(const std::filesystem::path& program) const;

private:
    // The fields of the signed part; false when one is missing, repeated or
    // malformed.
    bool Parse(std::string_view signedText);

    std::string version_;
    long long size_ = -1;
    std::string sha256_;
};

}  // namespace qlk
