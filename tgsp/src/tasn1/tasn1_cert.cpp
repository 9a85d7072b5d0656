#include "tasn1_cert.h"

#include <cstring>

#include "tcore_errors.h"
#include "tasn1_item.h"
#include "tasn1_walk.h"
#include "tcore_codec.h"
#include "tcore_mem.h"
#include "tcore_sources.h"
#include "tcore_trace.h"

namespace {

const char kBegin[] = "-----BEGIN CERTIFICATE-----";
const char kEnd[] = "-----END CERTIFICATE-----";

// First occurrence of `needle` in text[from, to); -1 when absent. Bounded by
// `to`, so a text without its NUL is never read past its length.
int find(const char* text, int from, int to, const char* needle)
{
    int n = static_cast<int>(std::strlen(needle));
    for (int i = from; i + n <= to; ++i)
        if (std::memcmp(text + i, needle, static_cast<size_t>(n)) == 0) return i;
    return -1;
}

int decodeBase64(const char* text, int len, unsigned char** der)
{
    int size = len / 4 * 3;
    auto* buffer = static_cast<unsigned char*>(tcore_zalloc(static_cast<size_t>(size)));
    int n = tcore_base64_decode(buffer, text, len, size);
    if (n <= 0) {
        tcore_free(buffer);
        // Nothing decoded is no certificate either.
        return n < 0 ? n : TASN1_ERR_CERT;
    }
    *der = buffer;
    return n;
}

// An AlgorithmIdentifier whose algorithm is the SM2 OID itself, as some
// issuers write it instead of id-ecPublicKey with the SM2 curve.
bool namesSm2Algorithm(const tasn1_item& algorithm)
{
    static const unsigned char kSm2Oid[] = {0x06, 0x08, 0x2A, 0x81, 0x1C, 0xCF, 0x55, 0x01, 0x82, 0x2D};
    tasn1_item oid;
    return tasn1_sequence_decode_getTLV(algorithm.data, algorithm.len, 0, &oid) == 0 &&
           oid.len == static_cast<int>(sizeof kSm2Oid) && std::memcmp(oid.data, kSm2Oid, sizeof kSm2Oid) == 0;
}

bool equalsTemplate(const tasn1_item& element, int kid)
{
    const tasn1_item* t = tasn1_item_getByKid(kid);
    return element.len == t->len && std::memcmp(element.data, t->data, static_cast<size_t>(t->len)) == 0;
}

}  // namespace

int tasn1_cert_toDer(const char* text, int len, unsigned char** der)
{
    if (text == nullptr || len < 1 || der == nullptr) return TCORE_ERR_PARAM;
    if (text[0] == 'M') return decodeBase64(text, len, der);
    if (static_cast<unsigned char>(text[0]) == TASN1_SEQUENCE) {
        auto* copy = static_cast<unsigned char*>(tcore_zalloc(static_cast<size_t>(len)));
        std::memcpy(copy, text, static_cast<size_t>(len));
        *der = copy;
        return len;
    }
    // PEM: the text ends at its NUL or at `len`, whichever comes first.
    int end = 0;
    while (end < len && text[end] != '\0') ++end;
    int begin = find(text, 0, end, kBegin);
    int finish = find(text, 0, end, kEnd);
    if (begin < 0 || finish < 0 || begin >= finish) return TASN1_ERR_CERT;
    int start = begin + static_cast<int>(sizeof kBegin) - 1;
    while (start < finish && text[start] != 'M') ++start;
    if (start >= finish) return TASN1_ERR_CERT;
    return decodeBase64(text + start, finish - start, der);
}

int tasn1_cert_asDer(const unsigned char* cert, int len, const unsigned char** der, unsigned char** owned)
{
    if (cert == nullptr || len < 1 || der == nullptr || owned == nullptr) return TCORE_ERR_PARAM;
    *owned = nullptr;
    if (cert[0] == TASN1_SEQUENCE) {
        *der = cert;
        return len;
    }
    int n = tasn1_cert_toDer(reinterpret_cast<const char*>(cert), len, owned);
    if (n > 0) *der = *owned;
    return n;
}

int tasn1_cert_getKeyAlg(const unsigned char* cert, int len)
{
    const unsigned char* der = nullptr;
    unsigned char* owned = nullptr;
    int derLen = tasn1_cert_asDer(cert, len, &der, &owned);
    if (derLen < 0) return derLen;

    // Positions count the explicit version field as child 0 of the
    // TBSCertificate: the certificates this library signs with are version 3.
    tasn1_item tbs, spki, algorithm;
    int rc = tasn1_sequence_decode_getTLV(der, derLen, 0, &tbs);
    if (rc == 0) rc = tasn1_sequence_decode_getTLV(tbs.data, tbs.len, 6, &spki);
    if (rc == 0) rc = tasn1_sequence_decode_getTLV(spki.data, spki.len, 0, &algorithm);
    int result = TASN1_ERR_CERT;
    if (rc != 0)
        TCORE_TRACE(TSRC_TASN1_MISC, "tasn1_sequence_decode_getTLV failed %d", rc);
    else if (equalsTemplate(algorithm, TASN1_KID_RSA))
        result = TASN1_KID_RSA;
    else if (equalsTemplate(algorithm, TASN1_KID_SM2) || namesSm2Algorithm(algorithm))
        result = TASN1_KID_SM2;
    tcore_free(owned);
    return result;
}
