#pragma once

#include <iostream>
#include <memory>
#include <string>

#include "support/Peers.h"

namespace qlk::bench {

// One aiosmtpd for the whole run of a benchmark program; none (with the
// reason on standard error) when it does not start.
inline test::SmtpPeer* SharedSmtpPeer() {
    static std::unique_ptr<test::SmtpPeer> peer = [] {
        std::string why;
        auto started = test::SmtpPeer::Start(why);
        if (!started) std::cerr << why << "\n";
        return started;
    }();
    return peer.get();
}

}  // namespace qlk::bench
