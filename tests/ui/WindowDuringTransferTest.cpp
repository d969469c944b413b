// The window while transfers really run: the event loop turns inside every
// network wait, so the operator's clicks and the cycles interleave.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>

#include <algorithm>

#include "FakeDesktop.h"
#include "gateway/ConfigurationFile.h"
#include "gateway/UsersDatabase.h"
#include "mapi/PostOffice.h"
#include "platform/EventPump.h"
#include "support/Pop3MailboxServer.h"
#include "support/TempDir.h"
#include "ui/QtDesktop.h"
#include "ui/TfrmQLK.h"

namespace qlk::test {
namespace {

class WindowDuringTransferTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApplication();
        SetMessagePump([] { QCoreApplication::processEvents(); });
        WriteFileBytes(folder_ / "QLK.CFG", ConfigurationFile::Format(Settings{}));
        users_.Open();
    }
    void TearDown() override { SetMessagePump({}); }

    void AddUser(const std::string& name, const std::string& host) {
        users_.Insert({0, name, name, host, name, "secret", name + "@example.com", true, false, ""});
    }

    std::vector<std::string> StoredMailboxes() {
        std::vector<std::string> mailboxes;
        for (const UserRecord& row : users_.LoadAll()) mailboxes.push_back(row.mailbox);
        return mailboxes;
    }

    // Where each text was first logged; the number of lines for one never logged.
    static std::vector<std::size_t> LogPositions(TfrmQLK& window, const std::vector<std::string>& texts) {
        const auto& lines = window.Log().Lines();
        std::vector<std::size_t> positions;
        for (const std::string& text : texts)
            positions.push_back(
                std::find_if(lines.begin(), lines.end(),
                             [&](const LogLine& line) { return line.text.find(text) != std::string::npos; }) -
                lines.begin());
        return positions;
    }
    static bool Logged(TfrmQLK& window, const std::string& text) {
        return LogPositions(window, {text})[0] < window.Log().Lines().size();
    }

    TempDir folder_;
    UsersDatabase users_{folder_ / "users.DB"};
};

// The question stays open while a whole cycle runs, which walks the table's
// cursor to the last user; OK then deletes the user selected and named.
TEST_F(WindowDuringTransferTest, DeleteRemovesTheUserItNamesWhateverACycleDidWhileItAsked) {
    AddUser("Test User", "127.0.0.1:1");
    AddUser("Bob", "127.0.0.1:1");
    QtDesktop desktop;
    TfrmQLK window(desktop, folder_.path());
    window.show();
    window.findChild<QTableWidget*>("grdUsers")->selectRow(0);

    QString asked;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        watch.stop();
        asked = box->text();
        window.btnGrabNowClick();
        box->button(QMessageBox::Ok)->click();
    });
    watch.start(20);
    window.findChild<QPushButton*>("btnDeleteUser")->click();

    EXPECT_EQ(asked, "Are you sure you want to delete this user?\n\nTest User (Test User)");
    EXPECT_TRUE(Logged(window, "Beggining Mail Transfer"));
    EXPECT_EQ(StoredMailboxes(), std::vector<std::string>{"Bob"});
}

// Closing during a transfer lets it finish the message in hand and report;
// then the table is closed and the settings saved. Users cannot be changed
// under the running transfer.
TEST_F(WindowDuringTransferTest, WhileATransferRunsUserChangesAreRefusedAndClosingWaitsForIt) {
    Pop3MailboxServer pop;
    AddUser("Ann", pop.Host());
    pop.AddUser("Ann", "secret");
    for (const char* subject : {"First", "Second"})
        pop.AddMessage("Ann", std::string("From: bob@example.org\r\nSubject: ") + subject + "\r\n\r\nHi\r\n");
    PostOffice::Create(folder_.path()).AddMailbox("Ann");
    FakeDesktop desktop;
    TfrmQLK window(desktop, folder_.path());
    window.show();
    window.findChild<QTableWidget*>("grdUsers")->selectRow(0);
    bool finished = false, tableOpenDuringTransfer = false;
    QObject::connect(&window, &TfrmQLK::ShutDownFinished, [&] { finished = true; });

    // The operator acts while the first message is being fetched.
    SetMessagePump([&] {
        QCoreApplication::processEvents();
        if (tableOpenDuringTransfer || !Logged(window, "Downloading Message 1/2")) return;
        window.findChild<QPushButton*>("btnDeleteUser")->click();
        window.close();
        tableOpenDuringTransfer = window.Users().Table().Active();
    });
    window.btnGrabNowClick();
    SetMessagePump([] { QCoreApplication::processEvents(); });
    QElapsedTimer waited;
    waited.start();
    while (!finished && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);

    EXPECT_TRUE(tableOpenDuringTransfer);
    EXPECT_TRUE(finished);
    EXPECT_EQ(desktop.errors, std::vector<QString>{UserDirectory::kBusyRefusal});
    EXPECT_EQ(StoredMailboxes(), std::vector<std::string>{"Ann"});
    EXPECT_EQ(pop.Messages("Ann").size(), 1u) << "the second message waits for the next start";
    EXPECT_EQ(PostOffice::Open(folder_.path())->CountMessages("Ann").Total, 1);
    const auto order = LogPositions(window, {"Shutting down once the transfer has finished",
                                             "Finished Mail Transfer", "Closing User Database"});
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end()) && order.back() < window.Log().Lines().size());
    EXPECT_EQ(window.Log().ErrorCount, 0);
}

// A post office set up from the Mailboxes page after the gateway started is
// the one the next transfer delivers into.
TEST_F(WindowDuringTransferTest, APostOfficeSetUpFromTheWindowIsUsedByTheNextTransfer) {
    Pop3MailboxServer pop;
    AddUser("Ann", pop.Host());
    pop.AddUser("Ann", "secret");
    pop.AddMessage("Ann", "From: bob@example.org\r\nTo: Ann@example.com\r\nSubject: Figures\r\n\r\nHi\r\n");
    FakeDesktop desktop;
    TfrmQLK window(desktop, folder_.path());
    window.btnGrabNowClick();
    EXPECT_TRUE(
        Logged(window, std::string("Error Sending Mail : MAPI services are not available on this system. ") +
                           Gateway::PostOfficeAdvice));
    EXPECT_EQ(pop.Messages("Ann").size(), 1u);

    desktop.whileModal = [](QDialog& dialog) {
        dialog.findChild<QLineEdit*>("edtName")->setText("Ann");
        dialog.findChild<QPushButton*>("btnAdd")->click();
    };
    window.findChild<QPushButton*>("btnPostAdmin")->click();
    window.btnGrabNowClick();

    EXPECT_TRUE(Logged(window, "MAPI.INI has changed: using the post office it names"));
    EXPECT_TRUE(pop.Messages("Ann").empty());
    EXPECT_EQ(PostOffice::Open(folder_.path())->CountMessages("Ann").Total, 1);
}

}  // namespace
}  // namespace qlk::test
