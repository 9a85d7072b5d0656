// Base64 encoding and decoding of 1 KiB to 64 MiB, the library's codec
// against OpenSSL's EVP_EncodeBlock / EVP_DecodeBlock on the same bytes.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdint>
#include <random>
#include <vector>

#include "ratio_table.h"
#include "tcore_codec.h"

namespace {

std::vector<unsigned char> randomBytes(size_t n)
{
    std::vector<unsigned char> bytes(n);
    std::mt19937 rng(static_cast<unsigned>(n));
    for (auto& b : bytes) b = static_cast<unsigned char>(rng());
    return bytes;
}

size_t encodedSize(size_t n) { return (n + 2) / 3 * 4; }

void encodeOurs(benchmark::State& state)
{
    auto data = randomBytes(static_cast<size_t>(state.range(0)));
    std::vector<char> out(encodedSize(data.size()) + 1);
    for (auto _ : state) {
        int n = tcore_base64_encode(out.data(), data.data(), static_cast<int>(data.size()),
                                    static_cast<int>(out.size()));
        if (n < 0) state.SkipWithError("tcore_base64_encode failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void encodeOpenssl(benchmark::State& state)
{
    auto data = randomBytes(static_cast<size_t>(state.range(0)));
    std::vector<unsigned char> out(encodedSize(data.size()) + 1);
    for (auto _ : state) {
        int n = EVP_EncodeBlock(out.data(), data.data(), static_cast<int>(data.size()));
        if (n < 0) state.SkipWithError("EVP_EncodeBlock failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

std::vector<unsigned char> encodedText(size_t n)
{
    auto data = randomBytes(n);
    std::vector<unsigned char> text(encodedSize(n) + 1);
    EVP_EncodeBlock(text.data(), data.data(), static_cast<int>(n));
    text.pop_back();
    return text;
}

// The size argument is the decoded size, so both directions share a column.
void decodeOurs(benchmark::State& state)
{
    auto text = encodedText(static_cast<size_t>(state.range(0)));
    std::vector<unsigned char> out(text.size() / 4 * 3);
    for (auto _ : state) {
        int n = tcore_base64_decode(out.data(), reinterpret_cast<const char*>(text.data()),
                                    static_cast<int>(text.size()), static_cast<int>(out.size()));
        if (n < 0) state.SkipWithError("tcore_base64_decode failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void decodeOpenssl(benchmark::State& state)
{
    auto text = encodedText(static_cast<size_t>(state.range(0)));
    std::vector<unsigned char> out(text.size() / 4 * 3);
    for (auto _ : state) {
        int n = EVP_DecodeBlock(out.data(), text.data(), static_cast<int>(text.size()));
        if (n < 0) state.SkipWithError("EVP_DecodeBlock failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void sizes(benchmark::internal::Benchmark* b)
{
    for (int64_t n : {int64_t{1} << 10, int64_t{64} << 10, int64_t{1} << 20, int64_t{16} << 20, int64_t{64} << 20})
        b->Arg(n);
    b->Unit(benchmark::kMicrosecond);
}

}  // namespace

BENCHMARK(encodeOurs)->Name("base64_encode/ours")->Apply(sizes);
BENCHMARK(encodeOpenssl)->Name("base64_encode/openssl")->Apply(sizes);
BENCHMARK(decodeOurs)->Name("base64_decode/ours")->Apply(sizes);
BENCHMARK(decodeOpenssl)->Name("base64_decode/openssl")->Apply(sizes);

int main(int argc, char** argv) { return bench_runWithRatioTable(argc, argv); }
