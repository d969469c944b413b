#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/SmtpExtensions.h"
#include "net/TmsMailBase.h"

namespace qlk {

class TmsMessage;

// Proceed starts false; a handler that sets it skips the address and goes on.
using TmsAddressRejectedEvent = std::function<void(TagSocket& sender, const std::string& address,
                                                   const std::string& serverReply, bool& proceed)>;

// Sends one message per session to an SMTP relay: greeting, EHLO (HELO with a
// server that refuses it), STARTTLS when offered, AUTH, MAIL FROM, one RCPT TO
// per recipient, DATA, the message text, ".", QUIT. A "smtp://" server
// without UserID gets the plain exchange of old: HELO, no extensions.
//
// What the relay listed in its EHLO reply shapes the envelope: the message's
// size with SIZE (a message above the relay's limit is refused before MAIL
// FROM), BODY=8BITMIME when the text holds 8-bit bytes and the relay takes
// them (without 8BITMIME the text is written 7-bit throughout), SMTPUTF8 only
// when an address is not ASCII. A message that cannot go as it stands fails
// with EMessageError before the first command of the envelope.
class TmsSMTP : public TmsMailBase {
public:
    TmsSMTP();

    // Seconds allowed for the reply to the end of the message text.
    static constexpr int DataReplyTimeOut = 600;

    TNotifyEvent OnPrepare, OnSending, OnMailSent;
    TmsAddressRejectedEvent OnAddressRejected;
    // The message to send; not owned.
    TmsMessage* MailMessage = nullptr;
    // When not empty, the envelope recipients instead of the message's lists.
    std::vector<std::string> RecipientOverride;
    // The account to log in as; empty: no log-in. With AccessToken (an
    // OAuth 2.0 access token) the log-in is XOAUTH2, else OAUTHBEARER, and
    // the password is never sent; without, PLAIN, else LOGIN. Mechanisms the
    // client does not know count as no AUTH. The secret goes only over TLS,
    // or to a "smtp://" server on purpose. A refused log-in, a server that
    // wants one it cannot have (no TLS, no known mechanism, no account),
    // fails with ELoginRefused (OnError first, the server's reply, kind
    // Transient), never with a permanent refusal.
    std::string UserID;
    std::string Password;
    std::string AccessToken;
    // Log in only when the relay answers MAIL FROM with 530 (authentication
    // required), then send MAIL FROM once more; otherwise at the start of
    // every session whose relay lists AUTH.
    bool LoginOnlyWhenAsked = false;

    // This session has logged in.
    bool LoggedIn() const { return loggedIn_; }

    // One whole session: Connect, Send, and the session ended in every case
    // (the exception, if any, passes on afterwards).
    void SendMail();
    // Sends MailMessage over a session that is logged in.
    void Send();

    void Open() override;
    void Login() override;
    void Logout() override;

    // The name given in EHLO or HELO: the machine's host name, fully qualified when
    // it has such a name, else the address literal of the local end.
    std::string AnnouncedHostName() const;

    // The message text as it goes out after DATA: every line that begins
    // with "." gets a second one, and a bare CR or LF becomes CR LF.
    static std::string WireText(std::string_view text);

    // Whether ADDRESS can stand between the "<" and ">" of MAIL FROM or RCPT
    // TO: a blank, "<", ">" or a control character would end it early and
    // let the rest pass for a parameter or a command of its own.
    static bool IsEnvelopeAddress(std::string_view address);
    // RecipientOverride, or the addresses of the message's To, CC and BCC
    // lists in that order.
    std::vector<std::string> EnvelopeRecipients() const;

private:
    // EHLO; false (and the HELO exchange done) when the server refuses it.
    bool Hello();
    void HeloExchange();
    void Authenticate();
    // After a 530: logs in, or raises ELoginRefused saying why it cannot.
    void LoginWhenAsked();
    void LogIn(SaslLogin& login);
    std::optional<SaslLogin> ChooseLogin() const;
    // Whether a password or token may go over this connection.
    bool SecretMayGo() const { return TlsActive() || Security() == TlsMode::Plain; }
    [[noreturn]] void RefuseLogin(const std::string& reason);
    bool IsSaslChallenge() const override;
    // True when an address needs SMTPUTF8 (and the relay takes it).
    bool CheckEnvelope(const std::vector<std::string>& addresses);
    // Writes the wire text into FILE and returns the MAIL FROM parameters
    // it calls for.
    std::string WriteText(std::ostream& file, bool international);
    void SendMailFrom(const std::string& sender, const std::string& parameters);
    void SendRecipients(const std::vector<std::string>& recipients);
    void SendData(std::iostream& text);
    [[noreturn]] void RefuseMessage(const std::string& reason);

    SmtpExtensions extensions_;
    bool loggedIn_ = false;
};

}  // namespace qlk
