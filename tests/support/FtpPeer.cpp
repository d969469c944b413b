#include "support/FtpPeer.h"

namespace qlk::test {

FtpPeer::FtpPeer() : PeerProcess("pyftpdlib.pid") {}

std::unique_ptr<FtpPeer> FtpPeer::Start(std::string& why) {
    std::unique_ptr<FtpPeer> peer(new FtpPeer());
    if (!peer->Launch("start_pyftpdlib.sh", "", why)) return nullptr;
    return peer;
}

void FtpPeer::AddFile(const std::string& relative, const std::string& bytes) const {
    std::filesystem::path file = Root() / relative;
    std::filesystem::create_directories(file.parent_path());
    WriteFileBytes(file, bytes);
}

}  // namespace qlk::test
