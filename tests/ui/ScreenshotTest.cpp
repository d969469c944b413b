// Not a check: takes the README's pictures of the window after a real
// transfer. Run it under Xvfb with the X11 platform, from the source folder:
//   QT_QPA_PLATFORM=xcb QLK_SCREENSHOTS=docs xvfb-run -a -s "-screen 0 1280x960x24"
//   build/bin/qlk-tests-ui --gtest_also_run_disabled_tests --gtest_filter='Screenshot*'
#include <gtest/gtest.h>

#include <QApplication>
#include <QTabWidget>

#include <cstdlib>

#include "FakeDesktop.h"
#include "gateway/ConfigurationFile.h"
#include "gateway/UsersDatabase.h"
#include "mapi/PostOffice.h"
#include "support/Pop3MailboxServer.h"
#include "support/TempDir.h"
#include "ui/TfrmQLK.h"

namespace qlk::test {
namespace {

void Save(QWidget& window, const std::string& name) {
    window.show();
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_TRUE(window.grab().save(QString::fromLocal8Bit(std::getenv("QLK_SCREENSHOTS")) + "/" +
                                   QString::fromStdString(name) + ".png"));
}

TEST(Screenshot, DISABLED_MainWindowAfterARealTransfer) {
    ASSERT_NE(std::getenv("QLK_SCREENSHOTS"), nullptr) << "QLK_SCREENSHOTS names the folder for the pictures";
    EnsureApplication();
    const QFont normal = QApplication::font();
    for (const double scale : {1.0, 1.25}) {
        QFont font = normal;
        font.setPointSizeF(normal.pointSizeF() * scale);
        QApplication::setFont(font);
        TempDir work;
        Pop3MailboxServer pop;
        Settings settings;
        settings.LogDetailLevel = 2;
        settings.SMTPServer = "smtp.example.com:587";
        settings.AdminInternetAddress = "postmaster@example.com";
        settings.AdminMAPIName = "Ann Smith";
        WriteFileBytes(work / "QLK.CFG", ConfigurationFile::Format(settings));
        PostOffice office = PostOffice::Create(work.path());
        UsersDatabase users(work / "users.DB");
        users.Open();
        for (const std::string name : {"Ann Smith", "Bob Jones", "Carol White"}) {
            const std::string login = name.substr(0, name.find(' '));
            office.AddMailbox(name);
            users.Insert(
                {0, name, name, pop.Host(), login, "secret", login + "@example.com", true, false, ""});
            pop.AddUser(login, "secret");
            pop.AddMessage(login, "From: news@example.org\r\nSubject: Weekly figures\r\n\r\nSee them.\r\n");
        }
        FakeDesktop desktop;
        TfrmQLK window(desktop, work.path());
        window.btnGrabNowClick();
        const std::string suffix = scale == 1.0 ? "" : "-125";
        Save(window, "mainwindow" + suffix);
        window.mmoStatusMouseDown();
        Save(window, "mainwindow-folded" + suffix);
        window.findChild<QTabWidget*>("pgcMain")->setCurrentIndex(1);
        Save(window, "mailboxes" + suffix);
    }
    QApplication::setFont(normal);
}

}  // namespace
}  // namespace qlk::test
