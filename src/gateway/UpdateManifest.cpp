#include "gateway/UpdateManifest.h"

#include <openssl/evp.h>

#include <algorithm>
#include <charconv>
#include <fstream>
#include <memory>
#include <vector>

#include "gateway/UpdateSignature.h"
#include "message/Base64.h"

namespace qlk {

namespace {

constexpr std::string_view kSignatureKey = "signature ";

// The line at `position` without its line end; `position` moves past it.
std::string_view NextLine(std::string_view text, std::size_t& position) {
    std::size_t end = text.find('\n', position);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(position, end - position);
    position = std::min(end + 1, text.size());
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

bool Printable(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7f; });
}

std::string LowerHex(std::string_view text) {
    std::string hex;
    for (char c : text) {
        if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return {};
        hex += c;
    }
    return hex;
}

struct ContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

// The SHA-256 of a file in lower-case hex; empty when it cannot be read.
std::string FileSha256(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::unique_ptr<EVP_MD_CTX, ContextFree> context(EVP_MD_CTX_new());
    if (!in || !context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) return {};
    std::vector<char> buffer(64 * 1024);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        if (in.bad() ||
            EVP_DigestUpdate(context.get(), buffer.data(), static_cast<std::size_t>(in.gcount())) != 1)
            return {};
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1) return {};
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kDigits[digest[i] >> 4];
        hex += kDigits[digest[i] & 15];
    }
    return hex;
}

}  // namespace

std::optional<UpdateManifest> UpdateManifest::Verify(const std::string& publicKey, std::string_view text) {
    // The signature line is the last one; everything before it is signed.
    std::size_t start = text.find(std::string("\n") + std::string(kSignatureKey));
    if (start == std::string_view::npos) return std::nullopt;
    ++start;
    std::size_t position = start;
    std::string_view line = NextLine(text, position);
    if (text.find_first_not_of("\r\n", position) != std::string_view::npos) return std::nullopt;
    std::string signature;
    try {
        Base64DecodeLineAppend(line.substr(kSignatureKey.size()), signature);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    std::string_view signedText = text.substr(0, start);
    UpdateManifest manifest;
    if (!UpdateSignature::Verify(publicKey, signedText, signature) || !manifest.Parse(signedText))
        return std::nullopt;
    return manifest;
}

bool UpdateManifest::Parse(std::string_view signedText) {
    std::size_t position = 0;
    std::string_view version = NextLine(signedText, position);
    if (version.empty() || version.size() > MaxVersionLength || !Printable(version)) return false;
    version_ = std::string(version);
    while (position < signedText.size()) {
        std::string_view line = NextLine(signedText, position);
        std::string_view key = line.substr(0, line.find(' '));
        std::string_view value = key.size() < line.size() ? line.substr(key.size() + 1) : std::string_view();
        if (key == "size") {
            long long size = 0;
            auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), size);
            if (size_ >= 0 || ec != std::errc() || end != value.data() + value.size() || size < 0 ||
                size > MaxProgramSize)
                return false;
            size_ = size;
        } else if (key == "sha256") {
            if (!sha256_.empty() || value.size() != 64) return false;
            sha256_ = LowerHex(value);
            if (sha256_.empty()) return false;
        }
    }
    return size_ >= 0 && !sha256_.empty();
}

bool UpdateManifest::Matches(const std::filesystem::path& program) const {
    std::error_code error;
    auto size = std::filesystem::file_size(program, error);
    return !error && size == static_cast<std::uintmax_t>(size_) && FileSha256(program) == sha256_;
}

}  // namespace qlk
