#pragma once

#include <iosfwd>
#include <string>

#include "message/TmsAddressList.h"
#include "message/TmsCustomMessage.h"

namespace qlk {

enum TPriority { ptLow, ptNormal, ptHigh };

// An Internet mail message: adds the recipient lists (BCC is never written
// into the header), the priority and the return-receipt request.
class TmsMessage : public TmsCustomMessage {
public:
    TmsAddressList& Recipients() { return recipients_; }
    const TmsAddressList& Recipients() const { return recipients_; }
    TmsAddressList& CC() { return cc_; }
    const TmsAddressList& CC() const { return cc_; }
    TmsAddressList& BCC() { return bcc_; }
    const TmsAddressList& BCC() const { return bcc_; }
    bool ReturnReceipt() const { return returnReceipt_; }
    void SetReturnReceipt(bool value) { returnReceipt_ = value; }
    TPriority Priority() const { return priority_; }
    void SetPriority(TPriority value) { priority_ = value; }

    // Requires a sender address and at least one recipient, CC or BCC address.
    void Validate() const override;
    void SaveToStream(std::ostream& stream) override;
    void LoadFromText(std::string text) override;
    void LoadFromView(std::string_view text, const TextRelease& release = {}) override;
    // Empties the recipient lists too and restores ReturnReceipt and
    // Priority to their defaults.
    void Clear() override;
    void ParseHeaders(const TmsHeaders& headers) override;
    void Assign(const TmsCustomMessage& source) override;

private:
    TmsAddressList recipients_;
    TmsAddressList cc_;
    TmsAddressList bcc_;
    bool returnReceipt_ = false;
    TPriority priority_ = ptNormal;
};

}  // namespace qlk
