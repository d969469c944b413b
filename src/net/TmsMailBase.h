#pragma once

#include <string>

#include "net/TagSocket.h"

namespace qlk {

// The base of the mail clients: a connection with a session that is started
// by Login and ended by Logout.
class TmsMailBase : public TagSocket {
public:
    TmsMailBase() { SetTimeOut(60); }

    virtual void Login() = 0;
    virtual void Logout() = 0;

    // Opens and logs in unless connected already.
    void Connect();
    // Logs out and closes while connected; a Logout that raises leaves the
    // connection open.
    void Disconnect();

protected:
    // Sends one command line. A command built from a value that holds CR or
    // LF would smuggle a second command to the server: it is refused before
    // anything is sent.
    void SendCommand(const std::string& line);
    // Refuses a value that would break a command line, before anything is sent.
    void CheckCommandValue(const std::string& what, const std::string& value);
};

}  // namespace qlk
