// The window while transfers really run: the event loop turns inside every
// network wait, so the operator's clicks and the timer's cycles interleave.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "FakeDesktop.h"
#include "gateway/ConfigurationFile.h"
#include "gateway/UserDirectory.h"
#include "gateway/UsersDatabase.h"
#include "platform/EventPump.h"
#include "support/Pop3MailboxServer.h"
#include "mapi/PostOffice.h"
#include "support/TempDir.h"
#include "ui/QtDesktop.h"
#include "ui/TfrmQLK.h"
#include "ui/TfrmPostOffice.h"

namespace qlk::test {
namespace {

using namespace std::chrono_literals;

class WindowDuringTransferTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApplication();
        SetMessagePump([] { QCoreApplication::processEvents(); });
        WriteFileBytes(folder_ / "QLK.CFG", ConfigurationFile::Format(Settings{}));
    }
    void TearDown() override { SetMessagePump({}); }

    void AddUser(const std::string& name, const std::string& host) {
        UsersDatabase users(folder_ / "users.DB");
        users.Open();
        users.Insert({0, name, name, host, name, "secret", name + "@example.com", true, false, ""});
    }

    std::vector<std::string> StoredMailboxes() {
        UsersDatabase users(folder_ / "users.DB");
        users.Open();
        std::vector<std::string> mailboxes;
        for (const UserRecord& row : users.LoadAll()) mailboxes.push_back(row.mailbox);
        return mailboxes;
    }

    // Turns the event loop until DONE, for five seconds at most.
    static void RunEventsUntil(const bool& done) {
        QElapsedTimer waited;
        waited.start();
        while (!done && waited.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }

    // Where TEXT was first logged; the end when it never was.
    static std::size_t LogPosition(TfrmQLK& window, const std::string& text) {
        const auto& lines = window.Log().Lines();
        return std::find_if(lines.begin(), lines.end(),
                            [&](const LogLine& line) { return line.text.find(text) != std::string::npos; }) -
               lines.begin();
    }

    TempDir folder_;
};

// The question stays open while the timer runs a whole cycle, which walks
// the table's cursor to the last user; OK then deletes the user that was
// selected and named, nobody else.
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
        if (!box || !box->text().startsWith(UserDirectory::kDeleteQuestion)) return;
        watch.stop();
        asked = box->text();
        window.btnGrabNowClick();
        box->button(QMessageBox::Ok)->click();
    });
    watch.start(20);
    window.findChild<QPushButton*>("btnDeleteUser")->click();

    EXPECT_TRUE(asked.contains("Test User")) << asked.toStdString();
    EXPECT_LT(LogPosition(window, "Beggining Mail Transfer"), window.Log().Lines().size());
    EXPECT_EQ(StoredMailboxes(), std::vector<std::string>{"Bob"});
}

// A close asked for during a transfer lets it finish the message in hand
// and report; then the table is closed and the settings saved. Users cannot
// be changed under the running transfer.
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
    bool finished = false;
    QObject::connect(&window, &TfrmQLK::ShutDownFinished, [&] { finished = true; });

    // The operator acts while the first message is being fetched.
    bool acted = false, tableOpenDuringTransfer = false;
    SetMessagePump([&] {
        QCoreApplication::processEvents();
        if (acted || LogPosition(window, "Downloading Message 1/2") == window.Log().Lines().size()) return;
        acted = true;
        window.findChild<QPushButton*>("btnDeleteUser")->click();
        window.close();
        tableOpenDuringTransfer = window.Users().Table().Active();
    });
    window.btnGrabNowClick();
    SetMessagePump([] { QCoreApplication::processEvents(); });
    RunEventsUntil(finished);

    EXPECT_TRUE(acted && tableOpenDuringTransfer);
    EXPECT_TRUE(finished);
    EXPECT_EQ(desktop.errors, std::vector<QString>{UserDirectory::kBusyRefusal});
    EXPECT_EQ(StoredMailboxes(), std::vector<std::string>{"Ann"});
    EXPECT_EQ(pop.Messages("Ann").size(), 1u) << "the second message waits for the next start";
    EXPECT_EQ(PostOffice::Open(folder_.path())->CountMessages("Ann").Total, 1);
    const std::size_t asked = LogPosition(window, "Shutting down once the transfer has finished");
    const std::size_t reported = LogPosition(window, "Finished Mail Transfer");
    const std::size_t closed = LogPosition(window, "Closing User Database");
    EXPECT_LT(asked, reported);
    EXPECT_LT(reported, closed);
    EXPECT_LT(closed, window.Log().Lines().size());
    EXPECT_EQ(window.Log().ErrorCount, 0);
    EXPECT_TRUE(std::filesystem::exists(folder_ / "QLK.CFG"));
}

// A post office set up from the Mailboxes page after the gateway started is
// the one the next transfer delivers into.
TEST_F(WindowDuringTransferTest, APostOfficeSetUpFromTheWindowIsUsedByTheNextTransfer) {
    Pop3MailboxServer pop;
    AddUser("Ann", pop.Host());
    pop.AddUser("Ann", "secret");
    pop.AddMessage("Ann", "From: bob@example.org\r\nTo: Ann@example.com\r\nSubject: Figures\r\n\r\nHello\r\n");
    FakeDesktop desktop;
    TfrmQLK window(desktop, folder_.path());
    window.btnGrabNowClick();
    EXPECT_LT(LogPosition(window, std::string("Error Sending Mail : MAPI services are not available on this "
                                              "system. ") +
                                      Gateway::PostOfficeAdvice),
              window.Log().Lines().size());
    EXPECT_EQ(pop.Messages("Ann").size(), 1u);

    desktop.whileModal = [](QDialog& dialog) {
        dialog.findChild<QLineEdit*>("edtName")->setText("Ann");
        dialog.findChild<QPushButton*>("btnAdd")->click();
    };
    window.findChild<QPushButton*>("btnPostAdmin")->click();
    window.btnGrabNowClick();

    EXPECT_LT(LogPosition(window, "MAPI.INI has changed: using the post office it names"),
              window.Log().Lines().size());
    EXPECT_TRUE(pop.Messages("Ann").empty());
    const auto delivered = std::filesystem::directory_iterator(folder_ / "postoffice" / "Ann" / "new");
    EXPECT_EQ(std::distance(delivered, std::filesystem::directory_iterator()), 1);
}

}  // namespace
}  // namespace qlk::test
