// FTP download throughput against a local pyftpdlib on 127.0.0.1: TagFTP's
// Get of a 100 MB file in passive mode, and curl fetching the same file in
// passive mode (its default) in the same run, with the ratio of the two rates
// printed at the end. Both write into the same scratch folder; TagFTP's
// download also reaches the disk (fsync) before it replaces the file.
// Needs python3-pyftpdlib and curl.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

#include "RateReporter.h"
#include "Smoke.h"
#include "net/TagFTP.h"
#include "support/FtpPeer.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

const std::size_t kFileSize = qlk::bench::Sized<std::size_t>(100 * 1024 * 1024, 1024 * 1024);

qlk::test::FtpPeer* Peer() {
    static std::unique_ptr<qlk::test::FtpPeer> peer = [] {
        std::string why;
        auto started = qlk::test::FtpPeer::Start(why);
        if (!started) {
            std::cerr << why << "\n";
            return started;
        }
        std::string bytes(kFileSize, '\0');
        for (std::size_t i = 0; i < kFileSize; ++i) bytes[i] = static_cast<char>((i * 2654435761u) >> 13);
        started->AddFile("big.bin", bytes);
        return started;
    }();
    return peer.get();
}

void BM_TagFTP_Get100MB(benchmark::State& state) {
    qlk::test::FtpPeer* peer = Peer();
    if (!peer) {
        state.SkipWithError("pyftpdlib did not start");
        return;
    }
    qlk::test::TempDir folder;
    for (auto _ : state) {
        qlk::TagFTP ftp;
        ftp.Server = peer->Address();
        ftp.UserName = "ftp";
        ftp.Connect();
        ftp.Get("big.bin", (folder / "big.bin").string());
        ftp.Disconnect();
    }
    if (fs::file_size(folder / "big.bin") != kFileSize) state.SkipWithError("short download");
    state.SetBytesProcessed(static_cast<long long>(state.iterations() * kFileSize));
}

void BM_Curl_Get100MB(benchmark::State& state) {
    qlk::test::FtpPeer* peer = Peer();
    if (!peer || std::system("command -v curl >/dev/null 2>&1") != 0) {
        state.SkipWithError("pyftpdlib or curl missing");
        return;
    }
    qlk::test::TempDir folder;
    std::string command =
        "curl -s -S -o " + (folder / "big.bin").string() + " ftp://" + peer->Address() + "/big.bin";
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        int status = std::system(command.c_str());
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (status != 0) {
            state.SkipWithError("curl failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<long long>(state.iterations() * kFileSize));
}

}  // namespace

BENCHMARK(BM_TagFTP_Get100MB)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(qlk::bench::Sized(3.0, 0.01))
    ->Repetitions(qlk::bench::Sized(3, 1));
BENCHMARK(BM_Curl_Get100MB)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->MinTime(qlk::bench::Sized(3.0, 0.01))
    ->Repetitions(qlk::bench::Sized(3, 1));

int main(int argc, char** argv) {
    qlk::bench::RateReporter reporter;
    reporter.CompareBytes("FTP Get of 100 MB", "BM_TagFTP_Get100MB", "TagFTP", "BM_Curl_Get100MB",
                          "curl");
    return reporter.Run(argc, argv);
}
