#include "ui/TfrmQLK.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFormLayout>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimeEdit>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <cctype>
#include <exception>
#include <system_error>

#include "gateway/Version.h"
#include "net/SystemRasBackend.h"
#include "platform/EFOpenError.h"
#include "platform/EventPump.h"
#include "ui/AsteriskEcho.h"
#include "ui/CoreText.h"
#include "ui/DefaultButton.h"
#include "ui/Desktop.h"
#include "ui/IntervalTimer.h"
#include "ui/ShippedFiles.h"
#include "ui/StatusView.h"
#include "ui/TfrmAbout.h"
#include "ui/TfrmEmail.h"
#include "ui/TfrmPostOffice.h"
#include "ui/TfrmTech.h"
#include "ui/UsersPanel.h"

// The embedded images live in a static library: register them explicitly.
static void InitResources() {
    Q_INIT_RESOURCE(quelmark);
}

namespace qlk {

namespace {

const QColor kRunningColor(0, 128, 0);
// Tight group boxes leave the status log its room.
const QMargins kBoxMargins(8, 2, 8, 4);
const QColor kStoppedColor(255, 0, 0);
// How often a close waiting for the transfer looks whether it has ended.
constexpr int kCloseWaitMs = 100;

const std::array<const char*, 7> kDayNames = {"chkMon", "chkTue", "chkWed", "chkThu",
                                              "chkFri", "chkSat", "chkSUN"};
const std::array<const char*, 7> kDayCaptions = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
const std::array<const char*, 4> kDetailLevels = {"Errors Only", "Standard", "Detailed", "Verbose"};

QTime TimeOfDay(int seconds) {
    return QTime(0, 0).addSecs(std::clamp(seconds, 0, Settings::SecondsPerDay - 1));
}

template <typename T>
T* Named(T* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QCheckBox* NewCheckBox(const char* name, const char* caption, bool checked, QWidget* parent) {
    auto* box = Named(new QCheckBox(QString::fromLatin1(caption), parent), name);
    box->setChecked(checked);
    return box;
}

QLineEdit* NewEdit(const char* name, const char* hint, QWidget* parent) {
    auto* edit = Named(new QLineEdit(parent), name);
    if (hint) edit->setToolTip(QString::fromLatin1(hint));
    return edit;
}

QPushButton* NewButton(const char* name, const char* caption, const char* hint, QWidget* parent) {
    auto* button = Named(new QPushButton(QString::fromLatin1(caption), parent), name);
    if (hint) button->setToolTip(QString::fromLatin1(hint));
    return button;
}

}  // namespace

TfrmQLK::TfrmQLK(Desktop& desktop, std::filesystem::path workFolder, QWidget* parent)
    : QWidget(parent),
      desktop_(desktop),
      workFolder_(std::move(workFolder)),
      gateway_(workFolder_,
               [this](const std::string& text) { desktop_.ShowMessage(this, FromCoreText(text)); }),
      log_(gateway_.Log()),
      config_(gateway_.Config()),
      users_(gateway_.Users()) {
    InitResources();
    setObjectName(QStringLiteral("frmQLK"));
    setWindowTitle(QStringLiteral("Quelmark"));
    tmrCheckMail_ = Named(new IntervalTimer(15 * MinutesMs, this), "tmrCheckMail");
    connect(tmrCheckMail_, &IntervalTimer::Tick, this, &TfrmQLK::tmrCheckMailTimer);
    WireGateway();
    BuildWindow();
    users_.DefaultPOP3Server = [this] {
        return ToCoreText(edtDefaultPop3_->text(), applied_.DefaultPOP3Server);
    };
    AttachUsersPanel(new UsersPanel(users_, desktop_));
    FormCreate();
    CenterOnScreen();
}

TfrmQLK::~TfrmQLK() {
    log_.SetView(nullptr);
}

void TfrmQLK::WireGateway() {
    gateway_.SettingsSource = [this] { return CurrentSettings(); };
    gateway_.SetDisplay(this);
    gateway_.Cycle().StopRequested = [this] { return closing_; };
    scheduler_ = std::make_unique<Scheduler>(gateway_.Cycle(), log_, *tmrCheckMail_, clock_);
    scheduler_->CurrentSettings = [this] { return CurrentSettings(); };
    QLKRAS_ = std::make_unique<TagRas>(SystemRasBackend());
    QLKRAS_->MinimizeAtConnect = true;
    QLKRAS_->OnShowMessage = [this](const std::string& text) { desktop_.ShowError(this, FromCoreText(text)); };
    gateway_.SetRAS(QLKRAS_.get());
}

// ---------------------------------------------------------------- layout

void TfrmQLK::BuildWindow() {
    pages_ = Named(new QTabWidget(this), "pgcMain");
    pages_->addTab(BuildQlkPage(), QStringLiteral("QLK"));
    pages_->addTab(BuildMailboxesPage(), QStringLiteral("Mailboxes"));

    edtInfo_ = Named(new QLineEdit(this), "edtInfo");
    edtInfo_->setReadOnly(true);
    edtInfo_->setFrame(false);
    edtInfo_->setFocusPolicy(Qt::NoFocus);
    QPalette infoPalette = edtInfo_->palette();
    infoPalette.setColor(QPalette::Base, palette().color(QPalette::Window));
    edtInfo_->setPalette(infoPalette);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 4);
    layout->addWidget(pages_, 1);
    layout->addWidget(edtInfo_);
    resize(DefaultSize());
}

// Wide enough for every setting side by side, and tall enough that the
// status log shows a good stretch of the last transfer.
QSize TfrmQLK::DefaultSize() const {
    const int lineHeight = mmoStatus_->fontMetrics().lineSpacing();
    const int logHeight = StatusLinesShown * lineHeight + 2 * mmoStatus_->frameWidth() + 8;
    const QSize natural = sizeHint();
    const int settledLog = mmoStatus_->sizeHint().height();
    return {natural.width(), natural.height() + std::max(0, logHeight - settledLog)};
}

QWidget* TfrmQLK::BuildQlkPage() {
    auto* page = Named(new QWidget, "tabQLK");
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(BuildSettingsPanel());
    layout->addWidget(BuildStatusArea(), 1);
    return page;
}

// The commands stay in view; folding hides the settings below them and
// gives the status log their room.
QWidget* TfrmQLK::BuildSettingsPanel() {
    pnlSettings_ = Named(new QFrame, "pnlSettings");
    settingsBoxes_ = Named(new QWidget(pnlSettings_), "pnlSettingBoxes");
    auto* boxes = new QHBoxLayout(settingsBoxes_);
    boxes->setContentsMargins(0, 0, 0, 0);
    boxes->addWidget(BuildScheduleBox());
    boxes->addWidget(BuildConnectionBox());
    boxes->addWidget(BuildServersBox(), 1);

    auto* layout = new QVBoxLayout(pnlSettings_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(BuildCommandRow());
    layout->addWidget(settingsBoxes_);
    return pnlSettings_;
}

QWidget* TfrmQLK::BuildScheduleBox() {
    auto* box = new QGroupBox(QStringLiteral("Schedule"));
    spnCheckTime_ = Named(new QSpinBox(box), "spnCheckTime");
    spnCheckTime_->setRange(1, 999);
    spnCheckTime_->setValue(15);
    spnCheckTime_->setToolTip(QStringLiteral("Select Delay Between Mail Transfers"));
    connect(spnCheckTime_, &QSpinBox::valueChanged, this,
            [this](int minutes) { scheduler_->spnCheckTimeChange(minutes); });

    auto* delayRow = new QHBoxLayout;
    delayRow->addWidget(new QLabel(QStringLiteral("Transfer every"), box));
    delayRow->addWidget(spnCheckTime_);
    delayRow->addWidget(Named(new QLabel(QStringLiteral("Minutes"), box), "lblMinutes"));
    delayRow->addStretch();

    auto* dayRow = new QHBoxLayout;
    dayRow->setSpacing(4);
    for (std::size_t day = 0; day < days_.size(); ++day) {
        days_[day] = NewCheckBox(kDayNames[day], kDayCaptions[day], day < 5, box);
        days_[day]->setToolTip(QStringLiteral("Check Mail on This Day?"));
        dayRow->addWidget(days_[day]);
    }
    dayRow->addStretch();

    dtpStart_ = Named(new QTimeEdit(QTime(8, 0), box), "dtpStart");
    dtpStart_->setToolTip(QStringLiteral("Daily Start Time For Transfer"));
    dtpStop_ = Named(new QTimeEdit(QTime(18, 0), box), "dtpStop");
    dtpStop_->setToolTip(QStringLiteral("Daily End Time For Transfers"));
    for (QTimeEdit* picker : {dtpStart_, dtpStop_}) picker->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    auto* timeRow = new QHBoxLayout;
    timeRow->addWidget(new QLabel(QStringLiteral("Daily from"), box));
    timeRow->addWidget(dtpStart_);
    timeRow->addWidget(new QLabel(QStringLiteral("to"), box));
    timeRow->addWidget(dtpStop_);
    timeRow->addStretch();

    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(kBoxMargins);
    layout->addLayout(delayRow);
    layout->addLayout(dayRow);
    layout->addLayout(timeRow);
    layout->addStretch();
    return box;
}

QWidget* TfrmQLK::BuildConnectionBox() {
    auto* box = new QGroupBox(QStringLiteral("Internet Connection"));
    cmbConnection_ = Named(new QComboBox(box), "cmbConnection");
    cmbConnection_->setToolTip(QStringLiteral("Select the Connection for Internet Access"));
    edtRASPassword_ = NewEdit("edtRASPassword", "Dial Up Networking Email Password", box);
    ShowAsAsterisks(edtRASPassword_);
    chkCheckforUpdate_ = NewCheckBox("chkCheckforUpdate", "Check for Update", true, box);

    auto* layout = new QGridLayout(box);
    layout->setContentsMargins(kBoxMargins);
    layout->addWidget(new QLabel(QStringLiteral("Connect by"), box), 0, 0);
    layout->addWidget(cmbConnection_, 0, 1);
    layout->addWidget(new QLabel(QStringLiteral("Password"), box), 1, 0);
    layout->addWidget(edtRASPassword_, 1, 1);
    layout->addWidget(chkCheckforUpdate_, 2, 0, 1, 2);
    layout->setColumnStretch(1, 1);
    layout->setRowStretch(3, 1);
    return box;
}

QWidget* TfrmQLK::BuildServersBox() {
    auto* box = new QGroupBox(QStringLiteral("Mail Server and Administrator"));
    edtSMTP_ = NewEdit("edtSMTP", "Outgoing Mail Server", box);
    edtRelayUser_ = NewEdit("edtRelayUser",
                            "The office's log-in at the relay; empty: each sender's own, when asked", box);
    edtRelayPassword_ = NewEdit("edtRelayPassword", "The office's password at the relay", box);
    ShowAsAsterisks(edtRelayPassword_);
    edtAdminInet_ = NewEdit("edtAdminInet", nullptr, box);
    edtAdminMAPI_ = NewEdit("edtAdminMAPI", "Administrator MS Mail Name (i.e. MS Mail \"To:\" name)", box);
    ccadmin_ = NewCheckBox("ccadmin", "CC: Administrator", false, box);
    ccadmin_->setToolTip(
        QStringLiteral("When checked QLK will send a copy of all messages to administrator(s)"));
    // Room for a whole server name or address.
    for (QLineEdit* edit : {edtSMTP_, edtAdminInet_, edtAdminMAPI_})
        edit->setMinimumWidth(edit->fontMetrics().averageCharWidth() * 30);

    auto* layout = new QFormLayout(box);
    layout->setContentsMargins(kBoxMargins);
    layout->addRow(QStringLiteral("Outgoing Mail (SMTP)"), edtSMTP_);
    auto* relayAccount = new QHBoxLayout;
    relayAccount->addWidget(edtRelayUser_);
    relayAccount->addWidget(edtRelayPassword_);
    layout->addRow(QStringLiteral("Relay Log-in"), relayAccount);
    layout->addRow(Named(new QLabel(QStringLiteral("Administrator Internet"), box), "lblAdminInet"),
                   edtAdminInet_);
    layout->addRow(QStringLiteral("Administrator MS Mail"), edtAdminMAPI_);
    layout->addRow(QString(), ccadmin_);
    return box;
}

QWidget* TfrmQLK::BuildAboutPanel() {
    pnlAbout_ = Named(new QFrame, "pnlAbout");
    pnlAbout_->setCursor(Qt::PointingHandCursor);
    VRTLogo_ = Named(new QLabel(pnlAbout_), "VRTLogo");
    VRTLogo_->setPixmap(QPixmap(QStringLiteral(":/images/logo.bmp"))
                            .scaledToHeight(btnActive_->sizeHint().height(), Qt::SmoothTransformation));
    auto* caption =
        Named(new QLabel(QStringLiteral("Click on Our Logo for More Info"), pnlAbout_), "lblLogo");
    auto* layout = new QHBoxLayout(pnlAbout_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(caption);
    layout->addWidget(VRTLogo_);
    pnlAbout_->installEventFilter(this);
    VRTLogo_->installEventFilter(this);
    return pnlAbout_;
}

QBoxLayout* TfrmQLK::BuildCommandRow() {
    btnActive_ = NewButton("btnActive", RunningCaption, "Press to Stop Service", nullptr);
    btnActive_->setIconSize(QSize(24, 24));
    QFont bold = btnActive_->font();
    bold.setBold(true);
    btnActive_->setFont(bold);
    btnGrabNow_ = NewButton("btnGrabNow", "Transfer &Now", "Transfer Mail Now", nullptr);
    new DefaultButton(this, btnGrabNow_);
    auto* btnTech = NewButton("btnTech", "Tech Support", nullptr, nullptr);
    auto* btnHelp = NewButton("btnHelp", "Help", nullptr, nullptr);

    connect(btnActive_, &QPushButton::clicked, this, &TfrmQLK::btnActiveClick);
    connect(btnGrabNow_, &QPushButton::clicked, this, &TfrmQLK::btnGrabNowClick);
    connect(btnTech, &QPushButton::clicked, this, &TfrmQLK::btnTechClick);
    connect(btnHelp, &QPushButton::clicked, this, &TfrmQLK::btnHelpClick);

    auto* row = new QHBoxLayout;
    for (QPushButton* button : {btnActive_, btnGrabNow_, btnTech, btnHelp}) row->addWidget(button);
    row->addStretch();
    row->addWidget(BuildAboutPanel());
    return row;
}

QWidget* TfrmQLK::BuildStatusArea() {
    auto* area = new QWidget;
    mmoStatus_ = new StatusView(area);
    connect(mmoStatus_, &StatusView::Clicked, this, &TfrmQLK::mmoStatusMouseDown);
    barProgress_ = Named(new QProgressBar(area), "barProgress");
    barProgress_->setRange(0, 100);
    barProgress_->setValue(0);
    barProgress_->setTextVisible(false);
    barProgress_->setMaximumHeight(12);

    auto* detailBox = Named(new QGroupBox(QStringLiteral("Log Detail Level"), area), "rgpLogDetail");
    rgpLogDetail_ = new QButtonGroup(detailBox);
    auto* detailRow = new QHBoxLayout(detailBox);
    for (int level = 0; level < static_cast<int>(kDetailLevels.size()); ++level) {
        auto* item = new QRadioButton(QString::fromLatin1(kDetailLevels[level]), detailBox);
        item->setObjectName(QStringLiteral("rgpLogDetail%1").arg(level));
        rgpLogDetail_->addButton(item, level);
        detailRow->addWidget(item);
    }
    rgpLogDetail_->button(3)->setChecked(true);

    auto* btnClearStatus = NewButton("btnClearStatus", "Clear", "Clear The Status and Log Window", area);
    auto* btnPrintLog = NewButton("btnPrintLog", "Print Log", nullptr, area);
    auto* btnSaveRTF =
        NewButton("btnSaveRTF", "Save RTF", "Save Log File as Rich-Text (Save Color Information)", area);
    connect(btnClearStatus, &QPushButton::clicked, this, &TfrmQLK::btnClearStatusClick);
    connect(btnPrintLog, &QPushButton::clicked, this, &TfrmQLK::btnPrintLogClick);
    connect(btnSaveRTF, &QPushButton::clicked, this, &TfrmQLK::btnSaveRTFClick);

    auto* bottomRow = new QHBoxLayout;
    bottomRow->addWidget(detailBox);
    bottomRow->addStretch();
    for (QPushButton* button : {btnClearStatus, btnPrintLog, btnSaveRTF})
        bottomRow->addWidget(button, 0, Qt::AlignBottom);

    auto* layout = new QVBoxLayout(area);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(mmoStatus_, 1);
    layout->addWidget(barProgress_);
    layout->addLayout(bottomRow);
    return area;
}

QWidget* TfrmQLK::BuildMailboxesPage() {
    auto* page = Named(new QWidget, "tabMailboxes");
    auto* pnlUsers = Named(new QWidget(page), "pnlUsers");
    usersArea_ = new QVBoxLayout(pnlUsers);
    usersArea_->setContentsMargins(0, 0, 0, 0);

    auto* btnPostAdmin = NewButton("btnPostAdmin", "Administer Postoffice", nullptr, page);
    auto* btnProfiles = NewButton("btnProfiles", "Edit Mail Profiles", nullptr, page);
    connect(btnPostAdmin, &QPushButton::clicked, this, &TfrmQLK::btnPostAdminClick);
    connect(btnProfiles, &QPushButton::clicked, this, &TfrmQLK::btnProfilesClick);
    chkShowHeaders_ = NewCheckBox("chkShowHeaders", "Show Internet Headers", false, page);

    // Settings that only QLK.CFG sets: they exist to carry the values, never shown.
    chkLog_ = NewCheckBox("chkLog", "Log to File", true, page);
    chkTimestamp_ = NewCheckBox("chkTimestamp", "Timestamp", true, page);
    chkTimestamp_->setToolTip(
        QStringLiteral("Show Timestamp in Status Window (Timestamps are Always Shown in Logfile)"));
    edtLogto_ = NewEdit("edtLogto", nullptr, page);
    edtLogto_->setText(QStringLiteral("QLKLOG.TXT"));
    edtDefaultPop3_ = NewEdit("edtDefaultPop3", nullptr, page);
    chkDelete_ = NewCheckBox("chkDelete", "Delete Mail From Postoffice", false, page);
    for (QWidget* hidden :
         std::initializer_list<QWidget*>{chkLog_, chkTimestamp_, edtLogto_, edtDefaultPop3_, chkDelete_}) {
        hidden->hide();
    }
    ConnectLogSettings();

    auto* bottomRow = new QHBoxLayout;
    bottomRow->addWidget(btnPostAdmin);
    bottomRow->addWidget(btnProfiles);
    bottomRow->addStretch();
    bottomRow->addWidget(chkShowHeaders_);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(pnlUsers, 1);
    layout->addLayout(bottomRow);
    return page;
}

// The log reads its settings from these controls whenever they change.
void TfrmQLK::ConnectLogSettings() {
    connect(rgpLogDetail_, &QButtonGroup::idToggled, this,
            [this] { log_.DetailLevel = rgpLogDetail_->checkedId(); });
    connect(chkLog_, &QCheckBox::toggled, this, [this](bool on) { log_.LogToFile = on; });
    connect(chkTimestamp_, &QCheckBox::toggled, this, [this](bool on) { log_.TimestampInWindow = on; });
    connect(edtLogto_, &QLineEdit::textChanged, this,
            [this](const QString& name) { log_.LogFileName = ToCoreText(name, applied_.LogFileName); });
}

void TfrmQLK::CenterOnScreen() {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void TfrmQLK::AttachUsersPanel(QWidget* panel) {
    usersArea_->addWidget(panel);
}

bool TfrmQLK::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == pnlAbout_ || watched == VRTLogo_) && event->type() == QEvent::MouseButtonPress) {
        pnlAboutClick();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

// ---------------------------------------------------------------- start and end

void TfrmQLK::FormCreate() {
    edtInfo_->clear();
    edtInfo_->setText(
        QStringLiteral("Quelmark %1  -  mail gateway for small offices, by the Quelmark developers")
            .arg(QString::fromLatin1(VersionText)));

    log_.SetView(mmoStatus_);
    gateway_.StartUp();
    FillConnectionList();
    ReadConfiguration();

    ShowServiceState(true);
    LoadButtonImage("go.bmp");
    tmrCheckMail_->SetInterval(DelayIntervalMs());
    tmrCheckMail_->SetEnabled(true);
}

void TfrmQLK::FillConnectionList() {
    cmbConnection_->clear();
    for (const std::string& entry : QLKRAS_->Entries()) cmbConnection_->addItem(FromCoreText(entry));
    cmbConnection_->insertItem(0, QStringLiteral("Use Network"));
    cmbConnection_->setCurrentIndex(0);
}

void TfrmQLK::CloseUserTable() {
    users_.CloseTable();
}

void TfrmQLK::ReadConfiguration() {
    Settings settings = CurrentSettings();
    config_.ReadConfiguration(settings);
    ApplySettings(settings);
}

void TfrmQLK::SaveConfiguration() {
    try {
        config_.SaveConfiguration(CurrentSettings());
    } catch (const std::exception& error) {
        log_.WriteLog(error.what(), 0);
    }
}

void TfrmQLK::closeEvent(QCloseEvent* event) {
    // A stop request may come while the question waits: it wins over "Cancel".
    if (!shutDown_ && confirmClose_ && !AskToShutDown() && !shutDown_ && !closing_) {
        event->ignore();
        return;
    }
    ShutDownInOrder();
    event->setAccepted(shutDown_);
}

// A running transfer first finishes the message in hand and reports; only
// then are the line, the table and the settings closed.
void TfrmQLK::ShutDownInOrder() {
    if (shutDown_) return;
    if (gateway_.Cycle().Busy) {
        CloseWhenTransferEnds();
        return;
    }
    // Abort hangs up, and ends a dial still waiting for its line.
    QLKRAS_->Abort();
    FormDestroy();
}

void TfrmQLK::CloseWhenTransferEnds() {
    if (closing_) return;
    closing_ = true;
    confirmClose_ = false;
    tmrCheckMail_->SetEnabled(false);
    log_.WriteLog("Shutting down once the transfer has finished the message in hand", 1);
    auto* idle = new QTimer(this);
    connect(idle, &QTimer::timeout, this, [this, idle] {
        if (gateway_.Cycle().Busy) return;
        idle->stop();
        close();
    });
    idle->start(kCloseWaitMs);
}

bool TfrmQLK::AskToShutDown() {
    askingToClose_ = true;
    const bool yes = desktop_.ConfirmOkCancel(this, QString::fromLatin1(ShutDownQuestion));
    askingToClose_ = false;
    return yes;
}

void TfrmQLK::FormDestroy() {
    shutDown_ = true;
    tmrCheckMail_->SetEnabled(false);
    log_.WriteLog("Closing User Database", 3);
    CloseUserTable();
    SaveConfiguration();
    // The window's last lines reach QLKLOG.RTF, for the next start.
    log_.Flush();
    emit ShutDownFinished();
}

void TfrmQLK::CloseWithoutAsking() {
    confirmClose_ = false;
    // While the close question is open, close() does nothing: the stop
    // request must not wait for the answer, nor be undone by "Cancel".
    if (askingToClose_) ShutDownInOrder();
    close();
}

// ---------------------------------------------------------------- settings

Settings TfrmQLK::CurrentSettings() const {
    Settings settings;
    // A stored connection this start does not list stays stored until the operator picks another.
    const int connection = cmbConnection_->currentIndex();
    settings.ConnectionIndex = connection >= 0 ? connection : applied_.ConnectionIndex;
    settings.DelayMinutes = spnCheckTime_->value();
    for (std::size_t day = 0; day < days_.size(); ++day) settings.Days[day] = days_[day]->isChecked();
    settings.StartTime = QTime(0, 0).secsTo(dtpStart_->time());
    settings.StopTime = QTime(0, 0).secsTo(dtpStop_->time());
    settings.LogToFile = chkLog_->isChecked();
    settings.LogFileName = ToCoreText(edtLogto_->text(), applied_.LogFileName);
    settings.TimestampInWindow = chkTimestamp_->isChecked();
    settings.LogDetailLevel = rgpLogDetail_->checkedId();
    settings.SMTPServer = ToCoreText(edtSMTP_->text(), applied_.SMTPServer);
    settings.DefaultPOP3Server = ToCoreText(edtDefaultPop3_->text(), applied_.DefaultPOP3Server);
    settings.DialupPassword = ToCoreText(edtRASPassword_->text(), applied_.DialupPassword);
    settings.DeleteMailFromMAPI = chkDelete_->isChecked();
    settings.AdminInternetAddress = ToCoreText(edtAdminInet_->text(), applied_.AdminInternetAddress);
    settings.AdminMAPIName = ToCoreText(edtAdminMAPI_->text(), applied_.AdminMAPIName);
    settings.CCAdmin = ccadmin_->isChecked();
    settings.ShowInternetHeaders = chkShowHeaders_->isChecked();
    settings.AutoUpdate = chkCheckforUpdate_->isChecked();
    settings.SMTPRelayUser = ToCoreText(edtRelayUser_->text(), applied_.SMTPRelayUser);
    settings.SMTPRelayPassword = ToCoreText(edtRelayPassword_->text(), applied_.SMTPRelayPassword);
    settings.MessageSizeLimit = applied_.MessageSizeLimit;  // only QLK.CFG sets it
    settings.MaxMessagesPerSession = applied_.MaxMessagesPerSession;
    settings.KeepMessageCopies = applied_.KeepMessageCopies;
    return settings;
}

void TfrmQLK::ApplySettings(const Settings& settings) {
    applied_ = settings;
    const bool listed = settings.ConnectionIndex >= 0 && settings.ConnectionIndex < cmbConnection_->count();
    cmbConnection_->setCurrentIndex(listed ? settings.ConnectionIndex : -1);
    spnCheckTime_->setValue(settings.DelayMinutes);
    for (std::size_t day = 0; day < days_.size(); ++day) days_[day]->setChecked(settings.Days[day]);
    dtpStart_->setTime(TimeOfDay(settings.StartTime));
    dtpStop_->setTime(TimeOfDay(settings.StopTime));
    chkLog_->setChecked(settings.LogToFile);
    edtLogto_->setText(FromCoreText(settings.LogFileName));
    chkTimestamp_->setChecked(settings.TimestampInWindow);
    if (QAbstractButton* item = rgpLogDetail_->button(settings.LogDetailLevel)) {
        item->setChecked(true);
    } else {
        // An exclusive group cannot uncheck its last item; -1 selects none.
        rgpLogDetail_->setExclusive(false);
        for (QAbstractButton* any : rgpLogDetail_->buttons()) any->setChecked(false);
        rgpLogDetail_->setExclusive(true);
        log_.DetailLevel = -1;
    }
    edtSMTP_->setText(FromCoreText(settings.SMTPServer));
    edtRelayUser_->setText(FromCoreText(settings.SMTPRelayUser));
    edtRelayPassword_->setText(FromCoreText(settings.SMTPRelayPassword));
    edtDefaultPop3_->setText(FromCoreText(settings.DefaultPOP3Server));
    edtRASPassword_->setText(FromCoreText(settings.DialupPassword));
    chkDelete_->setChecked(settings.DeleteMailFromMAPI);
    edtAdminInet_->setText(FromCoreText(settings.AdminInternetAddress));
    edtAdminMAPI_->setText(FromCoreText(settings.AdminMAPIName));
    ccadmin_->setChecked(settings.CCAdmin);
    chkShowHeaders_->setChecked(settings.ShowInternetHeaders);
    chkCheckforUpdate_->setChecked(settings.AutoUpdate);
}

int TfrmQLK::DelayIntervalMs() const {
    return spnCheckTime_->value() * MinutesMs;
}

// ---------------------------------------------------------------- service state

bool TfrmQLK::ServiceRunning() const {
    return scheduler_->Running();
}

void TfrmQLK::btnActiveClick() {
    const bool start = !scheduler_->Running();
    ShowServiceState(start);
    log_.WriteLog(start ? "Service started: transfers follow the schedule"
                        : "Service stopped: no scheduled transfers until it is started",
                  1);
    LoadButtonImage(start ? "go.bmp" : "stop.bmp");
}

void TfrmQLK::ShowServiceState(bool running) {
    btnActive_->setText(QString::fromLatin1(running ? RunningCaption : StoppedCaption));
    QPalette colours = btnActive_->palette();
    colours.setColor(QPalette::ButtonText, running ? kRunningColor : kStoppedColor);
    btnActive_->setPalette(colours);
    scheduler_->SetRunning(running);
    btnActive_->setToolTip(running ? QStringLiteral("Press to Stop Service")
                                   : QStringLiteral("Press to Start Service"));
}

// An office's own image in the working folder wins over the shipped one; a
// missing one is reported and the state already switched stays.
void TfrmQLK::LoadButtonImage(const char* fileName) {
    const QString path =
        WorkFolderOrShippedFile(QString::fromStdString(workFolder_.string()), QString::fromLatin1(fileName));
    QPixmap image;
    if (path.isEmpty() || !image.load(path)) {
        desktop_.ShowError(this, QString::fromStdString(EFOpenError(fileName).what()));
        return;
    }
    btnActive_->setIcon(QIcon(image));
}

// A gateway that is shutting down starts no further transfer.
void TfrmQLK::tmrCheckMailTimer() {
    if (!closing_) scheduler_->tmrCheckMailTimer();
}

// ---------------------------------------------------------------- commands

void TfrmQLK::btnGrabNowClick() {
    if (!closing_) scheduler_->btnGrabNowClick();
}

void TfrmQLK::btnTechClick() {
    tmrCheckMail_->SetEnabled(false);
    ShowTechSupport();
    tmrCheckMail_->SetEnabled(true);
}

void TfrmQLK::ShowTechSupport() {
    TfrmTech tech([this] { ShowEmailTechSupport(); }, this);
    desktop_.RunModal(tech);
}

void TfrmQLK::ShowEmailTechSupport() {
    TfrmEmail email(desktop_, workFolder_, edtLogto_->text(), this);
    desktop_.RunModal(email);
}

void TfrmQLK::pnlAboutClick() {
    TfrmAbout about([this] { AboutTechSupportClick(); }, this);
    desktop_.RunModal(about);
}

void TfrmQLK::AboutTechSupportClick() {
    bool& busy = gateway_.Cycle().Busy;
    if (busy) {
        desktop_.ShowMessage(this, QStringLiteral("This cannot be done while QLK is busy"));
        return;
    }
    busy = true;
    tmrCheckMail_->SetEnabled(false);
    ShowTechSupport();
    busy = false;
    tmrCheckMail_->SetEnabled(true);
}

void TfrmQLK::btnHelpClick() {
    const QString page = ShippedFilePath(QStringLiteral("help/index.html"));
    if (page.isEmpty()) {
        desktop_.ShowError(this, QString::fromStdString(EFOpenError("help/index.html").what()));
    } else if (!desktop_.OpenUrl(QUrl::fromLocalFile(page))) {
        desktop_.ShowError(this, QStringLiteral("No web browser could open the help page %1").arg(page));
    }
}

void TfrmQLK::btnPostAdminClick() {
    TfrmPostOffice::Administer(desktop_, workFolder_, this);
}

void TfrmQLK::btnProfilesClick() {
    TfrmPostOffice::EditProfiles(desktop_, workFolder_, this);
}

void TfrmQLK::mmoStatusMouseDown() {
    settingsBoxes_->setVisible(settingsBoxes_->isHidden());
}

bool TfrmQLK::SettingsFolded() const {
    return settingsBoxes_->isHidden();
}

// ---------------------------------------------------------------- status log commands

void TfrmQLK::btnClearStatusClick() {
    const bool deleteFiles =
        desktop_.AskYesNo(this, QStringLiteral("Confirmation"), QStringLiteral("Delete Log From Disk?"));
    log_.Clear(deleteFiles);
}

void TfrmQLK::btnPrintLogClick() {
    QPrinter printer;
    printer.setDocName(QStringLiteral("QLK LOG"));
    if (desktop_.ChoosePrinter(this, printer)) PrintLog(printer);
}

void TfrmQLK::PrintLog(QPrinter& printer) {
    printer.setDocName(QStringLiteral("QLK LOG"));
    mmoStatus_->document()->print(&printer);
}

void TfrmQLK::btnSaveRTFClick() {
    try {
        log_.SaveRtf();
        desktop_.ShowMessage(this, QStringLiteral("Log Saved As QLKLOG.RTF"));
    } catch (const std::exception& error) {
        desktop_.ShowError(this, QString::fromStdString(error.what()));
    }
}

// ---------------------------------------------------------------- network events

void TfrmQLK::SMTPProgress(int percent) {
    gateway_.ShowProgress(percent);
}

void TfrmQLK::POPProgress(int percent) {
    gateway_.ShowProgress(percent);
}

void TfrmQLK::SetProgress(int percent) {
    barProgress_->setValue(percent);
}

void TfrmQLK::EnableTransferNow(bool enabled) {
    btnGrabNow_->setEnabled(enabled);
}

}  // namespace qlk
