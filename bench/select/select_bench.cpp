// Sgn_SelectCertByDn over 16 registered soft-token libraries (2 devices of
// one application each, 2 SM2 containers per device) and 100 SM2
// certificates in the MY store; the DN searched names exactly one
// certificate, so no chooser opens. The library is loaded as a JNA host
// loads it. Each token copy counts its own calls (softskf_callStats), which
// gives the SKF calls of one selection and the time spent inside them; the
// rest is the library's own time. Two more cases take the tokens or the
// store away, to show what each part costs.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench_pki.h"
#include "ratio_table.h"
#include "softskf_stats.h"

namespace fs = std::filesystem;

namespace {

constexpr int kLibraries = 16;
constexpr int kDevicesPerLibrary = 2;
constexpr int kContainersPerDevice = 2;
constexpr int kStoreCertificates = 100;
// The token certificate the token cases select, and the store certificate
// the store-only case selects.
constexpr int kTargetLibrary = 9, kTargetDevice = 1, kTargetContainer = 0;
constexpr int kStoreTarget = 42;

std::string hexOf(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char b : bytes) {
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 15]);
    }
    return out;
}

// A key parameter as the token's state holds it: 32 bytes, hex.
std::string hex32(const EVP_PKEY* key, const char* param)
{
    BIGNUM* raw = nullptr;
    check(EVP_PKEY_get_bn_param(key, param, &raw) == 1, "EVP_PKEY_get_bn_param");
    Bn bn(raw);
    std::string bytes(32, '\0');
    check(BN_bn2binpad(bn.get(), reinterpret_cast<unsigned char*>(bytes.data()), 32) == 32, "BN_bn2binpad");
    return hexOf(bytes);
}

std::string containerJson(const std::string& name, const Issued& issued)
{
    const EVP_PKEY* k = issued.key.get();
    return "{\"name\": \"" + name + "\", \"sign_key\": {\"type\": \"sm2\", \"d\": \"" +
           hex32(k, OSSL_PKEY_PARAM_PRIV_KEY) + "\", \"x\": \"" + hex32(k, OSSL_PKEY_PARAM_EC_PUB_X) + "\", \"y\": \"" +
           hex32(k, OSSL_PKEY_PARAM_EC_PUB_Y) + "\"}, \"sign_cert\": \"" + hexOf(issued.der) + "\"}";
}

void writeFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    check(out.good(), "write");
}

std::string base64(const std::string& der)
{
    std::string text(4 * ((der.size() + 2) / 3) + 1, '\0');
    int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()),
                            reinterpret_cast<const unsigned char*>(der.data()), static_cast<int>(der.size()));
    text.resize(static_cast<size_t>(n));
    return text;
}

using SelectByDn = int (*)(const char*, const char*, char*);

// Everything the cases share, made once per process in a temporary folder
// that goes away at exit.
struct Setup {
    fs::path dir;
    std::vector<std::string> modules;
    fs::path tokensReg, noTokensReg, fullStores, emptyStores;
    std::string tokenTargetDn, tokenTargetText, storeTargetDn, storeTargetText;
    SelectByDn select = nullptr;

    Setup()
    {
        char pattern[] = "/tmp/dsc-bench-select-XXXXXX";
        check(mkdtemp(pattern) != nullptr, "mkdtemp");
        dir = pattern;
        long serial = 1000;

        std::string reg = "Windows Registry Editor Version 5.00\r\n\r\n";
        for (int l = 0; l < kLibraries; ++l) {
            fs::path module = dir / ("vendor" + std::to_string(l)) / "libsoftskf.so";
            fs::create_directories(module.parent_path());
            fs::copy_file(SOFTSKF_MODULE, module);
            std::string devices;
            for (int d = 0; d < kDevicesPerLibrary; ++d) {
                std::string containers;
                for (int c = 0; c < kContainersPerDevice; ++c) {
                    bool target = l == kTargetLibrary && d == kTargetDevice && c == kTargetContainer;
                    std::string where = std::to_string(l) + "-" + std::to_string(d) + "-" + std::to_string(c);
                    Issued issued = issue("tokens", target ? "dsc bench target" : "dsc bench token " + where, ++serial);
                    if (target) {
                        tokenTargetDn = issued.dn;
                        tokenTargetText = base64(issued.der);
                    }
                    containers += (c ? ", " : "") + containerJson("c" + std::to_string(c), issued);
                }
                std::string dev = "bench key " + std::to_string(l) + "-" + std::to_string(d);
                devices += std::string(d ? ", " : "") + "{\"name\": \"" + dev + "\", \"label\": \"" + dev +
                           "\", \"serial_number\": \"SN" + std::to_string(l * 10 + d) +
                           "\", \"applications\": [{\"name\": \"app\", \"admin_pin\": {\"value\": \"12345678\"}, "
                           "\"user_pin\": {\"value\": \"111111\"}, \"containers\": [" +
                           containers + "]}]}";
            }
            writeFile(module.string() + ".json", "{\"devices\": [" + devices + "], \"faults\": []}");
            modules.push_back(module.string());
            reg += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\TARNO_II\\Cryptography\\SKF\\Provider\\Bench Vendor " +
                   std::to_string(l) + "]\r\n\"SKFImagePath\"=\"" + module.string() + "\"\r\n\r\n";
        }
        tokensReg = dir / "tokens.reg";
        writeFile(tokensReg, reg);
        noTokensReg = dir / "none.reg";
        writeFile(noTokensReg, "Windows Registry Editor Version 5.00\r\n\r\n");

        fullStores = dir / "stores-full";
        emptyStores = dir / "stores-empty";
        fs::create_directories(fullStores / "MY");
        fs::create_directories(emptyStores / "MY");
        for (int i = 0; i < kStoreCertificates; ++i) {
            Issued issued = issue("store", "dsc bench store " + std::to_string(i), ++serial);
            if (i == kStoreTarget) {
                storeTargetDn = issued.dn;
                storeTargetText = base64(issued.der);
            }
            writeFile(fullStores / "MY" / ("cert" + std::to_string(i) + ".cer"), issued.der);
        }
        // A store file written less than two seconds before it is read is
        // read again by the next selection, in case a write in the same tick
        // of the file clock left its times as they were. A host's store is
        // older than that; the cases measure such a store.
        std::this_thread::sleep_for(std::chrono::milliseconds(2100));

        // A chooser would wait for a person; none may run.
        setenv("DSC_JNA_CHOOSER", "/bin/false", 1);
        void* library = dlopen(DSC_JNA_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        check(library != nullptr, "dlopen of the library");
        select = reinterpret_cast<SelectByDn>(dlsym(library, "Sgn_SelectCertByDn"));
        check(select != nullptr, "Sgn_SelectCertByDn");
    }
    ~Setup()
    {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
};

Setup& setup()
{
    static Setup instance;
    return instance;
}

struct Figures {
    double calls = 0;
    double nanoseconds = 0;
};

// The call statistics of every token copy the library has loaded, summed
// per function. dlopen of a path the library loaded gives its handle; a copy
// not loaded yet has made no calls.
std::map<std::string, Figures> tokenStats(const std::vector<std::string>& modules)
{
    std::map<std::string, Figures> out;
    for (const auto& path : modules) {
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
        if (handle == nullptr) continue;
        auto stats = reinterpret_cast<softskf_callStats_fn>(dlsym(handle, "softskf_callStats"));
        std::vector<softskf_CallStat> rows(64);
        SKF_ULONG n = stats(rows.data(), static_cast<SKF_ULONG>(rows.size()));
        for (SKF_ULONG i = 0; i < n && i < rows.size(); ++i) {
            out[rows[i].name].calls += static_cast<double>(rows[i].calls);
            out[rows[i].name].nanoseconds += static_cast<double>(rows[i].nanoseconds);
        }
        dlclose(handle);
    }
    return out;
}

void resetTokenStats(const std::vector<std::string>& modules)
{
    for (const auto& path : modules) {
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
        if (handle == nullptr) continue;
        reinterpret_cast<softskf_resetCallStats_fn>(dlsym(handle, "softskf_resetCallStats"))();
        dlclose(handle);
    }
}

enum Sources { tokensAndStore, tokensOnly, storeOnly };

void selectByDn(benchmark::State& state, Sources sources)
{
    Setup& s = setup();
    bool tokens = sources != storeOnly;
    setenv("DSC_JNA_REGISTRY", (tokens ? s.tokensReg : s.noTokensReg).c_str(), 1);
    setenv("DSC_JNA_STORES", (sources == tokensOnly ? s.emptyStores : s.fullStores).c_str(), 1);
    const std::string& dn = tokens ? s.tokenTargetDn : s.storeTargetDn;
    const std::string& expected = tokens ? s.tokenTargetText : s.storeTargetText;

    // One selection first: it loads the token libraries and proves the
    // search finds exactly the one certificate.
    std::vector<char> out(4096);
    int rc = s.select("DN", dn.c_str(), out.data());
    if (rc != 0 || expected != out.data()) {
        state.SkipWithError(("the selection failed: " + std::to_string(rc)).c_str());
        return;
    }
    resetTokenStats(s.modules);
    double totalNs = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        rc = s.select("DN", dn.c_str(), out.data());
        totalNs += static_cast<double>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start).count());
        if (rc != 0) state.SkipWithError("a selection failed");
    }
    double n = static_cast<double>(state.iterations());
    auto stats = tokenStats(s.modules);
    double calls = 0, insideNs = 0;
    for (const auto& [name, f] : stats) {
        std::string shortName = name.rfind("SKF_", 0) == 0 ? name.substr(4) : name;
        state.counters["skf." + shortName] = f.calls / n;
        calls += f.calls;
        insideNs += f.nanoseconds;
    }
    state.counters["skf_calls_total"] = calls / n;
    state.counters["ms_per_selection"] = totalNs / n / 1e6;
    state.counters["ms_inside_skf"] = insideNs / n / 1e6;
    state.counters["own_share_percent"] = totalNs > 0 ? 100.0 * (totalNs - insideNs) / totalNs : 0;
}

BENCHMARK_CAPTURE(selectByDn, tokens_and_store, tokensAndStore)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(selectByDn, tokens_only, tokensOnly)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(selectByDn, store_only, storeOnly)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return bench_runWithRatioTable(argc, argv); }
