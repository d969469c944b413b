#pragma once

#include <algorithm>
#include <deque>
#include <string>
#include <thread>
#include <vector>

#include "net/RasBackend.h"
#include "net/RasErrors.h"

namespace qlk::test {

// A dial-up service that plays a script: a phone book, the connections that
// are up, and the progress reports of each look at a call, one batch per
// look. It records what the component asked of it.
class ScriptedRasBackend : public RasBackend {
public:
    struct Line {
        RasConnection Connection;
        bool HasAddress = false;
    };

    std::vector<std::string> entries = {"Office", "Backup"};
    std::vector<Line> lines;
    bool passwordStored = false;
    std::string storedUserName = "gateway";
    int dialResult = 0;
    // Batches of reports handed out one per look; an empty script keeps the call dialling.
    std::deque<std::vector<RasProgress>> script;

    int dials = 0;
    std::vector<RasHandle> hungUp;
    std::vector<std::string> passwordsSet;
    std::vector<bool> removeFlags;
    RasHandle call = NoRasHandle;

    // A call that goes through all the states of a successful connection.
    static std::deque<std::vector<RasProgress>> Success() {
        return {{{rcsOpenPort, 0}, {rcsConnectDevice, 0}},
                {{rcsAuthenticate, 0}},
                {{rcsAuthenticated, 0}, {rcsLogonNetwork, 0}, {rcsConnected, 0}}};
    }
    static std::deque<std::vector<RasProgress>> Failure(int error) {
        return {{{rcsOpenPort, 0}, {rcsConnectDevice, 0}}, {{rcsConnectDevice, error}}};
    }

    int EnumEntries(std::vector<std::string>& names) override {
        names = entries;
        return 0;
    }
    int EnumConnections(std::vector<RasConnection>& connections) override {
        connections.clear();
        for (const auto& line : lines) connections.push_back(line.Connection);
        return 0;
    }
    int HasIpAddress(RasHandle handle, bool& hasAddress) override {
        hasAddress = false;
        for (const auto& line : lines) {
            if (line.Connection.Handle == handle) hasAddress = line.HasAddress;
        }
        return 0;
    }
    int GetEntryDialParams(const std::string&, RasDialParams& params, bool& stored) override {
        params.UserName = storedUserName;
        stored = passwordStored;
        return 0;
    }
    int SetEntryDialParams(const std::string&, const RasDialParams& params, bool removePassword) override {
        passwordsSet.push_back(params.Password);
        removeFlags.push_back(removePassword);
        return 0;
    }
    int Dial(const std::string&, const RasDialParams&, RasHandle& handle) override {
        ++dials;
        if (dialResult != 0) return dialResult;
        call = handle = 100 + dials;
        return 0;
    }
    std::vector<RasProgress> Progress(RasHandle handle, std::chrono::milliseconds wait) override {
        if (handle != call || script.empty()) {
            std::this_thread::sleep_for(std::min(wait, std::chrono::milliseconds(10)));
            return {};
        }
        auto batch = script.front();
        script.pop_front();
        return batch;
    }
    int HangUp(RasHandle handle) override {
        hungUp.push_back(handle);
        if (handle == call) call = NoRasHandle;
        return 0;
    }
    std::string ErrorText(int code) override { return RasErrorText(code); }
};

}  // namespace qlk::test
