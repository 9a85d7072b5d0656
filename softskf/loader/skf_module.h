// A token library loaded by path, the way a caller loads a vendor's SKF
// library, with every SKF function it exports looked up by name.
#pragma once

#include <string>

#include "skfapi.h"
#include "softskf_stats.h"

// One name a line; the formatter would fold the list into a staircase.
// clang-format off
#define SOFTSKF_FUNCTIONS(X) \
    X(SKF_EnumDev) \
    X(SKF_ConnectDev) \
    X(SKF_DisConnectDev) \
    X(SKF_GetDevInfo) \
    X(SKF_ChangePIN) \
    X(SKF_VerifyPIN) \
    X(SKF_EnumApplication) \
    X(SKF_OpenApplication) \
    X(SKF_CloseApplication) \
    X(SKF_OpenContainer) \
    X(SKF_CloseContainer) \
    X(SKF_EnumContainer) \
    X(SKF_GetContainerType) \
    X(SKF_ExportCertificate) \
    X(SKF_RSASignData) \
    X(SKF_ECCSignData) \
    X(SKF_ExportPublicKey) \
    X(SKF_DigestInit) \
    X(SKF_Digest) \
    X(SKF_GetDevState) \
    X(SKF_SetLabel) \
    X(SKF_GetPINInfo) \
    X(SKF_UnblockPIN) \
    X(SKF_ClearSecureState) \
    X(SKF_CreateApplication) \
    X(SKF_DeleteApplication) \
    X(SKF_CreateContainer) \
    X(SKF_DeleteContainer) \
    X(SKF_GenECCKeyPair) \
    X(SKF_GenRSAKeyPair) \
    X(SKF_ImportCertificate) \
    X(SKF_DigestUpdate) \
    X(SKF_DigestFinal) \
    X(SKF_ECCVerify) \
    X(SKF_RSAVerify) \
    X(SKF_GenRandom) \
    X(SKF_CloseHandle)
// clang-format on

class SkfModule {
public:
    SkfModule() = default;
    ~SkfModule() { unload(); }
    SkfModule(const SkfModule&) = delete;
    SkfModule& operator=(const SkfModule&) = delete;

    // Loads the module at `path` (UTF-8) and resolves every function; on
    // failure returns false and error() says why.
    bool load(const std::string& path);
    void unload();
    const std::string& error() const { return error_; }

#define SOFTSKF_POINTER(name) decltype(&::name) name = nullptr;
    SOFTSKF_FUNCTIONS(SOFTSKF_POINTER)
#undef SOFTSKF_POINTER
    // The soft token's call statistics; null for a module without them.
    softskf_callStats_fn softskf_callStats = nullptr;
    softskf_resetCallStats_fn softskf_resetCallStats = nullptr;

private:
    void* open_library(const std::string& path);
    void* find_symbol(const char* name);
    void close_library();

    void* library_ = nullptr;
    std::string error_;
};
