// Outbound throughput against a local SMTP sink (aiosmtpd on 127.0.0.1):
//   - the outbound transfer taking 1,000 messages of 20 KB, one attachment
//     each, from the post office's "Internet" mailbox to the sink (reading
//     and deleting them in the post office included);
//   - msmtp sending the same 1,000 messages, one process per message, to the
//     same sink in the same run;
// and the ratio of the two rates at the end. Needs python3-aiosmtpd and msmtp.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>

#include "RateReporter.h"
#include "SharedPeers.h"
#include "Smoke.h"
#include "gateway/Gateway.h"
#include "gateway/StatusLog.h"
#include "gateway/TableEngine.h"
#include "gateway/TransferTally.h"
#include "mapi/PostOffice.h"
#include "mapi/TEmail.h"
#include "message/TmsMessage.h"
#include "net/TmsSMTP.h"
#include "support/Peers.h"
#include "support/TempDir.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

const int kMessages = qlk::bench::Sized(1000, 20);
constexpr std::size_t kNoteSize = 5 * 1024;
constexpr std::size_t kAttachmentSize = 11 * 1024;  // about 15 KB once in base64

std::string NoteText() {
    std::string text;
    for (int line = 0; text.size() < kNoteSize; ++line)
        text += "The quick brown fox jumps over the lazy dog, line " + std::to_string(line) + "\r\n";
    return text;
}

std::string AttachmentBytes() {
    std::string bytes(kAttachmentSize, '\0');
    unsigned state = 12345;
    for (char& c : bytes) {
        state = state * 1103515245 + 12345;
        c = static_cast<char>(state >> 16);
    }
    return bytes;
}

// A working folder with a post office, the sending user Ann in the user
// table, and the attachment file.
struct Office {
    qlk::test::TempDir dir;
    qlk::test::TempDir tmp;
    std::string savedTmp;
    Office() {
        if (const char* old = std::getenv("TMPDIR")) savedTmp = old;
        setenv("TMPDIR", tmp.path().c_str(), 1);
        qlk::PostOffice::Create(dir.path()).AddMailbox("Ann");
        qlk::TableEngine users(dir / "users.DB");
        users.Open();
        users.Append();
        users.SetAsString(qlk::UserField::Name, "Ann Smith");
        users.SetAsString(qlk::UserField::Mailbox, "Ann");
        users.SetAsString(qlk::UserField::POPHost, "pop.example");
        users.SetAsString(qlk::UserField::POPUserID, "ann");
        users.SetAsString(qlk::UserField::POPPassword, "pw");
        users.SetAsString(qlk::UserField::ReturnAddress, "ann@office.example");
        users.Post();
        qlk::test::WriteFileBytes(dir / "figures.bin", AttachmentBytes());
    }
    ~Office() {
        if (savedTmp.empty())
            unsetenv("TMPDIR");
        else
            setenv("TMPDIR", savedTmp.c_str(), 1);
    }

    void FillInternetMailbox() {
        qlk::TEmail ann(dir.path());
        ann.Profile = "Ann";
        ann.Logon();
        const std::string text = NoteText();
        for (int i = 0; i < kMessages; ++i) {
            ann.Recipient = {"Internet"};
            ann.Subject = "TO:bob@example.org|Figures " + std::to_string(i);
            ann.SetLongText(text);
            ann.Attachment = {(dir / "figures.bin").string()};
            if (ann.SendMail() != 0) throw std::runtime_error("post office refused a message");
        }
    }
};

void BM_OutboundTransfer_1000(benchmark::State& state) {
    qlk::test::SmtpPeer* sink = qlk::bench::SharedSmtpPeer();
    if (!sink) {
        state.SkipWithError("aiosmtpd did not start");
        return;
    }
    Office office;
    qlk::Gateway gateway(office.dir.path(), [](const std::string&) {});
    qlk::Settings settings;
    settings.SMTPServer = sink->Address();
    settings.LogToFile = false;
    settings.LogDetailLevel = 1;
    gateway.UseSettings(settings);
    gateway.Users().OpenTable();
    qlk::TransferTally& tally = gateway.Cycle().Tally();
    for (auto _ : state) {
        office.FillInternetMailbox();
        tally.Reset();
        const auto start = std::chrono::steady_clock::now();
        gateway.Outbound().SendOutgoingMail();
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (tally.MessagesSent != kMessages) {
            state.SkipWithError("not every message was sent");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kMessages);
}

// The same message as the outbound transfer sends it, for msmtp.
std::string EncodedMessage(const fs::path& attachment) {
    qlk::TmsMessage message;
    message.Sender().Name = "Ann";
    message.Sender().Address = "ann@office.example";
    message.Headers().Add("Reply-To: Ann<ann@office.example>");
    message.Recipients().AddAddress("bob@example.org", "");
    message.SetSubject("Figures");
    std::istringstream text(NoteText());
    for (std::string line; std::getline(text, line);)
        message.Body().push_back(line.substr(0, line.size() - 1));
    message.Attachments().AddFile(attachment.string());
    std::ostringstream out;
    message.SaveToStream(out);
    return std::move(out).str();
}

bool RunMsmtp(const std::string& port, const fs::path& input) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
    std::string hostArg = "--host=127.0.0.1", portArg = "--port=" + port;
    const char* argv[] = {"msmtp",      hostArg.c_str(),   portArg.c_str(),
                          "--auth=off", "--tls=off",       "--from=ann@office.example",
                          "--",         "bob@example.org", nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, "msmtp", &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    return spawned == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void BM_Msmtp_1000(benchmark::State& state) {
    qlk::test::SmtpPeer* sink = qlk::bench::SharedSmtpPeer();
    if (!sink || std::system("command -v msmtp >/dev/null 2>&1") != 0) {
        state.SkipWithError("aiosmtpd or msmtp missing");
        return;
    }
    Office office;
    const fs::path message = office.dir / "message.eml";
    qlk::test::WriteFileBytes(message, EncodedMessage(office.dir / "figures.bin"));
    const std::string port = std::to_string(sink->Port());
    for (auto _ : state) {
        for (int i = 0; i < kMessages; ++i) {
            if (!RunMsmtp(port, message)) {
                state.SkipWithError("msmtp failed");
                return;
            }
        }
    }
    state.SetItemsProcessed(state.iterations() * kMessages);
}

}  // namespace

BENCHMARK(BM_OutboundTransfer_1000)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);
BENCHMARK(BM_Msmtp_1000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

int main(int argc, char** argv) {
    qlk::bench::RateReporter reporter;
    reporter.Compare("Outbound", "BM_OutboundTransfer_1000", "OutboundTransfer", "BM_Msmtp_1000", "msmtp");
    return reporter.Run(argc, argv);
}
