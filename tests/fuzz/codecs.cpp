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
#include "message/Charsets.h"
#include "message/EMessageParserError.h"
#include "message/HeaderWords.h"
#include "message/MimeParameters.h"
#include "message/QuotedPrintable.h"
#include "message/TQuotedPrintable.h"
#include "message/TextUtils.h"
#include "message/TmsMailAddress.h"
#include "message/UUCode.h"

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
    {
        std::string out;
        std::vector<std::string> lines = SplitLines(data);
        qlk::TQuotedPrintable(out, lines).Decode();
        out.clear();
        qlk::QPDecodeText(data, out);
        Check(qlk::QPDecodeString(data).size() <= 255);
        out.clear();
        qlk::Base64DecodeLenientAppend(data, out);
        Check(out.size() <= data.size() / 4 * 3 + 2);
    }
    Check(qlk::IsValidUtf8(qlk::DecodeHeaderWords(data)));
    Check(qlk::IsValidUtf8(qlk::MimeParameters(data).Get("filename")));
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
// between line breaks (CR LF and LF CR one break, a doubled CR or LF two),
// each followed by CR LF, the text after the last break only when there is
// some; a last paragraph that ends with Ctrl-Z has no CR LF.
std::string ExpectedQPRoundTrip(std::string_view data) {
    std::string expected;
    std::string paragraph;
    bool endsWithCtrlZ = false;
    auto endParagraph = [&] {
        expected += paragraph;
        expected += "\r\n";
        endsWithCtrlZ = !paragraph.empty() && paragraph.back() == 26;
        paragraph.clear();
    };
    for (std::size_t i = 0; i < data.size(); ++i) {
        const char c = data[i];
        if (c != '\r' && c != '\n') {
            paragraph += c;
            continue;
        }
        const char next = i + 1 < data.size() ? data[i + 1] : 0;
        if ((next == '\r' || next == '\n') && next != c) ++i;
        endParagraph();
    }
    if (!paragraph.empty()) endParagraph();
    if (endsWithCtrlZ) expected.resize(expected.size() - 2);
    return expected;
}

void CheckQPRoundTrip(std::string_view data) {
    const std::string expected = ExpectedQPRoundTrip(data);
    std::string text;
    qlk::QPEncodeAppend(data, text);
    std::string decoded;
    qlk::QPDecodeText(text, decoded);
    Check(decoded == expected);

    std::string stream(data);
    std::vector<std::string> lines;
    qlk::TQuotedPrintable(stream, lines).Encode();
    for (const std::string& line : lines) Check(line.size() <= 76);
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
