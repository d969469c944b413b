// The post office for real: TEmail over the Maildir back end in scratch
// folders.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "mapi/MapiCodes.h"
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

    TempDir work;
};

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

}  // namespace
}  // namespace qlk
