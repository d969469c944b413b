#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "net/EServerError.h"
#include "net/TagFTP.h"
#include "support/FtpPeer.h"

namespace qlk {
namespace {

using test::FtpPeer;
using ::testing::ElementsAre;

std::string Payload(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 4093) & 0xff);
    return bytes;
}

class FtpPyftpdlib : public ::testing::TestWithParam<bool> {};

TEST_P(FtpPyftpdlib, ListsAndFetchesByteExactPassiveOrActive) {
    std::string why;
    auto peer = FtpPeer::Start(why);
    QLK_NEED_PEER(peer, why);
    const std::string big = Payload(6 * 1024 * 1024 + 3);
    peer->AddFile("pub/big.bin", big);
    peer->AddFile("pub/notes.txt", "line one\nline two\n");
    peer->AddFile("pub/sub dir/x", "x");
    test::TempDir dir;

    TagFTP ftp;
    ftp.Server = peer->Address();
    ftp.UserName = "ftp";
    ftp.Passive = GetParam();
    ftp.SetTimeOut(20);
    std::vector<std::string> events;
    long long lastTotal = 0;
    ftp.OnTransferStart = [&](TagSocket&) { events.push_back("start"); };
    ftp.OnTransferEnd = [&](TagSocket&) { events.push_back("end"); };
    ftp.OnTransferProgress = [&](TagSocket&, int perc, long long transferred) {
        if (perc == -1) lastTotal = transferred;
    };
    ftp.Connect();
    ftp.ChangeDir("pub");
    ftp.List();
    EXPECT_EQ(ftp.ServerType(), stUnix);
    std::vector<std::string> listed;
    for (std::size_t i = 0; i < ftp.DirList.Count(); ++i) {
        const auto& item = ftp.DirList.Items(i);
        listed.push_back(item.Name.str() + " " + std::to_string(item.Kind) + " " +
                         (item.Kind == fkFile ? std::to_string(item.Size) : ""));
    }
    std::sort(listed.begin(), listed.end());
    EXPECT_THAT(listed,
                ElementsAre("big.bin 1 " + std::to_string(big.size()), "notes.txt 1 18", "sub dir 2 "));

    ftp.Get("big.bin", (dir / "big.bin").string());
    EXPECT_TRUE(test::ReadFileBytes(dir / "big.bin") == big);
    EXPECT_EQ(lastTotal, static_cast<long long>(big.size()));

    // A refused download leaves the session usable.
    EXPECT_THROW(ftp.Get("missing.bin", (dir / "missing.bin").string()), EServerError);
    ftp.Get("notes.txt", (dir / "notes.txt").string());
    EXPECT_EQ(test::ReadFileBytes(dir / "notes.txt"), "line one\nline two\n");
    ftp.Disconnect();
    EXPECT_FALSE(ftp.Connected());
    EXPECT_THAT(events, ElementsAre("start", "end", "start", "end", "start", "end"));
}

INSTANTIATE_TEST_SUITE_P(Modes, FtpPyftpdlib, ::testing::Bool());

}  // namespace
}  // namespace qlk
