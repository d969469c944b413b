// One transfer cycle bringing 1,000 messages of 20 KB from the local Dovecot
// into the post office (Delete Mail on), and in the same run the classic
// pairing on the same mailbox from the same server: fetchmail handing each
// message to procmail, which stores it in a Maildir. Both delete what they
// fetched. The two rates and their ratio are printed at the end.
// Needs dovecot, fetchmail and procmail (scripts/setup.sh installs them).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <string>

#include "CycleSupport.h"
#include "RateReporter.h"
#include "Smoke.h"
#include "gateway/HeadlessGateway.h"
#include "support/TempDir.h"

namespace {

using namespace qlk::bench;

const int kMessages = Sized(1000, 20);

// The cycle with the status log at LOGLEVEL (3, verbose, is the default).
void RunCycles(benchmark::State& state, int logLevel) {
    qlk::test::DovecotPeer* dovecot = SharedDovecot();
    if (!dovecot) {
        state.SkipWithError("dovecot did not start");
        return;
    }
    for (auto _ : state) {
        qlk::test::TempDir work;
        Fill(*dovecot, kMessages);
        PrepareGateway(work.path(), dovecot->Address(), logLevel);
        std::ostringstream quiet;
        qlk::HeadlessGateway gateway(work.path(), quiet);
        gateway.Start();
        const auto start = std::chrono::steady_clock::now();
        const int code = gateway.RunOnce();
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (code != 0 || Delivered(work / "postoffice" / "Joe") != static_cast<std::size_t>(kMessages) ||
            dovecot->MessageCount("joe") != 0) {
            state.SkipWithError("the cycle did not bring every message");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kMessages);
}

void BM_Quelmark_Cycle1000(benchmark::State& state) {
    RunCycles(state, 3);
}

void BM_Quelmark_Cycle1000_LogLevel1(benchmark::State& state) {
    RunCycles(state, 1);
}

void BM_FetchmailProcmail_1000(benchmark::State& state) {
    qlk::test::DovecotPeer* dovecot = SharedDovecot();
    if (!dovecot || !HaveFetchmail()) {
        state.SkipWithError("dovecot, fetchmail or procmail missing");
        return;
    }
    for (auto _ : state) {
        qlk::test::TempDir home;
        const std::string command = FetchmailCommand(home.path(), dovecot->Port());
        Fill(*dovecot, kMessages);
        const auto start = std::chrono::steady_clock::now();
        const int status = std::system(command.c_str());
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (status != 0 || Delivered(home.path() / "Maildir") != static_cast<std::size_t>(kMessages) ||
            dovecot->MessageCount("joe") != 0) {
            state.SkipWithError("fetchmail did not bring every message");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kMessages);
}

}  // namespace

BENCHMARK(BM_Quelmark_Cycle1000)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(Sized(3, 1));
BENCHMARK(BM_Quelmark_Cycle1000_LogLevel1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(Sized(3, 1));
BENCHMARK(BM_FetchmailProcmail_1000)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(Sized(3, 1));

int main(int argc, char** argv) {
    qlk::bench::RateReporter reporter;
    reporter.Compare("1,000 messages of 20 KB", "BM_Quelmark_Cycle1000", "quelmark cycle",
                     "BM_FetchmailProcmail_1000", "fetchmail+procmail");
    reporter.Compare("1,000 messages of 20 KB, log level 3 against 1", "BM_Quelmark_Cycle1000", "level 3",
                     "BM_Quelmark_Cycle1000_LogLevel1", "level 1");
    return reporter.Run(argc, argv);
}
