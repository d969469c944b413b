#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qlk {

// The subject line of a message a post-office user sends out through the
// gateway: Internet recipients, then "|", then the real subject, e.g.
//   TO:ann@example.org;CC:bob@example.org|Quarterly figures
// The recipients are ";"-separated items. An item without "@" is passed over;
// one holding "TO:", "CC:" or "BC:" (upper case only, the first of these
// found) loses its first three characters, and any other goes to the To list
// whole. Addresses are kept exactly as written, blanks included.
class SubjectLine {
public:
    enum class Kind { To, CC, BC, DefaultTo };

    struct Item {
        Kind kind;
        std::string address;

        bool operator==(const Item&) const = default;
    };

    explicit SubjectLine(std::string_view subject);

    const std::vector<Item>& Items() const { return items_; }
    // Whether the subject held a "|" (the real subject may still be empty).
    bool HasBar() const { return hasBar_; }
    // Everything after the first "|", further "|" characters included.
    const std::string& RealSubject() const { return realSubject_; }
    bool HasRecipient() const { return !items_.empty(); }

    // The status-log line for one used item.
    static std::string LogText(const Item& item);

private:
    static Item Classify(std::string_view item);

    std::vector<Item> items_;
    bool hasBar_ = false;
    std::string realSubject_;
};

}  // namespace qlk
