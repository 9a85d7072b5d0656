#include "posix_certnames.h"

#include <openssl/asn1.h>

namespace {

// One element in [p, end): its tag, its whole encoding and its body; `p`
// moves past it.
struct Element {
    unsigned char tag = 0;
    posix_NameSpan whole, body;
};

bool next(const unsigned char*& p, const unsigned char* end, Element* e)
{
    const unsigned char* start = p;
    if (end - p < 2 || (p[0] & 0x1F) == 0x1F) return false;
    e->tag = p[0];
    size_t len = p[1];
    const unsigned char* body = p + 2;
    if (len & 0x80) {
        size_t n = len & 0x7F;
        // 0x80 is the indefinite length of BER.
        if (n == 0 || n > 4 || static_cast<size_t>(end - body) < n) return false;
        len = 0;
        for (size_t i = 0; i < n; ++i) len = (len << 8) | *body++;
    }
    if (static_cast<size_t>(end - body) < len) return false;
    p = body + len;
    e->whole = {start, static_cast<size_t>(p - start)};
    e->body = {body, len};
    return true;
}

// Into the body of the SEQUENCE at `p`.
bool enter(const unsigned char*& p, const unsigned char*& end)
{
    Element e;
    if (!next(p, end, &e) || e.tag != 0x30) return false;
    p = e.body.der;
    end = p + e.body.len;
    return true;
}

// The types whose values X509_NAME's canonical form converts to UTF-8; the
// conversion of any other type copies the value and cannot fail.
constexpr unsigned long kConvertedTypes = B_ASN1_UTF8STRING | B_ASN1_BMPSTRING | B_ASN1_UNIVERSALSTRING |
                                          B_ASN1_PRINTABLESTRING | B_ASN1_T61STRING | B_ASN1_IA5STRING |
                                          B_ASN1_VISIBLESTRING;

// X509_NAME's decoder reads at most this much.
constexpr size_t kNameMax = size_t{1} << 20;

}  // namespace

bool posix_certNames(const unsigned char* der, size_t len, posix_NameSpan* issuer, posix_NameSpan* subject)
{
    const unsigned char* p = der;
    const unsigned char* end = der + len;
    if (!enter(p, end) || !enter(p, end)) return false;  // Certificate, then TBSCertificate
    Element e;
    const unsigned char* at = p;
    if (!next(at, end, &e)) return false;
    if (e.tag == 0xA0) p = at;  // the version
    // serialNumber, signature, issuer, validity, subject
    posix_NameSpan names[2];
    for (int field = 0; field < 5; ++field) {
        if (!next(p, end, &e)) return false;
        if (field == 2 || field == 4) {
            if (e.tag != 0x30) return false;
            names[field / 2 - 1] = e.whole;
        }
    }
    *issuer = names[0];
    *subject = names[1];
    return true;
}

bool posix_nameIsAccepted(const OPENSSL_STACK* rdns, size_t len)
{
    if (len > kNameMax) return false;
    for (int i = 0; i < OPENSSL_sk_num(rdns); ++i) {
        const auto* entries = static_cast<const OPENSSL_STACK*>(OPENSSL_sk_value(rdns, i));
        for (int j = 0; j < OPENSSL_sk_num(entries); ++j) {
            const auto* entry = static_cast<const X509_NAME_ENTRY*>(OPENSSL_sk_value(entries, j));
            const ASN1_STRING* value = X509_NAME_ENTRY_get_data(entry);
            if ((ASN1_tag2bit(ASN1_STRING_type(value)) & kConvertedTypes) == 0) continue;
            unsigned char* utf8 = nullptr;
            int n = ASN1_STRING_to_UTF8(&utf8, value);
            OPENSSL_free(utf8);
            if (n < 0) return false;
        }
    }
    return true;
}
