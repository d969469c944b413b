#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "gateway/ConfigurationFile.h"
#include "gateway/InboundTransfer.h"
#include "gateway/OutboundTransfer.h"
#include "gateway/Settings.h"
#include "gateway/StatusLog.h"
#include "gateway/TransferCycle.h"
#include "gateway/UpdateCheck.h"
#include "gateway/UserDirectory.h"
#include "message/TmsMessage.h"
#include "net/TagFTP.h"
#include "net/TmsRemotePOP.h"
#include "net/TmsSMTP.h"

namespace qlk {

class DialUpConnection;
class SimpleMapi;
class TEmail;
class TransferDisplay;

// The long-lived objects of the gateway, one of each, shared by the
// transfers: the status log, QLK.CFG, the user table, the POP3 client
// storing into QLKMSG/, the SMTP client bound to the one Internet message,
// the post-office session (profile "Internet"), the transfer cycle, the
// inbound transfer, and the FTP client with the update check. The desktop
// window and the headless front end both drive this same core.
class Gateway {
public:
    static constexpr const char* MessageFolder = "QLKMSG";
    static constexpr const char* AttachmentFolder = "QLKATT";
    // Certificates trusted for TLS besides the system's, when present.
    static constexpr const char* TrustFile = "QLKCA.PEM";
    // The POP3 hosts that have offered TLS, so that none is used without it later.
    static constexpr const char* TlsHostsFile = "QLKTLS.TXT";

    // SHOWMESSAGE informs the operator without waiting (a damaged QLK.CFG).
    Gateway(std::filesystem::path workFolder, std::function<void(const std::string&)> showMessage);
    // The same over a given post-office loader instead of MAPI.INI's.
    Gateway(std::filesystem::path workFolder, std::function<void(const std::string&)> showMessage,
            std::shared_ptr<SimpleMapi> postOffice);
    ~Gateway();
    Gateway(const Gateway&) = delete;
    Gateway& operator=(const Gateway&) = delete;

    const std::filesystem::path& WorkFolder() const { return workFolder_; }
    StatusLog& Log() { return log_; }
    ConfigurationFile& Config() { return config_; }
    UserDirectory& Users() { return users_; }
    TmsRemotePOP& POP() { return pop_; }
    TmsSMTP& SMTP() { return smtp_; }
    TmsMessage& InetMsg() { return inetmsg_; }
    TEmail& MAPI() { return *mapi_; }
    TransferCycle& Cycle() { return cycle_; }
    OutboundTransfer& Outbound() { return outbound_; }
    TagFTP& FTP() { return ftp_; }
    UpdateCheck& Update() { return update_; }

    // Empties the Internet message (content type "text/plain") and the
    // post-office message's recipients, attachments, subject and text;
    // before every message, inbound and outbound.
    void ResetMessageObjects();

    // Where the settings in force come from: the window's controls, or
    // the record that UseSettings keeps.
    std::function<Settings()> SettingsSource;
    Settings CurrentSettings() const;
    // For a front end without controls: keeps SETTINGS as the ones in force
    // and gives the status log its share of them.
    void UseSettings(const Settings& settings);

    // The start of every run: the status window restored from QLKLOG.RTF,
    // the welcome line, the work folders, the user table.
    void StartUp();
    void CreateWorkFolders();

    // The dial-up component and the window's progress bar and button; both
    // may be none. The component's status texts and hang-ups go to the log.
    void SetRAS(DialUpConnection* ras);
    void SetDisplay(TransferDisplay* display);
    // Progress of a transfer: 100 puts the bar back to 0. Runs the event pump.
    void ShowProgress(int percent);

    // The POP3 and SMTP clients' error events. A lost connection ends that
    // user's run only: the messages delivered in it are remembered, so the
    // next session deletes them instead of delivering them again.
    void POPError(std::string& msg);
    void SMTPError(std::string& msg);

    // What the operator does when there is no post office.
    static constexpr const char* PostOfficeAdvice =
        "Set one up with \"Administer Postoffice\" on the Mailboxes page, or with qlkpo init; it is used "
        "from the next transfer on.";

private:
    void WireClients();
    // A MAPI.INI created or changed since the post office was loaded takes
    // effect at the start of the next cycle.
    void FollowMapiIni();
    void SendOutgoingMail();

    std::filesystem::path workFolder_;
    StatusLog log_;
    ConfigurationFile config_;
    UserDirectory users_;
    TmsMessage inetmsg_;
    TmsSMTP smtp_;
    TmsRemotePOP pop_;
    std::shared_ptr<SimpleMapi> postOffice_;
    std::unique_ptr<TEmail> mapi_;
    TransferCycle cycle_;
    InboundTransfer inbound_;
    OutboundTransfer outbound_;
    TagFTP ftp_;
    UpdateCheck update_;
    TransferDisplay* display_ = nullptr;
    Settings settings_;
};

}  // namespace qlk
