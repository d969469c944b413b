#include "gateway/SmtpDelivery.h"

#include <utility>

#include "net/ELoginRefused.h"
#include "net/TmsSMTP.h"

namespace qlk {

namespace {

// Restores the client's handler when the delivery is done with it.
class HandlerSwap {
public:
    HandlerSwap(TmsAddressRejectedEvent& slot, TmsAddressRejectedEvent handler)
        : slot_(slot), saved_(std::exchange(slot, std::move(handler))) {}
    ~HandlerSwap() { slot_ = std::move(saved_); }
    HandlerSwap(const HandlerSwap&) = delete;
    HandlerSwap& operator=(const HandlerSwap&) = delete;

private:
    TmsAddressRejectedEvent& slot_;
    TmsAddressRejectedEvent saved_;
};

}  // namespace

SmtpDelivery::~SmtpDelivery() {
    EndSession();
}

SmtpDelivery::Result SmtpDelivery::Deliver() {
    reason_.clear();
    failureKind_ = ErrorKind::General;
    failureReply_ = ServerReply();
    refused_.clear();
    if (!OpenSession()) return Result::Deferred;
    try {
        return Send();
    } catch (...) {
        EndSession();
        throw;
    }
}

bool SmtpDelivery::OpenSession() {
    // A session logged in as one user never carries another user's mail;
    // one that has not logged in may carry anyone's.
    const std::string account = smtp_.UserID + '\0' + smtp_.Password + '\0' + smtp_.AccessToken;
    if (smtp_.Connected() && (account == sessionAccount_ || !smtp_.LoggedIn()) && SessionAnswers()) {
        sessionAccount_ = account;
        return true;
    }
    EndSession();
    try {
        smtp_.Connect();
    } catch (const ELoginRefused& e) {
        // The relay answered, but not this user's log-in: another user's
        // mail may still go.
        NoteFailure(e);
        EndSession();
        return false;
    } catch (...) {
        EndSession();
        throw;
    }
    sessionAccount_ = account;
    return true;
}

bool SmtpDelivery::SessionAnswers() {
    try {
        smtp_.SendLine("RSET");
        return smtp_.ReadReply() / 100 == 2 && smtp_.Reply().Complete();
    } catch (const Exception& e) {
        if (e.Kind() == ErrorKind::Cancelled) throw;
        return false;
    }
}

void SmtpDelivery::NoteFailure(const Exception& error) {
    reason_ = error.what();
    failureKind_ = error.Kind();
    if (const auto* refusal = dynamic_cast<const EServerError*>(&error)) failureReply_ = refusal->Reply();
}

SmtpDelivery::Result SmtpDelivery::Send() {
    const auto recipients = static_cast<int>(smtp_.EnvelopeRecipients().size());
    // A recipient refused for good is passed over while others remain; a
    // transient refusal keeps the whole message, so that nobody gets it twice.
    HandlerSwap swap(smtp_.OnAddressRejected,
                     [this, recipients](TagSocket& sender, const std::string& address,
                                        const std::string& reply, bool& proceed) {
                         if (sender.Reply().Kind() != ErrorKind::Permanent) return;
                         refused_.push_back({address, reply});
                         proceed = static_cast<int>(refused_.size()) < recipients;
                     });
    try {
        smtp_.Send();
        return Result::Accepted;
    } catch (const Exception& e) {
        if (e.Kind() == ErrorKind::Cancelled) throw;
        NoteFailure(e);
        return e.Kind() == ErrorKind::Permanent ? Result::Refused : Result::Deferred;
    }
}

void SmtpDelivery::EndSession() noexcept {
    if (!smtp_.Connected()) return;
    try {
        smtp_.Disconnect();
    } catch (...) {
        // The session is abandoned either way; the first failure is the one reported.
    }
    if (smtp_.Connected()) smtp_.Close();
}

}  // namespace qlk
