#include "net/ServerReply.h"

#include <array>

#include "platform/AsciiCase.h"

namespace qlk {

namespace {

const std::string kNoLine;

// RFC 2449 and RFC 3206 response codes of a refusal that may pass.
constexpr std::array<std::string_view, 3> kPop3TemporaryCodes = {"[IN-USE]", "[LOGIN-DELAY]", "[SYS/TEMP]"};

}  // namespace

int ServerReply::NumericCode(std::string_view line) {
    if (line.size() < 3) return -1;
    int code = 0;
    for (int i = 0; i < 3; ++i) {
        if (line[i] < '0' || line[i] > '9') return -1;
        code = code * 10 + (line[i] - '0');
    }
    return code;
}

int ServerReply::StatusCode(std::string_view line) {
    if (line.empty()) return 0;
    if (line[0] == '+') return 1;
    if (line[0] == '-') return -1;
    return 0;
}

int ServerReply::CodeOf(std::string_view line) const {
    return form_ == Form::Numeric ? NumericCode(line) : StatusCode(line);
}

void ServerReply::AddLine(std::string line) {
    if (lines_.empty()) code_ = CodeOf(line);
    lines_.push_back(std::move(line));
}

const std::string& ServerReply::LastLine() const {
    return Complete() ? lines_.back() : kNoLine;
}

bool ServerReply::Pop3Temporary() const {
    // "-ERR [IN-USE] ...": the code is the word after the indicator.
    std::string_view line = lines_.front();
    const auto blank = line.find(' ');
    if (blank == std::string_view::npos) return false;
    line.remove_prefix(blank + 1);
    for (std::string_view code : kPop3TemporaryCodes) {
        if (line.size() >= code.size() && SameText(line.substr(0, code.size()), code)) return true;
    }
    return false;
}

ErrorKind ServerReply::Kind() const {
    if (!Complete()) return ErrorKind::ConnectionLost;
    if (form_ == Form::Status) {
        if (code_ != -1 || Pop3Temporary()) return ErrorKind::Transient;
        return ErrorKind::Permanent;
    }
    return Class() == 5 ? ErrorKind::Permanent : ErrorKind::Transient;
}

}  // namespace qlk
