// Speed of the message decoder and encoder on whole messages: one large
// base64 attachment, a set of ordinary messages, and writing a large one.

#include <benchmark/benchmark.h>

#include <random>
#include <streambuf>
#include <string>
#include <vector>

#include "message/Base64.h"
#include "message/QuotedPrintable.h"
#include "message/TmsMessage.h"

namespace {

std::string RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
}

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

const char kHeaders[] =
    "Return-Path: <alice@example.org>\r\nReceived: from mx.example.org by pop.example.net\r\n"
    "From: \"Alice Example\" <alice@example.org>\r\nTo: Bob <bob@example.net>, carol@example.net\r\n"
    "Subject: Benchmark message\r\nDate: Mon, 7 Dec 2026 09:11:58 +0100\r\nMIME-Version: 1.0\r\n";

std::string MessageWithAttachment(std::size_t rawSize) {
    std::string text = kHeaders;
    text +=
        "Content-Type: multipart/mixed; boundary=\"b1\"\r\n\r\n--b1\r\nContent-Type: text/plain\r\n\r\n"
        "See the attachment.\r\n\r\n--b1\r\nContent-Type: application/octet-stream; name=\"data.bin\"\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\n";
    qlk::Base64EncodeWrapped(RandomBytes(rawSize, 1), text);
    return text + "\r\n--b1--\r\n";
}

// Ordinary mail: plain text, text with an HTML alternative in
// quoted-printable, and text with a small base64 attachment.
std::string OrdinaryMessage(std::size_t targetSize, unsigned seed) {
    std::mt19937 random(seed);
    std::string prose;
    while (prose.size() < targetSize / 2) prose += ProseLine(random) + "\r\n";
    std::string text = kHeaders;
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
    const std::string text = MessageWithAttachment(15 * 1000 * 1000);
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
BENCHMARK(BM_DecodeLargeBase64Message)->Unit(benchmark::kMillisecond)->MinTime(2);

void BM_DecodeOrdinaryMessages(benchmark::State& state) {
    std::vector<std::string> texts;
    std::size_t total = 0;
    std::mt19937 random(7);
    for (unsigned i = 0; i < 1000; ++i) {
        texts.push_back(OrdinaryMessage(5000 + random() % 45000, i));
        total += texts.back().size();
    }
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
BENCHMARK(BM_DecodeOrdinaryMessages)->Unit(benchmark::kMillisecond)->MinTime(2);

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
    const std::size_t size = 20 * 1000 * 1000;
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
BENCHMARK(BM_EncodeLargeAttachment)->Unit(benchmark::kMillisecond)->MinTime(2);

}  // namespace

BENCHMARK_MAIN();
