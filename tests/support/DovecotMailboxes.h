#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "support/Peers.h"

namespace qlk::test {

// Dovecot serving several users' Maildirs over POP3, each with its password.
class DovecotMailboxes : public PeerProcess {
public:
    using Users = std::vector<std::pair<std::string, std::string>>;  // user, password

    static std::unique_ptr<DovecotMailboxes> Start(const Users& users, std::string& why);

    // Puts a message into USER's mailbox; a POP3 session sees it from its
    // next log-in.
    void AddMessage(const std::string& user, const std::string& bytes);
    // Messages in USER's Maildir (new/ and cur/).
    std::size_t MessageCount(const std::string& user) const;
    std::filesystem::path Maildir(const std::string& user) const { return Dir() / "mail" / user; }

private:
    DovecotMailboxes();
    int added_ = 0;
};

}  // namespace qlk::test
