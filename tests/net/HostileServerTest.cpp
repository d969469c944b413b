// Servers and name servers that try to hold the gateway: each wait ends
// within its bound, keeps little, and fails the ordinary way (a time-out,
// or a socket error naming the bound).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <thread>

#include "net/TagFTP.h"
#include "platform/EventPump.h"
#include "support/Outcome.h"
#include "support/ScriptServer.h"
#include "support/TempDir.h"

namespace qlk {
namespace {

using test::Outcome;
using test::ScriptServer;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

enum class Run { Reply, DataBlock, FtpLogin, FtpGet };

void RunOne(Run run, TagSocket& socket, const test::TempDir& folder) {
    if (run == Run::FtpLogin || run == Run::FtpGet) {
        auto& ftp = static_cast<TagFTP&>(socket);
        ftp.Connect();
        if (run == Run::FtpGet) ftp.Get("qlkupdt.exe", (folder / "qlkupdt.exe").string());
        return;
    }
    socket.Open();
    socket.ConnectSocket();
    std::ostringstream block;
    if (run == Run::Reply) socket.ReadReply();
    if (run == Run::DataBlock) socket.ReceiveToStream(block, -1);
}

// Log-in, TYPE, EPSV naming the script's data port and RETR accepted; then
// the data trickles a byte every 200 ms until the client goes.
void PlayTricklingDownload(ScriptServer& s) {
    const std::string port = std::to_string(s.DataPort());
    s.Send("220 ready\r\n").Line().Send("331 password please\r\n").Line().Send("230 in\r\n");
    s.Line()
        .Send("200 type set\r\n")
        .Line()
        .Send("229 Entering Extended Passive Mode (|||" + port + "|)\r\n");
    s.Line().Send("150 opening\r\n").ServeData([](int fd) {
        for (auto end = Clock::now() + 8s; Clock::now() < end && ::send(fd, "x", 1, MSG_NOSIGNAL) == 1;)
            std::this_thread::sleep_for(200ms);
        ::close(fd);
    });
}

struct HostileCase {
    std::string name;
    std::function<void(ScriptServer&)> play;
    Run run;
    int timeOut;
    int sessionFloor;  // with a rate of 256 KiB/s
    std::string outcome;
    std::chrono::milliseconds within;
};

class HostileServer : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileServer, EndsWithinItsBoundKeepingLittle) {
    const HostileCase& c = GetParam();
    ScriptServer server;
    c.play(server);
    server.Start();
    test::TempDir folder;
    const bool ftp = c.run == Run::FtpLogin || c.run == Run::FtpGet;
    std::unique_ptr<TagSocket> socket = ftp ? std::make_unique<TagFTP>() : std::make_unique<TagSocket>();
    socket->Server = server.Address();
    socket->SetTimeOut(c.timeOut);
    socket->SessionFloorSeconds = c.sessionFloor;
    socket->SessionMinBytesPerSecond = 256 * 1024;
    auto started = Clock::now();
    EXPECT_EQ(Outcome([&] { RunOne(c.run, *socket, folder); }), c.outcome);
    EXPECT_LT(Clock::now() - started, c.within);
    EXPECT_LE(socket->ReplyLines().size(), static_cast<std::size_t>(TagSocket::DefaultMaxReplyLines));
    EXPECT_EQ(socket->Connected(), c.outcome == "ok");
    socket->Close();
}

INSTANTIATE_TEST_SUITE_P(
    Table, HostileServer,
    ::testing::Values(
        HostileCase{"GreetingNeverSent", [](ScriptServer&) {}, Run::Reply, 1, 0, "timed out", 2500ms},
        // A line every 300 ms never lets the 1 s idle limit pass; the reply's
        // deadline (TimeOut from its first byte) ends it.
        HostileCase{"ReplyTrickle", [](ScriptServer& s) { s.Trickle("250-more\r\n", 300ms, 8s); }, Run::Reply,
                    1, 0, "timed out", 2500ms},
        HostileCase{"FtpBannerTrickle", [](ScriptServer& s) { s.Trickle("220-welcome\r\n", 300ms, 8s); },
                    Run::FtpLogin, 1, 0, "timed out", 2500ms},
        HostileCase{"GiantLine", [](ScriptServer& s) { s.Send("250 " + std::string(100000, 'x')); },
                    Run::Reply, 5, 0, "socket: Reply line longer than 8192 bytes", 1s},
        HostileCase{"EndlessMultiLineReply",
                    [](ScriptServer& s) { for (int i = 0; i < 300; ++i) s.Send("250-more\r\n"); },
                    Run::Reply, 5, 0, "socket: Reply longer than 256 lines", 1s},
        // A byte every 200 ms never lets the 5 s idle limit pass; the
        // session's deadline (2 s, the bytes earning next to nothing) ends it.
        HostileCase{"DataTrickle", [](ScriptServer& s) { s.Trickle("x", 200ms, 8s); }, Run::DataBlock, 5, 2,
                    "timed out", 3500ms},
        HostileCase{"FtpDataTrickle", PlayTricklingDownload, Run::FtpGet, 5, 2, "timed out", 3500ms},
        // 1.25 MiB over about 2 s: longer than the 1 s floor, well within
        // what the bytes earn.
        HostileCase{"SteadyBlockEarnsItsTime",
                    [](ScriptServer& s) {
                        for (int i = 0; i < 20; ++i) s.Send(std::string(64 * 1024, 'y')).Stall(100ms);
                        s.Send("\r\n.\r\n");
                    },
                    Run::DataBlock, 5, 1, "ok", 6s}),
    [](const auto& row) { return row.param.name; });

// A name server that never answers: a UDP port nobody reads.
TEST(NameLookup, ThatIsNeverAnsweredTimesOutOrIsCancelledFromTheEventPump) {
    int nameServer = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(nameServer, reinterpret_cast<sockaddr*>(&address), length), 0);
    ::getsockname(nameServer, reinterpret_cast<sockaddr*>(&address), &length);
    for (bool cancel : {false, true}) {
        TagSocket socket;
        socket.NameServers = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
        socket.Server = "mail.quelmark-test.example:110";
        socket.SetTimeOut(1);
        std::vector<std::string> reported;
        socket.OnError = [&](TagSocket&, std::string& msg) { reported.push_back(msg); };
        int pumped = 0;
        auto previous = SetMessagePump([&] {
            if (cancel && ++pumped == 3) socket.Cancel();
        });
        auto started = Clock::now();
        EXPECT_EQ(Outcome([&] { socket.Open(); }), cancel ? "canceled" : "timed out");
        SetMessagePump(previous);
        EXPECT_LT(Clock::now() - started, cancel ? 500ms : 2500ms);
        EXPECT_EQ(reported,
                  std::vector<std::string>{cancel ? "Operation has been canceled" : "Operation timed out"});
    }
    ::close(nameServer);
}

}  // namespace
}  // namespace qlk
