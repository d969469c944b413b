// Peak memory of one transfer cycle that fetches a single large message (a
// short note and one attachment of random bytes, base64: about 200 MB, or
// 24 MB in the smoke run) from the local Dovecot into the post office:
// `quelmark --once` as an operator runs it, a process of its own, its
// maximum resident set size taken from the kernel when it ends. Reported as
// "peak_ratio", that peak over the message's size. The message must arrive
// and its file in QLKMSG/ be gone.
// Needs dovecot (scripts/setup.sh).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "CycleSupport.h"
#include "SampleMail.h"
#include "Smoke.h"
#include "support/TempDir.h"

namespace {

using namespace qlk::bench;

const std::size_t kAttachmentBytes = Sized<std::size_t>(146, 17) * 1024 * 1024;

// Runs `quelmark --once` in WORK; its peak resident bytes, or -1 when it failed.
long long RunOnceProcess(const fs::path& work) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(work.c_str()) == 0)
            ::execl(QLK_QUELMARK, QLK_QUELMARK, "--once", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || ::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return static_cast<long long>(usage.ru_maxrss) * 1024;
}

void BM_Quelmark_OneLargeMessage(benchmark::State& state) {
    qlk::test::DovecotPeer* dovecot = SharedDovecot();
    if (!dovecot) {
        state.SkipWithError("dovecot did not start");
        return;
    }
    const std::string message = MessageWithAttachment(kAttachmentBytes);
    for (auto _ : state) {
        qlk::test::TempDir work;
        PrepareGateway(work.path(), dovecot->Address());
        dovecot->AddMessage("joe", message);
        const auto start = std::chrono::steady_clock::now();
        const long long peak = RunOnceProcess(work.path());
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (peak < 0 || Delivered(work / "postoffice" / "Joe") != 1 || dovecot->MessageCount("joe") != 0 ||
            !fs::is_empty(work / "QLKMSG")) {
            state.SkipWithError("the cycle did not bring the message, or left its file behind");
            break;
        }
        state.counters["peak_MB"] = static_cast<double>(peak) / 1e6;
        state.counters["peak_ratio"] = static_cast<double>(peak) / static_cast<double>(message.size());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<long long>(message.size()));
}

}  // namespace

BENCHMARK(BM_Quelmark_OneLargeMessage)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(Sized(3, 1));

BENCHMARK_MAIN();
