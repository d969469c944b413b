#include "support/ScriptServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace qlk::test {

struct ScriptServer::Step {
    std::function<void()> run;
    bool needsConnection;
};

namespace {

int ListenOnLoopback(std::uint16_t& port, bool ipv6 = false) {
    int fd = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket failed");
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_storage address{};
    socklen_t length = 0;
    if (ipv6) {
        auto& v6 = reinterpret_cast<sockaddr_in6&>(address);
        v6.sin6_family = AF_INET6;
        v6.sin6_addr = in6addr_loopback;
        length = sizeof v6;
    } else {
        auto& v4 = reinterpret_cast<sockaddr_in&>(address);
        v4.sin_family = AF_INET;
        v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        length = sizeof v4;
    }
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd, 8) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        throw std::runtime_error(ipv6 ? "cannot listen on ::1" : "cannot listen on 127.0.0.1");
    }
    port = ntohs(ipv6 ? reinterpret_cast<sockaddr_in6&>(address).sin6_port
                      : reinterpret_cast<sockaddr_in&>(address).sin_port);
    return fd;
}

constexpr int kReadLimitMs = 10000;

}  // namespace

ScriptServer::ScriptServer(Family family) : family_(family) {
    listener_ = ListenOnLoopback(port_, family == Family::IPv6);
}

ScriptServer::~ScriptServer() {
    Join();
    CloseConnection(false);
    if (listener_ >= 0) ::close(listener_);
    if (dataListener_ >= 0) ::close(dataListener_);
}

std::string ScriptServer::Address() const {
    return (family_ == Family::IPv6 ? "[::1]:" : "127.0.0.1:") + std::to_string(port_);
}

ScriptServer& ScriptServer::Send(std::string bytes) {
    Add([this, bytes] {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            ssize_t n = ::send(connection_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return;
            sent += static_cast<std::size_t>(n);
        }
    });
    return *this;
}

ScriptServer& ScriptServer::SendSplit(std::vector<std::string> pieces) {
    for (auto& piece : pieces) {
        Send(std::move(piece));
        Stall(std::chrono::milliseconds(20));
    }
    return *this;
}

bool ScriptServer::ReadMore() {
    if (connection_ < 0) return false;
    pollfd entry{connection_, POLLIN, 0};
    if (::poll(&entry, 1, kReadLimitMs) <= 0) return false;
    char buffer[65536];
    ssize_t n = ::recv(connection_, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    std::lock_guard lock(mutex_);
    bytes_.append(buffer, static_cast<std::size_t>(n));
    pending_.append(buffer, static_cast<std::size_t>(n));
    return true;
}

std::string ScriptServer::TakeLine() {
    for (;;) {
        auto end = pending_.find('\n');
        if (end != std::string::npos) {
            std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return line;
        }
        if (!ReadMore()) {
            std::string rest;
            rest.swap(pending_);
            return rest;
        }
    }
}

ScriptServer& ScriptServer::Line() {
    Add([this] {
        std::string line = TakeLine();
        std::lock_guard lock(mutex_);
        lines_.push_back(line);
    });
    return *this;
}

ScriptServer& ScriptServer::Data() {
    Add([this] {
        // The block is only ".\r\n" or ends with CR LF "." CR LF.
        auto endOfBlock = [this]() -> std::size_t {
            if (pending_.compare(0, 3, ".\r\n") == 0) return 3;
            auto at = pending_.find("\r\n.\r\n");
            return at == std::string::npos ? at : at + 5;
        };
        std::size_t end;
        while ((end = endOfBlock()) == std::string::npos && ReadMore()) {
        }
        if (end == std::string::npos) end = pending_.size();
        std::lock_guard lock(mutex_);
        data_.push_back(pending_.substr(0, end));
        pending_.erase(0, end);
    });
    return *this;
}

ScriptServer& ScriptServer::Bytes(std::size_t count) {
    Add([this, count] {
        while (pending_.size() < count && ReadMore()) {
        }
        std::size_t take = std::min(count, pending_.size());
        std::lock_guard lock(mutex_);
        data_.push_back(pending_.substr(0, take));
        pending_.erase(0, take);
    });
    return *this;
}

void ScriptServer::CloseConnection(bool reset) {
    if (connection_ < 0) return;
    if (reset) {
        linger option{1, 0};
        setsockopt(connection_, SOL_SOCKET, SO_LINGER, &option, sizeof option);
    }
    ::close(connection_);
    connection_ = -1;
}

ScriptServer& ScriptServer::Drop() {
    Add([this] { CloseConnection(false); });
    return *this;
}

ScriptServer& ScriptServer::Abort() {
    Add([this] { CloseConnection(true); });
    return *this;
}

ScriptServer& ScriptServer::Stall(std::chrono::milliseconds time) {
    Add([time] { std::this_thread::sleep_for(time); });
    return *this;
}

ScriptServer& ScriptServer::Trickle(std::string bytes, std::chrono::milliseconds every,
                                    std::chrono::milliseconds limit) {
    Add([this, bytes, every, limit] {
        for (auto end = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < end;) {
            if (::send(connection_, bytes.data(), bytes.size(), MSG_NOSIGNAL) <= 0) return;
            pollfd entry{connection_, POLLIN, 0};
            if (::poll(&entry, 1, static_cast<int>(every.count())) > 0 && !ReadMore()) return;
        }
    });
    return *this;
}

std::uint16_t ScriptServer::DataPort() {
    if (dataListener_ < 0) dataListener_ = ListenOnLoopback(dataPort_, family_ == Family::IPv6);
    return dataPort_;
}

ScriptServer& ScriptServer::ServeData(std::function<void(int fd)> serve) {
    DataPort();
    Add([this, serve] {
        pollfd entry{dataListener_, POLLIN, 0};
        if (::poll(&entry, 1, kReadLimitMs) <= 0) return;
        int fd = ::accept4(dataListener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) return;
        serve(fd);
    });
    return *this;
}

ScriptServer& ScriptServer::Accept() {
    steps_.push_back({[this] {
                          CloseConnection(false);
                          pending_.clear();
                          AcceptOne();
                      },
                      false});
    return *this;
}

ScriptServer& ScriptServer::Do(std::function<void()> step) {
    Add(std::move(step));
    return *this;
}

void ScriptServer::Add(std::function<void()> run) {
    steps_.push_back({std::move(run), true});
}

void ScriptServer::AcceptOne() {
    pollfd entry{listener_, POLLIN, 0};
    if (::poll(&entry, 1, kReadLimitMs) <= 0) return;
    connection_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection_ >= 0) {
        int on = 1;
        setsockopt(connection_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        std::lock_guard lock(mutex_);
        ++connections_;
    }
}

void ScriptServer::Run() {
    AcceptOne();
    for (auto& step : steps_) {
        if (connection_ < 0 && step.needsConnection) continue;
        step.run();
    }
    // Record whatever else the client sends until it closes.
    while (ReadMore()) {
    }
    CloseConnection(false);
}

void ScriptServer::Start() {
    thread_ = std::thread([this] { Run(); });
}

void ScriptServer::Join() {
    if (thread_.joinable()) thread_.join();
}

std::vector<std::string> ScriptServer::ReceivedLines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

std::vector<std::string> ScriptServer::ReceivedData() const {
    std::lock_guard lock(mutex_);
    return data_;
}

std::string ScriptServer::ReceivedBytes() const {
    std::lock_guard lock(mutex_);
    return bytes_;
}

int ScriptServer::Connections() const {
    std::lock_guard lock(mutex_);
    return connections_;
}

std::uint16_t FreeLoopbackPort() {
    std::uint16_t port = 0;
    ::close(ListenOnLoopback(port));
    return port;
}

}  // namespace qlk::test
