#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qlk {

// The client's side of one SASL log-in (RFC 4422) as POP3 AUTH (RFC 5034)
// and SMTP AUTH (RFC 4954) carry it: which mechanism to use for the
// credentials at hand, and what to send. Every message is base64 text, ready
// for the command line or a continuation line.
//
// With an OAuth 2.0 access token: XOAUTH2, else OAUTHBEARER (RFC 7628); the
// password is never sent. With a password: PLAIN, else LOGIN. Mechanisms the
// client does not know are passed over.
class SaslLogin {
public:
    struct Credentials {
        std::string user;
        std::string password;
        std::string accessToken;
    };

    // The mechanism for CREDENTIALS among OFFERED (names separated by
    // blanks, in any letter case); none when the server lists none that fits.
    static std::optional<SaslLogin> Choose(std::string_view offered, Credentials credentials);

    const std::string& Mechanism() const { return mechanism_; }
    // The client's first message; empty for LOGIN, which waits to be asked.
    std::string InitialResponse() const;
    // The answer to a server challenge (the base64 text after "334 " or
    // "+ "). A challenge after the first message is the server's account of
    // a failure: OAUTHBEARER answers it with a lone ^A (RFC 7628 3.2.3),
    // XOAUTH2 with an empty line, so that the server sends its final reply.
    std::string Answer();
    // The first message went on the AUTH command line itself.
    void MarkInitialSent() { initialSent_ = true; }

private:
    SaslLogin(std::string mechanism, Credentials credentials)
        : mechanism_(std::move(mechanism)), credentials_(std::move(credentials)) {}

    std::string FirstMessage() const;

    std::string mechanism_;
    Credentials credentials_;
    int answered_ = 0;
    bool initialSent_ = false;
};

}  // namespace qlk
