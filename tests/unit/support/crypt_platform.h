// Which crypt32 the suite is running against.
#pragma once

enum class CryptPlatform {
    Windows,       // crypt32 of Windows itself
    Wine,          // crypt32 of Wine, with its known departures
    LinuxStandIn,  // the library's own stand-in on Linux
};

CryptPlatform cryptPlatform();
const char* cryptPlatformLabel(CryptPlatform platform);
