#include "net/TagSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <istream>
#include <limits>
#include <ostream>
#include <string_view>

#include "net/ECanceledError.h"
#include "net/EServerError.h"
#include "net/ESocketError.h"
#include "net/ETimedOutError.h"
#include "net/ServiceTable.h"
#include "net/SocketMessages.h"
#include "net/TlsChannel.h"
#include "platform/EventPump.h"

namespace qlk {

namespace {

struct ServerParts {
    std::string host;
    std::string port;
};

// "host", "host:port", "[v6]", "[v6]:port"; a text with more than one colon
// and no brackets is an IPv6 literal without a port.
ServerParts SplitServer(const std::string& server) {
    if (!server.empty() && server.front() == '[') {
        auto close = server.find(']');
        if (close != std::string::npos) {
            std::string rest = server.substr(close + 1);
            return {server.substr(1, close - 1), rest.empty() || rest[0] != ':' ? "" : rest.substr(1)};
        }
    }
    auto colon = server.find(':');
    if (colon == std::string::npos || server.find(':', colon + 1) != std::string::npos) return {server, ""};
    return {server.substr(0, colon), server.substr(colon + 1)};
}

// A decimal port 1..65535; anything else reads 0 (look the service up).
std::uint16_t ParsePort(const std::string& text) {
    unsigned value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value > 65535) return 0;
    return static_cast<std::uint16_t>(value);
}

std::string NumericHost(const sockaddr* address, socklen_t length) {
    char text[NI_MAXHOST] = {};
    if (getnameinfo(address, length, text, sizeof text, nullptr, 0, NI_NUMERICHOST) != 0) return {};
    return text;
}

const std::string_view kBlockEnd = "\r\n.\r\n";

// Percentage of `total` done; above 100 when the total was an underestimate,
// bounded so that an absurd size claimed by a server cannot overflow it.
int Percent(long long done, long long total) {
    if (total < 1) return -1;
    double value = std::round(static_cast<double>(done) * 100.0 / static_cast<double>(total));
    return static_cast<int>(std::min<double>(value, std::numeric_limits<int>::max()));
}

// The socket event TLS waits for, 0 when it waits for none.
short WaitedEvent(TlsChannel::Status status) {
    if (status == TlsChannel::Status::WantRead) return POLLIN;
    if (status == TlsChannel::Status::WantWrite) return POLLOUT;
    return 0;
}

}  // namespace

TagSocket::TagSocket() = default;

TagSocket::~TagSocket() {
    CloseDescriptor();
    if (!LogFileName.empty()) {
        std::ofstream out(LogFileName, std::ios::binary | std::ios::trunc);
        for (const auto& line : Transcript) out << line << '\n';
    }
}

void TagSocket::Reset() {
    cancelled_ = false;
    timer_.TimedOut = false;
    peerClosed_ = false;
}

void TagSocket::FireNotify(const TNotifyEvent& event) {
    if (event) event(*this);
}

void TagSocket::FireProgress(int perc, long long transferred) {
    if (OnProgress) OnProgress(*this, perc, transferred);
}

void TagSocket::AddToTranscript(const std::string& line) {
    if (!LogFileName.empty()) Transcript.push_back(line);
}

void TagSocket::Open() {
    if (RAS) RAS->Dial();
    FireNotify(OnOpen);
    if (Server.empty()) RaiseError(smServerRequired);
    if (Connected()) CloseDescriptor();
    if (SessionFloorSeconds > 0)
        sessionDeadline_.Start(std::chrono::seconds(SessionFloorSeconds), SessionMinBytesPerSecond);
    auto parts = SplitServer(ResolveEndpoint());
    host_ = parts.host;
    char name[512] = {};
    LocalHost = gethostname(name, sizeof name - 1) == 0 && name[0] ? name : parts.host;
    ResolveAddress(parts.host);
    ResolvePort(parts.port);
    CreateSocket(addresses_.front());
}

void TagSocket::ResolveAddress(const std::string& host) {
    addresses_.clear();
    NameResolver resolver(host, NameServers);
    timer_.Start();
    while (!resolver.Done() && !cancelled_ && !TimeIsUp()) {
        resolver.Step(TickMilliseconds);
        if (!Blocking) ProcessMessages();
    }
    timer_.Stop();
    if (!resolver.Done()) {
        if (timer_.TimedOut) RaiseTimedOut();
        RaiseCanceled();
    }
    if (resolver.Addresses().empty()) RaiseError(resolver.Failure());
    addresses_ = resolver.Addresses();
    const auto& first = addresses_.front();
    RemoteAddress = NumericHost(reinterpret_cast<const sockaddr*>(&first.storage), first.length);
    if (RemoteAddress.empty()) RaiseError(smErrorResolving);
}

void TagSocket::ResolvePort(const std::string& portText) {
    port_ = ParsePort(portText);
    if (port_ != 0) return;
    if (ServiceName.empty()) RaiseError(smServiceRequired);
    if (cancelled_) RaiseCanceled();
    // An unknown service silently falls back to the default port.
    port_ = ServiceTable::TcpPort(ServiceName);
    if (port_ == 0) port_ = DefaultPort;
}

void TagSocket::CreateSocket(const NameResolver::Address& address) {
    CloseDescriptor();
    fd_ = ::socket(address.storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) RaiseError(WinsockCodeFromErrno(errno));
    // Commands are short and always wait for their reply; without this the
    // end of a data block could sit in the send queue for a delayed ACK.
    int on = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

bool TagSocket::TryConnect(const NameResolver::Address& address, int& error) {
    sockaddr_storage target = address.storage;
    if (target.ss_family == AF_INET) {
        reinterpret_cast<sockaddr_in*>(&target)->sin_port = htons(port_);
    } else {
        reinterpret_cast<sockaddr_in6*>(&target)->sin6_port = htons(port_);
    }
    RemoteAddress = NumericHost(reinterpret_cast<const sockaddr*>(&target), address.length);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&target), address.length) == 0) return true;
    if (errno != EINPROGRESS && errno != EINTR) {
        error = errno;
        return false;
    }
    if (!WaitFor(POLLOUT)) RaiseWaitFailure();
    socklen_t length = sizeof error;
    if (getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
    return error == 0;
}

void TagSocket::ConnectSocket() {
    if (cancelled_) RaiseCanceled();
    if (addresses_.empty()) RaiseError(smNotConnected);
    timer_.Start();
    int error = 0;
    bool connected = false;
    // Every address of the name is tried in turn, so that "localhost" works
    // whether the server listens on IPv4 or IPv6.
    for (std::size_t i = 0; i < addresses_.size() && !connected; ++i) {
        if (!Connected() || i > 0) CreateSocket(addresses_[i]);
        connected = TryConnect(addresses_[i], error);
    }
    timer_.Stop();
    if (!connected) {
        // A socket whose connect failed is no connection: nothing may be
        // sent on it, and the descriptor must not outlive the failure.
        CloseDescriptor();
        RaiseError(WinsockCodeFromErrno(error));
    }
    rx_.clear();
    rxStart_ = 0;
    // What the server says first is its greeting, the answer to no command.
    sentCommand_.clear();
    FireNotify(OnConnected);
}

void TagSocket::CloseDescriptor() noexcept {
    if (tls_) {
        tls_->Shutdown();
        tls_.reset();
    }
    tlsWants_ = 0;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    rx_.clear();
    rxStart_ = 0;
}

void TagSocket::Close() {
    sessionDeadline_.Stop();
    if (Connected()) {
        FireNotify(OnClosing);
        CloseDescriptor();
        FireNotify(OnClosed);
    }
    if (RAS) RAS->Abort();
}

void TagSocket::Cancel() {
    cancelled_ = true;
    FireNotify(OnCancel);
    Close();
}

bool TagSocket::WaitFor(short events) {
    if (cancelled_ || !Connected() || TimeIsUp()) return false;
    // Decrypted bytes already waiting are never signalled by the socket.
    if ((events & POLLIN) && tls_ && tls_->Pending()) return true;
    return WaitForDescriptor(fd_, tlsWants_ != 0 ? tlsWants_ : events);
}

bool TagSocket::WaitForDescriptor(int fd, short events) {
    for (;;) {
        if (cancelled_ || !Connected() || TimeIsUp()) return false;
        pollfd entry{fd, events, 0};
        int ready = ::poll(&entry, 1, TickMilliseconds);
        if (ready > 0) return true;
        if (ready < 0 && errno != EINTR) RaiseError(WinsockCodeFromErrno(errno));
        if (!Blocking) ProcessMessages();
    }
}

bool TagSocket::TimeIsUp() {
    if (sessionDeadline_.Passed() || replyDeadline_.Passed()) timer_.TimedOut = true;
    return timer_.Check();
}

void TagSocket::RaiseWaitFailure() {
    if (cancelled_) RaiseCanceled();
    if (timer_.TimedOut) RaiseTimedOut();
    // The socket was closed under the wait without a cancel.
    RaiseError(wsaENOTCONN);
}

void TagSocket::CheckConnected() {
    if (!Connected()) RaiseError(smNotConnected);
}

std::string TagSocket::ReportError(std::string msg, ErrorKind kind) {
    timer_.Stop();
    reportedKind_ = kind;
    if (OnError) OnError(*this, msg);
    return msg;
}

void TagSocket::RaiseError(int code, bool closeConnection) {
    const ErrorKind kind = SocketErrorKind(code);
    std::string text = ReportError(SocketMessageText(code), kind);
    if (closeConnection || code == wsaECONNRESET) Close();
    throw ESocketError(text, code, kind);
}

void TagSocket::RaiseErrorText(std::string msg, ErrorKind kind, bool closeConnection) {
    std::string text = ReportError(std::move(msg), kind);
    if (closeConnection) Close();
    throw ESocketError(text, 0, kind);
}

void TagSocket::RaiseTimedOut() {
    std::string text = ReportError(SocketMessageText(smTimedOut), ErrorKind::Transient);
    Close();
    throw ETimedOutError(text);
}

void TagSocket::RaiseCanceled() {
    std::string text = ReportError(SocketMessageText(smCanceled), ErrorKind::Cancelled);
    throw ECanceledError(text);
}

int TagSocket::ReadCompleteReply() {
    const int code = ReadReply();
    if (!reply_.Complete()) throw EServerError(reply_);
    return code;
}

void TagSocket::RequireClass(int replyClass) {
    if (ReadCompleteReply() / 100 != replyClass) throw EServerError(reply_);
}

int TagSocket::RequireCode(std::initializer_list<int> codes) {
    const int code = ReadCompleteReply();
    if (std::find(codes.begin(), codes.end(), code) == codes.end()) throw EServerError(reply_);
    return code;
}

void TagSocket::CheckCommandValue(const std::string& what, const std::string& value) {
    if (value.find_first_of("\r\n") != std::string::npos) {
        RaiseErrorText(what + " holds a line break and cannot be sent", ErrorKind::Permanent, false);
    }
}

void TagSocket::SendCommand(const std::string& line, const std::string& shown) {
    CheckCommandValue("Command", line);
    SendLine(line, shown);
}

bool TagSocket::FillBuffer() {
    if (peerClosed_) return false;
    if (rxStart_ > 0 && rxStart_ == rx_.size()) {
        rx_.clear();
        rxStart_ = 0;
    } else if (rxStart_ > ReceiveChunk * 4) {
        rx_.erase(0, rxStart_);
        rxStart_ = 0;
    }
    std::size_t old = rx_.size();
    rx_.resize(old + ReceiveChunk);
    ssize_t got = ReceiveSome(rx_.data() + old, ReceiveChunk);
    int error = errno;
    rx_.resize(old + static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
    if (got > 0) {
        sessionDeadline_.Count(got);
        return true;
    }
    if (got == 0) {
        peerClosed_ = true;
        return false;
    }
    if (error != EAGAIN && error != EWOULDBLOCK && error != EINTR && !cancelled_) {
        RaiseError(WinsockCodeFromErrno(error));
    }
    return true;
}

void TagSocket::Consume(std::size_t count) {
    rxStart_ += count;
    if (rxStart_ == rx_.size()) {
        rx_.clear();
        rxStart_ = 0;
    }
}

void TagSocket::WaitForData() {
    if (Buffered() > 0 || peerClosed_) return;
    timer_.Start();
    bool ready = WaitFor(POLLIN);
    timer_.Stop();
    if (!ready) RaiseWaitFailure();
}

void TagSocket::SendAll(const char* data, std::size_t size, bool renewPerChunk) {
    std::size_t sent = 0;
    while (sent < size) {
        if (!Blocking) ProcessMessages();
        if (cancelled_ || !Connected()) break;
        ssize_t count = SendSome(data + sent, size - sent);
        if (count > 0) {
            sent += static_cast<std::size_t>(count);
            sessionDeadline_.Count(count);
            if (renewPerChunk) timer_.Start();
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            RaiseError(WinsockCodeFromErrno(errno));
        if (!WaitFor(POLLOUT)) break;
    }
    timer_.Stop();
    if (sent < size) RaiseWaitFailure();
}

ssize_t TagSocket::ReceiveSome(char* data, std::size_t size) {
    if (!tls_) return ::recv(fd_, data, size, 0);
    std::size_t count = 0;
    auto status = tls_->Read(data, size, count);
    tlsWants_ = WaitedEvent(status);
    if (status == TlsChannel::Status::Done) return static_cast<ssize_t>(count);
    if (status == TlsChannel::Status::Closed) return 0;
    if (status == TlsChannel::Status::Failed) RaiseErrorText(tls_->FailureText(), ErrorKind::Transient, true);
    errno = EAGAIN;
    return -1;
}

ssize_t TagSocket::SendSome(const char* data, std::size_t size) {
    if (!tls_) return ::send(fd_, data, size, SendFlags | MSG_NOSIGNAL);
    std::size_t count = 0;
    auto status = tls_->Write(data, size, count);
    tlsWants_ = WaitedEvent(status);
    if (status == TlsChannel::Status::Done) return static_cast<ssize_t>(count);
    if (status == TlsChannel::Status::Failed) RaiseErrorText(tls_->FailureText(), ErrorKind::Transient, true);
    if (status == TlsChannel::Status::Closed) RaiseError(wsaECONNRESET);
    errno = EAGAIN;
    return -1;
}

void TagSocket::StartTls() {
    CheckConnected();
    // Bytes that came before the handshake were not protected by it: read
    // afterwards they would pass for the server's answers over TLS.
    if (Buffered() > 0)
        RaiseErrorText("Server sent data before the TLS handshake", ErrorKind::Transient, true);
    tls_ = std::make_unique<TlsChannel>(fd_, host_, TrustFileName);
    timer_.Start();
    for (;;) {
        auto status = tls_->Handshake();
        if (status == TlsChannel::Status::Done) break;
        tlsWants_ = WaitedEvent(status);
        if (tlsWants_ == 0) {
            std::string why = tls_->FailureText();
            if (why.empty())
                why = "TLS handshake with " + host_ + " failed: the server closed the connection";
            RaiseErrorText(why, ErrorKind::Transient, true);
        }
        if (!WaitFor(tlsWants_)) RaiseWaitFailure();
    }
    tlsWants_ = 0;
    timer_.Stop();
}

void TagSocket::SendLine(const std::string& line, const std::string& shown) {
    CheckConnected();
    std::string data = line + "\r\n";
    timer_.Start();
    SendAll(data.data(), data.size(), false);
    sentCommand_ = shown.empty() ? line : shown;
    AddToTranscript(sentCommand_);
    if (OnLineSent) OnLineSent(*this, sentCommand_);
}

bool TagSocket::PeerClosed() {
    if (!Connected() || peerClosed_) return true;
    pollfd entry{fd_, POLLIN | POLLRDHUP, 0};
    if (::poll(&entry, 1, 0) <= 0) return false;
    return (entry.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL)) != 0;
}

int TagSocket::ReadLine(std::string& line) {
    ReplyScope reply(*this);
    return ReceiveLine(line) ? GetReplyCode(line) : -1;
}

void TagSocket::CheckLineLength(std::size_t length) {
    if (length > MaxLineLength) {
        RaiseErrorText("Reply line longer than " + std::to_string(MaxLineLength) + " bytes",
                       ErrorKind::Transient, true);
    }
}

bool TagSocket::ReceiveLine(std::string& line) {
    CheckConnected();
    WaitForData();
    if (replyDepth_ > 0 && !replyDeadline_.Running())
        replyDeadline_.Start(
            std::chrono::seconds(std::max(1, ReplyDeadline > 0 ? ReplyDeadline : TimeOut())));
    timer_.Start();
    if (!Blocking) ProcessMessages();
    line.clear();
    bool whole = false;
    std::size_t scanned = 0;
    for (;;) {
        std::string_view pending(rx_.data() + rxStart_, Buffered());
        auto end = pending.find('\n', scanned);
        if (end != std::string_view::npos) {
            std::string_view text = pending.substr(0, end + 1);
            while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.remove_suffix(1);
            CheckLineLength(text.size());
            line.assign(text);
            Consume(end + 1);
            whole = true;
            break;
        }
        scanned = pending.size();
        // The line end may still come as CR LF after a line of the greatest length.
        if (scanned > 2) CheckLineLength(scanned - 2);
        if (peerClosed_) {
            // The peer closed part way through a line: there is no line.
            Consume(Buffered());
            break;
        }
        if (!WaitFor(POLLIN)) break;
        FillBuffer();
    }
    timer_.Stop();
    if (!whole && !peerClosed_) {
        if (timer_.TimedOut) RaiseTimedOut();
        if (cancelled_) RaiseCanceled();
    }
    AddToTranscript(line);
    if (OnLineReceived) OnLineReceived(*this, line);
    return whole;
}

int TagSocket::ReadReply() {
    ReplyScope scope(*this);
    reply_ = ServerReply(replyForm_, sentCommand_);
    std::string line;
    if (!ReceiveLine(line)) return -1;
    reply_.AddLine(line);
    const int code = reply_.Code();
    if (replyForm_ != ServerReply::Form::Numeric || code <= 0 || line.find('-') != 3) return code;
    // Continuation lines carry "-" after the code; the last line a blank, or
    // nothing at all after the code.
    for (int lines = 1;; ++lines) {
        if (lines >= MaxReplyLines) {
            RaiseErrorText("Reply longer than " + std::to_string(MaxReplyLines) + " lines",
                           ErrorKind::Transient, true);
        }
        if (!ReceiveLine(line) && peerClosed_) {
            reply_.MarkCut();
            break;
        }
        reply_.AddLine(line);
        if (GetReplyCode(line) == code && (line.size() == 3 || line.find(' ') == 3)) break;
    }
    return code;
}

void TagSocket::ReceiveToStream(std::ostream& stream, long long expectedSize, long long maxSize) {
    CheckConnected();
    if (SizeInLines && expectedSize != -1) expectedSize *= 76;
    WaitForData();
    long long position = std::max<long long>(0, static_cast<long long>(stream.tellp()));
    const long long start = position;
    // The block is read as if a line end came before it, so that a block
    // that is only ".\r\n" ends too.
    std::string tail = "\r\n";
    bool finished = false;
    timer_.Start();
    while (!finished) {
        if (Buffered() == 0) {
            if (peerClosed_) {
                RaiseError(wsaECONNABORTED, true);
            }
            if (WaitFor(POLLIN)) FillBuffer();
        }
        FireProgress(Percent(position, expectedSize), position);
        std::size_t available = Buffered();
        if (available > 0) {
            std::string_view chunk(rx_.data() + rxStart_, available);
            std::string joint = tail + std::string(chunk.substr(0, std::min<std::size_t>(4, chunk.size())));
            std::size_t take = available;
            auto atJoint = joint.find(kBlockEnd);
            if (atJoint != std::string::npos) {
                take = atJoint + kBlockEnd.size() - tail.size();
                finished = true;
            } else if (auto inside = chunk.find(kBlockEnd); inside != std::string_view::npos) {
                take = inside + kBlockEnd.size();
                finished = true;
            }
            stream.write(chunk.data(), static_cast<std::streamsize>(take));
            position += static_cast<long long>(take);
            std::string_view taken = chunk.substr(0, take);
            tail = (tail + std::string(taken.substr(taken.size() - std::min<std::size_t>(4, taken.size()))));
            tail.erase(0, tail.size() > 4 ? tail.size() - 4 : 0);
            Consume(take);
            timer_.Start();
            if (!finished && maxSize != -1 && position - start > maxSize) {
                RaiseErrorText("Data block longer than " + std::to_string(maxSize) + " bytes",
                               ErrorKind::Transient, true);
            }
        }
        if (!finished) {
            if (!Blocking && available > 0) ProcessMessages();
            // A handler may have closed the socket under the wait.
            if (cancelled_ || !Connected() || TimeIsUp()) break;
        }
    }
    timer_.Stop();
    if (!finished) RaiseWaitFailure();
}

long long TagSocket::StreamSize(std::istream& stream) {
    stream.clear();
    stream.seekg(0, std::ios::end);
    long long size = std::max<long long>(0, static_cast<long long>(stream.tellg()));
    stream.seekg(0);
    return size;
}

void TagSocket::SendStream(std::istream& stream) {
    CheckConnected();
    long long size = StreamSize(stream);
    if (!LogFileName.empty()) Transcript.push_back("Suppressing the message body");
    std::vector<char> buffer(ReceiveChunk);
    long long position = 0;
    for (;;) {
        stream.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        auto count = static_cast<std::size_t>(stream.gcount());
        timer_.Start();
        SendAll(buffer.data(), count, true);
        position += static_cast<long long>(count);
        FireProgress(size > 0 ? Percent(position, size) : 100, position);
        if (count < buffer.size()) break;
    }
    FireProgress(0, 0);
}

}  // namespace qlk
