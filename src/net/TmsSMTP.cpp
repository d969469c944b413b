#include "net/TmsSMTP.h"

#include <algorithm>
#include <sstream>

#include "message/TmsMessage.h"
#include "net/EServerError.h"
#include "net/SocketMessages.h"
#include "net/TTempFileStream.h"
#include "platform/EventPump.h"

namespace qlk {

TmsSMTP::TmsSMTP() {
    ServiceName = "smtp";
    DefaultPort = 25;
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
    ConnectSocket();
    CheckReply(2);
    CheckCommandValue("Local host name", LocalHost);
    SendLine("HELO " + LocalHost);
    if (ReadReply() / 100 != 2) {
        // Some servers refuse the name given but accept a bare HELO.
        SendLine("HELO");
        CheckReply(2);
    }
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
    if (!sender.empty()) {
        SendLine("MAIL FROM:<" + sender + ">");
        CheckReply(2);
    }
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
