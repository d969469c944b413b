#include "gateway/LoginStore.h"

#include <nlohmann/json.hpp>
#include <utility>

#include "platform/AsciiCase.h"
#include "platform/AtomicFile.h"
#include "platform/BoundedFile.h"
#include "platform/Exception.h"

namespace qlk {

namespace {

using Json = nlohmann::json;

constexpr int kFormat = 1;

struct Damaged {
    std::string why;
};

bool PlainText(const std::string& text, std::size_t limit) {
    if (text.size() > limit) return false;
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7f) return false;
    return true;
}

// The string member NAME of OBJECT, checked; empty when absent.
std::string Text(const Json& object, const char* name, std::size_t limit) {
    const auto found = object.find(name);
    if (found == object.end()) return {};
    if (!found->is_string()) throw Damaged{std::string(name) + " is not text"};
    std::string value = found->get<std::string>();
    if (!PlainText(value, limit))
        throw Damaged{std::string(name) + " is too long or holds control characters"};
    return value;
}

std::string Token(const Json& object, const char* name) {
    std::string value = Text(object, name, LoginStore::MaxTokenLength);
    if (!value.empty() && !LoginStore::ValidToken(value)) throw Damaged{std::string(name) + " is no token"};
    return value;
}

std::string Url(const Json& object, const char* name) {
    std::string value = Text(object, name, LoginStore::MaxSettingLength);
    const std::string lower = LowerCase(value);
    if (!value.empty() && lower.rfind("https://", 0) != 0 && lower.rfind("http://", 0) != 0)
        throw Damaged{std::string(name) + " is not a web address"};
    return value;
}

LoginKind Kind(const Json& object) {
    const std::string name = Text(object, "login", 16);
    const auto kind = LoginKindNamed(name);
    if (!kind) throw Damaged{"unknown log-in \"" + name + "\""};
    return *kind;
}

AccountLogin ReadAccount(const Json& entry) {
    if (!entry.is_object()) throw Damaged{"an account is not an object"};
    AccountLogin login;
    login.Server = Text(entry, "server", 255);
    login.UserId = Text(entry, "user", 255);
    if (login.Server.empty() || login.UserId.empty()) throw Damaged{"an account lacks its server or user"};
    login.Kind = Kind(entry);
    login.Command = Text(entry, "command", LoginStore::MaxSettingLength);
    login.RefreshToken = Token(entry, "refresh_token");
    login.AccessToken = Token(entry, "access_token");
    const auto expires = entry.find("expires_at");
    if (expires != entry.end()) {
        if (!expires->is_number_integer() || expires->get<std::int64_t>() < 0)
            throw Damaged{"expires_at is not a time"};
        login.ExpiresAt = expires->get<std::int64_t>();
    }
    return login;
}

OAuthProvider ReadProvider(const Json& entry) {
    if (!entry.is_object()) throw Damaged{"a provider is not an object"};
    OAuthProvider provider;
    provider.DeviceEndpoint = Url(entry, "device_endpoint");
    provider.AuthorizationEndpoint = Url(entry, "authorization_endpoint");
    provider.TokenEndpoint = Url(entry, "token_endpoint");
    provider.Scope = Text(entry, "scope", LoginStore::MaxSettingLength);
    provider.ClientId = Text(entry, "client_id", LoginStore::MaxSettingLength);
    provider.ClientSecret = Text(entry, "client_secret", LoginStore::MaxSettingLength);
    return provider;
}

Json WriteProvider(const OAuthProvider& provider) {
    return Json{{"device_endpoint", provider.DeviceEndpoint},
                {"authorization_endpoint", provider.AuthorizationEndpoint},
                {"token_endpoint", provider.TokenEndpoint},
                {"scope", provider.Scope},
                {"client_id", provider.ClientId},
                {"client_secret", provider.ClientSecret}};
}

Json WriteAccount(const AccountLogin& login) {
    return Json{{"server", login.Server},
                {"user", login.UserId},
                {"login", LoginKindName(login.Kind)},
                {"command", login.Command},
                {"refresh_token", login.RefreshToken},
                {"access_token", login.AccessToken},
                {"expires_at", login.ExpiresAt}};
}

}  // namespace

LoginStore::LoginStore(std::filesystem::path workFolder) : file_(std::move(workFolder) / FileName) {}

bool LoginStore::ValidToken(const std::string& text) {
    if (text.empty() || text.size() > MaxTokenLength) return false;
    for (unsigned char c : text)
        if (c <= 0x20 || c >= 0x7f) return false;
    return true;
}

std::string LoginStore::Key(const std::string& server, const std::string& userId) {
    return LowerCase(server) + "\n" + userId;
}

void LoginStore::Load() {
    accounts_.clear();
    providers_.clear();
    std::string bytes;
    switch (BoundedFile::Read(file_, MaxFileBytes, bytes)) {
        case BoundedFile::Outcome::Missing:
            return;
        case BoundedFile::Outcome::Unreadable:
            throw Exception(file_.string() + " cannot be read: not a plain file of a sane size");
        case BoundedFile::Outcome::Read:
            break;
    }
    const Json document = Json::parse(bytes, nullptr, false);
    try {
        if (!document.is_object() || document.value("format", 0) != kFormat)
            throw Damaged{"not a log-in store of this version"};
        std::map<std::string, AccountLogin> accounts;
        std::map<LoginKind, OAuthProvider> providers;
        if (const auto list = document.find("accounts"); list != document.end()) {
            if (!list->is_array()) throw Damaged{"accounts is not a list"};
            for (const Json& entry : *list) {
                AccountLogin login = ReadAccount(entry);
                accounts[Key(login.Server, login.UserId)] = std::move(login);
            }
        }
        if (const auto map = document.find("providers"); map != document.end()) {
            if (!map->is_object()) throw Damaged{"providers is not an object"};
            for (const auto& [name, entry] : map->items()) {
                const auto kind = LoginKindNamed(name);
                if (!kind || !UsesOAuth(*kind)) throw Damaged{"unknown provider \"" + name + "\""};
                providers[*kind] = ReadProvider(entry);
            }
        }
        accounts_ = std::move(accounts);
        providers_ = std::move(providers);
    } catch (const Damaged& damaged) {
        throw Exception(file_.string() + " is damaged: " + damaged.why);
    } catch (const Json::exception&) {
        throw Exception(file_.string() + " is damaged: not a log-in store of this version");
    }
}

void LoginStore::Save() const {
    Json accounts = Json::array();
    for (const auto& [key, login] : accounts_) accounts.push_back(WriteAccount(login));
    Json providers = Json::object();
    for (const auto& [kind, provider] : providers_) providers[LoginKindName(kind)] = WriteProvider(provider);
    const Json document{{"format", kFormat}, {"providers", providers}, {"accounts", accounts}};
    AtomicFile::WriteWhole(file_, document.dump(1) + "\n");
}

AccountLogin LoginStore::Find(const std::string& server, const std::string& userId) const {
    const auto found = accounts_.find(Key(server, userId));
    if (found != accounts_.end()) return found->second;
    AccountLogin login;
    login.Server = server;
    login.UserId = userId;
    return login;
}

void LoginStore::Store(const AccountLogin& login) {
    const std::string key = Key(login.Server, login.UserId);
    if (login.Kind == LoginKind::Password)
        accounts_.erase(key);
    else
        accounts_[key] = login;
}

OAuthProvider LoginStore::Provider(LoginKind kind) const {
    OAuthProvider provider = OAuthProvider::Preset(kind);
    const auto found = providers_.find(kind);
    if (found == providers_.end()) return provider;
    const OAuthProvider& set = found->second;
    for (auto [field, value] :
         {std::pair{&OAuthProvider::DeviceEndpoint, &set.DeviceEndpoint},
          std::pair{&OAuthProvider::AuthorizationEndpoint, &set.AuthorizationEndpoint},
          std::pair{&OAuthProvider::TokenEndpoint, &set.TokenEndpoint},
          std::pair{&OAuthProvider::Scope, &set.Scope}, std::pair{&OAuthProvider::ClientId, &set.ClientId},
          std::pair{&OAuthProvider::ClientSecret, &set.ClientSecret}})
        if (!value->empty()) provider.*field = *value;
    return provider;
}

void LoginStore::SetProvider(LoginKind kind, const OAuthProvider& provider) {
    if (UsesOAuth(kind)) providers_[kind] = provider;
}

}  // namespace qlk
