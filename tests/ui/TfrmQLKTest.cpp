#include "ui/TfrmQLK.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimeEdit>
#include <QTimer>

#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>

#include "FakeDesktop.h"
#include "gateway/ConfigurationFile.h"
#include "support/ChangedSettings.h"
#include "support/ScriptServer.h"
#include "support/TempDir.h"
#include "ui/IntervalTimer.h"
#include "ui/QtDesktop.h"
#include "ui/ShutdownSignals.h"
#include "ui/StatusView.h"

namespace qlk::test {
namespace {

namespace fs = std::filesystem;

const char* const kConfigError =
    "Error Reading Configuration File QLK.CFG. File May Be Corrupt. Some Settings Set To Default.";

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override { EnsureApplication(); }

    TfrmQLK& Open() {
        window_ = std::make_unique<TfrmQLK>(desktop_, folder_.path());
        return *window_;
    }

    template <typename T = QWidget>
    T* Control(const char* name) {
        auto* found = window_->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    QPushButton* Active() { return Control<QPushButton>("btnActive"); }

    void CopyShippedImages() {
        for (const char* image : {"go.bmp", "stop.bmp"}) {
            fs::copy_file(SourcePath(std::string("resources/share/") + image), folder_ / image);
        }
    }

    std::vector<std::string> LogTexts() {
        std::vector<std::string> texts;
        for (const auto& line : window_->Log().Lines()) texts.push_back(line.text);
        return texts;
    }

    bool Logged(const std::string& fragment) {
        for (const auto& text : LogTexts()) {
            if (text.find(fragment) != std::string::npos) return true;
        }
        return false;
    }

    TempDir folder_;
    FakeDesktop desktop_;
    std::unique_ptr<TfrmQLK> window_;
};

QString CaptionOf(QWidget* widget) {
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text();
    if (auto* box = qobject_cast<QGroupBox*>(widget)) return box->title();
    if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
    return {};
}

struct ControlCase {
    const char* name;
    const char* caption;  // nullptr: no caption to check
    const char* hint;     // nullptr: no hint to check
};

TEST_F(WindowTest, EveryControlCarriesItsCaptionAndHint) {
    const ControlCase cases[] = {
        {"btnGrabNow", "Transfer &Now", "Transfer Mail Now"},
        {"btnActive", "Running...", "Press to Stop Service"},
        {"btnTech", "Tech Support", nullptr},
        {"btnHelp", "Help", nullptr},
        {"lblLogo", "Click on Our Logo for More Info", nullptr},
        {"pnlAbout", nullptr, nullptr},
        {"VRTLogo", nullptr, nullptr},
        {"cmbConnection", nullptr, "Select the Connection for Internet Access"},
        {"edtRASPassword", nullptr, "Dial Up Networking Email Password"},
        {"spnCheckTime", nullptr, "Select Delay Between Mail Transfers"},
        {"lblMinutes", "Minutes", nullptr},
        {"chkMon", nullptr, "Check Mail on This Day?"},
        {"chkSUN", nullptr, "Check Mail on This Day?"},
        {"dtpStart", nullptr, "Daily Start Time For Transfer"},
        {"dtpStop", nullptr, "Daily End Time For Transfers"},
        {"chkCheckforUpdate", "Check for Update", nullptr},
        {"edtSMTP", nullptr, "Outgoing Mail Server"},
        {"lblAdminInet", "Administrator Internet", nullptr},
        {"edtAdminInet", nullptr, nullptr},
        {"edtAdminMAPI", nullptr, "Administrator MS Mail Name (i.e. MS Mail \"To:\" name)"},
        {"ccadmin", "CC: Administrator",
         "When checked QLK will send a copy of all messages to administrator(s)"},
        {"mmoStatus", nullptr, nullptr},
        {"barProgress", nullptr, nullptr},
        {"rgpLogDetail", "Log Detail Level", nullptr},
        {"btnClearStatus", "Clear", "Clear The Status and Log Window"},
        {"btnPrintLog", "Print Log", nullptr},
        {"btnSaveRTF", "Save RTF", "Save Log File as Rich-Text (Save Color Information)"},
        {"btnPostAdmin", "Administer Postoffice", nullptr},
        {"btnProfiles", "Edit Mail Profiles", nullptr},
        {"chkShowHeaders", "Show Internet Headers", nullptr},
        {"chkLog", "Log to File", nullptr},
        {"chkTimestamp", "Timestamp",
         "Show Timestamp in Status Window (Timestamps are Always Shown in Logfile)"},
        {"edtLogto", nullptr, nullptr},
        {"edtDefaultPop3", nullptr, nullptr},
        {"chkDelete", "Delete Mail From Postoffice", nullptr},
        {"pnlSettings", nullptr, nullptr},
        {"pnlUsers", nullptr, nullptr},
    };
    Open();
    for (const auto& c : cases) {
        QWidget* control = Control(c.name);
        if (!control) continue;
        if (c.caption) {
            EXPECT_EQ(CaptionOf(control), QString::fromLatin1(c.caption)) << c.name;
        }
        if (c.hint) {
            EXPECT_EQ(control->toolTip(), QString::fromLatin1(c.hint)) << c.name;
        }
    }
}

TEST_F(WindowTest, PagesAndWindowAreAsOperatorsKnowThem) {
    Open();
    EXPECT_EQ(window_->windowTitle(), "Quelmark");
    auto* pages = Control<QTabWidget>("pgcMain");
    ASSERT_EQ(pages->count(), 2);
    EXPECT_EQ(pages->tabText(0), "QLK");
    EXPECT_EQ(pages->tabText(1), "Mailboxes");
    EXPECT_TRUE(Control<QPushButton>("btnGrabNow")->isDefault());
    EXPECT_TRUE(Control<QLineEdit>("edtInfo")->text().startsWith("Quelmark 8.32 "));
    EXPECT_TRUE(Control<QLineEdit>("edtInfo")->isReadOnly());
    EXPECT_TRUE(Control<StatusView>("mmoStatus")->isReadOnly());

    const char* levels[] = {"Errors Only", "Standard", "Detailed", "Verbose"};
    for (int level = 0; level < 4; ++level) {
        auto* item =
            Control<QRadioButton>(QStringLiteral("rgpLogDetail%1").arg(level).toLatin1().constData());
        EXPECT_EQ(item->text(), levels[level]);
    }
}

TEST_F(WindowTest, SettingsControlsStartWithTheirDefaults) {
    WriteFileBytes(folder_ / "QLK.CFG", ConfigurationFile::Format(Settings{}));
    Open();
    EXPECT_EQ(window_->CurrentSettings(), Settings{});
    EXPECT_TRUE(desktop_.messages.empty());

    auto* delay = Control<QSpinBox>("spnCheckTime");
    EXPECT_EQ(delay->minimum(), 1);
    EXPECT_EQ(delay->maximum(), 999);
    auto* connection = Control<QComboBox>("cmbConnection");
    ASSERT_EQ(connection->count(), 1);
    EXPECT_EQ(connection->itemText(0), "Use Network");
    EXPECT_EQ(Control<QLineEdit>("edtRASPassword")->echoMode(), QLineEdit::Password);
    auto* progress = Control<QProgressBar>("barProgress");
    EXPECT_EQ(progress->minimum(), 0);
    EXPECT_EQ(progress->maximum(), 100);
    EXPECT_EQ(Control<QTimeEdit>("dtpStart")->time(), QTime(8, 0));
    EXPECT_EQ(Control<QTimeEdit>("dtpStop")->time(), QTime(18, 0));
    for (const char* hidden : {"chkLog", "chkTimestamp", "edtLogto", "edtDefaultPop3", "chkDelete"}) {
        EXPECT_TRUE(Control(hidden)->isHidden()) << hidden;
    }
}

TEST_F(WindowTest, FirstStartInAnEmptyFolder) {
    Open();
    EXPECT_TRUE(fs::is_directory(folder_ / "QLKMSG"));
    EXPECT_TRUE(fs::is_directory(folder_ / "QLKATT"));
    ASSERT_EQ(desktop_.messages.size(), 1u);
    EXPECT_EQ(desktop_.messages[0], kConfigError);
    const auto texts = LogTexts();
    const std::vector<std::string> opening = {"", "", ""};
    ASSERT_GE(texts.size(), 7u);
    EXPECT_EQ(std::vector<std::string>(texts.begin(), texts.begin() + 3), opening);
    EXPECT_TRUE(texts[3].ends_with("Welcome to QLK - Version 8.32")) << texts[3];
    EXPECT_TRUE(Logged(kConfigError));
    EXPECT_EQ(window_->CurrentSettings(), Settings{});
    EXPECT_TRUE(window_->ServiceRunning());
    EXPECT_EQ(Active()->text(), "Running...");
    EXPECT_TRUE(window_->CheckTimer().Enabled());
    EXPECT_EQ(window_->CheckTimer().Interval(), 15 * 60000);
    EXPECT_FALSE(fs::exists(folder_ / "QLK.CFG"));
}

TEST_F(WindowTest, StartRestoresTheStatusWindowBeforeTheWelcome) {
    {
        StatusLog earlier(folder_.path());
        earlier.Clock = [] { return std::string("T"); };
        earlier.WriteLog("from the last run", 2);
    }
    Open();
    ASSERT_FALSE(LogTexts().empty());
    EXPECT_EQ(LogTexts()[0], "T : from the last run");
    EXPECT_EQ(window_->Log().Lines()[0].color, LogColor::Blue);
    EXPECT_EQ(Control<StatusView>("mmoStatus")->LineCount(), static_cast<int>(LogTexts().size()));
}

TEST_F(WindowTest, ConfigurationFileSetsEveryControl) {
    Settings custom = test::SettingsWithEveryFieldChanged();
    custom.ConnectionIndex = 0;  // only "Use Network" is listed
    custom.LogFileName = "other.log";
    WriteFileBytes(folder_ / "QLK.CFG", ConfigurationFile::Format(custom));

    Open();
    EXPECT_EQ(window_->CurrentSettings(), custom);
    EXPECT_EQ(window_->CheckTimer().Interval(), 42 * 60000);
    EXPECT_EQ(window_->Log().DetailLevel, 1);
    EXPECT_FALSE(window_->Log().LogToFile);
    EXPECT_FALSE(window_->Log().TimestampInWindow);
    EXPECT_EQ(window_->Log().LogFileName, "other.log");
}

TEST_F(WindowTest, ValuesWithoutAControlSelectNothing) {
    Settings odd;
    odd.ConnectionIndex = 3;  // only "Use Network" is listed
    odd.LogDetailLevel = -1;
    WriteFileBytes(folder_ / "QLK.CFG", ConfigurationFile::Format(odd));
    Open();
    EXPECT_EQ(Control<QComboBox>("cmbConnection")->currentIndex(), -1);
    EXPECT_EQ(window_->CurrentSettings().LogDetailLevel, -1);
    EXPECT_EQ(window_->Log().DetailLevel, -1);
    for (int level = 0; level < 4; ++level) {
        EXPECT_FALSE(Control<QRadioButton>(QStringLiteral("rgpLogDetail%1").arg(level).toLatin1().constData())
                         ->isChecked());
    }
    // The stored connection is not lost because this start does not list it.
    EXPECT_EQ(window_->CurrentSettings().ConnectionIndex, 3);
    window_->close();
    EXPECT_EQ(ReadFileBytes(folder_ / "QLK.CFG"), ConfigurationFile::Format(odd));

    Open();
    Control<QComboBox>("cmbConnection")->setCurrentIndex(0);  // the operator chose another
    window_->close();
    odd.ConnectionIndex = 0;
    EXPECT_EQ(ReadFileBytes(folder_ / "QLK.CFG"), ConfigurationFile::Format(odd));
}

// Text outside Latin-1 crosses between the window and the files unchanged;
// bytes from an older file that are not UTF-8 are shown as Latin-1 and
// written back as they were while nobody edits them.
TEST_F(WindowTest, TextKeepsItsCharactersBetweenWindowAndFiles) {
    const std::string greeting =
        "Subject: Gr\xc3\xbc\xc3\x9f"
        "e \xe2\x82\xac \xe6\x97\xa5\xf0\x9f\x98\x80";
    Settings stored;
    stored.DialupPassword =
        "pa\xdf"
        "wort";                                      // Latin-1, written by an older program
    stored.AdminMAPIName = "Jos\xe9 \xc5\x81ukasz";  // not valid UTF-8 as a whole
    WriteFileBytes(folder_ / "QLK.CFG", ConfigurationFile::Format(stored));
    Open();
    EXPECT_EQ(Control<QLineEdit>("edtRASPassword")->text(), QString::fromUtf8("pa\xc3\x9fwort"));
    EXPECT_EQ(Control<QLineEdit>("edtAdminMAPI")->text(), QString::fromUtf8("Jos\xc3\xa9 \xc5\x81ukasz"));
    Control<QLineEdit>("edtSMTP")->setText(
        QString::fromUtf8("smtp.b\xc3\xbc"
                          "cher.example"));
    Control<QLineEdit>("edtAdminInet")->setText(QString::fromUtf8("\xe2\x82\xac@\xe6\x97\xa5.example"));
    window_->Log().WriteLog(greeting, 1);
    window_->Log().WriteLog("Subject: caf\xe9", 1);
    const QString shown = Control<StatusView>("mmoStatus")->toPlainText();
    EXPECT_TRUE(shown.contains(QString::fromUtf8(greeting)));
    EXPECT_TRUE(shown.contains(QString::fromUtf8("Subject: caf\xc3\xa9")));
    window_->close();

    Settings saved = stored;
    saved.SMTPServer =
        "smtp.b\xc3\xbc"
        "cher.example";
    saved.AdminInternetAddress = "\xe2\x82\xac@\xe6\x97\xa5.example";
    EXPECT_EQ(ReadFileBytes(folder_ / "QLK.CFG"), ConfigurationFile::Format(saved));
    const std::string logFile = ReadFileBytes(folder_ / "QLKLOG.TXT");
    EXPECT_NE(logFile.find(greeting + "\r\n"), std::string::npos);
    EXPECT_NE(logFile.find("Subject: caf\xe9\r\n"), std::string::npos);

    Open();
    EXPECT_EQ(window_->CurrentSettings(), saved);
    const QString restored = Control<StatusView>("mmoStatus")->toPlainText();
    EXPECT_TRUE(restored.contains(QString::fromUtf8(greeting)));
    EXPECT_TRUE(restored.contains(QString::fromUtf8("Subject: caf\xc3\xa9")));
    Control<QLineEdit>("edtRASPassword")->setText(QString::fromUtf8("pa\xc3\x9fwort2"));
    EXPECT_EQ(window_->CurrentSettings().DialupPassword, "pa\xc3\x9fwort2");
}

TEST_F(WindowTest, ServiceSwitchTogglesCaptionColourHintAndTimer) {
    CopyShippedImages();
    Open();
    struct Expected {
        const char* caption;
        QColor colour;
        const char* hint;
        bool timer;
    };
    const Expected states[] = {
        {"Stopped", QColor(255, 0, 0), "Press to Start Service", false},
        {"Running...", QColor(0, 128, 0), "Press to Stop Service", true},
        {"Stopped", QColor(255, 0, 0), "Press to Start Service", false},
    };
    for (const auto& state : states) {
        Active()->click();
        EXPECT_EQ(Active()->text(), state.caption);
        EXPECT_EQ(Active()->palette().color(QPalette::ButtonText), state.colour) << state.caption;
        EXPECT_EQ(Active()->toolTip(), state.hint);
        EXPECT_EQ(window_->CheckTimer().Enabled(), state.timer) << state.caption;
        EXPECT_EQ(window_->CheckTimer().Counting(), state.timer) << state.caption;
        EXPECT_EQ(window_->ServiceRunning(), state.timer);
        EXPECT_TRUE(LogTexts().back().ends_with(state.timer ? "Service started: transfers follow the schedule"
                                                            : "Service stopped: no scheduled transfers until "
                                                              "it is started"));
    }
    EXPECT_TRUE(desktop_.errors.empty());
}

// The working folder's own images win, at start too; without them the
// shipped ones are used.
TEST_F(WindowTest, ButtonImagesComeFromTheWorkingFolderElseFromTheInstallation) {
    for (bool own : {false, true}) {
        SCOPED_TRACE(own ? "own images" : "shipped images");
        desktop_ = FakeDesktop{};
        if (own) {
            QImage image(5, 3, QImage::Format_RGB32);
            image.fill(Qt::magenta);
            for (const char* name : {"go.bmp", "stop.bmp"})
                ASSERT_TRUE(image.save(QString::fromStdString((folder_ / name).string()), "BMP"));
        }
        Open();
        for (int click = 0; click < 3; ++click) {
            const QList<QSize> sizes = Active()->icon().availableSizes();
            ASSERT_EQ(sizes.size(), 1);
            EXPECT_EQ(sizes[0] == QSize(5, 3), own) << Active()->text().toStdString();
            Active()->click();
        }
        EXPECT_TRUE(desktop_.errors.empty());
    }
}

TEST_F(WindowTest, MissingButtonImageIsReportedAndTheNewStateStays) {
    WriteFileBytes(folder_ / "stop.bmp", "not an image");
    Open();
    Active()->click();
    ASSERT_EQ(desktop_.errors.size(), 1u);
    EXPECT_EQ(desktop_.errors[0], "Cannot open file stop.bmp");
    EXPECT_EQ(Active()->text(), "Stopped");
    EXPECT_FALSE(window_->CheckTimer().Enabled());
}

TEST_F(WindowTest, CloseAnsweredCancelKeepsRunning) {
    Open();
    window_->show();
    desktop_.confirmAnswer = false;
    EXPECT_FALSE(window_->close());
    ASSERT_EQ(desktop_.questions.size(), 1u);
    EXPECT_EQ(desktop_.questions[0], "Shut Down QLK?  Mail Will Not Be Transfered Any Longer");
    EXPECT_TRUE(window_->isVisible());
    EXPECT_TRUE(window_->CheckTimer().Counting());
    EXPECT_FALSE(fs::exists(folder_ / "QLK.CFG"));
}

TEST_F(WindowTest, CloseAnsweredOkClosesTheTableAndSavesTheConfiguration) {
    Open();
    window_->show();
    Control<QLineEdit>("edtSMTP")->setText("relay.example.org");
    bool finished = false;
    QObject::connect(window_.get(), &TfrmQLK::ShutDownFinished, [&] { finished = true; });
    EXPECT_TRUE(window_->close());
    EXPECT_TRUE(finished);
    EXPECT_TRUE(Logged("Closing User Database"));
    EXPECT_TRUE(Logged("Finished Saving Config File"));
    const std::string saved = ReadFileBytes(folder_ / "QLK.CFG");
    EXPECT_NE(saved.find("\r\nrelay.example.org\r\n"), std::string::npos);
    EXPECT_NE(saved.find("\r\n8.32\r\n"), std::string::npos);
}

TEST_F(WindowTest, StopSignalClosesWithoutAsking) {
    Open();
    window_->show();
    ShutdownSignals stopRequests;
    QObject::connect(&stopRequests, &ShutdownSignals::Received, window_.get(), &TfrmQLK::CloseWithoutAsking);
    std::raise(SIGTERM);
    for (int i = 0; i < 100 && window_->isVisible(); ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_FALSE(window_->isVisible());
    EXPECT_TRUE(desktop_.questions.empty());
    EXPECT_TRUE(fs::exists(folder_ / "QLK.CFG"));
}

// A stop request that comes while the close question shows closes in good
// order at once, as the program runs: the real question box and event loop,
// nobody there to answer, and the box then closed as if answered "Cancel".
TEST_F(WindowTest, StopSignalEndsTheProgramWhileTheCloseQuestionWaitsForNobody) {
    WriteFileBytes(folder_ / "QLK.CFG", ConfigurationFile::Format(Settings{}));
    QtDesktop desktop;
    TfrmQLK window(desktop, folder_.path());
    window.show();
    window.findChild<QLineEdit*>("edtSMTP")->setText("relay.example.org");
    ShutdownSignals stopRequests;
    QObject::connect(&stopRequests, &ShutdownSignals::Received, &window, &TfrmQLK::CloseWithoutAsking);
    QObject::connect(&window, &TfrmQLK::ShutDownFinished, qApp, &QCoreApplication::quit);

    bool signalled = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (signalled || !box || box->text() != TfrmQLK::ShutDownQuestion) return;
        signalled = true;
        ::kill(::getpid(), SIGTERM);
    });
    watch.start(20);
    QTimer::singleShot(0, &window, [&] { window.close(); });
    QTimer::singleShot(20000, [] { QCoreApplication::exit(1); });  // never hang the suite

    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_TRUE(signalled);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_FALSE(window.Users().Table().Active());
    EXPECT_NE(ReadFileBytes(folder_ / "QLK.CFG").find("\r\nrelay.example.org\r\n"), std::string::npos);
}

// A POP3 error is logged with its text; a lost connection ends that user's
// run only and never restarts the program.
TEST_F(WindowTest, PopErrorsAreLoggedWithTheirText) {
    struct Case {
        const char* name;
        std::function<void(ScriptServer&)> play;  // after the greeting and the USER line
        const char* logged;                       // the error's text in the log
    };
    const Case cases[] = {
        {"Reset", [](ScriptServer& s) { s.Abort(); }, "[10054] Connection reset by peer"},
        {"DropInMessage",
         [](ScriptServer& s) {
             s.Send("+OK\r\n").Line().Send("+OK\r\n").Line().Send("+OK 1 9\r\n").Line().Send("+OK 9\r\n");
             s.Line().Send("+OK\r\npart").Drop();
         },
         "[10053] Software caused connection abort"},
    };
    for (const auto& c : cases) {
        desktop_ = FakeDesktop{};
        Open();
        window_->show();
        ScriptServer server;
        server.Send("+OK ready\r\n").Line();
        c.play(server);
        server.Start();
        TmsRemotePOP& pop = window_->Core().POP();
        pop.Server = "pop3://" + server.Address();
        pop.UserName = "joe";
        pop.Password = "secret";
        pop.SetTimeOut(5);
        try {
            pop.Connect();
            pop.Retrieve(0);
        } catch (const Exception&) {
        }
        pop.Close();
        server.Join();
        EXPECT_TRUE(Logged(std::string("POP3 ERROR : ") + c.logged + ".  Contact your ISP this problem persists."))
            << c.name;
        EXPECT_TRUE(window_->isVisible()) << c.name;
    }
}

TEST_F(WindowTest, NetworkEventsReachTheLogAndTheProgressBar) {
    Open();
    const int errorsBefore = window_->Log().ErrorCount;
    std::string msg = "550 relay denied";
    window_->Core().SMTPError(msg);
    EXPECT_TRUE(Logged("SMTP ERROR : 550 relay denied.  Contact your ISP if problem persists."));
    EXPECT_EQ(window_->Log().ErrorCount, errorsBefore + 1);

    auto* bar = Control<QProgressBar>("barProgress");
    window_->POPProgress(40);
    EXPECT_EQ(bar->value(), 40);
    window_->SMTPProgress(100);
    EXPECT_EQ(bar->value(), 0);
}

// At the default size and with a 125% font: no caption, title or grid
// header is cut short, and the status log shows at least 25 lines.
TEST_F(WindowTest, EveryTextFitsAndTheLogHasTheRoom) {
    const QFont normal = QApplication::font();
    for (const double scale : {1.0, 1.25}) {
        SCOPED_TRACE(scale);
        QFont font = normal;
        font.setPointSizeF(normal.pointSizeF() * scale);
        QApplication::setFont(font);
        Open();
        window_->Users().Table().StoreRow({0, "Annabel Longname-Smith", "Annabel Longname-Smith",
                                           "pop3s://pop.mail.example.com:995", "annabel.longname", "pw",
                                           "annabel.longname-smith@example.com", true, false, ""});
        window_->show();
        auto* pages = Control<QTabWidget>("pgcMain");
        for (int page = 0; page < pages->count(); ++page) {
            pages->setCurrentIndex(page);
            QCoreApplication::processEvents();
            for (QWidget* widget : pages->currentWidget()->findChildren<QWidget*>()) {
                const QString caption = CaptionOf(widget);
                const auto* label = qobject_cast<QLabel*>(widget);
                if (!widget->isVisible() || caption.isEmpty() || (label && label->wordWrap())) continue;
                EXPECT_GE(widget->width(), widget->sizeHint().width()) << caption.toStdString();
            }
        }
        auto* header = Control<QTableWidget>("grdUsers")->horizontalHeader();
        for (int column = 0; column < header->count(); ++column)
            EXPECT_GE(header->sectionSize(column), header->sectionSizeHint(column)) << column;
        pages->setCurrentIndex(0);
        QCoreApplication::processEvents();
        auto* log = Control<StatusView>("mmoStatus");
        EXPECT_GE(log->viewport()->height() / log->fontMetrics().lineSpacing(), TfrmQLK::StatusLinesShown);
    }
    QApplication::setFont(normal);
}

// A click in the status window folds the settings away and back; the
// commands stay whole and the newest log line stays in view.
TEST_F(WindowTest, ClickInTheStatusWindowFoldsTheSettings) {
    Open();
    window_->show();
    for (int line = 0; line < 200; ++line) window_->Log().WriteLog("line " + std::to_string(line), 1);
    auto* log = Control<StatusView>("mmoStatus");
    const int openHeight = log->height();
    for (bool folded : {true, false, true}) {
        window_->mmoStatusMouseDown();
        for (int settle = 0; settle < 5; ++settle) QCoreApplication::processEvents();
        EXPECT_EQ(window_->SettingsFolded(), folded);
        EXPECT_EQ(Control("spnCheckTime")->isVisible(), !folded);
        EXPECT_EQ(log->height() > openHeight, folded);
        EXPECT_GE(Active()->height(), Active()->sizeHint().height());
        EXPECT_EQ(log->verticalScrollBar()->value(), log->verticalScrollBar()->maximum()) << folded;
    }
}

TEST_F(WindowTest, TransferNowRestartsTheCountdownAndABusyLineShortensIt) {
    Open();
    window_->Log().Clock = [] { return std::string("T"); };
    window_->CheckTimer().SetInterval(150000);
    const std::size_t before = LogTexts().size();
    Control<QPushButton>("btnGrabNow")->click();
    const auto texts = LogTexts();
    ASSERT_GE(texts.size(), before + 4);
    const std::vector<std::string> start(texts.begin() + before, texts.begin() + before + 4);
    EXPECT_EQ(start, (std::vector<std::string>{"", "", "T : Manually Triggered Mail Check",
                                               "T : Beggining Mail Transfer"}));
    EXPECT_TRUE(Control<QPushButton>("btnGrabNow")->isEnabled());
    EXPECT_EQ(window_->CheckTimer().Interval(), 15 * 60000);

    window_->Log().WriteLog("Dial-Up : The Line Is Busy", 2);
    EXPECT_EQ(window_->CheckTimer().Interval(), TfrmQLK::BusyRedialMs);
}

// Enter presses the button that has the focus, else "Transfer Now"; a
// control that does not use the key hands it on.
TEST_F(WindowTest, EnterPressesTheFocusedButtonElseTransferNow) {
    struct Case {
        const char* focus;
        bool transfers;
        std::size_t modals;
    } cases[] = {
        {"edtSMTP", true, 0}, {"spnCheckTime", true, 0}, {"cmbConnection", true, 0},
        {"chkMon", true, 0},  {"btnTech", false, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.focus);
        desktop_ = FakeDesktop{};
        Open();
        window_->Log().Clear(true);  // not the lines of the case before
        window_->show();
        window_->activateWindow();
        QWidget* target = Control(c.focus);
        target->setFocus();
        for (int i = 0; i < 5 && window_->focusWidget() != target; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &press);
        EXPECT_EQ(Logged("Manually Triggered Mail Check"), c.transfers);
        EXPECT_EQ(desktop_.modalTitles.size(), c.modals);
    }
}

TEST_F(WindowTest, TechSupportPausesTheTimerAndEnablesItAfterwardsEvenWhenStopped) {
    CopyShippedImages();
    Open();
    Active()->click();  // Stopped
    bool timerDuringDialog = true;
    desktop_.whileModal = [&](QDialog&) { timerDuringDialog = window_->CheckTimer().Enabled(); };
    Control<QPushButton>("btnTech")->click();
    ASSERT_EQ(desktop_.modalTitles.size(), 1u);
    EXPECT_EQ(desktop_.modalTitles[0], "Tech Support");
    EXPECT_FALSE(timerDuringDialog);
    EXPECT_TRUE(window_->CheckTimer().Enabled());
}

TEST_F(WindowTest, AboutTechSupportRefusesWhileBusy) {
    Open();
    bool& busy = window_->Core().Cycle().Busy;
    busy = true;
    window_->AboutTechSupportClick();
    EXPECT_EQ(desktop_.messages.back(), "This cannot be done while QLK is busy");
    EXPECT_TRUE(desktop_.modalTitles.empty());
    EXPECT_TRUE(window_->CheckTimer().Enabled());

    busy = false;
    bool busyDuringDialog = false;
    desktop_.whileModal = [&](QDialog&) { busyDuringDialog = busy; };
    window_->AboutTechSupportClick();
    EXPECT_TRUE(busyDuringDialog);
    EXPECT_FALSE(busy);
}

TEST_F(WindowTest, LogoOpensTheAboutWindowAndItsTechSupportButton) {
    Open();
    desktop_.whileModal = [&](QDialog& dialog) {
        if (auto* tech = dialog.findChild<QPushButton*>("btnTechSupport")) tech->click();
    };
    window_->pnlAboutClick();
    ASSERT_EQ(desktop_.modalTitles.size(), 2u);
    EXPECT_EQ(desktop_.modalTitles[0], "About Quelmark");
    EXPECT_EQ(desktop_.modalTitles[1], "Tech Support");
}

// The attachment NAME of a saved draft, decoded.
std::string DraftAttachment(const std::string& draft, const std::string& name) {
    const std::size_t part = draft.find("filename=\"" + name + "\"");
    if (part == std::string::npos) return {};
    const std::size_t body = draft.find("\r\n\r\n", part) + 4;
    const std::string base64 = draft.substr(body, draft.find("\r\n--", body) - body);
    return QByteArray::fromBase64(QByteArray::fromStdString(base64)).toStdString();
}

// The report carries the log and copies of QLK.CFG and users.DB in which
// every password is blanked; everything else in them stays.
TEST_F(WindowTest, EmailTechSupportSavesADraftWithoutPasswordsAndSendsNothing) {
    Settings settings;
    settings.SMTPServer = "relay.example.org";
    settings.DialupPassword = "dial-secret";
    settings.SMTPRelayUser = "office";
    settings.SMTPRelayPassword = "relay-secret";
    WriteFileBytes(folder_ / "QLK.CFG", ConfigurationFile::Format(settings));
    Open();
    window_->Users().Table().StoreRow(
        {0, "Ann", "Ann", "pop.example.com", "ann", "pop-secret", "ann@example.com", true, false, ""});
    desktop_.whileModal = [&](QDialog& dialog) {
        if (auto* email = dialog.findChild<QPushButton*>("btnEmail")) email->click();
        if (dialog.windowTitle() != "Email Tech Support") return;
        dialog.findChild<QLineEdit*>("edtFrom")->setText("office@example.com");
        dialog.findChild<QPlainTextEdit*>("mmoProblem")->setPlainText("No mail since Monday.");
        dialog.findChild<QPushButton*>("btnSave")->click();
    };
    Control<QPushButton>("btnTech")->click();
    ASSERT_EQ(desktop_.modalTitles.size(), 2u);
    const std::string draft = ReadFileBytes(folder_ / "QLKSUPPORT.EML");
    EXPECT_NE(draft.find("From: office@example.com\r\n"), std::string::npos);
    EXPECT_NE(DraftAttachment(draft, "QLKLOG.TXT").find("Welcome to QLK"), std::string::npos);
    settings.DialupPassword.clear();
    settings.SMTPRelayPassword.clear();
    EXPECT_EQ(DraftAttachment(draft, "QLK.CFG"), ConfigurationFile::Format(settings));
    const std::string users = DraftAttachment(draft, "users.DB");
    EXPECT_TRUE(users.starts_with("SQLite format 3")) << users.size();
    EXPECT_NE(users.find("ann@example.com"), std::string::npos);
    EXPECT_EQ(users.find("pop-secret"), std::string::npos);
    EXPECT_NE(ReadFileBytes(folder_ / "users.DB").find("pop-secret"), std::string::npos)
        << "only copies change";
    EXPECT_NE(desktop_.messages.back().indexOf("QLKSUPPORT.EML"), -1);
}

TEST_F(WindowTest, HelpOpensTheShippedPage) {
    Open();
    Control<QPushButton>("btnHelp")->click();
    ASSERT_EQ(desktop_.openedUrls.size(), 1u)
        << (desktop_.errors.empty() ? "" : desktop_.errors[0].toStdString());
    const QString file = desktop_.openedUrls[0].toLocalFile();
    EXPECT_TRUE(file.endsWith("share/quelmark/help/index.html")) << file.toStdString();
    EXPECT_TRUE(QFileInfo::exists(file));
}

TEST_F(WindowTest, ClearAsksAndDeletesTheLogFilesOnlyOnYes) {
    for (bool yes : {false, true}) {
        desktop_ = FakeDesktop{};
        Open();
        desktop_.yesNoAnswer = yes;
        Control<QPushButton>("btnClearStatus")->click();
        EXPECT_EQ(desktop_.questions.back(), "Confirmation: Delete Log From Disk?");
        EXPECT_TRUE(window_->Log().Lines().empty());
        EXPECT_EQ(Control<StatusView>("mmoStatus")->LineCount(), 0);
        EXPECT_EQ(fs::exists(folder_ / "QLKLOG.TXT"), !yes);
        EXPECT_EQ(fs::exists(folder_ / "QLKLOG.RTF"), !yes);
    }
}

TEST_F(WindowTest, SaveRtfWritesTheFileAndSaysSoOrReportsTheFailure) {
    Open();
    fs::remove(folder_ / "QLKLOG.RTF");
    Control<QPushButton>("btnSaveRTF")->click();
    EXPECT_EQ(desktop_.messages.back(), "Log Saved As QLKLOG.RTF");
    EXPECT_TRUE(ReadFileBytes(folder_ / "QLKLOG.RTF").starts_with("{\\rtf1"));

    fs::remove(folder_ / "QLKLOG.RTF");
    fs::create_directory(folder_ / "QLKLOG.RTF");  // a folder in the file's way
    const auto messagesBefore = desktop_.messages.size();
    Control<QPushButton>("btnSaveRTF")->click();
    EXPECT_EQ(desktop_.messages.size(), messagesBefore);
    EXPECT_EQ(desktop_.errors.size(), 1u);
}

TEST_F(WindowTest, PrintLogPrintsToPdf) {
    Open();
    const fs::path pdf = folder_ / "log.pdf";
    QString jobName;
    desktop_.choosePrinter = [&](QPrinter& printer) {
        jobName = printer.docName();
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(pdf.string()));
        return true;
    };
    Control<QPushButton>("btnPrintLog")->click();
    EXPECT_EQ(jobName, "QLK LOG");
    EXPECT_TRUE(ReadFileBytes(pdf).starts_with("%PDF"));
}

}  // namespace
}  // namespace qlk::test
