#include "net/TagFTP.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include "net/SocketMessages.h"
#include "platform/AtomicFile.h"
#include "platform/EventPump.h"

namespace qlk {

namespace {

// Downloads reach the disk in pieces of this size, whatever the receive size.
constexpr std::size_t kWriteChunk = 256 * 1024;

// Marks an operation as running for its whole extent.
class BusyScope {
public:
    explicit BusyScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~BusyScope() { flag_ = false; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    bool& flag_;
};

// The address bytes of a socket address, an IPv4-mapped IPv6 address read as
// the IPv4 address it carries; the port does not count.
std::string AddressBytes(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        return std::string(reinterpret_cast<const char*>(&v4.sin_addr), sizeof v4.sin_addr);
    }
    if (address.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
        const auto* bytes = reinterpret_cast<const char*>(&v6.sin6_addr);
        if (IN6_IS_ADDR_V4MAPPED(&v6.sin6_addr)) return std::string(bytes + 12, 4);
        return std::string(bytes, sizeof v6.sin6_addr);
    }
    return {};
}

std::optional<std::uint16_t> PortNumber(std::string_view digits) {
    unsigned value = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc() || end != digits.data() + digits.size() || value == 0 || value > 65535)
        return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

// "229 Entering Extended Passive Mode (|||6446|)": the port between the
// third and fourth of four equal delimiters (RFC 2428).
std::uint16_t ExtendedPassivePort(std::string_view reply) {
    auto open = reply.find('(');
    if (open == std::string_view::npos || reply.size() < open + 6) return 0;
    std::string_view rest = reply.substr(open + 1);
    const char delimiter = rest[0];
    if (delimiter < 33 || delimiter > 126 || rest[1] != delimiter || rest[2] != delimiter) return 0;
    auto close = rest.find(delimiter, 3);
    if (close == std::string_view::npos) return 0;
    return PortNumber(rest.substr(3, close - 3)).value_or(0);
}

// "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)", with or without the
// brackets: the port from the last two numbers. The host numbers are not
// used: the data connection goes to the control connection's peer.
std::uint16_t PassivePort(std::string_view reply) {
    std::string_view rest = reply.size() > 3 ? reply.substr(3) : std::string_view();
    if (auto open = rest.find('('); open != std::string_view::npos) rest.remove_prefix(open);
    auto first = rest.find_first_of("0123456789");
    if (first == std::string_view::npos) return 0;
    rest.remove_prefix(first);
    unsigned numbers[6] = {};
    for (int i = 0; i < 6; ++i) {
        auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), numbers[i]);
        if (ec != std::errc() || numbers[i] > 255) return 0;
        rest.remove_prefix(static_cast<std::size_t>(end - rest.data()));
        if (i < 5) {
            if (rest.empty() || rest[0] != ',') return 0;
            rest.remove_prefix(1);
        }
    }
    return static_cast<std::uint16_t>(numbers[4] << 8 | numbers[5]);
}

sockaddr_storage PeerAddress(int fd, socklen_t& length) {
    sockaddr_storage peer{};
    length = sizeof peer;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0) peer.ss_family = AF_UNSPEC;
    return peer;
}

}  // namespace

TagFTP::TagFTP() {
    ServiceName = "ftp";
    DefaultPort = 21;
}

TagFTP::~TagFTP() {
    CloseListener();
    CloseData();
}

void TagFTP::SetProxy(const std::string& value) {
    if (!value.empty() && value.find(':') == std::string::npos) RaiseError(smProxyPortRequired);
    proxy_ = value;
}

void TagFTP::Reset() {
    TagSocket::Reset();
    dataClosed_ = false;
    epsvRefused_ = false;
    pasvRefused_ = false;
    listingBusy_ = false;
    fileTransferBusy_ = false;
}

void TagFTP::Open() {
    if (Server.empty()) RaiseError(smServerRequired);
    Reset();
    TagSocket::Open();
}

void TagFTP::Close() {
    CloseListener();
    CloseData();
    TagSocket::Close();
}

void TagFTP::Connect() {
    if (Connected()) return;
    if (UseProxy) {
        realHost_ = Server;
        Server = proxy_;
    }
    try {
        Open();
        Login();
    } catch (...) {
        // A half-opened session must not pass for a logged-in one at the
        // next Connect.
        Close();
        if (UseProxy) Server = realHost_;
        throw;
    }
    if (UseProxy) Server = realHost_;
}

void TagFTP::Disconnect() {
    if (!Connected()) return;
    Logout();
    Close();
}

void TagFTP::Login() {
    ConnectSocket();
    RequireCode({220});
    if (!UseProxy) {
        SendCommand("USER " + UserName);
    } else if (ProxyType == fpProxyOpen) {
        SendCommand("OPEN " + realHost_);
        RequireCode({220});
        SendCommand("USER " + UserName);
    } else {
        SendCommand("USER " + UserName + "@" + realHost_);
    }
    RequireCode({230, 331, 332});
    // Some servers want the password even after 230.
    SendCommand("PASS " + Password, "PASS ****");
    RequireCode({230, 202});
}

void TagFTP::Logout() {
    SendCommand("QUIT");
    RequireClass(2);
}

void TagFTP::ChangeDir(const std::string& dir) {
    SendCommand("CWD " + dir);
    RequireClass(2);
}

void TagFTP::List() {
    if (listingBusy_ || fileTransferBusy_)
        RaiseErrorText("A transfer is already running", ErrorKind::General, false);
    BusyScope busy(listingBusy_);
    std::string listing;
    Transfer("TYPE A", "LIST", [&](std::string_view bytes) {
        if (listing.size() + bytes.size() > MaxListingBytes) {
            RaiseErrorText("Listing longer than " + std::to_string(MaxListingBytes) + " bytes",
                           ErrorKind::Transient, true);
        }
        listing.append(bytes);
    });
    DirList.ParseListing(listing);
}

void TagFTP::Get(const std::string& remoteName, const std::string& localName) {
    if (listingBusy_ || fileTransferBusy_)
        RaiseErrorText("A transfer is already running", ErrorKind::General, false);
    BusyScope busy(fileTransferBusy_);
    AtomicFile target(localName);
    std::string pending;
    long long received = 0;
    Transfer(TransferType == ftASCII ? "TYPE A" : "TYPE I", "RETR " + remoteName,
             [&](std::string_view bytes) {
                 received += static_cast<long long>(bytes.size());
                 if (MaxGetSize >= 0 && received > MaxGetSize) {
                     RaiseErrorText("File longer than " + std::to_string(MaxGetSize) + " bytes",
                                    ErrorKind::Transient, true);
                 }
                 pending.append(bytes);
                 if (pending.size() < kWriteChunk) return;
                 target.Write(pending);
                 pending.clear();
             });
    target.Write(pending);
    target.Commit();
}

void TagFTP::Transfer(const std::string& type, const std::string& command, const Sink& sink) {
    SendCommand(type);
    RequireClass(2);
    struct DataConnection {
        TagFTP& ftp;
        ~DataConnection() {
            ftp.CloseListener();
            ftp.CloseData();
        }
    } connection{*this};
    const bool passive = OpenPassiveData();
    if (!passive) {
        ListenForData();
        SendDataAddress();
    }
    SendCommand(command);
    RequireClass(1);
    if (!passive) AcceptData();
    try {
        ReceiveData(sink);
    } catch (...) {
        // The server is still in the middle of the transfer: the session is
        // out of step and cannot go on.
        Close();
        throw;
    }
    CloseData();
    RequireClass(2);
}

bool TagFTP::OpenPassiveData() {
    if (!Passive) return false;
    std::uint16_t port = 0;
    if (!epsvRefused_) {
        port = AskPassivePort("EPSV", 229);
        epsvRefused_ = port == 0;
    }
    socklen_t length = 0;
    // PASV has no form for IPv6 peers.
    if (port == 0 && !pasvRefused_ && PeerAddress(Handle(), length).ss_family == AF_INET) {
        port = AskPassivePort("PASV", 227);
        pasvRefused_ = port == 0;
    }
    if (port == 0) return false;
    ConnectData(port);
    return true;
}

std::uint16_t TagFTP::AskPassivePort(const std::string& command, int code) {
    SendCommand(command);
    if (ReadCompleteReply() != code) return 0;
    return code == 229 ? ExtendedPassivePort(LastReply()) : PassivePort(LastReply());
}

void TagFTP::ConnectData(std::uint16_t port) {
    socklen_t length = 0;
    sockaddr_storage peer = PeerAddress(Handle(), length);
    if (peer.ss_family == AF_INET)
        reinterpret_cast<sockaddr_in&>(peer).sin_port = htons(port);
    else if (peer.ss_family == AF_INET6)
        reinterpret_cast<sockaddr_in6&>(peer).sin6_port = htons(port);
    else
        RaiseError(wsaENOTCONN);
    data_ = ::socket(peer.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (data_ < 0) RaiseError(WinsockCodeFromErrno(errno));
    dataClosed_ = false;
    if (::connect(data_, reinterpret_cast<sockaddr*>(&peer), length) != 0 && errno != EINPROGRESS)
        RaiseError(WinsockCodeFromErrno(errno));
    TTimeCounter& timer = Timer();
    timer.Start();
    const bool ready = WaitForDescriptor(data_, POLLOUT);
    timer.Stop();
    if (!ready) RaiseTransferFailure();
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(data_, SOL_SOCKET, SO_ERROR, &error, &size) != 0) error = errno;
    if (error != 0) RaiseError(WinsockCodeFromErrno(error));
}

void TagFTP::ListenForData() {
    CheckConnected();
    // The listener takes the control connection's local address, so that the
    // server can reach it and nobody is offered more than that address.
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    if (::getsockname(Handle(), reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        RaiseError(WinsockCodeFromErrno(errno));
    }
    if (local.ss_family == AF_INET) reinterpret_cast<sockaddr_in&>(local).sin_port = 0;
    if (local.ss_family == AF_INET6) reinterpret_cast<sockaddr_in6&>(local).sin6_port = 0;
    listener_ = ::socket(local.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (listener_ < 0) RaiseError(WinsockCodeFromErrno(errno));
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&local), length) != 0 || ::listen(listener_, 5) != 0) {
        int error = errno;
        CloseListener();
        RaiseError(WinsockCodeFromErrno(error));
    }
}

void TagFTP::SendDataAddress() {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        RaiseError(WinsockCodeFromErrno(errno));
    }
    if (address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        const auto* bytes = reinterpret_cast<const unsigned char*>(&v4.sin_addr);
        unsigned port = ntohs(v4.sin_port);
        char text[64];
        std::snprintf(text, sizeof text, "PORT %d,%d,%d,%d,%u,%u", bytes[0], bytes[1], bytes[2], bytes[3],
                      port >> 8, port & 0xff);
        SendCommand(text);
    } else {
        // PORT has no form for IPv6 addresses.
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
        char text[INET6_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
        SendCommand("EPRT |2|" + std::string(text) + "|" + std::to_string(ntohs(v6.sin6_port)) + "|");
    }
    RequireClass(2);
}

bool TagFTP::FromControlPeer(const sockaddr_storage& address) const {
    socklen_t length = 0;
    std::string expected = AddressBytes(PeerAddress(Handle(), length));
    return !expected.empty() && AddressBytes(address) == expected;
}

void TagFTP::AcceptData() {
    TTimeCounter& timer = Timer();
    timer.Start();
    while (data_ < 0 && WaitForDescriptor(listener_, POLLIN)) {
        sockaddr_storage peer{};
        socklen_t length = sizeof peer;
        int fd =
            ::accept4(listener_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0 && FromControlPeer(peer)) {
            data_ = fd;
            dataClosed_ = false;
            break;
        }
        // Only the server may feed the transfer; anyone else is turned away.
        if (fd >= 0) {
            ::close(fd);
            AddToTranscript("Refused a data connection from another address");
        } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNABORTED) {
            RaiseError(WinsockCodeFromErrno(errno));
        }
    }
    timer.Stop();
    CloseListener();
    if (data_ < 0) RaiseTransferFailure();
}

void TagFTP::ReceiveData(const Sink& sink) {
    using Clock = std::chrono::steady_clock;
    std::vector<char> buffer(std::clamp(TrasferBufferSize, 1u, MaxTransferBuffer));
    FireTransferProgress(0, 0);
    TTimeCounter& timer = Timer();
    if (Cancelled() || timer.TimedOut) RaiseTransferFailure();
    FireNotify(OnTransferStart);
    timer.Start();
    long long total = 0;
    auto lastPump = Clock::now();
    while (!dataClosed_ && data_ >= 0 && !Cancelled() && !TimeIsUp()) {
        ssize_t got = ::recv(data_, buffer.data(), buffer.size(), 0);
        if (got > 0) {
            timer.Start();
            CountSessionBytes(got);
            total += got;
            sink(std::string_view(buffer.data(), static_cast<std::size_t>(got)));
            FireTransferProgress(-1, total);
            // While data streams in, the window is still serviced a few
            // times a second, not after every chunk.
            if (Clock::now() - lastPump < std::chrono::milliseconds(TickMilliseconds)) continue;
        } else if (got == 0) {
            dataClosed_ = true;
            continue;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
            pollfd entry{data_, POLLIN, 0};
            ::poll(&entry, 1, TickMilliseconds);
        } else if (!Cancelled()) {
            RaiseError(WinsockCodeFromErrno(errno));
        }
        if (!Blocking) ProcessMessages();
        lastPump = Clock::now();
    }
    timer.Stop();
    if (!dataClosed_) RaiseTransferFailure();
    FireNotify(OnTransferEnd);
}

void TagFTP::RaiseTransferFailure() {
    if (Cancelled()) RaiseCanceled();
    if (Timer().TimedOut) RaiseTimedOut();
    RaiseError(wsaENOTCONN);
}

void TagFTP::FireTransferProgress(int perc, long long transferred) {
    if (OnTransferProgress) OnTransferProgress(*this, perc, transferred);
}

void TagFTP::CloseListener() noexcept {
    if (listener_ >= 0) ::close(listener_);
    listener_ = -1;
}

void TagFTP::CloseData() noexcept {
    if (data_ >= 0) ::close(data_);
    data_ = -1;
}

}  // namespace qlk
