#pragma once

#include <QWidget>

#include <array>
#include <filesystem>
#include <memory>
#include <string>

#include "gateway/ConfigurationFile.h"
#include "gateway/Gateway.h"
#include "gateway/Scheduler.h"
#include "gateway/Settings.h"
#include "gateway/StatusLog.h"
#include "gateway/SystemClock.h"
#include "gateway/TransferDisplay.h"
#include "gateway/UserDirectory.h"
#include "net/TagRas.h"

class QBoxLayout;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPrinter;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QTimeEdit;
class QVBoxLayout;

namespace qlk {

class Desktop;
class IntervalTimer;
class StatusView;

// The main window "Quelmark" and the life of the process: it builds the two
// pages, restores the status window, reads QLK.CFG, wires the service switch,
// the timer and "Transfer Now" to the gateway's scheduler, and shuts down (or
// restarts) in good order. The controls are the settings: Settings is read
// from and written to them.
class TfrmQLK : public QWidget, public TransferDisplay {
    Q_OBJECT

public:
    static constexpr const char* ShutDownQuestion = "Shut Down QLK?  Mail Will Not Be Transfered Any Longer";
    static constexpr const char* RunningCaption = "Running...";
    static constexpr const char* StoppedCaption = "Stopped";
    // The status log shows at least this many lines at the window's default size.
    static constexpr int StatusLinesShown = 25;
    static constexpr int MinutesMs = Scheduler::MinuteMs;
    static constexpr int BusyRedialMs = Scheduler::BusyRedialMs;

    // WORKFOLDER holds QLK.CFG, the logs, users.DB, QLKMSG/, QLKATT/ and the
    // button images.
    TfrmQLK(Desktop& desktop, std::filesystem::path workFolder, QWidget* parent = nullptr);
    ~TfrmQLK() override;

    Gateway& Core() { return gateway_; }
    TagRas& QLKRAS() { return *QLKRAS_; }
    Scheduler& Schedule() { return *scheduler_; }
    StatusLog& Log() { return log_; }
    UserDirectory& Users() { return users_; }
    IntervalTimer& CheckTimer() { return *tmrCheckMail_; }
    const std::filesystem::path& WorkFolder() const { return workFolder_; }
    bool ServiceRunning() const;

    Settings CurrentSettings() const;
    void ApplySettings(const Settings& settings);

    // The user table's panel (grid and its buttons) goes on the "Mailboxes"
    // page; the window takes ownership.
    void AttachUsersPanel(QWidget* panel);

    // Closes the way a service manager's stop request does: no question.
    void CloseWithoutAsking();

    void btnActiveClick();
    void btnGrabNowClick();
    void btnTechClick();
    void btnHelpClick();
    void pnlAboutClick();
    void AboutTechSupportClick();
    void btnPostAdminClick();
    void btnProfilesClick();
    void btnClearStatusClick();
    void btnPrintLogClick();
    void btnSaveRTFClick();
    // A click in the status window folds the settings away, or back.
    void mmoStatusMouseDown();
    bool SettingsFolded() const;
    void tmrCheckMailTimer();

    // Events of the network clients (their errors go to the core's log).
    void SMTPProgress(int percent);
    void POPProgress(int percent);

    // Prints the status window on PRINTER as the job "QLK LOG".
    void PrintLog(QPrinter& printer);

    // The progress bar and "Transfer Now" as the transfers see them.
    void SetProgress(int percent) override;
    void EnableTransferNow(bool enabled) override;

signals:
    // The window has closed and everything is saved: the program may end.
    void ShutDownFinished();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildWindow();
    QWidget* BuildQlkPage();
    QWidget* BuildSettingsPanel();
    QWidget* BuildScheduleBox();
    QWidget* BuildConnectionBox();
    QWidget* BuildServersBox();
    QWidget* BuildAboutPanel();
    QBoxLayout* BuildCommandRow();
    QSize DefaultSize() const;
    QWidget* BuildStatusArea();
    QWidget* BuildMailboxesPage();
    void ConnectLogSettings();
    void CenterOnScreen();

    void FormCreate();
    void FormDestroy();
    void ShutDownInOrder();
    void CloseWhenTransferEnds();
    bool AskToShutDown();
    void FillConnectionList();
    void ReadConfiguration();
    void SaveConfiguration();
    void WireGateway();
    void CloseUserTable();
    void ShowServiceState(bool running);
    void LoadButtonImage(const char* fileName);
    void ShowTechSupport();
    void ShowEmailTechSupport();
    int DelayIntervalMs() const;

    Desktop& desktop_;
    std::filesystem::path workFolder_;
    Gateway gateway_;
    StatusLog& log_;
    ConfigurationFile& config_;
    UserDirectory& users_;
    SystemClock clock_;
    std::unique_ptr<Scheduler> scheduler_;
    std::unique_ptr<TagRas> QLKRAS_;
    // The settings as last applied: what a control that still shows them stores.
    Settings applied_;
    bool confirmClose_ = true;
    bool shutDown_ = false;
    bool askingToClose_ = false;
    // A close was asked for while a transfer ran: it ends after the transfer.
    bool closing_ = false;

    IntervalTimer* tmrCheckMail_ = nullptr;
    QTabWidget* pages_ = nullptr;
    QFrame* pnlSettings_ = nullptr;
    QWidget* settingsBoxes_ = nullptr;
    QPushButton* btnGrabNow_ = nullptr;
    QPushButton* btnActive_ = nullptr;
    QComboBox* cmbConnection_ = nullptr;
    QLineEdit* edtRASPassword_ = nullptr;
    QSpinBox* spnCheckTime_ = nullptr;
    std::array<QCheckBox*, 7> days_ = {};
    QTimeEdit* dtpStart_ = nullptr;
    QTimeEdit* dtpStop_ = nullptr;
    QCheckBox* chkCheckforUpdate_ = nullptr;
    QLineEdit* edtSMTP_ = nullptr;
    QLineEdit* edtRelayUser_ = nullptr;
    QLineEdit* edtRelayPassword_ = nullptr;
    QLineEdit* edtAdminInet_ = nullptr;
    QLineEdit* edtAdminMAPI_ = nullptr;
    QCheckBox* ccadmin_ = nullptr;
    QFrame* pnlAbout_ = nullptr;
    QLabel* VRTLogo_ = nullptr;
    QLineEdit* edtInfo_ = nullptr;
    StatusView* mmoStatus_ = nullptr;
    QProgressBar* barProgress_ = nullptr;
    QButtonGroup* rgpLogDetail_ = nullptr;
    QVBoxLayout* usersArea_ = nullptr;
    QCheckBox* chkShowHeaders_ = nullptr;
    QCheckBox* chkLog_ = nullptr;
    QCheckBox* chkTimestamp_ = nullptr;
    QLineEdit* edtLogto_ = nullptr;
    QLineEdit* edtDefaultPop3_ = nullptr;
    QCheckBox* chkDelete_ = nullptr;
};

}  // namespace qlk
