#include "crypt_platform.h"

CryptPlatform cryptPlatform() { return CryptPlatform::LinuxStandIn; }

const char* cryptPlatformLabel(CryptPlatform) { return "Linux stand-in"; }
