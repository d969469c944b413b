#include "net/TmsSMTP.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>

#include "message/Base64.h"
#include "message/TextUtils.h"
#include "message/TmsMessage.h"
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
    extensions_.clear();
    loginWithheld_ = false;
    // "smtp://" without a log-in: the plain exchange of old.
    if (Security() == TlsMode::Plain && UserID.empty()) {
        HeloExchange();
        return;
    }
    if (!Hello()) return;
    // Once offered, TLS is required: a refused STARTTLS or a failed
    // handshake ends the session, it never falls back to plain.
    if (Security() == TlsMode::WhenOffered && !TlsActive() && Extension("STARTTLS")) {
        SendLine("STARTTLS");
        RequireClass(2);
        StartTls();
        // What the server said before TLS counts no more.
        SendLine("EHLO " + LocalHost);
        RequireClass(2);
        extensions_ = ReplyLines();
    }
    Authenticate();
}

bool TmsSMTP::Hello() {
    SendLine("EHLO " + LocalHost);
    if (ReadCompleteReply() / 100 == 2) {
        extensions_ = ReplyLines();
        return true;
    }
    extensions_.clear();
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

std::optional<std::string> TmsSMTP::Extension(std::string_view keyword) const {
    // The first line greets; every further one is "250-KEYWORD params".
    for (std::size_t i = 1; i < extensions_.size(); ++i) {
        std::string_view line = extensions_[i];
        if (line.size() < 4) continue;
        line.remove_prefix(4);
        auto blank = line.find(' ');
        if (SameText(line.substr(0, blank), keyword)) {
            return blank == std::string_view::npos ? std::string() : Trim(line.substr(blank + 1));
        }
    }
    return std::nullopt;
}

void TmsSMTP::Authenticate() {
    if (UserID.empty()) return;
    auto mechanisms = Extension("AUTH");
    if (!mechanisms) return;
    if (!TlsActive() && Security() != TlsMode::Plain) {
        loginWithheld_ = true;
        return;
    }
    const auto offers = [&](std::string_view name) {
        for (std::size_t start = 0; start < mechanisms->size();) {
            std::size_t end = std::min(mechanisms->find(' ', start), mechanisms->size());
            if (SameText(std::string_view(*mechanisms).substr(start, end - start), name)) return true;
            start = end + 1;
        }
        return false;
    };
    if (!offers("PLAIN") && !offers("LOGIN")) {
        RaiseErrorText(ServerHost() + " offers no log-in method the gateway knows: " + *mechanisms,
                       ErrorKind::Transient, false);
    }
    SetPasswordInClear(!TlsActive());
    if (offers("PLAIN")) {
        std::string token;
        Base64EncodeAppend(std::string(1, '\0') + UserID + '\0' + Password, token);
        SendLine("AUTH PLAIN " + token, "AUTH PLAIN ****");
    } else {
        std::string token;
        SendLine("AUTH LOGIN");
        CheckLoginReply(334);
        Base64EncodeAppend(UserID, token);
        SendLine(token);
        CheckLoginReply(334);
        token.clear();
        Base64EncodeAppend(Password, token);
        SendLine(token, "****");
    }
    CheckLoginReply(235);
}

void TmsSMTP::CheckLoginReply(int code) {
    if (ReadCompleteReply() == code) return;
    throw ELoginRefused(ReportError("Log-in refused: " + LastReply(), ErrorKind::Transient), Reply());
}

void TmsSMTP::SendMailFrom(const std::string& sender) {
    SendLine("MAIL FROM:<" + sender + ">");
    if (ReadCompleteReply() / 100 == 2) return;
    // 530: authentication required, and the password was kept back because
    // the server offers no TLS. That is the gateway's choice, not the
    // server's verdict on the message, so the message must stay.
    if (loginWithheld_ && Reply().Code() == kAuthenticationRequired) {
        throw ELoginRefused(
            ReportError(ServerHost() + " wants a log-in but offers no TLS; the password is not sent in clear",
                        ErrorKind::Transient),
            Reply());
    }
    throw EServerError(Reply());
}

void TmsSMTP::Logout() {
    ProcessMessages();
    SendLine("QUIT");
    RequireClass(2);
}

std::vector<std::string> TmsSMTP::EnvelopeRecipients() const {
    if (!RecipientOverride.empty()) return RecipientOverride;
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
    // Every value that goes into a command is checked before the first one
    // is sent, so that a bad address never leaves half an envelope behind.
    CheckCommandValue("Sender address", sender);
    for (const auto& address : recipients) CheckCommandValue("Recipient address", address);

    TTempFileStream file;
    FireNotify(OnPrepare);
    {
        std::ostringstream encoded;
        MailMessage->SaveToStream(encoded);
        file << WireText(std::move(encoded).str());
        file.flush();
    }
    FireNotify(OnSending);
    if (!sender.empty()) SendMailFrom(sender);
    SendRecipients(recipients);
    SendLine("DATA");
    RequireClass(3);
    SendData(file);
    FireNotify(OnMailSent);
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
