#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include "gateway/LoginStore.h"
#include "gateway/UserDirectory.h"

namespace qlk {

// `quelmark users list|add|edit|remove`: the Mailboxes page without a
// window, over users.DB in the working folder, with the user form's fields,
// limits, checks and messages. Users are named by the ID that `list` shows
// (the row's identity, which never changes). It is safe beside a running
// gateway: the database serialises the writes, and a service reads the
// table again on SIGHUP. A password is never taken from the command line:
// it is read from the terminal without echo, or from the first line of the
// standard input.
class UsersCommand {
public:
    // INPUTISTERMINAL: IN is a terminal, which shows the questions and can
    // hide what is typed.
    UsersCommand(const std::filesystem::path& workFolder, std::istream& in, std::ostream& out,
                 std::ostream& err, bool inputIsTerminal);

    // ARGS: what follows "users". The exit code: 0 done, 1 refused or
    // failed, 2 the command was not understood.
    int Run(const std::vector<std::string>& args);

    static const char* Usage();

private:
    struct Options {
        std::vector<std::string> positional;
        std::map<std::string, std::string> values;
        std::vector<std::string> flags;
        bool Has(const std::string& flag) const;
    };

    int List();
    LoginStore ReadLogins();
    int Add(const Options& options);
    int Edit(const Options& options);
    int Remove(const Options& options);

    Options Parse(const std::vector<std::string>& args) const;
    std::int64_t UserId(const Options& options) const;
    void ApplyOptions(const Options& options, UserRecord& row) const;
    std::string ReadPassword();
    std::string AskLine(const std::string& question);
    int Store(UserRecord& row, const char* done);
    bool OpenTable();

    std::filesystem::path workFolder_;
    UserDirectory users_;
    std::istream& in_;
    std::ostream& out_;
    std::ostream& err_;
    bool inputIsTerminal_;
};

}  // namespace qlk
