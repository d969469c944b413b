#pragma once

#include <optional>
#include <string>

namespace qlk {

// How an account logs in to its POP3 (and SMTP) server.
enum class LoginKind { Password, Microsoft, Google, Custom, Command };

// Where an OAuth 2.0 provider signs users in and hands out tokens, and the
// application the office registered with it. Microsoft signs in with the
// device authorization grant (a code typed on any phone), Google with an
// authorization code and PKCE on a loopback redirect; a custom provider uses
// the device grant when it has a device endpoint.
struct OAuthProvider {
    std::string DeviceEndpoint;
    std::string AuthorizationEndpoint;
    std::string TokenEndpoint;
    std::string Scope;
    std::string ClientId;
    // Google issues one to installed applications; it is no secret there.
    std::string ClientSecret;

    bool UsesDeviceFlow() const { return !DeviceEndpoint.empty(); }
    // Whether the endpoints and the client ID to sign in with are there.
    bool Complete() const;

    // The public endpoints and scopes of a provider, without a client ID.
    static OAuthProvider Preset(LoginKind kind);

    bool operator==(const OAuthProvider&) const = default;
};

// "password", "microsoft", "google", "custom", "command".
const char* LoginKindName(LoginKind kind);
std::optional<LoginKind> LoginKindNamed(const std::string& name);
bool UsesOAuth(LoginKind kind);

}  // namespace qlk
