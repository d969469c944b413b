#include "net/TagFTP.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "net/ECanceledError.h"
#include "net/EServerError.h"
#include "net/ESocketError.h"
#include "net/ETimedOutError.h"
#include "support/Outcome.h"
#include "support/ScriptServer.h"
#include "support/TempDir.h"

namespace qlk {
namespace {

using test::Outcome;
using test::ScriptServer;
using ::testing::ElementsAre;
using ::testing::MatchesRegex;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

// The data address of the client's last PORT or EPRT command.
sockaddr_storage DataAddress(const ScriptServer& server) {
    sockaddr_storage address{};
    for (const auto& line : server.ReceivedLines()) {
        unsigned h[4], p[2];
        char host[64] = {};
        unsigned port = 0;
        if (std::sscanf(line.c_str(), "PORT %u,%u,%u,%u,%u,%u", &h[0], &h[1], &h[2], &h[3], &p[0], &p[1]) ==
            6) {
            auto& v4 = reinterpret_cast<sockaddr_in&>(address);
            v4.sin_family = AF_INET;
            v4.sin_addr.s_addr = htonl(h[0] << 24 | h[1] << 16 | h[2] << 8 | h[3]);
            v4.sin_port = htons(static_cast<std::uint16_t>(p[0] << 8 | p[1]));
        } else if (std::sscanf(line.c_str(), "EPRT |2|%63[^|]|%u|", host, &port) == 2) {
            auto& v6 = reinterpret_cast<sockaddr_in6&>(address);
            v6.sin6_family = AF_INET6;
            inet_pton(AF_INET6, host, &v6.sin6_addr);
            v6.sin6_port = htons(static_cast<std::uint16_t>(port));
        }
    }
    return address;
}

// Connects to the client's data port as an active-mode server does; from
// another loopback address when `from` is given. -1 when refused.
int ConnectBack(const ScriptServer& server, const char* from = nullptr) {
    sockaddr_storage address = DataAddress(server);
    int fd = ::socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (from) {
        sockaddr_in source{};
        source.sin_family = AF_INET;
        inet_pton(AF_INET, from, &source.sin_addr);
        ::bind(fd, reinterpret_cast<sockaddr*>(&source), sizeof source);
    }
    socklen_t length = address.ss_family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), length) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

enum class DataEnd { Close, Reset };

void SendData(int fd, const std::string& bytes, DataEnd end = DataEnd::Close) {
    for (std::size_t sent = 0; fd >= 0 && sent < bytes.size();) {
        ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
    }
    if (end == DataEnd::Reset) {
        linger option{1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &option, sizeof option);
    }
    if (fd >= 0) ::close(fd);
}

ScriptServer& PlayLogin(ScriptServer& server) {
    return server.Send("220 ready\r\n").Line().Send("331 password please\r\n").Line().Send("230 in\r\n");
}

// TYPE and PORT accepted, the transfer command answered with `reply`.
ScriptServer& PlayTransferStart(ScriptServer& server, const std::string& reply = "150 opening\r\n") {
    return server.Line().Send("200 type set\r\n").Line().Send("200 port ok\r\n").Line().Send(reply);
}

std::string Payload(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7919 + i / 251) & 0xff);
    return bytes;
}

// An FTP client logged in to `server` with a scratch folder for downloads;
// active mode unless asked.
struct FtpClient {
    test::TempDir dir;
    TagFTP ftp;
    std::vector<std::string> events;

    explicit FtpClient(const ScriptServer& server, int timeOut = 5, bool passive = false) {
        ftp.Server = server.Address();
        ftp.UserName = "ftp";
        ftp.Passive = passive;
        ftp.SetTimeOut(timeOut);
        ftp.OnTransferStart = [this](TagSocket&) { events.push_back("start"); };
        ftp.OnTransferEnd = [this](TagSocket&) { events.push_back("end"); };
        ftp.Connect();
    }
    fs::path File() const { return dir / "file.bin"; }
};

struct LoginCase {
    std::string name;
    bool useProxy;
    TFTPProxyType proxyType;
    std::vector<std::string> replies;  // the greeting, then one per command
    std::vector<std::string> commands;
    std::string failure;  // the exception's text, empty when the log-in succeeds
    ErrorKind kind = ErrorKind::General;
};

void PrintTo(const LoginCase& row, std::ostream* out) {
    *out << row.name;
}

class FtpLogin : public ::testing::TestWithParam<LoginCase> {};

TEST_P(FtpLogin, SendsTheCommandsAndChecksEveryReply) {
    const LoginCase& c = GetParam();
    ScriptServer server;
    server.Send(c.replies[0] + "\r\n");
    for (std::size_t i = 1; i < c.replies.size(); ++i) server.Line().Send(c.replies[i] + "\r\n");
    server.Start();
    TagFTP ftp;
    ftp.UserName = "ftp";
    ftp.SetTimeOut(5);
    ftp.Server = c.useProxy ? "real.example" : server.Address();
    ftp.UseProxy = c.useProxy;
    ftp.ProxyType = c.proxyType;
    ftp.SetProxy(server.Address());
    std::string failure;
    try {
        ftp.Connect();
    } catch (const EServerError& e) {
        failure = e.what();
        EXPECT_EQ(e.Kind(), c.kind);
        EXPECT_EQ(e.Reply().Code(), std::stoi(c.failure));
    }
    EXPECT_EQ(failure, c.failure);
    EXPECT_EQ(ftp.Connected(), c.failure.empty());
    EXPECT_EQ(ftp.Server, c.useProxy ? "real.example" : server.Address());
    ftp.Close();
    server.Join();
    EXPECT_EQ(server.ReceivedLines(), c.commands);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FtpLogin,
    ::testing::Values(
        LoginCase{"Direct", false, fpUserNoLogon, {"220 hi", "331 pw", "230 in"}, {"USER ftp", "PASS "}, ""},
        LoginCase{"PasswordAlsoAfter230",
                  false,
                  fpUserNoLogon,
                  {"220-welcome\r\n220 hi", "230 in", "202 superfluous"},
                  {"USER ftp", "PASS "},
                  ""},
        LoginCase{"GreetingNot220",
                  false,
                  fpUserNoLogon,
                  {"120 wait a minute"},
                  {},
                  "120 wait a minute",
                  ErrorKind::Transient},
        LoginCase{"UserRefused",
                  false,
                  fpUserNoLogon,
                  {"220 hi", "530 no"},
                  {"USER ftp"},
                  "530 no",
                  ErrorKind::Permanent},
        LoginCase{"PasswordRefused",
                  false,
                  fpUserNoLogon,
                  {"220 hi", "331 pw", "530 Login incorrect."},
                  {"USER ftp", "PASS "},
                  "530 Login incorrect.",
                  ErrorKind::Permanent},
        LoginCase{"ProxyUserAtHost",
                  true,
                  fpUserNoLogon,
                  {"220 proxy", "331 pw", "230 in"},
                  {"USER ftp@real.example", "PASS "},
                  ""},
        LoginCase{"ProxyOpen",
                  true,
                  fpProxyOpen,
                  {"220 proxy", "220 connected", "331 pw", "230 in"},
                  {"OPEN real.example", "USER ftp", "PASS "},
                  ""},
        LoginCase{"ProxyOpenRefused",
                  true,
                  fpProxyOpen,
                  {"220 proxy", "421 no route"},
                  {"OPEN real.example"},
                  "421 no route",
                  ErrorKind::Transient}),
    [](const auto& row) { return row.param.name; });

TEST(FtpProxy, WithoutPortIsRefusedAndNotStored) {
    TagFTP ftp;
    ftp.SetProxy("proxy.example:2121");
    EXPECT_THROW(ftp.SetProxy("proxy.example"), ESocketError);
    EXPECT_EQ(ftp.Proxy(), "proxy.example:2121");
}

TEST(FtpGet, TurnsAStrangerAwayAndStoresTheServersBytesWithProgress) {
    const std::string payload = Payload(3 * 1024 * 1024 + 17);
    ScriptServer server;
    PlayLogin(server);
    PlayTransferStart(server)
        .Do([&] {
            // Someone else races the server to the data port.
            SendData(ConnectBack(server, "127.0.0.2"), "EVIL BYTES");
            std::this_thread::sleep_for(100ms);
            SendData(ConnectBack(server), payload);
        })
        .Send("226 done\r\n")
        .Line()
        .Send("221 bye\r\n");
    server.Start();
    FtpClient client(server);
    test::WriteFileBytes(client.File(), "old contents");
    std::vector<long long> totals;
    client.ftp.OnTransferProgress = [&](TagSocket&, int perc, long long transferred) {
        if (perc == 0 && transferred == 0) client.events.push_back("progress 0");
        if (perc == -1) totals.push_back(transferred);
    };
    client.ftp.Get("pub/file.bin", client.File().string());
    client.ftp.Disconnect();
    server.Join();

    EXPECT_TRUE(test::ReadFileBytes(client.File()) == payload);
    EXPECT_THAT(client.events, ElementsAre("progress 0", "start", "end"));
    ASSERT_FALSE(totals.empty());
    EXPECT_TRUE(std::is_sorted(totals.begin(), totals.end()));
    EXPECT_EQ(totals.back(), static_cast<long long>(payload.size()));
    auto lines = server.ReceivedLines();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[2], "TYPE I");
    EXPECT_THAT(lines[3], MatchesRegex("PORT 127,0,0,1,[0-9]+,[0-9]+"));
    EXPECT_EQ(lines[4], "RETR pub/file.bin");
    EXPECT_EQ(lines[5], "QUIT");
    EXPECT_EQ(std::distance(fs::directory_iterator(client.dir.path()), fs::directory_iterator()), 1);
}

struct FailureCase {
    std::string name;
    std::function<void(ScriptServer&)> play;  // after log-in
    std::string outcome;
    int timeOut = 5;
    bool cancelOnData = false;
};

void PrintTo(const FailureCase& row, std::ostream* out) {
    *out << row.name;
}

class FtpGetFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(FtpGetFailure, KeepsTheOldFileAndClosesTheDataPort) {
    const FailureCase& c = GetParam();
    ScriptServer server;
    PlayLogin(server);
    c.play(server);
    server.Start();
    FtpClient client(server, c.timeOut);
    test::WriteFileBytes(client.File(), "old contents");
    client.ftp.OnTransferProgress = [&](TagSocket& sender, int, long long transferred) {
        if (c.cancelOnData && transferred > 0) sender.Cancel();
    };
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(Outcome([&] { client.ftp.Get("file.bin", client.File().string()); }), c.outcome);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 4s);
    client.ftp.Close();
    server.Join();
    EXPECT_EQ(test::ReadFileBytes(client.File()), "old contents");
    EXPECT_EQ(std::distance(fs::directory_iterator(client.dir.path()), fs::directory_iterator()), 1);
    if (DataAddress(server).ss_family != 0) {
        EXPECT_EQ(ConnectBack(server), -1);
    }
}

const std::string kHalf = Payload(64 * 1024);

INSTANTIATE_TEST_SUITE_P(
    Table, FtpGetFailure,
    ::testing::Values(
        FailureCase{"NoSuchFile", [](ScriptServer& s) { PlayTransferStart(s, "550 No such file.\r\n"); },
                    "server: 550 No such file."},
        FailureCase{"PortRefused",
                    [](ScriptServer& s) { s.Line().Send("200 ok\r\n").Line().Send("500 Illegal PORT\r\n"); },
                    "server: 500 Illegal PORT"},
        FailureCase{"NeverConnectsBack", [](ScriptServer& s) { PlayTransferStart(s); }, "timed out", 1},
        FailureCase{"DataReset",
                    [](ScriptServer& s) {
                        PlayTransferStart(s).Do([&s] { SendData(ConnectBack(s), kHalf, DataEnd::Reset); });
                    },
                    "socket: [10054] Connection reset by peer"},
        FailureCase{"DataCutShortThen426",
                    [](ScriptServer& s) {
                        PlayTransferStart(s)
                            .Do([&s] { SendData(ConnectBack(s), kHalf); })
                            .Send("426 Connection closed; transfer aborted.\r\n");
                    },
                    "server: 426 Connection closed; transfer aborted."},
        FailureCase{"ControlDropsBeforeFinalReply",
                    [](ScriptServer& s) {
                        PlayTransferStart(s).Do([&s] { SendData(ConnectBack(s), kHalf); }).Drop();
                    },
                    "server: "},
        FailureCase{"Cancel",
                    [](ScriptServer& s) {
                        PlayTransferStart(s).Do([&s] { SendData(ConnectBack(s), Payload(4 << 20)); });
                    },
                    "canceled", 5, true}),
    [](const auto& row) { return row.param.name; });

struct DataModeCase {
    std::string name;
    // The replies between TYPE and RETR, of each of two downloads in one
    // session; "{port}" and "{p1,p2}" stand for the data port.
    std::vector<std::string> replies, repliesAgain;
    bool active;           // the server connects back
    std::string commands;  // after the log-in
};

std::string WithPort(std::string reply, std::uint16_t port) {
    for (auto [mark, text] : {std::pair<std::string, std::string>{"{port}", std::to_string(port)},
                              {"{p1,p2}", std::to_string(port >> 8) + "," + std::to_string(port & 0xff)}}) {
        if (auto at = reply.find(mark); at != std::string::npos) reply.replace(at, mark.size(), text);
    }
    return reply;
}

class FtpDataMode : public ::testing::TestWithParam<DataModeCase> {};

TEST_P(FtpDataMode, PassiveFirstToTheControlPeerActiveWhenRefused) {
    const DataModeCase& c = GetParam();
    const std::string payload = Payload(200 * 1024 + 3);
    ScriptServer server;
    const std::uint16_t port = server.DataPort();
    PlayLogin(server);
    for (const auto* replies : {&c.replies, &c.repliesAgain}) {
        server.Line().Send("200 type set\r\n");
        for (const auto& reply : *replies) server.Line().Send(WithPort(reply, port) + "\r\n");
        server.Line().Send("150 opening\r\n");
        if (c.active) {
            server.Do([&] { SendData(ConnectBack(server), payload); });
        } else {
            server.ServeData([&](int fd) { SendData(fd, payload); });
        }
        server.Send("226 done\r\n");
    }
    server.Start();
    FtpClient client(server, 5, true);
    client.ftp.Get("file.bin", client.File().string());
    EXPECT_TRUE(test::ReadFileBytes(client.File()) == payload);
    client.ftp.Get("file.bin", client.File().string());
    client.ftp.Close();
    server.Join();
    std::string commands;
    for (const auto& line : server.ReceivedLines())
        commands += line.rfind("PORT 127,0,0,1,", 0) == 0 ? "PORT|" : line + "|";
    EXPECT_EQ(commands, "USER ftp|PASS |" + c.commands);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FtpDataMode,
    ::testing::Values(DataModeCase{"ExtendedPassive",
                                   {"229 Entering Extended Passive Mode (|||{port}|)"},
                                   {"229 Entering Extended Passive Mode (|||{port}|)"},
                                   false,
                                   "TYPE I|EPSV|RETR file.bin|TYPE I|EPSV|RETR file.bin|"},
                      // A garbled EPSV reply counts as a refusal; PASV names a host the
                      // client never connects to: only the port counts.
                      DataModeCase{"PassiveNamingAnotherHost",
                                   {"229 Entering Extended Passive Mode (|||99999|)",
                                    "227 Entering Passive Mode (10,9,8,7,{p1,p2})"},
                                   {"227 =10,9,8,7,{p1,p2}"},
                                   false,
                                   "TYPE I|EPSV|PASV|RETR file.bin|TYPE I|PASV|RETR file.bin|"},
                      DataModeCase{"ActiveWhenPassiveIsRefused",
                                   {"500 EPSV not understood", "502 Passive mode not allowed", "200 port ok"},
                                   {"200 port ok"},
                                   true,
                                   "TYPE I|EPSV|PASV|PORT|RETR file.bin|TYPE I|PORT|RETR file.bin|"}),
    [](const auto& row) { return row.param.name; });

TEST(FtpList, OverIPv6UsesEprtAndParsesTheListing) {
    const std::string listing =
        "total 8\r\n"
        "drwxr-xr-x    2 ftp      ftp          4096 Mar 02  2020 pub\r\n"
        "-rw-r--r--    1 ftp      ftp        901234 Dec 08 04:39 qlkupdt.exe\r\n"
        "\r\n";
    ScriptServer server(ScriptServer::Family::IPv6);
    PlayLogin(server);
    PlayTransferStart(server, "125 listing\r\n")
        .Do([&] { SendData(ConnectBack(server), listing); })
        .Send("226 ok\r\n");
    server.Start();
    FtpClient client(server);
    client.ftp.List();
    client.ftp.Close();
    server.Join();
    auto lines = server.ReceivedLines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[2], "TYPE A");
    EXPECT_THAT(lines[3], MatchesRegex("EPRT \\|2\\|::1\\|[0-9]+\\|"));
    EXPECT_EQ(lines[4], "LIST");
    EXPECT_EQ(client.ftp.ServerType(), stUnix);
    ASSERT_EQ(client.ftp.DirList.Count(), 2u);
    EXPECT_EQ(client.ftp.DirList.Items(1).Name, "qlkupdt.exe");
    EXPECT_EQ(client.ftp.DirList.Items(1).Size, 901234);
}

}  // namespace
}  // namespace qlk
