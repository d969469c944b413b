#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "net/EServerError.h"
#include "net/TmsRemotePOP.h"
#include "support/Peers.h"
#include "support/TempDir.h"

namespace qlk {
namespace {

using test::DovecotPeer;

// A message of about `size` bytes whose body has lines that begin with ".",
// a lone "." and ".." among them, so that the server's dot-stuffing is
// exercised; its last line is ".".
std::string SampleMessage(int number, std::size_t size) {
    std::string text = "From: sender@example.org\r\nTo: joe@example.org\r\nSubject: message " +
                       std::to_string(number) + "\r\n\r\n.\r\n..\r\n.x\r\n";
    while (text.size() < size) text += "line of message " + std::to_string(number) + " ....\r\n";
    return text + ".\r\n";
}

class Pop3Dovecot : public ::testing::Test {
protected:
    void SetUp() override {
        peer_ = DovecotPeer::Start("joe", "secret", why_);
        if (!peer_) return;
        pop_.Server = peer_->Address();
        pop_.UserName = "joe";
        pop_.Password = "secret";
        pop_.SetTimeOut(20);
        pop_.SetMessageDirectory(dir_.path().string());
    }

    std::unique_ptr<DovecotPeer> peer_;
    std::string why_;
    test::TempDir dir_;
    TmsRemotePOP pop_;
};

TEST_F(Pop3Dovecot, ListsRetrievesAndDeletesAtQuitOnly) {
    QLK_NEED_PEER(peer_, why_);
    std::vector<std::string> messages;
    for (int i = 0; i < 100; ++i) {
        messages.push_back(SampleMessage(i, 200 + static_cast<std::size_t>(i) * 300));
        peer_->AddMessage(messages.back());
    }

    pop_.UpdateInfo();
    EXPECT_FALSE(pop_.Connected());
    ASSERT_EQ(pop_.MessageCount, 100);
    ASSERT_EQ(pop_.RemoteInfo.Count(), 100);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(pop_.RemoteInfo.Items(i).Size, static_cast<long long>(messages[i].size()));
        EXPECT_THAT(pop_.RemoteInfo.Items(i).Headers.Lines(),
                    ::testing::Contains("Subject: message " + std::to_string(i)));
    }

    pop_.Connect();
    for (int i = 0; i < 100; ++i) {
        pop_.Retrieve(i);
        ASSERT_EQ(test::ReadFileBytes(pop_.MessageFileName(i)), messages[i]) << i;
    }
    pop_.Delete(0);
    pop_.Delete(50);
    pop_.Delete(99);
    EXPECT_EQ(peer_->MessageCount(), 100u);
    pop_.Disconnect();
    EXPECT_EQ(peer_->MessageCount(), 97u);

    pop_.Connect();
    EXPECT_EQ(pop_.MessageCount, 97);
    pop_.Disconnect();
}

TEST_F(Pop3Dovecot, SessionEndedWithoutQuitDeletesNothing) {
    QLK_NEED_PEER(peer_, why_);
    peer_->AddMessage(SampleMessage(1, 100));
    pop_.Connect();
    pop_.Delete(0);
    pop_.Close();
    EXPECT_EQ(peer_->MessageCount(), 1u);
}

TEST_F(Pop3Dovecot, WrongPasswordFailsWithTheServersLine) {
    QLK_NEED_PEER(peer_, why_);
    pop_.Password = "wrong";
    try {
        pop_.Connect();
        FAIL();
    } catch (const EServerError& e) {
        EXPECT_EQ(std::string(e.what()).substr(0, 4), "-ERR");
    }
}

// Dovecot checking tokens at a local token check: the good token
// (longer than any AUTH line) logs in and lists the mail, a bad one is
// refused, and the password still works beside them.
TEST(Pop3DovecotOAuth, TokenLogsInAndListsABadTokenIsRefused) {
    std::string why;
    auto peer = test::OAuthDovecotPeer::Start("joe", "secret", why);
    QLK_NEED_PEER(peer, why);
    peer->AddMessage(SampleMessage(1, 300));
    struct Case {
        std::string password, token;
        bool in;
    };
    for (const Case& c : {Case{"", test::OAuthDovecotPeer::GoodToken(), true}, Case{"", "bad-token", false},
                          Case{"secret", "", true}}) {
        SCOPED_TRACE(c.token.substr(0, 10) + c.password);
        TmsRemotePOP pop;
        pop.Server = "pop3://" + peer->Address();
        pop.UserName = "joe";
        pop.Password = c.password;
        pop.AccessToken = c.token;
        pop.SetTimeOut(20);
        if (c.in) {
            pop.UpdateInfo();
            EXPECT_EQ(pop.RemoteInfo.Count(), 1);
        } else {
            EXPECT_THROW(pop.Connect(), EServerError);
            pop.Close();
        }
    }
}

}  // namespace
}  // namespace qlk
