#include "net/RasErrors.h"

#include <map>

namespace qlk {

std::string RasErrorText(int code) {
    // The busy text must keep the words "the line is busy": the status log
    // arms the early redial on them.
    static const std::map<int, std::string> texts = {
        {reCannotFindEntry, "Cannot find the phone book entry."},
        {reRemoteDisconnection, "The port was disconnected by the remote machine."},
        {reUserDisconnection, "The port was disconnected by the user."},
        {rePortNotAvailable, "The port is already in use or is not configured for dialling out."},
        {reUnknown, "Unknown error."},
        {reDeviceError, "The modem (or other connecting device) has reported an error."},
        {reLineBusy, "The line is busy."},
        {reNoAnswer, "There is no answer."},
        {reNoCarrier, "There is no carrier."},
        {reNoDialTone, "There is no dial tone."},
        {reAuthenticationFailure, "Access was denied because the user name and/or password is invalid."},
        {reServiceCannotStart,
         "The dial-up service could not start (is pppd installed and allowed to run?)."},
        {rePppTimeout, "PPP timed out waiting for a valid response from the remote PPP peer."},
        {reNegotiationFailed, "The PPP link could not be negotiated with the remote computer."},
        {reScriptFailed, "The connect script of the entry failed."},
    };
    auto found = texts.find(code);
    return found == texts.end() ? std::string() : found->second;
}

std::string RasErrorText(int code, const std::string& detail) {
    constexpr std::size_t detailLength = 160;
    std::string text = RasErrorText(code);
    const bool general = code == reUnknown || code == reServiceCannotStart || code == reScriptFailed ||
                         code == reNegotiationFailed;
    std::string clean;
    for (char c : detail) {
        if (c >= 0x20 && c < 0x7f && clean.size() < detailLength) clean += c;
    }
    if (general && !clean.empty()) text += " (" + clean + ")";
    return text;
}

}  // namespace qlk
