#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "gateway/OAuthProvider.h"
#include "net/HttpsClient.h"
#include "platform/Exception.h"

namespace qlk {

// The provider refused the refresh token or the sign-in (an "invalid_grant",
// a code that expired or was declined): only a new sign-in helps.
class ESignInRefused : public Exception {
public:
    explicit ESignInRefused(const std::string& message) : Exception(message, ErrorKind::Permanent) {}
};

// The OAuth 2.0 grants the gateway uses against a provider's endpoints: the
// refresh grant, the device authorization grant, and the authorization code
// with PKCE. Every answer is read as hostile: bounded, JSON, each token
// checked before it is kept. Nothing here logs a token.
class OAuthClient {
public:
    struct Tokens {
        std::string AccessToken;
        std::string RefreshToken;  // empty when the provider kept the old one
        std::int64_t ExpiresAt = 0;
    };

    struct DeviceCode {
        std::string Code;
        std::string UserCode;
        std::string VerificationUri;
        std::chrono::seconds Interval{5};
        std::int64_t ExpiresAt = 0;
    };

    // NOW: seconds since 1970.
    OAuthClient(HttpsClient& http, std::function<std::int64_t()> now);

    Tokens Refresh(const OAuthProvider& provider, const std::string& refreshToken);

    DeviceCode StartDeviceSignIn(const OAuthProvider& provider);
    // Polls the token endpoint at the provider's pace until the user has
    // signed in; WAIT pauses for the interval (running the event pump).
    Tokens FinishDeviceSignIn(const OAuthProvider& provider, const DeviceCode& code,
                              const std::function<void(std::chrono::seconds)>& wait);

    // The address the browser opens for an authorization code with PKCE.
    static std::string AuthorizationUrl(const OAuthProvider& provider, const std::string& redirectUri,
                                        const std::string& state, const std::string& codeChallenge);
    Tokens ExchangeCode(const OAuthProvider& provider, const std::string& code,
                        const std::string& redirectUri, const std::string& codeVerifier);

    // A fresh unguessable value for "state" and the PKCE verifier.
    static std::string RandomVerifier();
    // BASE64URL(SHA256(verifier)), the "S256" challenge.
    static std::string CodeChallenge(const std::string& verifier);

private:
    struct Answer;
    Answer Post(const std::string& url, HttpsClient::Fields fields, const OAuthProvider& provider);
    Tokens TokensOf(const Answer& answer) const;

    HttpsClient& http_;
    std::function<std::int64_t()> now_;
};

}  // namespace qlk
