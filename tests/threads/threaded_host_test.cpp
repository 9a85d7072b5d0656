// A host that calls the library from several threads, loading it by name as a
// JNA host does. Every scenario must end without a crash, a sanitizer report
// or a leak; where the host pairs each selection with its signature under a
// lock of its own, every signature verifies against the certificate its
// thread selected.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "library.h"
#include "process_memory.h"
#include "sign_support.h"
#include "softskf_hooks.h"
#include "temp_dir.h"
#include "token_vendor.h"

namespace {

const std::string kData = "threaded host data";

// Threads and cycles of the scenarios; the soak run raises them.
int setting(const char* name, int fallback)
{
    const char* v = std::getenv(name);
    return v != nullptr && std::atoi(v) > 0 ? std::atoi(v) : fallback;
}

// One token each: serial, the key fixture of its certificate, its user PIN.
struct Token {
    const char* serial;
    const char* key;
    const char* pin;
};
const Token kTokens[] = {{"SN-A", "sm2_zhang", "111111"}, {"SN-B", "sm2_li", "222222"}};

std::string tokenOf(const Token& t)
{
    return tokenState({tokenDevice("dev", std::string("Label-") + t.serial, t.serial,
                                   {tokenApplication("app", t.pin, {tokenContainer("c1", t.key)}, 10)})});
}

class ThreadedHost : public ::testing::Test {
protected:
    static DscLibrary lib;
    RegisteredTokens tokens{tokenOf(kTokens[0]), tokenOf(kTokens[1])};

    static void SetUpTestSuite()
    {
        std::string error;
        ASSERT_TRUE(dsc_library_load(lib, error)) << error;
    }

    // Sgn_Sign's text, given back with Sgn_Free.
    static std::string sign(const char* pin)
    {
        char* text = lib.Sgn_Sign(reinterpret_cast<const unsigned char*>(kData.data()), static_cast<int>(kData.size()),
                                  1, pin);
        std::string out = text != nullptr ? text : "<null>";
        lib.Sgn_Free(text);
        return out;
    }
    static std::string select(const Token& t, int* rc = nullptr)
    {
        std::vector<char> cert(8192, 0);
        int r = lib.Sgn_SelectCertByKeySn(t.serial, cert.data(), static_cast<int>(cert.size()));
        if (rc != nullptr) *rc = r;
        return r == 0 ? std::string(cert.data()) : std::string();
    }
    static bool isCode(const std::string& text)
    {
        return text.size() > 1 && text[0] == '-' && text.find_first_not_of("0123456789", 1) == std::string::npos;
    }
    static void runThreads(int count, const std::function<void(int)>& body)
    {
        std::vector<std::thread> threads;
        for (int i = 0; i < count; ++i) threads.emplace_back(body, i);
        for (auto& t : threads) t.join();
    }
};

DscLibrary ThreadedHost::lib{};

// What one thread saw in one cycle.
struct Outcome {
    int token = 0;
    int selectRc = 0;
    std::string cert;
    std::string signature;
};

TEST_F(ThreadedHost, SelectAndSignPairedByTheHostLock)
{
    std::string certs[2] = {select(kTokens[0]), select(kTokens[1])};
    ASSERT_FALSE(certs[0].empty());
    ASSERT_FALSE(certs[1].empty());
    EXPECT_EQ(sign(kTokens[1].pin).substr(0, 1), "M");  // the last selection, used up

    const int threads = setting("DSC_THREADS", 4), cycles = setting("DSC_CYCLES", 25);
    std::mutex hostLock;  // the host's own: a selection and its Sgn_Sign belong together
    std::vector<std::vector<Outcome>> seen(static_cast<size_t>(threads));
    runThreads(threads, [&](int t) {
        for (int c = 0; c < cycles; ++c) {
            Outcome o;
            o.token = (t + c) % 2;
            std::lock_guard<std::mutex> held(hostLock);
            o.cert = select(kTokens[o.token], &o.selectRc);
            o.signature = sign(kTokens[o.token].pin);
            seen[static_cast<size_t>(t)].push_back(o);
        }
    });
    int verified = 0;
    for (const auto& perThread : seen) {
        ASSERT_EQ(perThread.size(), static_cast<size_t>(cycles));
        for (const auto& o : perThread) {
            ASSERT_EQ(o.selectRc, 0);
            ASSERT_EQ(o.cert, certs[o.token]);
            ASSERT_FALSE(isCode(o.signature)) << o.signature;
            // Each distinct signature once: SM2 signatures differ every time,
            // so this is every one of them.
            recordSignedData("threaded", o.signature, kData, kTokens[o.token].key);
            ++verified;
        }
    }
    EXPECT_EQ(verified, threads * cycles);
}

// Without the host's lock a thread may sign with another thread's selection,
// or find it used up; every call still ends with a signature or a code.
TEST_F(ThreadedHost, SelectAndSignWithoutTheHostLock)
{
    const int threads = setting("DSC_THREADS", 4), cycles = setting("DSC_CYCLES", 25);
    std::vector<std::vector<Outcome>> seen(static_cast<size_t>(threads));
    runThreads(threads, [&](int t) {
        for (int c = 0; c < cycles; ++c) {
            Outcome o;
            o.token = (t + c) % 2;
            o.cert = select(kTokens[o.token], &o.selectRc);
            // A PIN that reaches the other thread's token is refused there
            // (-1040): a clean code, as the host did not pair the calls.
            o.signature = sign(kTokens[o.token].pin);
            seen[static_cast<size_t>(t)].push_back(o);
        }
    });
    int signatures = 0, codes = 0;
    for (const auto& perThread : seen) {
        ASSERT_EQ(perThread.size(), static_cast<size_t>(cycles));
        for (const auto& o : perThread) {
            EXPECT_TRUE(o.selectRc <= 0) << o.selectRc;
            EXPECT_TRUE(isCode(o.signature) || unbase64(o.signature).size() > 100) << o.signature.substr(0, 40);
            ++(isCode(o.signature) ? codes : signatures);
        }
    }
    std::printf("%d signatures, %d result codes\n", signatures, codes);
}

// "A selects, B selects, A signs": the selection is process-wide, so A signs
// with B's selection whole (B's certificate and token, A's PIN), and that
// selection is used up.
TEST_F(ThreadedHost, AnInterleavedSelectionIsUsedWholeAndOnce)
{
    struct Case {
        const char* pinOfA;
        bool signs;
    } cases[] = {{kTokens[1].pin, true}, {kTokens[0].pin, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pinOfA);
        std::string certOfB, signedByA, againByA;
        std::thread([&] { select(kTokens[0]); }).join();
        std::thread([&] { certOfB = select(kTokens[1]); }).join();
        std::thread([&] {
            signedByA = sign(c.pinOfA);
            againByA = sign(c.pinOfA);
        }).join();
        ASSERT_FALSE(certOfB.empty());
        if (c.signs) {
            ASSERT_FALSE(isCode(signedByA)) << signedByA;
            recordSignedData("interleaved", signedByA, kData, kTokens[1].key);
        } else {
            EXPECT_EQ(signedByA, "-1040");  // B's token refused A's PIN
        }
        EXPECT_EQ(againByA, "-3011");
    }
}

// Property queries from several threads while another turns the log on and
// off: every answer is the one a single thread gets.
TEST_F(ThreadedHost, PropertiesWhileTheLogOpensAndCloses)
{
    std::string cert = select(kTokens[0]);
    ASSERT_FALSE(cert.empty());
    char expected[512] = {0};
    ASSERT_EQ(lib.Sgn_GetCertProperty(cert.c_str(), "SN", expected, sizeof expected), 0);
    ASSERT_NE(expected[0], 0);
    TempDir dir;
    std::string logPath = dir.file("threads.log");
    const int threads = setting("DSC_THREADS", 4), calls = setting("DSC_CYCLES", 25) * 20;
    std::vector<int> wrong(static_cast<size_t>(threads), 0);
    runThreads(threads + 1, [&](int t) {
        if (t == threads) {
            lib.Sgn_SetLog(logPath.c_str());
            std::this_thread::yield();
            lib.Sgn_CloseLog();
            return;
        }
        for (int i = 0; i < calls; ++i) {
            char out[512] = {0};
            lib.Sgn_GetCertProperty(cert.c_str(), i % 2 == 0 ? "SN" : "NOSUCHFIELD", out, sizeof out);
            if (i % 2 == 0 && std::strcmp(out, expected) != 0) ++wrong[static_cast<size_t>(t)];
        }
    });
    for (int w : wrong) EXPECT_EQ(w, 0);
    sign(kTokens[0].pin);
}

// Device calls from several threads give what one thread gets.
TEST_F(ThreadedHost, DeviceCallsFromThreads)
{
    char expected[1024] = {0};
    ASSERT_EQ(lib.Sgn_Dev_Enum("|", expected, sizeof expected), 0);
    ASSERT_STREQ(expected, "Label-SN-A|Label-SN-B");
    const int threads = setting("DSC_THREADS", 4), cycles = setting("DSC_CYCLES", 25);
    std::vector<int> wrong(static_cast<size_t>(threads), 0);
    runThreads(threads, [&](int t) {
        for (int c = 0; c < cycles; ++c) {
            char labels[1024] = {0}, serial[128] = {0};
            if (lib.Sgn_Dev_Enum("|", labels, sizeof labels) != 0 || std::strcmp(labels, expected) != 0)
                ++wrong[static_cast<size_t>(t)];
            if (lib.Sgn_Dev_GetSerialNumber("Label-SN-B", serial, sizeof serial) < 0 ||
                std::strcmp(serial, "SN-B") != 0)
                ++wrong[static_cast<size_t>(t)];
        }
    });
    for (int w : wrong) EXPECT_EQ(w, 0);
}

// Loaded and unloaded again and again, with calls in between: the lock is
// there at every load and nothing is left behind.
TEST_F(ThreadedHost, LoadedAndUnloadedRepeatedly)
{
    for (int i = 0; i < 20; ++i) {
        DscLibrary again{};
        std::string error;
        ASSERT_TRUE(dsc_library_load(again, error)) << error;
        std::vector<char> cert(8192, 0);
        ASSERT_EQ(again.Sgn_SelectCertByKeySn("SN-A", cert.data(), static_cast<int>(cert.size())), 0);
        char* text = again.Sgn_Sign(reinterpret_cast<const unsigned char*>(kData.data()),
                                    static_cast<int>(kData.size()), 1, "111111");
        ASSERT_NE(text, nullptr);
        EXPECT_NE(text[0], '-') << text;
        again.Sgn_Free(text);
        dsc_platform_close(again.module);
    }
}

// A token library that hangs while threads list and sign on the others:
// each listing goes on without it once its deadline has passed, no second
// call goes into it, and its late answer comes in while the threads run and
// is discarded beside their calls. After it, the token is listed again.
TEST_F(ThreadedHost, ATokenThatHangsWhileThreadsListAndSign)
{
    const Token hung = {"SN-H", "sm2_colon", "333333"};
    RegisteredTokens withHung(
        {tokenOf(kTokens[0]), tokenOf(kTokens[1]),
         tokenState({tokenDevice("dev", "Label-SN-H", hung.serial,
                                 {tokenApplication("app", hung.pin, {tokenContainer("c1", hung.key)}, 10)})},
                    {tokenFault("SKF_ConnectDev", "block")})},
        skfSettings({"\"EnumTimeoutMs\"=dword:000007d0"}));
    auto release = reinterpret_cast<softskf_releaseBlocked_fn>(
        tokenModuleFunction(withHung.vendor(2).path(), "softskf_releaseBlocked"));
    ASSERT_NE(release, nullptr);
    const int threads = setting("DSC_THREADS", 4), cycles = setting("DSC_CYCLES", 25);
    std::atomic<int> calls{0};
    std::vector<int> wrong(static_cast<size_t>(threads), 0);
    runThreads(threads + 1, [&](int t) {
        if (t == threads) {
            // The token answers halfway through.
            while (calls.load() < threads * cycles / 2) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            release();
            return;
        }
        const Token& mine = kTokens[t % 2];
        for (int c = 0; c < cycles; ++c) {
            char labels[1024] = {0};
            std::string listed = lib.Sgn_Dev_Enum("|", labels, sizeof labels) == 0 ? labels : "<failed>";
            if (listed != "Label-SN-A|Label-SN-B" && listed != "Label-SN-A|Label-SN-B|Label-SN-H")
                ++wrong[static_cast<size_t>(t)];
            // Another thread may sign with this selection first: a signature
            // or a code, never anything else.
            int rc = 0;
            select(mine, &rc);
            std::string text = sign(mine.pin);
            if (rc != 0 || (!isCode(text) && text.substr(0, 1) != "M")) ++wrong[static_cast<size_t>(t)];
            ++calls;
        }
    });
    for (int w : wrong) EXPECT_EQ(w, 0);
    std::string listed;
    for (int i = 0; i < 2000 && listed != "Label-SN-A|Label-SN-B|Label-SN-H"; ++i) {
        char labels[1024] = {0};
        if (lib.Sgn_Dev_Enum("|", labels, sizeof labels) == 0) listed = labels;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(listed, "Label-SN-A|Label-SN-B|Label-SN-H");
    EXPECT_FALSE(select(hung).empty());
    EXPECT_EQ(sign(hung.pin).substr(0, 1), "M");
}

// Select and sign over many cycles: the process does not grow. Short here;
// the soak run gives it many cycles.
TEST_F(ThreadedHost, MemoryStaysFlatOverManyCycles)
{
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer keeps freed blocks in quarantine, so the process grows
    // however flat the library is; there LeakSanitizer checks for leaks instead.
    GTEST_SKIP() << "resident size is not a measure of leaks under AddressSanitizer";
#endif
    const int cycles = setting("DSC_SOAK_CYCLES", 300);
    auto cycle = [] {
        select(kTokens[0]);
        sign(kTokens[0].pin);
    };
    for (int i = 0; i < cycles / 10; ++i) cycle();  // warm-up: caches, loaded token libraries
    size_t before = process_memory_bytes();
    for (int i = 0; i < cycles; ++i) cycle();
    size_t after = process_memory_bytes();
    std::printf("memory after warm-up %zu KiB, after %d cycles %zu KiB\n", before / 1024, cycles, after / 1024);
    EXPECT_LE(after, before + 2 * 1024 * 1024);
}

}  // namespace
