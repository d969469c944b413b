#include <gtest/gtest.h>

#include "net/ESocketError.h"
#include "net/TmsRemotePOP.h"
#include "support/TempDir.h"
#include "support/TlsPeers.h"

namespace qlk {
namespace {

using test::CertificateKind;
using test::TlsDovecotPeer;

// Lines that begin with ".", a lone ".", and bytes of every value but CR and
// LF, so that nothing but the exact text passes.
std::string SampleMessage(int number) {
    std::string text = "From: sender@example.org\r\nTo: joe@example.org\r\nSubject: over TLS " +
                       std::to_string(number) + "\r\n\r\n.\r\n..two\r\n";
    for (int b = 1; b < 256; ++b) {
        if (b != '\r' && b != '\n') text += static_cast<char>(b);
    }
    text += "\r\n";
    while (text.size() < 40000) text += "a line of the body, long enough to need several TLS records\r\n";
    return text;
}

void Configure(TmsRemotePOP& pop, const TlsDovecotPeer& peer, const std::string& server) {
    pop.Server = server;
    pop.UserName = "joe";
    pop.Password = "secret";
    pop.SetTimeOut(20);
    pop.TrustFileName = peer.TrustFile().string();
}

// STLS on the plain port of a bare host, and POP3S by scheme and by address:
// both give the messages exactly as they were stored, no password goes in
// clear, each host is remembered as one that offers TLS, and both may
// pipeline.
TEST(Pop3TlsDovecot, StlsAndPop3sRetrieveByteExact) {
    std::string why;
    auto peer = TlsDovecotPeer::Start("joe", "secret", CertificateKind::Good, why);
    QLK_NEED_PEER(peer, why);
    std::vector<std::string> messages;
    for (int i = 0; i < 3; ++i) {
        messages.push_back(SampleMessage(i));
        peer->AddMessage(messages.back());
    }
    const std::string pop3s = std::to_string(peer->Pop3sPort());
    test::TempDir memory;
    for (const std::string& server : {"localhost:" + std::to_string(peer->Port()),
                                      "pop3s://localhost:" + pop3s, "pop3s://127.0.0.1:" + pop3s}) {
        test::TempDir dir;
        TmsRemotePOP pop;
        Configure(pop, *peer, server);
        pop.SetMessageDirectory(dir.path().string());
        pop.TlsHostsFileName = (memory / "QLKTLS.TXT").string();
        pop.Connect();
        EXPECT_TRUE(pop.TlsActive()) << server;
        EXPECT_FALSE(pop.PasswordInClear()) << server;
        EXPECT_TRUE(pop.OffersPipelining()) << server << ": as listed over TLS, after the log-in";
        ASSERT_EQ(pop.MessageCount, 3) << server;
        for (int i = 0; i < 3; ++i) {
            pop.Retrieve(i);
            EXPECT_EQ(test::ReadFileBytes(pop.MessageFileName(i)), messages[i]) << server << " " << i;
        }
        pop.Disconnect();
    }
    EXPECT_EQ(test::ReadFileBytes(memory / "QLKTLS.TXT"), "localhost\n127.0.0.1\n");
}

struct RefusalCase {
    std::string name;
    CertificateKind kind;
    bool trusted;
    bool implicit;
    std::string error;
};

class Pop3TlsRefusal : public ::testing::TestWithParam<RefusalCase> {};

// The log-in fails with the reason before the user name is sent, the
// connection is closed, and nothing is tried in plain.
TEST_P(Pop3TlsRefusal, CertificateIsRefusedWithTheReason) {
    const auto& c = GetParam();
    std::string why;
    auto peer = TlsDovecotPeer::Start("joe", "secret", c.kind, why);
    QLK_NEED_PEER(peer, why);
    peer->AddMessage("Subject: x\r\n\r\nnever read\r\n");
    TmsRemotePOP pop;
    const std::string port = std::to_string(c.implicit ? peer->Pop3sPort() : peer->Port());
    Configure(pop, *peer, (c.implicit ? "pop3s://localhost:" : "localhost:") + port);
    if (!c.trusted) pop.TrustFileName = (peer->Dir() / "missing.pem").string();
    std::vector<std::string> sent, errors;
    pop.OnLineSent = [&](TagSocket&, const std::string& line) { sent.push_back(line); };
    pop.OnError = [&](TagSocket&, std::string& msg) { errors.push_back(msg); };
    try {
        pop.Connect();
        FAIL() << "logged in";
    } catch (const ESocketError& e) {
        EXPECT_EQ(e.what(), c.error);
    }
    EXPECT_EQ(errors, std::vector<std::string>{c.error});
    EXPECT_FALSE(pop.Connected());
    const std::vector<std::string> upgrade = {"CAPA", "STLS"};
    EXPECT_EQ(sent, c.implicit ? std::vector<std::string>() : upgrade);
    EXPECT_EQ(peer->MessageCount(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Table, Pop3TlsRefusal,
                         ::testing::Values(RefusalCase{"OtherHost", CertificateKind::OtherHost, true, false,
                                                       "Certificate is for another host than localhost"},
                                           RefusalCase{"Expired", CertificateKind::Expired, true, true,
                                                       "Certificate of localhost has expired"},
                                           RefusalCase{"UnknownIssuer", CertificateKind::Good, false, false,
                                                       "Certificate of localhost is from an unknown issuer"}),
                         [](const auto& p) { return p.param.name; });

}  // namespace
}  // namespace qlk
