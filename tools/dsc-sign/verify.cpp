#include "verify.h"

#include <algorithm>

#include "base64.h"
#include "crypto.h"
#include "signed_data.h"

const char kDefaultSm2Id[] = "1234567812345678";

namespace {

const char kOidContentType[] = "1.2.840.113549.1.9.3";
const char kOidMessageDigest[] = "1.2.840.113549.1.9.4";
const char kOidSigningTime[] = "1.2.840.113549.1.9.5";
const char kOidRsaPss[] = "1.2.840.113549.1.1.10";
const char kOidSm3[] = "1.2.156.10197.1.401";
// How many certificates a chain from the signer to a trust anchor may pass.
const int kMaxChain = 8;

enum class Scheme { kNone, kRsa, kSm2 };

// The signature algorithms of RSA PKCS#1 v1.5: rsaEncryption, which leaves
// the digest to the digest algorithm, and the hash-with-RSA OIDs, each of
// which names its digest.
const struct {
    const char* oid;
    const char* digestOid;
} kRsaAlgorithms[] = {
    {"1.2.840.113549.1.1.1", ""},
    {"1.2.840.113549.1.1.5", "1.3.14.3.2.26"},
    {"1.2.840.113549.1.1.14", "2.16.840.1.101.3.4.2.4"},
    {"1.2.840.113549.1.1.11", "2.16.840.1.101.3.4.2.1"},
    {"1.2.840.113549.1.1.12", "2.16.840.1.101.3.4.2.2"},
    {"1.2.840.113549.1.1.13", "2.16.840.1.101.3.4.2.3"},
};

// Writers name SM2 signing by the signature OID, by the key OID, or as SM3
// with SM2 (which certificates use too); some put the EC key OID there.
bool is_sm2_signature(const std::string& oid)
{
    return oid == "1.2.156.10197.1.301.1" || oid == "1.2.156.10197.1.301" || oid == "1.2.156.10197.1.501" ||
           oid == "1.2.840.10045.2.1";
}

// The scheme of a signature algorithm and the digest it names (empty when
// it leaves the digest to the digest algorithm).
Scheme scheme_of(const std::string& oid, std::string& digestOid)
{
    digestOid.clear();
    for (const auto& a : kRsaAlgorithms)
        if (oid == a.oid) {
            digestOid = a.digestOid;
            return Scheme::kRsa;
        }
    if (!is_sm2_signature(oid)) return Scheme::kNone;
    digestOid = kOidSm3;
    return Scheme::kSm2;
}

SignatureCheck check_signature(Scheme scheme, const Certificate& cert, const DigestKind& kind,
                               const unsigned char* message, size_t length, const Bytes& signature,
                               const std::string& sm2Id)
{
    if (scheme == Scheme::kRsa) return rsa_verify(cert.key, kind, digest(kind, message, length), signature);
    if (cert.key.size() != 65 || cert.key[0] != 0x04) return SignatureCheck::kUnusableKey;
    return sm2_verify(cert.key, sm2_e(cert.key, sm2Id, message, length), signature);
}

// Whether `issuer` signed `child`. SM2 signatures on certificates use the
// default signer identity.
SignatureCheck issued_by(const Certificate& child, const Certificate& issuer)
{
    if (child.issuer != issuer.subject) return SignatureCheck::kInvalid;
    std::string digestOid;
    Scheme scheme = scheme_of(child.signatureAlgorithm, digestOid);
    // rsaEncryption alone names no digest: no certificate is signed that way.
    if (scheme == Scheme::kNone || digestOid.empty()) return SignatureCheck::kUnusableKey;
    if (key_kind(issuer) != (scheme == Scheme::kRsa ? "RSA" : "SM2")) return SignatureCheck::kInvalid;
    return check_signature(scheme, issuer, digest_kind(digestOid), child.tbs.data(), child.tbs.size(), child.signature,
                           kDefaultSm2Id);
}

// Follows issuers from `cert` through the SignedData's certificates to an
// anchor. On success `trust` names the anchor.
Verdict chain_to_anchor(const Certificate& cert, const std::vector<Certificate>& carried,
                        const std::vector<Certificate>& anchors, std::string& trust)
{
    const Certificate* current = &cert;
    bool unsupportedSeen = false;
    for (int depth = 0; depth <= kMaxChain; ++depth) {
        for (const Certificate& anchor : anchors) {
            if (anchor.der == current->der) {
                trust = "chains to --ca certificate " + name_text(anchor.subject);
                return Verdict::kValid;
            }
            SignatureCheck c = issued_by(*current, anchor);
            if (c == SignatureCheck::kValid) {
                trust = "chains to --ca certificate " + name_text(anchor.subject);
                return Verdict::kValid;
            }
            unsupportedSeen |= c == SignatureCheck::kUnusableKey;
        }
        const Certificate* next = nullptr;
        for (const Certificate& candidate : carried) {
            if (candidate.der == current->der) continue;
            SignatureCheck c = issued_by(*current, candidate);
            unsupportedSeen |= c == SignatureCheck::kUnusableKey;
            if (c == SignatureCheck::kValid) {
                next = &candidate;
                break;
            }
        }
        if (!next) break;
        current = next;
    }
    trust = unsupportedSeen ? "a certificate on the way to --ca is signed with an algorithm this verifier does not "
                              "check (supported: RSA with SHA-1 or SHA-2, SM2 with SM3)"
                            : "the signer certificate does not chain to a --ca certificate";
    return unsupportedSeen ? Verdict::kUnsupported : Verdict::kUntrusted;
}

const Certificate* find_certificate(const SignerData& s, const std::vector<Certificate>& certs)
{
    for (const Certificate& c : certs) {
        if (s.byKeyId ? !c.keyId.empty() && c.keyId == s.keyId : c.issuer == s.issuer && c.serial == s.serial)
            return &c;
    }
    return nullptr;
}

const SignedAttribute* find_attribute(const SignerData& s, const char* oid)
{
    for (const SignedAttribute& a : s.signedAttributes)
        if (a.type == oid) return &a;
    return nullptr;
}

// UTCTime or GeneralizedTime as "2026-12-10 22:04:21 UTC"; other forms as
// they are written.
std::string time_text(const BerElement& e)
{
    std::string raw(reinterpret_cast<const char*>(e.contents), e.contentsLength);
    std::string digits = raw;
    if (e.isUniversal(kBerUtcTime) && raw.size() >= 12)
        digits = (raw.compare(0, 2, "50") < 0 ? "20" : "19") + raw;
    else if (!e.isUniversal(kBerGeneralizedTime))
        return raw;
    if (digits.size() < 15 || digits.back() != 'Z' ||
        !std::all_of(digits.begin(), digits.begin() + 14, [](char c) { return c >= '0' && c <= '9'; }))
        return raw;
    return digits.substr(0, 4) + "-" + digits.substr(4, 2) + "-" + digits.substr(6, 2) + " " + digits.substr(8, 2) +
           ":" + digits.substr(10, 2) + ":" + digits.substr(12, 2) + " UTC";
}

SignerReport fail(SignerReport r, Verdict v, const std::string& why)
{
    r.verdict = v;
    r.reason = why;
    return r;
}

// Checks the signed attributes against the content; on success the
// signature covers their DER SET.
SignerReport check_attributes(SignerReport r, const SignerData& s, const SignedDataParts& p, const DigestKind& kind,
                              const unsigned char* content, size_t length)
{
    const SignedAttribute* type = find_attribute(s, kOidContentType);
    const SignedAttribute* messageDigest = find_attribute(s, kOidMessageDigest);
    if (!type || !messageDigest)
        return fail(r, Verdict::kMalformed, "the signed attributes lack the content type or the message digest");
    std::string typeOid;
    if (type->values.size() != 1 || !ber_oid_text(type->values[0], typeOid))
        return fail(r, Verdict::kMalformed, "the content-type attribute is not one OBJECT IDENTIFIER");
    if (typeOid != p.eContentType)
        return fail(r, Verdict::kBadSignature,
                    "the content-type attribute (" + typeOid + ") differs from the content's type (" + p.eContentType +
                        ")");
    std::vector<unsigned char> claimed;
    if (messageDigest->values.size() != 1 || !ber_octets(messageDigest->values[0], claimed))
        return fail(r, Verdict::kMalformed, "the message-digest attribute is not one OCTET STRING");
    if (claimed != digest(kind, content, length))
        return fail(r, Verdict::kDigestMismatch,
                    std::string("the message-digest attribute is not the ") + kind.name + " digest of the content");
    const SignedAttribute* time = find_attribute(s, kOidSigningTime);
    if (time && time->values.size() == 1) r.signingTime = time_text(time->values[0]);
    return r;
}

SignerReport verify_signer(const SignerData& s, const SignedDataParts& p, const unsigned char* content, size_t length,
                           const VerifyOptions& options)
{
    SignerReport r;
    if (p.certificates.empty())
        return fail(r, Verdict::kUnsupported,
                    "the SignedData carries no certificates; the signer's certificate must be inside");
    const Certificate* cert = find_certificate(s, p.certificates);
    if (!cert)
        return fail(r, Verdict::kBadSignature,
                    s.byKeyId ? "no certificate in the SignedData has the signer's subject key identifier"
                              : "no certificate in the SignedData matches the signer's issuer and serial number");
    r.signer = name_text(cert->subject);
    r.serial = serial_text(cert->serial);

    std::string namedDigest;
    Scheme scheme = scheme_of(s.signatureAlgorithm, namedDigest);
    DigestKind kind = digest_kind(s.digestAlgorithm);
    if (s.signatureAlgorithm == kOidRsaPss)
        return fail(r, Verdict::kUnsupported, "RSA-PSS signatures (supported: RSA PKCS#1 v1.5, SM2)");
    if (scheme == Scheme::kNone)
        return fail(r, Verdict::kUnsupported,
                    "signature algorithm " + s.signatureAlgorithm + " (supported: RSA PKCS#1 v1.5, SM2)");
    if (kind.algorithm == 0 || !s.digestParametersOk)
        return fail(r, Verdict::kUnsupported,
                    "digest algorithm " + s.digestAlgorithm + " (supported: SHA-1, SHA-224/256/384/512, SM3)");
    if (!namedDigest.empty() && namedDigest != s.digestAlgorithm)
        return fail(r, Verdict::kUnsupported,
                    "signature algorithm " + s.signatureAlgorithm + " with a different digest algorithm, " +
                        s.digestAlgorithm);
    r.algorithm = scheme == Scheme::kRsa ? std::string("RSA with ") + kind.name + " (PKCS#1 v1.5)"
                                         : "SM2 with SM3, signer identity " + options.sm2Id;
    std::string keyKind = key_kind(*cert);
    if (keyKind != (scheme == Scheme::kRsa ? "RSA" : "SM2"))
        return fail(r, Verdict::kBadSignature,
                    std::string("the signer certificate's key is not ") +
                        (scheme == Scheme::kRsa ? "an RSA key" : "an SM2 key"));

    const unsigned char* message = content;
    size_t messageLength = length;
    if (s.hasSignedAttributes) {
        r = check_attributes(r, s, p, kind, content, length);
        if (!r.reason.empty()) return r;
        message = s.signedAttributesDer.data();
        messageLength = s.signedAttributesDer.size();
    } else if (!is_data_type(p.eContentType)) {
        return fail(r, Verdict::kMalformed, "content of type " + p.eContentType + " without signed attributes");
    }
    SignatureCheck c = check_signature(scheme, *cert, kind, message, messageLength, s.signature, options.sm2Id);
    if (c == SignatureCheck::kUnusableKey)
        return fail(r, Verdict::kUnsupported, "the signer certificate's " + keyKind + " key cannot be used");
    if (c != SignatureCheck::kValid)
        return fail(r, Verdict::kBadSignature,
                    s.hasSignedAttributes ? "the signature does not match the signed attributes and the signer's key"
                                          : "the signature does not match the content and the signer's key");
    if (!options.anchors) {
        r.trust = "no trust anchor checked (give --ca FILE)";
    } else {
        Verdict v = chain_to_anchor(*cert, p.certificates, *options.anchors, r.trust);
        if (v != Verdict::kValid) return fail(r, v, r.trust);
    }
    r.verdict = Verdict::kValid;
    return r;
}

// The verdict of the whole: the first signer that is wrong, else the first
// that is not supported, else valid.
Verdict overall(const std::vector<SignerReport>& signers)
{
    for (const SignerReport& s : signers)
        if (verdict_exit_status(s.verdict) == 1) return s.verdict;
    for (const SignerReport& s : signers)
        if (s.verdict != Verdict::kValid) return s.verdict;
    return Verdict::kValid;
}

}  // namespace

int verdict_exit_status(Verdict v)
{
    switch (v) {
    case Verdict::kValid: return 0;
    case Verdict::kUnsupported:
    case Verdict::kNoContent: return 2;
    default: return 1;
    }
}

const char* verdict_name(Verdict v)
{
    switch (v) {
    case Verdict::kValid: return "verified";
    case Verdict::kBadSignature: return "bad signature";
    case Verdict::kDigestMismatch: return "digest mismatch";
    case Verdict::kContentMismatch: return "content mismatch";
    case Verdict::kUntrusted: return "untrusted";
    case Verdict::kMalformed: return "malformed input";
    case Verdict::kUnsupported: return "unsupported";
    case Verdict::kNoContent: return "no content";
    }
    return "failed";
}

VerifyReport verify_signed_data(const std::vector<unsigned char>& der, const VerifyOptions& options)
{
    VerifyReport report;
    SignedDataParts parts;
    ParseResult parsed = signed_data_parse(der, parts);
    if (parsed.failure != ParseFailure::kNone) {
        report.verdict = parsed.failure == ParseFailure::kUnsupported ? Verdict::kUnsupported : Verdict::kMalformed;
        report.reason = parsed.reason;
        return report;
    }
    const std::vector<unsigned char>* given = options.content;
    // An empty OCTET STRING is attached empty content, and also how some
    // writers (this library among them) mark a detached SignedData: content
    // given on the command line decides, else the signatures do.
    bool emptyInside = parts.hasContent && parts.content.empty();
    const std::vector<unsigned char>* content = &parts.content;
    if (parts.hasContent && !parts.content.empty()) {
        report.attached = true;
        if (given && *given != parts.content) {
            report.verdict = Verdict::kContentMismatch;
            report.reason = "the attached content differs from the content given";
            return report;
        }
    } else if (given) {
        content = given;
        report.attached = emptyInside && given->empty();
    } else if (emptyInside) {
        report.attached = true;
    } else {
        report.verdict = Verdict::kNoContent;
        report.reason = "the SignedData is detached; give its content with --content FILE";
        return report;
    }
    report.contentLength = content->size();
    for (const SignerData& s : parts.signers)
        report.signers.push_back(verify_signer(s, parts, content->data(), content->size(), options));
    report.verdict = overall(report.signers);
    // A signer with signed attributes says which content it signed (its
    // message digest); one without says nothing, so its failing signature
    // may as well be over content that was left out.
    if (emptyInside && !given && report.verdict != Verdict::kValid) {
        for (size_t i = 0; i < report.signers.size(); ++i)
            if (report.signers[i].verdict == Verdict::kDigestMismatch ||
                (report.signers[i].verdict == Verdict::kBadSignature && !parts.signers[i].hasSignedAttributes)) {
                report.verdict = Verdict::kNoContent;
                report.reason = "the content inside is empty and the signature is not over empty content; if the "
                                "SignedData is detached, give its content with --content FILE";
                break;
            }
    }
    return report;
}

bool read_anchors(const std::vector<unsigned char>& pem, std::vector<Certificate>& out, std::string& error)
{
    out.clear();
    std::string text(pem.begin(), pem.end());
    const std::string begin = "-----BEGIN CERTIFICATE-----", end = "-----END CERTIFICATE-----";
    for (size_t at = text.find(begin); at != std::string::npos; at = text.find(begin, at)) {
        size_t body = at + begin.size();
        size_t stop = text.find(end, body);
        std::vector<unsigned char> der;
        Certificate cert;
        if (stop == std::string::npos || !base64_decode(text.substr(body, stop - body), der) ||
            !certificate_parse(der.data(), der.size(), cert)) {
            error = "certificate " + std::to_string(out.size() + 1) + " cannot be read";
            return false;
        }
        out.push_back(std::move(cert));
        at = stop + end.size();
    }
    if (out.empty()) error = "it holds no PEM CERTIFICATE";
    return !out.empty();
}
