#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tcore_errors.h"
#include "dsc_jna.h"
#include "cert_forge.h"
#include "fixtures.h"
#include "trace_capture.h"

namespace {

const char kRsaDn[] = "C=CN, O=Test Org, OU=Unit, CN=rsa user";

struct Answer {
    int rc;
    std::string text;
};

// The export into a buffer of exactly `outLen` bytes, prefilled with '#'.
Answer ask(const std::string& cert, const char* field, int outLen)
{
    std::vector<char> out(static_cast<size_t>(outLen), '#');
    int rc = Sgn_GetCertProperty(cert.c_str(), field, out.data(), outLen);
    return {rc, std::string(out.begin(), out.end())};
}

std::string rsaCert() { return base64Of(fixture("certs/rsa_sign.der")); }

}  // namespace

TEST(CertPropertyTest, AnswersTheThreeQueries)
{
    const std::string cert = rsaCert();
    struct Case {
        const char* field;
        std::string answer;
    };
    const std::vector<Case> cases = {
        {"DN", kRsaDn},     {"dn", kRsaDn}, {"SN", "01A2"},    {"sn", "01A2"}, {"CN", "rsa user"},
        {"cn", "rsa user"}, {"Ou", "Unit"}, {"O", "Test Org"}, {"C", "CN"},
    };
    for (const auto& c : cases) {
        Answer a = ask(cert, c.field, 64);
        EXPECT_EQ(a.rc, 0) << c.field;
        EXPECT_EQ(std::string(a.text.c_str()), c.answer) << c.field;
    }
    // PEM text is a certificate text as well; a serial whose top byte is
    // set keeps DER's leading zero.
    EXPECT_EQ(ask(fixture("certs/rsa_sign.pem"), "CN", 64).text.c_str(), std::string("rsa user"));
    EXPECT_EQ(ask(base64Of(fixture("certs/sm2_sign.der")), "SN", 64).text.c_str(), std::string("00C0FFEE"));
}

TEST(CertPropertyTest, BufferRulesPerQuery)
{
    const std::string cert = rsaCert();
    const int dnLen = static_cast<int>(std::strlen(kRsaDn));
    // Serial number: digits and their NUL must fit.
    EXPECT_EQ(ask(cert, "SN", 4).rc, DSC_ACX_ERR_SN_BUFFER);
    Answer sn = ask(cert, "SN", 5);
    EXPECT_EQ(sn.rc, 0);
    EXPECT_EQ(sn.text, std::string("01A2\0", 5));
    // DN and fields: too small is refused and leaves the buffer alone.
    Answer small = ask(cert, "DN", dnLen);
    EXPECT_EQ(small.rc, DSC_ACX_ERR_CERT_BUFFER);
    EXPECT_EQ(small.text, std::string(static_cast<size_t>(dnLen), '#'));
    Answer fits = ask(cert, "DN", dnLen + 1);
    EXPECT_EQ(fits.rc, 0);
    EXPECT_EQ(fits.text, std::string(kRsaDn, static_cast<size_t>(dnLen) + 1));
    Answer field = ask(cert, "CN", 20);
    EXPECT_EQ(field.text.substr(0, 10), std::string("rsa user\0#", 10));
    EXPECT_EQ(ask(cert, "CN", 8).rc, DSC_ACX_ERR_CERT_BUFFER);
    // A null buffer only measures.
    EXPECT_EQ(Sgn_GetCertProperty(cert.c_str(), "SN", nullptr, 0), 4);
    EXPECT_EQ(Sgn_GetCertProperty(cert.c_str(), "DN", nullptr, 0), dnLen);
    EXPECT_EQ(Sgn_GetCertProperty(cert.c_str(), "CN", nullptr, 0), 8);
}

TEST(CertPropertyTest, FailuresAndTheirTraces)
{
    const std::string cert = rsaCert();
    struct Case {
        const char* what;
        std::string cert;
        const char* field;
        int rc;
        const char* trace;
    };
    const std::vector<Case> cases = {
        {"field the subject lacks", cert, "E", DSC_ACX_ERR_NO_FIELD, "twcyt_cert_getRdn fail -2031"},
        {"field name of 8 characters", cert, "LOCALITY", DSC_ACX_ERR_ARG, nullptr},
        {"empty field name", cert, "", DSC_ACX_ERR_NO_FIELD, "twcyt_cert_getRdn fail -2031"},
        {"empty certificate", "", "DN", DSC_ACX_ERR_ARG, nullptr},
        {"garbage", "this is no certificate", "DN", DSC_ACX_ERR_CERT_LOAD, "twcyt_cert_load fail"},
        {"base64 of garbage", "MIIBgarbage+/==", "SN", DSC_ACX_ERR_CERT_LOAD, "(dsc_acx/src/dsc_acx "},
        {"truncated certificate", cert.substr(0, 200), "CN", DSC_ACX_ERR_CERT_LOAD, nullptr},
        {"DN beyond 255 bytes", base64Of(fixture("certs/long_cn.der")), "DN", DSC_ACX_ERR_DN_TEXT,
         "twcyt_cert_getDn fail -2031"},
        {"value beyond 255 bytes", base64Of(fixture("certs/long_cn.der")), "CN", DSC_ACX_ERR_NO_FIELD, nullptr},
        {"short value of that certificate", base64Of(fixture("certs/long_cn.der")), "O", 0, nullptr},
    };
    for (const auto& c : cases) {
        TraceCapture trace;
        EXPECT_EQ(ask(c.cert, c.field, 64).rc, c.rc) << c.what;
        if (c.trace != nullptr) {
            EXPECT_TRUE(trace.contains(c.trace)) << c.what;
        }
    }
    char out[64];
    EXPECT_EQ(Sgn_GetCertProperty(nullptr, "DN", out, 64), DSC_ACX_ERR_ARG);
    EXPECT_EQ(Sgn_GetCertProperty(cert.c_str(), nullptr, out, 64), DSC_ACX_ERR_ARG);
}

// A field's value is the attribute's value, without the quotes the DN text
// carries; each attribute of a multi-valued RDN is a field of its own; a
// quoted value that reads like a field is no field. The DN stays as rendered.
TEST(CertPropertyTest, FieldValuesAreAttributeValues)
{
    const std::string mixed = base64Of(fixture("names/mixed.der"));
    const std::string multi = base64Of(fixture("names/multi.der"));
    const std::string crafted = base64Of(
        withSubject(fixture("certs/sm2_sign.der"), x500Name({{{"O", "Bank, CN=Alice"}}, {{"CN", "Mallory"}}})));
    struct Case {
        const char* what;
        std::string cert;
        const char* field;
        int rc;
        std::string answer;
    };
    const std::vector<Case> cases = {
        {"comma inside quotes", mixed, "O", 0, "Acme, Inc."},
        {"doubled quotes", mixed, "OU", 0, "Dev \"Team\""},
        {"first of a multi-valued RDN", multi, "CN", 0, "x"},
        {"inside a multi-valued RDN", multi, "O", 0, "z"},
        {"last of a multi-valued RDN", multi, "OU", 0, "y"},
        {"quoted value posing as a field", crafted, "CN", 0, "Mallory"},
        {"the quoted value itself", crafted, "O", 0, "Bank, CN=Alice"},
        {"the DN as rendered", crafted, "DN", 0, "O=\"Bank, CN=Alice\", CN=Mallory"},
    };
    for (const auto& c : cases) {
        Answer a = ask(c.cert, c.field, 256);
        EXPECT_EQ(a.rc, c.rc) << c.what;
        EXPECT_EQ(std::string(a.text.c_str()), c.answer) << c.what;
    }
}
