#include "net/SmtpExtensions.h"

#include <charconv>

#include "message/TextUtils.h"
#include "platform/AsciiCase.h"

namespace qlk {

namespace {

constexpr std::size_t kCodeWidth = 4;  // "250-" or "250 "

}  // namespace

SmtpExtensions::SmtpExtensions(const std::vector<std::string>& ehloReplyLines) {
    // The first line greets; the extensions follow it.
    for (std::size_t i = 1; i < ehloReplyLines.size(); ++i) {
        if (ehloReplyLines[i].size() > kCodeWidth)
            lines_.push_back(Trim(ehloReplyLines[i].substr(kCodeWidth)));
    }
}

std::optional<std::string> SmtpExtensions::Parameters(std::string_view keyword) const {
    for (std::string_view line : lines_) {
        const std::size_t blank = line.find(' ');
        if (!SameText(line.substr(0, blank), keyword)) continue;
        return blank == std::string_view::npos ? std::string() : Trim(line.substr(blank + 1));
    }
    return std::nullopt;
}

std::uint64_t SmtpExtensions::SizeLimit() const {
    const std::optional<std::string> size = Parameters("SIZE");
    std::uint64_t limit = 0;
    if (!size || size->empty()) return 0;
    const auto [end, error] = std::from_chars(size->data(), size->data() + size->size(), limit);
    return error == std::errc() && end == size->data() + size->size() ? limit : 0;
}

}  // namespace qlk
