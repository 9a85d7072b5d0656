// Binding a certificate to its key through the provider and container names
// the library attached to it, when the platform's own lookup finds nothing.
// (Wine's crypt32 keeps no library-owned properties, so this runs on Linux.)
#include <gtest/gtest.h>

#include <string>

#include "fixtures.h"
#include "temp_dir.h"
#include "token_vendor.h"
#include "trace_capture.h"
#include "twcyt_cert.h"
#include "tcore_errors.h"
#include "twcyt_sign.h"
#include "twcyt_signctx.h"

namespace {

const twcyt_cert* load(const std::string& der)
{
    return twcyt_cert_load(reinterpret_cast<const unsigned char*>(der.data()), static_cast<int>(der.size()));
}

}  // namespace

TEST(SignContextFallbackTest, NamesOnTheCertificateLeadToTheKey)
{
    TempDir dir;
    dir.write("li.key", fixture("tokens/sm2_li.key"));
    struct Case {
        bool names;
        std::string container;
        int result;
        std::string trace;
    };
    const Case cases[] = {
        {true, dir.file("li.key"), 0, ""},
        {true, dir.file("missing.key"), TWCYT_ERR_ACQUIRE_CONTEXT, ", CryptAcquireContext"},
        {false, "", TWCYT_ERR_NO_PRIVATE_KEY, ", CryptAcquireCertificatePrivateKey"},
    };
    for (const auto& c : cases) {
        const twcyt_cert* cert = load(tokenCertificate("sm2_li"));
        ASSERT_NE(cert, nullptr);
        if (c.names) {
            ASSERT_EQ(twcyt_cert_setProp(cert, TWCYT_PROP_CSP_NAME, "any provider"), 0);
            ASSERT_EQ(twcyt_cert_setProp(cert, TWCYT_PROP_CONTAINER, c.container.c_str()), 0);
        }
        TraceCapture trace;
        twcyt_signctx* ctx = twcyt_signctx_new();
        EXPECT_EQ(twcyt_signctx_setCert(ctx, cert), c.result) << c.container;
        if (c.result == 0) {
            EXPECT_EQ(ctx->keySpec, static_cast<DWORD>(AT_SIGNATURE));
            EXPECT_EQ(ctx->digestKid, 110);
            unsigned char sig[TWCYT_SIG_AREA];
            const unsigned char data[] = "abc";
            EXPECT_EQ(twcyt_signctx_sign(ctx, data, 3, sig), 64);
        } else {
            // A failed bind holds nothing; the certificate is still ours.
            EXPECT_EQ(ctx->cert, nullptr);
            EXPECT_EQ(ctx->hProv, 0u);
            EXPECT_TRUE(trace.contains(c.trace)) << c.container;
        }
        twcyt_signctx_free(ctx);
        twcyt_cert_free(cert);  // the context held a reference of its own
    }
    EXPECT_EQ(twcyt_signctx_sign(nullptr, reinterpret_cast<const unsigned char*>("a"), 1, nullptr), -10002);
}
