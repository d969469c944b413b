// Mail client throughput against local servers on 127.0.0.1:
//   - TmsRemotePOP retrieving 1,000 messages of 20 KB from Dovecot, and
//     fetchmail (-a -k --bsmtp FILE) retrieving the same mailbox in the same
//     run, with the ratio of the two rates printed at the end;
//   - TmsSMTP sending 200 messages to aiosmtpd.
// Needs dovecot, fetchmail and python3-aiosmtpd (tests/peers/ start them).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "RatioReporter.h"
#include "message/TmsMessage.h"
#include "net/TmsRemotePOP.h"
#include "net/TmsSMTP.h"
#include "support/Peers.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using qlk::TmsRemotePOP;

constexpr int kPopMessages = 1000;
constexpr std::size_t kMessageSize = 20 * 1024;
constexpr int kSmtpMessages = 200;

// The peers live for the whole run: the retrieval benchmarks share one
// mailbox, and each is run several times.
qlk::test::DovecotPeer* Dovecot() {
    static std::unique_ptr<qlk::test::DovecotPeer> peer = [] {
        std::string why;
        auto started = qlk::test::DovecotPeer::Start("joe", "secret", why);
        if (!started) std::cerr << why << "\n";
        return started;
    }();
    return peer.get();
}

qlk::test::SmtpPeer* Smtp() {
    static std::unique_ptr<qlk::test::SmtpPeer> peer = [] {
        std::string why;
        auto started = qlk::test::SmtpPeer::Start(why);
        if (!started) std::cerr << why << "\n";
        return started;
    }();
    return peer.get();
}

std::string SampleMessage(int number) {
    std::string text = "From: sender@example.org\r\nTo: joe@example.org\r\nSubject: benchmark message " +
                       std::to_string(number) + "\r\n\r\n";
    while (text.size() < kMessageSize - 80) {
        text +=
            "The quick brown fox jumps over the lazy dog; line of message " + std::to_string(number) + "\r\n";
    }
    return text;
}

qlk::test::DovecotPeer* FilledDovecot() {
    static qlk::test::DovecotPeer* peer = [] {
        qlk::test::DovecotPeer* dovecot = Dovecot();
        if (dovecot) {
            for (int i = 0; i < kPopMessages; ++i) dovecot->AddMessage(SampleMessage(i));
        }
        return dovecot;
    }();
    return peer;
}

long long mailboxBytes = 0;

void BM_TmsRemotePOP_Retrieve1000(benchmark::State& state) {
    qlk::test::DovecotPeer* peer = FilledDovecot();
    if (!peer) {
        state.SkipWithError("dovecot did not start");
        return;
    }
    qlk::test::TempDir folder;
    long long bytes = 0;
    for (auto _ : state) {
        TmsRemotePOP pop;
        pop.Server = peer->Address();
        pop.UserName = "joe";
        pop.Password = "secret";
        pop.SetMessageDirectory(folder.path().string());
        pop.Connect();
        for (int i = 0; i < pop.MessageCount; ++i) pop.Retrieve(i);
        pop.Disconnect();
        bytes = pop.MailboxSize;
    }
    mailboxBytes = bytes;
    state.SetItemsProcessed(state.iterations() * kPopMessages);
    state.SetBytesProcessed(state.iterations() * bytes);
}

void BM_Fetchmail_Retrieve1000(benchmark::State& state) {
    qlk::test::DovecotPeer* peer = FilledDovecot();
    if (!peer || std::system("command -v fetchmail >/dev/null 2>&1") != 0) {
        state.SkipWithError("dovecot or fetchmail missing");
        return;
    }
    qlk::test::TempDir homeDir;
    const fs::path& home = homeDir.path();
    fs::path rc = home / "fetchmailrc";
    std::ofstream(rc) << "poll 127.0.0.1 service " << peer->Port()
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
    state.SetItemsProcessed(state.iterations() * kPopMessages);
    state.SetBytesProcessed(state.iterations() * mailboxBytes);
}

void BM_TmsSMTP_Send200(benchmark::State& state) {
    qlk::test::SmtpPeer* peer = Smtp();
    if (!peer) {
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
            smtp.Server = peer->Address();
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

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter("TmsRemotePOP", "Fetchmail", [](double pop, double fetchmail) {
        std::printf("POP3 retrieval: TmsRemotePOP %.0f msgs/s, fetchmail %.0f msgs/s, ratio %.2f\n", pop,
                    fetchmail, pop / fetchmail);
    });
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
