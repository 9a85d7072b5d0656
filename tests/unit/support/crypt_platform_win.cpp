#include <windows.h>

#include "crypt_platform.h"

CryptPlatform cryptPlatform()
{
    // Wine's ntdll exports wine_get_version; Windows' does not.
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    bool wine = ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
    return wine ? CryptPlatform::Wine : CryptPlatform::Windows;
}

const char* cryptPlatformLabel(CryptPlatform platform)
{
    return platform == CryptPlatform::Wine ? "Wine crypt32" : "Windows crypt32";
}
