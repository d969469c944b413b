#include "message/TmsMessageDecoder.h"

#include "message/TmsMessage.h"

namespace qlk {

TmsMessageDecoder::TmsMessageDecoder(TmsMessage& message, std::string text)
    : TmsCustomDecoder(message, std::move(text)), mail_(message) {}

TmsMessageDecoder::TmsMessageDecoder(TmsMessage& message, std::string_view text,
                                     TLineStream::Borrowed borrowed)
    : TmsCustomDecoder(message, text, std::move(borrowed)), mail_(message) {}

void TmsMessageDecoder::ParseMessageHeaders() {
    mail_.ParseHeaders(mainHeaders_);
}

}  // namespace qlk
