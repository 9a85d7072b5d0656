// Signatures from anyone, as dsc-sign verify reads them: the three forms
// (DER, PEM, base64), the BER reader, the SignedData and certificate
// parsers, the names printed, and the checks that follow, with content
// given and without, and with a trust anchor taken from the input itself.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "crypto.h"
#include "forms.h"
#include "signed_data.h"
#include "verify.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool ready = (crypto_init(), true);
    (void)ready;
    std::vector<unsigned char> input(data, data + size), der;
    if (!der_from_any_form(input, der)) return 0;
    VerifyOptions options;
    options.sm2Id = kDefaultSm2Id;
    verify_signed_data(der, options);

    SignedDataParts parts;
    if (signed_data_parse(der, parts).failure != ParseFailure::kNone) return 0;
    for (const Certificate& c : parts.certificates) {
        name_text(c.subject);
        name_text(c.issuer);
    }
    std::vector<unsigned char> content(3, 'x');
    options.content = &content;
    options.anchors = &parts.certificates;
    verify_signed_data(der, options);
    return 0;
}
