#include "gateway/SubjectLine.h"

#include "gateway/UserValidation.h"
#include "message/TextUtils.h"
#include "platform/AsciiCase.h"
#include "platform/ShortString.h"

namespace qlk {

namespace {

// The longest a cut on a UTF-8 character boundary can shorten a text.
constexpr std::size_t kLongestCharacter = 3;

struct Prefix {
    std::string_view text;
    SubjectLine::Kind kind;
};

// No prefix begins another, so their order does not matter.
constexpr Prefix kPrefixes[] = {{"TO:", SubjectLine::Kind::To},
                                {"CC:", SubjectLine::Kind::CC},
                                {"BC:", SubjectLine::Kind::BC},
                                {"BCC:", SubjectLine::Kind::BC}};

}  // namespace

SubjectLine::SubjectLine(std::string_view subject) {
    std::string_view addressPart = subject;
    if (const auto bar = subject.find('|'); bar != std::string_view::npos) {
        hasBar_ = true;
        addressPart = subject.substr(0, bar);
        realSubject_ = subject.substr(bar + 1);
    }
    while (!addressPart.empty()) {
        const auto end = addressPart.find(';');
        AddItem(addressPart.substr(0, end));
        if (end == std::string_view::npos) break;
        addressPart.remove_prefix(end + 1);
    }
}

void SubjectLine::AddItem(std::string_view written) {
    const std::string item = Trim(written);
    if (item.empty()) return;
    Item used{Kind::DefaultTo, item};
    for (const auto& [prefix, kind] : kPrefixes) {
        if (item.size() >= prefix.size() &&
            SameText(std::string_view(item).substr(0, prefix.size()), prefix)) {
            used = {kind, Trim(std::string_view(item).substr(prefix.size()))};
            break;
        }
    }
    // A prefix with nothing behind it names nobody.
    if (used.address.empty()) return;
    if (UserValidation::IsInternetAddress(used.address)) {
        items_.push_back(std::move(used));
    } else {
        notAddresses_.push_back(item);
    }
}

bool SubjectLine::MayBeCut(std::string_view subject) {
    return subject.find('|') == std::string_view::npos && subject.size() <= ShortString::MaxLength &&
           subject.size() + kLongestCharacter >= ShortString::MaxLength;
}

std::string SubjectLine::LogText(const Item& item) {
    switch (item.kind) {
        case Kind::To:
            return "Added To: Recipient : " + item.address;
        case Kind::CC:
            return "Added CC: Recipient : " + item.address;
        case Kind::BC:
            return "Added BC: Recipient : " + item.address;
        case Kind::DefaultTo:
            break;
    }
    return "Added Default To: Recipient : " + item.address;
}

}  // namespace qlk
