// Speed of the message decoder and encoder on whole messages: one large
// base64 attachment, a set of ordinary messages, and writing a large one.
// GMime 3 parses and decodes the same messages in the same run, for
// comparison; BM_PeakMemory reports what decoding the large message from its
// file costs in memory, ours and GMime's, as multiples of the message size.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <gmime/gmime.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <new>
#include <random>
#include <streambuf>
#include <string>
#include <vector>

#include "SampleMail.h"
#include "Smoke.h"
#include "message/Base64.h"
#include "message/QuotedPrintable.h"
#include "message/TmsMessage.h"
#include "support/TempDir.h"

// Heap bytes in use through operator new, and their peak, counted only
// while a measurement asks for it.
namespace {

// The large message's attachment, and the number of ordinary messages.
const std::size_t kLargeRawSize = qlk::bench::Sized<std::size_t>(15 * 1000 * 1000, 150 * 1000);
const unsigned kOrdinaryMessages = qlk::bench::Sized(1000u, 20u);
std::atomic<bool> gCounting{false};
std::atomic<long long> gInUse{0};
std::atomic<long long> gPeak{0};

void* CountedAllocation(std::size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    if (gCounting) {
        const long long now = gInUse += static_cast<long long>(malloc_usable_size(p));
        long long peak = gPeak;
        while (now > peak && !gPeak.compare_exchange_weak(peak, now)) {
        }
    }
    return p;
}

void CountedRelease(void* p) noexcept {
    if (!p) return;
    if (gCounting) gInUse -= static_cast<long long>(malloc_usable_size(p));
    std::free(p);
}
}  // namespace

void* operator new(std::size_t size) {
    return CountedAllocation(size);
}
void* operator new[](std::size_t size) {
    return CountedAllocation(size);
}
void operator delete(void* p) noexcept {
    CountedRelease(p);
}
void operator delete[](void* p) noexcept {
    CountedRelease(p);
}
void operator delete(void* p, std::size_t) noexcept {
    CountedRelease(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    CountedRelease(p);
}

namespace {

using namespace qlk::bench;

std::string ProseLine(std::mt19937& random) {
    static const char* const kWords[] = {"the",  "gateway", "delivers", "mail", "to",   "every",   "office",
                                         "user", "after",   "checking", "its",  "post", "message", "Caf\xE9"};
    std::string line;
    while (line.size() < 60) {
        line += kWords[random() % std::size(kWords)];
        line += ' ';
    }
    return line;
}

// Ordinary mail: plain text, text with an HTML alternative in
// quoted-printable, and text with a small base64 attachment.
std::string OrdinaryMessage(std::size_t targetSize, unsigned seed) {
    std::mt19937 random(seed);
    std::string prose;
    while (prose.size() < targetSize / 2) prose += ProseLine(random) + "\r\n";
    std::string text = kSampleHeaders;
    switch (seed % 3) {
        case 0:
            text += "Content-Type: text/plain; charset=us-ascii\r\n\r\n" + prose + prose;
            break;
        case 1:
            text +=
                "Content-Type: multipart/alternative; boundary=\"alt\"\r\n\r\n--alt\r\n"
                "Content-Type: text/plain\r\n\r\n" +
                prose +
                "\r\n--alt\r\nContent-Type: text/html\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n";
            qlk::QPEncodeAppend("<html><body>" + prose + "</body></html>", text);
            text += "\r\n--alt--\r\n";
            break;
        default:
            text +=
                "Content-Type: multipart/mixed; boundary=\"mix\"\r\n\r\n--mix\r\nContent-Type: "
                "text/plain\r\n\r\n" +
                prose +
                "\r\n--mix\r\nContent-Type: image/png; name=\"chart.png\"\r\n"
                "Content-Transfer-Encoding: base64\r\n\r\n";
            qlk::Base64EncodeWrapped(RandomBytes(targetSize / 3, seed), text);
            text += "\r\n--mix--\r\n";
            break;
    }
    return text;
}

void BM_DecodeLargeBase64Message(benchmark::State& state) {
    const std::string text = MessageWithAttachment(kLargeRawSize);
    for (auto _ : state) {
        state.PauseTiming();
        std::string copy = text;
        qlk::TmsMessage message;
        state.ResumeTiming();
        message.LoadFromText(std::move(copy));
        benchmark::DoNotOptimize(message.Attachments().Items(0).Data.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    state.counters["message_MB"] = static_cast<double>(text.size()) / 1e6;
}
BENCHMARK(BM_DecodeLargeBase64Message)->Unit(benchmark::kMillisecond)->MinTime(qlk::bench::Sized(2.0, 0.01));

// The 1,000 ordinary messages, and their total size.
std::vector<std::string> OrdinaryMessages(std::size_t& total) {
    std::vector<std::string> texts;
    total = 0;
    std::mt19937 random(7);
    for (unsigned i = 0; i < kOrdinaryMessages; ++i) {
        texts.push_back(OrdinaryMessage(5000 + random() % 45000, i));
        total += texts.back().size();
    }
    return texts;
}

void BM_DecodeOrdinaryMessages(benchmark::State& state) {
    std::size_t total = 0;
    const std::vector<std::string> texts = OrdinaryMessages(total);
    for (auto _ : state) {
        for (const std::string& text : texts) {
            qlk::TmsMessage message;
            message.LoadFromText(text);
            benchmark::DoNotOptimize(message.Body().data());
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * total));
    state.counters["set_MB"] = static_cast<double>(total) / 1e6;
}
BENCHMARK(BM_DecodeOrdinaryMessages)->Unit(benchmark::kMillisecond)->MinTime(qlk::bench::Sized(2.0, 0.01));

// Bytes GMime decoded, so that a run that decoded nothing shows.
long long gGMimeDecoded = 0;

// GMime: parse the message and decode every leaf part into memory, and read
// the subject and sender as our decoder does.
void DecodePart(GMimeObject*, GMimeObject* part, gpointer) {
    if (!GMIME_IS_PART(part)) return;
    GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(part));
    if (!content) return;
    GMimeStream* out = g_mime_stream_mem_new();
    g_mime_data_wrapper_write_to_stream(content, out);
    gGMimeDecoded += g_mime_stream_length(out);
    g_object_unref(out);
}

void GMimeDecode(GMimeStream* stream) {
    GMimeParser* parser = g_mime_parser_new_with_stream(stream);
    GMimeMessage* message = g_mime_parser_construct_message(parser, nullptr);
    if (message) {
        benchmark::DoNotOptimize(g_mime_message_get_subject(message));
        benchmark::DoNotOptimize(
            internet_address_list_to_string(g_mime_message_get_from(message), nullptr, FALSE));
        g_mime_message_foreach(message, DecodePart, nullptr);
        g_object_unref(message);
    }
    g_object_unref(parser);
}

void GMimeDecodeText(const std::string& text) {
    GMimeStream* stream = g_mime_stream_mem_new_with_buffer(text.data(), text.size());
    GMimeDecode(stream);
    g_object_unref(stream);
}

void BM_GMimeDecodeLargeBase64Message(benchmark::State& state) {
    g_mime_init();
    const std::string text = MessageWithAttachment(kLargeRawSize);
    for (auto _ : state) GMimeDecodeText(text);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_GMimeDecodeLargeBase64Message)->Unit(benchmark::kMillisecond)->MinTime(qlk::bench::Sized(2.0, 0.01));

void BM_GMimeDecodeOrdinaryMessages(benchmark::State& state) {
    g_mime_init();
    std::size_t total = 0;
    const std::vector<std::string> texts = OrdinaryMessages(total);
    for (auto _ : state) {
        for (const std::string& text : texts) GMimeDecodeText(text);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * total));
}
BENCHMARK(BM_GMimeDecodeOrdinaryMessages)->Unit(benchmark::kMillisecond)->MinTime(qlk::bench::Sized(2.0, 0.01));

long long StatusKilobytes(const char* field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with(field)) return std::atoll(line.c_str() + std::string(field).size() + 1);
    }
    return 0;
}

struct Peak {
    long long residentGrowth = 0;  // peak resident bytes beyond those before the work
    long long heap = 0;            // peak operator-new bytes (our code only)
};

// Runs `work` in a child process, so that neither the benchmark's own memory
// nor an earlier peak counts.
Peak PeakOf(const std::function<void()>& work) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return {};
    const pid_t child = fork();
    if (child == 0) {
        std::ofstream("/proc/self/clear_refs") << "5";  // resets the resident peak
        const long long before = StatusKilobytes("VmRSS:");
        gInUse = 0;
        gPeak = 0;
        gCounting = true;
        work();
        gCounting = false;
        const Peak peak{(StatusKilobytes("VmHWM:") - before) * 1024, gPeak.load()};
        if (write(pipeEnds[1], &peak, sizeof peak) != sizeof peak) _exit(1);
        _exit(0);
    }
    close(pipeEnds[1]);
    Peak peak;
    if (read(pipeEnds[0], &peak, sizeof peak) != sizeof peak) peak = {};
    close(pipeEnds[0]);
    waitpid(child, nullptr, 0);
    return peak;
}

// Decoding the 20 MB message from the file the POP3 client stored.
void BM_PeakMemory(benchmark::State& state) {
    qlk::test::TempDir dir;
    const std::string path = (dir / "msg_0.eml").string();
    const std::string text = MessageWithAttachment(kLargeRawSize);
    std::ofstream(path, std::ios::binary) << text;
    const double size = static_cast<double>(text.size());
    Peak ours;
    Peak gmime;
    for (auto _ : state) {
        ours = PeakOf([&] {
            qlk::TmsMessage message;
            message.LoadFromFile(path);
            benchmark::DoNotOptimize(message.Attachments().Items(0).Data.data());
        });
        gmime = PeakOf([&] {
            gGMimeDecoded = 0;
            g_mime_init();
            GMimeStream* stream = g_mime_stream_fs_open(path.c_str(), O_RDONLY, 0, nullptr);
            GMimeDecode(stream);
            g_object_unref(stream);
            gPeak = gGMimeDecoded;
        });
    }
    state.counters["message_MB"] = size / 1e6;
    state.counters["ours_heap_x"] = static_cast<double>(ours.heap) / size;
    state.counters["ours_resident_x"] = static_cast<double>(ours.residentGrowth) / size;
    state.counters["gmime_resident_x"] = static_cast<double>(gmime.residentGrowth) / size;
    state.counters["gmime_decoded_MB"] = static_cast<double>(gmime.heap) / 1e6;
}
BENCHMARK(BM_PeakMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

// Counts what the encoder writes without keeping it.
class CountingBuffer : public std::streambuf {
public:
    std::size_t count = 0;

protected:
    std::streamsize xsputn(const char*, std::streamsize n) override {
        count += static_cast<std::size_t>(n);
        return n;
    }
    int_type overflow(int_type c) override {
        ++count;
        return c;
    }
};

void BM_EncodeLargeAttachment(benchmark::State& state) {
    const std::size_t size = qlk::bench::Sized<std::size_t>(20 * 1000 * 1000, 200 * 1000);
    qlk::TmsMessage message;
    message.Sender().Address = "alice@example.org";
    message.Recipients().AddAddress("bob@example.net", "Bob");
    message.SetSubject("Large file");
    message.Body() = {"See the attachment."};
    auto item = std::make_unique<qlk::TmsAttItem>();
    item->SetFileName("data.bin");
    item->Data = RandomBytes(size, 3);
    message.Attachments().Add(std::move(item));
    for (auto _ : state) {
        CountingBuffer sink;
        std::ostream out(&sink);
        message.SaveToStream(out);
        benchmark::DoNotOptimize(sink.count);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}
BENCHMARK(BM_EncodeLargeAttachment)->Unit(benchmark::kMillisecond)->MinTime(qlk::bench::Sized(2.0, 0.01));

}  // namespace

BENCHMARK_MAIN();
