// The cost of one recorded status-log line with a full window: the window
// line, the RTF mirror and the log file entry.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "Smoke.h"
#include "gateway/StatusLog.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

std::string Timestamp() {
    return "12/07/2026 8:00:00 PM";
}

void BM_RecordedLineWithFullWindow(benchmark::State& state) {
    qlk::test::TempDir folder;
    const fs::path rtf = folder.path() / qlk::StatusLog::RtfFileName;
    const fs::path fullWindow = folder.path() / "full.rtf";
    {
        qlk::StatusLog filler(folder.path());
        filler.Clock = Timestamp;
        for (std::size_t i = 0; i < qlk::StatusLog::MaxWindowLines; ++i)
            filler.WriteLog(
                "POP3 : Retrieving message " + std::to_string(i) + " of 1000 for user@example.com",
                1 + static_cast<int>(i % 3));
        filler.Flush();
        fs::copy_file(rtf, fullWindow);
    }
    qlk::StatusLog log(folder.path());
    log.Clock = Timestamp;
    log.DetailLevel = 3;
    log.LogToFile = true;
    for (auto _ : state) {
        state.PauseTiming();
        // Back to exactly 1000 lines, with the RTF file in step with them.
        fs::copy_file(fullWindow, rtf, fs::copy_options::overwrite_existing);
        log.RestoreFromRtf();
        if (log.Lines().size() != qlk::StatusLog::MaxWindowLines) state.SkipWithError("window not full");
        state.ResumeTiming();
        log.WriteLog("SMTP : Sending message to someone@example.org, 2 attachments", 1);
    }
}
BENCHMARK(BM_RecordedLineWithFullWindow)
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(qlk::bench::Sized(1000, 10))
    ->Repetitions(qlk::bench::Sized(5, 1))
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
