#include "signed_data.h"

namespace {

const char kOidPkcs7Data[] = "1.2.840.113549.1.7.1";
const char kOidPkcs7SignedData[] = "1.2.840.113549.1.7.2";
const char kOidGmData[] = "1.2.156.10197.6.1.4.2.1";
const char kOidGmSignedData[] = "1.2.156.10197.6.1.4.2.2";

ParseResult malformed(const std::string& why) { return {ParseFailure::kMalformed, why}; }
ParseResult unsupported(const std::string& why) { return {ParseFailure::kUnsupported, why}; }

bool small_integer(const BerElement& e, int& value)
{
    if (!e.isUniversal(kBerInteger) || e.constructed || e.contentsLength == 0 || e.contentsLength > 2) return false;
    value = 0;
    for (size_t i = 0; i < e.contentsLength; ++i) value = value << 8 | e.contents[i];
    return true;
}

bool algorithm_of(const BerElement& e, std::string& oid, bool& parametersOk)
{
    if (!e.isUniversal(kBerSequence)) return false;
    BerChildren parts(e);
    BerElement id, parameters;
    if (!ber_expect(parts, kBerOid, id) || !ber_oid_text(id, oid)) return false;
    parametersOk = !parts.next(parameters) || (parameters.isUniversal(kBerNull) && parameters.contentsLength == 0);
    return !parts.failed();
}

ParseResult read_attributes(const BerElement& tagged, SignerData& s)
{
    s.hasSignedAttributes = true;
    // The signature covers the attributes as a DER SET OF: the [0] IMPLICIT
    // tag is written as the SET tag it stands for.
    s.signedAttributesDer.assign(tagged.whole, tagged.whole + tagged.wholeLength);
    s.signedAttributesDer[0] = 0x31;
    BerChildren attributes(tagged);
    BerElement attribute;
    while (attributes.next(attribute)) {
        BerChildren parts(attribute);
        BerElement type, values, value;
        SignedAttribute a;
        if (!attribute.isUniversal(kBerSequence) || !ber_expect(parts, kBerOid, type) || !ber_oid_text(type, a.type) ||
            !ber_expect(parts, kBerSet, values))
            return malformed("a signed attribute is not an attribute");
        BerChildren items(values);
        while (items.next(value)) a.values.push_back(value);
        if (items.failed()) return malformed("a signed attribute's values cannot be read");
        s.signedAttributes.push_back(std::move(a));
    }
    if (attributes.failed()) return malformed("the signed attributes cannot be read");
    return {};
}

ParseResult read_signer(const BerElement& e, SignerData& s)
{
    if (!e.isUniversal(kBerSequence)) return malformed("a SignerInfo is not a SEQUENCE");
    BerChildren fields(e);
    BerElement f;
    if (!fields.next(f) || !small_integer(f, s.version)) return malformed("a SignerInfo has no version");
    if (!fields.next(f)) return malformed("a SignerInfo has no signer identifier");
    if (f.isUniversal(kBerSequence)) {
        BerChildren id(f);
        BerElement issuer, serial;
        if (!ber_expect(id, kBerSequence, issuer) || !ber_expect(id, kBerInteger, serial) || serial.constructed)
            return malformed("a signer's issuer and serial number cannot be read");
        s.issuer.assign(issuer.whole, issuer.whole + issuer.wholeLength);
        s.serial.assign(serial.contents, serial.contents + serial.contentsLength);
    } else if (f.isContext(0)) {
        // [0] IMPLICIT SubjectKeyIdentifier: an OCTET STRING under another tag.
        if (f.constructed) return unsupported("a constructed subject key identifier");
        s.byKeyId = true;
        s.keyId.assign(f.contents, f.contents + f.contentsLength);
    } else {
        return malformed("a signer identifier is neither an issuer and serial number nor a subject key identifier");
    }
    if (!fields.next(f) || !algorithm_of(f, s.digestAlgorithm, s.digestParametersOk))
        return malformed("a signer's digest algorithm cannot be read");
    if (!fields.next(f)) return malformed("a SignerInfo ends early");
    if (f.isContext(0)) {
        if (!f.constructed) return malformed("the signed attributes are not a SET");
        ParseResult r = read_attributes(f, s);
        if (r.failure != ParseFailure::kNone) return r;
        if (!fields.next(f)) return malformed("a SignerInfo ends early");
    }
    bool ignored = true;
    if (!algorithm_of(f, s.signatureAlgorithm, ignored))
        return malformed("a signer's signature algorithm cannot be read");
    if (!fields.next(f) || !ber_octets(f, s.signature)) return malformed("a signer's signature cannot be read");
    // Unsigned attributes ([1]) are not covered by the signature; they are skipped.
    while (fields.next(f))
        if (!f.isContext(1)) return malformed("a SignerInfo has an unexpected field");
    if (fields.failed()) return malformed("a SignerInfo cannot be read");
    return {};
}

ParseResult read_content(const BerElement& e, SignedDataParts& out)
{
    BerChildren parts(e);
    BerElement type, explicitTag, inner;
    if (!e.isUniversal(kBerSequence) || !ber_expect(parts, kBerOid, type) || !ber_oid_text(type, out.eContentType))
        return malformed("the encapsulated content info cannot be read");
    if (!parts.next(explicitTag)) return parts.failed() ? malformed("the content cannot be read") : ParseResult{};
    if (!explicitTag.isContext(0) || !explicitTag.constructed) return malformed("the content is not tagged [0]");
    BerChildren wrapped(explicitTag);
    if (!wrapped.next(inner)) return malformed("the content field is empty");
    if (!inner.isUniversal(kBerOctetString))
        return unsupported("content that is not an OCTET STRING (content type " + out.eContentType + ")");
    if (!ber_octets(inner, out.content)) return malformed("the content's OCTET STRING cannot be read");
    out.hasContent = true;
    return {};
}

}  // namespace

bool is_data_type(const std::string& oid) { return oid == kOidPkcs7Data || oid == kOidGmData; }

ParseResult signed_data_parse(const std::vector<unsigned char>& input, SignedDataParts& out)
{
    out = SignedDataParts{};
    BerElement contentInfo;
    if (!ber_read(input.data(), input.size(), contentInfo) || !contentInfo.isUniversal(kBerSequence))
        return malformed("not a BER or DER PKCS#7 structure");
    if (contentInfo.wholeLength != input.size()) return malformed("bytes follow the PKCS#7 structure");
    BerChildren top(contentInfo);
    BerElement type, explicitTag, signedData;
    if (!ber_expect(top, kBerOid, type) || !ber_oid_text(type, out.contentType))
        return malformed("not a PKCS#7 ContentInfo");
    if (out.contentType != kOidPkcs7SignedData && out.contentType != kOidGmSignedData)
        return unsupported("content type " + out.contentType + ", not a SignedData");
    if (!top.next(explicitTag) || !explicitTag.isContext(0) || !explicitTag.constructed)
        return malformed("the SignedData is missing");
    BerChildren wrapped(explicitTag);
    if (!ber_expect(wrapped, kBerSequence, signedData)) return malformed("the SignedData is not a SEQUENCE");

    BerChildren fields(signedData);
    BerElement f;
    int version = 0;
    if (!fields.next(f) || !small_integer(f, version)) return malformed("the SignedData has no version");
    if (!ber_expect(fields, kBerSet, f)) return malformed("the SignedData has no digest algorithms");
    if (!fields.next(f)) return malformed("the SignedData has no content info");
    ParseResult r = read_content(f, out);
    if (r.failure != ParseFailure::kNone) return r;
    if (!fields.next(f)) return malformed("the SignedData has no signer infos");
    if (f.isContext(0)) {
        BerChildren certs(f);
        BerElement c;
        while (certs.next(c)) {
            if (!c.isUniversal(kBerSequence)) continue;  // attribute and other certificate forms
            Certificate cert;
            if (!certificate_parse(c, cert)) return malformed("a certificate in the SignedData cannot be read");
            out.certificates.push_back(std::move(cert));
        }
        if (certs.failed()) return malformed("the certificates cannot be read");
        if (!fields.next(f)) return malformed("the SignedData has no signer infos");
    }
    if (f.isContext(1) && !fields.next(f)) return malformed("the SignedData has no signer infos");  // CRLs
    if (!f.isUniversal(kBerSet)) return malformed("the signer infos are not a SET");
    BerChildren signers(f);
    BerElement s;
    while (signers.next(s)) {
        SignerData signer;
        r = read_signer(s, signer);
        if (r.failure != ParseFailure::kNone) return r;
        out.signers.push_back(std::move(signer));
    }
    if (signers.failed()) return malformed("the signer infos cannot be read");
    if (fields.next(f) || fields.failed()) return malformed("the SignedData has fields after its signer infos");
    if (out.signers.empty()) return unsupported("a SignedData without signers (a certificate bundle)");
    return {};
}
