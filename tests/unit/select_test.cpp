#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "cert_forge.h"
#include "chooser_answer.h"
#include "dsc_acx_certinfo.h"
#include "dsc_acx_gather.h"
#include "dsc_acx_selected.h"
#include "dsc_jna.h"
#include "fixtures.h"
#include "tcore_codec.h"
#include "tcore_errors.h"
#include "selection_fixture.h"
#include "test_registry.h"
#include "test_stores.h"
#include "token_vendor.h"
#include "trace_capture.h"
#include "twcyt_cert.h"
#include "tutil_skf_cus.h"

namespace {

std::string app(std::initializer_list<std::string> containers) { return tokenApplication("app", "111111", containers); }

// The subject DN of a key fixture's certificate as the platform renders it,
// with its parts in reverse order.
std::string reversedDnOf(const std::string& keyFixture)
{
    std::string der = tokenCertificate(keyFixture);
    const twcyt_cert* cert = twcyt_cert_load(reinterpret_cast<const unsigned char*>(der.data()),
                                             static_cast<int>(der.size()));
    char dn[256] = {0};
    twcyt_cert_getDn(cert, dn, sizeof dn);
    twcyt_cert_free(cert);
    std::vector<std::string> parts;
    std::string text = dn;
    for (size_t start = 0;;) {
        size_t comma = text.find(", ", start);
        parts.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos) break;
        start = comma + 2;
    }
    std::string reversed;
    for (auto it = parts.rbegin(); it != parts.rend(); ++it) reversed += (reversed.empty() ? "" : ", ") + *it;
    return reversed;
}

// A token with the given containers (name, key fixture).
std::string token(const std::string& serial, std::initializer_list<std::string> containers)
{
    return tokenState({tokenDevice("dev-" + serial, "Label " + serial, serial, {app(containers)})});
}

// One selection by field and value, its result and the CN then selected.
struct SelectionCase {
    const char* field;
    const char* value;
    int result;
    std::string chosen;
};

class SelectTest : public CleanSelection<::testing::Test> {
protected:
    std::string selected() const
    {
        return dsc_acx_selectedCert != nullptr ? dsc_acx_selectedCert->subjectCn : "(none)";
    }
    void expectSelections(const std::vector<SelectionCase>& cases)
    {
        for (const auto& c : cases) {
            EXPECT_EQ(Sgn_SelectCertByDn(c.field, c.value, out), c.result) << c.field << "=" << c.value;
            EXPECT_EQ(selected(), c.chosen) << c.field << "=" << c.value;
        }
    }
    char out[4096];
};

}  // namespace

TEST_F(SelectTest, NothingAnywhere)
{
    test_registry_clear();
    TraceCapture trace;
    EXPECT_EQ(Sgn_SelectCertByDn(nullptr, nullptr, out), DSC_ACX_ERR_NO_CERT);
    EXPECT_TRUE(trace.contains("dsc_acx_getAll360SkfProvidersByWow tcore_wreg_getValue failed -1036"));
    EXPECT_TRUE(trace.contains("find CSP certs failed -1004, find continue"));
    EXPECT_EQ(selected(), "(none)");
}

TEST_F(SelectTest, SingleCertificateIsSelectedWithoutChooser)
{
    RegisteredTokens tokens({token("SN1", {tokenContainer("c1", "sm2_zhang"), tokenContainer("c2", "rsa_wang")})});
    ChooserAnswer none(-1);                                   // no chooser may show
    ASSERT_EQ(Sgn_SelectCertByDn(nullptr, nullptr, out), 0);  // the RSA certificate is not gathered
    EXPECT_EQ(std::string(out), base64Of(tokenCertificate("sm2_zhang")));
    EXPECT_EQ(selected(), "Zhang San");
    EXPECT_STREQ(dsc_acx_selectedCert->kind, "SKF");
    EXPECT_STREQ(dsc_acx_selectedCert->keyAlg, "SM2");
    EXPECT_TRUE(none.rowsShown().empty());
}

TEST_F(SelectTest, SameCertificateInTokenAndStoreCountsOnceFromTheToken)
{
    RegisteredTokens tokens({token("SN1", {tokenContainer("c1", "sm2_zhang")})});
    test_stores_add("MY", tokenCertificate("sm2_zhang"));
    ChooserAnswer none(-1);                                   // no chooser may show
    ASSERT_EQ(Sgn_SelectCertByDn(nullptr, nullptr, out), 0);  // one candidate: no chooser
    EXPECT_STREQ(dsc_acx_selectedCert->kind, "SKF");
    EXPECT_TRUE(none.rowsShown().empty());
}

TEST_F(SelectTest, StoreCertificatesAreGathered)
{
    test_registry_clear();
    test_stores_add("ZYPORA", tokenCertificate("sm2_li"));
    test_stores_add("MY", tokenCertificate("rsa_wang"));  // RSA: not gathered
    ChooserAnswer none(-1);                               // no chooser may show
    ASSERT_EQ(Sgn_SelectCertByDn("CN", "Li", out), 0);
    EXPECT_STREQ(dsc_acx_selectedCert->kind, "CSP");
    EXPECT_EQ(selected(), "Li Si");
    EXPECT_TRUE(none.rowsShown().empty());
}

TEST_F(SelectTest, MatchingBySubjectFields)
{
    RegisteredTokens tokens({token("SN1", {tokenContainer("c1", "sm2_zhang"), tokenContainer("c2", "sm2_li")})});
    const std::string zhangDn = reversedDnOf("sm2_zhang");
    const std::string liDnExtra = reversedDnOf("sm2_li") + ", OU=x";  // one part too many
    ChooserAnswer none(-1);                                           // no chooser may show
    expectSelections({
        {"cn", "Zhang", 0, "Zhang San"},  // field names in any case
        {"CN", "Si", 0, "Li Si"},         // substring of the value
        {"CN,O", "Li,Bank", 0, "Li Si"},
        {"CN,O", "Li,Other", DSC_ACX_ERR_NO_CERT, "(none)"},
        {"CN,O", "Li", DSC_ACX_ERR_FIELD_COUNT, "(none)"},
        {"DN", zhangDn.c_str(), 0, "Zhang San"},  // parts in any order
        {"dn", liDnExtra.c_str(), DSC_ACX_ERR_NO_CERT, "(none)"},
        {"ORGANIZ", "Bank", DSC_ACX_ERR_NO_CERT, "(none)"},
        {"ORGANIZA", "Bank", DSC_ACX_ERR_ARG, "(none)"},  // longer than a field name may be
    });
    EXPECT_TRUE(none.rowsShown().empty());
}

TEST_F(SelectTest, SeveralMatchesGoToTheChooser)
{
    RegisteredTokens tokens({token("SN1", {tokenContainer("c1", "sm2_zhang"), tokenContainer("c2", "sm2_li")})});
    {
        ChooserAnswer answer(1);
        ASSERT_EQ(Sgn_SelectCertByDn("O", "Bank", out), 0);
        EXPECT_EQ(answer.rowsShown(), (std::vector<std::string>{"Zhang San|Zhang San", "Li Si|Li Si"}));
    }
    EXPECT_EQ(selected(), "Li Si");
    EXPECT_EQ(std::string(out), base64Of(tokenCertificate("sm2_li")));
    {
        ChooserAnswer answer(-1);
        EXPECT_EQ(Sgn_SelectCertByDn(nullptr, nullptr, out), DSC_ACX_ERR_CANCELLED);
    }
    EXPECT_EQ(selected(), "(none)");  // including the one selected before
}

// A ':' in a name must not shift the chooser's columns: the name keeps it
// and the issuer column holds the issuer.
TEST_F(SelectTest, TheChooserShowsANameWithAColonWhole)
{
    RegisteredTokens tokens({token("SN1", {tokenContainer("c1", "sm2_zhang"), tokenContainer("c2", "sm2_colon")})});
    {
        ChooserAnswer answer(1);
        ASSERT_EQ(Sgn_SelectCertByDn("O", "Test Bank", out), 0);
        EXPECT_EQ(answer.rowsShown(),
                  (std::vector<std::string>{"Zhang San|Zhang San", "Ops: Signing Desk|Ops: Signing Desk"}));
    }
    EXPECT_EQ(selected(), "Ops: Signing Desk");
    EXPECT_EQ(std::string(out), base64Of(tokenCertificate("sm2_colon")));
}

TEST_F(SelectTest, ByTokenSerialNumber)
{
    RegisteredTokens tokens({token("SN1", {tokenContainer("c1", "rsa_wang")}),
                             token("SN2", {tokenContainer("c1", "sm2_zhang"), tokenContainer("c2", "sm2_li")})});
    std::string rsaText = base64Of(tokenCertificate("rsa_wang"));
    ASSERT_EQ(Sgn_SelectCertByKeySn("SN1", out, sizeof out), 0);  // RSA tokens count here
    EXPECT_EQ(std::string(out), rsaText);
    EXPECT_STREQ(dsc_acx_selectedCert->keyAlg, "RSA");

    char small[4096];
    EXPECT_EQ(Sgn_SelectCertByKeySn("SN1", small, static_cast<int>(rsaText.size())), DSC_ACX_ERR_CERT_BUFFER);
    EXPECT_EQ(selected(), "Wang Wu");  // stays selected for the signature
    EXPECT_EQ(Sgn_SelectCertByKeySn("SN1", small, -5), DSC_ACX_ERR_CERT_BUFFER);

    {
        ChooserAnswer answer(0);
        ASSERT_EQ(Sgn_SelectCertByKeySn("SN2", out, sizeof out), 0);
        EXPECT_EQ(answer.rowsShown().size(), 2u);
    }
    EXPECT_EQ(selected(), "Zhang San");
    EXPECT_EQ(Sgn_SelectCertByKeySn("SN9", out, sizeof out), DSC_ACX_ERR_NO_CERT);
    EXPECT_EQ(Sgn_SelectCertByKeySn("", out, sizeof out), DSC_ACX_ERR_ARG);
    EXPECT_EQ(Sgn_SelectCertByKeySn(nullptr, out, sizeof out), DSC_ACX_ERR_ARG);
}

TEST(CertInfoTest, CommonNameOfADn)
{
    struct Case {
        std::string dn;
        int result;
        std::string cn;
    };
    const Case cases[] = {
        {"C=CN, O=Bank, CN=Zhang San", 0, "Zhang San"},
        {"CN=\"Li, Lei\", O=Bank", 0, "Li, Lei"},
        {"CN=a + OU=b", 0, "a"},
        {"O=Bank, OU=Unit", DSC_ACX_ERR_NO_CN, ""},
        {"CN=, O=Bank", DSC_ACX_ERR_NO_CN, ""},
        {"CN=\"open", 0, "\"open"},  // an unclosed quote quotes nothing
        {"O=\"Bank, CN=Alice\", CN=Mallory", 0, "Mallory"},
        {"CN=\"Dev \"\"Team\"\"\"", 0, "Dev \"Team\""},
        {"CN=" + std::string(200, 'x'), 0, std::string(127, 'x')},  // cut to the field
    };
    for (const auto& c : cases) {
        char field[DSC_ACX_CN_AREA + 8];
        std::memset(field, '#', sizeof field);
        EXPECT_EQ(dsc_acx_getCn(c.dn.c_str(), field), c.result) << c.dn;
        if (c.result == 0) {
            EXPECT_EQ(std::string(field), c.cn);
        }
        EXPECT_EQ(field[DSC_ACX_CN_AREA], '#') << "written past the field";
    }
}

TEST(CertInfoTest, MoreThan24Certificates)
{
    tcore_list* list = tcore_list_new(nullptr);
    dsc_acx_cert records[25] = {};
    for (auto& r : records) tcore_list_append(list, &r);
    dsc_acx_certArray array{};
    EXPECT_EQ(dsc_acx_certArray2infos(&array, list), DSC_ACX_ERR_TOO_MANY);
    EXPECT_EQ(dsc_acx_certArray2infos(&array, nullptr), 0);
    tcore_list_free(list);
}

TEST_F(SelectTest, PinGoesToTheSelectedTokenCertificate)
{
    EXPECT_EQ(dsc_acx_certinfo_setPin("123456"), TCORE_ERR_PARAM);  // nothing selected
    ChooserAnswer none(-1);                                         // no chooser may show
    RegisteredTokens tokens({token("SN1", {tokenContainer("c1", "sm2_zhang")})});
    ASSERT_EQ(Sgn_SelectCertByDn(nullptr, nullptr, out), 0);
    std::string longPin(70, '7');
    EXPECT_EQ(dsc_acx_certinfo_setPin(longPin.c_str()), 0);
    auto* tokenCert = static_cast<const tutil_skf_cert*>(dsc_acx_selectedCert->tokenObject);
    ASSERT_NE(tokenCert, nullptr);
    EXPECT_EQ(std::string(tokenCert->pin), longPin.substr(0, 63));
    EXPECT_EQ(dsc_acx_certinfo_setPin(nullptr), 0);
    EXPECT_EQ(tokenCert->pin[0], 0);

    test_registry_clear();
    test_stores_add("MY", tokenCertificate("sm2_li"));
    ASSERT_EQ(Sgn_SelectCertByDn(nullptr, nullptr, out), 0);
    EXPECT_STREQ(dsc_acx_selectedCert->kind, "CSP");
    EXPECT_EQ(dsc_acx_certinfo_setPin("123456"), 0);  // a store certificate keeps no PIN
    EXPECT_EQ(dsc_acx_selectedCert->tokenObject, nullptr);
    EXPECT_TRUE(none.rowsShown().empty());
}

// Subjects an issuer may write: a quoted value that reads like another
// field, and a multi-valued RDN. Only real attributes match, so Mallory's
// certificate is not taken for Alice's, and no chooser opens for it.
TEST_F(SelectTest, OnlyRealAttributesMatch)
{
    test_registry_clear();
    const std::string alice = withSubject(tokenCertificate("sm2_zhang"),
                                          x500Name({{{"O", "Bank"}}, {{"CN", "Alice"}}}));
    const std::string mallory = withSubject(tokenCertificate("sm2_li"),
                                            x500Name({{{"O", "Bank, CN=Alice"}}, {{"CN", "Mallory"}}}));
    const std::string multi = withSubject(fixture("certs/sm2_sign.der"),
                                          x500Name({{{"CN", "x"}, {"O", "z"}, {"OU", "y"}}, {{"C", "CN"}}}));
    test_stores_add("MY", mallory);
    test_stores_add("MY", multi);
    ChooserAnswer none(-1);  // no chooser may show
    expectSelections({
        {"CN", "Alice", DSC_ACX_ERR_NO_CERT, "(none)"},
        {"CN", "Mallory", 0, "Mallory"},
        {"O", "CN=Alice", 0, "Mallory"},  // the quoted value is O's
        {"CN", "x", 0, "x"},
        {"O", "z", 0, "x"},
        {"OU", "y", 0, "x"},
        {"CN", "O=z", DSC_ACX_ERR_NO_CERT, "(none)"},
    });
    test_stores_add("MY", alice);
    ASSERT_EQ(Sgn_SelectCertByDn("CN", "Alice", out), 0);
    EXPECT_EQ(std::string(out), base64Of(alice));
    EXPECT_TRUE(none.rowsShown().empty());
}

// The certificate text goes back in a buffer of 4096 bytes: 3069 bytes of
// DER make 4092 characters, 3070 make 4096, with no room for the NUL. A
// certificate whose text does not fit is not offered, from a store or a
// token, rather than selected with an empty or cut text.
TEST_F(SelectTest, CertificateWhoseTextDoesNotFitIsNotOffered)
{
    const std::string base = tokenCertificate("sm2_li");
    const std::string tokenKey = fixture("tokens/sm2_li.json");
    for (size_t size : {3067u, 3069u, 3070u, 3072u, 4096u}) {
        SCOPED_TRACE(size);
        const std::string der = withDerSize(base, size);
        const bool fits = size <= 3069;
        test_stores_clear();
        test_registry_clear();
        test_stores_add("MY", der);
        std::memset(out, '#', sizeof out);
        TraceCapture trace;
        EXPECT_EQ(Sgn_SelectCertByDn(nullptr, nullptr, out), fits ? 0 : DSC_ACX_ERR_NO_CERT);
        if (fits) {
            EXPECT_EQ(std::string(out), base64Of(der));
        } else {
            EXPECT_TRUE(trace.contains("certificate of " + std::to_string(size) +
                                       " bytes too large for the 4096-byte text, continue"));
        }
        dsc_acx_releaseSelectedCert();

        // The same certificate on a token, asked for by serial number.
        test_stores_clear();
        std::string container = tokenContainer("c1", "sm2_li");
        auto lower = [](std::string hex) {
            for (char& ch : hex) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            return hex;
        };
        const std::string oldHex = lower(hexOf(base));
        size_t at = container.find(oldHex);
        ASSERT_NE(at, std::string::npos);
        container.replace(at, oldHex.size(), lower(hexOf(der)));
        RegisteredTokens tokens({token("SN-BIG", {container})});
        EXPECT_EQ(Sgn_SelectCertByKeySn("SN-BIG", out, sizeof out), fits ? 0 : DSC_ACX_ERR_NO_CERT);
        if (fits) {
            EXPECT_EQ(std::string(out), base64Of(der));
        }
        dsc_acx_releaseSelectedCert();
    }
}

// An EC key on another curve cannot sign on this road: such a certificate
// is not gathered, so the user is never offered one that fails with -1007.
TEST_F(SelectTest, EcCertificateOnAnotherCurveIsNotOffered)
{
    test_registry_clear();
    test_stores_add("MY", fixture("certs/ec_p256.der"));
    EXPECT_EQ(Sgn_SelectCertByDn("CN", "p256", out), DSC_ACX_ERR_NO_CERT);
    test_stores_add("MY", fixture("certs/sm2_sign.der"));
    ChooserAnswer none(-1);
    ASSERT_EQ(Sgn_SelectCertByDn(nullptr, nullptr, out), 0);
    EXPECT_EQ(selected(), "sm2 user");
    EXPECT_TRUE(none.rowsShown().empty());
}

// Without a value the field is not used, whatever its length.
TEST_F(SelectTest, LongFieldWithoutValueSelectsAll)
{
    test_registry_clear();
    test_stores_add("MY", tokenCertificate("sm2_li"));
    EXPECT_EQ(Sgn_SelectCertByDn("TOOLONGFIELD", "", out), 0);
    EXPECT_EQ(selected(), "Li Si");
    EXPECT_EQ(Sgn_SelectCertByDn("TOOLONGFIELD", nullptr, out), 0);
    EXPECT_EQ(Sgn_SelectCertByDn("TOOLONGFIELD", "Li", out), DSC_ACX_ERR_ARG);
}
