#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <filesystem>

#include "GatewayScene.h"
#include "mapi/MapiCodes.h"
#include "platform/EventPump.h"

namespace qlk::test {
namespace {

namespace fs = std::filesystem;

std::string Mail(const std::string& headers, const std::string& body = "Hello\r\n") {
    return "From: Ann Smith <ann@example.org>\r\nDate: Mon, 7 Dec 2026 10:00:00 +0000\r\n" + headers +
           "\r\n" + body;
}

std::string MultipartMail(const std::string& headers,
                          const std::vector<std::pair<std::string, std::string>>& files) {
    std::string text =
        Mail(headers + "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n",
             "--b\r\nContent-Type: text/plain\r\n\r\nSee attached.\r\n");
    for (const auto& [name, base64] : files) {
        text += "--b\r\nContent-Type: application/octet-stream; name=\"" + name +
                "\"\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: attachment; filename=\"" +
                name + "\"\r\n\r\n" + base64 + "\r\n";
    }
    return text + "--b--\r\n";
}

std::vector<std::string> Entries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) names.push_back(entry.path().string());
    return names;
}

TEST(InboundTransferTest, DeliveryInformationIsAppendedByteForByte) {
    GatewayScene scene;
    scene.settings.ShowInternetHeaders = true;
    scene.AddRow(Row("Ann", "ann"));
    scene.pop.AddMessage("ann", Mail("To: Bob <bob@example.org>, carol@example.org\r\nCc: dan@example.org\r\n"
                                     "Subject: Status\r\n",
                                     "Line one\r\n..dotted\r\n"));
    scene.RunCycle();
    ASSERT_EQ(scene.office->delivered.size(), 1u);
    EXPECT_EQ(scene.office->delivered[0].text,
              "Line one\r\n..dotted\r\n\r\r"
              "--- The Following Information Was Added By QLK ---\r"
              "From: Ann Smith <ann@example.org>\r"
              "To Recipients: bob@example.org; carol@example.org; \r"
              "CC Recipients: dan@example.org; \r"
              "Original Send Time: Mon, 7 Dec 2026 10:00:00 +0000\r"
              "Original Subject: Status\r\r"
              "Original Internet Headers Follow :\r"
              "From: Ann Smith <ann@example.org>\r"
              "Date: Mon, 7 Dec 2026 10:00:00 +0000\r"
              "To: Bob <bob@example.org>, carol@example.org\r"
              "Cc: dan@example.org\r"
              "Subject: Status");
    EXPECT_EQ(scene.office->delivered[0].subject, "Status");
}

// Names from mail never reach a path unchecked; two attachments that need
// the same name, and two that fall back to "Bad.bad", all keep their content.
TEST(InboundTransferTest, AttachmentsKeepTheirContentAndNothingEscapesTheWorkFolders) {
    GatewayScene scene;
    scene.AddRow(Row("Ann", "ann"));
    scene.pop.AddMessage("ann", MultipartMail("Subject: Files\r\n", {{"report.txt", "b25l"},
                                                                     {"report.txt", "dHdv"},
                                                                     {"../../escape.txt", "dGhyZWU="},
                                                                     {"..", "Zm91cg=="},
                                                                     {"clash.txt", "Zml2ZQ=="},
                                                                     {"clash.txt", "c2l4"}}));
    // The attachment folders of the two "clash.txt" cannot be written to, so
    // both fall back to "Bad.bad".
    const fs::path attachments = scene.work / "QLKATT";
    SetMessagePump([&] {
        const auto commands = scene.pop.Commands();
        if (commands.empty() || commands.back() != "RETR 1") return;
        fs::create_directories(attachments / "5" / "clash.txt");
        fs::create_directories(attachments / "6" / "clash.txt");
    });
    scene.RunCycle();
    SetMessagePump({});

    ASSERT_EQ(scene.office->delivered.size(), 1u);
    const auto& delivery = scene.office->delivered[0];
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"report.txt", "one"},  {"report.txt", "two"}, {"escape.txt", "three"},
        {"attachment", "four"}, {"Bad.bad", "five"},   {"Bad.bad", "six"}};
    EXPECT_EQ(delivery.files, expected);
    const std::string errors =
        "*** ERROR ***\rBad Attachment : clash.txt\rSaved as 'bad.bad'\r"
        "*** ERROR ***\rBad Attachment : clash.txt\rSaved as 'bad.bad'";
    EXPECT_EQ(delivery.text.substr(delivery.text.size() - errors.size()), errors);
    EXPECT_EQ(scene.gateway.Cycle().Tally().AttachmentsDownloaded, 6);
    EXPECT_TRUE(Entries(attachments).empty());
    EXPECT_TRUE(Entries(scene.work / "QLKMSG").empty());
    EXPECT_FALSE(fs::exists(scene.work.path().parent_path() / "escape.txt"));
    EXPECT_FALSE(fs::exists(scene.work / "escape.txt"));
}

struct ResolutionCase {
    const char* name;
    std::string headers;
    std::string adminName;
    bool ccAdmin;
    std::vector<std::string> recipients;
    std::string subject;
};

// The alias account "Office" spreads its mailbox over the table's rows.
TEST(InboundTransferTest, AliasAccountResolvesRecipientsByTheThreeRules) {
    // One ASCII letter, then Cyrillic: the cut at 255 bytes falls inside a
    // character and must move before it.
    std::string longSubject = "x";
    for (int i = 0; i < 127; ++i) longSubject += "\xD0\x96";
    const ResolutionCase cases[] = {
        {"return address of an ordinary row, any letter case",
         "To: ANN@Example.ORG\r\n",
         "",
         false,
         {"Ann"},
         "S"},
        {"an alias row's return address does not count",
         "To: bob-home@example.org\r\n",
         "",
         false,
         {"Office"},
         "No Recipient Found - Forward Manually -- S"},
        {"alias address", "To: Bob@example.org\r\n", "", false, {"Bob"}, "S"},
        {"a single blank alias address matches nothing",
         "To: \" \" <x@example.org>\r\n",
         "Admin",
         false,
         {"Admin"},
         "No Recipient Found - Forward Manually -- S"},
        {"display name equal to a mailbox", "To: cy <nobody@elsewhere.org>\r\n", "", false, {"Cy"}, "S"},
        {"ties and repeats are kept, administrator first",
         "To: bob@example.org, ann@example.org\r\nCc: BOB@example.org\r\n",
         "Admin",
         true,
         {"Admin", "Bob", "Ann", "Bob"},
         "S"},
        {"no row matched, with the administrator's copy on", "To: x@elsewhere.org\r\n", "Admin", true,
         {"Admin"}, "No Recipient Found - Forward Manually -- S"},
        {"a blank administrator name sends to the account",
         "To: x@elsewhere.org\r\n",
         " Admin",
         false,
         {"Office"},
         "No Recipient Found - Forward Manually -- S"},
    };
    for (const auto& c : cases) {
        GatewayScene scene;
        scene.settings.AdminMAPIName = c.adminName;
        scene.settings.CCAdmin = c.ccAdmin;
        scene.AddRow(Row("Office", "office", "office@example.org", true, "office@example.org"));
        scene.AddRow(Row("Ann", "ann", "ann@example.org"));
        scene.AddRow(Row("Bob", "bob", "bob-home@example.org", true, "bob@example.org"));
        scene.AddRow(Row("Cy", "cy", "cy@example.org", false, " "));
        scene.pop.AddMessage("office", Mail(c.headers + "Subject: S\r\n"));
        scene.RunCycle();
        ASSERT_EQ(scene.office->delivered.size(), 1u) << c.name;
        EXPECT_EQ(scene.office->delivered[0].to, c.recipients) << c.name;
        EXPECT_EQ(scene.office->delivered[0].subject, c.subject) << c.name;
        EXPECT_EQ(scene.Logged("No MAPI recipients found"), c.subject != "S") << c.name;
    }

    GatewayScene scene;
    scene.AddRow(Row("Office", "office", "office@example.org", true, "office@example.org"));
    scene.pop.AddMessage("office", Mail("To: x@elsewhere.org\r\nSubject: " + longSubject + "\r\n"));
    scene.RunCycle();
    ASSERT_EQ(scene.office->delivered.size(), 1u);
    EXPECT_EQ(scene.office->delivered[0].subject,
              "No Recipient Found - Forward Manually -- " + longSubject.substr(0, 1 + 2 * 106));
}

std::vector<std::string> Subjects(const ScriptedPostOffice& office) {
    std::vector<std::string> subjects;
    for (const auto& delivery : office.delivered) subjects.push_back(delivery.subject);
    return subjects;
}

std::vector<std::string> SubjectsOnServer(const Pop3MailboxServer& pop, const std::string& user) {
    std::vector<std::string> subjects;
    for (const auto& message : pop.Messages(user)) {
        const auto at = message.find("Subject: ") + 9;
        subjects.push_back(message.substr(at, message.find('\r', at) - at));
    }
    return subjects;
}

struct OutcomeCase {
    const char* name;
    Pop3Faults faults;
    std::vector<std::string> delivered;  // Ann's messages after the first cycle, in order
    std::vector<std::string> kept;       // what Ann's server still holds then
    std::string logged;                  // the line that says why (HOST: the server)
    long long sizeLimit = Settings::MaxMessageSizeLimit;
    std::deque<int> sendCodes = {};
};

// One message that cannot be handled, or a server that fails at the end of a
// session, never costs the other messages, the next user or the outbound
// transfer; the next cycle, on a sound server, finishes the work without
// delivering anything twice.
TEST(InboundTransferTest, EachMessageHasItsOwnOutcomeAndTheRestGoOn) {
    const std::vector<std::string> all = {"m1", "m2", "m3"};
    const std::string large = Mail("Subject: m2\r\n", std::string(990, 'x') + "\r\n");
    const OutcomeCase cases[] = {
        {"RETR refused", {.refuseRetr = 2}, {"m1", "m3"}, {"m2"},
         "Message 2 was not retrieved (-ERR message is locked); it stays on the server"},
        {"over the limit", {}, {"m1", "m3"}, {"m2"},
         "Message 2 is larger than the limit (" + std::to_string(large.size()) +
             " bytes, at most 1000); it stays on the server",
         1000},
        {"post office refuses", {}, {"m1", "m3"}, {"m2"},
         "Message 2 was not delivered to the post office (MAPI error 14); it stays on the server",
         Settings::MaxMessageSizeLimit, {0, MAPI_E_UNKNOWN_RECIPIENT}},
        {"connection dropped on RETR 3", {.dropOnRetr = 3}, {"m1", "m2"}, all,
         "ERROR Checking Mail: The server closed the connection instead of answering RETR 3"},
        {"DELE refused", {.refuseDele = 2}, all, {"m2"},
         "Message 2 could not be deleted on the server (-ERR cannot delete)"},
        {"QUIT refused", {.refuseQuit = true}, all, all,
         "Error ending the POP3 session for Ann : -ERR cannot expunge"},
        {"no UIDL", {.noUidl = true}, all, {},
         "HOST gives no message IDs (UIDL): messages left on it are delivered again at every cycle"},
        {"QUIT never answered", {.stallQuit = true}, all, all,
         "Error ending the POP3 session for Ann : Operation timed out"},
    };
    for (const auto& c : cases) {
        GatewayScene scene;
        scene.settings.MessageSizeLimit = c.sizeLimit;
        scene.gateway.POP().SetTimeOut(1);
        scene.AddRow(Row("Ann", "ann"));
        scene.AddRow(Row("Bob", "bob"));
        for (const auto& subject : all)
            scene.pop.AddMessage("ann", subject == "m2" ? large : Mail("Subject: " + subject + "\r\n"));
        scene.pop.AddMessage("bob", Mail("Subject: for Bob\r\n"));
        scene.pop.SetFaults("ann", c.faults);
        scene.office->sendCodes = c.sendCodes;
        int outbound = 0;
        scene.gateway.Cycle().SendOutgoingMail = [&] { ++outbound; };
        scene.RunCycle();

        std::vector<std::string> expected = c.delivered;
        expected.push_back("for Bob");
        EXPECT_EQ(Subjects(*scene.office), expected) << c.name;
        EXPECT_EQ(SubjectsOnServer(scene.pop, "ann"), c.kept) << c.name;
        EXPECT_TRUE(scene.pop.Messages("bob").empty()) << c.name;
        std::string logged = c.logged;
        if (logged.starts_with("HOST")) logged.replace(0, 4, scene.pop.Host());
        EXPECT_TRUE(scene.Logged(logged)) << c.name;
        EXPECT_EQ(outbound, 1) << c.name;

        scene.pop.SetFaults("ann", {});
        scene.settings.MessageSizeLimit = Settings::MaxMessageSizeLimit;
        scene.RunCycle();
        std::vector<std::string> once = Subjects(*scene.office);
        std::sort(once.begin(), once.end());
        EXPECT_EQ(once, (std::vector<std::string>{"for Bob", "m1", "m2", "m3"})) << c.name;
        EXPECT_TRUE(scene.pop.Messages("ann").empty()) << c.name;
    }
}

// The cycle holds rows by their identity: a row deleted while a cycle runs is
// passed over and one added is taken at the end, and each mailbox's mail goes
// to its own row's mailbox.
TEST(InboundTransferTest, RowsChangedDuringACycleNeverMixMailboxes) {
    GatewayScene scene;
    scene.AddRow(Row("Ann", "ann"));
    scene.AddRow(Row("Bob", "bob"));
    scene.AddRow(Row("Cy", "cy"));
    scene.pop.AddUser("dan", "secret");
    for (const char* user : {"ann", "bob", "cy", "dan"})
        scene.pop.AddMessage(user, Mail(std::string("Subject: for ") + user + "\r\n"));
    scene.Start();
    TableEngine& table = scene.gateway.Users().Table();
    bool changed = false;
    SetMessagePump([&] {
        if (changed || scene.office->delivered.empty()) return;
        changed = true;
        table.DeleteRow(table.Rows()[1].rowId);
        UserRecord dan = Row("Dan", "dan");
        dan.popHost = scene.pop.Host();
        dan.popPassword = "secret";
        table.StoreRow(dan);
    });
    scene.gateway.Cycle().RunTransferCycle();
    SetMessagePump({});
    std::vector<std::string> delivered;
    for (const auto& delivery : scene.office->delivered)
        delivered.push_back(delivery.subject + " to " + delivery.to[0]);
    EXPECT_EQ(delivered, (std::vector<std::string>{"for ann to Ann", "for cy to Cy", "for dan to Dan"}));
    EXPECT_EQ(scene.pop.Messages("bob").size(), 1u);
}

TEST(InboundTransferTest, OrdinaryAccountLogsEveryStepAndLeavesMailWhenAsked) {
    GatewayScene scene;
    scene.settings.AdminMAPIName = "Admin";
    scene.settings.CCAdmin = true;
    scene.AddRow(Row("Ann", "ann", "ann@example.org", false, "", false));
    scene.pop.AddMessage("ann", Mail("To: ann@example.org\r\nSubject: Hi\r\n"));
    scene.RunCycle();
    ASSERT_EQ(scene.office->delivered.size(), 1u);
    EXPECT_EQ(scene.office->delivered[0].to, (std::vector<std::string>{"Admin", "Ann"}));
    EXPECT_EQ(scene.pop.Messages("ann").size(), 1u);
    const std::string host = scene.pop.Host();
    const std::vector<std::string> expected = {
        "Deleting Artifacts",
        "User Ann Logging into " + host + " as ann",
        "Downloading Message Headers for ann@" + host,
        "There are 1  message(s) on the server for user ann",
        "i = 0 count = 1",
        "Downloading Message 1/1 for user Ann",
        "Opening POP connection",
        "Retrieving Message",
        "Message size : " + std::to_string(scene.pop.Messages("ann")[0].size()),
        "Loading Message 1",
        "Creating New Message for MAPI System",
        "Not a group account, adding Ann",
        "Adding Subject : Hi",
        "Copying Message Text",
        "Allocating Text Memory",
        "Moving Message Body",
        "Adding Attachments",
        "Checking MS Mail Connection...",
        "Forwarding Message to Mailbox",
        "Logging On",
        "Sending",
        "Written for Admin, Ann",
        "Freeing Mem",
        "Message ID uid-1 remembered",
        "Delivered to Admin",
        "Delivered to Ann",
        "Leaving Message 1 on Internet POP Server",
        "Ending Getusermail loop",
    };
    const auto texts = scene.LogTexts();
    const auto first = std::find(texts.begin(), texts.end(), "Deleting Artifacts");
    ASSERT_NE(first, texts.end());
    ASSERT_GE(static_cast<std::size_t>(texts.end() - first), expected.size());
    EXPECT_EQ(std::vector<std::string>(first, first + static_cast<std::ptrdiff_t>(expected.size())),
              expected);
    EXPECT_EQ(scene.office->logoffs, 1);
}

// The bound on messages per session counts only messages not delivered
// before: a row that keeps its mail on the server still gets one more
// message at each cycle, and nothing twice.
TEST(InboundTransferTest, MessagesBeyondTheSessionBoundComeInLaterCycles) {
    GatewayScene scene;
    scene.settings.MaxMessagesPerSession = 1;
    scene.AddRow(Row("Ann", "ann", "ann@example.org", false, "", false));
    for (const char* subject : {"a", "b", "c"})
        scene.pop.AddMessage("ann", Mail(std::string("Subject: ") + subject + "\r\n"));
    for (int cycle = 0; cycle < 4; ++cycle) scene.RunCycle();
    EXPECT_EQ(Subjects(*scene.office), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(scene.pop.Messages("ann").size(), 3u);
    EXPECT_TRUE(
        scene.Logged("Only the first 1 of them are fetched in this cycle; the other 2 wait for the next"));
}

// More messages than the old clean-up reached: each is delivered and every
// message file goes once its message is handled.
TEST(InboundTransferTest, LargeMailboxIsDeliveredInOrderAndLeavesNoFiles) {
    GatewayScene scene;
    scene.AddRow(Row("Ann", "ann"));
    fs::create_directories(scene.work / "QLKMSG");
    WriteFileBytes(scene.work / "QLKMSG" / "msg_150.eml", "left over");
    constexpr int count = 105;
    for (int i = 0; i < count; ++i)
        scene.pop.AddMessage("ann", Mail("Subject: n" + std::to_string(i) + "\r\n"));
    scene.RunCycle();
    ASSERT_EQ(scene.office->delivered.size(), static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        EXPECT_EQ(scene.office->delivered[static_cast<std::size_t>(i)].subject, "n" + std::to_string(i));
    EXPECT_TRUE(scene.pop.Messages("ann").empty());
    EXPECT_TRUE(Entries(scene.work / "QLKMSG").empty());
}

}  // namespace
}  // namespace qlk::test
