#pragma once

#include <string>
#include <vector>

namespace qlk {

class TmsSMTP;

// Hands the SMTP client's message to the relay and says what became of it,
// so that the outbound transfer can tell a message to keep for the next
// cycle from one to return to its sender:
// - Accepted: the relay took the text (2xx after "."). It is never sent
//   again, whatever happens to the session afterwards.
// - Refused: a 5xx reply to MAIL FROM, to DATA, after the text, or to every
//   recipient, or a message that can never be sent as it stands.
// - Deferred: a 4xx reply, the connection dropped or timed out while the
//   message was on its way, or the relay refused the sender's log-in; the
//   next message may still go.
// A session that cannot be set up at all (no connection, no greeting, HELO
// refused, cancelled) raises: every later message would fail the same way.
//
// One session carries a whole run: before each further message RSET checks
// that the relay still listens and clears what the last message left, and a
// session that does not answer is replaced by a new one. QUIT ends it when
// the delivery goes.
class SmtpDelivery {
public:
    enum class Result { Accepted, Refused, Deferred };

    struct RefusedRecipient {
        std::string address;
        std::string reply;
    };

    explicit SmtpDelivery(TmsSMTP& smtp) : smtp_(smtp) {}
    ~SmtpDelivery();
    SmtpDelivery(const SmtpDelivery&) = delete;
    SmtpDelivery& operator=(const SmtpDelivery&) = delete;

    Result Deliver();

    // The server's reply line (or the error text) behind Refused or Deferred.
    const std::string& Reason() const { return reason_; }
    // Recipients refused for good while others were accepted (Accepted), or
    // all of them (Refused).
    const std::vector<RefusedRecipient>& RefusedRecipients() const { return refused_; }

private:
    // False when the relay refused the user's log-in (Reason says why).
    bool OpenSession();
    bool LoginRefused() const;
    bool SessionAnswers();
    Result Send();
    void EndSession() noexcept;
    // The sender, then every recipient address.
    std::vector<std::string> EnvelopeAddresses() const;
    const std::string* AddressWithLineBreak();
    static std::string Printable(const std::string& text);
    static int ReplyClass(const std::string& reply);

    TmsSMTP& smtp_;
    std::string reason_;
    std::vector<RefusedRecipient> refused_;
    std::vector<std::string> envelope_;
    // The log-in the open session was made with.
    std::string sessionAccount_;
};

}  // namespace qlk
