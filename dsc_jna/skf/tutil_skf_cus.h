// The token layer: SKF (GM/T 0016) vendor libraries loaded at run time by
// path, the chain of device, application and container handles that reaches
// a token's key, the walks that list tokens and their signing certificates,
// and signing and PIN handling on the token.
#pragma once

#include "skfapi.h"
// The token layer's result codes, TUTIL_SKF_ERR_*.
#include "tcore_errors.h"
#include "tcore_list.h"

#define TUTIL_SKF_NAME 256
#define TUTIL_SKF_PIN 64
#define TUTIL_SKF_DEVINFO_TEXT 33  // a 32-byte DEVINFO text field and a NUL
#define TUTIL_SKF_CERT_MAX 4096
#define TUTIL_SKF_SIG_MAX 1024
#define TUTIL_SKF_MAX_APPS 10
#define TUTIL_SKF_FIRST_PROVIDER_ID 1000

#define TUTIL_SKF_CONTAINER_RSA 1
#define TUTIL_SKF_CONTAINER_SM2 2

// The signer identity of SM2 signatures: the default of the SM2 standard.
#define TUTIL_SKF_SM2_ID "1234567812345678"

// The nineteen functions the library calls, in their lookup order: the
// number a missing one is reported with is its place in this list.
#define TUTIL_SKF_FUNCTIONS(X)                                                                                         \
    X(skf_enumDev, SKF_EnumDev)                                                                                        \
    X(skf_enumApplication, SKF_EnumApplication)                                                                        \
    X(skf_connectDev, SKF_ConnectDev)                                                                                  \
    X(skf_disConnectDev, SKF_DisConnectDev)                                                                            \
    X(skf_closeApplication, SKF_CloseApplication)                                                                      \
    X(skf_closeContainer, SKF_CloseContainer)                                                                          \
    X(skf_getContainerType, SKF_GetContainerType)                                                                      \
    X(skf_openContainer, SKF_OpenContainer)                                                                            \
    X(skf_enumContainer, SKF_EnumContainer)                                                                            \
    X(skf_openApplication, SKF_OpenApplication)                                                                        \
    X(skf_exportCertificate, SKF_ExportCertificate)                                                                    \
    X(skf_eccSignData, SKF_ECCSignData)                                                                                \
    X(skf_rsaSignData, SKF_RSASignData)                                                                                \
    X(skf_digest, SKF_Digest)                                                                                          \
    X(skf_digestInit, SKF_DigestInit)                                                                                  \
    X(skf_exportPublicKey, SKF_ExportPublicKey)                                                                        \
    X(skf_verifyPin, SKF_VerifyPIN)                                                                                    \
    X(skf_getDevInfo, SKF_GetDevInfo)                                                                                  \
    X(skf_changePIN, SKF_ChangePIN)

// One loaded vendor library. The entries have the standard's prototypes,
// calling convention included (__stdcall on 32-bit Windows).
struct tutil_skf_provider {
    int id;
    char path[TUTIL_SKF_NAME];
    void* module;  // the HMODULE of the library
#define TUTIL_SKF_MEMBER(member, name) decltype(&name) member;
    TUTIL_SKF_FUNCTIONS(TUTIL_SKF_MEMBER)
#undef TUTIL_SKF_MEMBER
};

// One signing certificate on a token with the handle chain reaching its key.
struct tutil_skf_cert {
    int providerId;
    char pin[TUTIL_SKF_PIN];
    char deviceName[TUTIL_SKF_NAME];
    char applicationName[TUTIL_SKF_NAME];
    char containerName[TUTIL_SKF_NAME];
    DEVHANDLE hDev;
    HAPPLICATION hApp;
    HCONTAINER hContainer;
    // The certificate's DER, certificateLen bytes, owned by the record: the
    // exact size, not TUTIL_SKF_CERT_MAX, so a walk over many containers
    // takes and clears small blocks.
    unsigned char* certificate;
    int certificateLen;
    unsigned int containerType;
    int refCount;  // extra holders; 0 for a record with one holder
};

// One present device with its information and application names.
struct tutil_skf_dev {
    int providerId;
    char deviceName[TUTIL_SKF_NAME];
    DEVINFO* devInfo;
    // Label and SerialNumber as texts: the DEVINFO fields hold 32 bytes and
    // a 32-character value fills one without a NUL.
    char label[TUTIL_SKF_DEVINFO_TEXT];
    char serialNumber[TUTIL_SKF_DEVINFO_TEXT];
    char appNames[TUTIL_SKF_MAX_APPS][TUTIL_SKF_NAME];
    int appCount;
    int refCount;
};

// Libraries
int tutil_skf_load(const char* path);
tutil_skf_provider* tutil_skf_findProviderById(int id);
tutil_skf_provider* tutil_skf_findProviderByPath(const char* path);
// Unloads every library and forgets it. Only for the module's own unload:
// no call may be running in a library, nor any record of it still be used.
void tutil_skf_unloadAll();

// Certificate records and their handle chain
int tutil_skf_cert_check(const tutil_skf_cert* cert);
int tutil_skf_cert_open(tutil_skf_cert* cert);
int tutil_skf_cert_close(tutil_skf_cert* cert);
// A certificate or device record is shared by counting its holders: retain
// adds one and returns the record, release drops one and frees the record
// with the last (the void* form fits a tcore_list's destroy callback).
tutil_skf_cert* tutil_skf_cert_retain(tutil_skf_cert* cert);
tutil_skf_dev* tutil_skf_dev_retain(tutil_skf_dev* dev);
void tutil_skf_cert_release(void* cert);
void tutil_skf_dev_release(void* dev);

// Walks: each returns the number of records appended to *list (created on
// the first record) or a negative code; one failing device, application or
// container is traced and skipped.
int tutil_skf_findAllCerts(int providerId, tcore_list** list);
int tutil_skf_findAllCertsByDevSn(int providerId, const char* serialNumber, tcore_list** list);
int tutil_skf_findDevCerts(tutil_skf_provider* provider, DEVHANDLE hDev, const char* deviceName, tcore_list** list);
int tutil_skf_findAppCerts(tutil_skf_provider* provider, HAPPLICATION hApp, const char* deviceName,
                           const char* applicationName, tcore_list** list);
int tutil_skf_findAllDev(int providerId, tcore_list** list);

// Bounded walks. A token library may never answer (a wedged or removed
// token, a library that hangs while it loads). The libraries are loaded and
// walked one after another on one worker thread, each within `deadlineMs`
// (no bound when 0 or less). A library that misses it is left behind with
// TUTIL_SKF_ERR_NO_ANSWER, its late answer is discarded when it comes, and
// until then every call into that library is refused with the same code, so
// no two calls of ours are ever in one library at once.
enum tutil_skf_walkKind {
    TUTIL_SKF_WALK_CERTS,        // tutil_skf_findAllCerts
    TUTIL_SKF_WALK_CERTS_BY_SN,  // tutil_skf_findAllCertsByDevSn
    TUTIL_SKF_WALK_DEVICES,      // tutil_skf_findAllDev
};
// What came of one library: the walk's answer, with its records (created on
// the first, and the caller's to free, also after a failure), or
// TUTIL_SKF_ERR_LOAD or TUTIL_SKF_ERR_FUNCTION when the library cannot be
// loaded (tutil_skf_load), or TUTIL_SKF_ERR_NO_ANSWER.
struct tutil_skf_walkResult {
    int rc;
    tcore_list* found;
};
// results[i] for paths[i].
void tutil_skf_walkLibraries(const char* const* paths, int count, tutil_skf_walkKind kind, const char* serialNumber,
                             int deadlineMs, tutil_skf_walkResult* results);

// Signing and PINs, each within `deadlineMs` (no bound when 0 or less: a
// token may wait for a person at its own PIN pad or button), or
// TUTIL_SKF_ERR_NO_ANSWER. A call with a deadline works on copies of its
// arguments, so a late answer reads nothing the caller has freed. `sigOut`
// holds at least TUTIL_SKF_SIG_MAX bytes.
int tutil_skf_sign(tutil_skf_cert* cert, const unsigned char* data, int dataLen, int digestKid, unsigned char* sigOut,
                   int deadlineMs);
int tutil_skf_verifyPin(tutil_skf_cert* cert, int* retryOut, int deadlineMs);
int tutil_skf_changePin(int providerId, const char* deviceName, const char* applicationName, const char* oldPin,
                        const char* newPin, int* retryOut, int deadlineMs);

// The DER SEQUENCE { INTEGER r, INTEGER s } of an SM2 signature whose r and
// s sit right-aligned in the 64-byte fields of the blob. Returns its length
// (8 to 72 bytes).
int tutil_skf_sm2SignatureToDer(const ECCSIGNATUREBLOB* blob, unsigned char* out);
