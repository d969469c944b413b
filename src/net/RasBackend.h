#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace qlk {

// A connection handle of a back end; NoRasHandle when there is none.
using RasHandle = long long;
inline constexpr RasHandle NoRasHandle = -1;

// Connection states reported while a call is made, numbered as the dial-up
// service numbers them so that stored logs and operators' habits carry over.
enum RasConnState : int {
    rcsOpenPort = 0,
    rcsConnectDevice = 2,
    rcsDeviceConnected = 3,
    rcsAllDevicesConnected = 4,
    rcsAuthenticate = 5,
    rcsAuthenticated = 14,
    rcsStartAuthentication = 19,
    rcsLogonNetwork = 21,
    rcsConnected = 0x2000,
};

struct RasConnection {
    RasHandle Handle = NoRasHandle;
    std::string EntryName;
};

// One progress report of a call: the state reached, and an error code that
// is not 0 when the call failed or ended.
struct RasProgress {
    int State = rcsOpenPort;
    int Error = 0;
};

struct RasDialParams {
    std::string UserName;
    std::string Password;
};

// The system's dial-up service as the dial-up component needs it: a phone
// book of entries, the connections that are up, dialling an entry while
// reporting numbered progress states, hanging up, and error texts. Every
// operation returns 0 or an error code that ErrorText explains. Nothing here
// may block the caller for longer than one tick of the event pump.
class RasBackend {
public:
    virtual ~RasBackend() = default;

    virtual int EnumEntries(std::vector<std::string>& names) = 0;
    virtual int EnumConnections(std::vector<RasConnection>& connections) = 0;
    // Whether the connection has an IP address of its own.
    virtual int HasIpAddress(RasHandle handle, bool& hasAddress) = 0;
    // The entry's stored user name, and whether a password is stored with it.
    virtual int GetEntryDialParams(const std::string& entry, RasDialParams& params, bool& passwordStored) = 0;
    // Hands the password of PARAMS to the next call of ENTRY; with
    // REMOVEPASSWORD it is used for that call and kept nowhere.
    virtual int SetEntryDialParams(const std::string& entry, const RasDialParams& params,
                                   bool removePassword) = 0;
    // Starts a call; progress is then read with Progress.
    virtual int Dial(const std::string& entry, const RasDialParams& params, RasHandle& handle) = 0;
    // Reports what happened on the call since the last look, waiting up to
    // WAIT for something to happen.
    virtual std::vector<RasProgress> Progress(RasHandle handle, std::chrono::milliseconds wait) = 0;
    // Ends the call or connection and waits for it to be gone.
    virtual int HangUp(RasHandle handle) = 0;
    // Readable text of an error code; empty when the code is unknown.
    virtual std::string ErrorText(int code) = 0;
};

}  // namespace qlk
