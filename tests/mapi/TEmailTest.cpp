// TEmail's own rules, over a scripted back end that answers from queues and
// records every call it receives.
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "mapi/EMAPIunavailable.h"
#include "mapi/MapiBackend.h"
#include "mapi/MapiCodes.h"
#include "mapi/SimpleMapi.h"
#include "mapi/TEmail.h"
#include "support/TempDir.h"

namespace qlk {
namespace {

std::string Opt(const std::optional<std::string>& text) {
    return text ? *text : "-";
}

class ScriptedBackend : public MapiBackend {
public:
    std::vector<std::string> calls;
    std::map<std::string, std::deque<int>> codes;  // per operation; 0 when empty
    std::deque<std::string> found;                 // FindNext answers
    std::optional<MapiMessage> message;            // ReadMail answer
    std::map<std::string, std::string> names;      // ResolveName: entry -> display name
    std::vector<MapiRecipient> sentRecips;
    std::vector<MapiFile> sentFiles;
    std::optional<std::string> sentText;
    bool throwOnFindNext = false;

    int Next(const std::string& operation) {
        std::deque<int>& queue = codes[operation];
        if (queue.empty()) return SUCCESS_SUCCESS;
        const int code = queue.front();
        queue.pop_front();
        return code;
    }

    int MAPILogon(const std::optional<std::string>& profile, const std::optional<std::string>& password,
                  std::uint32_t flags, std::uint32_t& session) override {
        calls.push_back("Logon " + Opt(profile) + " " + Opt(password) + " " + std::to_string(flags));
        session = 7;
        return Next("Logon");
    }
    int MAPILogoff(std::uint32_t session) override {
        calls.push_back("Logoff " + std::to_string(session));
        return Next("Logoff");
    }
    int MAPIFindNext(std::uint32_t, const std::string& seed, std::uint32_t flags, std::string& id) override {
        calls.push_back("FindNext " + seed + " " + std::to_string(flags));
        if (throwOnFindNext) throw std::runtime_error("platform fault");
        if (found.empty()) return MAPI_E_NO_MESSAGES;
        id = found.front();
        found.pop_front();
        return Next("FindNext");
    }
    int MAPIReadMail(std::uint32_t, const std::string& id, std::uint32_t flags,
                     std::optional<MapiMessage>& out) override {
        calls.push_back("ReadMail " + id + " " + std::to_string(flags));
        out = message;
        return Next("ReadMail");
    }
    int MAPISendMail(std::uint32_t, const MapiMessage& sent, std::uint32_t flags) override {
        calls.push_back("SendMail " + Opt(sent.Subject) + " " + std::to_string(sent.Flags) + " " +
                        std::to_string(flags));
        sentRecips = sent.Recips;
        sentFiles = sent.Files;
        sentText = sent.NoteText;
        return Next("SendMail");
    }
    int MAPIDeleteMail(std::uint32_t, const std::string& id) override {
        calls.push_back("DeleteMail " + id);
        return Next("DeleteMail");
    }
    int MAPIResolveName(std::uint32_t, const std::string& name, std::uint32_t flags,
                        MapiRecipient& recipient) override {
        calls.push_back("Resolve " + name + " " + std::to_string(flags));
        const int code = Next("Resolve");
        if (code == SUCCESS_SUCCESS) recipient.Name = names.contains(name) ? names[name] : name;
        return code;
    }
    int MAPIAddress(std::uint32_t, const std::string&, int fields, const std::string&,
                    const std::vector<MapiRecipient>& recipients,
                    std::vector<MapiRecipient>& chosen) override {
        calls.push_back("Address " + std::to_string(fields) + " " + std::to_string(recipients.size()));
        chosen = {{MAPI_CC, "Picked", {}}};
        return Next("Address");
    }
};

struct Rig {
    ScriptedBackend* backend;
    TEmail email;
    Rig() : Rig(std::make_unique<ScriptedBackend>()) {}
    explicit Rig(std::unique_ptr<ScriptedBackend> scripted)
        : backend(scripted.get()), email(std::make_shared<SimpleMapi>(std::move(scripted), "Default")) {}
};

// One behaviour per row: how the back end is scripted, what TEmail is asked,
// the result and the calls that must reach the back end, in order.
struct Case {
    const char* name;
    std::function<void(Rig&)> setUp;
    std::function<int(TEmail&)> act;
    int result;
    std::vector<std::string> calls;
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

const std::string kLongPath = "/no/such/" + std::string(300, 'p');

const Case kCases[] = {
    {"LogonWithProfileAndDownload",
     [](Rig& r) {
         r.email.Profile = "Internet";
         r.email.Password = "pw";
         r.email.DownLoadFirst = true;
     },
     [](TEmail& e) { return e.Logon(); },
     0,
     {"Logon Internet pw 4096"}},
    {"FailedLogonRetriesInteractivelyWithoutProfile",
     [](Rig& r) {
         r.email.Profile = "Nobody";
         r.backend->codes["Logon"] = {MAPI_E_LOGIN_FAILURE, MAPI_E_LOGIN_FAILURE};
     },
     [](TEmail& e) { return e.Logon(); },
     MAPI_E_LOGIN_FAILURE,
     {"Logon Nobody - 0", "Logon - - 1"}},
    {"UseDefProfileTakesTheDefault",
     [](Rig& r) { r.email.UseDefProfile = true; },
     [](TEmail& e) { return e.Logon() + (e.Profile == "Default" ? 0 : 100); },
     0,
     {"Logon Default - 0"}},
    {"LogoffFailureStillClosesTheSession",
     [](Rig& r) { r.backend->codes["Logoff"] = {MAPI_E_FAILURE}; },
     [](TEmail& e) {
         e.Logon();
         const int code = e.Logoff();
         return e.SessionHandle() == 0 ? code : -1;
     },
     MAPI_E_FAILURE,
     {"Logon - - 0", "Logoff 7"}},
    {"BorrowedSessionClosesAfterTheOperation",
     [](Rig& r) { r.backend->found = {"m1"}; },
     [](TEmail& e) { return e.FindNext() == "m1" && e.SessionHandle() == 0 ? 0 : -1; },
     0,
     {"Logon - - 0", "FindNext  0", "Logoff 7"}},
    {"OpenSessionIsKeptAndSeedsTheWalk",
     [](Rig& r) {
         r.email.Logon();
         r.email.MessageID = "m1";
         r.email.UnreadOnly = true;
         r.backend->found = {"m2"};
     },
     [](TEmail& e) { return e.FindNext() == "m2" && e.SessionHandle() == 7 ? 0 : -1; },
     0,
     {"Logon - - 0", "FindNext m1 32"}},
    {"FindNextAtTheEndEmptiesMessageID",
     [](Rig& r) { r.email.MessageID = "last"; },
     [](TEmail& e) { return e.FindNext().empty() && e.MessageID.empty() ? 0 : -1; },
     0,
     {"Logon - - 0", "FindNext last 0", "Logoff 7"}},
    {"FindNextWithoutSessionKeepsMessageID",
     [](Rig& r) {
         r.email.MessageID = "kept";
         r.backend->codes["Logon"] = {3, 3};
     },
     [](TEmail& e) { return e.FindNext().empty() && e.MessageID == "kept" ? 0 : -1; },
     0,
     {"Logon - - 0", "Logon - - 1"}},
    {"CountUnreadStopsWhenTheSeedComesBackAndLeavesMessageID",
     [](Rig& r) {
         r.email.MessageID = "mine";
         r.backend->found = {"a", "b", "b"};
     },
     [](TEmail& e) { return e.MessageID == "mine" ? e.CountUnread() : -1; },
     2,
     {"Logon - - 0", "FindNext  32", "FindNext a 32", "FindNext b 32", "Logoff 7"}},
    {"CountUnreadWithoutSessionIsZero",
     [](Rig& r) {
         r.backend->codes["Logon"] = {3, 3};
     },
     [](TEmail& e) { return e.CountUnread(); },
     0,
     {"Logon - - 0", "Logon - - 1"}},
    {"ReadMailWithoutMessageID",
     nullptr,
     [](TEmail& e) { return e.ReadMail(); },
     MAPI_E_INVALID_MESSAGE,
     {"Logon - - 0", "Logoff 7"}},
    {"DeleteMailWithoutMessageID",
     nullptr,
     [](TEmail& e) { return e.DeleteMail(); },
     MAPI_E_INVALID_MESSAGE,
     {"Logon - - 0", "Logoff 7"}},
    {"ReadMailFlags",
     [](Rig& r) {
         r.email.MessageID = "m";
         r.email.SuppressAttach = true;
         r.email.EnvelopeOnly = true;
         r.backend->message = MapiMessage{};
     },
     [](TEmail& e) { return e.ReadMail(); },
     0,
     {"Logon - - 0", "ReadMail m 2240", "Logoff 7"}},
    {"ReadMailSuccessWithoutRecordIsUserAbort",
     [](Rig& r) {
         r.email.MessageID = "m";
         r.email.LeaveUnread = false;
         r.email.Recipient = {"old"};
     },
     [](TEmail& e) { return e.ReadMail() + (e.Recipient.empty() ? 0 : 100); },
     MAPI_USER_ABORT,
     {"Logon - - 0", "ReadMail m 0", "Logoff 7"}},
    {"DeleteMailClearsMessageID",
     [](Rig& r) { r.email.MessageID = "m"; },
     [](TEmail& e) { return e.DeleteMail() + (e.MessageID.empty() ? 0 : 100); },
     0,
     {"Logon - - 0", "DeleteMail m", "Logoff 7"}},
    {"TooManyRecipients",
     [](Rig& r) { r.email.CC.assign(100001, "x"); },
     [](TEmail& e) { return e.SendMail(); },
     MAPI_E_TOO_MANY_RECIPIENTS,
     {}},
    {"TooManyFiles",
     [](Rig& r) { r.email.Attachment.assign(100001, "x"); },
     [](TEmail& e) { return e.SendMail(); },
     MAPI_E_TOO_MANY_FILES,
     {}},
    {"SendWithoutSession",
     [](Rig& r) {
         r.backend->codes["Logon"] = {3, 3};
     },
     [](TEmail& e) { return e.SendMail(); },
     MAPI_E_LOGIN_FAILURE,
     {"Logon - - 0", "Logon - - 1"}},
    {"MissingAttachmentSendsNothing",
     [](Rig& r) {
         r.email.Recipient = {"Bob"};
         r.email.Attachment = {"/etc/hostname", "/no/such/file"};
     },
     [](TEmail& e) { return e.SendMail(); },
     MAPI_E_ATTACHMENT_NOT_FOUND,
     {"Logon - - 0", "Resolve Bob 0", "Logoff 7"}},
    {"UnresolvedRecipientsAreLeftOutAndTheSecondTryMayAsk",
     [](Rig& r) {
         r.email.Recipient = {"", "Gone", "Two"};
         r.email.Bcc = {"bob"};
         r.email.Subject = "S";
         r.email.Acknowledge = true;
         r.backend->codes["Resolve"] = {MAPI_E_UNKNOWN_RECIPIENT, MAPI_E_FAILURE, MAPI_E_AMBIGUOUS_RECIPIENT,
                                        0};
         r.backend->names["bob"] = "Bob Brown";
     },
     [](TEmail& e) { return e.SendMail(); },
     0,
     {"Logon - - 0", "Resolve Gone 0", "Resolve Gone 8", "Resolve Two 0", "Resolve Two 8", "Resolve bob 0",
      "SendMail S 2 0", "Logoff 7"}},
    {"NobodyResolvedOpensTheSendDialog",
     [](Rig& r) {
         r.email.Recipient = {"Gone"};
         r.email.ShowDialog = false;
         r.backend->codes["Resolve"] = {MAPI_E_UNKNOWN_RECIPIENT, MAPI_USER_ABORT};
     },
     [](TEmail& e) { return e.SendMail(); },
     0,
     {"Logon - - 0", "Resolve Gone 0", "Resolve Gone 8", "SendMail - 0 8", "Logoff 7"}},
    {"ShowDialogSendsThroughTheDialog",
     [](Rig& r) {
         r.email.Recipient = {"Bob"};
         r.email.ShowDialog = true;
     },
     [](TEmail& e) { return e.SendMail(); },
     0,
     {"Logon - - 0", "Resolve Bob 0", "SendMail - 0 8", "Logoff 7"}},
    {"AddressBookRefillsTheLists",
     [](Rig& r) { r.email.Recipient = {"Bob"}; },
     [](TEmail& e) {
         const int code = e.AddressBook();
         return code + (e.Recipient.empty() && e.CC == std::vector<std::string>{"Picked"} ? 0 : 100);
     },
     0,
     {"Logon - - 0", "Resolve Bob 0", "Address 4 1", "Logoff 7"}},
};

class TEmailRules : public ::testing::TestWithParam<Case> {};

TEST_P(TEmailRules, ResultAndCalls) {
    const Case& c = GetParam();
    Rig rig;
    if (c.setUp) c.setUp(rig);
    rig.backend->calls.clear();
    if (rig.email.SessionHandle() != 0) rig.backend->calls.push_back("Logon - - 0");
    EXPECT_EQ(c.result, c.act(rig.email));
    EXPECT_EQ(c.calls, rig.backend->calls);
}

INSTANTIATE_TEST_SUITE_P(Table, TEmailRules, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TEmailTest, BorrowedSessionIsClosedWhenThePlatformRaises) {
    Rig rig;
    rig.backend->throwOnFindNext = true;
    EXPECT_THROW(rig.email.FindNext(), std::runtime_error);
    EXPECT_EQ(0u, rig.email.SessionHandle());
    EXPECT_EQ("Logoff 7", rig.backend->calls.back());
}

TEST(TEmailTest, SendsResolvedNamesCustomAddressesAndTheLongText) {
    Rig rig;
    TEmail& email = rig.email;
    email.Recipient = {"bob", "[SMTP:ann@example.com]"};
    email.CC = {"[MS:odd]"};
    email.Text = "short";
    email.SetLongText(std::string(1000, 'L'));
    email.Attachment = {"/etc/hostname", kLongPath};
    rig.backend->names = {
        {"bob", "Bob Brown"}, {"[SMTP:ann@example.com]", "ann@example.com"}, {"[MS:odd]", "[odd]"}};
    EXPECT_EQ(MAPI_E_ATTACHMENT_NOT_FOUND, email.SendMail());
    email.Attachment = {"/etc/hostname"};
    ASSERT_EQ(SUCCESS_SUCCESS, email.SendMail());

    const std::vector<MapiRecipient> expected = {{MAPI_TO, "Bob Brown", ""},
                                                 {MAPI_TO, "SMTP:ann@example.com", "SMTP:ann@example.com"},
                                                 {MAPI_CC, "[odd]", ""}};
    EXPECT_EQ(expected, rig.backend->sentRecips);
    EXPECT_EQ((std::vector<std::string>{"Bob Brown", "[SMTP:ann@example.com]"}), email.Recipient);
    EXPECT_EQ((std::vector<MapiFile>{{kNotInText, "/etc/hostname", ""}}), rig.backend->sentFiles);
    EXPECT_EQ(std::string(1000, 'L'), rig.backend->sentText.value_or(""));
    EXPECT_TRUE(email.Text.empty());
}

TEST(TEmailTest, ReadMailFillsThePropertiesAndSplitsTheNoteTextAt255) {
    for (const std::size_t length : {std::size_t{255}, std::size_t{256}}) {
        Rig rig;
        TEmail& email = rig.email;
        email.MessageID = "m";
        email.OrigAddress = "kept@x";
        email.SetLongText("stale");
        MapiMessage message;
        message.Subject = std::string(300, 's');
        message.NoteText = std::string(length, 'n');
        message.Flags = MAPI_UNREAD;
        message.Originator = MapiRecipient{MAPI_ORIG, "Ann", ""};
        message.Recips = {{MAPI_TO, "To1", ""}, {MAPI_CC, "Cc1", ""}, {MAPI_BCC, "Bcc1", ""}, {9, "Odd", ""}};
        message.Files = {{kNotInText, "/tmp/a1", "a.txt"}, {kNotInText, "/tmp/b2", ""}};
        rig.backend->message = message;
        ASSERT_EQ(SUCCESS_SUCCESS, email.ReadMail());
        EXPECT_EQ(255u, email.Subject.size());
        EXPECT_EQ(length == 255, email.GetLongText() == std::nullopt);
        EXPECT_EQ(length == 255 ? length : 0u, email.Text.size());
        EXPECT_TRUE(email.Unread);
        EXPECT_EQ("Ann", email.OrigName.str());
        EXPECT_EQ("kept@x", email.OrigAddress.str()) << "no address in the message: the old one stays";
        EXPECT_EQ((std::vector<std::string>{"To1"}), email.Recipient);
        EXPECT_EQ((std::vector<std::string>{"Cc1"}), email.CC);
        EXPECT_EQ((std::vector<std::string>{"Bcc1"}), email.Bcc);
        EXPECT_EQ((std::vector<std::string>{"a.txt", "/tmp/b2"}), email.Attachment);
        EXPECT_EQ((std::vector<std::string>{"/tmp/a1", "/tmp/b2"}), email.AttPathNames);
    }
}

TEST(TEmailTest, EveryOperationRaisesWhenThePostOfficeIsMissing) {
    test::TempDir work;
    for (const char* ini :
         {"", "[MAIL]\nMAPI=0\n", "[MAIL]\nMAPI=0x\n", "[MAIL]\nMAPI=yes\n", "[OTHER]\nMAPI=1\n"}) {
        if (*ini) test::WriteFileBytes(work / "MAPI.INI", ini);
        TEmail email(work.path());
        EXPECT_FALSE(email.MAPIavail()) << ini;
        const std::function<void()> operations[] = {
            [&] { email.Logon(); },       [&] { email.Logoff(); },     [&] { email.FindNext(); },
            [&] { email.CountUnread(); }, [&] { email.ReadMail(); },   [&] { email.SendMail(); },
            [&] { email.DeleteMail(); },  [&] { email.AddressBook(); }};
        for (const auto& operation : operations) {
            try {
                operation();
                ADD_FAILURE() << "no exception";
            } catch (const EMAPIunavailable& error) {
                EXPECT_STREQ("MAPI services are not available on this system", error.what());
            }
        }
    }
}

TEST(TEmailTest, SwitchNumbers) {
    for (const auto& [text, value] : std::vector<std::pair<std::string, long>>{
             {"1", 1}, {"0", 0}, {"0x10", 16}, {"0X1f", 31}, {"0x", 0}, {"12a", 0}, {"", 0}, {"-3", -3}}) {
        test::TempDir work;
        test::WriteFileBytes(work / "MAPI.INI", "; comment\n[mail]\n  mapi = " + text + "\n");
        EXPECT_EQ(value != 0, TEmail(work.path()).MAPIavail()) << text;
    }
}

}  // namespace
}  // namespace qlk
