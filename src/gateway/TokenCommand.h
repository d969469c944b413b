#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace qlk {

// An office's own way to an access token (like mpop's and msmtp's
// passwordeval): a program run without a shell whose first output line is
// the token. The run is bounded in time and in what it may print; its output
// never reaches the log.
class TokenCommand {
public:
    static constexpr std::size_t MaxCommandLength = 2048;

    // Raises a Transient qlk::Exception naming the program when it cannot be
    // started, fails, runs too long or prints no usable token.
    static std::string Run(const std::string& command, std::chrono::milliseconds timeout);

    // The words of COMMAND: split at blanks, '...' and "..." keep blanks;
    // empty when the quotes do not close or the command holds a control
    // character.
    static std::vector<std::string> Words(const std::string& command);
};

}  // namespace qlk
