#pragma once

#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "net/ChildProcess.h"
#include "net/RasBackend.h"

namespace qlk {

// Dial-up through pppd: the peers in the peers folder are the phone book;
// a call runs "pppd call ENTRY" with the entry as link name, so that the
// link's pid file (pid, then interface) tells which lines are up. pppd stays
// attached to this process and writes its log here, from which the call's
// progress is read; a password reaches it through a pipe (the passwordfd
// plugin), never on a command line.
class PppdBackend : public RasBackend {
public:
    static constexpr std::size_t MaxEntries = 1000;
    // How long pppd is given to end the link on hang-up before it is killed.
    static constexpr std::chrono::seconds HangUpGrace{10};

    PppdBackend(std::string pppdPath, std::filesystem::path peersFolder = "/etc/ppp/peers",
                std::filesystem::path runFolder = "/var/run");
    ~PppdBackend() override;

    // An entry name pppd would take as a peer: a plain file name.
    static bool IsPeerName(const std::string& name);
    // The dial-up error of a pppd that ended with EXITCODE, refined by what
    // the connect script (chat) wrote into the log LINES.
    static int ErrorOfExit(int exitCode, const std::vector<std::string>& lines);

    int EnumEntries(std::vector<std::string>& names) override;
    int EnumConnections(std::vector<RasConnection>& connections) override;
    int HasIpAddress(RasHandle handle, bool& hasAddress) override;
    int GetEntryDialParams(const std::string& entry, RasDialParams& params, bool& passwordStored) override;
    int SetEntryDialParams(const std::string& entry, const RasDialParams& params,
                           bool removePassword) override;
    int Dial(const std::string& entry, const RasDialParams& params, RasHandle& handle) override;
    std::vector<RasProgress> Progress(RasHandle handle, std::chrono::milliseconds wait) override;
    int HangUp(RasHandle handle) override;
    std::string ErrorText(int code) override;

private:
    struct LinkFile {
        pid_t Pid = -1;
        std::string Interface;
    };
    std::optional<LinkFile> ReadLinkFile(const std::string& entry) const;
    void TakeLine(const std::string& line, std::vector<RasProgress>& reports);

    std::string pppd_;
    std::filesystem::path peers_;
    std::filesystem::path run_;
    std::map<std::string, std::string> passwords_;
    std::unique_ptr<ChildProcess> call_;
    RasHandle callHandle_ = NoRasHandle;
    int state_ = rcsOpenPort;
    bool ended_ = false;
    std::vector<std::string> log_;
    int failure_ = 0;
    std::string failureDetail_;
};

}  // namespace qlk
