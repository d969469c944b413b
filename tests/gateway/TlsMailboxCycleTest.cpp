#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "GatewayScene.h"
#include "support/TlsPeers.h"

namespace qlk::test {
namespace {

struct TlsRowCase {
    std::string name;
    CertificateKind kind;
    std::string scheme;
    bool delivered;
    std::vector<std::string> errors;  // lines the cycle must log
};

class TlsMailboxCycle : public ::testing::TestWithParam<TlsRowCase> {};

// A user row naming a TLS server, trusted through QLKCA.PEM in the working
// folder: the mail comes in without a password in clear, or the mailbox is
// skipped with the certificate's fault in the log and the mail left waiting.
TEST_P(TlsMailboxCycle, UserRowChoosesTlsAndTheCertificateDecides) {
    const auto& c = GetParam();
    std::string why;
    auto peer = TlsDovecotPeer::Start("ann", "secret", c.kind, why);
    QLK_NEED_PEER(peer, why);
    peer->AddMessage("From: bob@example.org\r\nTo: ann@example.org\r\nSubject: Status\r\n\r\nAll well.\r\n");
    GatewayScene scene;
    std::filesystem::copy_file(peer->TrustFile(), scene.work.path() / "QLKCA.PEM");
    const std::string port = std::to_string(c.scheme.empty() ? peer->Port() : peer->Pop3sPort());
    UserRecord row = Row("Ann", "ann");
    row.popHost = c.scheme + "localhost:" + port;
    scene.AddRow(row);
    scene.gateway.Cycle().SendOutgoingMail = [] {};
    scene.RunCycle();

    EXPECT_EQ(scene.office->delivered.size(), c.delivered ? 1u : 0u);
    EXPECT_EQ(peer->MessageCount(), c.delivered ? 0u : 1u);
    for (const auto& error : c.errors) EXPECT_TRUE(scene.Logged(error)) << error;
    if (c.errors.empty()) {
        EXPECT_EQ(scene.gateway.Log().ErrorCount, 0);
    }
    EXPECT_THAT(scene.LogTexts(),
                ::testing::Not(::testing::Contains(::testing::StartsWith("Password sent"))));
}

INSTANTIATE_TEST_SUITE_P(
    Table, TlsMailboxCycle,
    ::testing::Values(
        TlsRowCase{"Pop3s", CertificateKind::Good, "pop3s://", true, {}},
        TlsRowCase{"Stls", CertificateKind::Good, "", true, {}},
        TlsRowCase{
            "ExpiredCertificate",
            CertificateKind::Expired,
            "pop3s://",
            false,
            {"POP3 ERROR : Certificate of localhost has expired.  Contact your ISP this problem persists.",
             "Error getting Mail : Certificate of localhost has expired",
             "Error occurred during mailcheck for Ann", "There were 3 error(s) during the transfer"}}),
    [](const auto& p) { return p.param.name; });

}  // namespace
}  // namespace qlk::test
