#include "net/TmsSMTP.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>

#include "message/Charsets.h"
#include "message/EMessageError.h"
#include "message/TextUtils.h"
#include "message/TmsMessage.h"
#include "message/TmsMessageEncoder.h"
#include "net/ELoginRefused.h"
#include "net/EServerError.h"
#include "net/SocketMessages.h"
#include "net/TTempFileStream.h"
#include "platform/EventPump.h"

namespace qlk {

TmsSMTP::TmsSMTP() {
    ServiceName = "smtp";
    DefaultPort = 25;
    ImplicitTlsPort = 465;
}

void TmsSMTP::SendMail() {
    try {
        Connect();
        Send();
    } catch (...) {
        try {
            Disconnect();
        } catch (...) {
            // The first failure is the one worth reporting.
        }
        // A session never outlives SendMail, even when QUIT failed.
        if (Connected()) Close();
        throw;
    }
    try {
        Disconnect();
    } catch (...) {
        if (Connected()) Close();
        throw;
    }
}

void TmsSMTP::Open() {
    if (Server.empty()) RaiseError(smServerRequired);
    Reset();
    TagSocket::Open();
}

namespace {

// "Authentication required" (RFC 4954).
constexpr int kAuthenticationRequired = 530;

// A domain name a server can look up: letters, digits, "-" and ".", no empty
// label, at most 253 characters.
bool IsDomainName(std::string_view name) {
    if (name.empty() || name.size() > 253 || name.front() == '.' || name.back() == '.') return false;
    if (name.find("..") != std::string_view::npos) return false;
    for (char c : name) {
        if (!IsAsciiLetterOrDigit(c) && c != '-' && c != '.') return false;
    }
    return true;
}

// The machine's host name, fully qualified when the resolver knows it so;
// empty when the machine has no usable name. Looked up once: resolving may
// be slow, and the name does not change under a running program.
const std::string& MachineHostName() {
    static const std::string name = [] {
        char shortName[256] = {};
        if (::gethostname(shortName, sizeof shortName - 1) != 0 || !IsDomainName(shortName))
            return std::string();
        if (std::string_view(shortName).find('.') != std::string_view::npos) return std::string(shortName);
        addrinfo hints{};
        hints.ai_flags = AI_CANONNAME;
        addrinfo* found = nullptr;
        std::string fullName = shortName;
        if (::getaddrinfo(shortName, nullptr, &hints, &found) == 0 && found) {
            if (found->ai_canonname && IsDomainName(found->ai_canonname) &&
                std::string_view(found->ai_canonname).find('.') != std::string_view::npos)
                fullName = found->ai_canonname;
            ::freeaddrinfo(found);
        }
        return fullName;
    }();
    return name;
}

// "[192.0.2.1]" or "[IPv6:2001:db8::1]": the local address the system would
// use to reach `remote`, for a machine without a usable name. A UDP socket
// that is connected sends nothing but lets the system pick that address.
std::string AddressLiteralTowards(const std::string& remote) {
    addrinfo hints{};
    hints.ai_flags = AI_NUMERICHOST;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(remote.c_str(), "9", &hints, &found) != 0 || !found) return "[127.0.0.1]";
    std::string literal = "[127.0.0.1]";
    const int fd = ::socket(found->ai_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    char text[INET6_ADDRSTRLEN] = {};
    if (fd >= 0 && ::connect(fd, found->ai_addr, found->ai_addrlen) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) == 0 &&
        ::getnameinfo(reinterpret_cast<sockaddr*>(&local), length, text, sizeof text, nullptr, 0,
                      NI_NUMERICHOST) == 0) {
        literal =
            local.ss_family == AF_INET6 ? "[IPv6:" + std::string(text) + "]" : "[" + std::string(text) + "]";
    }
    if (fd >= 0) ::close(fd);
    ::freeaddrinfo(found);
    return literal;
}

}  // namespace

std::string TmsSMTP::AnnouncedHostName() const {
    const std::string& name = MachineHostName();
    return name.empty() ? AddressLiteralTowards(RemoteAddress) : name;
}

void TmsSMTP::Login() {
    ConnectSession();
    RequireClass(2);
    LocalHost = AnnouncedHostName();
    CheckCommandValue("Local host name", LocalHost);
    extensions_ = SmtpExtensions();
    loggedIn_ = false;
    // "smtp://" without a log-in: the plain exchange of old.
    if (Security() == TlsMode::Plain && UserID.empty()) {
        HeloExchange();
        return;
    }
    if (!Hello()) return;
    // Once offered, TLS is required: a refused STARTTLS or a failed
    // handshake ends the session, it never falls back to plain.
    if (Security() == TlsMode::WhenOffered && !TlsActive() && extensions_.Has("STARTTLS")) {
        SendLine("STARTTLS");
        RequireClass(2);
        StartTls();
        // What the server said before TLS counts no more.
        SendLine("EHLO " + LocalHost);
        RequireClass(2);
        extensions_ = SmtpExtensions(ReplyLines());
    }
    if (!LoginOnlyWhenAsked) Authenticate();
}

bool TmsSMTP::Hello() {
    SendLine("EHLO " + LocalHost);
    if (ReadCompleteReply() / 100 == 2) {
        extensions_ = SmtpExtensions(ReplyLines());
        return true;
    }
    HeloExchange();
    return false;
}

void TmsSMTP::HeloExchange() {
    SendLine("HELO " + LocalHost);
    if (ReadCompleteReply() / 100 != 2) {
        // Some servers refuse the name given but accept a bare HELO.
        SendLine("HELO");
        RequireClass(2);
    }
}

void TmsSMTP::Authenticate() {
    if (UserID.empty() || !extensions_.Has("AUTH") || !SecretMayGo()) return;
    // A relay listing only mechanisms the client lacks is taken as one that
    // needs no log-in; if it does, it says so to MAIL FROM.
    if (std::optional<SaslLogin> login = ChooseLogin()) LogIn(*login);
}

std::optional<SaslLogin> TmsSMTP::ChooseLogin() const {
    return SaslLogin::Choose(extensions_.Parameters("AUTH").value_or(""), {UserID, Password, AccessToken});
}

void TmsSMTP::LogIn(SaslLogin& login) {
    // RFC 4954: an AUTH command line may run to 12288 octets.
    static constexpr std::size_t kAuthLineLength = 12288 - 2;
    SetPasswordInClear(!TlsActive());
    ExchangeSasl(login, kAuthLineLength);
    if (Reply().Code() != 235) RefuseLogin("Log-in refused: " + LastReply());
    loggedIn_ = true;
}

bool TmsSMTP::IsSaslChallenge() const {
    return Reply().Code() == 334;
}

void TmsSMTP::LoginWhenAsked() {
    if (loggedIn_) RefuseLogin("Log-in refused: " + LastReply());
    if (UserID.empty()) RefuseLogin(ServerHost() + " wants a log-in, and the sender has no account to give");
    // The password (or token) is kept back for want of TLS: the gateway's
    // choice, not the server's verdict on the message, so the message stays.
    if (!SecretMayGo())
        RefuseLogin(ServerHost() + " wants a log-in but offers no TLS; the password is not sent in clear");
    std::optional<SaslLogin> login = ChooseLogin();
    if (!login)
        RefuseLogin(ServerHost() + " wants a log-in but offers no log-in method the gateway knows: " +
                    extensions_.Parameters("AUTH").value_or("none"));
    LogIn(*login);
}

void TmsSMTP::RefuseLogin(const std::string& reason) {
    throw ELoginRefused(ReportError(reason, ErrorKind::Transient), Reply());
}

void TmsSMTP::SendMailFrom(const std::string& sender, const std::string& parameters) {
    const std::string command = "MAIL FROM:<" + sender + ">" + parameters;
    for (bool loginAsked = false;; loginAsked = true) {
        SendLine(command);
        if (ReadCompleteReply() / 100 == 2) return;
        if (Reply().Code() != kAuthenticationRequired) throw EServerError(Reply());
        // A relay that still wants a log-in after one has a verdict on the
        // account, not on the message.
        if (loginAsked) RefuseLogin("Log-in refused: " + LastReply());
        LoginWhenAsked();
    }
}

void TmsSMTP::Logout() {
    ProcessMessages();
    SendLine("QUIT");
    RequireClass(2);
}

std::vector<std::string> TmsSMTP::EnvelopeRecipients() const {
    if (!RecipientOverride.empty() || !MailMessage) return RecipientOverride;
    std::vector<std::string> recipients;
    for (const TmsAddressList* list : {&MailMessage->Recipients(), &MailMessage->CC(), &MailMessage->BCC()}) {
        for (int i = 0; i < list->Count(); ++i) recipients.push_back(list->Items(i).Address);
    }
    return recipients;
}

void TmsSMTP::SendRecipients(const std::vector<std::string>& recipients) {
    for (const auto& address : recipients) {
        SendLine("RCPT TO:<" + address + ">");
        if (ReadCompleteReply() / 100 == 2) continue;
        bool proceed = false;
        if (OnAddressRejected) OnAddressRejected(*this, address, LastReply(), proceed);
        if (!proceed) throw EServerError(Reply());
    }
}

void TmsSMTP::SendData(std::iostream& text) {
    SendStream(text);
    // The text normally ends with a line end already; only an unfinished
    // last line needs one before the final ".".
    text.clear();
    text.seekg(-1, std::ios::end);
    char last = '\n';
    if (!text.get(last)) last = '\n';
    if (last != '\n') SendLine("");
    SendLine(".");
    // The server may check the whole message before it answers; RFC 5321
    // gives it ten minutes for that, whatever the general time-out is.
    const int general = TimeOut();
    SetTimeOut(std::max(general, DataReplyTimeOut));
    try {
        RequireClass(2);
    } catch (...) {
        SetTimeOut(general);
        throw;
    }
    SetTimeOut(general);
}

void TmsSMTP::Send() {
    if (!MailMessage) RaiseError(smMailMessageRequired);
    MailMessage->Validate();
    const std::string sender = MailMessage->Sender().Address;
    const std::vector<std::string> recipients = EnvelopeRecipients();
    std::vector<std::string> addresses = recipients;
    addresses.insert(addresses.begin(), sender);
    // Everything is checked before the first command of the envelope, so
    // that a message that cannot go never leaves half an envelope behind.
    const bool international = CheckEnvelope(addresses);

    TTempFileStream file;
    FireNotify(OnPrepare);
    const std::string parameters = WriteText(file, international);
    FireNotify(OnSending);
    if (!sender.empty()) SendMailFrom(sender, parameters);
    SendRecipients(recipients);
    SendLine("DATA");
    RequireClass(3);
    SendData(file);
    FireNotify(OnMailSent);
}

namespace {

// What a relay must be told about the text: whether it holds 8-bit bytes,
// and its longest line.
struct TextShape {
    bool eightBit = false;
    std::size_t longestLine = 0;
};

TextShape ShapeOf(std::string_view wireText) {
    TextShape shape;
    std::size_t line = 0;
    for (const char c : wireText) {
        if (static_cast<unsigned char>(c) >= 0x80) shape.eightBit = true;
        if (c == '\r' || c == '\n') {
            line = 0;
        } else {
            shape.longestLine = std::max(shape.longestLine, ++line);
        }
    }
    return shape;
}

// RFC 5321 4.5.3.1.6: 1000 characters with the CR LF.
constexpr std::size_t kMaxLineLength = 998;

// An address shown in a message: control characters as blanks.
std::string Printable(std::string_view address) {
    std::string shown(address);
    std::replace_if(
        shown.begin(), shown.end(), [](char c) { return static_cast<unsigned char>(c) < ' ' || c == 127; },
        ' ');
    return shown;
}

}  // namespace

bool TmsSMTP::IsEnvelopeAddress(std::string_view address) {
    return std::none_of(address.begin(), address.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte <= ' ' || byte == 127 || c == '<' || c == '>';
    });
}

bool TmsSMTP::CheckEnvelope(const std::vector<std::string>& addresses) {
    bool international = false;
    for (const std::string& address : addresses) {
        if (!IsEnvelopeAddress(address))
            RefuseMessage("The address \"" + Printable(address) + "\" cannot go into an SMTP envelope");
        if (IsAscii(address)) continue;
        // RFC 6531: only a relay that lists SMTPUTF8 takes such an address.
        if (!extensions_.Has("SMTPUTF8"))
            RefuseMessage(ServerHost() + " takes no international address (SMTPUTF8) such as " + address);
        international = true;
    }
    return international;
}

std::string TmsSMTP::WriteText(std::ostream& file, bool international) {
    const bool eightBitMime = extensions_.Has("8BITMIME");
    std::string text;
    {
        std::ostringstream encoded;
        TmsMessageEncoder encoder(*MailMessage);
        // A relay without 8BITMIME gets every part 7-bit (RFC 6152).
        encoder.AllowEightBit(eightBitMime);
        encoder.Encode(encoded);
        text = WireText(std::move(encoded).str());
    }
    const TextShape shape = ShapeOf(text);
    if (shape.longestLine > kMaxLineLength)
        RefuseMessage("The message holds a line of " + std::to_string(shape.longestLine) +
                      " characters; mail allows " + std::to_string(kMaxLineLength));
    // Header text the encoder keeps as it stands: an international address
    // may go 8-bit under SMTPUTF8, nothing else without 8BITMIME.
    if (shape.eightBit && !eightBitMime && !international)
        RefuseMessage("The message holds 8-bit text, which " + ServerHost() + " does not take (no 8BITMIME)");
    const std::uint64_t limit = extensions_.SizeLimit();
    if (limit > 0 && text.size() > limit)
        RefuseMessage("The message is " + std::to_string(text.size()) + " bytes, more than the " +
                      std::to_string(limit) + " bytes " + ServerHost() + " takes");
    file << text;
    file.flush();

    std::string parameters;
    if (extensions_.Has("SIZE")) parameters += " SIZE=" + std::to_string(text.size());
    if (shape.eightBit && eightBitMime) parameters += " BODY=8BITMIME";
    if (international) parameters += " SMTPUTF8";
    return parameters;
}

void TmsSMTP::RefuseMessage(const std::string& reason) {
    // The message, not the relay or the network, is at fault: nothing for
    // OnError, whose handler points at the provider.
    throw EMessageError(reason);
}

std::string TmsSMTP::WireText(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 64 + 2);
    bool lineStart = true;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            out += "\r\n";
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            lineStart = true;
            continue;
        }
        if (lineStart && c == '.') out += '.';
        out += c;
        lineStart = false;
    }
    return out;
}

}  // namespace qlk
