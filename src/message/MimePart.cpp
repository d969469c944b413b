#include "message/MimePart.h"

#include "message/MimeParameters.h"
#include "message/TLineStream.h"

namespace qlk {

namespace {

bool IsWhite(char c) {
    return c == ' ' || c == '\t';
}

// 1 for "--boundary", 2 for "--boundary--" (white space after either is
// allowed: some mail programs leave it there), 0 for any other line.
int BoundaryKind(std::string_view line, std::string_view delimiter) {
    if (!line.starts_with(delimiter)) return 0;
    line.remove_prefix(delimiter.size());
    int kind = 1;
    if (line.starts_with("--")) {
        kind = 2;
        line.remove_prefix(2);
    }
    for (char c : line) {
        if (!IsWhite(c)) return 0;
    }
    return kind;
}

// Where the line end before `lineStart` begins: that line end belongs to the
// boundary line, not to the content before it.
std::size_t BeforeLineEnd(std::string_view text, std::size_t lineStart, std::size_t floor) {
    std::size_t end = lineStart;
    if (end > floor && text[end - 1] == '\n') --end;
    if (end > floor && text[end - 1] == '\r') --end;
    return end;
}

}  // namespace

std::string_view ReadHeaderBlock(std::string_view text, TmsHeaders& headers) {
    LineScanner scanner(text);
    std::size_t position = 0;
    while (position < text.size()) {
        const LineSpan span = scanner.Line(position);
        const std::string_view line = text.substr(position, span.length);
        position = span.next;
        if (line.empty()) return text.substr(position);
        headers.Add(std::string(line));
    }
    return {};
}

MimePart MimePart::Parse(std::string_view text) {
    Budget budget;
    return ParseEntity(text, "text/plain", 0, budget);
}

MimePart MimePart::FromContent(TmsHeaders headers, std::string_view content) {
    Budget budget;
    return Build(std::move(headers), content, "text/plain", 0, budget);
}

MimePart MimePart::ParseEntity(std::string_view text, std::string_view defaultType, int depth,
                               Budget& budget) {
    TmsHeaders headers;
    const std::string_view content = ReadHeaderBlock(text, headers);
    MimePart part = Build(std::move(headers), content, defaultType, depth, budget);
    if (part.KeptWhole) part.Whole = std::string(text);
    return part;
}

MimePart MimePart::Build(TmsHeaders headers, std::string_view content, std::string_view defaultType,
                         int depth, Budget& budget) {
    MimePart part;
    part.Headers = std::move(headers);
    part.Content = content;
    part.Type = MimeParameters(part.Headers.GetFieldValue("Content-Type")).MainValue();
    if (part.Type.empty() || part.Type.find('/') == std::string::npos) part.Type = defaultType;
    --budget.partsLeft;
    if (!part.Type.starts_with("multipart/")) return part;
    if (depth >= MaxDepth) {
        part.KeptWhole = true;
        return part;
    }
    part.SplitParts(depth, budget);
    return part;
}

void MimePart::SplitParts(int depth, Budget& budget) {
    const std::string boundary = MimeParameters(Headers.GetFieldValue("Content-Type")).Raw("boundary");
    const std::string delimiter = "--" + boundary;
    const std::string_view childDefault = Type == "multipart/digest" ? "message/rfc822" : "text/plain";
    LineScanner scanner(Content);
    std::size_t position = 0;
    std::size_t partStart = std::string_view::npos;
    auto addPart = [&](std::size_t end) {
        const std::string_view text = Content.substr(partStart, end - partStart);
        Parts.push_back(ParseEntity(text, childDefault, depth + 1, budget));
    };
    while (!boundary.empty() && position < Content.size()) {
        const std::size_t lineStart = position;
        const LineSpan span = scanner.Line(position);
        position = span.next;
        const int kind = BoundaryKind(Content.substr(lineStart, span.length), delimiter);
        // A closing line before any part opened is part of the preamble.
        if (kind == 0 || (kind == 2 && partStart == std::string_view::npos && Parts.empty())) continue;
        if (partStart != std::string_view::npos) addPart(BeforeLineEnd(Content, lineStart, partStart));
        partStart = std::string_view::npos;
        if (kind == 2) return;
        if (budget.partsLeft <= 0) {
            // The rest of this multipart stays together, as a multipart of
            // its own that any mail reader opens.
            MimePart rest;
            rest.Type = Type;
            rest.KeptWhole = true;
            rest.Whole = "Content-Type: " + Type + "; boundary=\"" + boundary + "\"\r\n\r\n" +
                         std::string(Content.substr(lineStart));
            Parts.push_back(std::move(rest));
            return;
        }
        partStart = position;
    }
    // A last part without a closing boundary runs to the end.
    if (partStart != std::string_view::npos) addPart(Content.size());
}

}  // namespace qlk
