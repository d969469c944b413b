#pragma once

#include <unistd.h>
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
// a call runs "pppd call ENTRY". pppd stays attached to this process and
// writes its log here, from which the call's progress is read. A line's
// link name (the peer's own "linkname", else the entry's name) names its pid
// file (pid, then interface), which tells which lines are up. A password
// reaches pppd through a pipe (the passwordfd plugin), never on a command
// line. pppd takes "linkname" and "plugin" only from root or from the peer
// file, so a gateway that does not run as root passes neither: the peer
// file then loads the plugin and names the link itself.
class PppdBackend : public RasBackend {
public:
    static constexpr std::size_t MaxEntries = 1000;
    // How long pppd is given to end the link on hang-up before it is killed.
    static constexpr std::chrono::seconds HangUpGrace{10};

    // PRIVILEGED: pppd takes root's options from this process.
    PppdBackend(std::string pppdPath, std::filesystem::path peersFolder = "/etc/ppp/peers",
                std::filesystem::path runFolder = "/var/run", bool privileged = geteuid() == 0);
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
    // What the gateway needs to know of a peer file's options.
    struct PeerOptions {
        std::string UserName;
        std::string LinkName;
        bool PasswordStored = false;
        bool LoadsPasswordFd = false;
    };
    std::optional<PeerOptions> ReadPeer(const std::string& entry) const;
    std::vector<std::string> CallArguments(const std::string& entry, const PeerOptions& peer,
                                           bool givesPassword) const;

    struct LinkFile {
        pid_t Pid = -1;
        std::string Interface;
    };
    std::optional<LinkFile> ReadLinkFile(const std::string& entry) const;
    void TakeLine(const std::string& line, std::vector<RasProgress>& reports);

    std::string pppd_;
    std::filesystem::path peers_;
    std::filesystem::path run_;
    bool privileged_;
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
