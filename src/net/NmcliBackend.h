#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "net/ChildProcess.h"
#include "net/RasBackend.h"

namespace qlk {

// Dial-up through NetworkManager, driven with nmcli: its dial-up kinds of
// connection profile (mobile broadband, PPPoE, VPN) are the phone book, any
// active profile is a connection. A call runs "nmcli connection up" beside
// the event loop; while it runs, a short device query now and then turns
// the device's activation state into progress states, and once the line is
// up the same kind of query notices when it goes down. A password reaches
// nmcli as a passwords file read from a pipe, never on a command line.
class NmcliBackend : public RasBackend {
public:
    static constexpr std::size_t MaxEntries = 1000;
    // Longest wait for one of nmcli's answers to a query.
    static constexpr std::chrono::seconds QueryTimeOut{15};
    // How often the device's state is asked for while a call runs, and
    // whether the profile is still active once the line is up.
    static constexpr std::chrono::milliseconds ProbeInterval{1000};
    static constexpr std::chrono::milliseconds LineCheckInterval{3000};
    // Longest profile name taken into the phone book.
    static constexpr std::size_t MaxNameLength = 255;

    explicit NmcliBackend(std::string nmcliPath);
    ~NmcliBackend() override;

    // Whether NetworkManager runs, asked of the nmcli at NMCLIPATH.
    static bool ManagerRunning(const std::string& nmcliPath);
    // The fields of one line of nmcli's terse output.
    static std::vector<std::string> TerseFields(const std::string& line);
    // The dial-up error that nmcli's failure text names.
    static int ErrorOfText(const std::string& text);

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
    ChildProcess::Result Query(const std::vector<std::string>& arguments) const;
    RasHandle HandleOf(const std::string& name);
    std::string SettingOf(const std::string& entry);
    void StartProbe();
    void TakeProbe(std::vector<RasProgress>& reports);
    void TakeCallEnd(std::vector<RasProgress>& reports);
    void Advance(int state, std::vector<RasProgress>& reports);

    std::string nmcli_;
    std::map<std::string, std::string> types_;
    std::map<std::string, RasHandle> handles_;
    std::map<std::string, std::string> passwords_;
    std::string entry_;
    RasHandle callHandle_ = NoRasHandle;
    std::unique_ptr<ChildProcess> call_;
    std::unique_ptr<ChildProcess> probe_;
    std::vector<std::string> callOutput_;
    std::chrono::steady_clock::time_point nextProbe_{};
    int state_ = rcsOpenPort;
    bool ended_ = false;
    int failure_ = 0;
    std::string failureDetail_;
};

}  // namespace qlk
