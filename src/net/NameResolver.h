#pragma once

#include <sys/socket.h>

#include <string>
#include <vector>

struct ares_addrinfo;
struct ares_channeldata;

namespace qlk {

// Looks a host up without ever blocking the thread: a numeric address at
// once, a name through c-ares (the hosts file, then DNS) on sockets of its
// own, which the caller serves a tick at a time (Step) between runs of its
// event pump, so that the wait can be timed and cancelled like any other.
// Freeing the resolver abandons a look-up still running.
class NameResolver {
public:
    struct Address {
        sockaddr_storage storage{};
        socklen_t length = 0;
    };

    // `nameServers`, when not empty, replaces the name servers of
    // /etc/resolv.conf: "address[:port]" items separated by ",".
    NameResolver(const std::string& host, const std::string& nameServers);
    ~NameResolver();
    NameResolver(const NameResolver&) = delete;
    NameResolver& operator=(const NameResolver&) = delete;

    bool Done() const { return done_; }
    // Waits at most `milliseconds` for the look-up's sockets and serves them.
    void Step(int milliseconds);
    // Once done: the host's stream addresses, best first; empty when the
    // look-up failed.
    const std::vector<Address>& Addresses() const { return addresses_; }
    // Once done without addresses: the Winsock number of the failure
    // ("[11001] Host not found" and its kin).
    int Failure() const { return failure_; }

private:
    bool ResolveNumeric(const std::string& host);
    void StartQuery(const std::string& host, const std::string& nameServers);
    void Finish(int aresStatus, ares_addrinfo* result);
    static void Finished(void* self, int aresStatus, int timeouts, ares_addrinfo* result);

    ares_channeldata* channel_ = nullptr;
    bool done_ = false;
    int failure_ = 0;
    std::vector<Address> addresses_;
};

}  // namespace qlk
