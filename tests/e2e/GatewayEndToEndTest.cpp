#include <gtest/gtest.h>

#include <map>
#include <random>
#include <sstream>

#include "E2eSupport.h"
#include "gateway/WorkFolderLock.h"
#include "support/Peers.h"
#include "support/ScriptServer.h"

namespace qlk::test {
namespace {

namespace fs = std::filesystem;

const char* const kDate = "Tue, 8 Dec 2026 09:00:00 +0000";
const char* const kMuller = "M\xC3\xBCller, Hans";

UserRecord Account(std::string name, std::string popUser, const std::string& host, std::string returnAddress,
                   bool alias, std::string aliasAddress, bool deleteMail) {
    UserRecord row;
    row.name = name;
    row.mailbox = std::move(name);
    row.popHost = host;
    row.popUserId = popUser;
    row.popPassword = "pw-" + popUser;
    row.returnAddress = std::move(returnAddress);
    row.alias = alias;
    row.aliasAddress = std::move(aliasAddress);
    row.deleteMail = deleteMail;
    return row;
}

std::string Json(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string Base64(const std::string& bytes) {
    static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        unsigned value = 0;
        for (std::size_t k = 0; k < 3; ++k)
            value = value << 8 | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        for (std::size_t k = 0; k < 4; ++k) out += k <= n ? alphabet[(value >> (18 - 6 * k)) & 63] : '=';
    }
    return out;
}

// One message as it goes into a POP3 mailbox, and what the post office
// must hold for it afterwards.
struct Mail {
    std::string subject, from, to, cc;
    std::vector<std::string> body;
    std::vector<std::pair<std::string, std::string>> files;  // name in the mail, content

    std::string Wire() const {
        std::string head = "From: " + from + "\r\nTo: " + to + "\r\n" +
                           (cc.empty() ? "" : "Cc: " + cc + "\r\n") + "Subject: " + subject +
                           "\r\nDate: " + kDate + "\r\nMessage-ID: <" + subject + "@example.org>\r\n";
        std::string text;
        for (const auto& line : body) text += line + "\r\n";
        if (files.empty()) return head + "\r\n" + text;
        std::string mail = head +
                           "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"=b\"\r\n\r\n" +
                           "--=b\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\n" + text;
        for (const auto& [name, content] : files) {
            mail +=
                "--=b\r\nContent-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n"
                "Content-Disposition: attachment; filename=\"" +
                name + "\"\r\n\r\n" + Base64(content) + "\r\n";
        }
        return mail + "--=b--\r\n";
    }

    // The note text with its delivery information, as the post office shows it.
    std::string Note(const std::string& fromName, const std::string& fromAddress,
                     const std::vector<std::string>& toAddresses,
                     const std::vector<std::string>& ccAddresses) const {
        std::string note;
        for (const auto& line : body) note += line + "\r\n";
        note += "\r\r--- The Following Information Was Added By QLK ---\rFrom: " + fromName + " <" +
                fromAddress + ">\rTo Recipients: ";
        for (const auto& a : toAddresses) note += a + "; ";
        note += "\rCC Recipients: ";
        for (const auto& a : ccAddresses) note += a + "; ";
        return note + "\rOriginal Send Time: " + kDate + "\rOriginal Subject: " + subject + "\r";
    }
};

class Expectation {
public:
    // Every delivery comes from the gateway's mailbox "Internet"; TO, when
    // given, are the display names its To: must hold.
    void Add(const std::string& mailbox, const std::string& subject, const std::string& note,
             const std::vector<std::pair<std::string, std::string>>& files = {},
             const std::vector<std::string>& to = {}) {
        std::string entry = "{\"subject\": " + Json(subject) + ", \"text\": " + Json(note) +
                            ", \"from\": [\"Internet\"], \"files\": [";
        for (std::size_t i = 0; i < files.size(); ++i)
            entry += (i ? ", [" : "[") + Json(files[i].first) + ", " + Json(Base64(files[i].second)) + "]";
        entry += "]";
        if (!to.empty()) {
            entry += ", \"to\": [";
            for (std::size_t i = 0; i < to.size(); ++i) entry += (i ? ", " : "") + Json(to[i]);
            entry += "]";
        }
        boxes_[mailbox].push_back(entry + "}");
    }
    void Expect(const std::string& mailbox) { boxes_[mailbox]; }
    std::string Text() const {
        std::string out = "{";
        for (const auto& [mailbox, entries] : boxes_) {
            if (out.size() > 1) out += ", ";
            out += Json(mailbox) + ": [";
            for (std::size_t i = 0; i < entries.size(); ++i) out += (i ? ", " : "") + entries[i];
            out += "]";
        }
        return out + "}";
    }

private:
    std::map<std::string, std::vector<std::string>> boxes_;
};

// Dovecot holds mailboxes for an ordinary account that deletes, one that
// keeps its mail, and a shared mailbox on two adjacent alias rows (one
// mailbox named with non-ASCII and specials); the program itself runs one
// cycle, for an operator with a German locale, and Python reads the post
// office back as a mail program would.
TEST(GatewayEndToEnd, OneCycleBringsEveryMailboxIntoThePostOffice) {
    std::string why;
    auto dovecot =
        DovecotPeer::Start({{"alice", "pw-alice"}, {"bob", "pw-bob"}, {"office", "pw-office"}}, why);
    QLK_NEED_PEER(dovecot, why);
    TempDir work;
    const std::string host = dovecot->Address();
    PrepareWorkFolder(
        work.path(),
        {Account("Alice", "alice", host, "alice@example.org", false, "", true),
         Account("Carol", "office", host, "office@example.org", true, "carol@example.org", true),
         Account(kMuller, "office", host, "office@example.org", true, "dave@example.org", true),
         Account("Bob", "bob", host, "bob@example.org", false, "", false)},
        {"Alice", "Bob", "Carol", kMuller});

    std::string binary;
    for (int i = 0; i < 256; ++i) binary += static_cast<char>(i);
    binary += "\r\n.\r\nend";
    const Mail plain{"Plain", "Zoe <zoe@example.net>",     "alice@example.org",
                     "",      {"Hello Alice,", "", "bye"}, {}};
    const Mail files{
        "Files", "zoe@example.net", "Alice <alice@example.org>",
        "",      {"Two files."},    {{"report.bin", binary}, {"../../notes.txt", "line 1\r\nline 2\r\n"}}};
    const Mail kept{"Kept", "Zoe <zoe@example.net>", "bob@example.org", "", {"Stays on the server."}, {}};
    const Mail toCarol{"For Carol", "Zoe <zoe@example.net>", "carol@example.org", "", {"Hi Carol"}, {}};
    const Mail both{
        "For both", "Zoe <zoe@example.net>", "Dave <dave@example.org>", "CAROL@example.org", {"Hi both"}, {}};
    const Mail toAlice{"Via office", "Zoe <zoe@example.net>", "alice@example.org", "", {"Shared"}, {}};
    dovecot->AddMessage("alice", plain.Wire());
    dovecot->AddMessage("alice", files.Wire());
    dovecot->AddMessage("bob", kept.Wire());
    dovecot->AddMessage("office", toCarol.Wire());
    dovecot->AddMessage("office", both.Wire());
    dovecot->AddMessage("office", toAlice.Wire());

    ASSERT_EQ(RunOnce(work.path(), GermanLocale(work / "locale")), 0) << ReadFileBytes(work / "once.log");

    Expectation expect;
    expect.Add("Alice", "Plain", plain.Note("Zoe", "zoe@example.net", {"alice@example.org"}, {}));
    expect.Add("Alice", "Files", files.Note("", "zoe@example.net", {"alice@example.org"}, {}),
               {{"report.bin", binary}, {"notes.txt", "line 1\r\nline 2\r\n"}});
    expect.Add("Alice", "Via office", toAlice.Note("Zoe", "zoe@example.net", {"alice@example.org"}, {}));
    expect.Add("Bob", "Kept", kept.Note("Zoe", "zoe@example.net", {"bob@example.org"}, {}));
    expect.Add("Carol", "For Carol", toCarol.Note("Zoe", "zoe@example.net", {"carol@example.org"}, {}));
    const std::string bothNote =
        both.Note("Zoe", "zoe@example.net", {"dave@example.org"}, {"CAROL@example.org"});
    expect.Add("Carol", "For both", bothNote, {}, {kMuller, "Carol"});
    expect.Add(kMuller, "For both", bothNote, {}, {kMuller, "Carol"});
    expect.Expect("Internet");
    WriteFileBytes(work / "expect.json", expect.Text());
    std::string report;
    EXPECT_EQ(
        RunChecker("expect " + Quoted(work / "postoffice") + " " + Quoted(work / "expect.json"), report), 0)
        << report;

    EXPECT_EQ(dovecot->MessageCount("alice"), 0u);
    EXPECT_EQ(dovecot->MessageCount("office"), 0u);
    EXPECT_EQ(dovecot->MessageCount("bob"), 1u);
    const std::string log = ReadFileBytes(work / "QLKLOG.TXT");
    EXPECT_NE(log.find("Checked mail for 4 user(s)."), std::string::npos);
    EXPECT_NE(log.find("Received 6 message(s)."), std::string::npos) << log;
    EXPECT_TRUE(fs::is_empty(work / "QLKMSG"));
    EXPECT_TRUE(fs::is_empty(work / "QLKATT"));
}

TEST(GatewayEndToEnd, OnceExitsWithOneWhenTheCycleLoggedAnError) {
    TempDir work;
    UserRecord row =
        Account("Alice", "alice", "127.0.0.1:" + std::to_string(FreeLoopbackPort()), "", false, "", true);
    PrepareWorkFolder(work.path(), {row}, {"Alice"});
    // A new folder without QLK.CFG gets the defaults written, not an error.
    std::filesystem::remove(work / ConfigurationFile::FileName);
    EXPECT_EQ(RunOnce(work.path()), 1);
    EXPECT_EQ(ReadFileBytes(work / ConfigurationFile::FileName), ConfigurationFile::Format(Settings{}));
    const std::string log = ReadFileBytes(work / "QLKLOG.TXT");
    EXPECT_EQ(log.find("Error Reading Configuration File"), std::string::npos) << log;
    EXPECT_NE(log.find("Error getting Mail : [10061] Connection refused"), std::string::npos) << log;
    EXPECT_NE(log.find("There were "), std::string::npos);
}

std::map<std::string, int> SubjectCounts(const fs::path& work, const std::string& mailbox) {
    std::string subjects;
    EXPECT_EQ(RunChecker("subjects " + Quoted(work / "postoffice") + " " + Quoted(mailbox), subjects), 0)
        << subjects;
    std::map<std::string, int> counts;
    std::istringstream lines(subjects);
    for (std::string line; std::getline(lines, line);) ++counts[line];
    return counts;
}

std::string Simple(const std::string& subject) {
    return "From: zoe@example.net\r\nTo: x@example.org\r\nSubject: " + subject + "\r\nDate: " + kDate +
           "\r\n\r\nbody\r\n";
}

// Kept mail, three cycles, a message arriving between them: each arrives in
// the post office once and all stay on the server. Rows naming no mailbox
// exactly ("Ann" beside "Annabel", a mailbox that is not there) deliver
// nothing, not even the administrator's copy, and keep their mail on the
// server.
TEST(GatewayEndToEnd, KeptMailComesOnceAndMailForNoMailboxStaysOnTheServer) {
    std::string why;
    auto dovecot = DovecotPeer::Start({{"bob", "pw-bob"}, {"ann", "pw-ann"}, {"zed", "pw-zed"}}, why);
    QLK_NEED_PEER(dovecot, why);
    TempDir work;
    const std::string host = dovecot->Address();
    Settings settings;
    settings.CCAdmin = true;
    settings.AdminMAPIName = "Admin";
    PrepareWorkFolder(work.path(),
                      {Account("Bob", "bob", host, "bob@example.org", false, "", false),
                       Account("Ann", "ann", host, "ann@example.org", false, "", true),
                       Account("Zed", "zed", host, "zed@example.org", false, "", true)},
                      {"Bob", "Annabel", "Admin"}, settings);
    dovecot->AddMessage("bob", Simple("b1"));
    dovecot->AddMessage("bob", Simple("b2"));
    dovecot->AddMessage("ann", Simple("for Ann"));
    dovecot->AddMessage("zed", Simple("for Zed"));
    EXPECT_EQ(RunOnce(work.path()), 1) << ReadFileBytes(work / "once.log");
    dovecot->AddMessage("bob", Simple("b3"));
    for (int cycle = 0; cycle < 2; ++cycle) EXPECT_EQ(RunOnce(work.path()), 1);

    const std::map<std::string, int> once = {{"b1", 1}, {"b2", 1}, {"b3", 1}};
    EXPECT_EQ(SubjectCounts(work.path(), "Bob"), once);
    EXPECT_EQ(SubjectCounts(work.path(), "Admin"), once);
    EXPECT_TRUE(SubjectCounts(work.path(), "Annabel").empty());
    EXPECT_EQ(dovecot->MessageCount("bob"), 3u);
    EXPECT_EQ(dovecot->MessageCount("ann"), 1u);
    EXPECT_EQ(dovecot->MessageCount("zed"), 1u);
    const std::string log = ReadFileBytes(work / "QLKLOG.TXT");
    EXPECT_NE(log.find("Message 1 was not delivered to the post office (MAPI error 14); it stays on the server"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.substr(log.rfind("Received "), 22), "Received 0 message(s).");
}

// One gateway per working folder: a --once that finds another at work says
// so in one line and exits 75, touching nothing; two started together move
// every message once between them.
TEST(GatewayEndToEnd, SecondGatewayInAFolderStandsAside) {
    std::string why;
    auto dovecot = DovecotPeer::Start("alice", "pw-alice", why);
    QLK_NEED_PEER(dovecot, why);
    TempDir work;
    PrepareWorkFolder(work.path(), {MailboxRow("Alice", dovecot->Address(), "alice", "pw-alice")}, {"Alice"});
    for (int i = 0; i < 30; ++i) dovecot->AddMessage(Simple("s" + std::to_string(i)));
    {
        const WorkFolderLock held(work.path());
        ASSERT_TRUE(held.Held());
        EXPECT_EQ(RunOnce(work.path()), WorkFolderLock::BusyExitCode);
        EXPECT_EQ(ReadFileBytes(work / "once.log"),
                  "quelmark: Another gateway is running in " + work.path().string() + "; nothing done\n");
        EXPECT_EQ(dovecot->MessageCount(), 30u);
    }
    const pid_t first = StartOnce(work.path());
    const pid_t second = StartOnce(work.path());
    const int codes[] = {WaitFor(first, std::chrono::seconds(50)), WaitFor(second, std::chrono::seconds(50))};
    for (const int code : codes) EXPECT_TRUE(code == 0 || code == WorkFolderLock::BusyExitCode) << code;
    EXPECT_EQ(RunOnce(work.path()), 0);
    const std::map<std::string, int> counts = SubjectCounts(work.path(), "Alice");
    EXPECT_EQ(counts.size(), 30u);
    for (const auto& [subject, copies] : counts) EXPECT_EQ(copies, 1) << subject;
    EXPECT_EQ(dovecot->MessageCount(), 0u);
}

}  // namespace
}  // namespace qlk::test
