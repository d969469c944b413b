#pragma once

#include <cstdint>
#include <string>

#include "gateway/UserField.h"

namespace qlk {

// One row of the user table as stored. rowId is the database's own row key;
// 0 for a row that has not been stored yet.
struct UserRecord {
    std::int64_t rowId = 0;
    std::string name;
    std::string mailbox;
    std::string popHost;
    std::string popUserId;
    std::string popPassword;
    std::string returnAddress;
    bool deleteMail = false;
    bool alias = false;
    std::string aliasAddress;

    // The text of a text field; nullptr for a boolean field.
    const std::string* Text(UserField field) const;
    std::string* Text(UserField field);
    // The value of a boolean field; nullptr for a text field.
    const bool* Flag(UserField field) const;
    bool* Flag(UserField field);

    bool operator==(const UserRecord&) const = default;
};

}  // namespace qlk
