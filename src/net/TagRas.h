#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/DialUpConnection.h"
#include "net/ERASError.h"
#include "net/RasBackend.h"
#include "net/TTimeCounter.h"

namespace qlk {

// The dial-up connection over which the gateway reaches the Internet when a
// phone-book entry is selected instead of the local network. It dials the
// entry (Service) with its stored settings and the configured password,
// reports the call's progress as readable texts, waits for the line with a
// time-out while the window stays live, and hangs up only what it dialled:
// a connection to the entry that is already up is used as it stands. Its
// status texts and the end of a line it dialled come through OnStatusChange
// and OnDisconnected.
class TagRas : public DialUpConnection {
public:
    static constexpr const char* NoRasMessage = "TagRas component was unable to detect\nRAS on your system.";
    static constexpr const char* ConnectedMessage =
        "This property can be set only before\nestablishing the connection";
    static constexpr const char* InvalidServiceMessage = "Invalid service name";
    static constexpr int DefaultTimeOut = 120;

    // BACKEND is the system's dial-up service; without one Entries stays
    // empty, RASAvailable is false and Dial returns at once.
    explicit TagRas(std::unique_ptr<RasBackend> backend);
    ~TagRas() override;
    TagRas(const TagRas&) = delete;
    TagRas& operator=(const TagRas&) = delete;

    // Phone-book entry names, refreshed at construction and whenever a
    // non-empty Service is checked.
    std::vector<std::string> Entries() const override { return entries_; }

    const std::string& Service() const { return service_; }
    void SetService(const std::string& entry) override;
    void SetPassword(const std::string& password) override { Password = password; }

    // Only a connection to Service itself counts as one to adopt; when off,
    // any connection that has an IP address does.
    bool ForceService = true;
    // Kept for the settings it came with; there is no dialling window here to minimise.
    bool MinimizeAtConnect = false;
    // Used when the entry has no stored password.
    std::string Password;
    // A password given by the component is used for the call and not kept.
    bool RemovePassword = true;
    int TimeOut() const { return counter_.TimeOut; }
    void SetTimeOut(int seconds) { counter_.TimeOut = seconds; }

    // Shows the component's messages to the operator; it must not wait for
    // an answer. Unassigned, the messages are dropped.
    std::function<void(const std::string& text)> OnShowMessage;

    // Makes sure the line is up: adopts a connection that is up already,
    // otherwise dials Service and waits. Raises ERASError when the call
    // fails, ECanceledError after Abort, ETimedOutError after TimeOut
    // seconds; nothing of a failed call is left running.
    void Dial() override;
    // Ends the connection if this component dialled it, then OnDisconnected.
    void HangUp() override;
    // HangUp, and a running Dial ends with ECanceledError. Never raises.
    void Abort() noexcept override;
    // Looks for a connection to adopt; one found becomes this component's.
    bool IsConnected();
    bool RASAvailable() const { return !entries_.empty(); }
    void Reset();

    // The readable text of a connection state; empty for an unknown state.
    std::string StatusText(int state) const;
    // Takes in what the dial-up service reported on the line this component
    // holds. Runs inside the event pump while a line it dialled is up; an
    // error reported after the connected state is raised from here.
    void PumpEvents();

    bool Connected() const { return connected_; }
    bool DialledByUs() const { return dialledByUs_; }
    bool TimedOut() const { return counter_.TimedOut; }
    RasHandle Handle() const { return handle_; }

private:
    void FillEntries();
    void ShowMessage(const char* text);
    void WaitForLine();
    void TakeProgress(const std::vector<RasProgress>& reports);
    [[noreturn]] void RaiseRasError(int code);
    void WatchLine();
    void StopWatchingLine() noexcept;

    std::unique_ptr<RasBackend> backend_;
    std::vector<std::string> entries_;
    std::string service_;
    RasHandle handle_ = NoRasHandle;
    bool dialledByUs_ = false;
    int lastResult_ = 0;
    TTimeCounter counter_;
    bool aborted_ = false;
    bool connected_ = false;
    bool takingProgress_ = false;
    std::shared_ptr<std::function<void()>> outerPump_;
};

}  // namespace qlk
