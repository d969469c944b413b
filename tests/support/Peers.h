#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "support/TempDir.h"

namespace qlk::test {

// A real protocol server started by a script of tests/peers/ in a private
// folder, listening on 127.0.0.1 and a free high port; stopped when freed.
class PeerProcess {
public:
    virtual ~PeerProcess();
    std::uint16_t Port() const { return port_; }
    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }
    const std::filesystem::path& Dir() const { return dir_.path(); }

protected:
    PeerProcess(std::filesystem::path pidFile);
    // Ends the process whose id the file holds, waiting a little for it.
    static void Stop(const std::filesystem::path& pidFile);
    // Runs the script with DIR and PORT plus `arguments`; false when the
    // peer is not installed or does not start (the reason is in `why`).
    bool Launch(const std::string& script, const std::string& arguments, std::string& why);

private:
    TempDir dir_;
    std::uint16_t port_ = 0;
    std::filesystem::path pidFile_;
    bool running_ = false;
};

// Dovecot serving users' Maildirs over POP3; the first user is the one the
// calls without a user name mean.
class DovecotPeer : public PeerProcess {
public:
    using Users = std::vector<std::pair<std::string, std::string>>;  // user, password

    static std::unique_ptr<DovecotPeer> Start(const std::string& user, const std::string& password,
                                              std::string& why);
    static std::unique_ptr<DovecotPeer> Start(const Users& users, std::string& why);
    // Puts a message into the mailbox; a POP3 session sees it from its next log-in.
    void AddMessage(const std::string& bytes) { AddMessage(user_, bytes); }
    void AddMessage(const std::string& user, const std::string& bytes);
    // Messages in the Maildir, in cur/ and new/.
    std::size_t MessageCount() const { return MessageCount(user_); }
    std::size_t MessageCount(const std::string& user) const;
    std::filesystem::path Maildir() const { return Maildir(user_); }
    std::filesystem::path Maildir(const std::string& user) const { return Dir() / "mail" / user; }

protected:
    DovecotPeer();
    std::string user_;
    int added_ = 0;
};

// Dovecot that also takes OAuth 2.0 log-ins (XOAUTH2, OAUTHBEARER) with
// GoodToken() for the one user, checked at a local token check.
class OAuthDovecotPeer : public DovecotPeer {
public:
    static std::unique_ptr<OAuthDovecotPeer> Start(const std::string& user, const std::string& password,
                                                   std::string& why);
    ~OAuthDovecotPeer() override;
    static std::string GoodToken() { return std::string(3000, 'T') + ".good-token"; }

private:
    OAuthDovecotPeer() = default;
};

// aiosmtpd keeping every message's bytes as received.
class SmtpPeer : public PeerProcess {
public:
    static std::unique_ptr<SmtpPeer> Start(std::string& why);
    using Accounts = std::vector<std::pair<std::string, std::string>>;  // user, password or token
    // A relay without TLS listing AUTH PLAIN, LOGIN (PASSWORDS) and XOAUTH2
    // (TOKENS) that takes mail without a log-in, or answers MAIL FROM with
    // 530 until one when LOGINREQUIRED. Each envelope begins with
    // "AUTH:<login>\n" ("AUTH:\n" without one).
    static std::unique_ptr<SmtpPeer> StartLoginRelay(bool loginRequired, const Accounts& passwords,
                                                     const Accounts& tokens, std::string& why);
    // The messages received so far, oldest first (bytes, and the envelope
    // as "MAIL FROM:..." and "RCPT TO:..." lines).
    std::vector<std::string> Messages() const;
    std::vector<std::string> Envelopes() const;

protected:
    SmtpPeer();

private:
    std::vector<std::string> Read(const std::string& extension) const;
};

// QLK_REQUIRE_PEERS=1 turns a missing peer into a failure.
bool PeersRequired();

}  // namespace qlk::test

// In a test body: skip (or fail, when peers are required) without the peer.
#define QLK_NEED_PEER(peer, why)                                                   \
    do {                                                                           \
        if (!(peer)) {                                                             \
            if (::qlk::test::PeersRequired()) FAIL() << "peer missing: " << (why); \
            GTEST_SKIP() << "peer missing: " << (why);                             \
        }                                                                          \
    } while (false)
