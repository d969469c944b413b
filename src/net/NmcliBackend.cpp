#include "net/NmcliBackend.h"

#include <algorithm>
#include <array>
#include <utility>

#include "message/TextUtils.h"
#include "net/RasErrors.h"

namespace qlk {

namespace {

// The kinds of profile that make a dial-up line, and the setting that holds
// each one's user name and password.
const std::map<std::string, std::string> kDialUpSettings = {
    {"gsm", "gsm"}, {"cdma", "cdma"}, {"pppoe", "pppoe"}, {"vpn", "vpn"}};

// The device states of an activation, in the order they come, as the
// dial-up states they stand for.
int StateOfDevice(const std::string& text) {
    static const std::array<std::pair<const char*, int>, 6> states = {{
        {"connecting (prepare)", rcsConnectDevice},
        {"connecting (configuring)", rcsAllDevicesConnected},
        {"connecting (need authentication)", rcsAuthenticate},
        {"connecting (getting IP configuration)", rcsAuthenticated},
        {"connecting (checking IP connectivity)", rcsLogonNetwork},
        {"connecting (starting secondary connections)", rcsLogonNetwork},
    }};
    for (const auto& [name, state] : states) {
        if (text == name) return state;
    }
    return -1;
}

// The order in which states are passed; a state is reported once, going forward.
int Rank(int state) {
    static const std::array<int, 8> order = {
        rcsOpenPort,     rcsConnectDevice, rcsDeviceConnected, rcsAllDevicesConnected,
        rcsAuthenticate, rcsAuthenticated, rcsLogonNetwork,    rcsConnected};
    auto found = std::find(order.begin(), order.end(), state);
    return static_cast<int>(found - order.begin());
}

}  // namespace

NmcliBackend::NmcliBackend(std::string nmcliPath) : nmcli_(std::move(nmcliPath)) {}

NmcliBackend::~NmcliBackend() = default;

bool NmcliBackend::ManagerRunning(const std::string& nmcliPath) {
    if (nmcliPath.empty()) return false;
    auto answer = ChildProcess::Run(nmcliPath, {"-t", "-g", "RUNNING", "general"}, QueryTimeOut);
    return answer.ExitCode == 0 && !answer.Lines.empty() && answer.Lines[0] == "running";
}

// Terse output separates fields with ":" and escapes ":" and "\" inside them.
std::vector<std::string> NmcliBackend::TerseFields(const std::string& line) {
    std::vector<std::string> fields(1);
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\\' && i + 1 < line.size()) {
            fields.back() += line[++i];
        } else if (line[i] == ':') {
            fields.emplace_back();
        } else {
            fields.back() += line[i];
        }
    }
    return fields;
}

int NmcliBackend::ErrorOfText(const std::string& text) {
    static const std::array<std::pair<const char*, int>, 10> reasons = {{
        {"line is busy", reLineBusy},
        {"no dial tone", reNoDialTone},
        {"no carrier", reNoCarrier},
        {"dialing request timed out", reNoAnswer},
        {"secrets were required", reAuthenticationFailure},
        {"login failed", reAuthenticationFailure},
        {"authentication", reAuthenticationFailure},
        {"unknown connection", reCannotFindEntry},
        {"ppp", reNegotiationFailed},
        {"dialing attempt failed", reDeviceError},
    }};
    const std::string lower = LowerCase(text);
    for (const auto& [words, error] : reasons) {
        if (lower.find(words) != std::string::npos) return error;
    }
    return reUnknown;
}

ChildProcess::Result NmcliBackend::Query(const std::vector<std::string>& arguments) const {
    return ChildProcess::Run(nmcli_, arguments, QueryTimeOut);
}

int NmcliBackend::EnumEntries(std::vector<std::string>& names) {
    names.clear();
    auto answer = Query({"-t", "-f", "NAME,TYPE", "connection", "show"});
    if (!answer.Started || answer.ExitCode != 0) return reServiceCannotStart;
    types_.clear();
    for (const auto& line : answer.Lines) {
        auto fields = TerseFields(line);
        if (fields.size() != 2 || fields[0].empty() || fields[0].size() > MaxNameLength ||
            !kDialUpSettings.count(fields[1])) {
            continue;
        }
        if (names.size() < MaxEntries && types_.emplace(fields[0], fields[1]).second)
            names.push_back(fields[0]);
    }
    return 0;
}

RasHandle NmcliBackend::HandleOf(const std::string& name) {
    auto found = handles_.find(name);
    if (found != handles_.end()) return found->second;
    const RasHandle next = static_cast<RasHandle>(handles_.size()) + 1;
    handles_.emplace(name, next);
    return next;
}

int NmcliBackend::EnumConnections(std::vector<RasConnection>& connections) {
    connections.clear();
    auto answer = Query({"-t", "-f", "NAME", "connection", "show", "--active"});
    if (!answer.Started || answer.ExitCode != 0) return reServiceCannotStart;
    for (const auto& line : answer.Lines) {
        auto fields = TerseFields(line);
        if (!fields[0].empty()) connections.push_back({HandleOf(fields[0]), fields[0]});
    }
    return 0;
}

int NmcliBackend::HasIpAddress(RasHandle handle, bool& hasAddress) {
    hasAddress = false;
    for (const auto& [name, known] : handles_) {
        if (known != handle) continue;
        auto answer = Query({"-t", "-g", "IP4.ADDRESS", "connection", "show", "id", name});
        if (!answer.Started || answer.ExitCode != 0) return 0;
        hasAddress = std::any_of(answer.Lines.begin(), answer.Lines.end(),
                                 [](const std::string& line) { return !line.empty(); });
    }
    return 0;
}

std::string NmcliBackend::SettingOf(const std::string& entry) {
    if (!types_.count(entry)) {
        std::vector<std::string> names;
        EnumEntries(names);
    }
    auto type = types_.find(entry);
    return type == types_.end() ? std::string() : kDialUpSettings.at(type->second);
}

int NmcliBackend::GetEntryDialParams(const std::string& entry, RasDialParams& params, bool& passwordStored) {
    params = {};
    passwordStored = false;
    const std::string setting = SettingOf(entry);
    if (setting.empty()) return reCannotFindEntry;
    const bool vpn = setting == "vpn";
    const std::string userField = vpn ? "vpn.user-name" : setting + ".username";
    const std::string flagsField = vpn ? "vpn.data" : setting + ".password-flags";
    auto answer = Query({"-t", "-g", userField + "," + flagsField, "connection", "show", "id", entry});
    if (!answer.Started || answer.ExitCode != 0) return reCannotFindEntry;
    if (!answer.Lines.empty()) params.UserName = answer.Lines[0];
    const std::string flags = answer.Lines.size() > 1 ? answer.Lines[1] : std::string();
    // Flags 0: NetworkManager keeps the password itself. A VPN says so inside its data.
    passwordStored = vpn ? flags.find("password-flags = 0") != std::string::npos : flags.rfind("0", 0) == 0;
    return 0;
}

// The password is kept in memory for the next call only, whatever is asked:
// storing it would be the profile owner's decision, not the gateway's.
int NmcliBackend::SetEntryDialParams(const std::string& entry, const RasDialParams& params, bool) {
    passwords_[entry] = params.Password;
    return 0;
}

int NmcliBackend::Dial(const std::string& entry, const RasDialParams&, RasHandle& handle) {
    handle = NoRasHandle;
    const std::string setting = SettingOf(entry);
    if (setting.empty()) return reCannotFindEntry;
    if (call_) HangUp(callHandle_);
    // The wait is the gateway's own; nmcli is only kept from giving up first.
    std::vector<std::string> arguments = {"--wait", "3600", "connection", "up", "id", entry};
    std::optional<std::string> secret;
    auto password = passwords_.find(entry);
    if (password != passwords_.end()) {
        const std::string value = password->second.substr(0, password->second.find_first_of("\r\n"));
        if (!value.empty()) {
            const std::string key = setting == "vpn" ? "vpn.secrets.password" : setting + ".password";
            secret = key + ":" + value + "\n";
            arguments.push_back("passwd-file");
            arguments.push_back("/dev/fd/" + std::to_string(ChildProcess::SecretFd));
        }
        passwords_.erase(password);
    }
    auto call = std::make_unique<ChildProcess>();
    if (!call->Start(nmcli_, arguments, secret)) {
        failure_ = reServiceCannotStart;
        failureDetail_ = nmcli_ + " did not start";
        return reServiceCannotStart;
    }
    call_ = std::move(call);
    probe_.reset();
    entry_ = entry;
    callOutput_.clear();
    state_ = rcsOpenPort;
    ended_ = false;
    nextProbe_ = std::chrono::steady_clock::now() + ProbeInterval;
    callHandle_ = handle = HandleOf(entry);
    return 0;
}

std::vector<RasProgress> NmcliBackend::Progress(RasHandle handle, std::chrono::milliseconds wait) {
    std::vector<RasProgress> reports;
    if (ended_ || handle != callHandle_ || callHandle_ == NoRasHandle) return reports;
    if (state_ == rcsOpenPort) {
        reports.push_back({rcsOpenPort, 0});
        Advance(rcsConnectDevice, reports);
    }
    if (call_) {
        auto lines = call_->ReadLines(wait);
        callOutput_.insert(callOutput_.end(), lines.begin(), lines.end());
        if (!call_->Running()) TakeCallEnd(reports);
    }
    if (probe_ && !probe_->Running()) TakeProbe(reports);
    if (!ended_ && !probe_ && std::chrono::steady_clock::now() >= nextProbe_) StartProbe();
    return reports;
}

void NmcliBackend::Advance(int state, std::vector<RasProgress>& reports) {
    if (Rank(state) <= Rank(state_)) return;
    state_ = state;
    reports.push_back({state, 0});
}

void NmcliBackend::TakeCallEnd(std::vector<RasProgress>& reports) {
    auto rest = call_->ReadLines(std::chrono::milliseconds(0));
    callOutput_.insert(callOutput_.end(), rest.begin(), rest.end());
    const int exitCode = call_->ExitCode();
    call_.reset();
    if (exitCode == 0) {
        Advance(rcsLogonNetwork, reports);
        Advance(rcsConnected, reports);
        return;
    }
    std::string error;
    for (const auto& line : callOutput_) {
        if (line.rfind("Error:", 0) == 0) error = line;
    }
    failure_ = ErrorOfText(error);
    failureDetail_ = error;
    ended_ = true;
    reports.push_back({state_, failure_});
}

// While the call runs the device's state is asked for; once the line is up,
// whether the profile is still active.
void NmcliBackend::StartProbe() {
    probe_ = std::make_unique<ChildProcess>();
    const bool up = state_ == rcsConnected;
    const std::vector<std::string> arguments =
        up ? std::vector<std::string>{"-t", "-f", "NAME", "connection", "show", "--active"}
           : std::vector<std::string>{"-t", "-f", "DEVICE,STATE,CONNECTION", "device"};
    if (!probe_->Start(nmcli_, arguments)) probe_.reset();
    nextProbe_ = std::chrono::steady_clock::now() + (up ? LineCheckInterval : ProbeInterval);
}

void NmcliBackend::TakeProbe(std::vector<RasProgress>& reports) {
    const auto lines = probe_->ReadLines(std::chrono::milliseconds(0));
    const bool answered = probe_->ExitCode() == 0;
    probe_.reset();
    if (!answered) return;
    if (state_ == rcsConnected) {
        const bool active = std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
            return TerseFields(line)[0] == entry_;
        });
        if (!active) {
            ended_ = true;
            failure_ = reRemoteDisconnection;
            reports.push_back({state_, failure_});
        }
        return;
    }
    for (const auto& line : lines) {
        auto fields = TerseFields(line);
        if (fields.size() == 3 && fields[2] == entry_) {
            const int state = StateOfDevice(fields[1]);
            if (state >= 0) Advance(state, reports);
        }
    }
}

int NmcliBackend::HangUp(RasHandle handle) {
    if (handle != callHandle_ || callHandle_ == NoRasHandle) return 0;
    probe_.reset();
    if (call_) call_->Terminate(std::chrono::seconds(2));
    call_.reset();
    callHandle_ = NoRasHandle;
    ended_ = true;
    Query({"connection", "down", "id", entry_});
    return 0;
}

std::string NmcliBackend::ErrorText(int code) {
    return RasErrorText(code, code == failure_ ? failureDetail_ : std::string());
}

}  // namespace qlk
