#include "ui/SupportDraft.h"

#include <gtest/gtest.h>

#include <QFileInfo>

#include <filesystem>

#include "support/TempDir.h"

namespace qlk::test {
namespace {

QByteArray HeaderBlock(const QByteArray& message) {
    return message.left(message.indexOf("\r\n\r\n") + 2);
}

// The base64 body of the part whose headers name FILENAME.
QByteArray AttachmentOf(const QByteArray& message, const QByteArray& fileName) {
    const qsizetype named = message.indexOf("filename=\"" + fileName + "\"");
    if (named < 0) return {};
    const qsizetype body = message.indexOf("\r\n\r\n", named) + 4;
    const qsizetype end = message.indexOf("\r\n--", body);
    return QByteArray::fromBase64(message.mid(body, end - body).replace("\r\n", ""));
}

TEST(SupportDraftTest, OperatorTextCannotAddHeaderLines) {
    SupportDraft draft;
    draft.From = "me@example.com\r\nBcc: victim@example.com";
    draft.To = "support@example.com\nX-Evil: 1";
    const QByteArray headers = HeaderBlock(draft.Build());
    EXPECT_FALSE(headers.contains("\r\nBcc:"));
    EXPECT_FALSE(headers.contains("\r\nX-Evil:"));
    EXPECT_TRUE(headers.contains("From: me@example.com  Bcc: victim@example.com\r\n"));
    EXPECT_TRUE(headers.contains("X-Unsent: 1\r\n"));
}

TEST(SupportDraftTest, AttachesFilesAndNamesThoseItCannot) {
    TempDir folder;
    const std::string config("line one\r\nline two\r\n\0binary\xff", 29);
    WriteFileBytes(folder / "QLK.CFG", config);
    SupportDraft draft;
    draft.Text = "It stopped.";
    // A log file name from QLK.CFG may name a device that never ends.
    draft.AttachmentPaths = {QString::fromStdString((folder / "QLK.CFG").string()),
                             QString::fromStdString((folder / "users.DB").string()), "/dev/zero"};
    const QByteArray message = draft.Build();
    EXPECT_EQ(AttachmentOf(message, "QLK.CFG"),
              QByteArray(config.data(), static_cast<qsizetype>(config.size())));
    EXPECT_TRUE(AttachmentOf(message, "users.DB").isEmpty());
    const QByteArray firstPart = message.mid(message.indexOf("base64\r\n\r\n") + 10);
    const QByteArray text =
        QByteArray::fromBase64(firstPart.left(firstPart.indexOf("\r\n--")).replace("\r\n", ""));
    EXPECT_TRUE(text.startsWith("It stopped."));
    EXPECT_TRUE(text.contains("users.DB could not be read"));
    EXPECT_TRUE(text.contains("/dev/zero could not be read"));
    for (const QByteArray& line : message.split('\n')) EXPECT_LE(line.size(), 78);
}

TEST(SupportDraftTest, SavedDraftIsReadableByTheOwnerOnly) {
    TempDir folder;
    SupportDraft draft;
    const QString path = QString::fromStdString((folder / "QLKSUPPORT.EML").string());
    ASSERT_TRUE(draft.Save(path));
    const auto perms = std::filesystem::status(folder / "QLKSUPPORT.EML").permissions();
    EXPECT_EQ(perms & (std::filesystem::perms::group_all | std::filesystem::perms::others_all),
              std::filesystem::perms::none);
    EXPECT_FALSE(draft.Save(QString::fromStdString((folder / "missing" / "x.eml").string())));
}

}  // namespace
}  // namespace qlk::test
