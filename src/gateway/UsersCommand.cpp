#include "gateway/UsersCommand.h"

#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <istream>
#include <ostream>

#include "gateway/EDatabaseError.h"
#include "message/Utf8Text.h"
#include "platform/Exception.h"

namespace qlk {
namespace {

// The command line said something the command does not know.
class UsageError : public Exception {
public:
    using Exception::Exception;
};

struct TextOption {
    const char* option;
    UserField field;
};

constexpr std::array<TextOption, 6> kTextOptions{{
    {"--name", UserField::Name},
    {"--mailbox", UserField::Mailbox},
    {"--pop-host", UserField::POPHost},
    {"--pop-user", UserField::POPUserID},
    {"--return-address", UserField::ReturnAddress},
    {"--alias-address", UserField::AliasAddress},
}};

constexpr std::array<const char*, 7> kFlags = {"--delete-mail",   "--keep-mail", "--alias", "--no-alias",
                                               "--copy-previous", "--password",  "--yes"};

// The list's columns: the grid's, with the identity first and the group flag.
constexpr std::array<UserField, 8> kListed = {
    UserField::Name,          UserField::Mailbox,    UserField::POPUserID, UserField::POPHost,
    UserField::ReturnAddress, UserField::DeleteMail, UserField::Alias,     UserField::AliasAddress};

const char* const kServiceNote =
    "A gateway running as a service uses the change after SIGHUP (systemctl --user reload quelmark).";

// Text from the table, fit for a terminal: no control character reaches it.
std::string Printable(const std::string& text) {
    std::string shown = text;
    std::replace_if(
        shown.begin(), shown.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; },
        '?');
    return shown;
}

std::string Cell(const UserRecord& row, UserField field) {
    if (const bool* flag = row.Flag(field)) return *flag ? "yes" : "no";
    return Printable(*row.Text(field));
}

// How the row's account logs in: "password", a token command or a provider,
// and whether an OAuth account has been signed in yet.
std::string LoginCell(const LoginStore& logins, const UserRecord& row) {
    const AccountLogin login = logins.Find(row.popHost, row.popUserId);
    std::string cell = LoginKindName(login.Kind);
    if (UsesOAuth(login.Kind) && login.RefreshToken.empty() && login.AccessToken.empty())
        cell += " (not signed in)";
    return cell;
}

std::size_t Width(const std::string& text) {
    return DecodeText(text).size();
}

void PrintRow(std::ostream& out, const std::vector<std::string>& cells,
              const std::vector<std::size_t>& widths) {
    std::string line;
    for (std::size_t c = 0; c < cells.size(); ++c) {
        line += cells[c];
        if (c + 1 < cells.size()) line += std::string(widths[c] - Width(cells[c]) + 2, ' ');
    }
    out << line.substr(0, line.find_last_not_of(' ') + 1) << '\n';
}

}  // namespace

UsersCommand::UsersCommand(const std::filesystem::path& workFolder, std::istream& in, std::ostream& out,
                           std::ostream& err, bool inputIsTerminal)
    : workFolder_(workFolder),
      users_(workFolder, [&err](const std::string& text, int) { err << text << '\n'; }),
      in_(in),
      out_(out),
      err_(err),
      inputIsTerminal_(inputIsTerminal) {}

const char* UsersCommand::Usage() {
    return "Usage: quelmark users list\n"
           "       quelmark users add --name NAME --mailbox MAILBOX --pop-host HOST --pop-user LOGIN\n"
           "                          --return-address ADDRESS [--keep-mail] [--alias] [--alias-address "
           "ADDRESS]\n"
           "                          [--copy-previous [--password]]\n"
           "       quelmark users edit ID [the options of add] [--delete-mail] [--no-alias] [--password]\n"
           "       quelmark users remove ID [--yes]\n"
           "The POP password is read from the terminal, or from the first line of the standard input.\n";
}

int UsersCommand::Run(const std::vector<std::string>& args) {
    if (args.size() == 1 && args[0] == "--help") {
        out_ << Usage();
        return 0;
    }
    try {
        const Options options = Parse(args);
        if (options.positional.empty()) throw UsageError("say what to do with the users");
        const std::string& verb = options.positional.front();
        const bool alone = options.positional.size() == 1;
        if ((verb == "list" || verb == "add") && !alone)
            throw UsageError("unexpected \"" + Printable(options.positional[1]) + "\"");
        if (verb == "list") return List();
        if (verb == "add") return Add(options);
        if (verb == "edit") return Edit(options);
        if (verb == "remove") return Remove(options);
        throw UsageError("unknown command \"" + Printable(verb) + "\"");
    } catch (const UsageError& error) {
        err_ << "quelmark users: " << error.what() << '\n' << Usage();
        return 2;
    } catch (const EDatabaseError& error) {
        err_ << "quelmark users: " << error.what() << '\n';
        return 1;
    }
}

bool UsersCommand::Options::Has(const std::string& flag) const {
    return std::find(flags.begin(), flags.end(), flag) != flags.end();
}

UsersCommand::Options UsersCommand::Parse(const std::vector<std::string>& args) const {
    Options options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const std::size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        if (name == "--password" && equals != std::string::npos)
            throw UsageError("a password is never given on the command line; --password asks for it");
        if (std::find(kFlags.begin(), kFlags.end(), arg) != kFlags.end()) {
            options.flags.push_back(arg);
        } else if (std::any_of(kTextOptions.begin(), kTextOptions.end(),
                               [&](const TextOption& o) { return name == o.option; })) {
            if (equals != std::string::npos)
                options.values[name] = arg.substr(equals + 1);
            else if (i + 1 < args.size())
                options.values[name] = args[++i];
            else
                throw UsageError(name + " needs a value");
        } else if (arg.starts_with("-")) {
            throw UsageError("unknown option " + Printable(arg));
        } else {
            options.positional.push_back(arg);
        }
    }
    return options;
}

std::int64_t UsersCommand::UserId(const Options& options) const {
    if (options.positional.size() != 2)
        throw UsageError("name the user by the ID that \"quelmark users list\" shows");
    const std::string& text = options.positional[1];
    std::int64_t id = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), id);
    if (ec != std::errc() || end != text.data() + text.size() || id <= 0)
        throw UsageError("\"" + Printable(text) + "\" is not a user ID");
    return id;
}

bool UsersCommand::OpenTable() {
    return users_.OpenTable();
}

int UsersCommand::List() {
    if (!OpenTable()) return 1;
    const auto& rows = users_.Table().Rows();
    if (rows.empty()) {
        out_ << "No users yet. Add the first one with \"quelmark users add\" (\"quelmark users --help\" "
                "shows how).\n";
        return 0;
    }
    const LoginStore logins = ReadLogins();
    std::vector<std::vector<std::string>> table(1, {"ID"});
    for (UserField field : kListed) table[0].push_back(InfoOf(field).name);
    table[0].push_back("Log-in");
    for (const UserRecord& row : rows) {
        std::vector<std::string>& cells = table.emplace_back(1, std::to_string(row.rowId));
        for (UserField field : kListed) cells.push_back(Cell(row, field));
        cells.push_back(LoginCell(logins, row));
    }
    std::vector<std::size_t> widths(table[0].size(), 0);
    for (const auto& cells : table)
        for (std::size_t c = 0; c < cells.size(); ++c) widths[c] = std::max(widths[c], Width(cells[c]));
    for (const auto& cells : table) PrintRow(out_, cells, widths);
    return 0;
}

// A damaged QLKLOGIN.JSON is said and left unread (Load keeps nothing of
// it): the transfer then logs every account in with its password too.
LoginStore UsersCommand::ReadLogins() {
    LoginStore logins(workFolder_);
    try {
        logins.Load();
    } catch (const Exception& damaged) {
        err_ << damaged.what() << "; accounts log in with their passwords\n";
    }
    return logins;
}

int UsersCommand::Add(const Options& options) {
    if (!OpenTable()) return 1;
    const bool copy = options.Has("--copy-previous");
    users_.AskCopyValues = [copy] { return copy; };
    UserRecord row = users_.NewUser();
    ApplyOptions(options, row);
    if (options.Has("--password") || row.popPassword.empty()) row.popPassword = ReadPassword();
    return Store(row, "Added");
}

int UsersCommand::Edit(const Options& options) {
    const std::int64_t id = UserId(options);
    if (!OpenTable()) return 1;
    UserRecord row = users_.StoredUser(id);
    ApplyOptions(options, row);
    if (options.Has("--password")) row.popPassword = ReadPassword();
    return Store(row, "Changed");
}

int UsersCommand::Remove(const Options& options) {
    const std::int64_t id = UserId(options);
    if (!OpenTable()) return 1;
    const bool sure = options.Has("--yes");
    if (!sure && !inputIsTerminal_) {
        err_ << "quelmark users: without a terminal to ask, remove a user with --yes\n";
        return 1;
    }
    const UserRecord row = users_.StoredUser(id);
    users_.ConfirmDelete = [this, sure](const std::string& question) {
        if (sure) return true;
        const std::string answer = AskLine(question + "\n[y/N] ");
        return answer == "y" || answer == "Y" || answer == "yes";
    };
    if (!users_.DeleteUser(id)) return 1;
    out_ << "Removed user " << id << ": " << Printable(UserDirectory::Describe(row)) << '\n'
         << kServiceNote << '\n';
    return 0;
}

void UsersCommand::ApplyOptions(const Options& options, UserRecord& row) const {
    for (const TextOption& option : kTextOptions) {
        if (const auto value = options.values.find(option.option); value != options.values.end())
            *row.Text(option.field) = value->second;
    }
    if (options.Has("--delete-mail")) row.deleteMail = true;
    if (options.Has("--keep-mail")) row.deleteMail = false;
    if (options.Has("--alias")) row.alias = true;
    if (options.Has("--no-alias")) row.alias = false;
}

int UsersCommand::Store(UserRecord& row, const char* done) {
    users_.StoreUser(row);
    out_ << done << " user " << row.rowId << ": " << Printable(UserDirectory::Describe(row)) << '\n'
         << kServiceNote << '\n';
    return 0;
}

// The terminal keeps what is typed to itself; a pipe gives its first line.
std::string UsersCommand::ReadPassword() {
    termios saved{};
    const bool hide = inputIsTerminal_ && ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (hide) {
        termios silent = saved;
        silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
    }
    const std::string password = AskLine("POP Password: ");
    if (hide) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        err_ << '\n';
    }
    return password;
}

std::string UsersCommand::AskLine(const std::string& question) {
    if (inputIsTerminal_) err_ << question << std::flush;
    std::string line;
    std::getline(in_, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

}  // namespace qlk
