#include "gateway/UserValidation.h"

#include <algorithm>
#include <array>

#include "gateway/TableEngine.h"
#include "message/TextUtils.h"
#include "net/MailServerAddress.h"

namespace qlk {
namespace {

constexpr std::array<UserField, 5> kRequiredFields = {UserField::Mailbox, UserField::POPHost,
                                                      UserField::POPUserID, UserField::POPPassword,
                                                      UserField::ReturnAddress};

constexpr std::uint16_t kPop3sPort = 995;

std::string MissingFields(const UserRecord& row) {
    std::string names;
    for (UserField field : kRequiredFields) {
        if (!row.Text(field)->empty()) continue;
        names += (names.empty() ? "" : ", ") + std::string(InfoOf(field).name);
    }
    return names;
}

// Bytes of 128 and above pass: an international domain or mailbox is UTF-8.
bool HasAddressSeparator(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte <= ' ' || byte == 127 ||
               std::string_view("<>()[],;:\\\"@").find(c) != std::string_view::npos;
    });
}

bool IsDomain(std::string_view domain) {
    if (domain.empty() || domain.front() == '.' || domain.back() == '.') return false;
    if (domain.find("..") != std::string_view::npos) return false;
    return !HasAddressSeparator(domain);
}

}  // namespace

void UserValidation::Tidy(UserRecord& row) {
    for (const auto& info : UserFields()) {
        std::string* text = row.Text(info.field);
        if (text && info.field != UserField::POPPassword) *text = Trim(*text);
    }
}

bool UserValidation::IsInternetAddress(const std::string& text) {
    const std::size_t at = text.rfind('@');
    if (at == std::string::npos || at == 0) return false;
    const std::string_view local = std::string_view(text).substr(0, at);
    return !HasAddressSeparator(local) && IsDomain(std::string_view(text).substr(at + 1));
}

std::string UserValidation::Problem(const UserRecord& row) {
    if (const std::string missing = MissingFields(row); !missing.empty())
        return std::string(kRequiredFieldsMissing) + ": " + missing;
    if (!MailServerAddress::Parse(row.popHost, "pop3", kPop3sPort))
        return "POP Host \"" + row.popHost + "\" names no mail server: write a host name such as " +
               "pop.example.com, optionally with :port or pop3s:// in front";
    if (!IsInternetAddress(row.returnAddress))
        return "Return Address \"" + row.returnAddress +
               "\" is not an Internet address: write it as user@example.com";
    return TableEngine::RuleViolation(row);
}

}  // namespace qlk
