#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "support/Peers.h"

namespace qlk::test {

// pyftpdlib serving a folder read-only to the anonymous users "anonymous"
// and "ftp".
class FtpPeer : public PeerProcess {
public:
    static std::unique_ptr<FtpPeer> Start(std::string& why);
    // The folder served as "/".
    std::filesystem::path Root() const { return Dir() / "root"; }
    // Writes a file below Root(), creating its folders.
    void AddFile(const std::string& relative, const std::string& bytes) const;

private:
    FtpPeer();
};

}  // namespace qlk::test
