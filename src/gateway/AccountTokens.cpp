#include "gateway/AccountTokens.h"

#include <ctime>
#include <utility>

#include "gateway/OAuthClient.h"
#include "gateway/StatusLog.h"
#include "gateway/TokenCommand.h"
#include "gateway/TransferCycle.h"

namespace qlk {

AccountTokens::AccountTokens(LoginStore& store, HttpsClient& http, std::function<std::int64_t()> now)
    : store_(store), http_(http), now_(std::move(now)) {}

std::string AccountTokens::AccessToken(const std::string& server, const std::string& userId) {
    const AccountLogin login = store_.Find(server, userId);
    switch (login.Kind) {
        case LoginKind::Password:
            return {};
        case LoginKind::Command:
            return TokenCommand::Run(login.Command, CommandTimeOut);
        default:
            if (!login.AccessToken.empty() && login.ExpiresAt - now_() > RefreshMargin)
                return login.AccessToken;
            return RenewedToken(login);
    }
}

std::string AccountTokens::RenewedToken(AccountLogin login) {
    if (login.RefreshToken.empty()) throw ESignInRefused("The account has not been signed in");
    OAuthClient client(http_, now_);
    try {
        const OAuthClient::Tokens tokens = client.Refresh(store_.Provider(login.Kind), login.RefreshToken);
        login.AccessToken = tokens.AccessToken;
        if (!tokens.RefreshToken.empty()) login.RefreshToken = tokens.RefreshToken;
        login.ExpiresAt = tokens.ExpiresAt;
    } catch (const ESignInRefused&) {
        login.AccessToken.clear();
        login.RefreshToken.clear();
        login.ExpiresAt = 0;
        store_.Store(login);
        store_.Save();
        throw;
    }
    store_.Store(login);
    store_.Save();
    return login.AccessToken;
}

AccountTokens::Holder AccountTokens::UserNamed(const std::string& userName) {
    return {"User " + userName, "\"" + userName + "\""};
}

AccountTokens::Holder AccountTokens::OfficeRelay() {
    return {"The office relay account", "--relay"};
}

AccountTokens::LogIn AccountTokens::ForTransfer(TransferCycle& cycle, StatusLog& log,
                                                const std::filesystem::path& workFolder, const Holder& holder,
                                                const std::string& server, const std::string& userId) {
    LoginStore store(workFolder);
    try {
        store.Load();
    } catch (const Exception& damaged) {
        if (cycle.FirstTimeThisCycle(LoginStore::FileName))
            log.WriteLog(std::string(damaged.what()) + "; accounts log in with their passwords", 0);
        return {};
    }
    HttpsClient http;
    http.Cancelled = [&cycle] { return cycle.Stopping(); };
    AccountTokens tokens(store, http, [] { return static_cast<std::int64_t>(std::time(nullptr)); });
    try {
        return {false, tokens.AccessToken(server, userId)};
    } catch (const ESignInRefused& refused) {
        if (cycle.FirstTimeThisCycle("sign-in " + server + "\n" + userId))
            log.WriteLog(holder.Who + " must sign in again (quelmark --sign-in " + holder.SignInArgs +
                             "): " + refused.what(),
                         0);
    } catch (const std::exception& failed) {
        log.WriteLog("ERROR Getting the log-in token of " + holder.Who + ": " + failed.what(), 0);
    }
    return {true, {}};
}

}  // namespace qlk
