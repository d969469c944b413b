#include "support/DovecotMailboxes.h"

#include <unistd.h>

#include <cstdio>

namespace qlk::test {

namespace fs = std::filesystem;

namespace {

std::string Quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

}  // namespace

DovecotMailboxes::DovecotMailboxes() : PeerProcess("run/master.pid") {}

std::unique_ptr<DovecotMailboxes> DovecotMailboxes::Start(const Users& users, std::string& why) {
    std::unique_ptr<DovecotMailboxes> peer(new DovecotMailboxes());
    std::string arguments;
    for (const auto& [user, password] : users) arguments += Quoted(user) + " " + Quoted(password) + " ";
    if (!peer->Launch("start_dovecot.sh", arguments, why)) return nullptr;
    return peer;
}

void DovecotMailboxes::AddMessage(const std::string& user, const std::string& bytes) {
    char name[64];
    std::snprintf(name, sizeof name, "%010d.M%06dP1.qlk", 1700000000 + added_, added_);
    ++added_;
    const fs::path file = Maildir(user) / "new" / name;
    WriteFileBytes(file, bytes);
    // The mailbox belongs to the unprivileged user Dovecot runs the session as.
    if (::chown(file.c_str(), 65534, 65534) != 0) return;
}

std::size_t DovecotMailboxes::MessageCount(const std::string& user) const {
    std::size_t count = 0;
    for (const char* sub : {"new", "cur"}) {
        for ([[maybe_unused]] const auto& entry : fs::directory_iterator(Maildir(user) / sub)) ++count;
    }
    return count;
}

}  // namespace qlk::test
