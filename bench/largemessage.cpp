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
#include <random>
#include <string>

#include "CycleSupport.h"
#include "Smoke.h"
#include "message/Base64.h"
#include "support/TempDir.h"

namespace {

using namespace qlk::bench;

const std::size_t kAttachmentBytes = Sized<std::size_t>(146, 17) * 1024 * 1024;

std::string LargeMessage() {
    std::string bytes(kAttachmentBytes, '\0');
    std::mt19937_64 random(21);
    for (std::size_t i = 0; i + 8 <= bytes.size(); i += 8) {
        const std::uint64_t word = random();
        bytes.replace(i, 8, reinterpret_cast<const char*>(&word), 8);
    }
    std::string encoded;
    qlk::Base64EncodeWrapped(bytes, encoded);
    return "From: Sender <sender@example.org>\r\nTo: joe@example.org\r\nSubject: large\r\n"
           "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n"
           "--b\r\nContent-Type: text/plain\r\n\r\nThe file is attached.\r\n"
           "--b\r\nContent-Type: application/octet-stream; name=large.bin\r\n"
           "Content-Transfer-Encoding: base64\r\n\r\n" +
           encoded + "--b--\r\n";
}

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
    const std::string message = LargeMessage();
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
