#include "net/SmtpExtensions.h"

#include <algorithm>
#include <charconv>

#include "message/TextUtils.h"
#include "platform/AsciiCase.h"

namespace qlk {

namespace {

constexpr std::size_t kCodeWidth = 4;  // "250-" or "250 "

// The blank-separated words of TEXT, in order.
std::vector<std::string_view> Words(std::string_view text) {
    std::vector<std::string_view> words;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find(' ', start), text.size());
        if (end > start) words.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return words;
}

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

bool SmtpExtensions::OffersAuth(std::string_view mechanism) const {
    const std::optional<std::string> mechanisms = Parameters("AUTH");
    if (!mechanisms) return false;
    for (std::string_view offered : Words(*mechanisms)) {
        if (SameText(offered, mechanism)) return true;
    }
    return false;
}

}  // namespace qlk
