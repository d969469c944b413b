#pragma once

#include <string>
#include <vector>

#include "net/ServerReply.h"
#include "platform/Exception.h"

namespace qlk {

class TmsSMTP;

// Hands the SMTP client's message to the relay and says what became of it,
// so that the outbound transfer can tell a message to keep for the next
// cycle from one to return to its sender. The verdict follows the kind of
// the failure, never its text:
// - Accepted: the relay took the text (2xx after "."). It is never sent
//   again, whatever happens to the session afterwards.
// - Refused: a Permanent failure: a 5xx reply to MAIL FROM, to DATA, after
//   the text, or to every recipient, or a message that can never be sent as
//   it stands.
// - Deferred: any other failure: a 4xx reply, the connection dropped or
//   timed out while the message was on its way, the relay refused the
//   sender's log-in (ELoginRefused); the next message may still go.
// A session that cannot be set up at all (no connection, no greeting, HELO
// refused) or a Cancelled failure raises: every later message would fail
// the same way.
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
    // The kind of that failure (General after Accepted), and the server's
    // reply when a refusal carried one (else a reply without lines).
    ErrorKind FailureKind() const { return failureKind_; }
    const ServerReply& FailureReply() const { return failureReply_; }
    // Recipients refused for good while others were accepted (Accepted), or
    // all of them (Refused).
    const std::vector<RefusedRecipient>& RefusedRecipients() const { return refused_; }

private:
    // False when the relay refused the user's log-in (Reason says why).
    bool OpenSession();
    bool SessionAnswers();
    void NoteFailure(const Exception& error);
    Result Send();
    void EndSession() noexcept;

    TmsSMTP& smtp_;
    std::string reason_;
    ErrorKind failureKind_ = ErrorKind::General;
    ServerReply failureReply_;
    std::vector<RefusedRecipient> refused_;
    // The log-in the open session was made with.
    std::string sessionAccount_;
};

}  // namespace qlk
