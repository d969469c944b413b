#pragma once

#include <string>
#include <string_view>

#include "net/TagSocket.h"

namespace qlk {

// The base of the mail clients: a connection with a session that is started
// by Login and ended by Logout.
class TmsMailBase : public TagSocket {
public:
    TmsMailBase() { SetTimeOut(60); }

    virtual void Login() = 0;
    virtual void Logout() = 0;

    // Opens and logs in unless connected already. A connection the server
    // has ended is closed first, so the session starts afresh.
    void Connect();
    // Logs out and closes while connected; a Logout that raises leaves the
    // connection open. A connection the server has ended is only closed.
    void Disconnect();

    // The text a dot-stuffed data block carries: the leading "." of every
    // line taken off again and the final "." line left out.
    static std::string UnstuffDataBlock(std::string_view block);

protected:
    // Sends one command line. A command built from a value that holds CR or
    // LF would smuggle a second command to the server: it is refused before
    // anything is sent.
    void SendCommand(const std::string& line);
    // Refuses a value that would break a command line, before anything is sent.
    void CheckCommandValue(const std::string& what, const std::string& value);
};

}  // namespace qlk
