#pragma once

#include <string>
#include <vector>

namespace qlk {

// The quoted-printable coder between a byte buffer and a list of text lines;
// it holds references to both and owns neither. Encode reads the whole buffer
// from its start and appends lines; Decode reads the lines (each cut at 255)
// and appends the bytes to the buffer. Rules and limits: QuotedPrintable.h.
class TQuotedPrintable {
public:
    TQuotedPrintable(std::string& stream, std::vector<std::string>& lines) : stream_(stream), lines_(lines) {}

    void Encode();
    void Decode();

private:
    std::string& stream_;
    std::vector<std::string>& lines_;
};

}  // namespace qlk
