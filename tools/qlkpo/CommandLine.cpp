#include "CommandLine.h"

namespace qlk::tools {

namespace {

bool IsOption(const std::string& word) {
    return word.size() > 2 && word.starts_with("--");
}

}  // namespace

CommandLine::CommandLine(const std::vector<std::string>& words, const std::map<std::string, Kind>& options) {
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (!IsOption(word)) {
            positional_.push_back(word);
            continue;
        }
        const auto option = options.find(word);
        if (option == options.end()) throw EUsageError("unknown option " + word);
        if (option->second == Kind::Flag) {
            flags_.insert(word);
            continue;
        }
        std::vector<std::string>& values = values_[word];
        const std::size_t before = values.size();
        while (i + 1 < words.size() && !IsOption(words[i + 1])) {
            values.push_back(words[++i]);
            if (option->second == Kind::Value) break;
        }
        if (values.size() == before) throw EUsageError(word + " needs a value");
        if (option->second == Kind::Value && values.size() > 1) throw EUsageError(word + " given twice");
    }
}

bool CommandLine::Has(const std::string& option) const {
    return flags_.contains(option);
}

std::optional<std::string> CommandLine::Value(const std::string& option, bool required) const {
    const auto found = values_.find(option);
    if (found != values_.end()) return found->second.front();
    if (required) throw EUsageError(option + " is required");
    return std::nullopt;
}

std::vector<std::string> CommandLine::List(const std::string& option) const {
    const auto found = values_.find(option);
    return found == values_.end() ? std::vector<std::string>() : found->second;
}

}  // namespace qlk::tools
