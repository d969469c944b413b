#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace qlk {

// The loopback redirect of a browser sign-in: a listener on 127.0.0.1 and a
// port of the system's choosing that takes the one request the provider
// sends the browser back with, answers it with a short page, and hands its
// query to the caller. Only a request line is read, bounded in size and
// time; anything else on the connection is ignored.
class LoopbackRedirect {
public:
    static constexpr std::size_t MaxRequestBytes = 8192;

    LoopbackRedirect();  // raises qlk::Exception when it cannot listen
    ~LoopbackRedirect();
    LoopbackRedirect(const LoopbackRedirect&) = delete;
    LoopbackRedirect& operator=(const LoopbackRedirect&) = delete;

    // "http://127.0.0.1:PORT/".
    std::string Uri() const;

    // The query of the first request that has one ("code=...&state=..."),
    // after answering it with PAGE. Runs the event pump while it waits;
    // raises ETimedOutError after TIMEOUT, ECanceledError when CANCELLED
    // answers true.
    std::string WaitForQuery(std::chrono::seconds timeout, const std::function<bool()>& cancelled,
                             const std::string& page);

    // The value of NAME in a query, percent-decoded; empty when absent.
    static std::string QueryValue(const std::string& query, const std::string& name);

private:
    std::string ReadRequestLine(int connection, std::chrono::steady_clock::time_point deadline) const;

    int listener_ = -1;
    int port_ = 0;
};

}  // namespace qlk
