#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "net/TmsMailBase.h"

namespace qlk {

class TmsMessage;

// Proceed starts false; a handler that sets it skips the address and goes on.
using TmsAddressRejectedEvent = std::function<void(TagSocket& sender, const std::string& address,
                                                   const std::string& serverReply, bool& proceed)>;

// Sends one message per session to an SMTP relay: greeting, HELO, MAIL FROM,
// one RCPT TO per recipient, DATA, the message text, ".", QUIT.
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

    // One whole session: Connect, Send, and the session ended in every case
    // (the exception, if any, passes on afterwards).
    void SendMail();
    // Sends MailMessage over a session that is logged in.
    void Send();

    void Open() override;
    void Login() override;
    void Logout() override;

    // The message text as it goes out after DATA: every line that begins
    // with "." gets a second one, and a bare CR or LF becomes CR LF.
    static std::string WireText(std::string_view text);

private:
    // Reads a reply; EServerError with the last line unless its class is
    // `replyClass` (2 for 2xx).
    void CheckReply(int replyClass);
    std::vector<std::string> EnvelopeRecipients() const;
    void SendRecipients(const std::vector<std::string>& recipients);
    void SendData(std::iostream& text);
};

}  // namespace qlk
