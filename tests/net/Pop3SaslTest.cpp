// POP3 log-ins with an access token in the forms providers use, and a host
// that once offered TLS refused when it offers none.
#include <gtest/gtest.h>

#include <fstream>

#include "message/Base64.h"
#include "net/ELoginRefused.h"
#include "net/TmsRemotePOP.h"
#include "support/ScriptServer.h"
#include "support/TempDir.h"

namespace qlk {
namespace {

using test::ScriptServer;

std::string XOAuth2(const std::string& token) {
    std::string text;
    const std::string separator = "\x01";
    Base64EncodeAppend("user=joe" + separator + "auth=Bearer " + token + separator + separator, text);
    return text;
}

const std::string kLongToken(6000, 'T');

struct SaslCase {
    std::string name;
    std::string scheme;  // "pop3://" on purpose, or "" for a bare host
    std::string token;
    std::string capabilities;           // CAPA lines, without the final "."
    std::vector<std::string> replies;   // one per line the client sends after CAPA
    std::vector<std::string> expected;  // what the server received after CAPA
    std::string error;                  // empty: logged in and out
    bool tlsRemembered = false;
};

class Pop3Sasl : public ::testing::TestWithParam<SaslCase> {};

TEST_P(Pop3Sasl, LogsInWithTheTokenOrRefusesBeforeAnySecret) {
    const auto& c = GetParam();
    test::TempDir folder;
    ScriptServer server;
    server.Send("+OK ready\r\n").Line().Send("+OK\r\n" + c.capabilities + ".\r\n");
    for (const auto& reply : c.replies) server.Line().Send(reply + "\r\n");
    server.Start();
    TmsRemotePOP pop;
    pop.Server = c.scheme + server.Address();
    pop.SetTimeOut(5);
    pop.UserName = "joe";
    pop.Password = "secret";
    pop.AccessToken = c.token;
    pop.TlsHostsFileName = (folder / "QLKTLS.TXT").string();
    if (c.tlsRemembered) std::ofstream(pop.TlsHostsFileName) << "pop.example\n127.0.0.1\n";
    std::string error;
    try {
        pop.Connect();
        pop.Disconnect();
    } catch (const EServerError& e) {
        error = e.what();
        EXPECT_EQ(e.Kind(),
                  c.tlsRemembered || c.replies.empty() ? ErrorKind::Transient : ErrorKind::Permanent);
    }
    pop.Close();
    server.Join();
    EXPECT_EQ(error, c.error);
    auto lines = server.ReceivedLines();
    ASSERT_FALSE(lines.empty());
    lines.erase(lines.begin());  // CAPA
    EXPECT_EQ(lines, c.expected);
    EXPECT_EQ(server.ReceivedBytes().find("secret"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Pop3Sasl,
    ::testing::Values(
        // A token too long for the AUTH line goes on its own after "+ ".
        SaslCase{"LongTokenOnContinuationLine", "pop3://", kLongToken, "SASL PLAIN XOAUTH2\r\n",
                 {"+ ", "+OK welcome", "+OK 0 0", "+OK bye"},
                 {"AUTH XOAUTH2", XOAuth2(kLongToken), "STAT", "QUIT"}, ""},
        SaslCase{"ShortTokenAsInitialResponse", "pop3://", "tok", "SASL XOAUTH2 OAUTHBEARER\r\n",
                 {"+OK welcome", "+OK 0 0", "+OK bye"},
                 {"AUTH XOAUTH2 " + XOAuth2("tok"), "STAT", "QUIT"}, ""},
        SaslCase{"OAuthBearerFailureChallenge", "pop3://", "tok", "SASL OAUTHBEARER\r\n",
                 {"+ eyJzdGF0dXMiOiJpbnZhbGlkX3Rva2VuIn0=", "-ERR [AUTH] invalid token"},
                 {"AUTH OAUTHBEARER bixhPWpvZSwBYXV0aD1CZWFyZXIgdG9rAQE=", "AQ=="},
                 "-ERR [AUTH] invalid token"},
        SaslCase{"UnknownMechanismsOnly", "pop3://", "tok", "SASL CRAM-MD5 GSSAPI\r\nUSER\r\n", {}, {},
                 "127.0.0.1 offers no OAuth 2.0 log-in (SASL XOAUTH2 or OAUTHBEARER)"},
        SaslCase{"StlsStrippedFromAHostThatOfferedIt", "", "", "USER\r\n", {}, {},
                 "127.0.0.1 offered TLS before and offers none now; the password is not sent in clear",
                 true}),
    [](const auto& p) { return p.param.name; });

}  // namespace
}  // namespace qlk
