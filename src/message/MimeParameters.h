#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qlk {

// A MIME header value with parameters ("text/plain; charset=utf-8",
// "attachment; filename*=UTF-8''na%C3%AFve.pdf"), read as RFC 2045 and RFC
// 2231 say: quoted strings with their escapes, continuations ("name*0*=",
// "name*1="), percent-encoded values in a declared character set, and the
// RFC 2047 words that many mail programs put into "name=" although no
// standard allows it there. Parameter names compare without case.
class MimeParameters {
public:
    explicit MimeParameters(std::string_view value);

    // The value before the first ";", trimmed and lower-cased ("text/plain").
    const std::string& MainValue() const { return mainValue_; }
    // The parameter's value as UTF-8, "" when absent.
    std::string Get(std::string_view name) const;
    // The parameter's value exactly as written (quotes removed, no
    // decoding); for "boundary", whose bytes must match the part's lines.
    std::string Raw(std::string_view name) const;

private:
    struct Piece {
        std::string name;  // lower-cased, without the "*N" or "*"
        int section = -1;  // N of "*N", -1 without one
        bool extended = false;
        std::string value;
    };
    std::string mainValue_;
    std::vector<Piece> pieces_;
};

}  // namespace qlk
