#include "gateway/UserField.h"

#include <algorithm>
#include <cctype>

namespace qlk {

const std::array<UserFieldInfo, kUserFieldCount>& UserFields() {
    static constexpr std::array<UserFieldInfo, kUserFieldCount> fields{{
        {UserField::Name, "Name", false, false},
        {UserField::Mailbox, "Mailbox", false, true},
        {UserField::POPHost, "POP Host", false, true},
        {UserField::POPUserID, "POP User ID", false, true},
        {UserField::POPPassword, "POP Password", false, true},
        {UserField::ReturnAddress, "Return Address", false, false},
        {UserField::DeleteMail, "Delete Mail", true, false},
        {UserField::Alias, "Alias", true, false},
        {UserField::AliasAddress, "Alias Address", false, false},
    }};
    return fields;
}

const UserFieldInfo& InfoOf(UserField field) {
    return UserFields()[static_cast<std::size_t>(field)];
}

std::optional<UserField> FindUserField(std::string_view name) {
    const auto sameIgnoringCase = [name](const UserFieldInfo& info) {
        const std::string_view candidate(info.name);
        return std::equal(candidate.begin(), candidate.end(), name.begin(), name.end(), [](char a, char b) {
            return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
        });
    };
    const auto& fields = UserFields();
    const auto found = std::find_if(fields.begin(), fields.end(), sameIgnoringCase);
    if (found == fields.end()) return std::nullopt;
    return found->field;
}

}  // namespace qlk
