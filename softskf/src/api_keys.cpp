// Key pairs and signatures: generate SM2/RSA keys in a container, sign with
// them (user PIN required), verify with a caller's public key.
#include "blobs.h"
#include "token_limits.h"
#include "session.h"
#include "output.h"

using namespace softskf;

namespace {

Scope scope_of(const Resolved& r) { return {r.device->name, r.application->name, r.container->name}; }

// The GM/T 0006 numbering calls the signature algorithm 0x00020200, the SKF
// headers 0x00020100; callers use both.
bool is_sm2_signature_algorithm(SKF_ULONG id) { return id == SGD_SM2_1 || id == SGD_SM2_2; }

// The signing key of a container replaced by a fresh one: a certificate
// bound to the old key would no longer match, so it goes too, and keys of
// the other algorithm leave with their certificates.
void install_signing_key(Container& c, KeyPair key)
{
    if (c.enc_key && c.enc_key->type != key.type) {
        c.enc_key.reset();
        c.enc_cert.clear();
    }
    c.sign_key = std::move(key);
    c.sign_cert.clear();
}

// A bare SHA-1 or SHA-256 value gets its DigestInfo, so that what we sign is
// an ordinary PKCS#1 v1.5 signature; anything else is padded as given.
Bytes rsa_signature_input(const SKF_BYTE* data, SKF_ULONG length)
{
    static const std::uint8_t sha1_prefix[] = {0x30, 0x21, 0x30, 0x09, 0x06, 0x05, 0x2B, 0x0E,
                                               0x03, 0x02, 0x1A, 0x05, 0x00, 0x04, 0x14};
    static const std::uint8_t sha256_prefix[] = {0x30, 0x31, 0x30, 0x0D, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                                                 0x65, 0x03, 0x04, 0x02, 0x01, 0x05, 0x00, 0x04, 0x20};
    Bytes input;
    if (length == 20) input.assign(std::begin(sha1_prefix), std::end(sha1_prefix));
    if (length == 32) input.assign(std::begin(sha256_prefix), std::end(sha256_prefix));
    input.insert(input.end(), data, data + length);
    return input;
}

// Private-key use: the container must hold a signing key of `type` and the
// user PIN must have been verified.
SKF_ULONG signing_key(Call& call, const Resolved& r, KeyType type, const KeyPair*& key)
{
    if (!call.logged_in(r.device->name, r.application->name, USER_TYPE)) return SAR_USER_NOT_LOGGED_IN;
    if (!r.container->sign_key) return SAR_KEYNOTFOUNTERR;
    if (r.container->sign_key->type != type) return SAR_KEYUSAGEERR;
    key = &*r.container->sign_key;
    return SAR_OK;
}

}  // namespace

extern "C" {

SKF_ULONG DEVAPI SKF_GenECCKeyPair(HCONTAINER hContainer, SKF_ULONG ulAlgId, ECCPUBLICKEYBLOB* pBlob)
{
    return run_call("SKF_GenECCKeyPair", [&](Call& call) -> SKF_ULONG {
        Resolved r;
        if (SKF_ULONG rc = call.resolve(hContainer, HandleKind::container, r)) return rc;
        if (pBlob == nullptr) return SAR_INVALIDPARAMERR;
        if (!is_sm2_signature_algorithm(ulAlgId)) return SAR_NOTSUPPORTYETERR;
        if (SKF_ULONG rc = call.check_faults(scope_of(r))) return rc;
        if (!call.logged_in(r.device->name, r.application->name, USER_TYPE)) return SAR_USER_NOT_LOGGED_IN;
        KeyPair key;
        if (!crypto::sm2_generate(key)) return SAR_FAIL;
        ECCPUBLICKEYBLOB blob = ecc_public_blob(key);
        install_signing_key(*r.container, std::move(key));
        if (SKF_ULONG rc = call.save()) return rc;
        *pBlob = blob;
        return SAR_OK;
    });
}

SKF_ULONG DEVAPI SKF_GenRSAKeyPair(HCONTAINER hContainer, SKF_ULONG ulBitsLen, RSAPUBLICKEYBLOB* pBlob)
{
    return run_call("SKF_GenRSAKeyPair", [&](Call& call) -> SKF_ULONG {
        Resolved r;
        if (SKF_ULONG rc = call.resolve(hContainer, HandleKind::container, r)) return rc;
        if (pBlob == nullptr) return SAR_INVALIDPARAMERR;
        if (ulBitsLen != 1024 && ulBitsLen != 2048) return SAR_RSAMODULUSLENERR;
        if (SKF_ULONG rc = call.check_faults(scope_of(r))) return rc;
        if (!call.logged_in(r.device->name, r.application->name, USER_TYPE)) return SAR_USER_NOT_LOGGED_IN;
        KeyPair key;
        if (!crypto::rsa_generate(ulBitsLen, key)) return SAR_GENRSAKEYERR;
        RSAPUBLICKEYBLOB blob = rsa_public_blob(key);
        install_signing_key(*r.container, std::move(key));
        if (SKF_ULONG rc = call.save()) return rc;
        *pBlob = blob;
        return SAR_OK;
    });
}

SKF_ULONG DEVAPI SKF_ECCSignData(HCONTAINER hContainer, SKF_BYTE* pbData, SKF_ULONG ulDataLen,
                                 PECCSIGNATUREBLOB pSignature)
{
    return run_call("SKF_ECCSignData", [&](Call& call) -> SKF_ULONG {
        Resolved r;
        if (SKF_ULONG rc = call.resolve(hContainer, HandleKind::container, r)) return rc;
        if (pbData == nullptr || pSignature == nullptr) return SAR_INVALIDPARAMERR;
        // The input is the pre-processed hash e, never longer than the order.
        if (ulDataLen == 0 || ulDataLen > crypto::sm2_field_bytes) return SAR_INDATALENERR;
        if (SKF_ULONG rc = call.check_faults(scope_of(r))) return rc;
        const KeyPair* key = nullptr;
        if (SKF_ULONG rc = signing_key(call, r, KeyType::sm2, key)) return rc;
        Bytes rv, sv;
        if (!crypto::sm2_sign(*key, Bytes(pbData, pbData + ulDataLen), rv, sv)) return SAR_FAIL;
        *pSignature = ECCSIGNATUREBLOB{};
        put_ecc_signature(rv, sv, *pSignature);
        return SAR_OK;
    });
}

SKF_ULONG DEVAPI SKF_RSASignData(HCONTAINER hContainer, SKF_BYTE* pbData, SKF_ULONG ulDataLen, SKF_BYTE* pbSignature,
                                 SKF_ULONG* pulSignLen)
{
    return run_call("SKF_RSASignData", [&](Call& call) -> SKF_ULONG {
        Resolved r;
        if (SKF_ULONG rc = call.resolve(hContainer, HandleKind::container, r)) return rc;
        if (pbData == nullptr || ulDataLen == 0 || pulSignLen == nullptr) return SAR_INVALIDPARAMERR;
        if (SKF_ULONG rc = call.check_faults(scope_of(r))) return rc;
        const KeyPair* key = nullptr;
        if (SKF_ULONG rc = signing_key(call, r, KeyType::rsa, key)) return rc;
        const std::size_t k = crypto::rsa_modulus_bytes(key->n);
        Bytes input = rsa_signature_input(pbData, ulDataLen);
        if (input.size() + 11 > k) return SAR_INDATALENERR;
        // Size questions are answered without touching the key.
        if (pbSignature == nullptr || (*pulSignLen < k && !call.hostile()))
            return put_bytes(Bytes(k), pbSignature, pulSignLen, call.hostile());
        Bytes signature;
        if (!crypto::rsa_sign(*key, input, signature)) return SAR_FAIL;
        return put_bytes(std::move(signature), pbSignature, pulSignLen, call.hostile());
    });
}

SKF_ULONG DEVAPI SKF_ECCVerify(DEVHANDLE hDev, ECCPUBLICKEYBLOB* pECCPubKeyBlob, SKF_BYTE* pbData, SKF_ULONG ulDataLen,
                               PECCSIGNATUREBLOB pSignature)
{
    return run_call("SKF_ECCVerify", [&](Call& call) -> SKF_ULONG {
        Resolved r;
        if (SKF_ULONG rc = call.resolve(hDev, HandleKind::device, r)) return rc;
        Bytes x, y, rv, sv;
        if (pECCPubKeyBlob == nullptr || pbData == nullptr || pSignature == nullptr ||
            !read_ecc_public_blob(*pECCPubKeyBlob, x, y))
            return SAR_INVALIDPARAMERR;
        if (ulDataLen == 0 || ulDataLen > crypto::sm2_field_bytes) return SAR_INDATALENERR;
        if (SKF_ULONG rc = call.check_faults({r.device->name, {}, {}})) return rc;
        bool ok = read_ecc_signature(*pSignature, rv, sv) &&
                  crypto::sm2_verify(x, y, Bytes(pbData, pbData + ulDataLen), rv, sv);
        return ok ? SAR_OK : SAR_FAIL;
    });
}

SKF_ULONG DEVAPI SKF_RSAVerify(DEVHANDLE hDev, RSAPUBLICKEYBLOB* pRSAPubKeyBlob, SKF_BYTE* pbData, SKF_ULONG ulDataLen,
                               SKF_BYTE* pbSignature, SKF_ULONG ulSignLen)
{
    return run_call("SKF_RSAVerify", [&](Call& call) -> SKF_ULONG {
        Resolved r;
        if (SKF_ULONG rc = call.resolve(hDev, HandleKind::device, r)) return rc;
        Bytes n, e;
        if (pRSAPubKeyBlob == nullptr || pbData == nullptr || ulDataLen == 0 || pbSignature == nullptr ||
            !read_rsa_public_blob(*pRSAPubKeyBlob, n, e))
            return SAR_INVALIDPARAMERR;
        if (SKF_ULONG rc = call.check_faults({r.device->name, {}, {}})) return rc;
        bool ok = crypto::rsa_verify(n, e, rsa_signature_input(pbData, ulDataLen),
                                     Bytes(pbSignature, pbSignature + ulSignLen));
        return ok ? SAR_OK : SAR_FAIL;
    });
}

}  // extern "C"
