#pragma once

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "gateway/LoginStore.h"

namespace qlk {

// `quelmark --sign-in NAME [options]`: chooses how a user's account logs in
// and signs it in on a terminal, for a gateway without a window. NAME is the
// user's ID (as `quelmark users list` shows it), name or mailbox;
// `--relay` in its place names the office relay account of QLK.CFG.
//
//   --provider microsoft|google|custom   log in with OAuth 2.0 and sign in now
//   --token-command "PROGRAM ARGS"       log in with the token PROGRAM prints
//   --password                           log in with the password again
//   --client-id, --client-secret, --device-endpoint, --authorization-endpoint,
//   --token-endpoint, --scope            the provider's settings (for every user)
class SignInCommand {
public:
    SignInCommand(std::filesystem::path workFolder, std::ostream& out, std::ostream& err);

    // Opens the sign-in address in a browser; unset on a terminal.
    std::function<bool(const std::string&)> OpenBrowser;

    // ARGS: what follows "--sign-in". The exit code: 0 done, 1 refused or
    // failed, 2 the command was not understood.
    int Run(const std::vector<std::string>& args);

    static const char* Usage();

private:
    struct Account {
        std::string server;
        std::string userId;
        std::string who;  // as messages name it
    };
    bool FindUser(const std::string& name, Account& found);
    bool FindRelayAccount(Account& found);
    int ChangeLogin(const Account& account, const std::vector<std::pair<std::string, std::string>>& options);

    std::filesystem::path workFolder_;
    std::ostream& out_;
    std::ostream& err_;
};

}  // namespace qlk
