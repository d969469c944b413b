#include "gateway/OutboundTransfer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "gateway/Gateway.h"
#include "gateway/StatusLog.h"
#include "gateway/TableEngine.h"
#include "gateway/TransferTally.h"
#include "mapi/PostOffice.h"
#include "mapi/TEmail.h"
#include "message/Base64.h"
#include "message/Charsets.h"
#include "message/TmsMessage.h"
#include "net/TmsSMTP.h"
#include "support/Peers.h"
#include "support/ScriptServer.h"
#include "support/TempDir.h"

namespace qlk {
namespace {

namespace fs = std::filesystem;
using test::ScriptServer;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char* kSubject = "TO:b@example.org;CC:c@example.org|Figures";
constexpr const char* kText = "Hello Bob\r\n.a line with a dot";
// A forwarded message: 8-bit text in a part that must keep its lines.
constexpr const char* kForwarded =
    "From: x@example.org\r\nSubject: Gr\xC3\xBC\xC3\x9F\x65\r\n\r\nAus K\xC3\xB6ln\r\n";
constexpr const char* kGreeting = "Gr\xC3\xBC\xC3\x9F\x65";
constexpr const char* kUtf8Subject = "TO:j\xC3\xB6rg@example.org|Figures";

struct Note {
    std::string subject;
    std::string text;
    std::vector<std::string> files;
};

// A working folder with a post office (the gateway's mailbox "Internet",
// users Ann and Zed) and a user table in which only Ann is registered.
class OutboundTransferTest : public ::testing::Test {
protected:
    OutboundTransferTest() {
        if (const char* old = std::getenv("TMPDIR")) savedTmp_ = old;
        fs::create_directory(dir_ / "tmp");
        setenv("TMPDIR", (dir_ / "tmp").c_str(), 1);
        gateway_.Users().OpenTable();
        AddUser("Ann Smith", "Ann", "ann@office.example");
        AddUser("Zed Lower", "zed", "zed@office.example");
        AddUser("Cy Young", "Cy", "cy@office.example");
        settings_.LogToFile = false;
        settings_.TimestampInWindow = false;
        gateway_.SMTP().SetTimeOut(5);
        settings_.SMTPServer = "127.0.0.1:" + std::to_string(test::FreeLoopbackPort());
        WriteFile("figures.bin", std::string("\x00\x01\xff\r\n.\r\n", 8));
        WriteFile("fwd.eml", kForwarded);
        WriteFile("wide.eml", "Subject: wide\r\n\r\n" + std::string(1200, 'w') + "\r\n");
    }
    ~OutboundTransferTest() override {
        if (savedTmp_.empty())
            unsetenv("TMPDIR");
        else
            setenv("TMPDIR", savedTmp_.c_str(), 1);
    }

    static bool MakePostOffice(const fs::path& folder) {
        PostOffice postOffice = PostOffice::Create(folder);
        postOffice.AddMailbox("Ann");
        postOffice.AddMailbox("Zed");
        postOffice.AddMailbox("Cy");
        return true;
    }

    void AddUser(const std::string& name, const std::string& mailbox, const std::string& returnAddress) {
        TableEngine& users_ = gateway_.Users().Table();
        users_.Append();
        users_.SetAsString(UserField::Name, name);
        users_.SetAsString(UserField::Mailbox, mailbox);
        users_.SetAsString(UserField::POPHost, "pop.example");
        users_.SetAsString(UserField::POPUserID, mailbox);
        users_.SetAsString(UserField::POPPassword, "pw");
        users_.SetAsString(UserField::ReturnAddress, returnAddress);
        users_.Post();
    }

    void WriteFile(const std::string& name, const std::string& bytes) {
        test::WriteFileBytes(dir_ / name, bytes);
    }

    // Sends a note from a post-office mailbox to the gateway's mailbox.
    void Post(const std::string& from, const std::string& subject, const std::string& text = kText,
              const std::vector<std::string>& files = {"figures.bin"}) {
        TEmail sender(dir_.path());
        sender.Profile = from;
        sender.Recipient = {"Internet"};
        sender.Subject = subject;
        sender.SetLongText(text);
        for (const std::string& file : files) sender.Attachment.push_back((dir_ / file).string());
        ASSERT_EQ(sender.SendMail(), 0);
    }

    std::vector<Note> Mailbox(const std::string& name) {
        TEmail reader(dir_.path());
        reader.Profile = name;
        reader.SuppressAttach = true;
        reader.Logon();
        std::vector<Note> notes;
        while (!reader.FindNext().empty() && reader.ReadMail() == 0) {
            const auto& longText = reader.GetLongText();
            notes.push_back(
                {reader.WholeSubject(), longText ? *longText : reader.Text.str(), reader.Attachment});
        }
        return notes;
    }

    int Waiting() { return PostOffice(dir_ / "postoffice").CountMessages("Internet").Total; }

    void Run() {
        gateway_.UseSettings(settings_);
        gateway_.Outbound().SendOutgoingMail();
    }

    const TransferTally& Tally() { return gateway_.Cycle().Tally(); }

    bool Logged(const std::string& text) {
        for (const LogLine& line : gateway_.Log().Lines()) {
            if (line.text.find(text) != std::string::npos) return true;
        }
        return false;
    }

    // Attachment files the post office wrote while reading, still there.
    int LeftoverTempFiles() const {
        int count = 0;
        for (const auto& entry : fs::recursive_directory_iterator(dir_ / "tmp"))
            count += entry.is_regular_file();
        return count;
    }

    void UseServer(const ScriptServer& server) { settings_.SMTPServer = server.Address(); }
    // Runs the outbound transfer against SERVER's script, to its end.
    void RunAgainst(ScriptServer& server) {
        server.Start();
        UseServer(server);
        Run();
        server.Join();
    }

    test::TempDir dir_;
    std::string savedTmp_;
    bool postOfficeMade_ = MakePostOffice(dir_.path());
    Gateway gateway_{dir_.path(), [](const std::string&) {}};
    Settings settings_;
};

// Plays one SMTP session: the greeting, then each reply to the line the
// client sends; after a 354 the server reads the message text first.
// "DROP" closes the connection instead of answering.
void PlaySession(ScriptServer& server, const std::vector<std::string>& replies) {
    server.Send("220 relay.test ready\r\n");
    bool text = false;
    for (const std::string& reply : replies) {
        text ? server.Data() : server.Line();
        if (reply == "DROP") {
            server.Drop();
            return;
        }
        server.Send(reply + "\r\n");
        text = reply.starts_with("354");
    }
}

struct OutcomeCase {
    const char* name;
    std::vector<std::string> replies;  // from HELO on
    const char* answerSubject;         // the answer Ann gets, or nullptr
    const char* answerQuotes;          // a text the answer holds
    // What the delivery decided, on which kind of failure and reply code
    // (General and -1 when nothing failed).
    SmtpDelivery::Result result;
    ErrorKind kind;
    int code;
    const char* subject = kSubject;
};

void PrintTo(const OutcomeCase& c, std::ostream* out) {
    *out << c.name;
}

class SmtpOutcomes : public OutboundTransferTest, public ::testing::WithParamInterface<OutcomeCase> {};

TEST_P(SmtpOutcomes, DecideWhetherTheMessageGoesStaysOrComesBack) {
    const OutcomeCase& c = GetParam();
    Post("Ann", c.subject);
    ScriptServer server;
    PlaySession(server, c.replies);
    RunAgainst(server);

    // A deferred message waits in the gateway's mailbox for the next cycle.
    EXPECT_EQ(Waiting(), c.result == SmtpDelivery::Result::Deferred ? 1 : 0);
    const int sent = c.result == SmtpDelivery::Result::Accepted ? 1 : 0;
    EXPECT_EQ(Tally().MessagesSent, sent);
    EXPECT_EQ(Tally().AttachmentsUploaded, sent);
    const std::vector<Note> answers = Mailbox("Ann");
    if (c.answerSubject == nullptr) {
        EXPECT_TRUE(answers.empty());
    } else {
        ASSERT_EQ(answers.size(), 1u);
        EXPECT_EQ(answers[0].subject, c.answerSubject + std::string(c.subject));
        EXPECT_NE(answers[0].text.find(c.answerQuotes), std::string::npos) << answers[0].text;
        EXPECT_NE(answers[0].text.find(kText), std::string::npos) << answers[0].text;
        // The post office keeps no other copy of what the sender attached.
        EXPECT_EQ(answers[0].files, std::vector<std::string>{"figures.bin"});
    }
    // The attachment copies the post office made are gone in every case.
    EXPECT_EQ(LeftoverTempFiles(), 0);
    // A recipient refusal never reaches DATA when nobody is left.
    const auto lines = server.ReceivedLines();
    const bool dataSent = std::find(lines.begin(), lines.end(), "DATA") != lines.end();
    if (std::string(c.name) == "EveryRecipientRefused") EXPECT_FALSE(dataSent);

    // The same session through the delivery alone.
    ScriptServer again;
    PlaySession(again, c.replies);
    again.Start();
    TmsMessage message;
    message.Sender().Address = "ann@office.example";
    const SubjectLine line(c.subject);
    for (const SubjectLine::Item& item : line.Items())
        (item.kind == SubjectLine::Kind::CC ? message.CC() : message.Recipients())
            .AddAddress(item.address, "");
    TmsSMTP smtp;
    smtp.Server = again.Address();
    smtp.SetTimeOut(5);
    smtp.UserID = "Ann";
    smtp.MailMessage = &message;
    {
        SmtpDelivery delivery(smtp);
        EXPECT_EQ(delivery.Deliver(), c.result);
        EXPECT_EQ(delivery.FailureKind(), c.kind);
        EXPECT_EQ(delivery.FailureReply().Code(), c.code);
    }
    again.Join();
}

const OutcomeCase kOutcomes[] = {
    {"Accepted",
     {"250 hi", "250 ok", "250 ok", "250 ok", "354 go", "250 queued", "221 bye"},
     nullptr,
     "",
     SmtpDelivery::Result::Accepted,
     ErrorKind::General,
     -1},
    {"AcceptedThenQuitFails",
     {"250 hi", "250 ok", "250 ok", "250 ok", "354 go", "250 queued", "DROP"},
     nullptr,
     "",
     SmtpDelivery::Result::Accepted,
     ErrorKind::General,
     -1},
    {"SenderRefused",
     {"250 hi", "550 5.7.1 sender refused", "221 bye"},
     OutboundTransfer::RefusedSubject,
     "550 5.7.1 sender refused",
     SmtpDelivery::Result::Refused,
     ErrorKind::Permanent,
     550},
    {"OneRecipientRefused",
     {"250 hi", "250 ok", "550 5.1.1 no such user", "250 ok", "354 go", "250 queued", "221 bye"},
     OutboundTransfer::PartlyRefusedSubject,
     "b@example.org : 550 5.1.1 no such user",
     SmtpDelivery::Result::Accepted,
     ErrorKind::General,
     -1},
    {"EveryRecipientRefused",
     {"250 hi", "250 ok", "550 5.1.1 no b", "550 5.1.1 no c", "221 bye"},
     OutboundTransfer::RefusedSubject,
     "c@example.org : 550 5.1.1 no c",
     SmtpDelivery::Result::Refused,
     ErrorKind::Permanent,
     550},
    {"RecipientDeferred",
     {"250 hi", "250 ok", "450 4.2.0 try later", "221 bye"},
     nullptr,
     "",
     SmtpDelivery::Result::Deferred,
     ErrorKind::Transient,
     450},
    {"DataDeferred",
     {"250 hi", "250 ok", "250 ok", "250 ok", "451 4.3.0 later", "221 bye"},
     nullptr,
     "",
     SmtpDelivery::Result::Deferred,
     ErrorKind::Transient,
     451},
    {"DataRefused",
     {"250 hi", "250 ok", "250 ok", "250 ok", "554 5.3.4 too big", "221 bye"},
     OutboundTransfer::RefusedSubject,
     "554 5.3.4 too big",
     SmtpDelivery::Result::Refused,
     ErrorKind::Permanent,
     554},
    {"TextRefused",
     {"250 hi", "250 ok", "250 ok", "250 ok", "354 go", "554 5.6.0 rejected", "221 bye"},
     OutboundTransfer::RefusedSubject,
     "554 5.6.0 rejected",
     SmtpDelivery::Result::Refused,
     ErrorKind::Permanent,
     554},
    {"TextDeferred",
     {"250 hi", "250 ok", "250 ok", "250 ok", "354 go", "452 4.3.1 full", "221 bye"},
     nullptr,
     "",
     SmtpDelivery::Result::Deferred,
     ErrorKind::Transient,
     452},
    {"DroppedDuringText",
     {"250 hi", "250 ok", "250 ok", "250 ok", "354 go", "DROP"},
     nullptr,
     "",
     SmtpDelivery::Result::Deferred,
     ErrorKind::ConnectionLost,
     -1},
    // Refused at once, before MAIL FROM, for what the relay does not list.
    {"AboveTheRelaysSize", {"250-relay\r\n250 SIZE 100", "221 bye"}, OutboundTransfer::RefusedSubject,
     "more than the 100 bytes", SmtpDelivery::Result::Refused, ErrorKind::Permanent, -1},
    {"InternationalAddressWithoutSmtputf8", {"250-relay\r\n250 8BITMIME", "221 bye"},
     OutboundTransfer::RefusedSubject, "SMTPUTF8", SmtpDelivery::Result::Refused, ErrorKind::Permanent, -1,
     kUtf8Subject},
};

INSTANTIATE_TEST_SUITE_P(Table, SmtpOutcomes, ::testing::ValuesIn(kOutcomes),
                         [](const auto& info) { return std::string(info.param.name); });

struct ExtensionCase {
    const char* name;
    const char* ehlo;  // the relay's reply to EHLO
    const char* subject;
    const char* attachment;
    const char* mailFrom;
};

class RelayExtensions : public OutboundTransferTest, public ::testing::WithParamInterface<ExtensionCase> {};

// BODY=8BITMIME only for 8-bit text and a relay that lists it (else the text
// goes 7-bit), SMTPUTF8 only for an address that needs it; no line longer
// than 998 characters either way, and everything comes back as it was.
TEST_P(RelayExtensions, ShapeMailFromAndTheText) {
    const ExtensionCase& c = GetParam();
    Post("Ann", c.subject, kGreeting + ("\r\n" + std::string(2000, 'x')), {c.attachment, "wide.eml"});
    std::vector<std::string> replies(SubjectLine(c.subject).Items().size() + 2, "250 ok");
    replies.front() = c.ehlo;
    replies.insert(replies.end(), {"354 go", "250 queued", "221 bye"});
    ScriptServer server;
    PlaySession(server, replies);
    RunAgainst(server);
    EXPECT_EQ(Tally().MessagesSent, 1);
    EXPECT_EQ(server.ReceivedLines().at(1), c.mailFrom);
    ASSERT_EQ(server.ReceivedData().size(), 1u);
    const std::string sent = TmsMailBase::UnstuffDataBlock(server.ReceivedData()[0]);
    EXPECT_EQ(IsAscii(sent), std::string(c.mailFrom).find("8BITMIME") == std::string::npos);
    std::istringstream lines(sent);
    for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 999u);
    TmsMessage received;
    received.LoadFromText(sent);
    EXPECT_EQ(received.Body(), (std::vector<std::string>{kGreeting, std::string(2000, 'x')}));
    ASSERT_EQ(received.Attachments().Count(), 2);
    EXPECT_EQ(received.Attachments().Items(0).Data, test::ReadFileBytes(dir_ / c.attachment));
    EXPECT_EQ(received.Attachments().Items(1).Data, test::ReadFileBytes(dir_ / "wide.eml"));
}

const ExtensionCase kExtensions[] = {
    {"EightBitMimeListed", "250-relay\r\n250 8BITMIME", kSubject, "fwd.eml",
     "MAIL FROM:<ann@office.example> BODY=8BITMIME"},
    {"EightBitMimeAbsent", "250 relay", kSubject, "fwd.eml", "MAIL FROM:<ann@office.example>"},
    {"Smtputf8Needed", "250-relay\r\n250-8BITMIME\r\n250 SMTPUTF8", kUtf8Subject, "figures.bin",
     "MAIL FROM:<ann@office.example> BODY=8BITMIME SMTPUTF8"},
    {"Smtputf8NotNeeded", "250-relay\r\n250-8BITMIME\r\n250 SMTPUTF8", kSubject, "figures.bin",
     "MAIL FROM:<ann@office.example>"}};

INSTANTIATE_TEST_SUITE_P(Table, RelayExtensions, ::testing::ValuesIn(kExtensions),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(OutboundTransferTest, SendsAsTheRegisteredUserWithTheAdministratorFirst) {
    settings_.CCAdmin = true;
    settings_.AdminInternetAddress = "admin@office.example";
    Post("Ann", "TO:b@example.org;BC:d@example.org|Figures");
    // What the inbound transfer left in the shared message must not travel.
    gateway_.InetMsg().LoadFromText(
        "From: z@x.org\r\nReturn-Receipt-To: z@x.org\r\nX-Priority: 1\r\n\r\n.\r\n");
    ScriptServer server;
    PlaySession(server,
                {"250 hi", "250 ok", "250 ok", "250 ok", "250 ok", "354 go", "250 queued", "221 bye"});
    RunAgainst(server);

    const auto lines = server.ReceivedLines();
    ASSERT_EQ(lines.size(), 7u);
    char host[256] = {};
    ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
    EXPECT_TRUE(lines[0].starts_with("EHLO " + std::string(host))) << lines[0];
    EXPECT_EQ(
        std::vector<std::string>(lines.begin() + 1, lines.end()),
        (std::vector<std::string>{"MAIL FROM:<ann@office.example>", "RCPT TO:<admin@office.example>",
                                  "RCPT TO:<b@example.org>", "RCPT TO:<d@example.org>", "DATA", "QUIT"}));
    ASSERT_EQ(server.ReceivedData().size(), 1u);
    const std::string text = server.ReceivedData()[0];
    for (const char* expected :
         {"Reply-To: Ann<ann@office.example>", "Subject: Figures", "\r\n..a line with a dot",
          "filename=\"figures.bin\"", "QLK Administrator"}) {
        EXPECT_NE(text.find(expected), std::string::npos) << expected;
    }
    EXPECT_EQ(text.find("d@example.org"), std::string::npos);
    EXPECT_EQ(text.find("Return-Receipt-To"), std::string::npos);
    EXPECT_EQ(text.find("X-Priority"), std::string::npos);
    EXPECT_TRUE(Logged("First Recipient of 2 : QLK Administrator admin@office.example"));
    EXPECT_TRUE(Logged("Adding Sender Information For QLK User : Ann Smith"));
    EXPECT_TRUE(Logged("Added BC: Recipient : d@example.org"));
    EXPECT_EQ(Waiting(), 0);
}

TEST_F(OutboundTransferTest, AnswersUnregisteredSendersAndMissingRecipientsWithoutTheRelay) {
    // The answer's subject is cut at 255 bytes, which falls inside a Cyrillic
    // character: the cut moves before it.
    std::string longSubject = "TO:x@example.org|y";
    for (int i = 0; i < 118; ++i) longSubject += "\xD0\x96";
    Post("Zed", longSubject);  // the table knows "zed": letter case counts
    Post("Ann", "Lunch today?");
    Post("Ann", "a|b|c@example.org");
    // No relay listens: answering inside the post office must not need one.
    Run();

    EXPECT_EQ(Waiting(), 0);
    const std::vector<Note> zed = Mailbox("Zed");
    ASSERT_EQ(zed.size(), 1u);
    EXPECT_EQ(zed[0].subject, OutboundTransfer::NotRegisteredSubject + longSubject.substr(0, 18 + 2 * 76));
    EXPECT_EQ(zed[0].text, kText);
    const std::vector<Note> ann = Mailbox("Ann");
    ASSERT_EQ(ann.size(), 2u);
    EXPECT_EQ(ann[0].subject, std::string(OutboundTransfer::NoRecipientSubject) + "Lunch today?");
    EXPECT_EQ(ann[1].subject, std::string(OutboundTransfer::NoRecipientSubject) + "a|b|c@example.org");
    EXPECT_NE(ann[0].text.find("Lunch today? : not an Internet address"), std::string::npos) << ann[0].text;
    EXPECT_TRUE(ann[0].text.ends_with(kText)) << ann[0].text;
    EXPECT_TRUE(Logged("User - Zed - not found in database, returning message to sender : Zed"));
    EXPECT_TRUE(Logged("No valid Internet recipient found, returning message to sender : Ann"));
    EXPECT_EQ(LeftoverTempFiles(), 0);
}

// The post office holds the whole subject line (another Maildir program wrote
// it); one it cut itself, without its "|", is answered instead of sent short.
TEST_F(OutboundTransferTest, ReadsTheWholeSubjectLineAndAnswersOneThePostOfficeCut) {
    std::string recipients;
    for (int i = 1; i <= 12; ++i) recipients += "TO:member" + std::to_string(i) + "@board.example.com.au; ";
    test::WriteFileBytes(dir_ / "postoffice/Internet/new/1.M1P1.test",
                         "From: Ann <Ann@postoffice.invalid>\nSubject: " + recipients + "|Minutes\n\nHi\n");
    Post("Ann", recipients + recipients);
    Post("Ann", "TO:carol@example.org; cc: dan@example.org; Bob|Typed");
    std::vector<std::string> replies(14, "250 ok");
    for (const char* reply : {"354 go", "250 queued", "250 reset", "250 ok", "250 ok", "250 ok", "354 go",
                              "250 queued", "221 bye"})
        replies.push_back(reply);
    ScriptServer server;
    PlaySession(server, replies);
    RunAgainst(server);

    const auto lines = server.ReceivedLines();
    EXPECT_EQ(lines[13], "RCPT TO:<member12@board.example.com.au>");
    EXPECT_EQ(lines[18], "RCPT TO:<dan@example.org>");
    EXPECT_NE(server.ReceivedData().at(0).find("Subject: Minutes"), std::string::npos);
    EXPECT_EQ(Waiting(), 0);
    const std::vector<Note> ann = Mailbox("Ann");
    ASSERT_EQ(ann.size(), 2u);
    EXPECT_TRUE(ann[0].subject.starts_with(OutboundTransfer::CutSubjectSubject));
    EXPECT_EQ(ann[0].files, std::vector<std::string>{"figures.bin"});
    EXPECT_NE(ann[1].text.find("Bob : not an Internet address"), std::string::npos) << ann[1].text;
}

TEST_F(OutboundTransferTest, AMessageTheRelayDefersNeverHoldsBackTheOthers) {
    Post("Ann", "TO:first@example.org|1");
    Post("Ann", "TO:second@example.org|2");
    Post("Ann", "TO:third@example.org|3");
    {
        // One session carries the run; RSET before each further message. A
        // session that stops answering is replaced by a new one.
        ScriptServer server;
        PlaySession(server, {"250 hi", "250 ok", "250 ok", "451 4.3.0 later", "250 reset", "250 ok", "250 ok",
                             "354 go", "250 queued", "DROP"});
        server.Accept();
        PlaySession(server, {"250 hi", "250 ok", "250 ok", "354 go", "250 queued", "221 bye"});
        RunAgainst(server);
        EXPECT_EQ(server.Connections(), 2);
        const auto lines = server.ReceivedLines();
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "RSET"), 2);
        EXPECT_EQ(lines.back(), "QUIT");
    }
    EXPECT_EQ(Tally().MessagesSent, 2);
    EXPECT_EQ(Waiting(), 1);

    // A relay that cannot be reached ends the run; the message stays.
    settings_.SMTPServer = "127.0.0.1:" + std::to_string(test::FreeLoopbackPort());
    EXPECT_THROW(Run(), Exception);
    EXPECT_EQ(Waiting(), 1);

    // The next run starts at the front of the inbox again.
    ScriptServer server;
    PlaySession(server, {"250 hi", "250 ok", "250 ok", "354 go", "250 queued", "221 bye"});
    RunAgainst(server);
    EXPECT_EQ(Waiting(), 0);
    EXPECT_EQ(Tally().MessagesSent, 3);
    ASSERT_EQ(server.ReceivedLines().size(), 5u);
    EXPECT_EQ(server.ReceivedLines()[2], "RCPT TO:<first@example.org>");
    EXPECT_EQ(LeftoverTempFiles(), 0);
}

TEST_F(OutboundTransferTest, LogsInAsTheSenderWhenAskedAndKeepsTheMailOfARefusedLogIn) {
    Post("Ann", "TO:b@example.org|From Ann");
    Post("Cy", "TO:b@example.org|From Cy");
    ScriptServer server;
    PlaySession(server, {"250-relay\r\n250 AUTH PLAIN", "530 5.7.0 Authentication required", "235 2.7.0 ok",
                         "250 ok", "250 ok", "354 go", "250 queued", "250 reset"});
    // Cy's mail needs a session of its own, logged in as Cy.
    server.Accept();
    PlaySession(server, {"250-relay\r\n250 AUTH PLAIN", "530 5.7.0 Authentication required",
                         "535 5.7.8 authentication failed", "221 bye"});
    server.Start();
    settings_.SMTPServer = "smtp://" + server.Address();
    Run();
    server.Join();

    const auto lines = server.ReceivedLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(),
                         "AUTH PLAIN " + Base64EncodeString(std::string("\0Ann\0pw", 7))),
              1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(),
                         "AUTH PLAIN " + Base64EncodeString(std::string("\0Cy\0pw", 6))),
              1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "MAIL FROM:<ann@office.example>"), 2);
    EXPECT_EQ(Tally().MessagesSent, 1);
    EXPECT_EQ(Waiting(), 1);
    EXPECT_TRUE(Mailbox("Cy").empty());
}

struct HostileRelayCase {
    const char* name;
    std::function<void(ScriptServer&)> play;  // after the greeting and EHLO
    const char* logged;
};

class HostileRelay : public OutboundTransferTest, public ::testing::WithParamInterface<HostileRelayCase> {};

// A relay that tries to hold the run or fill memory is cut off at its bound,
// which the log names; the message stays for the next transfer.
TEST_P(HostileRelay, IsCutOffAtItsBoundAndTheMessageStays) {
    const auto& c = GetParam();
    Post("Ann", kSubject);
    ScriptServer server;
    server.Send("220 relay.test ready\r\n").Line();
    c.play(server);
    server.Start();
    UseServer(server);
    gateway_.SMTP().SetTimeOut(1);
    const auto started = Clock::now();
    try {
        Run();
    } catch (const Exception& e) {
        EXPECT_NE(e.Kind(), ErrorKind::Permanent) << e.what();
    }
    EXPECT_LT(Clock::now() - started, 4s);
    EXPECT_TRUE(Logged(c.logged));
    EXPECT_EQ(Waiting(), 1);
    EXPECT_LE(gateway_.SMTP().ReplyLines().size(), static_cast<std::size_t>(TagSocket::DefaultMaxReplyLines));
}

const HostileRelayCase kHostileRelays[] = {
    {"EhloWithoutEnd", [](ScriptServer& s) { for (int i = 0; i < 300; ++i) s.Send("250-more\r\n"); },
     "Reply longer than 256 lines"},
    {"EhloTrickle", [](ScriptServer& s) { s.Trickle("250-more\r\n", 300ms, 6s); }, "Operation timed out"}};

INSTANTIATE_TEST_SUITE_P(Table, HostileRelay, ::testing::ValuesIn(kHostileRelays),
                         [](const auto& p) { return std::string(p.param.name); });

struct RelayLoginCase {
    const char* name;
    bool loginRequired;
    const char* relayUser;
    const char* relayPassword;
    std::vector<std::string> logins;  // per message, in the envelope
    int sent;
};

class RelayLogin : public OutboundTransferTest, public ::testing::WithParamInterface<RelayLoginCase> {};

// A relay that takes mail without a log-in gets none; one that asks gets
// each sender's own; an office relay account serves every sender, and a
// wrong one keeps the mail.
TEST_P(RelayLogin, LogsInOnlyAsNeededAndAsTheRightAccount) {
    const auto& c = GetParam();
    std::string why;
    auto relay = test::SmtpPeer::StartLoginRelay(c.loginRequired,
                                                 {{"Ann", "pw"}, {"Cy", "pw"}, {"office", "opw"}}, {}, why);
    QLK_NEED_PEER(relay, why);
    Post("Ann", "TO:b@example.org|From Ann");
    Post("Cy", "TO:b@example.org|From Cy");
    settings_.SMTPServer = "smtp://" + relay->Address();
    settings_.SMTPRelayUser = c.relayUser;
    settings_.SMTPRelayPassword = c.relayPassword;
    Run();
    std::vector<std::string> logins;
    for (const std::string& envelope : relay->Envelopes())
        logins.push_back(envelope.substr(0, envelope.find('\n')));
    EXPECT_EQ(logins, c.logins);
    EXPECT_EQ(Tally().MessagesSent, c.sent);
    EXPECT_EQ(Waiting(), 2 - c.sent);
}

const RelayLoginCase kRelayLogins[] = {
    {"TakesMailWithoutLogIn", false, "", "", {"AUTH:", "AUTH:"}, 2},
    {"AsksForOne", true, "", "", {"AUTH:Ann", "AUTH:Cy"}, 2},
    {"OfficeAccount", false, "office", "opw", {"AUTH:office", "AUTH:office"}, 2},
    {"WrongOfficeAccount", true, "office", "wrong", {}, 0}};

INSTANTIATE_TEST_SUITE_P(Table, RelayLogin, ::testing::ValuesIn(kRelayLogins),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace qlk
