#include "net/TmsCustomPOP.h"

#include <charconv>
#include <climits>
#include <sstream>

#include "message/TextUtils.h"
#include "net/EConvertError.h"
#include "net/ELoginRefused.h"
#include "net/EServerError.h"
#include "net/ESocketError.h"
#include "net/SocketMessages.h"
#include "net/TlsHostMemory.h"

namespace qlk {

namespace {

// A decimal integer with an optional sign and nothing else.
long long StrToInt(const std::string& text) {
    long long value = 0;
    const char* first = text.data();
    if (!text.empty() && text[0] == '+') ++first;
    auto [end, ec] = std::from_chars(first, text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
        throw EConvertError::NotAnInteger(text);
    }
    return value;
}

// As StrToInt, but 0 when the text is not a number or out of range.
long long StrToIntDef0(const std::string& text) {
    long long value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() ? value : 0;
}

}  // namespace

TmsCustomPOP::TmsCustomPOP() {
    ServiceName = "pop3";
    DefaultPort = 110;
    ImplicitTlsPort = 995;
    SetReplyForm(ServerReply::Form::Status);
}

void TmsCustomPOP::CheckProperties() {
    if (UserName.empty()) RaiseError(smUserNameRequired);
    if (Password.empty() && AccessToken.empty()) RaiseError(smPasswordRequired);
}

void TmsCustomPOP::Open() {
    CheckProperties();
    Reset();
    TagSocket::Open();
}

void TmsCustomPOP::CheckReply() {
    if (!ReadStatus()) throw EServerError(Reply());
}

bool TmsCustomPOP::ReadStatus() {
    if (ReadReply() == 1) return true;
    if (!Reply().Complete()) {
        const std::string& command = Reply().Command();
        throw EServerError(command.empty() ? "The server closed the connection before its greeting"
                                           : "The server closed the connection instead of answering " + command,
                           Reply(), ErrorKind::ConnectionLost);
    }
    return false;
}

long long TmsCustomPOP::ReadNumber(std::string_view text) {
    long long value = -1;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && ec == std::errc() && end == text.data() + text.size() && value >= 0 ? value : -1;
}

void TmsCustomPOP::ReadListing(int maxLines, const std::function<void(const std::string&)>& each) {
    std::string line;
    for (int lines = 0; lines <= maxLines; ++lines) {
        // -1 with nothing read: the server closed in the middle of the list.
        if (ReadLine(line) == -1 && line.empty()) RaiseError(wsaECONNABORTED, true);
        if (line == ".") return;
        if (lines < maxLines) each(line.starts_with("..") ? line.substr(1) : line);
    }
    RaiseErrorText("Reply longer than " + std::to_string(maxLines) + " lines", ErrorKind::Transient, true);
}

void TmsCustomPOP::Command(const std::string& line, const std::string& shown) {
    SendCommand(line, shown);
    CheckReply();
}

void TmsCustomPOP::Login() {
    try {
        Reset();
        offersPipelining_ = false;
        capabilitiesRead_ = false;
        ConnectSession();
        CheckReply();
        CheckCommandValue("UserName", UserName);
        CheckCommandValue("Password", Password);
        Capabilities capabilities;
        if (Security() == TlsMode::WhenOffered) {
            capabilities = UpgradeWhenOffered();
        } else if (!AccessToken.empty()) {
            capabilities = ReadCapabilities();
        }
        if (TlsActive() && !TlsHostsFileName.empty()) TlsHostMemory(TlsHostsFileName).Remember(ServerHost());
        if (!AccessToken.empty()) {
            LoginWithToken(capabilities.sasl);
        } else {
            Command("USER " + UserName);
            SetPasswordInClear(!TlsActive());
            Command("PASS " + Password, "PASS ****");
        }
        Command("STAT");
        ReadStat();
        // CAPA is valid after the log-in too (RFC 2449): a pop3s:// account,
        // or one that went over to TLS with a password, learns here whether
        // it may pipeline. pop3:// keeps to the base protocol.
        if (!capabilitiesRead_ && TlsActive()) ReadCapabilities();
    } catch (const ESocketError&) {
        Close();
        throw;
    }
}

TmsCustomPOP::Capabilities TmsCustomPOP::UpgradeWhenOffered() {
    Capabilities capabilities = ReadCapabilities();
    if (!capabilities.stls) {
        if (!TlsHostsFileName.empty() && TlsHostMemory(TlsHostsFileName).Remembers(ServerHost()))
            RefuseLogin(ServerHost() +
                        " offered TLS before and offers none now; the password is not sent in clear");
        return capabilities;
    }
    // Once offered, TLS is required: a refused STLS or a failed handshake
    // ends the log-in, it never falls back to plain.
    Command("STLS");
    StartTls();
    offersPipelining_ = false;
    capabilitiesRead_ = false;
    // What the server said before TLS counts no more (RFC 2595); only a
    // token log-in needs the list again.
    return AccessToken.empty() ? Capabilities() : ReadCapabilities();
}

TmsCustomPOP::Capabilities TmsCustomPOP::ReadCapabilities() {
    SendLine("CAPA");
    capabilitiesRead_ = true;
    Capabilities capabilities;
    if (ReadReply() != 1) return capabilities;
    ReadListing(MaxReplyLines, [&](const std::string& line) {
        const std::size_t blank = line.find(' ');
        const std::string keyword = line.substr(0, blank);
        if (SameText(keyword, "STLS")) capabilities.stls = true;
        if (SameText(keyword, "SASL") && blank != std::string::npos)
            capabilities.sasl = line.substr(blank + 1);
        if (SameText(line, "PIPELINING")) offersPipelining_ = true;
    });
    return capabilities;
}

void TmsCustomPOP::LoginWithToken(const std::string& mechanisms) {
    // RFC 5034: an AUTH line with its initial response stays within 255
    // octets; a longer one (any real token) waits for the server's "+ ".
    static constexpr std::size_t kInitialLineLength = 255 - 2;
    std::optional<SaslLogin> login = SaslLogin::Choose(mechanisms, {UserName, {}, AccessToken});
    if (!login) RefuseLogin(ServerHost() + " offers no OAuth 2.0 log-in (SASL XOAUTH2 or OAUTHBEARER)");
    ExchangeSasl(*login, kInitialLineLength);
    if (Reply().Code() != 1) throw EServerError(Reply());
}

bool TmsCustomPOP::IsSaslChallenge() const {
    const std::string& line = LastReply();
    return line == "+" || line.starts_with("+ ");
}

void TmsCustomPOP::RefuseLogin(const std::string& reason) {
    const std::string shown = ReportError(reason, ErrorKind::Transient);
    Close();
    throw ELoginRefused(shown, Reply());
}

void TmsCustomPOP::ReadStat() {
    // "+OK count size": the count runs to the next blank, the size to the
    // one after that.
    const std::string& reply = LastReply();
    std::string rest = reply.size() > 4 ? reply.substr(4) : std::string();
    auto blank = rest.find(' ');
    if (blank == std::string::npos) return;
    std::string sizeText = rest.substr(blank + 1);
    sizeText = sizeText.substr(0, sizeText.find(' '));
    long long count = StrToInt(rest.substr(0, blank));
    long long size = StrToInt(sizeText);
    if (count < 0 || count > INT_MAX) throw EConvertError::NotAnInteger(rest.substr(0, blank));
    MessageCount = static_cast<int>(count);
    MailboxSize = size;
}

void TmsCustomPOP::Logout() {
    if (!Connected()) return;
    Command("QUIT");
}

long long TmsCustomPOP::ListSize(int index) {
    Command("LIST " + WireNumber(index));
    // "+OK 3 1200" gives 1200.
    const std::string& reply = LastReply();
    std::string rest = reply.size() > 4 ? reply.substr(4) : std::string();
    auto blank = rest.find(' ');
    if (blank == std::string::npos) return 0;
    return StrToIntDef0(rest.substr(blank + 1));
}

long long TmsCustomPOP::MessageLimit(long long listSize) {
    if (listSize < 1 || listSize > MaxMessageSize) return MaxMessageSize;
    return 2 * listSize + MessageSlack;
}

void TmsCustomPOP::Retrieve(int index) {
    long long size = ListSize(index);
    if (OnRetrieving) OnRetrieving(*this, index);
    Command("RETR " + WireNumber(index));
    std::ostringstream contents;
    ReceiveToStream(contents, size, MessageLimit(size));
    SaveMessage(index, UnstuffDataBlock(std::move(contents).str()));
    if (OnRetrieved) OnRetrieved(*this, index);
}

void TmsCustomPOP::Delete(int index) {
    if (OnDeleting) OnDeleting(*this, index);
    Command("DELE " + WireNumber(index));
}

}  // namespace qlk
