#pragma once

#include <string>
#include <string_view>

#include "message/TmsCustomEncoder.h"

namespace qlk {

class TmsMessage;

// Writes a mail message: From, To and CC (one address per folded line; BCC
// never), the receipt request, the priority, the application's own header
// lines and the Subject.
class TmsMessageEncoder : public TmsCustomEncoder {
public:
    explicit TmsMessageEncoder(TmsMessage& message);

protected:
    void WriteHeaders() override;

private:
    void WriteAddressField(std::string_view name, const TmsAddressList& list);
    void WriteAddressLine(std::string label, const TmsMailAddress& address, std::string_view tail);

    TmsMessage& mail_;
};

}  // namespace qlk
