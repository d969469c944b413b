#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "gateway/LoginStore.h"
#include "net/HttpsClient.h"

namespace qlk {

class StatusLog;
class TransferCycle;

// The access token an account logs in with: none for a password account,
// the token command's for a command account, and for an OAuth account the
// saved one, renewed with the refresh token when it has less than
// RefreshMargin left. A refresh the provider refuses drops the saved sign-in
// (only a new one helps) and raises ESignInRefused.
class AccountTokens {
public:
    static constexpr std::int64_t RefreshMargin = 5 * 60;

    // NOW: seconds since 1970.
    AccountTokens(LoginStore& store, HttpsClient& http, std::function<std::int64_t()> now);

    std::chrono::milliseconds CommandTimeOut{30000};

    // Empty for a password account.
    std::string AccessToken(const std::string& server, const std::string& userId);

    // Whose account a transfer logs in with: how the log names it, and what
    // follows "quelmark --sign-in" to sign it in again.
    struct Holder {
        std::string Who;
        std::string SignInArgs;
    };
    static Holder UserNamed(const std::string& userName);
    static Holder OfficeRelay();

    // What a transfer logs in with on the account (SERVER, USERID) — a POP3
    // mailbox, the sender's log-in at the SMTP relay or the office relay
    // account: its token, or Skip when it cannot log in this cycle. A refused
    // sign-in is logged at level 0 once per cycle, naming HOLDER; other
    // failures are logged and the account is tried again next cycle.
    struct LogIn {
        bool Skip = false;
        std::string AccessToken;
    };
    static LogIn ForTransfer(TransferCycle& cycle, StatusLog& log, const std::filesystem::path& workFolder,
                             const Holder& holder, const std::string& server, const std::string& userId);

private:
    std::string RenewedToken(AccountLogin login);

    LoginStore& store_;
    HttpsClient& http_;
    std::function<std::int64_t()> now_;
};

}  // namespace qlk
