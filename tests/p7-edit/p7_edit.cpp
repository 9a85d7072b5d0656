// p7-edit: derives variants of a PKCS#7 SignedData for the verifier's tests,
// one field changed at a time, everything else kept as it was.
//   p7-edit IN.der OUT.der [--signature SIG] [--flip-bit N] [--cert CERT.pem] [--signer CERT.pem]
//                          [--content FILE] [--digest-oid OID]
// --signature  the signer's encryptedDigest becomes the bytes of SIG
// --flip-bit N bit 0 of the encryptedDigest's byte N (from 0) is inverted
// --cert       the certificates become CERT alone (the signer's issuer and
//              serial number still name the old one)
// --signer     as --cert, and the signer's issuer and serial number name CERT
// --content    the attached content becomes the bytes of FILE
// --digest-oid the signer's digest algorithm becomes OID
#include <openssl/pem.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<unsigned char> bytes_of(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

X509* certificate(const char* path)
{
    std::FILE* f = std::fopen(path, "r");
    X509* cert = f ? PEM_read_X509(f, nullptr, nullptr, nullptr) : nullptr;
    if (f) std::fclose(f);
    return cert;
}

int fail(const char* what)
{
    std::fprintf(stderr, "p7-edit: %s\n", what);
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || argc % 2 == 0) return fail("usage: p7-edit IN.der OUT.der [--OPTION VALUE]...");
    std::vector<unsigned char> der = bytes_of(argv[1]);
    const unsigned char* p = der.data();
    PKCS7* p7 = d2i_PKCS7(nullptr, &p, static_cast<long>(der.size()));
    if (!p7 || !PKCS7_type_is_signed(p7)) return fail("IN is not a SignedData");
    PKCS7_SIGNER_INFO* si = sk_PKCS7_SIGNER_INFO_value(PKCS7_get_signer_info(p7), 0);
    if (!si) return fail("IN has no signer");

    for (int i = 3; i + 1 < argc; i += 2) {
        std::string option = argv[i];
        const char* value = argv[i + 1];
        if (option == "--signature") {
            std::vector<unsigned char> sig = bytes_of(value);
            ASN1_OCTET_STRING_set(si->enc_digest, sig.data(), static_cast<int>(sig.size()));
        } else if (option == "--flip-bit") {
            int at = std::atoi(value);
            if (at < 0 || at >= si->enc_digest->length) return fail("--flip-bit is outside the signature");
            si->enc_digest->data[at] ^= 1;
        } else if (option == "--content") {
            std::vector<unsigned char> data = bytes_of(value);
            ASN1_OCTET_STRING_set(p7->d.sign->contents->d.data, data.data(), static_cast<int>(data.size()));
        } else if (option == "--cert" || option == "--signer") {
            X509* cert = certificate(value);
            if (!cert) return fail("cannot read the certificate");
            sk_X509_pop_free(p7->d.sign->cert, X509_free);
            p7->d.sign->cert = sk_X509_new_null();
            sk_X509_push(p7->d.sign->cert, cert);
            if (option == "--signer" &&
                (!X509_NAME_set(&si->issuer_and_serial->issuer, X509_get_issuer_name(cert)) ||
                 !ASN1_STRING_copy(si->issuer_and_serial->serial, X509_get0_serialNumber(cert))))
                return fail("cannot name the signer");
        } else if (option == "--digest-oid") {
            ASN1_OBJECT* oid = OBJ_txt2obj(value, 1);
            if (!oid) return fail("not an OID");
            X509_ALGOR_set0(si->digest_alg, oid, V_ASN1_NULL, nullptr);
        } else {
            return fail("unknown option");
        }
    }
    unsigned char* out = nullptr;
    int n = i2d_PKCS7(p7, &out);
    std::FILE* f = n > 0 ? std::fopen(argv[2], "wb") : nullptr;
    if (!f || std::fwrite(out, 1, static_cast<size_t>(n), f) != static_cast<size_t>(n) || std::fclose(f) != 0)
        return fail("cannot write OUT");
    OPENSSL_free(out);
    PKCS7_free(p7);
    return 0;
}
