#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace qlk {

// The fields of a user row, in the order the table stores them.
enum class UserField {
    Name,
    Mailbox,
    POPHost,
    POPUserID,
    POPPassword,
    ReturnAddress,
    DeleteMail,
    Alias,
    AliasAddress,
};

struct UserFieldInfo {
    UserField field;
    const char* name;  // the column name in users.DB
    bool isBoolean;
    bool required;  // the table refuses to store the row while this field is empty
};

inline constexpr std::size_t kUserFieldCount = 9;

// Longest text a text field may hold, in characters.
inline constexpr std::size_t kMaxUserTextLength = 50;

const std::array<UserFieldInfo, kUserFieldCount>& UserFields();
const UserFieldInfo& InfoOf(UserField field);

// Looks a field up by its column name, ignoring ASCII letter case.
std::optional<UserField> FindUserField(std::string_view name);

}  // namespace qlk
