#include "net/TmsSMTP.h"

#include <algorithm>
#include <sstream>

#include "message/Base64.h"
#include "message/TextUtils.h"
#include "message/TmsMessage.h"
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

void TmsSMTP::CheckReply(int replyClass) {
    if (ReadReply() / 100 != replyClass) throw EServerError(LastReply);
}

void TmsSMTP::Login() {
    ConnectSession();
    CheckReply(2);
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
        CheckReply(2);
        StartTls();
        // What the server said before TLS counts no more.
        SendLine("EHLO " + LocalHost);
        CheckReply(2);
        extensions_ = ReplyLines;
    }
    Authenticate();
}

bool TmsSMTP::Hello() {
    SendLine("EHLO " + LocalHost);
    if (ReadReply() / 100 == 2) {
        extensions_ = ReplyLines;
        return true;
    }
    extensions_.clear();
    HeloExchange();
    return false;
}

void TmsSMTP::HeloExchange() {
    SendLine("HELO " + LocalHost);
    if (ReadReply() / 100 != 2) {
        // Some servers refuse the name given but accept a bare HELO.
        SendLine("HELO");
        CheckReply(2);
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
        RaiseErrorText(ServerHost() + " offers no log-in method the gateway knows: " + *mechanisms, false);
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
    if (ReadReply() != code) RaiseErrorText("Log-in refused: " + LastReply, false);
}

void TmsSMTP::SendMailFrom(const std::string& sender) {
    SendLine("MAIL FROM:<" + sender + ">");
    if (ReadReply() / 100 == 2) return;
    // 530: authentication required, and the password was kept back because
    // the server offers no TLS. That is the gateway's choice, not the
    // server's verdict on the message, so the message must stay.
    if (loginWithheld_ && LastReply.starts_with("530")) {
        RaiseErrorText(ServerHost() + " wants a log-in but offers no TLS; the password is not sent in clear",
                       false);
    }
    throw EServerError(LastReply);
}

void TmsSMTP::Logout() {
    ProcessMessages();
    SendLine("QUIT");
    CheckReply(2);
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
        if (ReadReply() / 100 == 2) continue;
        bool proceed = false;
        if (OnAddressRejected) OnAddressRejected(*this, address, LastReply, proceed);
        if (!proceed) throw EServerError(LastReply);
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
        CheckReply(2);
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
    CheckReply(3);
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
