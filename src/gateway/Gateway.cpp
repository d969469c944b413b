#include "gateway/Gateway.h"

#include <algorithm>
#include <fstream>
#include <system_error>

#include "gateway/TransferDisplay.h"
#include "gateway/Version.h"
#include "mapi/EMAPIunavailable.h"
#include "mapi/SimpleMapi.h"
#include "mapi/TEmail.h"
#include "net/DialUpConnection.h"
#include "platform/EFCreateError.h"
#include "platform/EStreamError.h"
#include "platform/EventPump.h"

namespace qlk {

namespace {

// A copy of a retrieved message, kept for diagnosis when the settings ask:
// the server keeps the message until the post office holds its own copy on
// disk, and the next run removes what is left. Syncing the copy to the disk
// would protect nothing and cost every message two waits for the disk.
void WriteWorkingCopy(const std::string& path, const std::string& contents) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) throw EFCreateError(path);
    file.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    file.close();
    if (!file) throw EStreamError::Write();
}

}  // namespace

Gateway::Gateway(std::filesystem::path workFolder, std::function<void(const std::string&)> showMessage)
    : workFolder_(std::move(workFolder)),
      log_(workFolder_),
      config_(workFolder_, log_, std::move(showMessage)),
      users_(workFolder_, [this](const std::string& text, int level) { log_.WriteLog(text, level); }),
      postOffice_(SimpleMapi::Load(workFolder_)),
      mapi_(TEmail::ForGateway(postOffice_)),
      cycle_(log_, users_.Table(), pop_, workFolder_),
      inbound_(*this),
      outbound_(*this),
      update_(ftp_, workFolder_, [this](const std::string& text, int level) { log_.WriteLog(text, level); }) {
    WireClients();
}

Gateway::Gateway(std::filesystem::path workFolder, std::function<void(const std::string&)> showMessage,
                 std::shared_ptr<SimpleMapi> postOffice)
    : Gateway(std::move(workFolder), std::move(showMessage)) {
    postOffice_ = std::move(postOffice);
    mapi_ = TEmail::ForGateway(postOffice_);
}

Gateway::~Gateway() = default;

void Gateway::WireClients() {
    inetmsg_.SetContentType("text/plain");
    inetmsg_.SetReturnReceipt(false);
    smtp_.DefaultPort = 25;
    smtp_.MailMessage = &inetmsg_;
    smtp_.OnError = [this](TagSocket&, std::string& msg) { SMTPError(msg); };
    smtp_.OnProgress = [this](TagSocket&, int percent, long long) { ShowProgress(percent); };
    pop_.DefaultPort = 110;
    pop_.SessionFloorSeconds = InboundTransfer::SessionFloorSeconds;
    pop_.SessionMinBytesPerSecond = InboundTransfer::SessionMinBytesPerSecond;
    pop_.SetMessageDirectory((workFolder_ / MessageFolder).string());
    // The office's own trust anchors for TLS live in the working folder.
    pop_.TrustFileName = smtp_.TrustFileName = (workFolder_ / TrustFile).string();
    pop_.TlsHostsFileName = (workFolder_ / TlsHostsFile).string();
    pop_.OnError = [this](TagSocket&, std::string& msg) { POPError(msg); };
    pop_.OnUserMessageSave = [this](TagSocket&, int num, const std::string& contents) {
        WriteWorkingCopy(pop_.MessageFileName(num), contents);
    };
    pop_.OnProgress = [this](TagSocket&, int percent, long long) { ShowProgress(percent); };
    cycle_.CurrentSettings = [this] { return CurrentSettings(); };
    cycle_.StartingCycle = [this] { FollowMapiIni(); };
    cycle_.GetUserMail = [this] { inbound_.GetUserMail(); };
    cycle_.SendOutgoingMail = [this] { SendOutgoingMail(); };
    users_.TransferRunning = [this] { return cycle_.Busy; };
    cycle_.CheckForUpdate = [this] { update_.CheckForUpdate(); };
    cycle_.AvailableVersion = [this] {
        return update_.UpdateAvailable() ? update_.RemoteVersion() : std::string();
    };
    update_.AutoUpdate = [this] { return CurrentSettings().AutoUpdate; };
    update_.SetProgress = [this](int percent) { ShowProgress(percent); };
}

void Gateway::FollowMapiIni() {
    if (!postOffice_->MapiIniChanged()) return;
    postOffice_ = SimpleMapi::Load(workFolder_);
    mapi_ = TEmail::ForGateway(postOffice_);
    log_.WriteLog(postOffice_->MAPIavail() ? "MAPI.INI has changed: using the post office it names"
                                           : "MAPI.INI has changed: the post office is switched off",
                  1);
}

void Gateway::SendOutgoingMail() {
    try {
        outbound_.SendOutgoingMail();
    } catch (const EMAPIunavailable&) {
        throw EMAPIunavailable(PostOfficeAdvice);
    }
}

void Gateway::ResetMessageObjects() {
    inetmsg_.Clear();
    inetmsg_.SetContentType("text/plain");
    mapi_->Recipient.clear();
    mapi_->CC.clear();
    mapi_->Bcc.clear();
    mapi_->Attachment.clear();
    mapi_->Subject.clear();
    mapi_->Text.clear();
    mapi_->ClearLongText();
}

Settings Gateway::CurrentSettings() const {
    return SettingsSource ? SettingsSource() : settings_;
}

void Gateway::UseSettings(const Settings& settings) {
    settings_ = settings;
    log_.DetailLevel = settings.LogDetailLevel;
    log_.LogToFile = settings.LogToFile;
    log_.TimestampInWindow = settings.TimestampInWindow;
    log_.LogFileName = settings.LogFileName;
}

void Gateway::StartUp() {
    log_.RestoreFromRtf();
    for (int i = 0; i < 3; ++i) log_.WriteLog("", 1);
    log_.WriteLog(std::string("Welcome to QLK - Version ") + VersionText, 1);
    CreateWorkFolders();
    users_.OpenTable();
}

void Gateway::CreateWorkFolders() {
    for (const char* folder : {MessageFolder, AttachmentFolder}) {
        std::error_code ignored;
        std::filesystem::create_directory(workFolder_ / folder, ignored);
    }
}

void Gateway::SetRAS(DialUpConnection* ras) {
    cycle_.RAS = ras;
    if (!ras) return;
    ras->OnStatusChange = [this](const std::string& status) { log_.WriteLog("Dial-Up : " + status, 2); };
    ras->OnDisconnected = [this] { log_.WriteLog("Dial-Up : Disconnected", 2); };
}

void Gateway::SetDisplay(TransferDisplay* display) {
    display_ = display;
    cycle_.Display = display;
}

void Gateway::ShowProgress(int percent) {
    if (display_) display_->SetProgress(percent == 100 ? 0 : std::clamp(percent, 0, 100));
    ProcessMessages();
}

void Gateway::POPError(std::string& msg) {
    log_.WriteLog("POP3 ERROR : " + msg + ".  Contact your ISP this problem persists.", 0);
}

void Gateway::SMTPError(std::string& msg) {
    log_.WriteLog("SMTP ERROR : " + msg + ".  Contact your ISP if problem persists.", 0);
}

}  // namespace qlk
