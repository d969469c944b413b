#include "net/LoopbackRedirect.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

#include "net/ECanceledError.h"
#include "net/ETimedOutError.h"
#include "platform/EventPump.h"
#include "platform/Exception.h"

namespace qlk {

namespace {

constexpr int kTickMilliseconds = 50;
constexpr auto kRequestTime = std::chrono::seconds(10);

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string PercentDecode(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
                   HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool Readable(int fd) {
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, kTickMilliseconds) > 0;
}

}  // namespace

LoopbackRedirect::LoopbackRedirect() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 4) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (listener_ >= 0) ::close(listener_);
        throw Exception("Cannot listen on 127.0.0.1 for the sign-in");
    }
    port_ = ntohs(address.sin_port);
}

LoopbackRedirect::~LoopbackRedirect() {
    ::close(listener_);
}

std::string LoopbackRedirect::Uri() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/";
}

std::string LoopbackRedirect::ReadRequestLine(int connection,
                                              std::chrono::steady_clock::time_point deadline) const {
    std::string bytes;
    char buffer[1024];
    while (std::chrono::steady_clock::now() < deadline && bytes.find('\n') == std::string::npos &&
           bytes.size() < MaxRequestBytes) {
        if (!Readable(connection)) continue;
        const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
        if (got <= 0) break;
        bytes.append(buffer, static_cast<std::size_t>(std::min<ssize_t>(got, sizeof buffer)));
    }
    const std::size_t end = bytes.find_first_of("\r\n");
    return end == std::string::npos ? std::string() : bytes.substr(0, end);
}

std::string LoopbackRedirect::WaitForQuery(std::chrono::seconds timeout,
                                           const std::function<bool()>& cancelled, const std::string& page) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        ProcessMessages();
        if (cancelled && cancelled()) throw ECanceledError("Operation has been canceled");
        if (!Readable(listener_)) continue;
        const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) continue;
        const std::string line =
            ReadRequestLine(connection, std::min(deadline, std::chrono::steady_clock::now() + kRequestTime));
        // "GET /?code=...&state=... HTTP/1.1"
        const std::size_t question = line.rfind("GET /", 0) == 0 ? line.find('?') : std::string::npos;
        const std::size_t blank = line.find(' ', 4);
        const bool answered = question != std::string::npos && blank != std::string::npos && question < blank;
        const std::string body = answered ? page : std::string("Not found");
        const std::string reply =
            std::string(answered ? "HTTP/1.1 200 OK" : "HTTP/1.1 404 Not Found") +
            "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " + std::to_string(body.size()) +
            "\r\nConnection: close\r\n\r\n" + body;
        // The page is small; a browser that left early costs nothing.
        (void)::send(connection, reply.data(), reply.size(), MSG_NOSIGNAL);
        ::close(connection);
        if (answered) return line.substr(question + 1, blank - question - 1);
    }
    throw ETimedOutError("Operation timed out");
}

std::string LoopbackRedirect::QueryValue(const std::string& query, const std::string& name) {
    std::size_t start = 0;
    while (start <= query.size()) {
        const std::size_t end = std::min(query.find('&', start), query.size());
        const std::string_view pair(query.data() + start, end - start);
        const std::size_t equals = pair.find('=');
        if (equals != std::string_view::npos && pair.substr(0, equals) == name)
            return PercentDecode(pair.substr(equals + 1));
        start = end + 1;
    }
    return {};
}

}  // namespace qlk
