// The SignedData around 1 KiB to 256 MiB of content and its base64 text:
// the library's encoder (pieces around the caller's content, one base64
// pass over them) against OpenSSL building the same structure with PKCS7
// objects, i2d_PKCS7 and EVP_EncodeBlock. Same certificate, same signature
// bytes; the two texts are checked to be identical before timing.
#include <benchmark/benchmark.h>
#include <openssl/crypto.h>
#include <openssl/x509.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench_files.h"
#include "openssl_signed_data.h"
#include "ratio_table.h"
#include "tasn1_item.h"
#include "tasn1_pkcs7.h"
#include "tcore_codec.h"
#include "tcore_mem.h"

namespace {

struct Inputs {
    std::string cert = bench_fixture("certs/sm2_sign.der");
    std::string sig = std::string(72, '\x5A');
    std::vector<unsigned char> content;
    X509* x509 = nullptr;
    Inputs()
    {
        content.resize(size_t{256} << 20);
        for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<unsigned char>(i * 131 + (i >> 9));
        const auto* p = reinterpret_cast<const unsigned char*>(cert.data());
        x509 = d2i_X509(nullptr, &p, static_cast<long>(cert.size()));
    }
};

const Inputs& inputs()
{
    static const Inputs in;
    return in;
}

const unsigned char* bytes(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }

// The library's road: what signing hands to the caller, as a new text.
char* oursText(const unsigned char* content, int n, int* textLen)
{
    const Inputs& in = inputs();
    tasn1_p7pieces pieces{};
    int total = tasn1_p7sign_encode_attachPieces(content, n, bytes(in.cert), static_cast<int>(in.cert.size()),
                                                 bytes(in.sig), static_cast<int>(in.sig.size()), TASN1_KID_SM3,
                                                 &pieces);
    if (total <= 0) return nullptr;
    const tcore_bytes parts[] = {
        {pieces.head, pieces.headLen}, {pieces.content, pieces.contentLen}, {pieces.tail, pieces.tailLen}};
    int capacity = (total + 2) / 3 * 4 + 1;
    auto* text = static_cast<char*>(tcore_zalloc(static_cast<size_t>(capacity)));
    *textLen = tcore_base64_encodePieces(text, parts, 3, capacity);
    tasn1_p7pieces_free(&pieces);
    return text;
}

char* opensslText(const unsigned char* content, int n, int* textLen)
{
    const Inputs& in = inputs();
    unsigned char* der = nullptr;
    int len = openssl_signedData(content, static_cast<size_t>(n), in.x509, bytes(in.sig), in.sig.size(), kSm3Oid,
                                 kSm2SignOid, &der);
    if (len <= 0) return nullptr;
    char* text = nullptr;
    *textLen = openssl_base64(der, len, &text);
    OPENSSL_free(der);
    return text;
}

// One road's text made and released per iteration.
template <class Make, class Release>
void encodeLoop(benchmark::State& state, Make make, Release release)
{
    int n = static_cast<int>(state.range(0));
    for (auto _ : state) {
        int len = 0;
        char* text = make(inputs().content.data(), n, &len);
        if (text == nullptr) state.SkipWithError("the encoder failed");
        benchmark::DoNotOptimize(text);
        release(text);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * n);
}

void encodeOurs(benchmark::State& state) { encodeLoop(state, oursText, tcore_free); }

void encodeOpenssl(benchmark::State& state)
{
    encodeLoop(state, opensslText, [](char* text) { OPENSSL_free(text); });
}

void sizes(benchmark::internal::Benchmark* b)
{
    for (int64_t n : {int64_t{1} << 10, int64_t{64} << 10, int64_t{1} << 20, int64_t{16} << 20, int64_t{64} << 20,
                      int64_t{256} << 20})
        b->Arg(n);
    b->Unit(benchmark::kMicrosecond);
}

// The comparison means something only if both build the same bytes.
bool sameText(int n)
{
    int oursLen = 0, opensslLen = 0;
    char* ours = oursText(inputs().content.data(), n, &oursLen);
    char* theirs = opensslText(inputs().content.data(), n, &opensslLen);
    bool same = ours != nullptr && theirs != nullptr && oursLen == opensslLen &&
                std::string(ours, static_cast<size_t>(oursLen)) == std::string(theirs, static_cast<size_t>(opensslLen));
    tcore_free(ours);
    OPENSSL_free(theirs);
    return same;
}

}  // namespace

BENCHMARK(encodeOurs)->Name("signed_data_base64/ours")->Apply(sizes);
BENCHMARK(encodeOpenssl)->Name("signed_data_base64/openssl")->Apply(sizes);

int main(int argc, char** argv)
{
    for (int n : {1, 1000, 70000}) {
        if (!sameText(n)) {
            std::fprintf(stderr, "the library's SignedData differs from OpenSSL's for %d bytes of content\n", n);
            return 1;
        }
    }
    std::printf("SignedData text identical to OpenSSL's (content of 1, 1000 and 70000 bytes)\n");
    return bench_runWithRatioTable(argc, argv);
}
