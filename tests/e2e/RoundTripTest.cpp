#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "E2eSupport.h"
#include "gateway/OutboundTransfer.h"
#include "support/OAuthPeer.h"
#include "support/Peers.h"

namespace qlk::test {
namespace {

namespace fs = std::filesystem;

// aiosmtpd as the office's relay: it delivers into one Dovecot account's
// Maildir, keeps a copy of what it received, refuses "refused..." for good and
// takes messages of SizeLimit bytes at most.
class RelayPeer : public PeerProcess {
public:
    static constexpr int SizeLimit = 100000;

    static std::unique_ptr<RelayPeer> Start(const fs::path& maildir, std::string& why) {
        std::unique_ptr<RelayPeer> peer(new RelayPeer());
        if (!peer->Launch("start_relay.sh", Quoted(maildir) + " " + std::to_string(SizeLimit), why))
            return nullptr;
        return peer;
    }
    fs::path Sent() const { return Dir() / "sent"; }

private:
    RelayPeer() : PeerProcess("relay.pid") {}
};

UserRecord Row(const std::string& mailbox, const std::string& popUser, const std::string& host,
               const std::string& returnAddress) {
    UserRecord row;
    row.name = mailbox + " (" + popUser + ")";
    row.mailbox = mailbox;
    row.popHost = host;
    row.popUserId = popUser;
    row.popPassword = "pw-" + popUser;
    row.returnAddress = returnAddress;
    row.deleteMail = true;
    return row;
}

int Run(const std::vector<std::string>& arguments) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return WaitFor(pid, std::chrono::seconds(20));
}

// A post-office user sends to the gateway's mailbox with qlkpo.
void SendFromPostOffice(const fs::path& work, const std::string& from, const std::string& subject,
                        const std::vector<std::string>& attachments = {}) {
    std::vector<std::string> arguments = {QLK_QLKPO,   "-C",    work.string(), "send",
                                          "--from",    from,    "--to",        "Internet",
                                          "--subject", subject, "--text-file", (work / "note.txt").string()};
    if (!attachments.empty()) arguments.push_back("--attach");
    for (const std::string& name : attachments) arguments.push_back((work / name).string());
    ASSERT_EQ(Run(arguments), 0) << subject;
}

// Runs the Python check; an empty result means it holds.
std::string Check(const std::vector<std::string>& arguments) {
    std::string command = std::string("/usr/bin/python3 ") + QLK_ROUNDTRIP_CHECK;
    for (const std::string& argument : arguments) {
        std::string quoted = "'";
        for (char c : argument) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        command += " " + quoted + "'";
    }
    std::string output;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return "cannot run the check";
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
    const int status = ::pclose(pipe);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? "" : output + " (" + command + ")";
}

// Ann's mail leaves the post office through the relay, lands in Bob's
// Dovecot account and comes back into Bob's post-office mailbox whole; the
// same cycles answer an unregistered sender, a subject without recipient, a
// recipient the relay refuses and a message above the relay's SIZE (with its
// attachment back), send to an international address, and keep mail while
// the relay is down.
TEST(OutboundRoundTrip, MailLeavesThePostOfficeAndComesBackWhole) {
    std::string why;
    auto dovecot = DovecotPeer::Start({{"ann", "pw-ann"}, {"bob", "pw-bob"}}, why);
    QLK_NEED_PEER(dovecot, why);
    auto relay = RelayPeer::Start(dovecot->Maildir("bob"), why);
    QLK_NEED_PEER(relay, why);

    TempDir work;
    const fs::path office = work / "postoffice";
    Settings settings;
    settings.SMTPServer = relay->Address();
    PrepareWorkFolder(work.path(),
                      {Row("Ann", "ann", dovecot->Address(), "ann@office.example"),
                       Row("Bob", "bob", dovecot->Address(), "b@example.org")},
                      {"Ann", "Bob", "Zed"}, settings);
    std::string binary;
    for (int i = 0; i < 256; ++i) binary += static_cast<char>(i);
    WriteFileBytes(work / "figures.bin", binary + "\r\n.\r\n.end");
    WriteFileBytes(work / "notes.txt", "Figures\r\n.hidden line\r\n..two dots\r\n.\r\nend\r\n");
    WriteFileBytes(work / "note.txt", "Dear Bob,\r\nthe figures are attached.\r\n");
    std::string large;
    for (int i = 0; i < RelayPeer::SizeLimit; ++i) large += static_cast<char>(i * 7 % 251);
    WriteFileBytes(work / "large.bin", large);
    const std::string quarterly = "TO:b@example.org|Quarterly figures";
    const std::string partly = "TO:b@example.org;CC:refused@example.org|Partly";
    const std::string tooLarge = "TO:b@example.org|Too large";
    const std::string international = "To: j\xC3\xB6rg@example.org ; cc: b@example.org|International";
    SendFromPostOffice(work.path(), "Ann", quarterly, {"figures.bin", "notes.txt"});
    SendFromPostOffice(work.path(), "Ann", tooLarge, {"large.bin"});
    SendFromPostOffice(work.path(), "Ann", international);
    SendFromPostOffice(work.path(), "Zed", "TO:b@example.org|From Zed");
    SendFromPostOffice(work.path(), "Ann", "Lunch today?");
    SendFromPostOffice(work.path(), "Ann", partly);

    ASSERT_NE(RunOnce(work.path()), -1) << ReadFileBytes(work / "once.log");
    const std::string sent = relay->Sent().string();
    const std::string figures = "figures.bin=" + (work / "figures.bin").string();
    const std::string notes = "notes.txt=" + (work / "notes.txt").string();
    for (const auto& check : std::vector<std::vector<std::string>>{
             {"subjects", sent, "Quarterly figures", "Partly", "International"},
             {"envelope", sent, "International", "ann@office.example", "j\xC3\xB6rg@example.org",
              "b@example.org"},
             {"envelope", sent, "Quarterly figures", "ann@office.example", "b@example.org"},
             {"envelope", sent, "Partly", "ann@office.example", "b@example.org"},
             {"header", sent, "Quarterly figures", "Reply-To", "Ann<ann@office.example>"},
             {"header", sent, "Quarterly figures", "From", "Ann <ann@office.example>"},
             {"text", sent, "Quarterly figures", "Dear Bob,\r\nthe figures are attached."},
             {"files", sent, "Quarterly figures", figures, notes},
             {"subjects", (office / "Internet").string()},
             {"subjects", (office / "Zed").string(),
              OutboundTransfer::NotRegisteredSubject + std::string("TO:b@example.org|From Zed")},
             {"subjects", (office / "Ann").string(),
              OutboundTransfer::NoRecipientSubject + std::string("Lunch today?"),
              OutboundTransfer::PartlyRefusedSubject + partly, OutboundTransfer::RefusedSubject + tooLarge},
             {"files", (office / "Ann").string(), OutboundTransfer::RefusedSubject + tooLarge,
              "large.bin=" + (work / "large.bin").string()},
             {"text", (office / "Ann").string(), OutboundTransfer::PartlyRefusedSubject + partly,
              "refused@example.org : 550 5.1.1"},
         }) {
        EXPECT_EQ(Check(check), "");
    }

    // The second cycle fetches Bob's Dovecot account into the post office.
    ASSERT_NE(RunOnce(work.path()), -1) << ReadFileBytes(work / "once.log");
    const std::string bob = (office / "Bob").string();
    for (const auto& check : std::vector<std::vector<std::string>>{
             {"subjects", bob, "Quarterly figures", "Partly", "International"},
             {"files", bob, "Quarterly figures", figures, notes},
             {"text", bob, "Quarterly figures", "Dear Bob,\r\nthe figures are attached."},
             {"text", bob, "Quarterly figures", "--- The Following Information Was Added By QLK ---"},
         }) {
        EXPECT_EQ(Check(check), "");
    }
    EXPECT_EQ(dovecot->MessageCount("bob"), 0u);

    // With the relay down the message waits in the gateway's mailbox.
    relay.reset();
    SendFromPostOffice(work.path(), "Ann", "TO:b@example.org|Later");
    ASSERT_NE(RunOnce(work.path()), -1);
    EXPECT_EQ(Check({"subjects", (office / "Internet").string(), "TO:b@example.org|Later"}), "");
    EXPECT_NE(ReadFileBytes(work / "QLKLOG.TXT").find("Error Sending Mail : "), std::string::npos);
}

// Ann's account on Dovecot with the OAuth 2.0 passdb and a relay that
// answers 530 until RELAYUSER logs in with the good token: a message waits
// on each side until a cycle logs in with tokens only.
class TokenOffice {
public:
    bool Start(const std::string& relayUser, Settings settings, std::string& why) {
        dovecot = OAuthDovecotPeer::Start("ann", "pw-ann", why);
        if (dovecot) relay = SmtpPeer::StartLoginRelay(true, {}, {{relayUser, Token()}}, why);
        if (!relay) return false;
        settings.SMTPServer = "smtp://" + relay->Address();
        PrepareWorkFolder(work.path(), {Row("Ann", "ann", dovecot->Address(), "ann@office.example")}, {"Ann"},
                          settings);
        return true;
    }
    static std::string Token() { return OAuthDovecotPeer::GoodToken(); }

    // One --once cycle fetches Ann's message and sends hers, logged in as
    // RELAYUSER, with no password in sight.
    void RunCycleAndCheck(const std::string& relayUser) {
        dovecot->AddMessage(
            "From: b@example.org\r\nTo: ann@office.example\r\nSubject: Fetched\r\n\r\nhi\r\n");
        WriteFileBytes(work / "note.txt", "Sent with a token.\r\n");
        SendFromPostOffice(work.path(), "Ann", "TO:b@example.org|Sent");
        EXPECT_EQ(RunOnce(work.path()), 0) << ReadFileBytes(work / "QLKLOG.TXT");
        EXPECT_EQ(dovecot->MessageCount(), 0u);
        EXPECT_EQ(Check({"subjects", (work / "postoffice" / "Ann").string(), "Fetched"}), "");
        const std::vector<std::string> envelopes = relay->Envelopes();
        ASSERT_EQ(envelopes.size(), 1u);
        EXPECT_EQ(envelopes[0].substr(0, envelopes[0].find('\n')), "AUTH:" + relayUser);
        EXPECT_EQ(ReadFileBytes(work / "QLKLOG.TXT").find("pw-"), std::string::npos);
    }

    std::unique_ptr<OAuthDovecotPeer> dovecot;
    std::unique_ptr<SmtpPeer> relay;
    TempDir work;
};

// An account that signs in with a token command: Dovecot and the relay
// both get the access token, never the word in the row's POP Password.
TEST(RoundTrip, ATokenAccountFetchesAndSendsWithItsAccessToken) {
    std::string why;
    TokenOffice office;
    QLK_NEED_PEER(office.Start("ann", {}, why), why);
    const fs::path command = office.work / "token.sh";
    WriteFileBytes(command, "#!/bin/sh\necho " + TokenOffice::Token() + "\n");
    fs::permissions(command, fs::perms::owner_all);
    ASSERT_EQ(RunQuelmark(office.work.path(), {"--sign-in", "Ann", "--token-command", command.string()}), 0);
    office.RunCycleAndCheck("ann");
}

// A headless office signs Ann and its relay account in with device codes;
// both tokens are close to expiry, so the one cycle renews each before
// using it, and the relay's password is not sent either.
TEST(RoundTrip, DeviceSignedAccountsAreRenewedAndUsedInOneCycle) {
    std::string why;
    Settings settings;
    settings.SMTPRelayUser = "office";
    settings.SMTPRelayPassword = "pw-office";
    TokenOffice office;
    QLK_NEED_PEER(office.Start("office", settings, why), why);
    auto oauth = OAuthPeer::Start(why);
    QLK_NEED_PEER(oauth, why);
    oauth->Issue(TokenOffice::Token(), 60);
    const fs::path& work = office.work.path();
    ASSERT_EQ(RunQuelmark(work, {"--sign-in", "Ann", "--provider", "custom", "--client-id=office-app",
                                 "--device-endpoint", oauth->Url("/devicecode"), "--token-endpoint",
                                 oauth->Url("/token")}),
              0)
        << ReadFileBytes(work / "once.log");
    ASSERT_EQ(RunQuelmark(work, {"--sign-in", "--relay", "--provider", "custom"}), 0)
        << ReadFileBytes(work / "once.log");
    ASSERT_EQ(RunQuelmark(work, {"users", "list"}), 0);
    EXPECT_NE(ReadFileBytes(work / "once.log")
                  .find("ann@office.example  yes          no                    custom\n"),
              std::string::npos)
        << ReadFileBytes(work / "once.log");
    office.RunCycleAndCheck("office");
    const std::vector<std::string> grants = oauth->Grants();
    EXPECT_EQ(std::count(grants.begin(), grants.end(), "refresh_token"), 2) << "one renewal per account";
}

}  // namespace
}  // namespace qlk::test
