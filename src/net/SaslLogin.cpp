#include "net/SaslLogin.h"

#include <vector>

#include "message/Base64.h"
#include "platform/AsciiCase.h"

namespace qlk {

namespace {

bool Lists(std::string_view offered, std::string_view mechanism) {
    for (std::size_t start = 0; start < offered.size();) {
        std::size_t end = offered.find(' ', start);
        if (end == std::string_view::npos) end = offered.size();
        if (SameText(offered.substr(start, end - start), mechanism)) return true;
        start = end + 1;
    }
    return false;
}

// RFC 5801's saslname: "," and "=" escaped, for OAUTHBEARER's "a=" field.
std::string SaslName(std::string_view user) {
    std::string name;
    for (char c : user) name += c == ',' ? "=2C" : c == '=' ? "=3D" : std::string(1, c);
    return name;
}

// Without the 255-byte cut of the line interface: tokens run to kilobytes.
std::string Base64(std::string_view data) {
    std::string text;
    Base64EncodeAppend(data, text);
    return text;
}

}  // namespace

std::optional<SaslLogin> SaslLogin::Choose(std::string_view offered, Credentials credentials) {
    const bool token = !credentials.accessToken.empty();
    const std::vector<const char*> preferred = token ? std::vector<const char*>{"XOAUTH2", "OAUTHBEARER"}
                                                     : std::vector<const char*>{"PLAIN", "LOGIN"};
    for (const char* mechanism : preferred) {
        if (Lists(offered, mechanism)) return SaslLogin(mechanism, std::move(credentials));
    }
    return std::nullopt;
}

std::string SaslLogin::FirstMessage() const {
    // XOAUTH2 and OAUTHBEARER separate their fields with ^A.
    static const std::string kSeparator = "\x01";
    const Credentials& c = credentials_;
    const std::string bearer = "auth=Bearer " + c.accessToken + kSeparator + kSeparator;
    if (mechanism_ == "PLAIN") return std::string(1, '\0') + c.user + '\0' + c.password;
    if (mechanism_ == "XOAUTH2") return "user=" + c.user + kSeparator + bearer;
    // The optional host and port fields are left out: no provider needs them.
    if (mechanism_ == "OAUTHBEARER") return "n,a=" + SaslName(c.user) + "," + kSeparator + bearer;
    return {};
}

std::string SaslLogin::InitialResponse() const {
    return mechanism_ == "LOGIN" ? std::string() : Base64(FirstMessage());
}

std::string SaslLogin::Answer() {
    ++answered_;
    if (mechanism_ == "LOGIN") {
        // "Username:", then "Password:"; anything further is cancelled.
        if (answered_ == 1) return Base64(credentials_.user);
        if (answered_ == 2) return Base64(credentials_.password);
        return "*";
    }
    if (!initialSent_) {
        // The server asked for the first message with an empty challenge.
        initialSent_ = true;
        return InitialResponse();
    }
    if (mechanism_ == "OAUTHBEARER") return Base64("\x01");
    if (mechanism_ == "XOAUTH2") return {};
    return "*";
}

}  // namespace qlk
