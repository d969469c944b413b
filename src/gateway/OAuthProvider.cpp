#include "gateway/OAuthProvider.h"

#include <array>
#include <utility>

#include "platform/AsciiCase.h"

namespace qlk {

namespace {

constexpr std::array<std::pair<LoginKind, const char*>, 5> kNames{{{LoginKind::Password, "password"},
                                                                   {LoginKind::Microsoft, "microsoft"},
                                                                   {LoginKind::Google, "google"},
                                                                   {LoginKind::Custom, "custom"},
                                                                   {LoginKind::Command, "command"}}};

}  // namespace

bool OAuthProvider::Complete() const {
    const bool canSignIn = UsesDeviceFlow() || !AuthorizationEndpoint.empty();
    return canSignIn && !TokenEndpoint.empty() && !ClientId.empty();
}

OAuthProvider OAuthProvider::Preset(LoginKind kind) {
    OAuthProvider provider;
    if (kind == LoginKind::Microsoft) {
        provider.DeviceEndpoint = "https://login.microsoftonline.com/common/oauth2/v2.0/devicecode";
        provider.TokenEndpoint = "https://login.microsoftonline.com/common/oauth2/v2.0/token";
        provider.Scope =
            "offline_access https://outlook.office.com/POP.AccessAsUser.All "
            "https://outlook.office.com/SMTP.Send";
    } else if (kind == LoginKind::Google) {
        provider.AuthorizationEndpoint = "https://accounts.google.com/o/oauth2/v2/auth";
        provider.TokenEndpoint = "https://oauth2.googleapis.com/token";
        provider.Scope = "https://mail.google.com/";
    }
    return provider;
}

const char* LoginKindName(LoginKind kind) {
    for (const auto& [k, name] : kNames)
        if (k == kind) return name;
    return "password";
}

std::optional<LoginKind> LoginKindNamed(const std::string& name) {
    const std::string lower = LowerCase(name);
    for (const auto& [kind, known] : kNames)
        if (lower == known) return kind;
    return std::nullopt;
}

bool UsesOAuth(LoginKind kind) {
    return kind == LoginKind::Microsoft || kind == LoginKind::Google || kind == LoginKind::Custom;
}

}  // namespace qlk
