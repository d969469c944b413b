// Feeds arbitrary bytes to every decoder of the message library and checks
// that what the encoders write decodes back to what they were given.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "message/Base64.h"
#include "message/EMessageParserError.h"
#include "message/HeaderWords.h"
#include "message/QuotedPrintable.h"
#include "message/TQuotedPrintable.h"
#include "message/TextUtils.h"
#include "message/TmsMailAddress.h"
#include "message/UUCode.h"
#include "platform/Exception.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        lines.emplace_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    return lines;
}

template <typename Decode>
void IgnoringParserErrors(Decode decode) {
    try {
        decode();
    } catch (const qlk::EMessageParserError&) {
    }
}

void FeedDecoders(std::string_view data) {
    IgnoringParserErrors([&] { Check(qlk::Base64DecodeString(data).size() <= 255); });
    IgnoringParserErrors([&] {
        std::string out;
        qlk::Base64DecodeText(data, out);
    });
    IgnoringParserErrors([&] { Check(qlk::UUDecodeLine(data).size() <= 255); });
    IgnoringParserErrors([&] {
        for (const std::string& line : SplitLines(data)) {
            std::string out;
            qlk::UUDecodeLineAppend(line, out);
            Check(out.size() <= (line.size() + 2) / 4 * 3);
        }
    });
    qlk::IsUUBegin(data);
    qlk::UUFileName(data);
    try {
        std::string out;
        std::vector<std::string> lines = SplitLines(data);
        qlk::TQuotedPrintable(out, lines).Decode();
        out.clear();
        qlk::QPDecodeText(data, out);
        Check(qlk::QPDecodeString(data).size() <= 255);
    } catch (const qlk::Exception&) {  // "Paragraph is too large"
    }
    IgnoringParserErrors([&] { Check(qlk::DecodeHeaderWords(data).size() <= 255); });
    Check(qlk::EncodeJisHeader(data.substr(0, 1000)).size() <= std::max<std::size_t>(255, data.size()));
}

void FeedTextUtilities(std::string_view data) {
    qlk::TmsMailAddress address;
    qlk::ParseAddress(data, address);
    qlk::StripQuotes(data);
    qlk::GetMainValue(data);
    const std::size_t split = data.empty() ? 0 : static_cast<unsigned char>(data[0]) % data.size();
    qlk::GetParameter(data.substr(0, split), data.substr(split));
    for (int n = 0; n < 4; ++n) {
        qlk::ExtractWord(data, n, n % 2 == 0);
        qlk::ExtractWordInt(data, n);
    }
}

void CheckBase64RoundTrip(std::string_view data) {
    std::string text;
    qlk::Base64EncodeWrapped(data, text);
    std::string decoded;
    qlk::Base64DecodeText(text, decoded);
    Check(decoded == data);
    for (std::size_t i = 0; i < data.size(); i += 57) {
        const std::string_view chunk = data.substr(i, 57);
        Check(qlk::Base64DecodeString(qlk::Base64EncodeString(chunk)) == chunk);
    }
}

void CheckUURoundTrip(std::string_view data) {
    std::string text;
    qlk::UUEncodeWrapped(data, text, "\n");
    std::string decoded;
    for (const std::string& line : SplitLines(text)) decoded += qlk::UUDecodeLine(line);
    Check(decoded == data);
}

// What the quoted-printable coder gives back for data: the paragraphs
// between line breaks (CR LF and LF CR one break, a doubled CR or LF two,
// the very last byte always content), each followed by CR LF unless it is
// the last one and ends with Ctrl-Z.
std::string ExpectedQPRoundTrip(std::string_view data, bool& fits) {
    std::string expected;
    std::string paragraph;
    fits = true;
    bool endsWithCtrlZ = false;
    auto endParagraph = [&] {
        fits = fits && paragraph.size() <= qlk::kQPMaxDecodeParagraph;
        expected += paragraph;
        expected += "\r\n";
        endsWithCtrlZ = !paragraph.empty() && paragraph.back() == 26;
        paragraph.clear();
    };
    for (std::size_t i = 0; i < data.size(); ++i) {
        const char c = data[i];
        if ((c != '\r' && c != '\n') || i + 1 == data.size()) {
            paragraph += c;
            continue;
        }
        const char next = data[i + 1];
        if ((next == '\r' || next == '\n') && next != c) ++i;
        endParagraph();
    }
    if (!paragraph.empty()) endParagraph();
    if (endsWithCtrlZ) expected.resize(expected.size() - 2);
    return expected;
}

void CheckQPRoundTrip(std::string_view data) {
    bool fits = false;
    const std::string expected = ExpectedQPRoundTrip(data, fits);
    if (!fits) return;
    std::string text;
    qlk::QPEncodeAppend(data, text);
    std::string decoded;
    qlk::QPDecodeText(text, decoded);
    Check(decoded == expected);

    std::string stream(data);
    std::vector<std::string> lines;
    qlk::TQuotedPrintable(stream, lines).Encode();
    for (const std::string& line : lines) Check(line.size() <= 3 * qlk::kQPPieceLength + 1);
    std::string fromLines;
    qlk::TQuotedPrintable(fromLines, lines).Decode();
    Check(fromLines == expected);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const std::string_view data(reinterpret_cast<const char*>(bytes), size);
    FeedDecoders(data);
    FeedTextUtilities(data);
    CheckBase64RoundTrip(data);
    CheckUURoundTrip(data);
    CheckQPRoundTrip(data);
    return 0;
}
