// The one table of result codes. The codes never change meaning, so a
// message can always name both the number (for a support request or a log
// search) and what it means for the user.
#include "result_codes.h"

namespace {

struct Entry {
    int code;
    const char* meaning;
};

const Entry kCodes[] = {
    // Produced by the exported functions themselves.
    {-1, "signing mode must be 1 (attached) or 2 (detached)"},
    {-1001, "a required argument is missing or empty"},
    {-1003, "the buffer is too small for the certificate text"},
    {-1005, "no certificate was chosen (the chooser was cancelled or could not be shown)"},
    {-1006, "the certificate property cannot be converted to the system code page"},
    {-1040, "the token refused the PIN (wrong PIN, or the PIN is locked)"},
    {-3009, "the log file cannot be created"},
    {-3011, "no certificate found (none matched, or nothing is selected for signing)"},
    // Finding certificates and providers.
    {-1004, "a certificate source could not list its certificates"},
    {-1016, "the text is not a certificate that can be loaded"},
    {-1031, "the buffer is too small for the serial number"},
    {-1034, "a registered token library has no readable SKFImagePath"},
    {-1035, "the token provider registrations cannot be listed"},
    {-1036, "the 360 provider's library path cannot be read"},
    {-1038, "no log path given and SignLogPath cannot be read from the registry"},
    {-1039, "the certificate store search failed"},
    {-1041, "a token library could not be loaded"},
    {-2008, "the certificate's subject has no such field"},
    {-2031, "the certificate's subject DN cannot be converted"},
    {-2032, "the certificate's serial number cannot be read"},
    {-2034, "the certificate's key is neither RSA nor SM2"},
    {-3004, "the numbers of field names and values differ"},
    {-3013, "a token's certificate cannot be parsed"},
    {-3032, "the certificate has no usable CN"},
    {-4049, "more than 24 certificates match; narrow the selection"},
    // Token devices.
    {-3054, "the buffer is too small for the device text"},
    {-3055, "no token is present"},
    {-3056, "no token carries that label"},
    {-3057, "several tokens are present; name one by its label"},
    {-3058, "the token has no application"},
    {-3060, "the token has more than one application"},
    {-3061, "the PIN change failed (wrong old PIN, PIN locked, or the token refused)"},
    {-3062, "the token's text is empty"},
    {-3064, "two tokens carry the same label"},
    // Signing.
    {-1007, "the signature could not be made"},
    {-1010, "the signature could not be encoded as base64"},
    {-2001, "the PKCS#7 SignedData could not be encoded"},
    {-2009, "the certificate could not be bound to its signing key"},
    {-2010, "the certificate has no key provider to sign with"},
    {-2011, "hashing the data failed"},
    {-2025, "the certificate is not yet valid"},
    {-2026, "the certificate has expired"},
    {-4045, "the key provider refused to sign"},
    {-4046, "the key provider refused to sign"},
    {-4047, "the key provider refused to sign"},
    {-4048, "the key provider refused to sign"},
    // Core services.
    {-10002, "an internal argument was missing or unusable"},
    {-10003, "an internal buffer was too small"},
    {-10004, "an internal ASN.1 structure was malformed"},
    {-110004, "a character outside the base64 alphabet"},
    {-110005, "text conversion from the system code page failed"},
    {-110006, "text conversion to the system code page failed"},
    {-110007, "text conversion from UTF-8 failed"},
    {-110008, "text conversion to UTF-8 failed"},
    {-110010, "unknown key algorithm name"},
    {-110021, "a registry key is missing or not accessible"},
    {-110027, "a registry value is missing"},
    // Token libraries.
    {-160131, "the token library could not be loaded"},
    {-160132, "the token library lacks one of the required SKF functions"},
    {-160133, "the token library of this certificate is not loaded"},
    {-160134, "the token certificate record is incomplete"},
    {-160135, "the token container type is neither RSA nor SM2"},
    {-160141, "the token library could not list its devices"},
    {-160142, "the token's applications could not be listed"},
    {-160143, "the token's containers could not be listed"},
    {-160144, "the token could not be connected"},
    {-160145, "the token application could not be opened"},
    {-160146, "the token container could not be opened"},
    {-160147, "the token could not start the digest"},
    {-160148, "the token could not compute the digest"},
    {-160149, "the token could not export the public key"},
    {-160150, "the token could not sign"},
    {-160151, "the token refused the PIN"},
    {-160152, "the token refused the PIN change"},
    // ASN.1 and certificates.
    {-210002, "malformed ASN.1: unexpected element"},
    {-210003, "malformed ASN.1: bad length"},
    {-210011, "the certificate text or its key algorithm is not usable"},
    {-210021, "the PKCS#7 structure could not be built"},
    {-260016, "the key container named by the certificate cannot be opened"},
    {-260018, "the key container has no signing key"},
    {-260021, "the certificate cannot be decoded (serial number)"},
    {-260022, "the certificate cannot be decoded (names)"},
    {-260023, "a certificate time cannot be converted"},
    {-260026, "the certificate's key is neither RSA nor SM2"},
    {-260028, "a certificate property cannot be set"},
    {-260029, "a certificate property cannot be read"},
    {-260031, "the certificate name is empty"},
    {-260034, "the certificate is not yet valid"},
    {-260035, "the certificate has expired"},
    {-260043, "no private key is known for the certificate"},
    {-260101, "the signing context has no certificate or provider"},
    {-260102, "the key provider failed to sign"},
};

}  // namespace

const char* dsc_result_meaning(int code)
{
    for (const Entry& e : kCodes)
        if (e.code == code) return e.meaning;
    return nullptr;
}
