// The subject names of the name fixtures as Windows' CertNameToStrW
// (CERT_X500_NAME_STR) writes them, checked against the platform's own
// rendering and against the library's renderer. Under Wine both renderings
// are shown side by side; they agree except for Wine's known departures from
// Windows, each listed with the form Wine prints.
#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "fixtures.h"
#include "crypt_platform.h"
#include "posix_utf.h"
#include "posix_x500name.h"
#include "twcyt_cert.h"

namespace {

struct Departure {
    const char* reason;
    const char* wineForm;
};

struct NameCase {
    const char* fixture;
    const char* windowsForm;
    std::vector<Departure> departures;  // all that apply, the last giving Wine's form
};

const char* const kOidPrefix = "unknown attribute types: Windows writes \"OID.\" before the dotted OID, Wine does not";
const char* const kBlankCheck =
    "BMPString/UTF8String whitespace test: Wine tests the low byte of the first UTF-16 unit and byte (n-1) "
    "of the UTF-16LE buffer instead of the first and last characters";
const char* const kEmptyQuoted = "empty values: Windows quotes them (CN=\"\"), Wine does not";
const char* const kT61Utf8 = "T61String: Windows takes valid UTF-8 bytes as UTF-8, Wine as 8-bit characters";

const std::vector<NameCase>& nameCases()
{
    static const std::vector<NameCase> cases = {
        {"names/mixed.der",
         "C=CN, S=Beijing, L=Hai Dian, O=\"Acme, Inc.\", OU=\"Dev \"\"Team\"\"\", E=test@example.com, "
         "OID.1.2.3.4=unknown val, CN=张三",
         {{kOidPrefix, nullptr},
          {kBlankCheck, "C=CN, S=Beijing, L=Hai Dian, O=\"Acme, Inc.\", OU=\"Dev \"\"Team\"\"\", E=test@example.com, "
                        "1.2.3.4=unknown val, CN=\"张三\""}}},
        {"names/bmp.der",
         "C=CN, O=中文公司, OU=x y, CN=张三",
         {{kBlankCheck, "C=CN, O=中文公司, OU=\"x y\", CN=\"张三\""}}},
        {"names/blanks.der",
         "CN=\" lead\", CN=\"trail \", O=\" both \", OU=in  side, L=\"bmp \"",
         {{kBlankCheck, "CN=\" lead\", CN=trail , O=\" both \", OU=in  side, L=bmp "}}},
        {"names/empty.der", "CN=\"\", O=\"\", OU=x", {{kEmptyQuoted, "CN=, O=, OU=x"}}},
        {"names/t61.der", "O=Café, OU=Café, CN=plain", {{kT61Utf8, "O=CafÃ©, OU=Café, CN=plain"}}},
        {"names/punctuation.der",
         "CN=\"a<b>c\", CN=\"x=y\", CN=\"#hash\", CN=\"semi;colon\", CN=\"plus+sign\", CN=\"new\nline\", "
         "CN=it's, CN=back\\slash, CN=\"say \"\"hi\"\"\"",
         {}},
        {"names/keys.der",
         "S=Bayern, STREET=Main St 1, T=Dr, G=Hans, I=HM, SN=Mueller, DC=example, Description=desc, "
         "PostalCode=80331, POBox=PO 12, Phone=\"+49 89 1\", X21Address=1234, dnQualifier=dnq, SERIALNUMBER=SN123, "
         "OID.0.9.2342.19200300.100.1.1=uid1, OID.2.5.4.97=VATDE-1, OID.2.5.4.15=Private Organization",
         {{kOidPrefix,
           "S=Bayern, STREET=Main St 1, T=Dr, G=Hans, I=HM, SN=Mueller, DC=example, Description=desc, "
           "PostalCode=80331, POBox=PO 12, Phone=\"+49 89 1\", X21Address=1234, dnQualifier=dnq, "
           "SERIALNUMBER=SN123, 0.9.2342.19200300.100.1.1=uid1, 2.5.4.97=VATDE-1, 2.5.4.15=Private Organization"}}},
        {"names/multi.der", "CN=x + O=z + OU=y, CN=\"a+b\" + OU=\"c=d\", O=e", {}},
        {"names/astral.der", "CN=😀 smile, O=ok 😀", {{kBlankCheck, "CN=😀 smile, O=\"ok 😀\""}}},
    };
    return cases;
}

// The library's renderer on the subject Name of the certificate.
std::string ourRendering(const twcyt_cert* cert)
{
    std::u32string text;
    const CERT_NAME_BLOB& subject = cert->pCertInfo->Subject;
    return posix_x500_render(subject.pbData, subject.cbData, &text) ? posix_codePointsToUtf8(text) : "(no rendering)";
}

// The platform's CertNameToStrW, through the library's DN text.
std::string platformRendering(const twcyt_cert* cert)
{
    std::vector<char> dn(4096);
    int n = twcyt_cert_getDn(cert, dn.data(), static_cast<int>(dn.size()));
    return n < 0 ? "error " + std::to_string(n) : std::string(dn.data());
}

std::string visible(const std::string& text)
{
    std::string out;
    for (char c : text) out += c == '\n' ? std::string("\\n") : std::string(1, c);
    return out;
}

}  // namespace

TEST(NameConformanceTest, EveryNameFixtureHasAnExpectedForm)
{
    std::vector<std::string> covered;
    for (const auto& c : nameCases()) covered.push_back(c.fixture);
    EXPECT_EQ(covered.size(), fixturesIn("names/").size());
    for (const auto& name : fixturesIn("names/"))
        EXPECT_NE(std::find(covered.begin(), covered.end(), name), covered.end()) << name << " has no expected form";
}

TEST(NameConformanceTest, RenderingsSideBySide)
{
    const CryptPlatform platform = cryptPlatform();
    for (const auto& c : nameCases()) {
        const std::string der = fixture(c.fixture);
        const twcyt_cert* cert = twcyt_cert_load(bytesOf(der), lengthOf(der));
        ASSERT_NE(cert, nullptr) << c.fixture;
        const std::string ours = ourRendering(cert);
        const std::string theirs = platformRendering(cert);
        twcyt_cert_free(cert);

        const char* wineForm = nullptr;
        for (const auto& d : c.departures)
            if (d.wineForm != nullptr) wineForm = d.wineForm;
        const std::string expected = platform == CryptPlatform::Wine && wineForm != nullptr ? wineForm : c.windowsForm;

        std::printf("%s\n  Windows form   : %s\n  library's own  : %s\n  %-15s: %s\n", c.fixture,
                    visible(c.windowsForm).c_str(), visible(ours).c_str(), cryptPlatformLabel(platform),
                    visible(theirs).c_str());
        for (const auto& d : c.departures) std::printf("  Wine departs   : %s\n", d.reason);

        EXPECT_EQ(ours, c.windowsForm) << c.fixture;
        EXPECT_EQ(theirs, expected) << c.fixture << " on " << cryptPlatformLabel(platform);
        if (wineForm != nullptr) {
            EXPECT_NE(std::string(wineForm), c.windowsForm) << c.fixture;
        }
    }
}
