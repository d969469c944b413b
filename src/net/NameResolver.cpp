#include "net/NameResolver.h"

#include <ares.h>
#include <netdb.h>
#include <poll.h>

#include <algorithm>
#include <cstring>

#include "net/SocketMessages.h"

namespace qlk {

namespace {

// c-ares needs its process-wide set-up once, before the first channel.
void InitialiseLibrary() {
    static const int status = ares_library_init(ARES_LIB_INIT_ALL);
    (void)status;
}

// A c-ares status as the getaddrinfo failure it stands for, so that both
// read as the same Winsock numbers.
int ResolverFailure(int aresStatus) {
    switch (aresStatus) {
        case ARES_ENOTFOUND:
        case ARES_ENONAME:
        case ARES_EBADNAME:
            return EAI_NONAME;
        case ARES_ENODATA:
            return EAI_NODATA;
        case ARES_ETIMEOUT:
        case ARES_ECONNREFUSED:
        case ARES_ESERVFAIL:
        case ARES_EBADRESP:
        case ARES_EOF:
            return EAI_AGAIN;
        case ARES_ENOMEM:
            return EAI_MEMORY;
        default:
            return EAI_FAIL;
    }
}

NameResolver::Address CopyAddress(const sockaddr* address, std::size_t length) {
    NameResolver::Address copy;
    copy.length = static_cast<socklen_t>(std::min(length, sizeof copy.storage));
    std::memcpy(&copy.storage, address, copy.length);
    return copy;
}

}  // namespace

NameResolver::NameResolver(const std::string& host, const std::string& nameServers) {
    if (host.empty()) {
        done_ = true;
        failure_ = WinsockCodeFromResolver(EAI_NONAME, 0);
        return;
    }
    if (!ResolveNumeric(host)) StartQuery(host, nameServers);
}

NameResolver::~NameResolver() {
    // Ends the query; its callback runs once more, with ARES_EDESTRUCTION.
    if (channel_) ares_destroy(channel_);
}

bool NameResolver::ResolveNumeric(const std::string& host) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0) return false;
    for (const addrinfo* entry = found; entry; entry = entry->ai_next) {
        addresses_.push_back(CopyAddress(entry->ai_addr, entry->ai_addrlen));
    }
    freeaddrinfo(found);
    done_ = true;
    return true;
}

void NameResolver::StartQuery(const std::string& host, const std::string& nameServers) {
    InitialiseLibrary();
    ares_options options{};
    if (int status = ares_init_options(&channel_, &options, 0); status != ARES_SUCCESS) {
        channel_ = nullptr;
        Finish(status, nullptr);
        return;
    }
    if (!nameServers.empty() && ares_set_servers_ports_csv(channel_, nameServers.c_str()) != ARES_SUCCESS) {
        Finish(ARES_EBADSTR, nullptr);
        return;
    }
    ares_addrinfo_hints hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    // May finish at once (a name in the hosts file).
    ares_getaddrinfo(channel_, host.c_str(), nullptr, &hints, &NameResolver::Finished, this);
}

void NameResolver::Finished(void* self, int aresStatus, int, ares_addrinfo* result) {
    static_cast<NameResolver*>(self)->Finish(aresStatus, result);
}

void NameResolver::Finish(int aresStatus, ares_addrinfo* result) {
    if (done_) {
        if (result) ares_freeaddrinfo(result);
        return;
    }
    done_ = true;
    if (aresStatus == ARES_SUCCESS && result) {
        for (const ares_addrinfo_node* node = result->nodes; node; node = node->ai_next) {
            if (node->ai_family == AF_INET || node->ai_family == AF_INET6)
                addresses_.push_back(CopyAddress(node->ai_addr, node->ai_addrlen));
        }
    }
    if (result) ares_freeaddrinfo(result);
    if (addresses_.empty()) {
        failure_ = WinsockCodeFromResolver(
            ResolverFailure(aresStatus == ARES_SUCCESS ? ARES_ENODATA : aresStatus), 0);
    }
}

void NameResolver::Step(int milliseconds) {
    if (done_ || !channel_) return;
    ares_socket_t sockets[ARES_GETSOCK_MAXNUM];
    const int wanted = ares_getsock(channel_, sockets, ARES_GETSOCK_MAXNUM);
    std::vector<pollfd> entries;
    for (int i = 0; i < ARES_GETSOCK_MAXNUM; ++i) {
        short events = 0;
        if (ARES_GETSOCK_READABLE(wanted, i)) events |= POLLIN;
        if (ARES_GETSOCK_WRITABLE(wanted, i)) events |= POLLOUT;
        if (events) entries.push_back(pollfd{sockets[i], events, 0});
    }
    // c-ares's own retry clock may want it back sooner than the tick.
    timeval most{milliseconds / 1000, (milliseconds % 1000) * 1000};
    timeval next{};
    const timeval* wait = ares_timeout(channel_, &most, &next);
    const int waitMs = static_cast<int>(wait->tv_sec * 1000 + wait->tv_usec / 1000);
    ::poll(entries.data(), entries.size(), std::max(waitMs, 1));
    for (const pollfd& entry : entries) {
        if (done_) return;
        bool readable = entry.revents & (POLLIN | POLLERR | POLLHUP);
        bool writable = entry.revents & POLLOUT;
        if (readable || writable)
            ares_process_fd(channel_, readable ? entry.fd : ARES_SOCKET_BAD,
                            writable ? entry.fd : ARES_SOCKET_BAD);
    }
    // Lets queries whose time is up be retried or given up.
    if (!done_) ares_process_fd(channel_, ARES_SOCKET_BAD, ARES_SOCKET_BAD);
}

}  // namespace qlk
