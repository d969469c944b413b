#include "gateway/SmtpDelivery.h"

#include <utility>

#include "message/TmsMessage.h"
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
    if (const std::string* bad = AddressWithLineBreak()) {
        reason_ = "The address " + Printable(*bad) + " holds a line break and cannot be sent";
        failureKind_ = ErrorKind::Permanent;
        return Result::Refused;
    }
    if (!OpenSession()) return Result::Deferred;
    try {
        return Send();
    } catch (...) {
        EndSession();
        throw;
    }
}

bool SmtpDelivery::OpenSession() {
    // A session logged in as one user never carries another user's mail.
    const std::string account = smtp_.UserID + '\0' + smtp_.Password;
    if (smtp_.Connected() && account == sessionAccount_ && SessionAnswers()) return true;
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
    // The sender is the envelope's first entry.
    const int envelopeSize = static_cast<int>(envelope_.size()) - 1;
    // A recipient refused for good is passed over while others remain; a
    // transient refusal keeps the whole message, so that nobody gets it twice.
    HandlerSwap swap(smtp_.OnAddressRejected,
                     [this, envelopeSize](TagSocket& sender, const std::string& address,
                                          const std::string& reply, bool& proceed) {
                         if (sender.Reply().Kind() != ErrorKind::Permanent) return;
                         refused_.push_back({address, reply});
                         proceed = static_cast<int>(refused_.size()) < envelopeSize;
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

std::vector<std::string> SmtpDelivery::EnvelopeAddresses() const {
    if (smtp_.MailMessage == nullptr) return {""};
    const TmsMessage& message = *smtp_.MailMessage;
    std::vector<std::string> addresses{message.Sender().Address};
    if (!smtp_.RecipientOverride.empty()) {
        addresses.insert(addresses.end(), smtp_.RecipientOverride.begin(), smtp_.RecipientOverride.end());
        return addresses;
    }
    for (const TmsAddressList* list : {&message.Recipients(), &message.CC(), &message.BCC()}) {
        for (int i = 0; i < list->Count(); ++i) addresses.push_back(list->Items(i).Address);
    }
    return addresses;
}

const std::string* SmtpDelivery::AddressWithLineBreak() {
    envelope_ = EnvelopeAddresses();
    for (const std::string& address : envelope_) {
        if (address.find_first_of("\r\n") != std::string::npos) return &address;
    }
    return nullptr;
}

std::string SmtpDelivery::Printable(const std::string& text) {
    std::string out;
    for (char c : text) out += (c == '\r' || c == '\n') ? ' ' : c;
    return out;
}

}  // namespace qlk
