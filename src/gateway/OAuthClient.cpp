#include "gateway/OAuthClient.h"

#include <openssl/rand.h>
#include <openssl/sha.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <utility>

#include "gateway/LoginStore.h"
#include "message/Base64.h"

namespace qlk {

namespace {

using Json = nlohmann::json;

constexpr std::int64_t kLongestLifetime = 366LL * 24 * 3600;
constexpr std::int64_t kDefaultLifetime = 3600;
constexpr std::int64_t kLongestInterval = 60;

std::string Base64Url(std::string_view bytes) {
    std::string text = Base64EncodeString(bytes);
    std::replace(text.begin(), text.end(), '+', '-');
    std::replace(text.begin(), text.end(), '/', '_');
    text.erase(std::remove(text.begin(), text.end(), '='), text.end());
    return text;
}

std::string StringMember(const Json& object, const char* name) {
    const auto found = object.find(name);
    return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

std::int64_t NumberMember(const Json& object, const char* name, std::int64_t fallback, std::int64_t limit) {
    const auto found = object.find(name);
    if (found == object.end()) return fallback;
    std::int64_t value = fallback;
    if (found->is_number_integer())
        value = found->get<std::int64_t>();
    else if (found->is_string())
        value = std::atoll(found->get<std::string>().c_str());
    return std::clamp<std::int64_t>(value, 0, limit);
}

// The provider's own words are shown to the operator; keep them short and plain.
std::string Plain(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    return text.substr(0, 200);
}

}  // namespace

struct OAuthClient::Answer {
    long Status = 0;
    Json Body;
    std::string Error;  // the OAuth "error" code, empty on success
};

OAuthClient::OAuthClient(HttpsClient& http, std::function<std::int64_t()> now)
    : http_(http), now_(std::move(now)) {}

OAuthClient::Answer OAuthClient::Post(const std::string& url, HttpsClient::Fields fields,
                                      const OAuthProvider& provider) {
    fields.emplace_back("client_id", provider.ClientId);
    if (!provider.ClientSecret.empty()) fields.emplace_back("client_secret", provider.ClientSecret);
    const HttpsClient::Response response = http_.PostForm(url, fields);
    Answer answer;
    answer.Status = response.Status;
    answer.Body = Json::parse(response.Body, nullptr, false);
    if (!answer.Body.is_object()) {
        if (response.Status >= 500 || response.Status == 429)
            throw Exception(url + " answered HTTP " + std::to_string(response.Status), ErrorKind::Transient);
        throw Exception(url + " gave no readable answer (HTTP " + std::to_string(response.Status) + ")",
                        ErrorKind::Transient);
    }
    answer.Error = Plain(StringMember(answer.Body, "error"));
    if (answer.Error.empty() && response.Status / 100 != 2)
        answer.Error = "HTTP " + std::to_string(response.Status);
    return answer;
}

OAuthClient::Tokens OAuthClient::TokensOf(const Answer& answer) const {
    Tokens tokens;
    tokens.AccessToken = StringMember(answer.Body, "access_token");
    tokens.RefreshToken = StringMember(answer.Body, "refresh_token");
    if (!LoginStore::ValidToken(tokens.AccessToken))
        throw Exception("The provider's answer holds no usable access token", ErrorKind::Transient);
    if (!tokens.RefreshToken.empty() && !LoginStore::ValidToken(tokens.RefreshToken))
        throw Exception("The provider's answer holds no usable refresh token", ErrorKind::Transient);
    tokens.ExpiresAt = now_() + NumberMember(answer.Body, "expires_in", kDefaultLifetime, kLongestLifetime);
    return tokens;
}

OAuthClient::Tokens OAuthClient::Refresh(const OAuthProvider& provider, const std::string& refreshToken) {
    const Answer answer = Post(provider.TokenEndpoint,
                               {{"grant_type", "refresh_token"}, {"refresh_token", refreshToken}}, provider);
    if (answer.Error == "invalid_grant" || answer.Error == "unauthorized_client" ||
        answer.Error == "invalid_client")
        throw ESignInRefused("The provider refused the saved sign-in (" + answer.Error + ")");
    if (!answer.Error.empty())
        throw Exception("The provider did not renew the access token (" + answer.Error + ")",
                        ErrorKind::Transient);
    return TokensOf(answer);
}

OAuthClient::DeviceCode OAuthClient::StartDeviceSignIn(const OAuthProvider& provider) {
    const Answer answer = Post(provider.DeviceEndpoint, {{"scope", provider.Scope}}, provider);
    if (!answer.Error.empty())
        throw Exception("The provider refused to start a sign-in (" + answer.Error + ": " +
                            Plain(StringMember(answer.Body, "error_description")) + ")",
                        ErrorKind::Permanent);
    DeviceCode code;
    code.Code = StringMember(answer.Body, "device_code");
    code.UserCode = Plain(StringMember(answer.Body, "user_code"));
    code.VerificationUri = StringMember(answer.Body, "verification_uri");
    if (code.VerificationUri.empty()) code.VerificationUri = StringMember(answer.Body, "verification_url");
    code.VerificationUri = Plain(code.VerificationUri);
    if (!LoginStore::ValidToken(code.Code) || code.UserCode.empty() ||
        code.VerificationUri.rfind("https://", 0) != 0)
        throw Exception("The provider's sign-in answer is incomplete", ErrorKind::Transient);
    code.Interval = std::chrono::seconds(NumberMember(answer.Body, "interval", 5, kLongestInterval));
    code.ExpiresAt = now_() + NumberMember(answer.Body, "expires_in", 900, 3600);
    return code;
}

OAuthClient::Tokens OAuthClient::FinishDeviceSignIn(const OAuthProvider& provider, const DeviceCode& code,
                                                    const std::function<void(std::chrono::seconds)>& wait) {
    std::chrono::seconds interval = code.Interval;
    for (;;) {
        if (now_() >= code.ExpiresAt) throw ESignInRefused("The sign-in code expired before it was used");
        wait(interval);
        const Answer answer =
            Post(provider.TokenEndpoint,
                 {{"grant_type", "urn:ietf:params:oauth:grant-type:device_code"}, {"device_code", code.Code}},
                 provider);
        if (answer.Error.empty()) return TokensOf(answer);
        if (answer.Error == "authorization_pending") continue;
        if (answer.Error == "slow_down") {
            interval = std::min(interval + std::chrono::seconds(5), std::chrono::seconds(kLongestInterval));
            continue;
        }
        throw ESignInRefused("The sign-in did not succeed (" + answer.Error + ")");
    }
}

std::string OAuthClient::AuthorizationUrl(const OAuthProvider& provider, const std::string& redirectUri,
                                          const std::string& state, const std::string& codeChallenge) {
    const std::string separator = provider.AuthorizationEndpoint.find('?') == std::string::npos ? "?" : "&";
    return provider.AuthorizationEndpoint + separator +
           HttpsClient::FormEncode({{"response_type", "code"},
                                    {"client_id", provider.ClientId},
                                    {"redirect_uri", redirectUri},
                                    {"scope", provider.Scope},
                                    {"state", state},
                                    {"code_challenge", codeChallenge},
                                    {"code_challenge_method", "S256"},
                                    {"access_type", "offline"},
                                    {"prompt", "consent"}});
}

OAuthClient::Tokens OAuthClient::ExchangeCode(const OAuthProvider& provider, const std::string& code,
                                              const std::string& redirectUri,
                                              const std::string& codeVerifier) {
    const Answer answer = Post(provider.TokenEndpoint,
                               {{"grant_type", "authorization_code"},
                                {"code", code},
                                {"redirect_uri", redirectUri},
                                {"code_verifier", codeVerifier}},
                               provider);
    if (!answer.Error.empty())
        throw ESignInRefused("The provider refused the sign-in (" + answer.Error + ")");
    return TokensOf(answer);
}

std::string OAuthClient::RandomVerifier() {
    unsigned char bytes[32];
    if (RAND_bytes(bytes, sizeof bytes) != 1) throw Exception("No random numbers for the sign-in");
    return Base64Url(std::string_view(reinterpret_cast<const char*>(bytes), sizeof bytes));
}

std::string OAuthClient::CodeChallenge(const std::string& verifier) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(verifier.data()), verifier.size(), digest);
    return Base64Url(std::string_view(reinterpret_cast<const char*>(digest), sizeof digest));
}

}  // namespace qlk
