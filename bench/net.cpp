// Mail client throughput against local servers on 127.0.0.1:
//   - TmsRemotePOP retrieving 1,000 messages of 20 KB from Dovecot, and
//     fetchmail (-a -k --bsmtp FILE) retrieving the same mailbox in the same
//     run, with the ratio of the two rates printed at the end;
//   - the same two over TLS (POP3S) from a Dovecot that requires it, each
//     checking the server's certificate, with their ratio. There TmsRemotePOP
//     appends every message to one file without fsync, as fetchmail --bsmtp
//     does; "Pop3s1000Files" stores them as the gateway does, each in its own
//     file made durable with fsync (which dominates its time);
//   - TmsSMTP sending 200 messages to aiosmtpd.
// Needs dovecot, fetchmail, openssl and python3-aiosmtpd (tests/peers/ start
// them).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <string>

#include "RateReporter.h"
#include "SharedPeers.h"
#include "Smoke.h"
#include "message/TmsMessage.h"
#include "net/TmsRemotePOP.h"
#include "net/TmsSMTP.h"
#include "support/Peers.h"
#include "support/TempDir.h"
#include "support/TlsPeers.h"

namespace {

namespace fs = std::filesystem;
using qlk::TmsRemotePOP;

const int kPopMessages = qlk::bench::Sized(1000, 20);
constexpr std::size_t kMessageSize = 20 * 1024;
const int kSmtpMessages = qlk::bench::Sized(200, 10);

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

qlk::test::TlsDovecotPeer* TlsDovecot() {
    static std::unique_ptr<qlk::test::TlsDovecotPeer> peer = [] {
        std::string why;
        auto started =
            qlk::test::TlsDovecotPeer::Start("joe", "secret", qlk::test::CertificateKind::Good, why);
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

template <typename Peer>
Peer* Filled(Peer* dovecot) {
    if (dovecot && dovecot->MessageCount() == 0) {
        for (int i = 0; i < kPopMessages; ++i) dovecot->AddMessage(SampleMessage(i));
    }
    return dovecot;
}

long long mailboxBytes = 0;

// With `oneFile` every message is appended to one file, without fsync.
void Retrieve1000(benchmark::State& state, qlk::test::DovecotPeer* peer, const std::string& server,
                  const std::string& trustFile, bool oneFile = false) {
    if (!peer) {
        state.SkipWithError("dovecot did not start");
        return;
    }
    qlk::test::TempDir folder;
    long long bytes = 0;
    for (auto _ : state) {
        TmsRemotePOP pop;
        pop.Server = server;
        pop.TrustFileName = trustFile;
        pop.UserName = "joe";
        pop.Password = "secret";
        pop.SetMessageDirectory(folder.path().string());
        std::ofstream out;
        if (oneFile) {
            out.open(folder.path() / "all.mbox", std::ios::binary | std::ios::trunc);
            pop.OnUserMessageSave = [&out](qlk::TagSocket&, int, const std::string& text) { out << text; };
        }
        pop.Connect();
        for (int i = 0; i < pop.MessageCount; ++i) pop.Retrieve(i);
        pop.Disconnect();
        bytes = pop.MailboxSize;
    }
    mailboxBytes = bytes;
    state.SetItemsProcessed(state.iterations() * kPopMessages);
    state.SetBytesProcessed(state.iterations() * bytes);
}

// `userOptions` end the fetchmailrc's poll line.
void Fetchmail1000(benchmark::State& state, qlk::test::DovecotPeer* peer, const std::string& server,
                   std::uint16_t port, const std::string& userOptions) {
    if (!peer || std::system("command -v fetchmail >/dev/null 2>&1") != 0) {
        state.SkipWithError("dovecot or fetchmail missing");
        return;
    }
    qlk::test::TempDir homeDir;
    const fs::path& home = homeDir.path();
    fs::path rc = home / "fetchmailrc";
    std::ofstream(rc) << "poll " << server << " service " << port
                      << " protocol pop3 auth password user \"joe\" password \"secret\" " << userOptions
                      << "\n";
    fs::permissions(rc, fs::perms::owner_read | fs::perms::owner_write);
    std::string command = "HOME=" + home.string() + " fetchmail -f " + rc.string() + " -a -k --bsmtp " +
                          (home / "out.bsmtp").string() + " --pidfile " + (home / "pid").string() +
                          " --nosyslog >" + (home / "log").string() + " 2>&1";
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

void BM_TmsRemotePOP_Retrieve1000(benchmark::State& state) {
    auto* peer = Filled(Dovecot());
    Retrieve1000(state, peer, peer ? peer->Address() : "", "");
}

void BM_Fetchmail_Retrieve1000(benchmark::State& state) {
    auto* peer = Filled(Dovecot());
    Fetchmail1000(state, peer, "127.0.0.1", peer ? peer->Port() : 0, "sslproto \"\"");
}

void Pop3s1000(benchmark::State& state, bool oneFile) {
    auto* peer = Filled(TlsDovecot());
    if (!peer) return Retrieve1000(state, nullptr, "", "");
    Retrieve1000(state, peer, "pop3s://localhost:" + std::to_string(peer->Pop3sPort()), peer->TrustFile(),
                 oneFile);
}

void BM_TmsRemotePOP_Pop3s1000(benchmark::State& state) {
    Pop3s1000(state, true);
}

void BM_TmsRemotePOP_Pop3s1000Files(benchmark::State& state) {
    Pop3s1000(state, false);
}

void BM_Fetchmail_Pop3s1000(benchmark::State& state) {
    auto* peer = Filled(TlsDovecot());
    if (!peer) return Fetchmail1000(state, nullptr, "", 0, "");
    Fetchmail1000(state, peer, "localhost", peer->Pop3sPort(),
                  "ssl sslcertck sslcertfile \"" + peer->TrustFile().string() + "\" sslproto TLS1.2+");
}

void BM_TmsSMTP_Send200(benchmark::State& state) {
    qlk::test::SmtpPeer* peer = qlk::bench::SharedSmtpPeer();
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
BENCHMARK(BM_TmsRemotePOP_Pop3s1000)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_Fetchmail_Pop3s1000)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(3);
BENCHMARK(BM_TmsRemotePOP_Pop3s1000Files)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_TmsSMTP_Send200)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

int main(int argc, char** argv) {
    qlk::bench::RateReporter reporter;
    for (const char* run : {"Retrieve1000", "Pop3s1000"}) {
        reporter.Compare(std::string("POP3 ") + run, std::string("BM_TmsRemotePOP_") + run, "TmsRemotePOP",
                         std::string("BM_Fetchmail_") + run, "fetchmail");
    }
    return reporter.Run(argc, argv);
}
