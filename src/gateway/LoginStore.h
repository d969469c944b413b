#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "gateway/OAuthProvider.h"

namespace qlk {

// One POP3 account's log-in: the account is its POP server and user ID, so
// alias rows that share a mailbox share its tokens.
struct AccountLogin {
    std::string Server;
    std::string UserId;
    LoginKind Kind = LoginKind::Password;
    // For LoginKind::Command: the program and its arguments, run without a shell.
    std::string Command;
    std::string RefreshToken;
    std::string AccessToken;
    // When AccessToken stops working, in seconds since 1970; 0 when unknown.
    std::int64_t ExpiresAt = 0;

    bool operator==(const AccountLogin&) const = default;
};

// The accounts' log-in choices and tokens, and the office's OAuth provider
// settings, in QLKLOGIN.JSON in the working folder: readable by the owner
// only, written whole or not at all, and read back with suspicion (bounded
// size, every value checked). An account without an entry logs in with its
// password, as users.DB says.
class LoginStore {
public:
    static constexpr const char* FileName = "QLKLOGIN.JSON";
    static constexpr std::size_t MaxFileBytes = 1 << 20;
    static constexpr std::size_t MaxTokenLength = 16 * 1024;
    static constexpr std::size_t MaxSettingLength = 2048;

    explicit LoginStore(std::filesystem::path workFolder);

    // Reads the file; a missing file is an empty store. Raises qlk::Exception
    // naming the file when it is damaged or forged: nothing of it is used.
    void Load();
    void Save() const;

    // The account's entry, or a password entry when it has none.
    AccountLogin Find(const std::string& server, const std::string& userId) const;
    void Store(const AccountLogin& login);

    // The provider's preset with the office's settings laid over it.
    OAuthProvider Provider(LoginKind kind) const;
    void SetProvider(LoginKind kind, const OAuthProvider& provider);

    const std::filesystem::path& File() const { return file_; }

    // Whether TEXT can be a token: printable ASCII without blanks, bounded.
    static bool ValidToken(const std::string& text);

private:
    static std::string Key(const std::string& server, const std::string& userId);

    std::filesystem::path file_;
    std::map<std::string, AccountLogin> accounts_;
    std::map<LoginKind, OAuthProvider> providers_;
};

}  // namespace qlk
