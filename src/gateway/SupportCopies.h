#pragma once

#include <filesystem>
#include <string>

namespace qlk {

// Copies of the files a problem report carries, with every password blanked,
// so that a report can go to anyone: QLK.CFG without the dial-up and relay
// passwords,
// users.DB without the users' POP passwords. The originals are only read.
class SupportCopies {
public:
    // QLK.CFG as it stands, its password lines emptied; a damaged
    // file is copied as damaged. Raises qlk::Exception when it cannot be read.
    static std::string ConfigurationWithoutPasswords(const std::filesystem::path& file);

    // users.DB as an SQLite file whose "POP Password" values are all empty,
    // with no trace of the old values left in free pages. Raises
    // EDatabaseError when the file cannot be read as the user table: no copy
    // is better than one with the passwords in it.
    static std::string UserTableWithoutPasswords(const std::filesystem::path& file);

    // More than a sound QLK.CFG ever holds.
    static constexpr std::size_t kMaxConfigurationBytes = 1 << 20;
};

}  // namespace qlk
