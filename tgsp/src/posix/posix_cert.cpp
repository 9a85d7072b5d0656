// Certificate contexts over OpenSSL's X.509 templates, with the fields the way
// CRYPT32 lays them out, and the certificate calls the library makes.
#include <windows.h>
#include <wincrypt.h>

#include <openssl/asn1.h>
#include <openssl/asn1t.h>
#include <openssl/objects.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "posix_cert.h"
#include "posix_certnames.h"
#include "posix_keptmap.h"
#include "posix_nothrow.h"
#include "posix_time.h"

namespace {

using Bytes = std::vector<BYTE>;

struct Extension {
    std::string oid;
    Bytes value;
};

}  // namespace

// Everything the context's certificate fields point into, read-only once
// decoded, so contexts made from one decoding share it. Its CERT_INFO points
// into its own members: it is never copied or moved.
struct posix_DecodedCert {
    Bytes encoded, serial, issuer, subject, signatureParams, keyParams, publicKey;
    std::string signatureOid, keyOid;
    std::vector<Extension> extensionData;
    std::vector<CERT_EXTENSION> extensions;
    CERT_INFO info{};

    posix_DecodedCert() = default;
    posix_DecodedCert(const posix_DecodedCert&) = delete;
    posix_DecodedCert& operator=(const posix_DecodedCert&) = delete;
};

namespace {

// What one context owns: its properties and its references. The context is
// the first member of a standard-layout holder, so the callers' pointer
// leads back to it.
struct CertData {
    std::shared_ptr<const posix_DecodedCert> decoded;
    std::map<DWORD, Bytes> properties;
    int references = 1;
};

struct Holder {
    CERT_CONTEXT context;
    CertData* data;
};

Holder* holderOf(PCCERT_CONTEXT cert) { return reinterpret_cast<Holder*>(const_cast<CERT_CONTEXT*>(cert)); }

template <typename T>
using Owned = std::unique_ptr<T, void (*)(T*)>;

CRYPT_INTEGER_BLOB blobOf(Bytes& bytes) { return CRYPT_INTEGER_BLOB{static_cast<DWORD>(bytes.size()), bytes.data()}; }

// The contents of the DER element `der` (its identifier and length skipped).
Bytes contentsOf(const unsigned char* der, int len)
{
    if (len < 2) return Bytes();
    int skip = 2;
    if (der[1] & 0x80) skip += der[1] & 0x7F;
    return skip <= len ? Bytes(der + skip, der + len) : Bytes();
}

template <typename T, typename Encode>
Bytes encode(const T* value, Encode i2d)
{
    int n = i2d(value, nullptr);
    if (n <= 0) return Bytes();
    Bytes out(static_cast<size_t>(n));
    unsigned char* p = out.data();
    i2d(value, &p);
    return out;
}

// An OID has no length limit, and CRYPT32 gives the whole of it, so the
// text is as long as OBJ_obj2txt says it is.
std::string oidText(const ASN1_OBJECT* object)
{
    int n = OBJ_obj2txt(nullptr, 0, object, 1);
    if (n <= 0) return std::string();
    std::string text(static_cast<size_t>(n) + 1, '\0');
    OBJ_obj2txt(text.data(), n + 1, object, 1);
    text.resize(static_cast<size_t>(n));
    return text;
}

// AlgorithmIdentifier: the dotted OID and the DER of its parameters, none
// when they are absent.
void readAlgorithm(const X509_ALGOR* algorithm, std::string* oid, Bytes* params)
{
    const ASN1_OBJECT* object = nullptr;
    int type = 0;
    const void* value = nullptr;
    X509_ALGOR_get0(&object, &type, &value, algorithm);
    *oid = oidText(object);
    *params = type == V_ASN1_UNDEF ? Bytes() : encode(algorithm->parameter, i2d_ASN1_TYPE);
}

bool readTime(const ASN1_TIME* time, FILETIME* out)
{
    tm t{};
    if (time == nullptr || ASN1_TIME_to_tm(time, &t) != 1) return false;
    *out = posix_toFileTime(posix_fileTimeOf(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec));
    return true;
}

// The certificate read with OpenSSL's ASN.1 templates in X509's own layout,
// item for item, so a certificate is accepted or refused exactly as d2i_X509
// accepts or refuses it. Two items are read more cheaply:
// - The SubjectPublicKeyInfo stays an algorithm and a BIT STRING.
//   X509_PUBKEY's decoder also builds an EVP_PKEY through the provider
//   decoders, which costs ten times the rest of the certificate and whose
//   failure d2i_X509 ignores anyway; a context never needs the key object.
// - A name is read as X509_NAME's decoder first reads it, its RDNs as stacks
//   of entries; that decoder then builds a lowercased canonical copy, most
//   of the remaining cost. Its refusals are checked without the copy
//   (posix_nameIsAccepted), and where a name's bytes cannot be found plainly,
//   d2i_X509 decides.
struct KeyInfo {
    X509_ALGOR* algorithm;
    ASN1_BIT_STRING* bits;
};

struct ToBeSigned {
    ASN1_INTEGER* version;
    ASN1_INTEGER* serialNumber;
    X509_ALGOR* signature;
    OPENSSL_STACK* issuer;  // of RDNs, each a stack of X509_NAME_ENTRY
    X509_VAL* validity;
    OPENSSL_STACK* subject;
    KeyInfo* key;
    ASN1_BIT_STRING* issuerUID;
    ASN1_BIT_STRING* subjectUID;
    STACK_OF(X509_EXTENSION) * extensions;
};

struct Certificate {
    ToBeSigned* toBeSigned;
    X509_ALGOR* signatureAlgorithm;
    ASN1_BIT_STRING* signature;
};

// The macros below read badly once formatted.
// clang-format off
ASN1_SEQUENCE(KeyInfo) = {
    ASN1_SIMPLE(KeyInfo, algorithm, X509_ALGOR),
    ASN1_SIMPLE(KeyInfo, bits, ASN1_BIT_STRING),
} static_ASN1_SEQUENCE_END(KeyInfo)

// X509_NAME's own first reading: a SEQUENCE OF RDNs, each a SET OF entries.
ASN1_ITEM_TEMPLATE(RelativeName) = ASN1_EX_TEMPLATE_TYPE(ASN1_TFLG_SET_OF, 0, RDNS, X509_NAME_ENTRY)
static_ASN1_ITEM_TEMPLATE_END(RelativeName)

ASN1_ITEM_TEMPLATE(NameEntries) = ASN1_EX_TEMPLATE_TYPE(ASN1_TFLG_SEQUENCE_OF, 0, Name, RelativeName)
static_ASN1_ITEM_TEMPLATE_END(NameEntries)

ASN1_SEQUENCE(ToBeSigned) = {
    ASN1_EXP_OPT(ToBeSigned, version, ASN1_INTEGER, 0),
    ASN1_SIMPLE(ToBeSigned, serialNumber, ASN1_INTEGER),
    ASN1_SIMPLE(ToBeSigned, signature, X509_ALGOR),
    ASN1_SIMPLE(ToBeSigned, issuer, NameEntries),
    ASN1_SIMPLE(ToBeSigned, validity, X509_VAL),
    ASN1_SIMPLE(ToBeSigned, subject, NameEntries),
    ASN1_SIMPLE(ToBeSigned, key, KeyInfo),
    ASN1_IMP_OPT(ToBeSigned, issuerUID, ASN1_BIT_STRING, 1),
    ASN1_IMP_OPT(ToBeSigned, subjectUID, ASN1_BIT_STRING, 2),
    ASN1_EXP_SEQUENCE_OF_OPT(ToBeSigned, extensions, X509_EXTENSION, 3),
} static_ASN1_SEQUENCE_END(ToBeSigned)

ASN1_SEQUENCE(Certificate) = {
    ASN1_SIMPLE(Certificate, toBeSigned, ToBeSigned),
    ASN1_SIMPLE(Certificate, signatureAlgorithm, X509_ALGOR),
    ASN1_SIMPLE(Certificate, signature, ASN1_BIT_STRING),
} static_ASN1_SEQUENCE_END(Certificate)

void freeCertificate(Certificate* c)
{
    ASN1_item_free(reinterpret_cast<ASN1_VALUE*>(c), ASN1_ITEM_rptr(Certificate));
}
// clang-format on

// The issuer's and subject's DER as the certificate holds them; false when
// X509_NAME's decoder would refuse either.
bool readNames(const BYTE* encoded, DWORD len, const ToBeSigned* tbs, posix_DecodedCert* d)
{
    posix_NameSpan issuer, subject;
    if (posix_certNames(encoded, len, &issuer, &subject)) {
        if (!posix_nameIsAccepted(tbs->issuer, issuer.len) || !posix_nameIsAccepted(tbs->subject, subject.len))
            return false;
        d->issuer.assign(issuer.der, issuer.der + issuer.len);
        d->subject.assign(subject.der, subject.der + subject.len);
        return true;
    }
    const unsigned char* p = encoded;
    Owned<X509> x509(d2i_X509(nullptr, &p, static_cast<long>(len)), X509_free);
    if (!x509) return false;
    const unsigned char* nameDer = nullptr;
    size_t nameLen = 0;
    if (X509_NAME_get0_der(X509_get_issuer_name(x509.get()), &nameDer, &nameLen) != 1) return false;
    d->issuer.assign(nameDer, nameDer + nameLen);
    if (X509_NAME_get0_der(X509_get_subject_name(x509.get()), &nameDer, &nameLen) != 1) return false;
    d->subject.assign(nameDer, nameDer + nameLen);
    return true;
}

bool decode(const BYTE* encoded, DWORD len, posix_DecodedCert* d)
{
    const unsigned char* p = encoded;
    Owned<Certificate> decoded(
        reinterpret_cast<Certificate*>(ASN1_item_d2i(nullptr, &p, static_cast<long>(len), ASN1_ITEM_rptr(Certificate))),
        freeCertificate);
    if (!decoded) return false;
    const ToBeSigned* tbs = decoded->toBeSigned;
    d->encoded.assign(encoded, encoded + len);

    // CRYPT32 keeps the INTEGER's content octets reversed, sign byte included.
    Bytes serialDer = encode(tbs->serialNumber, i2d_ASN1_INTEGER);
    d->serial = contentsOf(serialDer.data(), static_cast<int>(serialDer.size()));
    std::reverse(d->serial.begin(), d->serial.end());

    if (!readNames(encoded, len, tbs, d)) return false;

    // The outer signatureAlgorithm, as X509_get0_signature gives it.
    readAlgorithm(decoded->signatureAlgorithm, &d->signatureOid, &d->signatureParams);

    readAlgorithm(tbs->key->algorithm, &d->keyOid, &d->keyParams);
    const ASN1_BIT_STRING* keyBits = tbs->key->bits;
    d->publicKey.assign(keyBits->data, keyBits->data + keyBits->length);

    if (!readTime(tbs->validity->notBefore, &d->info.NotBefore) ||
        !readTime(tbs->validity->notAfter, &d->info.NotAfter))
        return false;

    const int extensionCount = X509v3_get_ext_count(tbs->extensions);
    for (int i = 0; i < extensionCount; ++i) {
        X509_EXTENSION* ext = X509v3_get_ext(tbs->extensions, i);
        const ASN1_OCTET_STRING* value = X509_EXTENSION_get_data(ext);
        d->extensionData.push_back(
            {oidText(X509_EXTENSION_get_object(ext)),
             Bytes(ASN1_STRING_get0_data(value), ASN1_STRING_get0_data(value) + ASN1_STRING_length(value))});
    }
    for (int i = 0; i < extensionCount; ++i) {
        auto& e = d->extensionData[static_cast<size_t>(i)];
        d->extensions.push_back(CERT_EXTENSION{
            e.oid.data(), X509_EXTENSION_get_critical(X509v3_get_ext(tbs->extensions, i)), blobOf(e.value)});
    }

    CERT_INFO& info = d->info;
    // An absent version reads as 0 (v1), one too large for a long as -1,
    // as X509_get_version reports them.
    info.dwVersion = static_cast<DWORD>(ASN1_INTEGER_get(tbs->version));
    info.SerialNumber = blobOf(d->serial);
    info.SignatureAlgorithm = CRYPT_ALGORITHM_IDENTIFIER{d->signatureOid.data(), blobOf(d->signatureParams)};
    info.Issuer = blobOf(d->issuer);
    info.Subject = blobOf(d->subject);
    info.SubjectPublicKeyInfo.Algorithm = CRYPT_ALGORITHM_IDENTIFIER{d->keyOid.data(), blobOf(d->keyParams)};
    info.SubjectPublicKeyInfo.PublicKey = CRYPT_BIT_BLOB{static_cast<DWORD>(d->publicKey.size()), d->publicKey.data(),
                                                         0};
    info.cExtension = static_cast<DWORD>(d->extensions.size());
    info.rgExtension = d->extensions.empty() ? nullptr : d->extensions.data();
    return true;
}

const CERT_EXTENSION* findExtension(const CERT_INFO* info, const char* oid)
{
    for (DWORD i = 0; i < info->cExtension; ++i)
        if (std::strcmp(info->rgExtension[i].pszObjId, oid) == 0) return &info->rgExtension[i];
    return nullptr;
}

bool sameBytes(const CRYPT_INTEGER_BLOB& a, const CRYPT_INTEGER_BLOB& b)
{
    return a.cbData == b.cbData && (a.cbData == 0 || std::memcmp(a.pbData, b.pbData, a.cbData) == 0);
}

// The significant length of a little-endian two's-complement integer: sign
// extension bytes at the top do not count.
DWORD significantLength(const CRYPT_INTEGER_BLOB& blob)
{
    DWORD n = blob.cbData;
    while (n > 1) {
        BYTE top = blob.pbData[n - 1], below = blob.pbData[n - 2];
        if ((top == 0x00 && below <= 0x7F) || (top == 0xFF && below >= 0x80))
            --n;
        else
            break;
    }
    return n;
}

// Certificates decoded before, by their exact bytes: every selection reads
// each token's certificates afresh, and bytes met before are not decoded
// again. Equal bytes always decode alike, so nothing kept can be stale. The
// key views the bytes the decoding holds itself.
constexpr size_t kMaxDecodedBytes = size_t{8} << 20;
constinit posix_KeptMap<std::string_view, std::shared_ptr<const posix_DecodedCert>> decodedByBytes(
    posix_kDecodedCertsMax, kMaxDecodedBytes);
static_assert(std::is_trivially_destructible_v<decltype(decodedByBytes)>, "the decodings must outlive every caller");

std::string_view bytesOf(const BYTE* bytes, size_t len) { return {reinterpret_cast<const char*>(bytes), len}; }

// What one decoding holds, about: its bytes once as given, again in its
// fields, and the fields themselves.
size_t footprintOf(const posix_DecodedCert& d) { return sizeof d + 2 * d.encoded.size(); }

__attribute__((destructor)) void forgetDecoded() { decodedByBytes.freeUnlessBusy(); }

}  // namespace

std::shared_ptr<const posix_DecodedCert> posix_decodeCert(const BYTE* encoded, DWORD encodedLen)
{
    return decodedByBytes.findOrMake(
        bytesOf(encoded, encodedLen),
        [&]() -> std::shared_ptr<const posix_DecodedCert> {
            auto decoded = std::make_shared<posix_DecodedCert>();
            if (!decode(encoded, encodedLen, decoded.get())) return nullptr;
            return decoded;
        },
        [](const auto& decoded) { return bytesOf(decoded->encoded.data(), decoded->encoded.size()); },
        [](const auto& decoded) { return footprintOf(*decoded); });
}

size_t posix_decodedCertsKept()
{
    std::lock_guard<std::mutex> hold(decodedByBytes.lock());
    return decodedByBytes.entries();
}

PCCERT_CONTEXT posix_contextOf(std::shared_ptr<const posix_DecodedCert> decoded)
{
    auto data = std::make_unique<CertData>();
    data->decoded = std::move(decoded);
    auto* holder = new Holder{};
    holder->data = data.release();
    const posix_DecodedCert& d = *holder->data->decoded;
    holder->context.dwCertEncodingType = X509_ASN_ENCODING;
    // The fields are the caller's to read, never to write, as on Windows.
    holder->context.pbCertEncoded = const_cast<BYTE*>(d.encoded.data());
    holder->context.cbCertEncoded = static_cast<DWORD>(d.encoded.size());
    holder->context.pCertInfo = const_cast<CERT_INFO*>(&d.info);
    return &holder->context;
}

PCCERT_CONTEXT CertCreateCertificateContext(DWORD encodingType, const BYTE* encoded, DWORD encodedLen)
{
    return posix_noThrow([&]() -> PCCERT_CONTEXT {
        if ((encodingType & X509_ASN_ENCODING) == 0 || encoded == nullptr || encodedLen == 0) {
            SetLastError(static_cast<DWORD>(E_INVALIDARG));
            return nullptr;
        }
        auto decoded = posix_decodeCert(encoded, encodedLen);
        if (!decoded) {
            SetLastError(static_cast<DWORD>(CRYPT_E_ASN1_BADTAG));
            return nullptr;
        }
        return posix_contextOf(std::move(decoded));
    });
}

PCCERT_CONTEXT CertDuplicateCertificateContext(PCCERT_CONTEXT cert)
{
    if (cert != nullptr) ++holderOf(cert)->data->references;
    return cert;
}

BOOL CertFreeCertificateContext(PCCERT_CONTEXT cert)
{
    if (cert == nullptr) return TRUE;
    Holder* holder = holderOf(cert);
    if (--holder->data->references == 0) {
        delete holder->data;
        delete holder;
    }
    return TRUE;
}

BOOL CertGetIntendedKeyUsage(DWORD, PCERT_INFO info, BYTE* usage, DWORD usageLen)
{
    if (info == nullptr || usage == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::memset(usage, 0, usageLen);
    const CERT_EXTENSION* ext = findExtension(info, szOID_KEY_USAGE);
    const unsigned char* p = ext != nullptr ? ext->Value.pbData : nullptr;
    Owned<ASN1_BIT_STRING> bits(p != nullptr ? d2i_ASN1_BIT_STRING(nullptr, &p, ext->Value.cbData) : nullptr,
                                ASN1_BIT_STRING_free);
    if (!bits) {
        // No usage information: FALSE with no error, as Windows reports it.
        SetLastError(ERROR_SUCCESS);
        return FALSE;
    }
    auto n = static_cast<DWORD>(ASN1_STRING_length(bits.get()));
    std::memcpy(usage, ASN1_STRING_get0_data(bits.get()), n < usageLen ? n : usageLen);
    return TRUE;
}

LONG CertVerifyTimeValidity(LPFILETIME time, PCERT_INFO info)
{
    FILETIME now;
    if (time == nullptr) {
        GetSystemTimeAsFileTime(&now);
        time = &now;
    }
    uint64_t t = posix_ticksOf(*time);
    if (t < posix_ticksOf(info->NotBefore)) return -1;
    if (t > posix_ticksOf(info->NotAfter)) return 1;
    return 0;
}

BOOL CertCompareCertificateName(DWORD, PCERT_NAME_BLOB a, PCERT_NAME_BLOB b) { return sameBytes(*a, *b); }

BOOL CertCompareIntegerBlob(PCRYPT_INTEGER_BLOB a, PCRYPT_INTEGER_BLOB b)
{
    // Equal values have the same lowest byte, which sign extension never
    // touches: most unequal serials differ there.
    if (a->cbData > 0 && b->cbData > 0 && a->pbData[0] != b->pbData[0]) return FALSE;
    DWORD n = significantLength(*a);
    // An empty blob may have no bytes at all to point to.
    return n == significantLength(*b) && (n == 0 || std::memcmp(a->pbData, b->pbData, n) == 0);
}

BOOL CertCompareCertificate(DWORD encodingType, PCERT_INFO a, PCERT_INFO b)
{
    // The serial first: certificates of one issuer differ there, in a few
    // bytes, while their issuer names are equal to the last byte.
    return CertCompareIntegerBlob(&a->SerialNumber, &b->SerialNumber) &&
           CertCompareCertificateName(encodingType, &a->Issuer, &b->Issuer);
}

BOOL CertSetCertificateContextProperty(PCCERT_CONTEXT cert, DWORD propId, DWORD, const void* data)
{
    if (cert == nullptr || propId == 0) {
        SetLastError(static_cast<DWORD>(E_INVALIDARG));
        return FALSE;
    }
    return posix_noThrow([&]() -> BOOL {
        auto& properties = holderOf(cert)->data->properties;
        if (data == nullptr) {
            properties.erase(propId);
            return TRUE;
        }
        const auto* blob = static_cast<const CRYPT_DATA_BLOB*>(data);
        properties[propId] = Bytes(blob->pbData, blob->pbData + blob->cbData);
        return TRUE;
    });
}

BOOL CertGetCertificateContextProperty(PCCERT_CONTEXT cert, DWORD propId, void* data, DWORD* dataLen)
{
    if (cert == nullptr || dataLen == nullptr) {
        SetLastError(static_cast<DWORD>(E_INVALIDARG));
        return FALSE;
    }
    const auto& properties = holderOf(cert)->data->properties;
    auto it = properties.find(propId);
    if (it == properties.end()) {
        SetLastError(static_cast<DWORD>(CRYPT_E_NOT_FOUND));
        return FALSE;
    }
    auto size = static_cast<DWORD>(it->second.size());
    if (data == nullptr) {
        *dataLen = size;
        return TRUE;
    }
    if (*dataLen < size) {
        *dataLen = size;
        SetLastError(ERROR_MORE_DATA);
        return FALSE;
    }
    if (size > 0) std::memcpy(data, it->second.data(), size);
    *dataLen = size;
    return TRUE;
}
