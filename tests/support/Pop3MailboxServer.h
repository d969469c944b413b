#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qlk::test {

// What a mailbox's server does wrong, by message number in a session.
struct Pop3Faults {
    int refuseRetr = 0;   // "-ERR" to RETR n
    int dropOnRetr = 0;   // the connection closed instead of answering RETR n
    int refuseDele = 0;   // "-ERR" to DELE n
    bool refuseQuit = false;  // "-ERR" to QUIT, deleting nothing
    bool stallQuit = false;   // no answer to QUIT at all
    bool noUidl = false;      // "-ERR" to UIDL
};

// An in-process POP3 server on 127.0.0.1 and a free port that serves real
// mailboxes, one connection at a time: USER/PASS, STAT, LIST, TOP, RETR (dot-
// stuffed), DELE, UIDL, NOOP, RSET and QUIT (LIST and UIDL also as whole
// listings), with deletions carried out at QUIT as RFC 1939 says. Every
// message keeps its unique ID for life. It records every command it received.
class Pop3MailboxServer {
public:
    Pop3MailboxServer();
    ~Pop3MailboxServer();
    Pop3MailboxServer(const Pop3MailboxServer&) = delete;
    Pop3MailboxServer& operator=(const Pop3MailboxServer&) = delete;

    std::uint16_t Port() const { return port_; }
    std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }

    // Before or while serving.
    void AddUser(const std::string& user, const std::string& password);
    void AddMessage(const std::string& user, const std::string& bytes);
    void SetFaults(const std::string& user, const Pop3Faults& faults);

    std::vector<std::string> Messages(const std::string& user) const;
    // "USER alice", "RETR 1", ...; PASS lines read "PASS ***".
    std::vector<std::string> Commands() const;
    int Connections() const;

private:
    struct Message {
        std::string bytes;
        std::string uid;
    };
    struct Mailbox {
        std::string password;
        std::vector<Message> messages;
        Pop3Faults faults;
    };
    void Serve();
    void Session(int fd);
    std::string Reply(const std::string& command, std::string& user, bool& loggedIn,
                      std::vector<bool>& deleted, bool& quit);

    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::map<std::string, Mailbox> mailboxes_;
    std::vector<std::string> commands_;
    int connections_ = 0;
    int uids_ = 0;
    std::thread thread_;
};

}  // namespace qlk::test
