#pragma once

#include "gateway/Settings.h"

namespace qlk::test {

// Settings with every field away from its default, so that a value that is
// not carried through (to QLK.CFG, to a control and back) shows up.
inline Settings SettingsWithEveryFieldChanged() {
    Settings s;
    s.ConnectionIndex = 2;
    s.DelayMinutes = 42;
    s.Days = {false, true, false, true, false, true, true};
    s.StartTime = 22 * 3600 + 30 * 60 + 15;
    s.StopTime = 6 * 3600;
    s.LogToFile = false;
    s.LogFileName = "logs/gateway.txt";
    s.TimestampInWindow = false;
    s.LogDetailLevel = 1;
    s.SMTPServer = "smtp.example.com";
    s.DefaultPOP3Server = "pop.example.com";
    s.DialupPassword = "s3cret pass";
    s.DeleteMailFromMAPI = true;
    s.AdminInternetAddress = "admin@example.com";
    s.AdminMAPIName = "Admin";
    s.CCAdmin = true;
    s.ShowInternetHeaders = true;
    s.AutoUpdate = false;
    s.MessageSizeLimit = 5000000;
    s.SMTPRelayUser = "office@example.com";
    s.SMTPRelayPassword = "relay pass";
    s.MaxMessagesPerSession = 250;
    s.KeepMessageCopies = true;
    return s;
}

}  // namespace qlk::test
