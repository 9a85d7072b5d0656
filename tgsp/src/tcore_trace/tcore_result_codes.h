// Every result code the library returns, in one list: the C constants, the
// messages of dsc-sign, the Java binding's names and the README's table all
// come from it (a test checks the README and the library's sources
// against it). A code never changes meaning once published; a new failure
// gets a new code here first.
//
// DSC_RESULT_CODES(X) calls X(code, NAME, "meaning") once per code, in the
// README's order. The meaning is written for the user who reads a failure.
#pragma once

#define DSC_RESULT_CODES(X)                                                                                            \
    /* Produced by the exported functions themselves */                                                                \
    X(-1, DSC_ACX_ERR_MODE, "signing mode must be 1 (attached) or 2 (detached)")                                       \
    X(-1001, DSC_ACX_ERR_ARG, "a required argument is missing or empty")                                               \
    X(-1003, DSC_ACX_ERR_CERT_BUFFER,                                                                                  \
      "the buffer is too small for the certificate text, or (Sgn_GetCertProperty) for the DN or field text and its "   \
      "NUL")                                                                                                           \
    X(-1005, DSC_ACX_ERR_CANCELLED, "no certificate was chosen (the chooser was cancelled or could not be shown)")     \
    X(-1006, DSC_ACX_ERR_PROPERTY_TEXT, "the certificate property cannot be converted to the system code page")        \
    X(-1040, DSC_ACX_ERR_PIN, "the token refused the PIN (wrong PIN, or the PIN is locked)")                           \
    X(-3009, DSC_ACX_ERR_LOG_CREATE, "the log file cannot be created")                                                 \
    X(-3011, DSC_ACX_ERR_NO_CERT, "no certificate found (none matched, or nothing is selected for signing)")           \
    X(-10001, DSC_JNA_ERR_INTERNAL, "an internal error stopped the call (an unexpected exception; the log names it)")  \
    X(-10005, DSC_JNA_ERR_REENTERED, "called from inside a token library call")                                        \
    /* Finding certificates and providers */                                                                           \
    X(-1004, DSC_ACX_ERR_SOURCE, "a certificate source could not list its certificates")                               \
    X(-1016, DSC_ACX_ERR_CERT_LOAD, "the text is not a certificate that can be loaded")                                \
    X(-1031, DSC_ACX_ERR_SN_BUFFER, "the buffer is too small for the serial number")                                   \
    X(-1034, DSC_ACX_ERR_PROVIDER_PATH, "a registered token library has no readable SKFImagePath")                     \
    X(-1035, DSC_ACX_ERR_PROVIDER_LIST, "the token provider registrations cannot be listed")                           \
    X(-1036, DSC_ACX_ERR_360_PATH, "the 360 provider's library path cannot be read")                                   \
    X(-1038, DSC_ACX_ERR_LOG_PATH, "no log path given and SignLogPath cannot be read from the registry")               \
    X(-1039, DSC_ACX_ERR_STORE_SEARCH, "the certificate store search failed")                                          \
    X(-1041, DSC_ACX_ERR_LIB_LOAD, "a token library could not be loaded")                                              \
    X(-2008, DSC_ACX_ERR_NO_FIELD, "the certificate's subject has no such field")                                      \
    X(-2031, DSC_ACX_ERR_DN_TEXT, "the certificate's subject DN cannot be converted")                                  \
    X(-2032, DSC_ACX_ERR_SN_READ, "the certificate's serial number cannot be read")                                    \
    X(-2034, DSC_ACX_ERR_KEY_ALG, "the certificate's key is neither RSA nor SM2")                                      \
    X(-3004, DSC_ACX_ERR_FIELD_COUNT, "the numbers of field names and values differ")                                  \
    X(-3013, DSC_ACX_ERR_TOKEN_CERT, "a token's certificate cannot be parsed")                                         \
    X(-3032, DSC_ACX_ERR_NO_CN, "the certificate has no usable CN")                                                    \
    X(-4049, DSC_ACX_ERR_TOO_MANY, "more than 24 certificates match; narrow the selection")                            \
    /* Token devices */                                                                                                \
    X(-3054, DSC_ACX_ERR_DEV_BUFFER, "the buffer is too small for the device text")                                    \
    X(-3055, DSC_ACX_ERR_NO_DEVICE, "no token is present")                                                             \
    X(-3056, DSC_ACX_ERR_NO_SUCH_LABEL, "no token carries that label")                                                 \
    X(-3057, DSC_ACX_ERR_AMBIGUOUS_DEVICE, "several tokens are present; name one by its label")                        \
    X(-3058, DSC_ACX_ERR_NO_APPLICATION, "the token has no application")                                               \
    X(-3060, DSC_ACX_ERR_SEVERAL_APPLICATIONS, "the token has more than one application")                              \
    X(-3061, DSC_ACX_ERR_CHANGE_PIN, "the PIN change failed (wrong old PIN, PIN locked, or the token refused)")        \
    X(-3062, DSC_ACX_ERR_EMPTY_TEXT, "the token's text is empty")                                                      \
    X(-3064, DSC_ACX_ERR_DUPLICATE_LABEL, "two tokens carry the same label")                                           \
    /* Signing */                                                                                                      \
    X(-1007, DSC_ACX_ERR_SIGN, "the signature could not be made")                                                      \
    X(-1010, DSC_ACX_ERR_BASE64,                                                                                       \
      "the signature could not be encoded as base64 (including an output area without room for the text and its NUL)") \
    X(-2001, DSC_ACX_ERR_ENCODE, "the PKCS#7 SignedData could not be encoded")                                         \
    X(-2009, DSC_ACX_ERR_BIND, "the certificate could not be bound to its signing key")                                \
    X(-2010, DSC_ACX_ERR_CSP_NOT_BOUND, "the certificate has no key provider to sign with")                            \
    X(-2011, DSC_ACX_ERR_CSP_HASH, "hashing the data failed")                                                          \
    X(-2025, DSC_ACX_ERR_NOT_YET_VALID, "the certificate is not yet valid")                                            \
    X(-2026, DSC_ACX_ERR_EXPIRED, "the certificate has expired")                                                       \
    /* The key provider's own refusals, passed through unchanged: the values */                                        \
    /* come from the providers, which give them no further meaning. */                                                 \
    X(-4045, TWCYT_ERR_PROVIDER_INVALID_FUNCTION, "the key provider refused to sign (its error 1, invalid function)")  \
    X(-4046, TWCYT_ERR_PROVIDER_80000A01, "the key provider refused to sign (its error 0x80000A01)")                   \
    X(-4047, TWCYT_ERR_PROVIDER_80000A04, "the key provider refused to sign (its error 0x80000A04)")                   \
    X(-4048, TWCYT_ERR_PROVIDER_80000B00, "the key provider refused to sign (its error 0x80000B00)")                   \
    X(-91016001, TWCYT_ERR_PROVIDER_056CCB41,                                                                          \
      "the key provider refused to sign (its error 0x056CCB41, which is 91016001)")                                    \
    /* Core services */                                                                                                \
    X(-10002, TCORE_ERR_PARAM, "an internal argument was missing or unusable")                                         \
    X(-10003, TCORE_ERR_BUFSIZE, "an internal buffer was too small")                                                   \
    /* child index not present, invalid tagging mode, implicit tagging of an empty element */                          \
    X(-10004, TASN1_ERR_ITEM, "an internal ASN.1 structure was malformed")                                             \
    X(-110004, TCORE_ERR_BASE64_CHAR, "a character outside the base64 alphabet")                                       \
    X(-110005, TCORE_ERR_MBTOWIDE, "text conversion from the system code page failed")                                 \
    X(-110006, TCORE_ERR_WIDETOMB, "text conversion to the system code page failed")                                   \
    X(-110007, TCORE_ERR_UTF8TOWIDE, "text conversion from UTF-8 failed")                                              \
    X(-110008, TCORE_ERR_WIDETOUTF8, "text conversion to UTF-8 failed")                                                \
    X(-110010, TWCYT_ERR_ALG_NAME, "unknown key algorithm name")                                                       \
    X(-110021, TCORE_ERR_REG_OPEN, "a registry key is missing or not accessible")                                      \
    X(-110027, TCORE_ERR_REG_QUERY, "a registry value is missing")                                                     \
    /* Token libraries */                                                                                              \
    X(-160131, TUTIL_SKF_ERR_LOAD, "the token library could not be loaded")                                            \
    X(-160132, TUTIL_SKF_ERR_FUNCTION, "the token library lacks one of the required SKF functions")                    \
    X(-160133, TUTIL_SKF_ERR_NO_PROVIDER, "the token library of this certificate is not loaded")                       \
    X(-160134, TUTIL_SKF_ERR_INCOMPLETE, "the token certificate record is incomplete")                                 \
    X(-160135, TUTIL_SKF_ERR_CONTAINER_TYPE, "the token container type is neither RSA nor SM2")                        \
    X(-160141, TUTIL_SKF_ERR_ENUM_DEV, "the token library could not list its devices")                                 \
    X(-160142, TUTIL_SKF_ERR_ENUM_APP, "the token's applications could not be listed")                                 \
    X(-160143, TUTIL_SKF_ERR_ENUM_CONTAINER, "the token's containers could not be listed")                             \
    X(-160144, TUTIL_SKF_ERR_CONNECT, "the token could not be connected")                                              \
    X(-160145, TUTIL_SKF_ERR_OPEN_APP, "the token application could not be opened")                                    \
    X(-160146, TUTIL_SKF_ERR_OPEN_CONTAINER, "the token container could not be opened")                                \
    X(-160147, TUTIL_SKF_ERR_DIGEST_INIT, "the token could not start the digest")                                      \
    X(-160148, TUTIL_SKF_ERR_DIGEST, "the token could not compute the digest")                                         \
    X(-160149, TUTIL_SKF_ERR_EXPORT_KEY, "the token could not export the public key")                                  \
    X(-160150, TUTIL_SKF_ERR_SIGN, "the token could not sign")                                                         \
    X(-160151, TUTIL_SKF_ERR_VERIFY_PIN, "the token refused the PIN")                                                  \
    X(-160152, TUTIL_SKF_ERR_CHANGE_PIN, "the token refused the PIN change")                                           \
    X(-160153, TUTIL_SKF_ERR_NO_ANSWER,                                                                                \
      "the token library did not answer in time, or is still busy with an earlier call that did not")                  \
    /* ASN.1 and certificates */                                                                                       \
    /* the element to walk is not a SEQUENCE, SET or context-specific element */                                       \
    X(-210002, TASN1_ERR_NOT_CONSTRUCTED, "malformed ASN.1: unexpected element")                                       \
    /* length octets unreadable, overlong, or describing more than the buffer holds */                                 \
    X(-210003, TASN1_ERR_LENGTH, "malformed ASN.1: bad length")                                                        \
    /* no usable PEM markers, an unrecognised key algorithm, a failed certificate walk */                              \
    X(-210011, TASN1_ERR_CERT, "the certificate text or its key algorithm is not usable")                              \
    /* a template key id that does not exist, or a SignedData part not built */                                        \
    X(-210021, TASN1_ERR_TEMPLATE, "the PKCS#7 structure could not be built")                                          \
    X(-260003, TWCYT_ERR_CREATE_HASH, "the key provider could not start the hash")                                     \
    X(-260004, TWCYT_ERR_HASH_DATA, "the key provider could not hash the data")                                        \
    X(-260016, TWCYT_ERR_ACQUIRE_CONTEXT, "the key container named by the certificate cannot be opened")               \
    X(-260018, TWCYT_ERR_NO_USER_KEY, "the key container has no signing key")                                          \
    X(-260021, TWCYT_ERR_NO_INFO_SN, "the certificate cannot be decoded (serial number)")                              \
    X(-260022, TWCYT_ERR_NO_INFO_NAME, "the certificate cannot be decoded (names)")                                    \
    X(-260023, TWCYT_ERR_FILETIME, "a certificate time cannot be converted")                                           \
    X(-260026, TWCYT_ERR_KEY_ALG, "the certificate's key is neither RSA nor SM2")                                      \
    X(-260028, TWCYT_ERR_SET_PROP, "a certificate property cannot be set")                                             \
    X(-260029, TWCYT_ERR_GET_PROP, "a certificate property cannot be read")                                            \
    X(-260031, TWCYT_ERR_EMPTY_NAME, "the certificate name is empty")                                                  \
    X(-260034, TWCYT_ERR_NOT_YET_VALID, "the certificate is not yet valid")                                            \
    X(-260035, TWCYT_ERR_EXPIRED, "the certificate has expired")                                                       \
    X(-260043, TWCYT_ERR_NO_PRIVATE_KEY, "no private key is known for the certificate")                                \
    X(-260101, TWCYT_ERR_NOT_BOUND, "the signing context has no certificate or provider")                              \
    X(-260102, TWCYT_ERR_SIGN_HASH, "the key provider failed to sign")

// The constants, plain ints as the exported functions return them. (The
// Java binding's build reads the list above through the C preprocessor.)
#ifdef __cplusplus
#define DSC_RESULT_CONSTANT(code, name, meaning) constexpr int name = (code);
DSC_RESULT_CODES(DSC_RESULT_CONSTANT)
#undef DSC_RESULT_CONSTANT
#endif
