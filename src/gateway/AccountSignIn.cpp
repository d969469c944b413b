#include "gateway/AccountSignIn.h"

#include <thread>
#include <utility>

#include "gateway/OAuthClient.h"
#include "net/ECanceledError.h"
#include "net/LoopbackRedirect.h"
#include "platform/EventPump.h"

namespace qlk {

namespace {

constexpr auto kTick = std::chrono::milliseconds(50);

// An error code from the browser's address, fit to show.
std::string PlainWord(const std::string& text) {
    std::string word;
    for (char c : text.substr(0, 80))
        word +=
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ? c : '?';
    return word;
}

}  // namespace

AccountSignIn::AccountSignIn(LoginStore& store, HttpsClient& http, std::function<std::int64_t()> now)
    : store_(store), http_(http), now_(std::move(now)) {}

void AccountSignIn::Wait(std::chrono::seconds pause) const {
    const auto end = std::chrono::steady_clock::now() + pause;
    while (std::chrono::steady_clock::now() < end) {
        if (Cancelled && Cancelled()) throw ECanceledError("Operation has been canceled");
        std::this_thread::sleep_for(kTick);
        ProcessMessages();
    }
}

void AccountSignIn::SignIn(const std::string& server, const std::string& userId) {
    AccountLogin login = store_.Find(server, userId);
    if (!UsesOAuth(login.Kind)) throw Exception("The account does not log in through an OAuth provider");
    const OAuthProvider provider = store_.Provider(login.Kind);
    if (!provider.Complete())
        throw Exception(std::string("The ") + LoginKindName(login.Kind) +
                        " provider has no client ID or endpoints set: register the application first");
    // The choice of provider is kept even when the sign-in does not finish.
    store_.Save();
    http_.Cancelled = Cancelled;
    OAuthClient client(http_, now_);
    OAuthClient::Tokens tokens;
    if (provider.UsesDeviceFlow()) {
        const OAuthClient::DeviceCode code = client.StartDeviceSignIn(provider);
        if (Show)
            Show("To sign in " + userId + ", open " + code.VerificationUri + " and enter the code " +
                 code.UserCode);
        tokens =
            client.FinishDeviceSignIn(provider, code, [this](std::chrono::seconds pause) { Wait(pause); });
    } else {
        LoopbackRedirect redirect;
        const std::string verifier = OAuthClient::RandomVerifier();
        const std::string state = OAuthClient::RandomVerifier();
        const std::string url = OAuthClient::AuthorizationUrl(provider, redirect.Uri(), state,
                                                              OAuthClient::CodeChallenge(verifier));
        const bool opened = OpenBrowser && OpenBrowser(url);
        if (Show)
            Show(opened
                     ? "Sign in " + userId + " in the browser window that opened."
                     : "To sign in " + userId + ", open this address in a browser on this computer:\n" + url);
        const std::string query = redirect.WaitForQuery(BrowserTimeOut, Cancelled,
                                                        "Quelmark has the sign-in. You may close this page.");
        if (LoopbackRedirect::QueryValue(query, "state") != state)
            throw ESignInRefused("The sign-in answer does not belong to this sign-in");
        const std::string code = LoopbackRedirect::QueryValue(query, "code");
        if (code.empty())
            throw ESignInRefused("The sign-in was declined (" +
                                 PlainWord(LoopbackRedirect::QueryValue(query, "error")) + ")");
        tokens = client.ExchangeCode(provider, code, redirect.Uri(), verifier);
    }
    if (tokens.RefreshToken.empty())
        throw ESignInRefused("The provider gave no refresh token (is offline access granted?)");
    // The sign-in took minutes: what the gateway saved meanwhile for other
    // accounts is kept.
    store_.Load();
    const LoginKind kind = login.Kind;
    login = store_.Find(server, userId);
    login.Kind = kind;
    login.AccessToken = tokens.AccessToken;
    login.RefreshToken = tokens.RefreshToken;
    login.ExpiresAt = tokens.ExpiresAt;
    store_.Store(login);
    store_.Save();
}

}  // namespace qlk
