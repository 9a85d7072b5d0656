// The whole road of one signature with a software SM2 key: the library
// loaded as a JNA host loads it, Sgn_SelectCertByDn then Sgn_Sign (attached)
// through the Linux stand-in provider, against OpenSSL reading the same key
// and certificate files, signing the same data (SM3 with the signer's Z,
// EVP_DigestSign) and writing the same SignedData and its base64 text. Both
// hash the data once.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench_pki.h"
#include "openssl_signed_data.h"
#include "ratio_table.h"

namespace fs = std::filesystem;

namespace {

const char kSignerCn[] = "dsc bench road signer";
const char kDistinguishingId[] = "1234567812345678";

using SelectByDn = int (*)(const char*, const char*, char*);
using Sign = char* (*)(const unsigned char*, int, int, const char*);
using Free = void (*)(void*);

void writeFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    check(static_cast<bool>(out), "writing a setup file");
}

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

struct Setup {
    fs::path dir;
    fs::path certFile, keyFile;
    std::vector<unsigned char> data;
    SelectByDn select = nullptr;
    Sign sign = nullptr;
    Free release = nullptr;

    Setup()
    {
        char pattern[] = "/tmp/dsc-bench-road.XXXXXX";
        check(mkdtemp(pattern) != nullptr, "mkdtemp");
        dir = pattern;
        fs::create_directories(dir / "stores" / "MY");
        Issued signer = issue("road", kSignerCn, 7);
        certFile = dir / "stores" / "MY" / "signer.cer";
        keyFile = dir / "stores" / "MY" / "signer.key";
        writeFile(certFile, signer.der);
        writeFile(keyFile, pemOf(signer.key.get()));
        writeFile(dir / "empty.reg", "Windows Registry Editor Version 5.00\r\n\r\n");
        setenv("DSC_JNA_REGISTRY", (dir / "empty.reg").c_str(), 1);
        setenv("DSC_JNA_STORES", (dir / "stores").c_str(), 1);

        data.resize(size_t{64} << 20);
        for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 131 + (i >> 11));

        void* library = dlopen(DSC_JNA_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        check(library != nullptr, "dlopen of the library");
        select = reinterpret_cast<SelectByDn>(dlsym(library, "Sgn_SelectCertByDn"));
        sign = reinterpret_cast<Sign>(dlsym(library, "Sgn_Sign"));
        release = reinterpret_cast<Free>(dlsym(library, "Sgn_Free"));
        check(select != nullptr && sign != nullptr && release != nullptr, "dlsym of the exports");
    }
    ~Setup() { fs::remove_all(dir); }
};

Setup& setup()
{
    static Setup instance;
    return instance;
}

long minorFaults()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

// The limit of the road: hashing the data once, with OpenSSL's SM3, which
// is the SM3 the library's store signer uses on Linux.
double sm3AloneSeconds(const unsigned char* data, size_t n)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    auto start = std::chrono::steady_clock::now();
    bool hashed = EVP_Digest(data, n, digest, &len, EVP_sm3(), nullptr) == 1;
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    check(hashed, "SM3 of the data");
    benchmark::DoNotOptimize(digest);
    return elapsed.count();
}

// Besides its time, each signature reports the fresh pages it touched
// (minor faults) and how long SM3 alone takes over the same data in the same
// run, between the timed signatures, so the ratio to the limit is printed.
void roadOurs(benchmark::State& state)
{
    Setup& s = setup();
    int n = static_cast<int>(state.range(0));
    long faults = 0;
    double roadSeconds = 0, sm3Seconds = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        long faultsBefore = minorFaults();
        char cert[4096];
        if (s.select("CN", kSignerCn, cert) != 0) {
            state.SkipWithError("Sgn_SelectCertByDn failed");
            break;
        }
        char* text = s.sign(s.data.data(), n, 1, nullptr);
        if (text == nullptr || text[0] == '-') {
            state.SkipWithError("Sgn_Sign failed");
            s.release(text);
            break;
        }
        benchmark::DoNotOptimize(text);
        s.release(text);
        faults += minorFaults() - faultsBefore;
        roadSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.PauseTiming();
        sm3Seconds += sm3AloneSeconds(s.data.data(), static_cast<size_t>(n));
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * n);
    double iterations = static_cast<double>(state.iterations());
    if (iterations == 0) return;
    state.counters["page_faults"] = static_cast<double>(faults) / iterations;
    state.counters["sm3_alone_ms"] = 1e3 * sm3Seconds / iterations;
    state.counters["ratio_to_sm3"] = roadSeconds / sm3Seconds;
}

// SM2 over the data with the signer's identity: one EVP_DigestSign.
bool sm2Sign(EVP_PKEY* key, const unsigned char* data, size_t n, std::vector<unsigned char>& sig)
{
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> md(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> pctx(EVP_PKEY_CTX_new(key, nullptr), EVP_PKEY_CTX_free);
    if (!md || !pctx) return false;
    if (EVP_PKEY_CTX_set1_id(pctx.get(), kDistinguishingId, sizeof kDistinguishingId - 1) != 1) return false;
    EVP_MD_CTX_set_pkey_ctx(md.get(), pctx.get());
    if (EVP_DigestSignInit(md.get(), nullptr, EVP_sm3(), nullptr, key) != 1) return false;
    size_t len = 0;
    if (EVP_DigestSign(md.get(), nullptr, &len, data, n) != 1) return false;
    sig.resize(len);
    if (EVP_DigestSign(md.get(), sig.data(), &len, data, n) != 1) return false;
    sig.resize(len);
    return true;
}

void roadOpenssl(benchmark::State& state)
{
    Setup& s = setup();
    size_t n = static_cast<size_t>(state.range(0));
    for (auto _ : state) {
        // The files are read every time, as the library reads its store.
        std::string der = readFile(s.certFile);
        const auto* p = reinterpret_cast<const unsigned char*>(der.data());
        Cert cert(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
        FILE* f = std::fopen(s.keyFile.c_str(), "r");
        Pkey key(f != nullptr ? PEM_read_PrivateKey(f, nullptr, nullptr, nullptr) : nullptr);
        if (f != nullptr) std::fclose(f);
        std::vector<unsigned char> sig;
        if (!cert || !key || !sm2Sign(key.get(), s.data.data(), n, sig)) {
            state.SkipWithError("OpenSSL signing failed");
            break;
        }
        unsigned char* p7 = nullptr;
        int p7Len = openssl_signedData(s.data.data(), n, cert.get(), sig.data(), sig.size(), kSm3Oid, kSm2SignOid, &p7);
        char* text = nullptr;
        int textLen = p7Len > 0 ? openssl_base64(p7, p7Len, &text) : 0;
        if (textLen <= 0) state.SkipWithError("OpenSSL encoding failed");
        benchmark::DoNotOptimize(text);
        OPENSSL_free(text);
        OPENSSL_free(p7);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(n));
}

void sizes(benchmark::internal::Benchmark* b)
{
    for (int64_t n : {int64_t{1} << 10, int64_t{1} << 20, int64_t{16} << 20, int64_t{64} << 20}) b->Arg(n);
    b->Unit(benchmark::kMillisecond)->UseRealTime();
}

}  // namespace

BENCHMARK(roadOurs)->Name("select_and_sign/ours")->Apply(sizes);
BENCHMARK(roadOpenssl)->Name("select_and_sign/openssl")->Apply(sizes);

int main(int argc, char** argv) { return bench_runWithRatioTable(argc, argv); }
