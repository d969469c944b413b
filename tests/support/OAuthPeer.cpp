#include "support/OAuthPeer.h"

#include <fstream>

namespace qlk::test {

OAuthPeer::OAuthPeer() : PeerProcess("oauth.pid") {}

std::unique_ptr<OAuthPeer> OAuthPeer::Start(std::string& why, bool forgeState) {
    std::unique_ptr<OAuthPeer> peer(new OAuthPeer());
    if (!peer->Launch("start_fakeoauth.sh", forgeState ? "forge-state" : "", why)) return nullptr;
    return peer;
}

void OAuthPeer::Issue(const std::string& token, int seconds) const {
    std::ofstream(Dir() / "access-token") << token;
    std::ofstream(Dir() / "expires-in") << seconds;
}

std::vector<std::string> OAuthPeer::Grants() const {
    std::vector<std::string> grants;
    std::ifstream in(Dir() / "requests.log");
    for (std::string line; std::getline(in, line);) grants.push_back(line);
    return grants;
}

}  // namespace qlk::test
