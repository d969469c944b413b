#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "gateway/LoginStore.h"
#include "net/HttpsClient.h"

namespace qlk {

// Signs an OAuth account in, for the user form and `quelmark --sign-in`:
// with a device code (shown to the operator, typed on any phone) when the
// provider has a device endpoint, else in a browser on this computer with an
// authorization code, PKCE and a loopback redirect whose state is checked.
// The tokens are saved in the store; nothing else learns them.
class AccountSignIn {
public:
    AccountSignIn(LoginStore& store, HttpsClient& http, std::function<std::int64_t()> now);

    // Tells the operator what to do ("open ... and enter the code ...").
    std::function<void(const std::string&)> Show;
    // Opens the sign-in address in the desktop's browser; false when it
    // cannot (the address is shown instead).
    std::function<bool(const std::string&)> OpenBrowser;
    std::function<bool()> Cancelled;
    // How long the operator has to finish a browser sign-in.
    std::chrono::seconds BrowserTimeOut{300};

    // Signs the account in with its provider and saves the tokens. Raises
    // qlk::Exception (ESignInRefused when the provider declined) with the
    // reason; the saved tokens stay as they were then.
    void SignIn(const std::string& server, const std::string& userId);

    // The pause between polls of a device sign-in: runs the event pump.
    void Wait(std::chrono::seconds pause) const;

private:
    LoginStore& store_;
    HttpsClient& http_;
    std::function<std::int64_t()> now_;
};

}  // namespace qlk
