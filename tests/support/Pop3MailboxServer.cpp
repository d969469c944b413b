#include "support/Pop3MailboxServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace qlk::test {

namespace {

constexpr int kPollMs = 50;
constexpr int kIdleLimitMs = 20000;
// Replies that are no reply: the session closes, or waits for the client.
const std::string kDrop = "\x01drop";
const std::string kSilence = "\x01silence";

bool SendAll(int fd, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

// The message as a data block: lines beginning with "." doubled, ended by ".".
std::string DataBlock(const std::string& message, int bodyLines) {
    std::string out;
    std::size_t start = 0;
    bool inBody = false;
    int lines = 0;
    while (start < message.size()) {
        std::size_t end = message.find('\n', start);
        end = end == std::string::npos ? message.size() : end + 1;
        std::string line = message.substr(start, end - start);
        start = end;
        if (inBody && bodyLines >= 0 && lines++ >= bodyLines) break;
        if (line == "\r\n" || line == "\n") inBody = true;
        if (!line.empty() && line[0] == '.') out += '.';
        out += line;
    }
    if (!out.empty() && out.back() != '\n') out += "\r\n";
    return out + ".\r\n";
}

int MessageNumber(const std::string& argument, std::size_t count, const std::vector<bool>& deleted) {
    try {
        const int n = std::stoi(argument);
        if (n >= 1 && static_cast<std::size_t>(n) <= count && !deleted[static_cast<std::size_t>(n - 1)])
            return n;
    } catch (...) {
    }
    return 0;
}

}  // namespace

Pop3MailboxServer::Pop3MailboxServer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener_, 8) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
}

Pop3MailboxServer::~Pop3MailboxServer() {
    stop_ = true;
    thread_.join();
    ::close(listener_);
}

void Pop3MailboxServer::AddUser(const std::string& user, const std::string& password) {
    std::lock_guard lock(mutex_);
    mailboxes_[user].password = password;
}

void Pop3MailboxServer::AddMessage(const std::string& user, const std::string& bytes) {
    std::lock_guard lock(mutex_);
    mailboxes_[user].messages.push_back({bytes, "uid-" + std::to_string(++uids_)});
}

void Pop3MailboxServer::SetFaults(const std::string& user, const Pop3Faults& faults) {
    std::lock_guard lock(mutex_);
    mailboxes_[user].faults = faults;
}

std::vector<std::string> Pop3MailboxServer::Messages(const std::string& user) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> messages;
    if (auto found = mailboxes_.find(user); found != mailboxes_.end())
        for (const Message& message : found->second.messages) messages.push_back(message.bytes);
    return messages;
}

std::vector<std::string> Pop3MailboxServer::Commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
}

int Pop3MailboxServer::Connections() const {
    std::lock_guard lock(mutex_);
    return connections_;
}

void Pop3MailboxServer::Serve() {
    while (!stop_) {
        pollfd entry{listener_, POLLIN, 0};
        if (::poll(&entry, 1, kPollMs) <= 0) continue;
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        {
            std::lock_guard lock(mutex_);
            ++connections_;
        }
        Session(fd);
        ::close(fd);
    }
}

void Pop3MailboxServer::Session(int fd) {
    if (!SendAll(fd, "+OK test POP3 server ready\r\n")) return;
    std::string buffer, user;
    bool loggedIn = false, quit = false;
    std::vector<bool> deleted;
    int idleMs = 0;
    while (!quit && !stop_ && idleMs < kIdleLimitMs) {
        const std::size_t end = buffer.find('\n');
        if (end == std::string::npos) {
            pollfd entry{fd, POLLIN, 0};
            if (::poll(&entry, 1, kPollMs) <= 0) {
                idleMs += kPollMs;
                continue;
            }
            char chunk[4096];
            const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0) return;
            buffer.append(chunk, static_cast<std::size_t>(n));
            idleMs = 0;
            continue;
        }
        std::string command = buffer.substr(0, end);
        buffer.erase(0, end + 1);
        if (!command.empty() && command.back() == '\r') command.pop_back();
        const std::string reply = Reply(command, user, loggedIn, deleted, quit);
        if (reply == kDrop) return;
        if (reply != kSilence && !SendAll(fd, reply)) return;
    }
}

std::string Pop3MailboxServer::Reply(const std::string& command, std::string& user, bool& loggedIn,
                                     std::vector<bool>& deleted, bool& quit) {
    std::lock_guard lock(mutex_);
    const std::size_t blank = command.find(' ');
    const std::string verb = command.substr(0, blank);
    const std::string argument = blank == std::string::npos ? "" : command.substr(blank + 1);
    commands_.push_back(verb == "PASS" ? "PASS ***" : command);
    if (verb == "QUIT") {
        if (loggedIn && mailboxes_[user].faults.refuseQuit) return "-ERR cannot expunge\r\n";
        if (loggedIn && mailboxes_[user].faults.stallQuit) return kSilence;
        quit = true;
        if (loggedIn) {
            auto& messages = mailboxes_[user].messages;
            for (std::size_t i = deleted.size(); i-- > 0;) {
                if (deleted[i]) messages.erase(messages.begin() + static_cast<std::ptrdiff_t>(i));
            }
        }
        return "+OK bye\r\n";
    }
    if (!loggedIn) {
        if (verb == "USER") {
            user = argument;
            return "+OK\r\n";
        }
        auto found = mailboxes_.find(user);
        if (verb == "PASS" && found != mailboxes_.end() && found->second.password == argument) {
            loggedIn = true;
            deleted.assign(found->second.messages.size(), false);
            return "+OK logged in\r\n";
        }
        return "-ERR [AUTH] Authentication failed.\r\n";
    }
    const std::vector<Message>& messages = mailboxes_[user].messages;
    const Pop3Faults& faults = mailboxes_[user].faults;
    const std::size_t count = deleted.size();
    if (verb == "STAT") {
        std::size_t live = 0, octets = 0;
        for (std::size_t i = 0; i < count; ++i) {
            if (!deleted[i]) ++live, octets += messages[i].bytes.size();
        }
        return "+OK " + std::to_string(live) + " " + std::to_string(octets) + "\r\n";
    }
    if (verb == "NOOP") return "+OK\r\n";
    if (verb == "RSET") {
        deleted.assign(count, false);
        return "+OK\r\n";
    }
    if (verb == "UIDL" && faults.noUidl) return "-ERR unknown command\r\n";
    if ((verb == "LIST" || verb == "UIDL") && argument.empty()) {
        std::string listing = "+OK\r\n";
        for (std::size_t i = 0; i < count; ++i) {
            if (deleted[i]) continue;
            listing += std::to_string(i + 1) + " " +
                       (verb == "LIST" ? std::to_string(messages[i].bytes.size()) : messages[i].uid) + "\r\n";
        }
        return listing + ".\r\n";
    }
    const int n = MessageNumber(argument, count, deleted);
    if (n == 0) return "-ERR no such message\r\n";
    const Message& message = messages[static_cast<std::size_t>(n - 1)];
    if (verb == "LIST") return "+OK " + std::to_string(n) + " " + std::to_string(message.bytes.size()) + "\r\n";
    if (verb == "UIDL") return "+OK " + std::to_string(n) + " " + message.uid + "\r\n";
    if (verb == "RETR" && n == faults.refuseRetr) return "-ERR message is locked\r\n";
    if (verb == "RETR" && n == faults.dropOnRetr) return kDrop;
    if (verb == "RETR") return "+OK\r\n" + DataBlock(message.bytes, -1);
    if (verb == "TOP") {
        const std::size_t lines = argument.find(' ');
        return "+OK\r\n" +
               DataBlock(message.bytes, lines == std::string::npos ? 0 : std::stoi(argument.substr(lines)));
    }
    if (verb == "DELE" && n == faults.refuseDele) return "-ERR cannot delete\r\n";
    if (verb == "DELE") {
        deleted[static_cast<std::size_t>(n - 1)] = true;
        return "+OK deleted\r\n";
    }
    return "-ERR unknown command\r\n";
}

}  // namespace qlk::test
