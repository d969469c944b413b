#include "message/TmsMessage.h"

#include <memory>
#include <ostream>

#include "message/EMessageError.h"
#include "message/TextUtils.h"
#include "message/TmsMessageDecoder.h"
#include "message/TmsMessageEncoder.h"

namespace qlk {

namespace {

bool HasAddress(const TmsAddressList& list) {
    for (int i = 0; i < list.Count(); ++i) {
        if (!list.Items(i).Address.empty()) return true;
    }
    return false;
}

void AddParsedAddresses(const TmsHeaders& headers, std::string_view field, TmsAddressList& list) {
    std::vector<std::string> items;
    headers.GetFieldList(field, items);
    for (const std::string& item : items) {
        auto address = std::make_unique<TmsMailAddress>();
        ParseAddress(item, *address);
        list.Add(std::move(address));
    }
}

// "1", "1 (Highest)": the number counts, the comment after it does not.
TPriority PriorityFromHeader(const std::string& value) {
    const std::string number = value.substr(0, value.find_first_not_of("0123456789"));
    if (number == "1") return ptHigh;
    if (number == "5") return ptLow;
    return ptNormal;
}

}  // namespace

void TmsMessage::Validate() const {
    TmsCustomMessage::Validate();
    if (!HasAddress(recipients_) && !HasAddress(cc_) && !HasAddress(bcc_)) {
        throw EMessageError("At least one Recipient, CC or BCC must be entered");
    }
}

void TmsMessage::SaveToStream(std::ostream& stream) {
    TmsMessageEncoder encoder(*this);
    encoder.Encode(stream);
}

void TmsMessage::LoadFromText(std::string text) {
    TmsMessageDecoder decoder(*this, std::move(text));
    decoder.Decode();
}

void TmsMessage::LoadFromView(std::string_view text, const TextRelease& release) {
    TmsMessageDecoder decoder(*this, text, TLineStream::Borrowed{release});
    decoder.Decode();
}

void TmsMessage::Clear() {
    TmsCustomMessage::Clear();
    cc_.Clear();
    bcc_.Clear();
    recipients_.Clear();
    // A reused message starts from the defaults: a receipt request or a
    // priority read from one message must not travel with the next.
    returnReceipt_ = false;
    priority_ = ptNormal;
}

void TmsMessage::ParseHeaders(const TmsHeaders& headers) {
    ParseAddress(headers.GetFieldValue("FROM"), Sender());
    AddParsedAddresses(headers, "TO", recipients_);
    AddParsedAddresses(headers, "CC", cc_);
    AddParsedAddresses(headers, "BCC", bcc_);
    const std::string subject = headers.GetFieldValue("Subject");
    if (!subject.empty()) SetSubject(subject);
    priority_ = PriorityFromHeader(headers.GetFieldValue("X-Priority"));
    if (!headers.GetFieldValue("Return-receipt-to").empty()) returnReceipt_ = true;
    SetHeaders(headers);
}

void TmsMessage::Assign(const TmsCustomMessage& source) {
    if (const auto* message = dynamic_cast<const TmsMessage*>(&source); message && message != this) {
        recipients_.Assign(message->recipients_);
        cc_.Assign(message->cc_);
        bcc_.Assign(message->bcc_);
        priority_ = message->priority_;
        returnReceipt_ = message->returnReceipt_;
    }
    TmsCustomMessage::Assign(source);
}

}  // namespace qlk
