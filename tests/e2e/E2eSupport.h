#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "gateway/ConfigurationFile.h"
#include "gateway/Settings.h"
#include "gateway/UsersDatabase.h"
#include "mapi/PostOffice.h"
#include "support/TempDir.h"

namespace qlk::test {

// A working folder as an office sets one up: a post office with its
// mailboxes, the user table, QLK.CFG.
inline void PrepareWorkFolder(const std::filesystem::path& work, const std::vector<UserRecord>& rows,
                              const std::vector<std::string>& mailboxes, Settings settings = {}) {
    PostOffice office = PostOffice::Create(work);
    for (const auto& name : mailboxes) office.AddMailbox(name);
    UsersDatabase users(work / "users.DB");
    users.Open();
    for (const auto& row : rows) users.Insert(row);
    settings.AutoUpdate = false;
    WriteFileBytes(work / ConfigurationFile::FileName, ConfigurationFile::Format(settings));
}

// A user row that brings one POP3 account into one mailbox and deletes on the
// server what it fetched.
inline UserRecord MailboxRow(const std::string& mailbox, const std::string& popHost,
                             const std::string& popUser, const std::string& popPassword) {
    UserRecord row;
    row.name = row.mailbox = mailbox;
    row.popHost = popHost;
    row.popUserId = popUser;
    row.popPassword = popPassword;
    row.returnAddress = popUser + "@example.org";
    row.deleteMail = true;
    return row;
}

// Starts quelmark with ARGS in WORK, its output going to WORK/once.log,
// with ENVIRONMENT ("NAME=value") added to its own.
inline pid_t StartQuelmark(const std::filesystem::path& work, const std::vector<std::string>& args,
                           const std::vector<std::string>& environment = {}) {
    std::vector<char*> argv{const_cast<char*>(QLK_QUELMARK)};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const std::string log = (work / "once.log").string();
        if (::chdir(work.c_str()) != 0 || !std::freopen(log.c_str(), "a", stderr) ||
            ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
            ::_exit(126);
        }
        for (const std::string& setting : environment) ::putenv(const_cast<char*>(setting.c_str()));
        ::execv(QLK_QUELMARK, argv.data());
        ::_exit(127);
    }
    return pid;
}

inline pid_t StartOnce(const std::filesystem::path& work, const std::vector<std::string>& environment = {}) {
    return StartQuelmark(work, {"--once"}, environment);
}

// The exit status, or -1 when it did not end within LIMIT (it is killed).
inline int WaitFor(pid_t pid, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline int RunQuelmark(const std::filesystem::path& work, const std::vector<std::string>& args) {
    return WaitFor(StartQuelmark(work, args), std::chrono::seconds(50));
}

inline int RunOnce(const std::filesystem::path& work, const std::vector<std::string>& environment = {}) {
    return WaitFor(StartOnce(work, environment), std::chrono::seconds(50));
}

// The environment of an operator whose locale names days and months in
// German, built into FOLDER with localedef; none where the locale sources
// are missing (the "locales" package).
inline std::vector<std::string> GermanLocale(const std::filesystem::path& folder) {
    const std::filesystem::path locale = folder / "de_DE.UTF-8";
    const std::string command =
        "localedef -i de_DE -f UTF-8 '" + locale.string() + "' >/dev/null 2>&1";
    std::filesystem::create_directories(folder);
    if (std::system(command.c_str()) != 0 || !std::filesystem::exists(locale)) return {};
    return {"LOCPATH=" + folder.string(), "LC_ALL=de_DE.UTF-8"};
}

// Runs the post-office checker; its output is left in OUTPUT.
inline int RunChecker(const std::string& arguments, std::string& output) {
    const std::string command =
        std::string("/usr/bin/python3 ") + QLK_POSTOFFICE_CHECK + " " + arguments + " 2>&1";
    output.clear();
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return -1;
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline std::string Quoted(const std::filesystem::path& path) {
    return "'" + path.string() + "'";
}

}  // namespace qlk::test
