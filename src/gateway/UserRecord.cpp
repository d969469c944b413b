#include "gateway/UserRecord.h"

namespace qlk {

std::string* UserRecord::Text(UserField field) {
    switch (field) {
        case UserField::Name:
            return &name;
        case UserField::Mailbox:
            return &mailbox;
        case UserField::POPHost:
            return &popHost;
        case UserField::POPUserID:
            return &popUserId;
        case UserField::POPPassword:
            return &popPassword;
        case UserField::ReturnAddress:
            return &returnAddress;
        case UserField::AliasAddress:
            return &aliasAddress;
        case UserField::DeleteMail:
        case UserField::Alias:
            return nullptr;
    }
    return nullptr;
}

const std::string* UserRecord::Text(UserField field) const {
    return const_cast<UserRecord*>(this)->Text(field);
}

bool* UserRecord::Flag(UserField field) {
    switch (field) {
        case UserField::DeleteMail:
            return &deleteMail;
        case UserField::Alias:
            return &alias;
        default:
            return nullptr;
    }
}

const bool* UserRecord::Flag(UserField field) const {
    return const_cast<UserRecord*>(this)->Flag(field);
}

}  // namespace qlk
