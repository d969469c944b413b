#pragma once

#include <string>

#include "message/TmsCustomDecoder.h"

namespace qlk {

class TmsMessage;

// Reads a stored mail message into a TmsMessage.
class TmsMessageDecoder : public TmsCustomDecoder {
public:
    TmsMessageDecoder(TmsMessage& message, std::string text);
    TmsMessageDecoder(TmsMessage& message, std::string_view text, TLineStream::Borrowed borrowed);

protected:
    void ParseMessageHeaders() override;

private:
    TmsMessage& mail_;
};

}  // namespace qlk
