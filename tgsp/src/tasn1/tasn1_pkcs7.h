// The output format of the library: a DER PKCS#7 (RFC 2315) ContentInfo of
// type signedData with one signer, no authenticated attributes, the signer's
// certificate and, in the attached form, the content. The signature is made
// elsewhere and wrapped verbatim.
#pragma once

#include "tasn1_item.h"

// Content, certificate (DER or a text tasn1_cert_toDer accepts) and
// signature, each non-null with a positive length. digestKid is the digest
// for RSA certificates; SM2 certificates always get SM3. Returns the DER
// length and stores the new buffer (tcore_free) in `out`; on failure `out`
// is untouched.
int tasn1_p7sign_encode_attach(const unsigned char* content, int contentLen, const unsigned char* cert, int certLen,
                               const unsigned char* sig, int sigLen, int digestKid, unsigned char** out);
// The same without content: the inner ContentInfo holds an empty OCTET STRING.
int tasn1_p7sign_encode_detach(const unsigned char* cert, int certLen, const unsigned char* sig, int sigLen,
                               int digestKid, unsigned char** out);
int tasn1_p7sign_encode(int attached, const unsigned char* content, int contentLen, const unsigned char* cert,
                        int certLen, const unsigned char* sig, int sigLen, int digestKid, unsigned char** out);

// The attached SignedData in three pieces whose concatenation is the
// encoding tasn1_p7sign_encode_attach makes: everything before the content
// octets, the content itself (the caller's bytes, never copied) and
// everything after them. Large contents are thus written out once, straight
// from the caller's buffer. Returns the total DER length; head and tail are
// new buffers released with tasn1_p7pieces_free. On failure nothing is
// allocated and `out` is left as it was.
struct tasn1_p7pieces {
    unsigned char* head;
    int headLen;
    const unsigned char* content;
    int contentLen;
    unsigned char* tail;
    int tailLen;
};
int tasn1_p7sign_encode_attachPieces(const unsigned char* content, int contentLen, const unsigned char* cert,
                                     int certLen, const unsigned char* sig, int sigLen, int digestKid,
                                     tasn1_p7pieces* out);
void tasn1_p7pieces_free(tasn1_p7pieces* pieces);

// The total DER length of that attached SignedData for a signature of
// `sigLen` bytes, and through `headLen` the length of the head before the
// content: the signature's bytes do not change them, so the content's place
// in the output is known before the signature is made. A negative code on
// failure, with `headLen` untouched.
int tasn1_p7sign_attachedLength(int contentLen, const unsigned char* cert, int certLen, int sigLen, int digestKid,
                                int* headLen);

// A new pre-encoded SignerInfo, or null. `cert` is DER.
tasn1_item* tasn1_pkcs7_signerInfo_new(const unsigned char* sig, int sigLen, int digestKid, int sigAlgKid,
                                       const unsigned char* cert, int certLen);
// A new pre-encoded IssuerAndSerialNumber copied from a version 3
// certificate in DER, or null.
tasn1_item* tasn1_pkcs7_issuerAndSn_new(const unsigned char* cert, int certLen);
