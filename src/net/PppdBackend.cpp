#include "net/PppdBackend.h"

#include <ifaddrs.h>
#include <netinet/in.h>
#include <signal.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <fstream>
#include <utility>

#include "net/RasErrors.h"

namespace qlk {

namespace {

constexpr std::size_t kMaxOptionsFile = 64 * 1024;
constexpr std::size_t kLogLinesKept = 100;

std::string ReadSmallFile(const std::filesystem::path& file, std::size_t limit) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return {};
    std::string text(limit, '\0');
    in.read(text.data(), static_cast<std::streamsize>(limit));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return text;
}

// The words of a pppd options file: blanks separate, "#" starts a comment,
// quotes group, a backslash takes the next character as it is.
std::vector<std::string> OptionWords(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    char quote = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\' && i + 1 < text.size()) {
            word += text[++i];
            inWord = true;
        } else if (quote) {
            if (c == quote)
                quote = 0;
            else
                word += c;
        } else if (c == '"' || c == '\'') {
            quote = c;
            inWord = true;
        } else if (c == '#') {
            while (i + 1 < text.size() && text[i + 1] != '\n') ++i;
        } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            if (inWord) words.push_back(std::exchange(word, {}));
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(word);
    return words;
}

bool ProcessIsPppd(pid_t pid) {
    if (pid <= 0 || (kill(pid, 0) != 0 && errno != EPERM)) return false;
    std::string name = ReadSmallFile("/proc/" + std::to_string(pid) + "/comm", 64);
    while (!name.empty() && (name.back() == '\n' || name.back() == ' ')) name.pop_back();
    return name == "pppd";
}

bool InterfaceHasIPv4(const std::string& interfaceName) {
    ifaddrs* list = nullptr;
    if (interfaceName.empty() || getifaddrs(&list) != 0) return false;
    bool found = false;
    for (ifaddrs* item = list; item && !found; item = item->ifa_next) {
        found = item->ifa_addr && item->ifa_addr->sa_family == AF_INET && item->ifa_name &&
                interfaceName == item->ifa_name;
    }
    freeifaddrs(list);
    return found;
}

// What chat reports when an ABORT string of the entry's script matched. A
// line that only announces the ABORT strings ("abort on (BUSY)") is not one.
int ChatAbortError(const std::vector<std::string>& lines) {
    static const std::array<std::pair<const char*, int>, 6> aborts = {{
        {"BUSY", reLineBusy},
        {"NO DIALTONE", reNoDialTone},
        {"NO DIAL TONE", reNoDialTone},
        {"NO ANSWER", reNoAnswer},
        {"NO CARRIER", reNoCarrier},
        {"ERROR", reDeviceError},
    }};
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        if (line->find("abort on (") != std::string::npos || line->find("report (") != std::string::npos ||
            line->find("expect (") != std::string::npos || line->find("send (") != std::string::npos) {
            continue;
        }
        for (const auto& [word, error] : aborts) {
            if (line->find(word) != std::string::npos) return error;
        }
    }
    return 0;
}

}  // namespace

PppdBackend::PppdBackend(std::string pppdPath, std::filesystem::path peersFolder,
                         std::filesystem::path runFolder, bool privileged)
    : pppd_(std::move(pppdPath)),
      peers_(std::move(peersFolder)),
      run_(std::move(runFolder)),
      privileged_(privileged) {}

PppdBackend::~PppdBackend() = default;

bool PppdBackend::IsPeerName(const std::string& name) {
    if (name.empty() || name.size() > 64 || name[0] == '.' || name[0] == '-' || name.back() == '~')
        return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
               c == '_' || c == '-';
    });
}

int PppdBackend::EnumEntries(std::vector<std::string>& names) {
    names.clear();
    std::error_code error;
    for (std::filesystem::directory_iterator it(peers_, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (IsPeerName(name) && it->is_regular_file(error) && names.size() < MaxEntries)
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return 0;
}

std::optional<PppdBackend::PeerOptions> PppdBackend::ReadPeer(const std::string& entry) const {
    if (!IsPeerName(entry)) return std::nullopt;
    std::ifstream probe(peers_ / entry);
    if (!probe) return std::nullopt;
    PeerOptions peer;
    const std::vector<std::string> words = OptionWords(ReadSmallFile(peers_ / entry, kMaxOptionsFile));
    for (std::size_t i = 0; i + 1 < words.size(); ++i) {
        if (words[i] == "user") peer.UserName = words[i + 1];
        if (words[i] == "password") peer.PasswordStored = true;
        if (words[i] == "plugin" && words[i + 1].find("passwordfd") != std::string::npos)
            peer.LoadsPasswordFd = true;
        if (words[i] == "linkname" && IsPeerName(words[i + 1])) peer.LinkName = words[i + 1];
    }
    if (peer.LinkName.empty() && privileged_) peer.LinkName = entry;
    return peer;
}

std::optional<PppdBackend::LinkFile> PppdBackend::ReadLinkFile(const std::string& entry) const {
    auto peer = ReadPeer(entry);
    if (!peer || peer->LinkName.empty()) return std::nullopt;
    const std::vector<std::string> lines =
        OptionWords(ReadSmallFile(run_ / ("ppp-" + peer->LinkName + ".pid"), 256));
    if (lines.empty() || lines[0].size() > 9 ||
        !std::all_of(lines[0].begin(), lines[0].end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    LinkFile link;
    link.Pid = static_cast<pid_t>(std::stol(lines[0]));
    if (lines.size() > 1) link.Interface = lines[1];
    // A stale file of a pppd long gone may name a process that is something else now.
    if (!ProcessIsPppd(link.Pid)) return std::nullopt;
    return link;
}

int PppdBackend::EnumConnections(std::vector<RasConnection>& connections) {
    connections.clear();
    std::vector<std::string> entries;
    EnumEntries(entries);
    for (const auto& entry : entries) {
        if (auto link = ReadLinkFile(entry)) connections.push_back({link->Pid, entry});
    }
    return 0;
}

int PppdBackend::HasIpAddress(RasHandle handle, bool& hasAddress) {
    hasAddress = false;
    std::vector<std::string> entries;
    EnumEntries(entries);
    for (const auto& entry : entries) {
        auto link = ReadLinkFile(entry);
        if (link && link->Pid == handle) hasAddress = InterfaceHasIPv4(link->Interface);
    }
    return 0;
}

int PppdBackend::GetEntryDialParams(const std::string& entry, RasDialParams& params, bool& passwordStored) {
    params = {};
    passwordStored = false;
    auto peer = ReadPeer(entry);
    if (!peer) return reCannotFindEntry;
    params.UserName = peer->UserName;
    passwordStored = peer->PasswordStored;
    return 0;
}

// The password is kept in memory for the next call only: the peers folder
// belongs to the system, and secrets kept on disk belong in pppd's secrets files.
int PppdBackend::SetEntryDialParams(const std::string& entry, const RasDialParams& params, bool) {
    if (!IsPeerName(entry)) return reCannotFindEntry;
    passwords_[entry] = params.Password;
    return 0;
}

int PppdBackend::Dial(const std::string& entry, const RasDialParams&, RasHandle& handle) {
    handle = NoRasHandle;
    auto peer = ReadPeer(entry);
    if (!peer) return reCannotFindEntry;
    if (call_) HangUp(callHandle_);
    std::optional<std::string> secret;
    auto password = passwords_.find(entry);
    if (password != passwords_.end()) {
        if (!password->second.empty() && (privileged_ || peer->LoadsPasswordFd)) secret = password->second;
        passwords_.erase(password);
    }
    auto call = std::make_unique<ChildProcess>();
    if (!call->Start(pppd_, CallArguments(entry, *peer, secret.has_value()), secret)) {
        failure_ = reServiceCannotStart;
        failureDetail_ = pppd_.empty() ? "pppd not found" : pppd_ + " did not start";
        return reServiceCannotStart;
    }
    call_ = std::move(call);
    state_ = rcsOpenPort;
    ended_ = false;
    log_.clear();
    callHandle_ = handle = call_->Pid();
    return 0;
}

// "nodetach" and "nopersist" after the peer's own options: the call must stay
// this process's child to be watched, and end when the line drops.
std::vector<std::string> PppdBackend::CallArguments(const std::string& entry, const PeerOptions& peer,
                                                    bool givesPassword) const {
    std::vector<std::string> arguments = {"call", entry, "nodetach", "nopersist", "logfd", "1"};
    if (privileged_ && peer.LinkName == entry) {
        arguments.push_back("linkname");
        arguments.push_back(entry);
    }
    if (givesPassword) {
        if (!peer.LoadsPasswordFd) {
            arguments.push_back("plugin");
            arguments.push_back("passwordfd.so");
        }
        arguments.push_back("passwordfd");
        arguments.push_back(std::to_string(ChildProcess::SecretFd));
    }
    return arguments;
}

std::vector<RasProgress> PppdBackend::Progress(RasHandle handle, std::chrono::milliseconds wait) {
    std::vector<RasProgress> reports;
    if (!call_ || ended_ || handle != callHandle_) return reports;
    if (state_ == rcsOpenPort && log_.empty()) {
        reports.push_back({rcsOpenPort, 0});
        reports.push_back({rcsConnectDevice, 0});
        state_ = rcsConnectDevice;
    }
    for (const auto& line : call_->ReadLines(wait)) TakeLine(line, reports);
    if (!call_->Running()) {
        for (const auto& line : call_->ReadLines(std::chrono::milliseconds(0))) TakeLine(line, reports);
        ended_ = true;
        failure_ = ErrorOfExit(call_->ExitCode(), log_);
        failureDetail_ = log_.empty() ? std::string() : log_.back();
        reports.push_back({state_, failure_});
    }
    return reports;
}

// pppd's own log lines mark the stages of the call.
void PppdBackend::TakeLine(const std::string& line, std::vector<RasProgress>& reports) {
    if (log_.size() >= kLogLinesKept) log_.erase(log_.begin());
    log_.push_back(line);
    int next = 0;
    if (line.find("Serial connection established") != std::string::npos)
        next = rcsAllDevicesConnected;
    else if (line.rfind("Connect: ", 0) == 0)
        next = rcsAuthenticate;
    else if (line.find("authentication succeeded") != std::string::npos)
        next = rcsAuthenticated;
    else if (line.rfind("local  IP address", 0) == 0)
        next = rcsLogonNetwork;
    if (next == 0 || state_ == rcsConnected) return;
    reports.push_back({next, 0});
    state_ = next;
    if (next == rcsLogonNetwork) {
        reports.push_back({rcsConnected, 0});
        state_ = rcsConnected;
    }
}

// pppd's exit codes, as its manual lists them.
int PppdBackend::ErrorOfExit(int exitCode, const std::vector<std::string>& lines) {
    switch (exitCode) {
        case 2:
        case 3:
        case 4:
            return reServiceCannotStart;
        case 5:
            return reUserDisconnection;
        case 6:
        case 7:
            return rePortNotAvailable;
        case 8: {
            const int abort = ChatAbortError(lines);
            return abort ? abort : reScriptFailed;
        }
        case 9:
        case 18:
            return reDeviceError;
        case 10:
        case 11:
        case 17:
            return reNegotiationFailed;
        case 0:
        case 12:
        case 13:
        case 15:
        case 16:
            return reRemoteDisconnection;
        case 19:
            return reAuthenticationFailure;
        default:
            return reUnknown;
    }
}

int PppdBackend::HangUp(RasHandle handle) {
    if (!call_ || handle != callHandle_) return 0;
    call_->Terminate(HangUpGrace);
    call_.reset();
    callHandle_ = NoRasHandle;
    return 0;
}

std::string PppdBackend::ErrorText(int code) {
    return RasErrorText(code, code == failure_ ? failureDetail_ : std::string());
}

}  // namespace qlk
