#include "gateway/SignInCommand.h"

#include <ctime>
#include <map>
#include <ostream>
#include <utility>

#include "gateway/AccountSignIn.h"
#include "gateway/ConfigurationFile.h"
#include "gateway/TokenCommand.h"
#include "gateway/UserDirectory.h"
#include "platform/AsciiCase.h"
#include "platform/Exception.h"

namespace qlk {

namespace {

using Options = std::vector<std::pair<std::string, std::string>>;

const std::map<std::string, std::string OAuthProvider::*> kProviderOptions{
    {"--client-id", &OAuthProvider::ClientId},
    {"--client-secret", &OAuthProvider::ClientSecret},
    {"--device-endpoint", &OAuthProvider::DeviceEndpoint},
    {"--authorization-endpoint", &OAuthProvider::AuthorizationEndpoint},
    {"--token-endpoint", &OAuthProvider::TokenEndpoint},
    {"--scope", &OAuthProvider::Scope}};

bool TakesValue(const std::string& option) {
    return option == "--provider" || option == "--token-command" || kProviderOptions.count(option) > 0;
}

std::int64_t Now() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

}  // namespace

SignInCommand::SignInCommand(std::filesystem::path workFolder, std::ostream& out, std::ostream& err)
    : workFolder_(std::move(workFolder)), out_(out), err_(err) {}

const char* SignInCommand::Usage() {
    return "usage: quelmark --sign-in NAME|--relay\n"
           "         [--provider microsoft|google|custom | --token-command \"PROGRAM ARGS\" | --password]\n"
           "         [--client-id ID] [--client-secret SECRET] [--device-endpoint URL]\n"
           "         [--authorization-endpoint URL] [--token-endpoint URL] [--scope SCOPES]\n"
           "NAME is the user's ID (quelmark users list), name or mailbox; --relay is the office relay\n"
           "account (the SMTP server's log-in).\n";
}

int SignInCommand::Run(const std::vector<std::string>& args) {
    std::string name;
    bool relay = false;
    Options options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const std::size_t equals = arg.find('=');
        const std::string option = arg.substr(0, equals);
        if (arg.rfind("--", 0) != 0) {
            if (!name.empty()) return err_ << Usage(), 2;
            name = arg;
        } else if (arg == "--relay") {
            relay = true;
        } else if (arg == "--password") {
            options.emplace_back(arg, "");
        } else if (TakesValue(option) && equals != std::string::npos) {
            options.emplace_back(option, arg.substr(equals + 1));
        } else if (TakesValue(option) && i + 1 < args.size()) {
            options.emplace_back(option, args[++i]);
        } else {
            return err_ << Usage(), 2;
        }
    }
    if (name.empty() == !relay) return err_ << Usage(), 2;
    Account account;
    if (!(relay ? FindRelayAccount(account) : FindUser(name, account))) return 1;
    try {
        return ChangeLogin(account, options);
    } catch (const std::exception& e) {
        err_ << "Sign-in of " << account.who << " failed: " << e.what() << "\n";
        return 1;
    }
}

bool SignInCommand::FindUser(const std::string& name, Account& found) {
    UserDirectory users(workFolder_, [this](const std::string& message, int) { err_ << message << "\n"; });
    if (!users.OpenTable()) return false;
    for (const UserRecord& row : users.Table().Rows())
        if (std::to_string(row.rowId) == name || SameText(row.name, name) || SameText(row.mailbox, name)) {
            found = {row.popHost, row.popUserId, UserDirectory::Describe(row)};
            return true;
        }
    err_ << "No user \"" << name << "\" (quelmark users list shows them)\n";
    return false;
}

// The office relay account is the SMTP server and log-in that QLK.CFG holds.
bool SignInCommand::FindRelayAccount(Account& found) {
    StatusLog log(workFolder_);
    Settings settings;
    const auto show = [this](const std::string& message) { err_ << message << "\n"; };
    ConfigurationFile(workFolder_, log, show).ReadConfiguration(settings);
    if (settings.SMTPRelayUser.empty() || settings.SMTPServer.empty()) {
        err_ << "No office relay account is set: give the SMTP server its log-in in the window first\n";
        return false;
    }
    found = {settings.SMTPServer, settings.SMTPRelayUser,
             "the office relay account (" + settings.SMTPRelayUser + " at " + settings.SMTPServer + ")"};
    return true;
}

int SignInCommand::ChangeLogin(const Account& account, const Options& options) {
    LoginStore store(workFolder_);
    store.Load();
    AccountLogin login = store.Find(account.server, account.userId);
    for (const auto& [option, value] : options) {
        if (option == "--password") {
            login = AccountLogin{};
            login.Server = account.server;
            login.UserId = account.userId;
        } else if (option == "--token-command") {
            login.Kind = LoginKind::Command;
            login.Command = value;
        } else if (option == "--provider") {
            const auto kind = LoginKindNamed(value);
            if (!kind || !UsesOAuth(*kind))
                return err_ << "Unknown provider \"" << value << "\"\n" << Usage(), 2;
            login.Kind = *kind;
        }
    }
    for (const auto& [option, value] : options)
        if (const auto field = kProviderOptions.find(option); field != kProviderOptions.end()) {
            if (!UsesOAuth(login.Kind)) return err_ << option << " needs --provider\n", 2;
            OAuthProvider provider = store.Provider(login.Kind);
            provider.*(field->second) = value;
            store.SetProvider(login.Kind, provider);
        }

    const std::string& who = account.who;
    if (login.Kind == LoginKind::Command) TokenCommand::Run(login.Command, std::chrono::seconds(30));
    store.Store(login);
    store.Save();
    if (login.Kind == LoginKind::Password) {
        out_ << who << " logs in with the password.\n";
        return 0;
    }
    if (login.Kind == LoginKind::Command) {
        out_ << who << " logs in with the token that " << TokenCommand::Words(login.Command).front()
             << " prints; it printed one.\n";
        return 0;
    }
    HttpsClient http;
    AccountSignIn signIn(store, http, Now);
    signIn.Show = [this](const std::string& text) { out_ << text << std::endl; };
    signIn.OpenBrowser = OpenBrowser;
    signIn.SignIn(account.server, account.userId);
    out_ << who << " is signed in with " << LoginKindName(login.Kind) << ".\n";
    return 0;
}

}  // namespace qlk
