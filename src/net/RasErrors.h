#pragma once

#include <string>

namespace qlk {

// Error numbers of dial-up calls, numbered as the dial-up service numbers
// them, so that a code in an old log still means the same.
enum RasError : int {
    reCannotFindEntry = 623,
    reRemoteDisconnection = 629,
    reUserDisconnection = 631,
    rePortNotAvailable = 633,
    reUnknown = 635,
    reDeviceError = 651,
    reLineBusy = 676,
    reNoAnswer = 678,
    reNoCarrier = 679,
    reNoDialTone = 680,
    reAuthenticationFailure = 691,
    reServiceCannotStart = 711,
    rePppTimeout = 718,
    reNegotiationFailed = 734,
    reScriptFailed = 752,
};

// The readable text of CODE; empty when the code is not one of the above.
std::string RasErrorText(int code);

// The text of CODE followed by what the link tool itself said (DETAIL, made
// printable and cut short) when CODE is one of the general failures that
// the tool's own words explain better.
std::string RasErrorText(int code, const std::string& detail);

}  // namespace qlk
