#include "net/TagRas.h"

#include <algorithm>
#include <chrono>
#include <map>

#include "message/TextUtils.h"
#include "net/ECanceledError.h"
#include "net/ETimedOutError.h"
#include "platform/EventPump.h"

namespace qlk {

namespace {

// The longest the call's wait holds the window between two runs of the pump.
constexpr std::chrono::milliseconds kTick(50);
// How often a line that is up is looked at from inside the event pump, which
// some loops run far more often than that.
constexpr std::chrono::milliseconds kLineCheck(50);

// Scoped flag against running the progress handler inside itself.
class Reentry {
public:
    explicit Reentry(bool& flag) : flag_(flag) { flag_ = true; }
    ~Reentry() { flag_ = false; }
    Reentry(const Reentry&) = delete;
    Reentry& operator=(const Reentry&) = delete;

private:
    bool& flag_;
};

}  // namespace

TagRas::TagRas(std::unique_ptr<RasBackend> backend) : backend_(std::move(backend)) {
    counter_.TimeOut = DefaultTimeOut;
    FillEntries();
}

// Like the service's own components, freeing does not hang up: the line of
// a program that ends without HangUp stays up for whoever adopts it next.
TagRas::~TagRas() {
    StopWatchingLine();
}

void TagRas::FillEntries() {
    entries_.clear();
    if (!backend_) return;
    std::vector<std::string> names;
    lastResult_ = backend_->EnumEntries(names);
    if (lastResult_ == 0) entries_ = std::move(names);
}

void TagRas::SetService(const std::string& entry) {
    if (entry.empty()) {
        service_.clear();
    } else if (!RASAvailable()) {
        ShowMessage(NoRasMessage);
    } else if (connected_) {
        ShowMessage(ConnectedMessage);
    } else {
        FillEntries();
        auto found = std::find_if(entries_.begin(), entries_.end(),
                                  [&](const std::string& name) { return SameText(name, entry); });
        if (found == entries_.end()) {
            ShowMessage(InvalidServiceMessage);
            service_.clear();
        } else {
            // The phone book's own spelling: the system's entry names are
            // case-sensitive, the operator's choice is not.
            service_ = *found;
        }
    }
}

void TagRas::ShowMessage(const char* text) {
    if (OnShowMessage) OnShowMessage(text);
}

bool TagRas::IsConnected() {
    if (!backend_) return false;
    std::vector<RasConnection> connections;
    if (int code = backend_->EnumConnections(connections)) RaiseRasError(code);
    for (const auto& connection : connections) {
        if (connection.EntryName == service_ && connection.Handle != handle_) {
            handle_ = connection.Handle;
            return true;
        }
    }
    if (ForceService) return false;
    for (const auto& connection : connections) {
        bool hasAddress = false;
        if (int code = backend_->HasIpAddress(connection.Handle, hasAddress)) RaiseRasError(code);
        if (hasAddress) {
            handle_ = connection.Handle;
            return true;
        }
    }
    return false;
}

void TagRas::Dial() {
    if (IsConnected() || service_.empty()) {
        connected_ = true;
        dialledByUs_ = false;
        return;
    }
    if (!backend_) return;
    dialledByUs_ = true;
    Reset();

    RasDialParams params;
    bool passwordStored = false;
    int code = backend_->GetEntryDialParams(service_, params, passwordStored);
    if (code == 0 && !passwordStored) {
        params.Password = Password;
        code = backend_->SetEntryDialParams(service_, params, RemovePassword);
    }
    if (code != 0) RaiseRasError(code);

    code = backend_->Dial(service_, params, handle_);
    if (code == 0) {
        try {
            WaitForLine();
        } catch (const ERASError&) {
            HangUp();
            throw;
        }
        if (lastResult_ == 0) {
            WatchLine();
            return;
        }
        code = lastResult_;
    }
    HangUp();
    RaiseRasError(code);
}

// Runs the event pump until the line is up, the call fails, the operator
// cancels or the time runs out. A call given up is hung up at once, so that
// no dialling goes on behind the gateway's back.
void TagRas::WaitForLine() {
    counter_.Start();
    while (!connected_ && lastResult_ == 0 && !aborted_ && handle_ != NoRasHandle && !counter_.Check()) {
        TakeProgress(backend_->Progress(handle_, kTick));
        ProcessMessages();
    }
    counter_.Stop();
    if (lastResult_ != 0) return;
    if (aborted_ || handle_ == NoRasHandle) {
        HangUp();
        throw ECanceledError("Operation has been canceled");
    }
    if (counter_.TimedOut) {
        HangUp();
        throw ETimedOutError("Operation timed out");
    }
}

void TagRas::PumpEvents() {
    if (!backend_ || handle_ == NoRasHandle || takingProgress_) return;
    TakeProgress(backend_->Progress(handle_, std::chrono::milliseconds(0)));
}

void TagRas::TakeProgress(const std::vector<RasProgress>& reports) {
    Reentry guard(takingProgress_);
    for (const auto& report : reports) {
        // A failure is told by the error it raises, not by a repeated state text.
        if (report.Error == 0 && OnStatusChange) OnStatusChange(StatusText(report.State));
        if (!connected_) connected_ = report.State == rcsConnected;
        if (report.Error != 0) {
            lastResult_ = report.Error;
            if (connected_) {
                // The line went down under a running operation: it learns so here.
                StopWatchingLine();
                RaiseRasError(report.Error);
            }
            return;
        }
    }
}

void TagRas::HangUp() {
    StopWatchingLine();
    const bool ours = backend_ && RASAvailable() && dialledByUs_ && handle_ != NoRasHandle;
    const RasHandle line = handle_;
    // Forgotten first: hanging up runs the event pump, which may call again.
    connected_ = false;
    handle_ = NoRasHandle;
    if (!ours) return;
    backend_->HangUp(line);
    if (OnDisconnected) OnDisconnected();
}

void TagRas::Abort() noexcept {
    try {
        HangUp();
    } catch (...) {
        // Abort runs on the way out of failures; the line is forgotten either way.
        handle_ = NoRasHandle;
        connected_ = false;
    }
    aborted_ = true;
}

void TagRas::Reset() {
    handle_ = NoRasHandle;
    connected_ = false;
    aborted_ = false;
    counter_.TimedOut = false;
}

std::string TagRas::StatusText(int state) const {
    static const std::map<int, const char*> builtIn = {
        {rcsOpenPort, "Initializing..."},
        {rcsConnectDevice, "Dialing..."},
        {rcsDeviceConnected, "Dialing..."},
        {rcsAllDevicesConnected, "Dialing..."},
        {rcsAuthenticate, "Verifying user name and password"},
        {rcsStartAuthentication, "Verifying user name and password"},
        {rcsAuthenticated, "User name and password verified"},
        {rcsLogonNetwork, "Logging on to Network"},
        {rcsConnected, "Successfully connected"},
    };
    auto found = builtIn.find(state);
    return found == builtIn.end() ? std::string() : found->second;
}

void TagRas::RaiseRasError(int code) {
    lastResult_ = code;
    std::string text;
    if (backend_) {
        text = backend_->ErrorText(code);
        if (text.empty()) text = "RAS error no " + std::to_string(code);
    }
    throw ERASError(code, text);
}

// While a line this component dialled is up, every run of the event pump
// also looks at the line, as the service's notices would arrive with the
// window's messages.
void TagRas::WatchLine() {
    if (outerPump_) return;
    auto outer = std::make_shared<std::function<void()>>();
    auto nextLook = std::make_shared<std::chrono::steady_clock::time_point>();
    *outer = SetMessagePump([this, outer, nextLook] {
        if (*outer) (*outer)();
        const auto now = std::chrono::steady_clock::now();
        if (now < *nextLook) return;
        *nextLook = now + kLineCheck;
        PumpEvents();
    });
    outerPump_ = std::move(outer);
}

void TagRas::StopWatchingLine() noexcept {
    if (!outerPump_) return;
    SetMessagePump(*outerPump_);
    outerPump_.reset();
}

}  // namespace qlk
