#include "message/TmsMessageEncoder.h"

#include <string>

#include "message/TmsMessage.h"

namespace qlk {

namespace {

constexpr std::size_t kLabelWidth = 10;

std::string PaddedLabel(std::string_view name) {
    std::string label(name);
    if (label.empty() || label.back() != ':') label += ':';
    if (label.size() < kLabelWidth) label.resize(kLabelWidth, ' ');
    return label;
}

}  // namespace

TmsMessageEncoder::TmsMessageEncoder(TmsMessage& message) : TmsCustomEncoder(message), mail_(message) {}

void TmsMessageEncoder::WriteHeaders() {
    const TmsMailAddress& sender = mail_.Sender();
    WriteHeaderLine("From:     " + HeaderName(sender.Name.str(), true) + " <" + sender.Address.str() + ">");
    WriteAddressField("To", mail_.Recipients());
    WriteAddressField("CC", mail_.CC());
    if (mail_.ReturnReceipt()) WriteHeaderLine("Return-Receipt-To: <" + sender.Address.str() + ">");
    if (mail_.Priority() == ptHigh) WriteLine("X-Priority: 1");
    if (mail_.Priority() == ptLow) WriteLine("X-Priority: 5");
    WriteOtherHeaders();
    if (!mail_.Subject().empty()) WriteFoldedHeader("Subject:", mail_.Subject());
    if (mail_.Encoding() == meMIME) WriteLine("Mime-Version: 1.0");
}

void TmsMessageEncoder::WriteAddressField(std::string_view name, const TmsAddressList& list) {
    const int count = list.Count();
    for (int i = 0; i < count; ++i) {
        const TmsMailAddress& address = list.Items(i);
        std::string line = i == 0 ? PaddedLabel(name) : std::string(kLabelWidth, ' ');
        line += HeaderName(address.Name.str(), true) + " <" + address.Address.str() + ">";
        if (i < count - 1) line += ',';
        WriteHeaderLine(line);
    }
}

}  // namespace qlk
