#pragma once

#include <array>
#include <string>

namespace qlk {

// Every setting of the gateway, with its default. The window maps these
// plain values onto its controls (ConnectionIndex onto the connection list,
// the times onto its time pickers).
struct Settings {
    static constexpr int SecondsPerDay = 24 * 60 * 60;

    // 0 = "Use Network", n = the n-th dial-up entry; a position the list
    // does not have selects nothing (-1).
    int ConnectionIndex = 0;
    int DelayMinutes = 15;                                                    // 1 to 999
    std::array<bool, 7> Days = {true, true, true, true, true, false, false};  // Monday first
    int StartTime = 8 * 60 * 60;                                              // seconds since midnight
    int StopTime = 18 * 60 * 60;                                              // seconds since midnight
    bool LogToFile = true;
    std::string LogFileName = "QLKLOG.TXT";
    bool TimestampInWindow = true;
    int LogDetailLevel = 3;  // -1 (nothing selected) to 3
    std::string SMTPServer;
    // The office's account at the SMTP relay: when set, every session logs
    // in with it; when empty, a session logs in only when the relay asks,
    // with the sender's own POP3 account.
    std::string SMTPRelayUser;
    std::string SMTPRelayPassword;
    std::string DefaultPOP3Server;
    std::string DialupPassword;
    bool DeleteMailFromMAPI = false;
    std::string AdminInternetAddress;
    std::string AdminMAPIName;
    bool CCAdmin = false;
    bool ShowInternetHeaders = false;
    bool AutoUpdate = true;
    // Larger messages (by the server's own count) stay on the server. The
    // POP3 client's bound on what it reads is the most it can be.
    static constexpr long long MaxMessageSizeLimit = 256LL * 1024 * 1024;
    long long MessageSizeLimit = MaxMessageSizeLimit;
    // Messages fetched from one mailbox in one cycle; the rest wait for the
    // next cycle.
    static constexpr int MaxMessagesPerSessionLimit = 1000000;
    int MaxMessagesPerSession = 10000;
    // Each fetched message is also written to QLKMSG/ (for diagnosis).
    bool KeepMessageCopies = false;

    friend bool operator==(const Settings&, const Settings&) = default;
};

}  // namespace qlk
