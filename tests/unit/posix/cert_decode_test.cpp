// The stand-in's certificate contexts against OpenSSL's own X.509 decoder.
// The stand-in reads certificates without d2i_X509 (its key decoding is most
// of the cost of a selection), so every CERT_INFO field, and every refusal,
// is compared here with what d2i_X509 and the X509 accessors give for the
// same bytes: the fixtures, variants made from them by hand, and copies
// damaged at every element header.
#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>

#include <openssl/asn1.h>
#include <openssl/err.h>
#include <openssl/objects.h>
#include <openssl/x509.h>

#include <cstdint>
#include <ctime>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "fixtures.h"

namespace {

// A context's fields in comparable form, or a refusal with its error.
struct Fields {
    bool accepted = false;
    DWORD error = 0;
    std::string encoded;
    long version = 0;
    std::string serial, issuer, subject;
    std::string signatureOid, signatureParams, keyOid, keyParams, keyBits;
    uint64_t notBefore = 0, notAfter = 0;
    struct Extension {
        std::string oid;
        bool critical;
        std::string value;
    };
    std::vector<Extension> extensions;
};

std::string text(const BYTE* p, DWORD n)
{
    return n == 0 ? std::string() : std::string(reinterpret_cast<const char*>(p), n);
}
std::string text(const unsigned char* p, int n)
{
    return n <= 0 ? std::string() : std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(n));
}

std::string describe(const Fields& f)
{
    std::ostringstream out;
    if (!f.accepted) {
        out << "refused, error " << std::hex << f.error;
        return out.str();
    }
    out << "encoded " << hexOf(f.encoded) << "\nversion " << f.version << "\nserial " << hexOf(f.serial) << "\nissuer "
        << hexOf(f.issuer) << "\nsubject " << hexOf(f.subject) << "\nsignature " << f.signatureOid << " "
        << hexOf(f.signatureParams) << "\nkey " << f.keyOid << " " << hexOf(f.keyParams) << " " << hexOf(f.keyBits)
        << "\nvalidity " << f.notBefore << " " << f.notAfter << "\n";
    for (const auto& e : f.extensions)
        out << "extension " << e.oid << " " << e.critical << " " << hexOf(e.value) << "\n";
    return out.str();
}

Fields fromContext(const std::string& der)
{
    Fields f;
    SetLastError(0);
    PCCERT_CONTEXT cert = CertCreateCertificateContext(X509_ASN_ENCODING, bytesOf(der), static_cast<DWORD>(der.size()));
    if (cert == nullptr) {
        f.error = GetLastError();
        return f;
    }
    const CERT_INFO* info = cert->pCertInfo;
    f.accepted = true;
    f.encoded = text(cert->pbCertEncoded, cert->cbCertEncoded);
    f.version = static_cast<long>(static_cast<int32_t>(info->dwVersion));
    f.serial = text(info->SerialNumber.pbData, info->SerialNumber.cbData);
    f.issuer = text(info->Issuer.pbData, info->Issuer.cbData);
    f.subject = text(info->Subject.pbData, info->Subject.cbData);
    f.signatureOid = info->SignatureAlgorithm.pszObjId;
    f.signatureParams = text(info->SignatureAlgorithm.Parameters.pbData, info->SignatureAlgorithm.Parameters.cbData);
    const CERT_PUBLIC_KEY_INFO& key = info->SubjectPublicKeyInfo;
    f.keyOid = key.Algorithm.pszObjId;
    f.keyParams = text(key.Algorithm.Parameters.pbData, key.Algorithm.Parameters.cbData);
    f.keyBits = text(key.PublicKey.pbData, key.PublicKey.cbData);
    f.notBefore = (uint64_t{info->NotBefore.dwHighDateTime} << 32) | info->NotBefore.dwLowDateTime;
    f.notAfter = (uint64_t{info->NotAfter.dwHighDateTime} << 32) | info->NotAfter.dwLowDateTime;
    for (DWORD i = 0; i < info->cExtension; ++i) {
        const CERT_EXTENSION& e = info->rgExtension[i];
        f.extensions.push_back({e.pszObjId, e.fCritical != FALSE, text(e.Value.pbData, e.Value.cbData)});
    }
    CertFreeCertificateContext(cert);
    return f;
}

std::string dottedOid(const ASN1_OBJECT* object)
{
    char buffer[4096] = {0};
    int n = OBJ_obj2txt(buffer, sizeof buffer, object, 1);
    EXPECT_LT(n, static_cast<int>(sizeof buffer));
    return buffer;
}

// An AlgorithmIdentifier as CRYPT32 splits it: the dotted OID and the DER of
// the parameters, empty when there are none.
void algorithmOf(const X509_ALGOR* algorithm, std::string* oid, std::string* params)
{
    const ASN1_OBJECT* object = nullptr;
    int type = 0;
    const void* value = nullptr;
    X509_ALGOR_get0(&object, &type, &value, algorithm);
    *oid = dottedOid(object);
    params->clear();
    if (type == V_ASN1_UNDEF) return;
    ASN1_TYPE* parameter = ASN1_TYPE_new();
    ASN1_TYPE_set1(parameter, type, value);
    unsigned char* der = nullptr;
    int n = i2d_ASN1_TYPE(parameter, &der);
    *params = text(der, n);
    OPENSSL_free(der);
    ASN1_TYPE_free(parameter);
}

// FILETIME ticks: 100 ns since 1601-01-01 UTC.
bool ticksOf(const ASN1_TIME* time, uint64_t* ticks)
{
    tm t{};
    if (ASN1_TIME_to_tm(time, &t) != 1) return false;
    *ticks = static_cast<uint64_t>(timegm(&t) + 11644473600LL) * 10000000ULL;
    return true;
}

// The same fields as OpenSSL's decoder and accessors give them.
Fields fromOpenSsl(const std::string& der)
{
    Fields f;
    const unsigned char* p = bytesOf(der);
    X509* x = d2i_X509(nullptr, &p, static_cast<long>(der.size()));
    ERR_clear_error();
    if (x == nullptr || !ticksOf(X509_get0_notBefore(x), &f.notBefore) ||
        !ticksOf(X509_get0_notAfter(x), &f.notAfter)) {
        X509_free(x);
        f.error = static_cast<DWORD>(CRYPT_E_ASN1_BADTAG);
        return f;
    }
    f.accepted = true;
    f.encoded = der;
    f.version = X509_get_version(x);
    // The INTEGER's content octets, least significant first.
    unsigned char* serial = nullptr;
    int n = i2d_ASN1_INTEGER(X509_get0_serialNumber(x), &serial);
    const unsigned char* q = serial;
    long contentLen = 0;
    int tag = 0, cls = 0;
    ASN1_get_object(&q, &contentLen, &tag, &cls, n);
    f.serial.assign(q, q + contentLen);
    f.serial.assign(f.serial.rbegin(), f.serial.rend());
    OPENSSL_free(serial);

    const unsigned char* name = nullptr;
    size_t nameLen = 0;
    X509_NAME_get0_der(X509_get_issuer_name(x), &name, &nameLen);
    f.issuer.assign(reinterpret_cast<const char*>(name), nameLen);
    X509_NAME_get0_der(X509_get_subject_name(x), &name, &nameLen);
    f.subject.assign(reinterpret_cast<const char*>(name), nameLen);

    const X509_ALGOR* signature = nullptr;
    X509_get0_signature(nullptr, &signature, x);
    algorithmOf(signature, &f.signatureOid, &f.signatureParams);
    X509_ALGOR* keyAlgorithm = nullptr;
    const unsigned char* keyBits = nullptr;
    int keyLen = 0;
    X509_PUBKEY_get0_param(nullptr, &keyBits, &keyLen, &keyAlgorithm, X509_get_X509_PUBKEY(x));
    algorithmOf(keyAlgorithm, &f.keyOid, &f.keyParams);
    f.keyBits = text(keyBits, keyLen);

    for (int i = 0; i < X509_get_ext_count(x); ++i) {
        X509_EXTENSION* e = X509_get_ext(x, i);
        const ASN1_OCTET_STRING* value = X509_EXTENSION_get_data(e);
        f.extensions.push_back({dottedOid(X509_EXTENSION_get_object(e)), X509_EXTENSION_get_critical(e) != 0,
                                text(ASN1_STRING_get0_data(value), ASN1_STRING_length(value))});
    }
    X509_free(x);
    return f;
}

// --- DER editing for the hand-made variants ---------------------------------

std::string lengthOctets(size_t n)
{
    if (n < 0x80) return std::string(1, static_cast<char>(n));
    std::string digits;
    for (; n > 0; n >>= 8) digits.insert(digits.begin(), static_cast<char>(n & 0xFF));
    return std::string(1, static_cast<char>(0x80 | digits.size())) + digits;
}

std::string tlv(unsigned char tag, const std::string& contents)
{
    return std::string(1, static_cast<char>(tag)) + lengthOctets(contents.size()) + contents;
}

// Where one element's contents start and end.
struct Element {
    size_t start, contents, end;
};

bool elementAt(const std::string& der, size_t at, Element* e)
{
    const unsigned char* p = bytesOf(der) + at;
    const unsigned char* q = p;
    long len = 0;
    int tag = 0, cls = 0;
    int r = ASN1_get_object(&q, &len, &tag, &cls, static_cast<long>(der.size() - at));
    ERR_clear_error();
    if ((r & 0x80) != 0 || r == 0x21) return false;  // damaged, or indefinite length
    *e = Element{at, at + static_cast<size_t>(q - p), at + static_cast<size_t>(q - p) + static_cast<size_t>(len)};
    return true;
}

std::vector<std::string> childrenOf(const std::string& tlvBytes)
{
    std::vector<std::string> out;
    Element outer{};
    if (!elementAt(tlvBytes, 0, &outer)) return out;
    for (size_t at = outer.contents; at < outer.end;) {
        Element child{};
        if (!elementAt(tlvBytes, at, &child)) break;
        out.push_back(tlvBytes.substr(at, child.end - at));
        at = child.end;
    }
    return out;
}

std::string joined(const std::vector<std::string>& parts)
{
    std::string out;
    for (const auto& p : parts) out += p;
    return out;
}

// The certificate with its TBSCertificate's elements edited: version,
// serial, signature, issuer, validity, subject, key, then the optional ones.
std::string withTbs(const std::string& cert, const std::function<void(std::vector<std::string>&)>& edit)
{
    std::vector<std::string> top = childrenOf(cert);
    std::vector<std::string> tbs = childrenOf(top.at(0));
    edit(tbs);
    top[0] = tlv(0x30, joined(tbs));
    return tlv(0x30, joined(top));
}

// The index of the SubjectPublicKeyInfo in a TBSCertificate with a version.
constexpr size_t kKey = 6;

std::string oid(const char* dotted)
{
    ASN1_OBJECT* object = OBJ_txt2obj(dotted, 1);
    unsigned char* der = nullptr;
    int n = i2d_ASN1_OBJECT(object, &der);
    std::string out = text(der, n);
    OPENSSL_free(der);
    ASN1_OBJECT_free(object);
    return out;
}

std::string withKey(const std::string& cert, const std::string& spki)
{
    return withTbs(cert, [&](std::vector<std::string>& tbs) { tbs.at(kKey) = spki; });
}

std::string withName(const std::string& cert, size_t index, unsigned char stringTag, const std::string& value)
{
    std::string entry = tlv(0x30, oid("2.5.4.3") + tlv(stringTag, value));
    return withTbs(cert, [&](std::vector<std::string>& tbs) { tbs.at(index) = tlv(0x30, tlv(0x31, entry)); });
}

std::string withValidity(const std::string& cert, const std::string& notBefore, const std::string& notAfter)
{
    return withTbs(cert, [&](std::vector<std::string>& tbs) { tbs.at(4) = tlv(0x30, notBefore + notAfter); });
}

std::string withExtensions(const std::string& cert, const std::string& extensions)
{
    return withTbs(cert, [&](std::vector<std::string>& tbs) {
        tbs.resize(kKey + 1);
        if (!extensions.empty()) tbs.push_back(tlv(0xA3, tlv(0x30, extensions)));
    });
}

std::string basicConstraints(const std::string& critical)
{
    return tlv(0x30, oid("2.5.29.19") + critical + tlv(0x04, unhex("3000")));
}

std::string repeated(char c, size_t n) { return std::string(n, c); }

// A long OID: 1.2 and then enough arcs to need a long-form length.
std::string longOidText()
{
    std::string dotted = "1.2";
    for (int i = 0; i < 140; ++i) dotted += ".5";
    return dotted;
}

struct Variant {
    const char* what;
    bool accepted;
    std::function<std::string()> make;
};

const std::vector<Variant>& variants()
{
    const std::string rsa = fixture("certs/rsa_sign.der");
    const std::string ec = fixture("certs/ec_p256.der");
    static const std::vector<Variant> table = {
        // The key is never decoded by the stand-in; d2i_X509 decodes it but
        // ignores a failure, so none of these may be refused.
        {"key of an algorithm OpenSSL does not know", true,
         [=] { return withKey(rsa, tlv(0x30, tlv(0x30, oid("1.2.3.4.5")) + tlv(0x03, unhex("00 01 02 03")))); }},
        {"EC key whose point is not on its curve", true,
         [=] {
             std::vector<std::string> key = childrenOf(childrenOf(childrenOf(ec).at(0)).at(kKey));
             return withKey(ec, tlv(0x30, key.at(0) + tlv(0x03, std::string(1, '\0') + "\x04" + repeated('\x01', 64))));
         }},
        {"RSA key bits that are no RSAPublicKey", true,
         [=] {
             std::vector<std::string> key = childrenOf(childrenOf(childrenOf(rsa).at(0)).at(kKey));
             return withKey(rsa, tlv(0x30, key.at(0) + tlv(0x03, unhex("00 30 03 02 01"))));
         }},
        {"key of an EC curve OpenSSL does not know", true,
         [=] {
             std::string algorithm = tlv(0x30, oid("1.2.840.10045.2.1") + oid("1.2.3.4"));
             return withKey(ec, tlv(0x30, algorithm + tlv(0x03, std::string(1, '\0') + "\x04" + repeated('\x02', 64))));
         }},
        {"key with an empty BIT STRING", true,
         [=] {
             return withKey(rsa,
                            tlv(0x30, tlv(0x30, oid("1.2.840.113549.1.1.1") + unhex("0500")) + tlv(0x03, unhex("00"))));
         }},
        {"key bits with 3 unused bits", true,
         [=] { return withKey(rsa, tlv(0x30, tlv(0x30, oid("1.2.3.4")) + tlv(0x03, unhex("03 FF F8")))); }},
        {"key bits claiming 8 unused bits", false,
         [=] { return withKey(rsa, tlv(0x30, tlv(0x30, oid("1.2.3.4")) + tlv(0x03, unhex("08 FF")))); }},
        {"key without its BIT STRING", false, [=] { return withKey(rsa, tlv(0x30, tlv(0x30, oid("1.2.3.4")))); }},
        {"key with an element after the BIT STRING", false,
         [=] {
             return withKey(rsa, tlv(0x30, tlv(0x30, oid("1.2.3.4")) + tlv(0x03, unhex("00 01")) + unhex("0500")));
         }},
        {"key as a SET", false,
         [=] { return withKey(rsa, tlv(0x31, tlv(0x30, oid("1.2.3.4")) + tlv(0x03, unhex("00 01")))); }},
        {"key algorithm without its OID", false,
         [=] { return withKey(rsa, tlv(0x30, tlv(0x30, "") + tlv(0x03, unhex("00 01")))); }},

        {"issuer and subject unique identifiers", true,
         [=] {
             return withTbs(rsa, [](std::vector<std::string>& tbs) {
                 tbs.insert(tbs.begin() + kKey + 1, {tlv(0x81, unhex("00 AA")), tlv(0x82, unhex("04 B0"))});
             });
         }},
        {"unique identifiers in the wrong order", false,
         [=] {
             return withTbs(rsa, [](std::vector<std::string>& tbs) {
                 tbs.insert(tbs.begin() + kKey + 1, {tlv(0x82, unhex("00 AA")), tlv(0x81, unhex("00 BB"))});
             });
         }},
        {"an element after the extensions", false,
         [=] { return withTbs(rsa, [](std::vector<std::string>& tbs) { tbs.push_back(unhex("0500")); }); }},
        {"no key at all", false, [=] { return withTbs(rsa, [](std::vector<std::string>& tbs) { tbs.resize(kKey); }); }},

        {"version 5", true,
         [=] { return withTbs(rsa, [](std::vector<std::string>& tbs) { tbs.at(0) = tlv(0xA0, unhex("02 01 05")); }); }},
        {"version too large for a long", true,
         [=] {
             return withTbs(rsa, [](std::vector<std::string>& tbs) {
                 tbs.at(0) = tlv(0xA0, unhex("02 09 01 00 00 00 00 00 00 00 00"));
             });
         }},
        {"version as an OCTET STRING", false,
         [=] { return withTbs(rsa, [](std::vector<std::string>& tbs) { tbs.at(0) = tlv(0xA0, unhex("04 01 02")); }); }},
        {"negative serial", true,
         [=] { return withTbs(rsa, [](std::vector<std::string>& tbs) { tbs.at(1) = unhex("02 02 80 01"); }); }},
        {"serial with a sign byte", true,
         [=] { return withTbs(rsa, [](std::vector<std::string>& tbs) { tbs.at(1) = unhex("02 03 00 FF 01"); }); }},
        {"serial padded with a needless zero", false,
         [=] { return withTbs(rsa, [](std::vector<std::string>& tbs) { tbs.at(1) = unhex("02 02 00 01"); }); }},
        {"empty serial", false,
         [=] { return withTbs(rsa, [](std::vector<std::string>& tbs) { tbs.at(1) = unhex("02 00"); }); }},

        {"signature algorithm with an OID longer than 127 octets", true,
         [=] {
             std::vector<std::string> top = childrenOf(rsa);
             top.at(1) = tlv(0x30, oid(longOidText().c_str()) + unhex("0500"));
             return tlv(0x30, joined(top));
         }},
        {"signature algorithm with parameters of several elements", true,
         [=] {
             std::vector<std::string> top = childrenOf(rsa);
             top.at(1) = tlv(0x30, oid("1.2.840.10045.4.3.2") + tlv(0x30, unhex("02 01 01 04 02 AB CD")));
             return tlv(0x30, joined(top));
         }},

        {"subject UTF8String that is not UTF-8", false, [=] { return withName(rsa, 5, 0x0C, "bad \xC3\x28 text"); }},
        {"subject BMPString of odd length", false, [=] { return withName(rsa, 5, 0x1E, std::string("\0A\0", 3)); }},
        {"issuer T61String with high octets", true, [=] { return withName(rsa, 3, 0x14, "Caf\xE9"); }},
        {"subject value an OCTET STRING", false, [=] { return withName(rsa, 5, 0x04, "octets"); }},
        {"empty subject", true,
         [=] { return withTbs(rsa, [](std::vector<std::string>& tbs) { tbs.at(5) = unhex("30 00"); }); }},
        {"issuer UniversalString of 6 octets", false,
         [=] { return withName(rsa, 3, 0x1C, std::string("\0\0\0A\0\0", 6)); }},
        {"subject UniversalString past U+10FFFF", false,
         [=] { return withName(rsa, 5, 0x1C, std::string("\0\x11\0\0", 4)); }},
        {"subject UTF8String with a surrogate", false, [=] { return withName(rsa, 5, 0x0C, "\xED\xA0\x80"); }},
        {"subject BMPString with a lone surrogate", false,
         [=] { return withName(rsa, 5, 0x1E, std::string("\xD8\x00\0A", 4)); }},
        {"subject IA5String with high octets", true, [=] { return withName(rsa, 5, 0x16, "\xFF\xFE"); }},
        {"subject value a SEQUENCE", true, [=] { return withName(rsa, 5, 0x30, unhex("02 01 01")); }},
        {"subject with an empty RDN", true,
         [=] {
             return withTbs(rsa, [](std::vector<std::string>& tbs) {
                 tbs.at(5) = tlv(0x30, unhex("31 00") + childrenOf(tbs.at(5)).at(0));
             });
         }},
        {"issuer in indefinite length", true,
         [=] {
             return withTbs(rsa, [](std::vector<std::string>& tbs) {
                 std::string inner = joined(childrenOf(tbs.at(3)));
                 tbs.at(3) = unhex("30 80") + inner + unhex("00 00");
             });
         }},
        {"issuer as a SET", false,
         [=] { return withTbs(rsa, [](std::vector<std::string>& tbs) { tbs.at(3)[0] = '\x31'; }); }},

        {"validity in GeneralizedTime", true,
         [=] { return withValidity(rsa, tlv(0x18, "19991231235959Z"), tlv(0x18, "21000101000000Z")); }},
        {"validity mixing both time types", true,
         [=] { return withValidity(rsa, tlv(0x17, "491231235959Z"), tlv(0x18, "20500101000000Z")); }},
        {"UTCTime in month 13", false,
         [=] { return withValidity(rsa, tlv(0x17, "201301000000Z"), tlv(0x17, "300101000000Z")); }},
        {"UTCTime without its zone", false,
         [=] { return withValidity(rsa, tlv(0x17, "2001010000000"), tlv(0x17, "300101000000Z")); }},
        {"validity as an INTEGER", false,
         [=] { return withValidity(rsa, unhex("02 01 01"), tlv(0x17, "300101000000Z")); }},

        {"no extensions", true, [=] { return withExtensions(rsa, ""); }},
        {"extension explicitly not critical", true,
         [=] { return withExtensions(rsa, basicConstraints(unhex("01 01 00"))); }},
        {"extension critical with a non-canonical TRUE", true,
         [=] { return withExtensions(rsa, basicConstraints(unhex("01 01 01"))); }},
        {"extension critical flag of two octets", false,
         [=] { return withExtensions(rsa, basicConstraints(unhex("01 02 FF FF"))); }},
        {"extension of an unknown OID with any value", true,
         [=] { return withExtensions(rsa, tlv(0x30, oid("1.2.3.4.5.6") + tlv(0x04, unhex("DE AD BE EF")))); }},
        {"several extensions in order", true,
         [=] {
             return withExtensions(rsa, basicConstraints(unhex("01 01 FF")) +
                                            tlv(0x30, oid("2.5.29.15") + tlv(0x04, unhex("03 02 07 80"))));
         }},
        {"extension without its value", false, [=] { return withExtensions(rsa, tlv(0x30, oid("2.5.29.19"))); }},
        {"extensions under [2]", false,
         [=] { return withTbs(rsa, [](std::vector<std::string>& tbs) { tbs.back()[0] = static_cast<char>(0xA2); }); }},

        {"bytes after the certificate", true, [=] { return rsa + unhex("00 11 22"); }},
        {"outer SEQUENCE of indefinite length", true,
         [=] {
             std::vector<std::string> top = childrenOf(rsa);
             return unhex("30 80") + joined(top) + unhex("00 00");
         }},
        {"one byte short", false, [=] { return rsa.substr(0, rsa.size() - 1); }},
        {"no signature", false,
         [=] {
             std::vector<std::string> top = childrenOf(rsa);
             top.pop_back();
             return tlv(0x30, joined(top));
         }},
        {"the PEM text", false, [] { return fixture("certs/rsa_sign.pem"); }},
        {"a lone SEQUENCE header", false, [] { return unhex("30 82 01"); }},
    };
    return table;
}

std::vector<std::string> certificateFixtures()
{
    std::vector<std::string> names;
    for (const char* folder : {"certs/", "names/"})
        for (const auto& name : fixturesIn(folder))
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".der") == 0) names.push_back(name);
    return names;
}

// Every element header of `der` below `e` (constructed elements entered).
void headersIn(const std::string& der, const Element& e, std::vector<Element>* out)
{
    for (size_t at = e.contents; at < e.end;) {
        Element child{};
        if (!elementAt(der, at, &child) || child.end > e.end) return;
        out->push_back(child);
        if ((static_cast<unsigned char>(der[at]) & 0x20) != 0) headersIn(der, child, out);
        at = child.end;
    }
}

}  // namespace

TEST(PosixCertDecodeTest, EveryFixtureMatchesOpenSsl)
{
    std::vector<std::string> names = certificateFixtures();
    ASSERT_FALSE(names.empty());
    for (const auto& name : names) {
        SCOPED_TRACE(name);
        const std::string der = fixture(name);
        Fields expected = fromOpenSsl(der);
        EXPECT_TRUE(expected.accepted);
        EXPECT_EQ(describe(fromContext(der)), describe(expected));
    }
}

TEST(PosixCertDecodeTest, HandMadeVariantsMatchOpenSsl)
{
    for (const auto& v : variants()) {
        SCOPED_TRACE(v.what);
        const std::string der = v.make();
        ASSERT_FALSE(der.empty());
        Fields expected = fromOpenSsl(der);
        // The variant tests what it claims only if OpenSSL agrees with it.
        EXPECT_EQ(expected.accepted, v.accepted);
        EXPECT_EQ(describe(fromContext(der)), describe(expected));
    }
}

// Each element header of each fixture certificate changed in turn: its tag
// made constructed or primitive, its length one more or one less, and the
// certificate cut off right there.
TEST(PosixCertDecodeTest, DamagedHeadersMatchOpenSsl)
{
    for (const auto& name : fixturesIn("certs/")) {
        if (name.compare(name.size() - 4, 4, ".der") != 0) continue;
        const std::string der = fixture(name);
        Element whole{};
        ASSERT_TRUE(elementAt(der, 0, &whole)) << name;
        std::vector<Element> headers{whole};
        headersIn(der, whole, &headers);
        for (const Element& h : headers) {
            const size_t lastLengthOctet = h.contents - 1;
            std::vector<std::pair<std::string, std::string>> damaged;
            std::string flipped = der;
            flipped[h.start] = static_cast<char>(flipped[h.start] ^ 0x20);
            damaged.emplace_back("tag constructed bit", flipped);
            for (int delta : {+1, -1}) {
                std::string changed = der;
                changed[lastLengthOctet] = static_cast<char>(static_cast<unsigned char>(changed[lastLengthOctet]) +
                                                             delta);
                damaged.emplace_back(delta > 0 ? "length + 1" : "length - 1", changed);
            }
            damaged.emplace_back("cut", der.substr(0, h.start + 1));
            for (const auto& [how, bytes] : damaged) {
                SCOPED_TRACE(name + " at " + std::to_string(h.start) + ": " + how);
                EXPECT_EQ(describe(fromContext(bytes)), describe(fromOpenSsl(bytes)));
            }
        }
    }
}
