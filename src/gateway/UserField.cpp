#include "gateway/UserField.h"

#include <algorithm>

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
    const auto& fields = UserFields();
    // The exact spelling first: the transfers look fields up once per row.
    for (const auto& info : fields)
        if (name == info.name) return info.field;
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (const auto& info : fields) {
        const std::string_view candidate(info.name);
        if (std::equal(candidate.begin(), candidate.end(), name.begin(), name.end(),
                       [&lower](char a, char b) { return lower(a) == lower(b); }))
            return info.field;
    }
    return std::nullopt;
}

}  // namespace qlk
