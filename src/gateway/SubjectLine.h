#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qlk {

// The subject line of a message a post-office user sends out through the
// gateway: Internet recipients, then "|", then the real subject, e.g.
//   TO:ann@example.org; CC: bob@example.org|Quarterly figures
// The recipients are ";"-separated items, read as people type them: blanks
// around items, prefixes and addresses do not count, and an item that begins
// with "TO:", "CC:", "BC:" or "BCC:" (in any letter case) goes to that list;
// any other goes to the To list. An item that is no Internet address ("Bob",
// "Ann <ann@example.org>") is kept apart, so that the sender can be told.
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
    // The items that name no Internet address, as written less the blanks
    // around them.
    const std::vector<std::string>& NotAddresses() const { return notAddresses_; }
    // Whether the subject held a "|" (the real subject may still be empty).
    bool HasBar() const { return hasBar_; }
    // Everything after the first "|", further "|" characters included.
    const std::string& RealSubject() const { return realSubject_; }
    bool HasRecipient() const { return !items_.empty(); }

    // Whether a post office that holds 255 bytes of a subject may have cut
    // this one: it fills that space (a cut on a character boundary leaves
    // 252 to 255 bytes) and its "|" is missing, so the last recipient may
    // be cut short and the rest lost.
    static bool MayBeCut(std::string_view subject);

    // The status-log line for one used item.
    static std::string LogText(const Item& item);

private:
    void AddItem(std::string_view item);

    std::vector<Item> items_;
    std::vector<std::string> notAddresses_;
    bool hasBar_ = false;
    std::string realSubject_;
};

}  // namespace qlk
