#include "gateway/SubjectLine.h"

namespace qlk {

SubjectLine::SubjectLine(std::string_view subject) {
    std::string_view addressPart = subject;
    if (const auto bar = subject.find('|'); bar != std::string_view::npos) {
        hasBar_ = true;
        addressPart = subject.substr(0, bar);
        realSubject_ = subject.substr(bar + 1);
    }
    while (!addressPart.empty()) {
        const auto end = addressPart.find(';');
        const std::string_view item = addressPart.substr(0, end);
        if (item.find('@') != std::string_view::npos) items_.push_back(Classify(item));
        if (end == std::string_view::npos) break;
        addressPart.remove_prefix(end + 1);
    }
}

SubjectLine::Item SubjectLine::Classify(std::string_view item) {
    static constexpr struct {
        std::string_view prefix;
        Kind kind;
    } prefixes[] = {{"TO:", Kind::To}, {"CC:", Kind::CC}, {"BC:", Kind::BC}};
    for (const auto& [prefix, kind] : prefixes) {
        // The prefix counts wherever it stands, but it is the first three
        // characters that are dropped: mail programs have always put it first.
        if (item.find(prefix) != std::string_view::npos) return {kind, std::string(item.substr(3))};
    }
    return {Kind::DefaultTo, std::string(item)};
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
