#pragma once

#include <sys/socket.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "net/DialUpLink.h"
#include "net/NameResolver.h"
#include "net/ServerReply.h"
#include "net/TTimeCounter.h"
#include "net/TransferDeadline.h"
#include "platform/Exception.h"

namespace qlk {

class TagSocket;
class TlsChannel;

using TNotifyEvent = std::function<void(TagSocket& sender)>;
// Perc is 0..100 (more when a size estimate was low), or -1 when the total is
// unknown; Transferred is the byte count so far.
using TmsProgressEvent = std::function<void(TagSocket& sender, int perc, long long transferred)>;
// The handler may rewrite Msg; the rewritten text becomes the exception's.
// It decides on sender.ReportedKind(), never on Msg.
using TmsErrorEvent = std::function<void(TagSocket& sender, std::string& msg)>;
using TmsLineTransmitEvent = std::function<void(TagSocket& sender, const std::string& line)>;

// A TCP client connection turned into sequential operations (open, connect,
// send a line, read a line or a reply, receive a data block, send a stream,
// close) on one thread. Every wait (the name look-up included) polls with a
// short tick and runs qlk::ProcessMessages() between ticks, so the window
// stays live, and ends on Cancel, after TimeOut whole seconds without a
// byte, or when a deadline passes: a reply must come whole within
// ReplyDeadline of its first byte, and a session (Open to Close) may be
// given a total deadline that grows with the bytes it moves. Every bound
// and deadline fails as a time-out does. Failures go to OnError
// first and are then raised: ESocketError, ETimedOutError, ECanceledError,
// each with its kind (platform/Exception.h). A protocol client's refusals
// are EServerError with the reply (Reply()), raised without OnError.
class TagSocket {
public:
    // Reply lines of the mail and file protocols are a few hundred bytes
    // (512 in RFC 5321 and 1939); 8 KiB leaves room for any real server.
    static constexpr std::size_t DefaultMaxLineLength = 8 * 1024;
    // EHLO, CAPA and FTP banners run to a few dozen lines.
    static constexpr int DefaultMaxReplyLines = 256;
    // Receive chunk of ReceiveToStream.
    static constexpr std::size_t ReceiveChunk = 16384;
    // Longest wait between two runs of the event pump.
    static constexpr int TickMilliseconds = 40;

    TagSocket();
    virtual ~TagSocket();
    TagSocket(const TagSocket&) = delete;
    TagSocket& operator=(const TagSocket&) = delete;

    // A host name, an IPv4 or IPv6 literal ("[::1]" when a port follows),
    // optionally followed by ":" and a port number.
    std::string Server;
    // When set, every line sent and received is kept in Transcript, which is
    // written to this file when the socket is freed.
    std::string LogFileName;
    // Used when the port is neither in Server nor found for ServiceName.
    std::uint16_t DefaultPort = 0;
    // ReceiveToStream's expected size counts lines of 76 bytes.
    bool SizeInLines = false;
    std::string ServiceName;
    // Waits do not run the event pump (time-outs and cancel still hold).
    bool Blocking = false;
    // Extra flags for every send.
    int SendFlags = 0;
    // Dial-up line brought up by Open and taken down by Close; not owned.
    DialUpLink* RAS = nullptr;
    // Certificates trusted for TLS besides the system's own (the office's CA
    // or a server's self-signed certificate); used when the file exists.
    std::string TrustFileName = "QLKCA.PEM";
    // Name servers to ask instead of /etc/resolv.conf's ("10.0.0.53" or
    // "10.0.0.53:5353", several separated by ","); empty: the system's.
    std::string NameServers;
    // Longest reply line, without its line end; a longer one fails the read
    // and closes the connection instead of being cut or read as two lines.
    // A SASL exchange whose challenges are longer raises it for its turn.
    std::size_t MaxLineLength = DefaultMaxLineLength;
    // Most lines one reply may have; a longer reply fails, with the bound in
    // the error's text, and closes the connection.
    int MaxReplyLines = DefaultMaxReplyLines;
    // Seconds a reply may take from its first byte to its last line (TimeOut
    // stays the limit of each wait for bytes); 0: TimeOut.
    int ReplyDeadline = 0;
    // A total deadline for each session, from Open to Close: this many
    // seconds, plus one second for every SessionMinBytesPerSecond bytes sent
    // or received meanwhile; 0: none.
    int SessionFloorSeconds = 0;
    long long SessionMinBytesPerSecond = 0;

    TNotifyEvent OnOpen, OnConnected, OnClosing, OnClosed, OnCancel;
    TmsProgressEvent OnProgress;
    TmsErrorEvent OnError;
    TmsLineTransmitEvent OnLineSent, OnLineReceived;

    std::vector<std::string> Transcript;
    // The last reply read by ReadReply, with the command it answers.
    const ServerReply& Reply() const { return reply_; }
    // Views of Reply(): its last line ("" when the reply was cut short or
    // never came), and every line of it.
    const std::string& LastReply() const { return reply_.LastLine(); }
    const std::vector<std::string>& ReplyLines() const { return reply_.Lines(); }
    // While OnError runs: the kind of the failure being reported.
    ErrorKind ReportedKind() const { return reportedKind_; }
    // Numeric text of the address connected to (or about to be).
    std::string RemoteAddress;
    std::string LocalHost;

    int TimeOut() const { return timer_.TimeOut; }
    void SetTimeOut(int seconds) { timer_.TimeOut = seconds; }
    bool TimedOut() const { return timer_.TimedOut; }
    std::uint16_t Port() const { return port_; }

    virtual void Reset();
    // The code of a reply line as the protocol's reply form reads it
    // (ServerReply::CodeOf): the first three characters as a decimal number,
    // -1 if they are not one; POP3: 1 for "+...", -1 for "-...", else 0.
    int GetReplyCode(const std::string& line) const { return ServerReply(replyForm_, {}).CodeOf(line); }
    virtual void Open();
    virtual void Close();
    // Callable from an event handler while a wait runs: that wait raises
    // ECanceledError.
    virtual void Cancel();

    void ConnectSocket();
    bool Connected() const { return fd_ >= 0; }
    // Starts TLS on the connection now: the handshake, with the server's
    // certificate checked against the host name of Server. Anything the
    // server sent before the handshake and not yet read ends the session
    // instead: it could only be an injected reply. A failure closes the
    // connection.
    void StartTls();
    bool TlsActive() const { return tls_ != nullptr; }
    // True once the peer has ended the connection (or it failed), whether or
    // not a read has noticed yet; a connection in that state cannot carry a
    // session any more.
    bool PeerClosed();
    // `shown`, when not empty, stands for the line in the transcript, in
    // OnLineSent and as the command of the reply that follows, so that a
    // secret never reaches a log.
    void SendLine(const std::string& line, const std::string& shown = {});
    // The reply code of the line read (GetReplyCode), -1 when the peer closed
    // before a whole line arrived; Line holds the text without its line end.
    int ReadLine(std::string& line);
    // Reads a reply into Reply(): a numeric one with its continuation lines
    // ("250-..."), or POP3's one status line. Returns the first line's
    // code, -1 when the peer closed before a whole line came.
    int ReadReply();
    // Appends a data block ending with the line "." to Stream, exactly as it
    // came, the "." line included. A block that grows beyond maxSize bytes
    // (when not -1) fails and closes the connection.
    void ReceiveToStream(std::ostream& stream, long long expectedSize, long long maxSize = -1);
    // Sends the whole stream from its start, as it is.
    void SendStream(std::istream& stream);

protected:
    // Makes the reads within its extent one reply with one deadline (the
    // lines of a multi-line POP3 reply read one by one); ReadReply and
    // ReadLine each hold one of their own, and scopes nest.
    class ReplyScope {
    public:
        explicit ReplyScope(TagSocket& socket) : socket_(socket) { ++socket_.replyDepth_; }
        ~ReplyScope() {
            if (--socket_.replyDepth_ == 0) socket_.replyDeadline_.Stop();
        }
        ReplyScope(const ReplyScope&) = delete;
        ReplyScope& operator=(const ReplyScope&) = delete;

    private:
        TagSocket& socket_;
    };

    // The "host[:port]" to connect to; a client whose Server carries more
    // (a scheme) reduces it here.
    virtual std::string ResolveEndpoint() { return Server; }
    void SetReplyForm(ServerReply::Form form) { replyForm_ = form; }
    // The error path: OnError with the table text, then ESocketError with
    // the code and its kind (SocketErrorKind); 10054 closes the connection.
    [[noreturn]] void RaiseError(int code, bool closeConnection = false);
    // The same path for a text of our own, of the given kind.
    [[noreturn]] void RaiseErrorText(std::string msg, ErrorKind kind, bool closeConnection);
    [[noreturn]] void RaiseTimedOut();
    [[noreturn]] void RaiseCanceled();
    // Fires OnError with MSG of the given kind; returns the text as the
    // handler left it, for the exception that follows.
    std::string ReportError(std::string msg, ErrorKind kind);
    // Reads a reply that must come whole: one the server cut short, or that
    // never came, raises EServerError with it (ConnectionLost). Returns its code.
    int ReadCompleteReply();
    // Reads a reply and raises EServerError with it unless it came whole and
    // its class (the code's first digit) is `replyClass`.
    void RequireClass(int replyClass);
    // The same for a reply whose code must be one of `codes`; returns it.
    int RequireCode(std::initializer_list<int> codes);
    // Sends one command line. A command built from a value that holds CR or
    // LF would smuggle a second command to the server: it is refused before
    // anything is sent (Permanent).
    void SendCommand(const std::string& line, const std::string& shown = {});
    void CheckCommandValue(const std::string& what, const std::string& value);
    void CheckConnected();
    void AddToTranscript(const std::string& line);
    void FireNotify(const TNotifyEvent& event);
    void FireProgress(int perc, long long transferred);
    bool Cancelled() const { return cancelled_; }
    // For protocols that open connections of their own beside this one
    // (the FTP data connection): the descriptor and the time-out clock.
    int Handle() const { return fd_; }
    TTimeCounter& Timer() { return timer_; }
    // True once the running wait must end for time: TimeOut without a byte,
    // or a deadline passed (which then counts as TimedOut too).
    bool TimeIsUp();
    // Polls `fd` for `events` a tick at a time, pumping between ticks, until
    // ready (true), or cancelled, closed or out of time (false).
    bool WaitForDescriptor(int fd, short events);
    // Bytes a connection of the protocol's own moved, for the session deadline.
    void CountSessionBytes(long long bytes) { sessionDeadline_.Count(bytes); }

private:
    void CloseDescriptor() noexcept;
    void ResolveAddress(const std::string& host);
    void ResolvePort(const std::string& portText);
    void CreateSocket(const NameResolver::Address& address);
    bool TryConnect(const NameResolver::Address& address, int& error);
    // Polls for `events` a tick at a time, pumping between ticks, until
    // ready (returns true), cancelled or timed out (returns false).
    bool WaitFor(short events);
    [[noreturn]] void RaiseWaitFailure();
    // Reads one line, without its line end; false when none came whole (the
    // peer closed first, or the socket was closed under the wait). Starts
    // the reply deadline at the reply's first byte.
    bool ReceiveLine(std::string& line);
    void CheckLineLength(std::size_t length);
    // Reads what has arrived into the receive buffer; false once the peer
    // has closed.
    bool FillBuffer();
    // recv and send, through TLS once it runs: a count, 0 when the peer has
    // closed, or -1 with errno (EAGAIN while TLS waits for the socket).
    ssize_t ReceiveSome(char* data, std::size_t size);
    ssize_t SendSome(const char* data, std::size_t size);
    void WaitForData();
    std::size_t Buffered() const { return rx_.size() - rxStart_; }
    void Consume(std::size_t count);
    void SendAll(const char* data, std::size_t size, bool renewPerChunk);
    static long long StreamSize(std::istream& stream);

    TTimeCounter timer_;
    int fd_ = -1;
    bool cancelled_ = false;
    bool peerClosed_ = false;
    std::uint16_t port_ = 0;
    std::vector<NameResolver::Address> addresses_;
    // The host part of the endpoint: the name the certificate must carry.
    std::string host_;
    std::unique_ptr<TlsChannel> tls_;
    // What TLS waits for before its last operation can go on (POLLIN or
    // POLLOUT); 0 when it waits for nothing.
    short tlsWants_ = 0;
    // Bytes received but not yet taken by a read: a read never takes bytes
    // that belong to the next reply.
    std::string rx_;
    std::size_t rxStart_ = 0;
    ServerReply::Form replyForm_ = ServerReply::Form::Numeric;
    // The last line sent as it may be shown: the command the next reply answers.
    std::string sentCommand_;
    ServerReply reply_;
    ErrorKind reportedKind_ = ErrorKind::General;
    TransferDeadline sessionDeadline_;
    TransferDeadline replyDeadline_;
    int replyDepth_ = 0;
};

}  // namespace qlk
