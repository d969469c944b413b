// One transfer cycle bringing 1,000 messages of 20 KB from the local Dovecot
// into the post office (Delete Mail on), and in the same run the classic
// pairing on the same mailbox from the same server: fetchmail handing each
// message to procmail, which stores it in a Maildir. Both delete what they
// fetched. The two rates and their ratio are printed at the end.
// Needs dovecot, fetchmail and procmail (scripts/setup.sh installs them).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "Smoke.h"
#include "RateReporter.h"
#include "gateway/ConfigurationFile.h"
#include "gateway/HeadlessGateway.h"
#include "gateway/UsersDatabase.h"
#include "mapi/PostOffice.h"
#include "support/Peers.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using qlk::test::DovecotPeer;

const int kMessages = qlk::bench::Sized(1000, 20);
constexpr std::size_t kMessageSize = 20 * 1024;

DovecotPeer* Dovecot() {
    static std::unique_ptr<DovecotPeer> peer = [] {
        std::string why;
        auto started = DovecotPeer::Start({{"joe", "secret"}}, why);
        if (!started) std::cerr << why << "\n";
        return started;
    }();
    return peer.get();
}

std::string SampleMessage(int number) {
    std::string text =
        "From: Sender <sender@example.org>\r\nTo: joe@example.org\r\nSubject: benchmark message " +
        std::to_string(number) + "\r\nDate: Tue, 8 Dec 2026 09:00:00 +0000\r\n\r\n";
    while (text.size() < kMessageSize - 80)
        text +=
            "The quick brown fox jumps over the lazy dog; line of message " + std::to_string(number) + "\r\n";
    return text;
}

void Fill(DovecotPeer& dovecot) {
    for (int i = 0; i < kMessages; ++i) dovecot.AddMessage("joe", SampleMessage(i));
}

// A working folder with the post office, one user row and QLK.CFG as an
// office would have them (default log detail: verbose, with the log file).
void PrepareGateway(const fs::path& work, const std::string& host) {
    qlk::PostOffice office = qlk::PostOffice::Create(work);
    office.AddMailbox("Joe");
    qlk::UsersDatabase users(work / "users.DB");
    users.Open();
    qlk::UserRecord row;
    row.name = row.mailbox = "Joe";
    row.popHost = host;
    row.popUserId = "joe";
    row.popPassword = "secret";
    row.returnAddress = "joe@example.org";
    row.deleteMail = true;
    users.Insert(row);
    qlk::Settings settings;
    settings.AutoUpdate = false;
    std::ofstream(work / qlk::ConfigurationFile::FileName, std::ios::binary)
        << qlk::ConfigurationFile::Format(settings);
}

std::size_t Delivered(const fs::path& maildir) {
    std::size_t count = 0;
    for (const char* sub : {"new", "cur"}) {
        if (!fs::exists(maildir / sub)) continue;
        for ([[maybe_unused]] const auto& entry : fs::directory_iterator(maildir / sub)) ++count;
    }
    return count;
}

void BM_Quelmark_Cycle1000(benchmark::State& state) {
    DovecotPeer* dovecot = Dovecot();
    if (!dovecot) {
        state.SkipWithError("dovecot did not start");
        return;
    }
    for (auto _ : state) {
        qlk::test::TempDir work;
        Fill(*dovecot);
        PrepareGateway(work.path(), dovecot->Address());
        std::ostringstream quiet;
        qlk::HeadlessGateway gateway(work.path(), quiet);
        gateway.Start();
        const auto start = std::chrono::steady_clock::now();
        const int code = gateway.RunOnce();
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (code != 0 || Delivered(work / "postoffice" / "Joe") != kMessages ||
            dovecot->MessageCount("joe") != 0) {
            state.SkipWithError("the cycle did not bring every message");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kMessages);
}

void BM_FetchmailProcmail_1000(benchmark::State& state) {
    DovecotPeer* dovecot = Dovecot();
    if (!dovecot || std::system("command -v fetchmail >/dev/null && test -x /usr/bin/procmail") != 0) {
        state.SkipWithError("dovecot, fetchmail or procmail missing");
        return;
    }
    for (auto _ : state) {
        qlk::test::TempDir homeDir;
        const fs::path& home = homeDir.path();
        const fs::path maildir = home / "Maildir";
        for (const char* sub : {"new", "cur", "tmp"}) fs::create_directories(maildir / sub);
        std::ofstream(home / "procmailrc") << ":0\n" << maildir.string() << "/\n";
        const fs::path rc = home / "fetchmailrc";
        std::ofstream(rc)
            << "poll 127.0.0.1 service " << dovecot->Port()
            << " protocol pop3 auth password user \"joe\" password \"secret\" mda \"/usr/bin/procmail -m "
            << (home / "procmailrc").string() << "\"\n";
        fs::permissions(rc, fs::perms::owner_read | fs::perms::owner_write);
        const std::string command = "HOME=" + home.string() + " fetchmail -f " + rc.string() +
                                    " -a --sslproto '' --pidfile " + (home / "pid").string() +
                                    " --nosyslog >" + (home / "log").string() + " 2>&1";
        Fill(*dovecot);
        const auto start = std::chrono::steady_clock::now();
        const int status = std::system(command.c_str());
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (status != 0 || Delivered(maildir) != kMessages || dovecot->MessageCount("joe") != 0) {
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
    ->Repetitions(qlk::bench::Sized(3, 1));
BENCHMARK(BM_FetchmailProcmail_1000)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(qlk::bench::Sized(3, 1));

int main(int argc, char** argv) {
    qlk::bench::RateReporter reporter;
    reporter.Compare("1,000 messages of 20 KB", "BM_Quelmark_Cycle1000", "quelmark cycle",
                     "BM_FetchmailProcmail_1000", "fetchmail+procmail");
    return reporter.Run(argc, argv);
}
