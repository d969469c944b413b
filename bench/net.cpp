// Mail client throughput against local servers on 127.0.0.1:
//   - TmsRemotePOP retrieving 1,000 messages of 20 KB from Dovecot, and
//     fetchmail (-a -k --bsmtp FILE) retrieving the same mailbox in the same
//     run, with the ratio of the two rates printed at the end;
//   - TmsSMTP sending 200 messages to aiosmtpd.
// Needs dovecot, fetchmail and python3-aiosmtpd (tests/peers/ start them).
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <thread>

#include "message/TmsMessage.h"
#include "net/TmsRemotePOP.h"
#include "net/TmsSMTP.h"

namespace {

namespace fs = std::filesystem;
using qlk::TmsRemotePOP;

constexpr int kPopMessages = 1000;
constexpr std::size_t kMessageSize = 20 * 1024;
constexpr int kSmtpMessages = 200;

std::uint16_t FreePort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), length);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

fs::path MakeTempDir(const char* stem) {
    std::string pattern = (fs::temp_directory_path() / (std::string(stem) + "XXXXXX")).string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    return pattern;
}

std::string PeerScript(const std::string& name) {
    return std::string(QLK_SOURCE_DIR) + "/tests/peers/" + name;
}

// A server process started by one of the peer scripts, stopped at exit.
struct Peer {
    fs::path dir;
    std::uint16_t port = 0;
    fs::path pidFile;
    bool running = false;

    Peer(const char* stem, const std::string& script, const std::string& arguments, const char* pid)
        : dir(MakeTempDir(stem)), port(FreePort()), pidFile(dir / pid) {
        std::string command = PeerScript(script) + " " + dir.string() + " " + std::to_string(port) + " " +
                              arguments + " >" + (dir / "start.log").string() + " 2>&1";
        running = std::system(command.c_str()) == 0;
    }
    ~Peer() {
        std::ifstream in(pidFile);
        pid_t pid = 0;
        if (running && in >> pid && pid > 0) ::kill(pid, SIGTERM);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    std::string Address() const { return "127.0.0.1:" + std::to_string(port); }
};

std::string SampleMessage(int number) {
    std::string text = "From: sender@example.org\r\nTo: joe@example.org\r\nSubject: benchmark message " +
                       std::to_string(number) + "\r\n\r\n";
    while (text.size() < kMessageSize - 80) {
        text +=
            "The quick brown fox jumps over the lazy dog; line of message " + std::to_string(number) + "\r\n";
    }
    return text;
}

Peer& Dovecot() {
    static Peer peer = [] {
        Peer started("qlkbench-dovecot", "start_dovecot.sh", "joe secret", "run/master.pid");
        if (started.running) {
            fs::path inbox = started.dir / "mail" / "joe" / "new";
            for (int i = 0; i < kPopMessages; ++i) {
                fs::path file = inbox / ("17000" + std::to_string(100000 + i) + ".M1P1.bench");
                std::ofstream(file, std::ios::binary) << SampleMessage(i);
                if (::chown(file.c_str(), 65534, 65534) != 0) started.running = false;
            }
        }
        return started;
    }();
    return peer;
}

long long mailboxBytes = 0;

void BM_TmsRemotePOP_Retrieve1000(benchmark::State& state) {
    Peer& peer = Dovecot();
    if (!peer.running) {
        state.SkipWithError("dovecot did not start");
        return;
    }
    fs::path folder = MakeTempDir("qlkbench-pop");
    long long bytes = 0;
    for (auto _ : state) {
        TmsRemotePOP pop;
        pop.Server = peer.Address();
        pop.UserName = "joe";
        pop.Password = "secret";
        pop.SetMessageDirectory(folder.string());
        pop.Connect();
        for (int i = 0; i < pop.MessageCount; ++i) pop.Retrieve(i);
        pop.Disconnect();
        bytes = pop.MailboxSize;
    }
    fs::remove_all(folder);
    mailboxBytes = bytes;
    state.SetItemsProcessed(state.iterations() * kPopMessages);
    state.SetBytesProcessed(state.iterations() * bytes);
}

void BM_Fetchmail_Retrieve1000(benchmark::State& state) {
    Peer& peer = Dovecot();
    if (!peer.running || std::system("command -v fetchmail >/dev/null 2>&1") != 0) {
        state.SkipWithError("dovecot or fetchmail missing");
        return;
    }
    fs::path home = MakeTempDir("qlkbench-fetchmail");
    fs::path rc = home / "fetchmailrc";
    std::ofstream(rc) << "poll 127.0.0.1 service " << peer.port
                      << " protocol pop3 auth password user \"joe\" password \"secret\"\n";
    fs::permissions(rc, fs::perms::owner_read | fs::perms::owner_write);
    std::string command = "HOME=" + home.string() + " fetchmail -f " + rc.string() +
                          " -a -k --sslproto '' --bsmtp " + (home / "out.bsmtp").string() + " --pidfile " +
                          (home / "pid").string() + " --nosyslog >" + (home / "log").string() + " 2>&1";
    for (auto _ : state) {
        fs::remove(home / "out.bsmtp");
        auto start = std::chrono::steady_clock::now();
        int status = std::system(command.c_str());
        auto elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (status != 0) {
            state.SkipWithError("fetchmail failed");
            break;
        }
        state.SetIterationTime(elapsed);
    }
    fs::remove_all(home);
    state.SetItemsProcessed(state.iterations() * kPopMessages);
    state.SetBytesProcessed(state.iterations() * mailboxBytes);
}

void BM_TmsSMTP_Send200(benchmark::State& state) {
    static Peer peer("qlkbench-smtp", "start_aiosmtpd.sh", "", "aiosmtpd.pid");
    if (!peer.running) {
        state.SkipWithError("aiosmtpd did not start");
        return;
    }
    qlk::TmsMessage message;
    message.Sender().Address = "sender@example.org";
    message.Recipients().Add(std::make_unique<qlk::TmsMailAddress>("joe@example.org", "Joe"));
    message.SetSubject("benchmark");
    for (int i = 0; i < 60; ++i) {
        message.Body().push_back("The quick brown fox jumps over the lazy dog " + std::to_string(i));
    }
    for (auto _ : state) {
        for (int i = 0; i < kSmtpMessages; ++i) {
            qlk::TmsSMTP smtp;
            smtp.Server = peer.Address();
            smtp.MailMessage = &message;
            smtp.SendMail();
        }
    }
    state.SetItemsProcessed(state.iterations() * kSmtpMessages);
}

}  // namespace

BENCHMARK(BM_TmsRemotePOP_Retrieve1000)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_Fetchmail_Retrieve1000)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(3);
BENCHMARK(BM_TmsSMTP_Send200)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

// Reports the two retrieval rates side by side after the runs.
class RateReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs) {
            // With repetitions, the median stands for the runs.
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
            auto rate = run.counters.find("items_per_second");
            if (rate == run.counters.end()) continue;
            if (run.run_name.function_name.find("TmsRemotePOP") != std::string::npos) pop_ = rate->second;
            if (run.run_name.function_name.find("Fetchmail") != std::string::npos) fetchmail_ = rate->second;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        if (pop_ > 0 && fetchmail_ > 0) {
            std::printf("POP3 retrieval: TmsRemotePOP %.0f msgs/s, fetchmail %.0f msgs/s, ratio %.2f\n", pop_,
                        fetchmail_, pop_ / fetchmail_);
        }
    }

private:
    double pop_ = 0;
    double fetchmail_ = 0;
};

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RateReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
