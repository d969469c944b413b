#pragma once

#include <ctime>
#include <string>

namespace qlk {

// An RFC 5322 date ("Tue, 08 Dec 2026 09:00:00 +0100") of `when` in local
// time. The day and month names are English whatever the locale: a header
// date in another language is no date to a mail reader.
std::string MailDate(std::time_t when);

}  // namespace qlk
