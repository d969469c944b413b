// Not a check: takes the README's pictures of the window after a real
// transfer. Run it under Xvfb with the X11 platform, from the source folder:
//   QT_QPA_PLATFORM=xcb QLK_SCREENSHOTS=docs xvfb-run -a -s "-screen 0 1280x960x24"
//   build/bin/qlk-tests-ui --gtest_also_run_disabled_tests --gtest_filter='Screenshot*'
#include <gtest/gtest.h>

#include <QApplication>
#include <QTabWidget>

#include <cstdlib>
#include <filesystem>

#include "FakeDesktop.h"
#include "gateway/ConfigurationFile.h"
#include "gateway/UsersDatabase.h"
#include "mapi/PostOffice.h"
#include "support/Pop3MailboxServer.h"
#include "support/TempDir.h"
#include "ui/TfrmQLK.h"

namespace qlk::test {
namespace {

void Save(QWidget& widget, const std::filesystem::path& file) {
    widget.show();
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_TRUE(widget.grab().save(QString::fromStdString(file.string())));
}

void SetUpOffice(const TempDir& work, Pop3MailboxServer& pop) {
    Settings settings;
    settings.LogDetailLevel = 2;
    settings.SMTPServer = "smtp.example.com:587";
    settings.AdminInternetAddress = "postmaster@example.com";
    settings.AdminMAPIName = "Ann Smith";
    WriteFileBytes(work / "QLK.CFG", ConfigurationFile::Format(settings));
    PostOffice office = PostOffice::Create(work.path());
    UsersDatabase users(work / "users.DB");
    users.Open();
    for (const char* name : {"Ann Smith", "Bob Jones", "Carol White"}) {
        office.AddMailbox(name);
        const std::string login = std::string(name).substr(0, std::string(name).find(' '));
        UserRecord row{0, name, name, pop.Host(), login, "secret", login + "@example.com", true, false, ""};
        users.Insert(row);
        pop.AddUser(login, "secret");
        pop.AddMessage(login, "From: news@example.org\r\nTo: " + login +
                                  "@example.com\r\nSubject: Weekly figures\r\n\r\nSee the figures.\r\n");
    }
}

TEST(Screenshot, DISABLED_MainWindowAfterARealTransfer) {
    const char* folder = std::getenv("QLK_SCREENSHOTS");
    ASSERT_NE(folder, nullptr) << "QLK_SCREENSHOTS names the folder for the pictures";
    const std::filesystem::path out = std::filesystem::absolute(folder);
    EnsureApplication();
    const QFont normal = QApplication::font();
    for (const double scale : {1.0, 1.25}) {
        QFont font = normal;
        font.setPointSizeF(normal.pointSizeF() * scale);
        QApplication::setFont(font);
        const std::string suffix = scale == 1.0 ? "" : "-125";
        TempDir work;
        Pop3MailboxServer pop;
        SetUpOffice(work, pop);
        FakeDesktop desktop;
        TfrmQLK window(desktop, work.path());
        window.btnGrabNowClick();
        Save(window, out / ("mainwindow" + suffix + ".png"));
        window.mmoStatusMouseDown();
        Save(window, out / ("mainwindow-folded" + suffix + ".png"));
        window.findChild<QTabWidget*>("pgcMain")->setCurrentIndex(1);
        Save(window, out / ("mailboxes" + suffix + ".png"));
        window.CloseWithoutAsking();
    }
    QApplication::setFont(normal);
}

}  // namespace
}  // namespace qlk::test
