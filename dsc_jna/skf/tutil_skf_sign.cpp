// Signing on the token: the token hashes (with the SM2 preprocessing value Z
// of the signing key and identity for SM2) and signs the hash. Also the PIN
// check before a signature and the PIN change of an application.
#include <cstring>
#include <string>

#include "tasn1_item.h"
#include "tasn1_sm2sig.h"
#include "tcore_errors.h"
#include "tcore_mem.h"
#include "tcore_sources.h"
#include "tcore_trace.h"
#include "tutil_skf_bounded.h"
#include "tutil_skf_cus.h"

namespace {

constexpr SKF_ULONG kUserPin = USER_TYPE;
constexpr SKF_ULONG kWorkArea = 1024;
constexpr size_t kSm2ValueLen = TASN1_SM2_VALUE_LEN;

int verifyPinOnOpenChain(tutil_skf_provider* p, tutil_skf_cert* cert, int* retryOut)
{
    SKF_ULONG retry = 0;
    SKF_ULONG code = p->skf_verifyPin(cert->hApp, kUserPin, cert->pin, &retry);
    if (code == SAR_OK) return 0;
    TCORE_TRACE(TSRC_SKF, "skf_verifyPin %s failed %8x, left retry %d", cert->containerName, code,
                static_cast<int>(retry));
    if (retryOut != nullptr) *retryOut = static_cast<int>(retry);
    return TUTIL_SKF_ERR_VERIFY_PIN;
}

int startDigest(tutil_skf_provider* p, tutil_skf_cert* cert, int digestKid, SKF_HANDLE* hHash)
{
    SKF_ULONG code = SAR_OK;
    if (cert->containerType == TUTIL_SKF_CONTAINER_RSA) {
        SKF_ULONG alg = digestKid == TASN1_KID_SHA256 ? SGD_SHA256 : SGD_SHA1;
        code = p->skf_digestInit(cert->hDev, alg, nullptr, nullptr, 0, hHash);
    } else {
        // Room for public-key blobs larger than the standard's 132 bytes.
        unsigned char blob[kWorkArea] = {0};
        SKF_ULONG len = kWorkArea;
        SKF_ULONG rc = p->skf_exportPublicKey(cert->hContainer, TRUE, blob, &len);
        if (rc != SAR_OK || len > kWorkArea) {
            TCORE_TRACE(TSRC_SKF, "skf_exportPublicKey %s failed %8x", cert->containerName, rc);
            return TUTIL_SKF_ERR_EXPORT_KEY;
        }
        char id[] = TUTIL_SKF_SM2_ID;
        code = p->skf_digestInit(cert->hDev, SGD_SM3, reinterpret_cast<ECCPUBLICKEYBLOB*>(blob),
                                 reinterpret_cast<unsigned char*>(id), sizeof id - 1, hHash);
    }
    if (code != SAR_OK) {
        TCORE_TRACE(TSRC_SKF, "skf_digestInit %s failed %8x", cert->containerName, code);
        return TUTIL_SKF_ERR_DIGEST_INIT;
    }
    return 0;
}

int signDigest(tutil_skf_provider* p, tutil_skf_cert* cert, unsigned char* digest, SKF_ULONG digestLen,
               unsigned char* sigOut)
{
    if (cert->containerType == TUTIL_SKF_CONTAINER_RSA) {
        auto* signature = static_cast<unsigned char*>(tcore_zalloc(TUTIL_SKF_SIG_MAX));
        SKF_ULONG sigLen = TUTIL_SKF_SIG_MAX;
        SKF_ULONG code = p->skf_rsaSignData(cert->hContainer, digest, digestLen, signature, &sigLen);
        int result = 0;
        if (code != SAR_OK) {
            TCORE_TRACE(TSRC_SKF, "skf_rsaSignData %s failed %8x", cert->containerName, code);
            result = TUTIL_SKF_ERR_SIGN;
        } else if (sigLen > TUTIL_SKF_SIG_MAX) {
            result = TCORE_ERR_BUFSIZE;
        } else {
            std::memcpy(sigOut, signature, sigLen);
            result = static_cast<int>(sigLen);
        }
        tcore_free(signature);
        return result;
    }
    auto* blob = static_cast<ECCSIGNATUREBLOB*>(tcore_zalloc(sizeof(ECCSIGNATUREBLOB)));
    SKF_ULONG code = p->skf_eccSignData(cert->hContainer, digest, digestLen, blob);
    int result = 0;
    if (code != SAR_OK) {
        TCORE_TRACE(TSRC_SKF, "skf_eccSignData %s failed %8x", cert->containerName, code);
        result = TUTIL_SKF_ERR_SIGN;
    } else {
        result = tutil_skf_sm2SignatureToDer(blob, sigOut);
    }
    tcore_free(blob);
    return result;
}

// The calls themselves, on checked arguments and the certificate's library.
int signNow(tutil_skf_provider* p, tutil_skf_cert* cert, const unsigned char* data, int dataLen, int digestKid,
            unsigned char* sigOut)
{
    int rc = tutil_skf_cert_open(cert);
    if (rc < 0) return rc;

    int result = verifyPinOnOpenChain(p, cert, nullptr);
    SKF_HANDLE hHash = nullptr;
    if (result == 0) result = startDigest(p, cert, digestKid, &hHash);
    unsigned char digest[kWorkArea] = {0};
    SKF_ULONG digestLen = kWorkArea;
    if (result == 0) {
        SKF_ULONG code = p->skf_digest(hHash, const_cast<unsigned char*>(data), static_cast<SKF_ULONG>(dataLen), digest,
                                       &digestLen);
        if (code != SAR_OK || digestLen == 0 || digestLen > kWorkArea) {
            TCORE_TRACE(TSRC_SKF, "skf_digest %s failed %8x", cert->containerName, code);
            result = TUTIL_SKF_ERR_DIGEST;
        }
    }
    if (result == 0) result = signDigest(p, cert, digest, digestLen, sigOut);
    if (result < 0) tutil_skf_cert_close(cert);
    return result;
}

int verifyPinNow(tutil_skf_provider* p, tutil_skf_cert* cert, int* retryOut)
{
    int rc = tutil_skf_cert_open(cert);
    if (rc < 0) return rc;
    rc = verifyPinOnOpenChain(p, cert, retryOut);
    if (rc < 0) tutil_skf_cert_close(cert);
    return rc;
}

int changePinNow(tutil_skf_provider* p, const char* deviceName, const char* applicationName, const char* oldPin,
                 const char* newPin, int* retryOut)
{
    DEVHANDLE hDev = nullptr;
    SKF_ULONG code = p->skf_connectDev(const_cast<char*>(deviceName), &hDev);
    if (code != SAR_OK) {
        TCORE_TRACE(TSRC_SKF, "skf_connectDev %s failed %8x, continue", deviceName, code);
        return TUTIL_SKF_ERR_CONNECT;
    }
    HAPPLICATION hApp = nullptr;
    int result = 0;
    code = p->skf_openApplication(hDev, const_cast<char*>(applicationName), &hApp);
    if (code != SAR_OK) {
        TCORE_TRACE(TSRC_SKF, "skf_openApplication %s failed %8x, continue", applicationName, code);
        hApp = nullptr;
        result = TUTIL_SKF_ERR_OPEN_APP;
    } else {
        SKF_ULONG retry = 0;
        code = p->skf_changePIN(hApp, kUserPin, const_cast<char*>(oldPin), const_cast<char*>(newPin), &retry);
        if (code != SAR_OK) {
            result = TUTIL_SKF_ERR_CHANGE_PIN;
            *retryOut = code == SAR_PIN_INCORRECT || code == SAR_PIN_LOCKED ? static_cast<int>(retry) : -1;
            TCORE_TRACE(TSRC_SKF, "skf_changePIN %s failed %8x, continue, retry times is %d", applicationName, code,
                        *retryOut);
        }
        code = p->skf_closeApplication(hApp);
        if (code != SAR_OK)
            TCORE_TRACE(TSRC_SKF, "skf_closeApplication %s failed %8x, continue", applicationName, code);
    }
    code = p->skf_disConnectDev(hDev);
    if (code != SAR_OK) TCORE_TRACE(TSRC_SKF, "skf_disConnectDev %s failed %8x, continue", deviceName, code);
    return result;
}

// The library a certificate's key is in; null when it is not loaded.
tutil_skf_provider* providerOf(const tutil_skf_cert* cert)
{
    return cert != nullptr ? tutil_skf_findProviderById(cert->providerId) : nullptr;
}

// Runs `task` within the deadline and gives what `read` takes from it, or
// TUTIL_SKF_ERR_NO_ANSWER.
template <class Task, class Read>
int runAndRead(Task* task, int deadlineMs, Read read)
{
    int rc = tutil_skf_runOneBounded(task, deadlineMs);
    if (rc < 0) return rc;
    int result = read(*task);
    delete task;
    return result;
}

// Each task holds its own reference to the certificate record, so a late
// answer finds it whatever the caller has released meanwhile.
struct SignTask : tutil_skf_task {
    tutil_skf_provider* provider;
    tutil_skf_cert* cert;
    const unsigned char* data;
    unsigned char* copy = nullptr;
    int dataLen;
    int digestKid;
    int result = TUTIL_SKF_ERR_SIGN;
    unsigned char signature[TUTIL_SKF_SIG_MAX] = {0};

    SignTask(tutil_skf_provider* p, tutil_skf_cert* c, const unsigned char* d, int len, int kid, bool ownCopy)
        : tutil_skf_task(p->path), provider(p), cert(tutil_skf_cert_retain(c)), data(d), dataLen(len), digestKid(kid)
    {
        if (ownCopy) {
            copy = static_cast<unsigned char*>(tcore_allocLarge(static_cast<size_t>(len)));
            std::memcpy(copy, d, static_cast<size_t>(len));
            data = copy;
        }
    }
    ~SignTask() override
    {
        tutil_skf_cert_release(cert);
        tcore_free(copy);
    }
    void run() override { result = signNow(provider, cert, data, dataLen, digestKid, signature); }
};

struct VerifyPinTask : tutil_skf_task {
    tutil_skf_provider* provider;
    tutil_skf_cert* cert;
    int retry;
    int result = TUTIL_SKF_ERR_VERIFY_PIN;

    // `retry` starts as the caller's, which only a refused PIN changes.
    VerifyPinTask(tutil_skf_provider* p, tutil_skf_cert* c, int callerRetry)
        : tutil_skf_task(p->path), provider(p), cert(tutil_skf_cert_retain(c)), retry(callerRetry)
    {
    }
    ~VerifyPinTask() override { tutil_skf_cert_release(cert); }
    void run() override { result = verifyPinNow(provider, cert, &retry); }
};

struct ChangePinTask : tutil_skf_task {
    tutil_skf_provider* provider;
    char deviceName[TUTIL_SKF_NAME] = {0};
    char applicationName[TUTIL_SKF_NAME] = {0};
    std::string oldPin;
    std::string newPin;
    int retry;
    int result = TUTIL_SKF_ERR_CHANGE_PIN;

    ChangePinTask(tutil_skf_provider* p, const char* device, const char* application, const char* oldText,
                  const char* newText, int callerRetry)
        : tutil_skf_task(p->path), provider(p), oldPin(oldText), newPin(newText), retry(callerRetry)
    {
        std::strncpy(deviceName, device, TUTIL_SKF_NAME - 1);
        std::strncpy(applicationName, application, TUTIL_SKF_NAME - 1);
    }
    ~ChangePinTask() override
    {
        // The PINs do not outlive the call.
        std::memset(oldPin.data(), 0, oldPin.size());
        std::memset(newPin.data(), 0, newPin.size());
    }
    void run() override
    {
        result = changePinNow(provider, deviceName, applicationName, oldPin.c_str(), newPin.c_str(), &retry);
    }
};

}  // namespace

int tutil_skf_sm2SignatureToDer(const ECCSIGNATUREBLOB* blob, unsigned char* out)
{
    // The values sit right-aligned in their 64-byte fields.
    return tasn1_sm2sig_toDer(blob->r + sizeof blob->r - kSm2ValueLen, blob->s + sizeof blob->s - kSm2ValueLen, out);
}

int tutil_skf_sign(tutil_skf_cert* cert, const unsigned char* data, int dataLen, int digestKid, unsigned char* sigOut,
                   int deadlineMs)
{
    int rc = tutil_skf_cert_check(cert);
    if (rc < 0) return rc;
    if (data == nullptr || dataLen <= 0 || sigOut == nullptr) return TCORE_ERR_PARAM;
    tutil_skf_provider* p = providerOf(cert);
    if (p == nullptr) return TUTIL_SKF_ERR_NO_PROVIDER;
    return runAndRead(new SignTask(p, cert, data, dataLen, digestKid, deadlineMs > 0), deadlineMs,
                      [&](const SignTask& t) {
                          if (t.result > 0) std::memcpy(sigOut, t.signature, static_cast<size_t>(t.result));
                          return t.result;
                      });
}

int tutil_skf_verifyPin(tutil_skf_cert* cert, int* retryOut, int deadlineMs)
{
    if (cert == nullptr || cert->pin[0] == 0) return TCORE_ERR_PARAM;
    tutil_skf_provider* p = providerOf(cert);
    if (p == nullptr) return TUTIL_SKF_ERR_NO_PROVIDER;
    return runAndRead(new VerifyPinTask(p, cert, retryOut != nullptr ? *retryOut : 0), deadlineMs,
                      [&](const VerifyPinTask& t) {
                          if (retryOut != nullptr) *retryOut = t.retry;
                          return t.result;
                      });
}

int tutil_skf_changePin(int providerId, const char* deviceName, const char* applicationName, const char* oldPin,
                        const char* newPin, int* retryOut, int deadlineMs)
{
    if (deviceName == nullptr || applicationName == nullptr || oldPin == nullptr || newPin == nullptr ||
        retryOut == nullptr)
        return TCORE_ERR_PARAM;
    tutil_skf_provider* p = tutil_skf_findProviderById(providerId);
    if (p == nullptr) {
        TCORE_TRACE(TSRC_SKF, "tutil_skf_findProviderById failed");
        return TUTIL_SKF_ERR_NO_PROVIDER;
    }
    return runAndRead(new ChangePinTask(p, deviceName, applicationName, oldPin, newPin, *retryOut), deadlineMs,
                      [&](const ChangePinTask& t) {
                          *retryOut = t.retry;
                          return t.result;
                      });
}
