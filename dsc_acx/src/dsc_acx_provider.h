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

// Up to 16 provider names into slots of 256 bytes, in enumeration order.
int dsc_acx_getSkfProviderNamesByWow(char names[][DSC_ACX_SLOT]);

// One provider's library path into a 256-byte slot: its length, 0 when
// empty, or a negative code.
int dsc_acx_getSkfProviderByWow(const char* name, char* path);

// The library paths of the providers that have one, up to 16, in order.
int dsc_acx_getSkfProviders(char paths[][DSC_ACX_SLOT]);

// Reads the library paths into `paths` and hands each distinct path to
// `visit` once; a negative answer is traced ("find continue") and the walk
// goes on. Returns the number of paths, repeated ones included.
int dsc_acx_visitSkfProviders(char paths[][DSC_ACX_SLOT], int (*visit)(const char* path, void* context), void* context);

// The default log file path into a 256-byte area; -1038 when unreadable.
int dsc_acx_getLogPath(char* path);
