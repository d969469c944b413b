// The post office's speed: delivery with every copy fsynced, and the walk the
// outbound transfer makes over the gateway's inbox (count the unread, then
// find and read every message).

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "Smoke.h"
#include "mapi/MapiCodes.h"
#include "mapi/PostOffice.h"
#include "mapi/TEmail.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kNoteBytes = 4 * 1024;
constexpr std::size_t kAttachmentBytes = 16 * 1024;

// A post office with the mailboxes Internet and Sender, and a 16 KB file to
// attach.
class Office {
public:
    Office() {
        qlk::PostOffice::Create(work_.path()).AddMailbox("Sender");
        std::string data(kAttachmentBytes, '\0');
        for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7919 % 251);
        qlk::test::WriteFileBytes(Attachment(), data);
    }
    fs::path Attachment() const { return work_ / "figures.xls"; }
    const fs::path& Work() const { return work_.path(); }
    fs::path Inbox() const { return work_ / "postoffice" / "Internet"; }

    // A sender's session with one 20 KB message ready to go.
    std::unique_ptr<qlk::TEmail> Sender() const {
        auto email = std::make_unique<qlk::TEmail>(work_.path());
        email->Profile = "Sender";
        email->Recipient = {"Internet"};
        email->Subject = "TO: someone@example.com | Monthly figures";
        email->SetLongText(std::string(kNoteBytes, 'n'));
        email->Attachment = {Attachment().string()};
        return email;
    }

    // `count` messages in the inbox, as linked copies of one delivered message.
    void Fill(int count) const {
        auto sender = Sender();
        if (sender->SendMail() != qlk::SUCCESS_SUCCESS) throw std::runtime_error("cannot deliver");
        const fs::path first = fs::directory_iterator(Inbox() / "new")->path();
        for (int i = 1; i < count; ++i) {
            char name[64];
            std::snprintf(name, sizeof name, "%d.M%06dP1Q%d.bench", 1700000000 + i / 1000, i % 1000, i);
            fs::create_hard_link(first, Inbox() / "new" / name);
        }
    }

private:
    qlk::test::TempDir work_;
};

// One message per iteration, fsync of the copy and of new/ included.
void BM_Deliver20KWithAttachment(benchmark::State& state) {
    Office office;
    auto sender = office.Sender();
    sender->Logon();
    for (auto _ : state) {
        if (sender->SendMail() != qlk::SUCCESS_SUCCESS) state.SkipWithError("delivery failed");
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kNoteBytes + kAttachmentBytes));
}
BENCHMARK(BM_Deliver20KWithAttachment)
    ->Iterations(qlk::bench::Sized(1000, 10))
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

// What the disk allows: the same bytes written, fsynced and renamed into a
// folder that is then fsynced, with nothing else around it.
void BM_BaselineWriteSyncRename(benchmark::State& state) {
    qlk::test::TempDir folder;
    const std::string data(kNoteBytes + kAttachmentBytes + 2048, 'x');
    int n = 0;
    for (auto _ : state) {
        const fs::path temporary = folder / ("t" + std::to_string(n));
        const int fd = ::open(temporary.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
        if (fd < 0 || ::write(fd, data.data(), data.size()) != static_cast<ssize_t>(data.size()) ||
            ::fsync(fd) != 0)
            state.SkipWithError("write failed");
        ::close(fd);
        std::rename(temporary.c_str(), (folder / ("m" + std::to_string(n++))).c_str());
        const int dir = ::open(folder.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::fsync(dir);
        ::close(dir);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BaselineWriteSyncRename)
    ->Iterations(qlk::bench::Sized(1000, 10))
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

// CountUnread, then FindNext and ReadMail over every message; the attachment
// files each read leaves are deleted, as the outbound transfer does.
void BM_CountUnreadAndWalk(benchmark::State& state) {
    Office office;
    const int count = static_cast<int>(state.range(0));
    office.Fill(count);
    for (auto _ : state) {
        auto gateway = qlk::TEmail::ForGateway(office.Work());
        gateway->Logon();
        int unread = gateway->CountUnread();
        int read = 0;
        while (!gateway->FindNext().empty()) {
            if (gateway->ReadMail() != qlk::SUCCESS_SUCCESS) continue;
            for (const std::string& path : gateway->AttPathNames) ::unlink(path.c_str());
            ++read;
        }
        if (unread != count || read != count) state.SkipWithError("the walk missed messages");
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_CountUnreadAndWalk)
    ->Arg(qlk::bench::Sized(10000, 100))
    ->Arg(qlk::bench::Sized(20000, 200))
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
