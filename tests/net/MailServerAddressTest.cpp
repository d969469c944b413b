#include "net/MailServerAddress.h"

#include <gtest/gtest.h>

namespace qlk {
namespace {

struct AddressCase {
    std::string name;
    std::string text;
    std::string scheme;
    bool valid;
    std::string endpoint;
    std::string host;
    TlsMode tls;
};

class MailServerAddressParse : public ::testing::TestWithParam<AddressCase> {};

TEST_P(MailServerAddressParse, GivesEndpointHostAndTlsMode) {
    const auto& c = GetParam();
    auto parsed = MailServerAddress::Parse(c.text, c.scheme, c.scheme == "pop3" ? 995 : 465);
    ASSERT_EQ(parsed.has_value(), c.valid) << c.text;
    if (!c.valid) return;
    EXPECT_EQ(parsed->Endpoint, c.endpoint);
    EXPECT_EQ(parsed->Host, c.host);
    EXPECT_EQ(parsed->Tls, c.tls);
}

using enum TlsMode;
INSTANTIATE_TEST_SUITE_P(
    Table, MailServerAddressParse,
    ::testing::Values(
        AddressCase{"BareHost", "mail.example.com", "pop3", true, "mail.example.com", "mail.example.com",
                    WhenOffered},
        AddressCase{"BareHostWithPort", "mail.example.com:1110", "pop3", true, "mail.example.com:1110",
                    "mail.example.com", WhenOffered},
        AddressCase{"BareHostOnTheTlsPort", "pop.example.com:995", "pop3", true, "pop.example.com:995",
                    "pop.example.com", Implicit},
        AddressCase{"BareSmtpOnTheTlsPort", "smtp.example.com:465", "smtp", true, "smtp.example.com:465",
                    "smtp.example.com", Implicit},
        AddressCase{"Pop3sGetsItsPort", "pop3s://pop.example.com", "pop3", true, "pop.example.com:995",
                    "pop.example.com", Implicit},
        AddressCase{"SmtpsOwnPortAndUpperCase", "SMTPS://smtp.example.com:2465/", "smtp", true,
                    "smtp.example.com:2465", "smtp.example.com", Implicit},
        AddressCase{"PlainOnPurpose", "pop3://10.0.0.5", "pop3", true, "10.0.0.5", "10.0.0.5", Plain},
        AddressCase{"PlainOnPurposeOnTheTlsPort", "smtp://relay:465", "smtp", true, "relay:465", "relay",
                    Plain},
        AddressCase{"SubmissionPortWhenOffered", "smtp.example.com:587", "smtp", true, "smtp.example.com:587",
                    "smtp.example.com", WhenOffered},
        AddressCase{"Ipv6Literal", "pop3s://[::1]", "pop3", true, "[::1]:995", "::1", Implicit},
        AddressCase{"Ipv6LiteralWithPort", "[::1]:1110", "pop3", true, "[::1]:1110", "::1", WhenOffered},
        AddressCase{"PortNotANumberMeansLookUp", "host:pop", "pop3", true, "host", "host", WhenOffered},
        AddressCase{"OtherProtocolsScheme", "smtps://smtp.example.com", "pop3", false, "", "", Plain},
        AddressCase{"UnknownScheme", "imap://mail.example.com", "pop3", false, "", "", Plain},
        AddressCase{"UserPart", "pop3s://joe@pop.example.com", "pop3", false, "", "", Plain},
        AddressCase{"Path", "pop3://pop.example.com/inbox", "pop3", false, "", "", Plain},
        AddressCase{"Blank", "pop.example.com x", "pop3", false, "", "", Plain},
        AddressCase{"NoHost", "pop3s://", "pop3", false, "", "", Plain}),
    [](const auto& p) { return p.param.name; });

}  // namespace
}  // namespace qlk
