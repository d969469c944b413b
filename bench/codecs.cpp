// Throughput of the content codecs on line-wrapped input as the message
// encoder and decoder see it. Every figure is bytes per second of decoded
// (raw) data.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "SampleMail.h"
#include "message/Base64.h"
#include "message/QuotedPrintable.h"
#include "message/TQuotedPrintable.h"
#include "message/UUCode.h"

namespace {

using qlk::bench::RandomBytes;

constexpr std::size_t kDataSize = 1 << 20;

// Ordinary mail text: words of varying length, lines of about 70
// characters ended by CR LF, now and then an accented letter or an "=".
std::string OrdinaryText(std::size_t size) {
    static const char* const kWords[] = {"the", "gateway", "delivers", "mail",    "to",  "every",    "user",
                                         "of",  "post",    "office",   "caf\xe9", "a=b", "tomorrow", "and"};
    std::mt19937 random(7);
    std::string text;
    std::size_t lineLength = 0;
    while (text.size() < size) {
        const std::string word = kWords[random() % std::size(kWords)];
        if (lineLength + word.size() > 70) {
            text += "\r\n";
            lineLength = 0;
        } else if (lineLength > 0) {
            text += ' ';
            ++lineLength;
        }
        text += word;
        lineLength += word.size();
    }
    return text;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find("\r\n", pos);
        // The text need not end with a line end: its last line runs to the end.
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

void SetBytes(benchmark::State& state, std::size_t bytes) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

void BM_Base64Encode(benchmark::State& state) {
    const std::string data = RandomBytes(kDataSize, 42);
    std::string out;
    for (auto _ : state) {
        out.clear();
        qlk::Base64EncodeWrapped(data, out);
        benchmark::DoNotOptimize(out.data());
    }
    SetBytes(state, data.size());
}
BENCHMARK(BM_Base64Encode);

void BM_Base64Decode(benchmark::State& state) {
    const std::string data = RandomBytes(kDataSize, 42);
    std::string text;
    qlk::Base64EncodeWrapped(data, text);
    std::string out;
    for (auto _ : state) {
        out.clear();
        qlk::Base64DecodeText(text, out);
        benchmark::DoNotOptimize(out.data());
    }
    SetBytes(state, data.size());
}
BENCHMARK(BM_Base64Decode);

// The decoder's way: one call per stored line, appending to the data.
void BM_Base64DecodeLineByLine(benchmark::State& state) {
    const std::string data = RandomBytes(kDataSize, 42);
    std::string text;
    qlk::Base64EncodeWrapped(data, text);
    const std::vector<std::string> lines = SplitLines(text);
    std::string out;
    for (auto _ : state) {
        out.clear();
        for (const std::string& line : lines) qlk::Base64DecodeLineAppend(line, out);
        benchmark::DoNotOptimize(out.data());
    }
    SetBytes(state, data.size());
}
BENCHMARK(BM_Base64DecodeLineByLine);

// The line interface, one string returned per line.
void BM_Base64DecodeString(benchmark::State& state) {
    const std::string data = RandomBytes(kDataSize, 42);
    std::string text;
    qlk::Base64EncodeWrapped(data, text);
    const std::vector<std::string> lines = SplitLines(text);
    for (auto _ : state) {
        for (const std::string& line : lines) benchmark::DoNotOptimize(qlk::Base64DecodeString(line));
    }
    SetBytes(state, data.size());
}
BENCHMARK(BM_Base64DecodeString);

void BM_UUEncode(benchmark::State& state) {
    const std::string data = RandomBytes(kDataSize, 42);
    std::string out;
    for (auto _ : state) {
        out.clear();
        qlk::UUEncodeWrapped(data, out);
        benchmark::DoNotOptimize(out.data());
    }
    SetBytes(state, data.size());
}
BENCHMARK(BM_UUEncode);

void BM_UUDecode(benchmark::State& state) {
    const std::string data = RandomBytes(kDataSize, 42);
    std::string text;
    qlk::UUEncodeWrapped(data, text);
    const std::vector<std::string> lines = SplitLines(text);
    std::string out;
    for (auto _ : state) {
        out.clear();
        for (const std::string& line : lines) qlk::UUDecodeLineAppend(line, out);
        benchmark::DoNotOptimize(out.data());
    }
    SetBytes(state, data.size());
}
BENCHMARK(BM_UUDecode);

void BM_QPEncode(benchmark::State& state) {
    const std::string data = OrdinaryText(kDataSize);
    std::string out;
    for (auto _ : state) {
        out.clear();
        qlk::QPEncodeAppend(data, out);
        benchmark::DoNotOptimize(out.data());
    }
    SetBytes(state, data.size());
}
BENCHMARK(BM_QPEncode);

void BM_QPDecode(benchmark::State& state) {
    const std::string data = OrdinaryText(kDataSize);
    std::string text;
    qlk::QPEncodeAppend(data, text);
    std::string out;
    for (auto _ : state) {
        out.clear();
        qlk::QPDecodeText(text, out);
        benchmark::DoNotOptimize(out.data());
    }
    SetBytes(state, data.size());
}
BENCHMARK(BM_QPDecode);

// The stream and line-list coder, as TQuotedPrintable callers use it.
void BM_QPEncodeLineList(benchmark::State& state) {
    std::string data = OrdinaryText(kDataSize);
    std::vector<std::string> lines;
    for (auto _ : state) {
        lines.clear();
        qlk::TQuotedPrintable(data, lines).Encode();
        benchmark::DoNotOptimize(lines.data());
    }
    SetBytes(state, data.size());
}
BENCHMARK(BM_QPEncodeLineList);

void BM_QPDecodeLineList(benchmark::State& state) {
    const std::string data = OrdinaryText(kDataSize);
    std::string text;
    qlk::QPEncodeAppend(data, text);
    std::vector<std::string> lines = SplitLines(text);
    std::string out;
    for (auto _ : state) {
        out.clear();
        qlk::TQuotedPrintable(out, lines).Decode();
        benchmark::DoNotOptimize(out.data());
    }
    SetBytes(state, data.size());
}
BENCHMARK(BM_QPDecodeLineList);

}  // namespace

BENCHMARK_MAIN();
