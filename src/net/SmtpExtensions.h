#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qlk {

// What an SMTP server says it can do in its reply to EHLO (RFC 5321
// 4.1.1.1): after the greeting line, one extension per line, a keyword and
// its parameters. A server greeted with HELO lists nothing.
class SmtpExtensions {
public:
    SmtpExtensions() = default;
    // The lines of the EHLO reply, each with its "250-" or "250 " in front.
    explicit SmtpExtensions(const std::vector<std::string>& ehloReplyLines);

    bool Has(std::string_view keyword) const { return Parameters(keyword).has_value(); }
    // The parameters after the keyword ("" when it has none).
    std::optional<std::string> Parameters(std::string_view keyword) const;

    // SIZE (RFC 1870): the largest message the server takes, in bytes; 0
    // when it names no limit or does not list SIZE.
    std::uint64_t SizeLimit() const;

private:
    std::vector<std::string> lines_;
};

}  // namespace qlk
