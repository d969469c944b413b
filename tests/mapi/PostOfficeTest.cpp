// The post office for real: TEmail over the Maildir back end in scratch
// folders.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <thread>

#include "mapi/MaildirBackend.h"
#include "mapi/MapiCodes.h"
#include "mapi/MapiIni.h"
#include "mapi/PostOffice.h"
#include "mapi/TEmail.h"
#include "support/TempDir.h"

namespace qlk {
namespace {

using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

class PostOfficeTest : public ::testing::Test {
protected:
    void SetUp() override {
        PostOffice office = PostOffice::Create(work.path());
        office.AddMailbox("Alice Smith");
        office.AddMailbox("Bob");
        office.AddMailbox("Carol", "secret");
    }

    // A session on one mailbox.
    std::unique_ptr<TEmail> As(const std::string& mailbox, const std::string& password = "") {
        auto email = std::make_unique<TEmail>(work.path());
        email->Profile = mailbox;
        email->Password = password;
        return email;
    }

    std::filesystem::path Mailbox(const std::string& name) const { return work / "postoffice" / name; }

    int FilesIn(const std::string& mailbox, const char* sub) const {
        int count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(Mailbox(mailbox) / sub)) {
            count += entry.path().filename().string().front() != '.';
        }
        return count;
    }

    // Bob sends `count` short messages to `to`.
    void Send(const std::string& to, int count, const std::string& subject = "note") {
        auto bob = As("Bob");
        ASSERT_EQ(SUCCESS_SUCCESS, bob->Logon());
        for (int i = 0; i < count; ++i) {
            bob->Recipient = {to};
            bob->Subject = subject + " " + std::to_string(i);
            ASSERT_EQ(SUCCESS_SUCCESS, bob->SendMail());
        }
    }

    TempDir work;
};

std::string Hex(std::string_view bytes) {
    std::string text;
    char pair[3];
    for (unsigned char c : bytes) {
        std::snprintf(pair, sizeof pair, "%02x", c);
        text += pair;
    }
    return text;
}

std::string RunPython(const std::filesystem::path& maildir) {
    const std::string command = "/usr/bin/python3 " +
                                test::SourcePath("tests/mapi/maildir_read.py").string() + " '" +
                                maildir.string() + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return "cannot run python3";
    std::string output;
    char buffer[4096];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
    ::pclose(pipe);
    return output;
}

struct StoredFile {
    std::string name;
    std::string data;
    std::string charset = "-";  // what a MIME reader is told, "-" for nothing
};

// What a MIME reader must find in one stored message.
struct Stored {
    std::string sender;
    std::string subject;
    std::string text;      // as sent
    std::string readBack;  // the note text as read back: CR LF line breaks, no final one
    std::vector<StoredFile> files;
};

std::string Repeated(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += text;
    return out;
}

TEST_F(PostOfficeTest, DeliversToEveryRecipientAndReadsBackWhatWasSent) {
    WriteFileBytes(work / "report.pdf", std::string("%PDF\0\x01\xff\r\n\n", 10));
    auto bob = As("Bob");
    bob->Recipient = {"Alice"};
    bob->CC = {"carol"};
    bob->Subject = "Quarterly figures";
    bob->SetLongText(std::string(300, 'x') + "\r\n\xe9t\xe9");
    bob->Attachment = {(work / "report.pdf").string()};
    ASSERT_EQ(SUCCESS_SUCCESS, bob->SendMail());
    EXPECT_EQ(0u, bob->SessionHandle());

    for (const auto& [name, password] : {std::pair{"Alice Smith", ""}, std::pair{"Carol", "secret"}}) {
        auto reader = As(name, password);
        ASSERT_EQ(SUCCESS_SUCCESS, reader->Logon());
        EXPECT_EQ(1, reader->CountUnread());
        const std::string id = reader->FindNext();
        ASSERT_FALSE(id.empty());
        ASSERT_EQ(SUCCESS_SUCCESS, reader->ReadMail());
        EXPECT_EQ("Bob", reader->OrigName.str());
        EXPECT_EQ("Quarterly figures", reader->Subject.str());
        ASSERT_TRUE(reader->GetLongText());
        EXPECT_EQ(std::string(300, 'x') + "\r\n\xe9t\xe9", *reader->GetLongText());
        EXPECT_EQ(std::vector<std::string>{"Alice Smith"}, reader->Recipient);
        EXPECT_EQ(std::vector<std::string>{"Carol"}, reader->CC);
        ASSERT_EQ(1u, reader->AttPathNames.size());
        EXPECT_EQ("report.pdf", reader->Attachment.at(0));
        EXPECT_EQ(ReadFileBytes(work / "report.pdf"), ReadFileBytes(reader->AttPathNames[0]));
        struct stat info {};
        ASSERT_EQ(0, ::stat(reader->AttPathNames[0].c_str(), &info));
        EXPECT_EQ(0600u, info.st_mode & 0777);
        std::filesystem::remove(reader->AttPathNames[0]);
        EXPECT_TRUE(reader->Unread);
        EXPECT_EQ(1, reader->CountUnread()) << "a peek leaves the message unread";
        EXPECT_EQ("", reader->FindNext());
        ASSERT_EQ(id, reader->FindNext());
        ASSERT_EQ(SUCCESS_SUCCESS, reader->DeleteMail());
        EXPECT_EQ("", reader->FindNext());
    }
}

TEST_F(PostOfficeTest, EveryReaderGetsTheSameBytesBack) {
    std::string everyByte;
    for (int c = 0; c < 256; ++c) everyByte += static_cast<char>(c);
    const std::string longLine(300, 'w');
    const std::vector<Stored> messages = {
        {"Bob", "Plain words", "Dear Alice,\r\n\r\nsee you.\r\n", "Dear Alice,\r\n\r\nsee you.", {}},
        {"Pat \"PJ\" O'Neil, Sales",
         "Caf\xc3\xa9 \xc3\xa9t\xc3\xa9",
         "na\xc3\xafve\tline\nlone LF\rlone CR\r\n" + longLine + "\r\nFrom here\r\n.\r\n--x",
         "na\xc3\xafve\tline\r\nlone LF\r\nlone CR\r\n" + longLine + "\r\nFrom here\r\n.\r\n--x",
         {{"all bytes.bin", everyByte}, {"unix.txt", "a\nb\n"}, {"dos.txt", "a\r\nb\r\n"}}},
        {"Bob", "", "", "", {{"only.pdf", "%PDF-1.4\n"}, {"empty.dat", ""}}},
        // A name with specials and non-ASCII, a file name as long as Gmail
        // sends (in a path longer than 255 bytes), one that looks like an
        // encoded word, UTF-8 text.
        {"M\xc3\xbcller, Hans",
         "\xd0\x96\xd0\x96",
         "Gr\xc3\xbc\xc3\x9f"
         "e",
         "Gr\xc3\xbc\xc3\x9f"
         "e",
         {{Repeated("\xd0\xaf", 119) + ".docx", "PK"},
          {"=?UTF-8?B?Zm9v?=.txt", "not foo"},
          {"r\xc3\xa9sum\xc3\xa9.txt", "caf\xc3\xa9\n", "utf-8"}}},
    };
    PostOffice(work / "postoffice").AddMailbox(messages[1].sender);
    PostOffice(work / "postoffice").AddMailbox(messages[3].sender);
    std::string expected;
    for (std::size_t i = 0; i < messages.size(); ++i) {
        const Stored& m = messages[i];
        auto bob = As(m.sender);
        bob->Recipient = {"Alice Smith"};
        bob->Subject = m.subject;
        bob->SetLongText(m.text);
        bob->Attachment.clear();
        for (const StoredFile& f : m.files) {
            const std::filesystem::path file = work / ("in" + std::to_string(i)) / f.name;
            std::filesystem::create_directories(file.parent_path());
            WriteFileBytes(file, f.data);
            bob->Attachment.push_back(file.string());
        }
        ASSERT_EQ(SUCCESS_SUCCESS, bob->SendMail()) << i;
        // The gateway's two-step delivery composes into the first staged
        // file and copies it for the next mailbox: the same bytes again.
        bob->Recipient = {"Carol", "Bob"};
        StagedMail staged;
        const std::string key = "key" + std::to_string(i);
        ASSERT_EQ(SUCCESS_SUCCESS, bob->StageMail(key, staged)) << i;
        for (std::size_t copy = 0; copy < staged.Mailboxes.size(); ++copy)
            ASSERT_EQ(SUCCESS_SUCCESS, bob->CommitStaged(key, copy, staged.Mailboxes[copy], staged.UniqueName));
        // Maildir files end their lines with LF alone, as Python reads them too.
        std::string body = m.readBack.empty() ? "" : m.readBack + "\r\n";
        for (std::size_t at; (at = body.find("\r\n")) != std::string::npos;) body.erase(at, 1);
        expected += "message new -\nsubject " + Hex(m.subject) + "\nfrom " + Hex(m.sender) + "\nbody " +
                    Hex(body) + "\n";
        for (const StoredFile& f : m.files)
            expected += "file " + Hex(f.name) + " " + Hex(f.data) + " " + f.charset + "\n";
    }
    EXPECT_EQ(expected, RunPython(Mailbox("Alice Smith")));
    EXPECT_EQ(expected, RunPython(Mailbox("Carol")));
    EXPECT_EQ(expected, RunPython(Mailbox("Bob")));

    auto alice = As("Alice Smith");
    alice->LeaveUnread = false;
    ASSERT_EQ(SUCCESS_SUCCESS, alice->Logon());
    for (const Stored& m : messages) {
        ASSERT_FALSE(alice->FindNext().empty());
        ASSERT_EQ(SUCCESS_SUCCESS, alice->ReadMail());
        EXPECT_EQ(m.subject, alice->Subject.str());
        EXPECT_EQ(m.sender, alice->OrigName.str());
        EXPECT_EQ(m.readBack, alice->GetLongText().value_or(alice->Text.str()));
        ASSERT_EQ(m.files.size(), alice->AttPathNames.size());
        for (std::size_t f = 0; f < m.files.size(); ++f) {
            EXPECT_EQ(m.files[f].name, alice->Attachment[f]);
            EXPECT_EQ(m.files[f].data, ReadFileBytes(alice->AttPathNames[f]));
            std::filesystem::remove(alice->AttPathNames[f]);
        }
    }
    EXPECT_EQ(0, alice->CountUnread()) << "reading without a peek marks the message seen";
    EXPECT_EQ(0, FilesIn("Alice Smith", "new"));
    EXPECT_NE(std::string::npos, RunPython(Mailbox("Alice Smith")).find("message cur S\n"));
}

TEST_F(PostOfficeTest, NamesResolveExactlyThenByAUniquePrefix) {
    PostOffice(work / "postoffice").AddMailbox("Carl");
    MaildirBackend backend(work / "postoffice", "Internet");
    std::uint32_t session = 0;
    ASSERT_EQ(SUCCESS_SUCCESS, backend.MAPILogon("bob", std::nullopt, 0, session));
    const std::vector<std::tuple<std::string, std::uint32_t, int, std::string>> cases = {
        {"BOB", 0, SUCCESS_SUCCESS, "Bob"},
        {"alice", 0, SUCCESS_SUCCESS, "Alice Smith"},
        {"Car", 0, MAPI_E_AMBIGUOUS_RECIPIENT, ""},
        {"Car", MAPI_DIALOG, MAPI_USER_ABORT, ""},
        {"Carl", 0, SUCCESS_SUCCESS, "Carl"},
        {"Zed", 0, MAPI_E_UNKNOWN_RECIPIENT, ""},
        {"", 0, MAPI_E_UNKNOWN_RECIPIENT, ""},
        {"[SMTP:carol]", 0, SUCCESS_SUCCESS, "Carol"},
        {"[SMTP:ann@example.com]", 0, MAPI_E_UNKNOWN_RECIPIENT, ""},
        {"../Bob", 0, MAPI_E_UNKNOWN_RECIPIENT, ""},
    };
    for (const auto& [name, flags, code, resolved] : cases) {
        MapiRecipient recipient;
        EXPECT_EQ(code, backend.MAPIResolveName(session, name, flags, recipient)) << name;
        if (code == SUCCESS_SUCCESS) {
            EXPECT_EQ(resolved, recipient.Name) << name;
        }
    }

    MapiMessage message;
    message.Recips = {{MAPI_TO, "Bob", ""}, {MAPI_CC, "Nobody", ""}};
    EXPECT_EQ(MAPI_E_UNKNOWN_RECIPIENT, backend.MAPISendMail(session, message, 0));
    message.Recips = {{MAPI_TO, "Bob", ""}, {MAPI_BCC, "SMTP:carol", "SMTP:carol"}, {MAPI_CC, "bob", ""}};
    EXPECT_EQ(MAPI_USER_ABORT, backend.MAPISendMail(session, message, MAPI_DIALOG));
    EXPECT_EQ(0, FilesIn("Bob", "new") + FilesIn("Carol", "new"));
    EXPECT_EQ(SUCCESS_SUCCESS, backend.MAPISendMail(session, message, 0));
    EXPECT_EQ(1, FilesIn("Bob", "new")) << "one copy per mailbox";
    EXPECT_EQ(1, FilesIn("Carol", "new"));
    std::vector<MapiRecipient> chosen;
    EXPECT_EQ(MAPI_USER_ABORT, backend.MAPIAddress(session, "", 4, "", {}, chosen));
}

TEST_F(PostOfficeTest, PasswordsAndFileModes) {
    MaildirBackend backend(work / "postoffice", "Internet");
    std::uint32_t session = 0;
    EXPECT_EQ(MAPI_E_LOGIN_FAILURE, backend.MAPILogon("Carol", "wrong", 0, session));
    EXPECT_EQ(MAPI_E_LOGIN_FAILURE, backend.MAPILogon("Carol", std::nullopt, 0, session));
    EXPECT_EQ(MAPI_E_LOGIN_FAILURE, backend.MAPILogon("Nobody", std::nullopt, 0, session));
    EXPECT_EQ(MAPI_E_LOGIN_FAILURE, backend.MAPILogon(std::nullopt, std::nullopt, 0, session));
    EXPECT_EQ(SUCCESS_SUCCESS, backend.MAPILogon("carol", "secret", 0, session));
    EXPECT_EQ(SUCCESS_SUCCESS, backend.MAPILogon(std::nullopt, std::nullopt, MAPI_LOGON_UI, session))
        << "no operator to ask: the default profile";
    EXPECT_EQ(MAPI_E_INVALID_SESSION, backend.MAPILogoff(session + 100));

    for (const std::filesystem::path& file : {work / "MAPI.INI", Mailbox("Carol") / ".password"}) {
        struct stat info {};
        ASSERT_EQ(0, ::stat(file.c_str(), &info)) << file;
        EXPECT_EQ(0600u, info.st_mode & 0777) << file;
    }
    MapiIni ini = *MapiIni::Read(work.path());
    ini.DefaultProfile = "Carol";
    ini.Write(work.path());
    auto carol = As("Carol", "wrong");
    EXPECT_EQ(MAPI_E_LOGIN_FAILURE, carol->Logon()) << "the retry opens the default profile, here Carol";
}

TEST_F(PostOfficeTest, HostileIdentifiersNeverReachTheFileSystem) {
    Send("Carol", 1);
    auto carol = As("Carol", "secret");
    const std::string carolsId = carol->FindNext();
    ASSERT_FALSE(carolsId.empty());
    Send("Alice Smith", 1);
    auto alice = As("Alice Smith");
    for (const std::string& id :
         std::vector<std::string>{carolsId, "../Carol/new/" + carolsId, "/etc/passwd", "..", ".", "a/b",
                                  carolsId + ":2,S", "new", std::string("x\0y", 3), std::string(300, 'a')}) {
        alice->MessageID = id;
        EXPECT_EQ(MAPI_E_INVALID_MESSAGE, alice->ReadMail()) << id;
        alice->MessageID = id;
        EXPECT_EQ(MAPI_E_INVALID_MESSAGE, alice->DeleteMail()) << id;
        alice->MessageID = id;
        EXPECT_EQ("", alice->FindNext()) << id;
    }
    EXPECT_EQ(1, FilesIn("Carol", "new"));
    EXPECT_EQ(1, FilesIn("Alice Smith", "new"));
}

TEST_F(PostOfficeTest, DeletingWhatAnotherProcessMovedOrDeleted) {
    Send("Alice Smith", 2);
    auto first = As("Alice Smith");
    auto second = As("Alice Smith");
    second->LeaveUnread = false;
    ASSERT_EQ(SUCCESS_SUCCESS, first->Logon());
    ASSERT_EQ(SUCCESS_SUCCESS, second->Logon());
    const std::string id = first->FindNext();
    second->MessageID = id;
    ASSERT_EQ(SUCCESS_SUCCESS, second->ReadMail()) << "moves the message into cur/";
    ASSERT_EQ(SUCCESS_SUCCESS, first->DeleteMail()) << "found where it went";
    second->MessageID = id;
    EXPECT_EQ(MAPI_E_INVALID_MESSAGE, second->DeleteMail());
    EXPECT_EQ(MAPI_E_INVALID_MESSAGE, second->ReadMail());
    EXPECT_EQ(1, FilesIn("Alice Smith", "new") + FilesIn("Alice Smith", "cur"));

    // Dovecot flags a message seen where it lies ("doveadm flags add").
    for (const auto& entry : std::filesystem::directory_iterator(Mailbox("Alice Smith") / "new"))
        std::filesystem::rename(entry.path(), entry.path().string() + ":2,FS");
    EXPECT_EQ(0, first->CountUnread());
    ASSERT_FALSE(first->FindNext().empty());
    ASSERT_EQ(SUCCESS_SUCCESS, first->ReadMail());
    EXPECT_FALSE(first->Unread);
}

TEST_F(PostOfficeTest, WalkIsStableWhileAnotherProcessDelivers) {
    constexpr int kBefore = 50, kDuring = 150;
    Send("Alice Smith", kBefore);
    auto alice = As("Alice Smith");
    ASSERT_EQ(SUCCESS_SUCCESS, alice->Logon());
    const pid_t child = ::fork();
    ASSERT_NE(-1, child);
    if (child == 0) {
        auto bob = As("Bob");
        bob->Recipient = {"Alice Smith"};
        int failures = 0;
        for (int i = 0; i < kDuring; ++i) failures += bob->SendMail() != SUCCESS_SUCCESS;
        ::_exit(failures == 0 ? 0 : 1);
    }
    std::vector<std::string> walked;
    std::string last;
    bool childDone = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        alice->MessageID = last;
        const std::string id = alice->FindNext();
        if (!id.empty()) {
            walked.push_back(last = id);
            continue;
        }
        if (childDone) break;  // the end, after the last delivery
        int status = 0;
        childDone = ::waitpid(child, &status, WNOHANG) == child;
        if (childDone) {
            EXPECT_EQ(0, status);
        }
        if (!childDone) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (!childDone) ::kill(child, SIGKILL), ::waitpid(child, nullptr, 0);
    EXPECT_EQ(std::size_t{kBefore + kDuring}, walked.size());
    EXPECT_EQ(walked.size(), std::set<std::string>(walked.begin(), walked.end()).size()) << "none twice";
    EXPECT_EQ(kBefore + kDuring, alice->CountUnread());
}

TEST_F(PostOfficeTest, DeliveryKilledHalfWayLeavesNoVisibleMessage) {
    const std::filesystem::path big = work / "big.bin";
    WriteFileBytes(big, std::string(40 << 20, 'b'));
    const pid_t child = ::fork();
    ASSERT_NE(-1, child);
    if (child == 0) {
        auto bob = As("Bob");
        bob->Recipient = {"Alice Smith", "Carol", "Bob"};
        bob->Attachment = {big.string()};
        ::_exit(bob->SendMail());
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    bool writing = false;
    while (!writing && std::chrono::steady_clock::now() < deadline) {
        for (const char* box : {"Alice Smith", "Carol", "Bob"}) {
            for (const auto& entry : std::filesystem::directory_iterator(Mailbox(box) / "tmp"))
                writing = writing || entry.file_size() > 0;
        }
        if (!writing) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(writing);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the delivery finished before the kill";
    for (const char* box : {"Alice Smith", "Carol", "Bob"}) {
        EXPECT_EQ(0, FilesIn(box, "new") + FilesIn(box, "cur")) << box;
        EXPECT_EQ(0, As(box, box == std::string("Carol") ? "secret" : "")->CountUnread()) << box;
    }
    // What the killed delivery left under tmp/ goes once it is old.
    std::size_t left = 0;
    for (const auto& entry : std::filesystem::directory_iterator(Mailbox("Alice Smith") / "tmp")) {
        std::filesystem::last_write_time(
            entry.path(), std::filesystem::file_time_type::clock::now() - std::chrono::hours(37));
        ++left;
    }
    EXPECT_EQ(1u, left);
    As("Alice Smith")->CountUnread();
    EXPECT_TRUE(std::filesystem::is_empty(Mailbox("Alice Smith") / "tmp"));
}

TEST_F(PostOfficeTest, NoteTextOfOneVeryLongLineIsDelivered) {
    auto bob = As("Bob");
    bob->Recipient = {"Bob"};
    bob->SetLongText(std::string(100000, 'z'));
    ASSERT_EQ(SUCCESS_SUCCESS, bob->SendMail());
    bob->FindNext();
    ASSERT_EQ(SUCCESS_SUCCESS, bob->ReadMail());
    std::string text = bob->GetLongText().value_or("");
    std::erase(text, '\r');
    std::erase(text, '\n');
    EXPECT_EQ(std::string(100000, 'z'), text) << "cut into lines the coder takes, no byte lost";
}

}  // namespace
}  // namespace qlk
