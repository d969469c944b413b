#pragma once

#include <memory>
#include <string>
#include <vector>

#include "support/Peers.h"

namespace qlk::test {

// The fake OAuth 2.0 authorization server of tests/peers/qlk_fakeoauth.py:
// client ID "office-app", endpoints /devicecode, /auth and /token.
class OAuthPeer : public PeerProcess {
public:
    // FORGESTATE: the browser is sent back with a state of someone else's.
    static std::unique_ptr<OAuthPeer> Start(std::string& why, bool forgeState = false);
    std::string Url(const std::string& path) const { return "http://" + Address() + path; }
    // From now on every access token it gives is TOKEN, good for SECONDS.
    void Issue(const std::string& token, int seconds) const;
    // The grant_type of each token request so far.
    std::vector<std::string> Grants() const;

private:
    OAuthPeer();
};

}  // namespace qlk::test
