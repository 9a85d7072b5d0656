/* dsc_jna_v3: the exported interface. Plain C functions with the platform's
 * default C calling convention; texts are NUL-terminated byte strings in the
 * system's ANSI code page; results are 0 (or a count) on success and a
 * negative code on failure. */
#ifndef DSC_JNA_H
#define DSC_JNA_H

/* The limits of the interface. */
#define DSC_JNA_CERT_TEXT_SIZE 4096 /* outCert of Sgn_SelectCertByDn, NUL included */
#define DSC_JNA_SEPARATOR_MAX 15    /* separator of Sgn_Dev_Enum */
#define DSC_JNA_FIELD_NAME_MAX 7    /* a subject field name of Sgn_GetCertProperty and Sgn_SelectCertByDn */

/* The eleven exports, X(name) once each: hosts and checks that need every
 * export are written over this list, so none is forgotten and no signature
 * is written twice. */
#define DSC_JNA_EXPORTS(X)                                                                                             \
    X(Sgn_Dev_Enum)                                                                                                    \
    X(Sgn_Dev_GetSerialNumber)                                                                                         \
    X(Sgn_Dev_GetUserData)                                                                                             \
    X(Sgn_Dev_ChangePin_ex)                                                                                            \
    X(Sgn_GetCertProperty)                                                                                             \
    X(Sgn_SelectCertByKeySn)                                                                                           \
    X(Sgn_SelectCertByDn)                                                                                              \
    X(Sgn_Sign)                                                                                                        \
    X(Sgn_Free)                                                                                                        \
    X(Sgn_SetLog)                                                                                                      \
    X(Sgn_CloseLog)

#ifdef __cplusplus
extern "C" {
#endif

/* The labels of the plugged-in tokens joined by `separator` (at most
 * DSC_JNA_SEPARATOR_MAX characters; null or empty means "|"). */
int Sgn_Dev_Enum(const char* separator, char* out, int outLen);

/* The serial number of the token with this label. */
int Sgn_Dev_GetSerialNumber(const char* label, char* out, int outLen);

/* The user data of the token with this label; a null or empty label means
 * the only token present. */
int Sgn_Dev_GetUserData(const char* label, char* out, int outLen);

/* Changes the user PIN of the token with this label (null or empty: the only
 * token present). */
int Sgn_Dev_ChangePin_ex(const char* label, const char* oldPin, const char* newPin);

/* A property of a certificate given as base64 text (PEM armour allowed):
 * field "DN" the subject DN, "SN" the serial number in upper-case
 * hexadecimal, any other name (at most DSC_JNA_FIELD_NAME_MAX characters,
 * any case) the first
 * value of that subject field. The answer goes into `out` with its NUL and 0
 * is returned; -1003 when `out` has no room for it. With a null `out`
 * nothing is written and the answer's length is returned. */
int Sgn_GetCertProperty(const char* cert, const char* field, char* out, int outLen);

/* Selects the signing certificate of the token with this serial number for
 * the next Sgn_Sign; its base64 text goes to outCert. */
int Sgn_SelectCertByKeySn(const char* deviceSn, char* outCert, int outLen);

/* Selects a signing certificate by subject DN (field "DN") or by subject
 * fields ("CN", "CN,O", ...; values matched as substrings); null field and
 * value take every certificate. Several matches are offered in the chooser.
 * outCert must hold DSC_JNA_CERT_TEXT_SIZE bytes. */
int Sgn_SelectCertByDn(const char* field, const char* value, char* outCert);

/* Signs with the selected certificate: mode 1 attaches the data, mode 2
 * leaves it out. dataLen <= 0 takes data as a NUL-terminated text. Returns
 * a text to release with Sgn_Free: the base64 PKCS#7 SignedData, or a
 * negative code in decimal ("-3011": nothing selected). The selection is
 * used up either way. */
char* Sgn_Sign(const unsigned char* data, int dataLen, int mode, const char* pin);

/* Releases a text returned by the library; null is ignored. */
void Sgn_Free(void* p);

/* Turns the diagnostic log on (once per process). A null or empty path takes
 * the registry value "SignLogPath". 0, or -3009. */
int Sgn_SetLog(const char* path);

/* Turns the log off for the life of the process. Always 0. */
int Sgn_CloseLog(void);

#ifdef __cplusplus
}
#endif

#endif
