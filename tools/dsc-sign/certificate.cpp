#include "certificate.h"

#include <cstdio>

namespace {

const char kOidRsaKey[] = "1.2.840.113549.1.1.1";
const char kOidEcKey[] = "1.2.840.10045.2.1";
const char kOidSm2[] = "1.2.156.10197.1.301";
const char kOidSubjectKeyId[] = "2.5.29.14";

bool copy_whole(const BerElement& e, std::vector<unsigned char>& out)
{
    out.assign(e.whole, e.whole + e.wholeLength);
    return true;
}

// AlgorithmIdentifier: the OID, and an OID parameter when there is one
// (the curve of an EC key).
bool algorithm(const BerElement& e, std::string& oid, std::string* parameterOid)
{
    if (!e.isUniversal(kBerSequence)) return false;
    BerChildren parts(e);
    BerElement id, parameter;
    if (!ber_expect(parts, kBerOid, id) || !ber_oid_text(id, oid)) return false;
    if (parameterOid && parts.next(parameter) && parameter.isUniversal(kBerOid)) ber_oid_text(parameter, *parameterOid);
    return !parts.failed();
}

bool bit_string(const BerElement& e, std::vector<unsigned char>& out)
{
    if (!e.isUniversal(kBerBitString) || e.constructed || e.contentsLength < 1 || e.contents[0] != 0) return false;
    out.assign(e.contents + 1, e.contents + e.contentsLength);
    return true;
}

void read_key_id(const BerElement& extensionsTag, std::vector<unsigned char>& keyId)
{
    BerChildren outer(extensionsTag);
    BerElement list, extension;
    if (!outer.next(list) || !list.isUniversal(kBerSequence)) return;
    BerChildren extensions(list);
    while (extensions.next(extension)) {
        BerChildren fields(extension);
        BerElement id, value;
        std::string oid;
        if (!ber_expect(fields, kBerOid, id) || !ber_oid_text(id, oid) || oid != kOidSubjectKeyId) continue;
        if (!fields.next(value)) return;
        if (value.isUniversal(kBerBoolean) && !fields.next(value)) return;
        std::vector<unsigned char> wrapped;
        BerElement inner;
        if (ber_octets(value, wrapped) && ber_read(wrapped.data(), wrapped.size(), inner)) ber_octets(inner, keyId);
        return;
    }
}

const char* short_name(const std::string& oid)
{
    static const struct {
        const char* oid;
        const char* name;
    } kNames[] = {
        {"2.5.4.3", "CN"},
        {"2.5.4.6", "C"},
        {"2.5.4.7", "L"},
        {"2.5.4.8", "ST"},
        {"2.5.4.10", "O"},
        {"2.5.4.11", "OU"},
        {"2.5.4.5", "serialNumber"},
        {"2.5.4.9", "street"},
        {"2.5.4.12", "title"},
        {"2.5.4.4", "SN"},
        {"2.5.4.42", "GN"},
        {"2.5.4.46", "dnQualifier"},
        {"0.9.2342.19200300.100.1.25", "DC"},
        {"0.9.2342.19200300.100.1.1", "UID"},
        {"1.2.840.113549.1.9.1", "emailAddress"},
    };
    for (const auto& n : kNames)
        if (oid == n.oid) return n.name;
    return nullptr;
}

void append_utf8(std::string& out, std::uint32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18 & 0x07));
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The value as UTF-8: BMP and Universal strings converted, the 8-bit
// strings taken as they are, anything else in hexadecimal.
std::string value_text(const BerElement& v)
{
    std::string out;
    if (v.constructed) return "#(constructed)";
    if (v.isUniversal(kBerBmpString) || v.isUniversal(kBerUniversalString)) {
        size_t width = v.isUniversal(kBerBmpString) ? 2 : 4;
        for (size_t i = 0; i + width <= v.contentsLength; i += width) {
            std::uint32_t c = 0;
            for (size_t k = 0; k < width; ++k) c = c << 8 | v.contents[i + k];
            append_utf8(out, c > 0x10FFFF ? 0xFFFD : c);
        }
    } else if (v.isUniversal(kBerUtf8String) || v.isUniversal(kBerPrintableString) || v.isUniversal(kBerIa5String) ||
               v.isUniversal(kBerT61String)) {
        out.assign(reinterpret_cast<const char*>(v.contents), v.contentsLength);
    } else {
        out = "#";
        char hex[3];
        for (size_t i = 0; i < v.wholeLength; ++i) {
            std::snprintf(hex, sizeof hex, "%02X", v.whole[i]);
            out += hex;
        }
        return out;
    }
    std::string escaped;
    char hex[4];
    for (unsigned char c : out) {
        if (c < 0x20 || c == 0x7F) {
            std::snprintf(hex, sizeof hex, "\\%02X", c);
            escaped += hex;
        } else {
            escaped += static_cast<char>(c);
        }
    }
    return escaped;
}

}  // namespace

bool certificate_parse(const BerElement& e, Certificate& out)
{
    out = Certificate{};
    if (!e.isUniversal(kBerSequence)) return false;
    BerChildren top(e);
    BerElement tbs, signatureAlgorithm, signature;
    if (!ber_expect(top, kBerSequence, tbs) || !top.next(signatureAlgorithm) ||
        !algorithm(signatureAlgorithm, out.signatureAlgorithm, nullptr) || !top.next(signature) ||
        !bit_string(signature, out.signature))
        return false;
    copy_whole(e, out.der);
    copy_whole(tbs, out.tbs);

    BerChildren fields(tbs);
    BerElement f;
    if (!fields.next(f)) return false;
    if (f.isContext(0) && !fields.next(f)) return false;  // the version
    if (!f.isUniversal(kBerInteger) || f.contentsLength == 0) return false;
    out.serial.assign(f.contents, f.contents + f.contentsLength);
    BerElement innerAlgorithm, issuer, validity, subject, spki;
    if (!ber_expect(fields, kBerSequence, innerAlgorithm) || !ber_expect(fields, kBerSequence, issuer) ||
        !ber_expect(fields, kBerSequence, validity) || !ber_expect(fields, kBerSequence, subject) ||
        !ber_expect(fields, kBerSequence, spki))
        return false;
    copy_whole(issuer, out.issuer);
    copy_whole(subject, out.subject);
    BerChildren keyParts(spki);
    BerElement keyAlgorithm, keyBits;
    if (!keyParts.next(keyAlgorithm) || !algorithm(keyAlgorithm, out.keyAlgorithm, &out.keyCurve) ||
        !keyParts.next(keyBits) || !bit_string(keyBits, out.key))
        return false;
    while (fields.next(f))
        if (f.isContext(3) && f.constructed) read_key_id(f, out.keyId);
    return !fields.failed();
}

bool certificate_parse(const unsigned char* der, size_t length, Certificate& out)
{
    BerElement e;
    return ber_read(der, length, e) && e.wholeLength == length && certificate_parse(e, out);
}

std::string name_text(const std::vector<unsigned char>& name)
{
    BerElement sequence;
    if (!ber_read(name.data(), name.size(), sequence) || !sequence.isUniversal(kBerSequence))
        return "(unreadable name)";
    std::string out;
    BerChildren rdns(sequence);
    BerElement rdn;
    while (rdns.next(rdn)) {
        BerChildren attributes(rdn);
        BerElement attribute;
        bool firstInRdn = true;
        while (attributes.next(attribute)) {
            BerChildren parts(attribute);
            BerElement type, value;
            std::string oid;
            if (!ber_expect(parts, kBerOid, type) || !ber_oid_text(type, oid) || !parts.next(value)) continue;
            out += out.empty() ? "" : firstInRdn ? ", " : " + ";
            const char* shortName = short_name(oid);
            out += (shortName ? shortName : oid) + "=" + value_text(value);
            firstInRdn = false;
        }
    }
    return out;
}

std::string serial_text(const std::vector<unsigned char>& serial)
{
    std::string out;
    char hex[3];
    for (unsigned char b : serial) {
        std::snprintf(hex, sizeof hex, "%02X", b);
        out += hex;
    }
    return out;
}

std::string key_kind(const Certificate& cert)
{
    if (cert.keyAlgorithm == kOidRsaKey) return "RSA";
    if (cert.keyAlgorithm == kOidSm2 || (cert.keyAlgorithm == kOidEcKey && cert.keyCurve == kOidSm2)) return "SM2";
    return {};
}
