#include "message/TmsMessageEncoder.h"

#include <string>

#include "message/TmsMessage.h"

namespace qlk {

namespace {

constexpr std::size_t kLabelWidth = 10;
constexpr std::size_t kFoldWidth = 78;

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
    WriteAddressLine("From:     ", sender, "");
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
        WriteAddressLine(i == 0 ? PaddedLabel(name) : std::string(kLabelWidth, ' '), list.Items(i),
                         i < count - 1 ? "," : "");
    }
}

// "Name <address>" after the label. A line too long for a reader's screen
// folds before the "<", so that even a long name and a long address keep
// within the line length mail allows.
void TmsMessageEncoder::WriteAddressLine(std::string label, const TmsMailAddress& address,
                                         std::string_view tail) {
    const std::string name = HeaderName(address.Name.str(), true);
    const std::string mailbox = "<" + address.Address.str() + ">" + std::string(tail);
    std::string line = label + name;
    if (line.size() + 1 + mailbox.size() > kFoldWidth && !name.empty()) {
        WriteHeaderLine(line);
        line.clear();
    }
    WriteHeaderLine(line + " " + mailbox);
}

}  // namespace qlk
