#pragma once

#include <functional>
#include <string>
#include <vector>

#include "net/DialUpLink.h"

namespace qlk {

// The dial-up component as the transfer cycle drives it: choose an entry of
// the phone book and its password, dial it, and hang up afterwards. Dial
// raises an error with a readable message on failure (a busy line says "the
// line is busy"); Abort also makes a dial in progress end.
class DialUpConnection : public DialUpLink {
public:
    // The phone book's entry names, in the order the connection list shows them.
    virtual std::vector<std::string> Entries() const = 0;
    // Used when the entry has no stored password.
    virtual void SetPassword(const std::string& password) = 0;
    // The entry to dial.
    virtual void SetService(const std::string& entry) = 0;
    // Ends the connection if this component dialled it.
    virtual void HangUp() = 0;

    // A readable progress text of the call ("Dialing...").
    std::function<void(const std::string& status)> OnStatusChange;
    // A connection this component made has ended.
    std::function<void()> OnDisconnected;
};

}  // namespace qlk
