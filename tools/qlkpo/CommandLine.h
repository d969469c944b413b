#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/Exception.h"

namespace qlk::tools {

// A command line that does not fit the command it names.
class EUsageError : public Exception {
public:
    using Exception::Exception;
};

// The words of one command line: the command, its positional words and its
// options. An option takes one value, a list of values (every following word
// up to the next option) or none.
class CommandLine {
public:
    enum class Kind { Flag, Value, List };

    // Raises EUsageError for an option the command does not take, or one
    // without its value.
    CommandLine(const std::vector<std::string>& words, const std::map<std::string, Kind>& options);

    const std::vector<std::string>& Positional() const { return positional_; }
    bool Has(const std::string& option) const;
    // The option's value; EUsageError when `required` and it is missing.
    std::optional<std::string> Value(const std::string& option, bool required = false) const;
    std::vector<std::string> List(const std::string& option) const;

private:
    std::vector<std::string> positional_;
    std::map<std::string, std::vector<std::string>> values_;
    std::set<std::string> flags_;
};

}  // namespace qlk::tools
