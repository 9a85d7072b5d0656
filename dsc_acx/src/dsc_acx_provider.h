// Where the token libraries are: installers of SKF (GM/T 0016) token
// software register their library under the Provider key; the log directory
// sits in the same tree. Read in the registry view of the library's own
// bitness (tcore_wreg).
#pragma once

#define DSC_ACX_SLOT 256
#define DSC_ACX_MAX_PROVIDERS 16

#define DSC_ACX_SKF_PROVIDER_KEY "SOFTWARE\\TARNO_II\\Cryptography\\SKF\\Provider"
#define DSC_ACX_360_PROVIDER_KEY "SOFTWARE\\Microsoft\\Cryptography\\Defaults\\Provider\\HS"
#define DSC_ACX_SKF_IMAGE_VALUE "SKFImagePath"
#define DSC_ACX_LOG_KEY "SOFTWARE\\TARNO_II\\Log"
#define DSC_ACX_LOG_VALUE "SignLogPath"
// How long a call into a token library may take, in milliseconds, 0 for no
// bound: listing a library's tokens and certificates (a few seconds unless
// set), and its signing and PIN calls (no bound unless set: a token may wait
// for its owner at a PIN pad or button).
#define DSC_ACX_SKF_KEY "SOFTWARE\\TARNO_II\\Cryptography\\SKF"
#define DSC_ACX_ENUM_TIMEOUT_VALUE "EnumTimeoutMs"
#define DSC_ACX_CALL_TIMEOUT_VALUE "CallTimeoutMs"
#define DSC_ACX_ENUM_TIMEOUT_DEFAULT 5000
#define DSC_ACX_CALL_TIMEOUT_DEFAULT 0

#include "tutil_skf_cus.h"

// Up to 16 provider names into slots of 256 bytes, in enumeration order.
int dsc_acx_getSkfProviderNamesByWow(char names[][DSC_ACX_SLOT]);

// One provider's library path into a 256-byte slot: its length, 0 when
// empty, or a negative code.
int dsc_acx_getSkfProviderByWow(const char* name, char* path);

// The library paths of the providers that have one, up to 16, in order.
int dsc_acx_getSkfProviders(char paths[][DSC_ACX_SLOT]);

// Walks every registered token library once (a library registered under
// several provider names holds the same tokens), and with `with360` the 360
// provider's library unless it is registered already, one after another,
// each within the enumeration deadline. `take` gets each library's path
// and what came of it, in that order, and owns `result.found`; a negative
// answer of `take` is traced ("find continue") and the walk goes on.
// Returns the number of libraries walked.
int dsc_acx_walkSkfProviders(tutil_skf_walkKind kind, const char* serialNumber, bool with360,
                             int (*take)(const char* path, const tutil_skf_walkResult& result, void* context),
                             void* context);

// The two deadlines as the registry gives them now; a missing or unusable
// value is its default.
int dsc_acx_enumTimeoutMs();
int dsc_acx_callTimeoutMs();

// The default log file path into a 256-byte area; -1038 when unreadable.
int dsc_acx_getLogPath(char* path);
