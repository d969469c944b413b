// 300 messages of 20 KB from the local Dovecot through a TCP proxy that
// delays every chunk by D ms in each direction (bench/latency_proxy.py, no
// bandwidth cap), for D = 0, 25 and 100 (a round trip of 0, 50 and 200 ms):
// the gateway's transfer cycle into the post office, and in the same run
// through the same proxy mpop (which pipelines; delivery into a Maildir,
// keep off) and fetchmail handing each message to procmail. All delete what
// they fetched. Besides the rates, "round_trips" is the wall time per message
// in round trips of the link.
// Needs dovecot, python3, mpop, fetchmail and procmail (scripts/setup.sh).
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "CycleSupport.h"
#include "RateReporter.h"
#include "Smoke.h"
#include "gateway/HeadlessGateway.h"
#include "support/TempDir.h"

namespace {

using namespace qlk::bench;

const int kMessages = Sized(300, 5);
const std::vector<int> kDelays = SmokeRun() ? std::vector<int>{0} : std::vector<int>{0, 25, 100};

// The proxy in front of Dovecot for one benchmark; ended with it.
class LatencyProxy {
public:
    LatencyProxy(std::uint16_t upstreamPort, int delayMs) {
        int out[2];
        if (::pipe(out) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            ::close(out[1]);
            const std::string port = std::to_string(upstreamPort), delay = std::to_string(delayMs);
            ::execlp("python3", "python3", QLK_BENCH_DIR "/latency_proxy.py", "127.0.0.1", port.c_str(),
                     delay.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(out[1]);
        // Open until the proxy ends: its line may come in more than one write.
        output_ = out[0];
        std::string line;
        char c = 0;
        while (pid_ > 0 && line.size() < 16 && ::read(output_, &c, 1) == 1 && c != '\n') line += c;
        port_ = static_cast<std::uint16_t>(std::atoi(line.c_str()));
    }
    ~LatencyProxy() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(output_);
    }
    LatencyProxy(const LatencyProxy&) = delete;
    LatencyProxy& operator=(const LatencyProxy&) = delete;

    std::uint16_t Port() const { return port_; }

private:
    pid_t pid_ = -1;
    int output_ = -1;
    std::uint16_t port_ = 0;
};

// One fetch of the whole mailbox through the proxy: returns the messages it
// delivered, or -1 when it failed.
using Fetcher = std::function<long(std::uint16_t port)>;

void RunThroughProxy(benchmark::State& state, int delayMs, const Fetcher& fetch) {
    qlk::test::DovecotPeer* dovecot = SharedDovecot();
    if (!dovecot) {
        state.SkipWithError("dovecot did not start");
        return;
    }
    LatencyProxy proxy(dovecot->Port(), delayMs);
    if (proxy.Port() == 0) {
        state.SkipWithError("the latency proxy did not start");
        return;
    }
    for (auto _ : state) {
        Fill(*dovecot, kMessages);
        const auto start = std::chrono::steady_clock::now();
        const long delivered = fetch(proxy.Port());
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        if (delivered != kMessages || dovecot->MessageCount("joe") != 0) {
            state.SkipWithError("not every message was brought");
            break;
        }
        if (delayMs > 0) state.counters["round_trips"] = seconds / kMessages / (2 * delayMs / 1000.0);
    }
    state.SetItemsProcessed(state.iterations() * kMessages);
}

long QuelmarkCycle(std::uint16_t port) {
    qlk::test::TempDir work;
    PrepareGateway(work.path(), "127.0.0.1:" + std::to_string(port));
    std::ostringstream quiet;
    qlk::HeadlessGateway gateway(work.path(), quiet);
    gateway.Start();
    if (gateway.RunOnce() != 0) return -1;
    return static_cast<long>(Delivered(work / "postoffice" / "Joe"));
}

long Mpop(std::uint16_t port) {
    qlk::test::TempDir home;
    const fs::path maildir = home / "Maildir";
    MakeMaildir(maildir);
    const fs::path rc = home / "mpoprc";
    std::ofstream(rc) << "account default\nhost 127.0.0.1\nport " << port
                      << "\ntls off\nauth user\nuser joe\npassword secret\ndelivery maildir "
                      << maildir.string() << "\nkeep off\n";
    fs::permissions(rc, fs::perms::owner_read | fs::perms::owner_write);
    const std::string command = "mpop -C " + rc.string() + " -q >" + (home / "log").string() + " 2>&1";
    if (std::system(command.c_str()) != 0) return -1;
    return static_cast<long>(Delivered(maildir));
}

long FetchmailProcmail(std::uint16_t port) {
    qlk::test::TempDir home;
    const std::string command = FetchmailCommand(home.path(), port);
    if (std::system(command.c_str()) != 0) return -1;
    return static_cast<long>(Delivered(home / "Maildir"));
}

std::string Name(const std::string& tool, int delayMs) {
    return "BM_" + tool + "_D" + std::to_string(delayMs);
}

void Register(const std::string& tool, int delayMs, const Fetcher& fetch) {
    benchmark::RegisterBenchmark(
        Name(tool, delayMs).c_str(),
        [delayMs, fetch](benchmark::State& state) { RunThroughProxy(state, delayMs, fetch); })
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->Iterations(1)
        ->Repetitions(Sized(3, 1));
}

}  // namespace

int main(int argc, char** argv) {
    const bool haveTools = std::system("command -v mpop >/dev/null") == 0 && HaveFetchmail();
    qlk::bench::RateReporter reporter;
    for (int delay : kDelays) {
        Register("Quelmark", delay, QuelmarkCycle);
        Register("Mpop", delay, haveTools ? Fetcher(Mpop) : Fetcher([](std::uint16_t) { return -1L; }));
        Register("Fetchmail", delay,
                 haveTools ? Fetcher(FetchmailProcmail) : Fetcher([](std::uint16_t) { return -1L; }));
        const std::string label =
            std::to_string(kMessages) + " messages of 20 KB, " + std::to_string(delay) + " ms each way";
        reporter.Compare(label, Name("Quelmark", delay), "quelmark cycle", Name("Mpop", delay), "mpop");
        reporter.Compare(label, Name("Quelmark", delay), "quelmark cycle", Name("Fetchmail", delay),
                         "fetchmail+procmail");
    }
    return reporter.Run(argc, argv);
}
