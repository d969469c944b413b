#pragma once

#include <string>

#include "gateway/UserRecord.h"

namespace qlk {

// What the user form and `quelmark users` both check before a user row is
// stored, so that a row the gateway cannot use is refused at once, with the
// field named, instead of failing at every transfer.
class UserValidation {
public:
    static constexpr const char* kRequiredFieldsMissing = "All Required Fields are not Filled Out";

    // Takes the blanks and control characters off both ends of every text
    // field but the password, which may hold them on purpose.
    static void Tidy(UserRecord& row);

    // The first reason ROW cannot be stored, or an empty text: the required
    // fields left empty, named; a POP Host that names no server; a Return
    // Address that is no Internet address; then the table's own rules.
    static std::string Problem(const UserRecord& row);

    // "user@host": a local part and a domain without blanks or the
    // characters that separate addresses.
    static bool IsInternetAddress(const std::string& text);
};

}  // namespace qlk
