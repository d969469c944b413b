#include "message/TQuotedPrintable.h"

#include "message/QuotedPrintable.h"

namespace qlk {

void TQuotedPrintable::Encode() {
    QPEncodeLines(stream_, lines_);
}

void TQuotedPrintable::Decode() {
    QPDecodeLines(lines_, stream_, 255);
}

}  // namespace qlk
