// A token certificate's handle chain: device, application, container. It is
// opened when the key is used and stays open between a PIN check and the
// signature that follows; any failure leaves it fully closed.
#include <cstring>

#include "tcore_mem.h"
#include "tcore_sources.h"
#include "tcore_trace.h"
#include "tutil_skf_bounded.h"
#include "tutil_skf_cus.h"

int tutil_skf_cert_check(const tutil_skf_cert* cert)
{
    if (cert == nullptr || cert->providerId <= 0 || cert->certificateLen <= 0 || cert->deviceName[0] == 0 ||
        cert->applicationName[0] == 0 || cert->containerName[0] == 0)
        return TUTIL_SKF_ERR_INCOMPLETE;
    if (cert->containerType != TUTIL_SKF_CONTAINER_RSA && cert->containerType != TUTIL_SKF_CONTAINER_SM2)
        return TUTIL_SKF_ERR_CONTAINER_TYPE;
    return 0;
}

int tutil_skf_cert_open(tutil_skf_cert* cert)
{
    int rc = tutil_skf_cert_check(cert);
    if (rc < 0) return rc;
    if (cert->hDev != nullptr && cert->hApp != nullptr && cert->hContainer != nullptr) return 0;
    tutil_skf_provider* p = tutil_skf_findProviderById(cert->providerId);
    if (p == nullptr) return TUTIL_SKF_ERR_NO_PROVIDER;
    // A half-open chain from an earlier failure is closed before starting over.
    tutil_skf_cert_close(cert);

    SKF_ULONG code = p->skf_connectDev(cert->deviceName, &cert->hDev);
    if (code != SAR_OK) {
        cert->hDev = nullptr;
        TCORE_TRACE(TSRC_SKF, "skf_connectDev %s failed %8x", cert->deviceName, code);
        return TUTIL_SKF_ERR_CONNECT;
    }
    code = p->skf_openApplication(cert->hDev, cert->applicationName, &cert->hApp);
    if (code != SAR_OK) {
        cert->hApp = nullptr;
        TCORE_TRACE(TSRC_SKF, "skf_openApplication %s failed %8x", cert->applicationName, code);
        tutil_skf_cert_close(cert);
        return TUTIL_SKF_ERR_OPEN_APP;
    }
    code = p->skf_openContainer(cert->hApp, cert->containerName, &cert->hContainer);
    if (code != SAR_OK) {
        cert->hContainer = nullptr;
        TCORE_TRACE(TSRC_SKF, "skf_openContainer %s failed %8x, continue", cert->containerName, code);
        tutil_skf_cert_close(cert);
        return TUTIL_SKF_ERR_OPEN_CONTAINER;
    }
    return 0;
}

int tutil_skf_cert_close(tutil_skf_cert* cert)
{
    int rc = tutil_skf_cert_check(cert);
    if (rc < 0) return rc;
    tutil_skf_provider* p = tutil_skf_findProviderById(cert->providerId);
    if (p == nullptr) return TUTIL_SKF_ERR_NO_PROVIDER;
    if (tutil_skf_isBusy(p->path)) {
        // A call into it never answered: calling it again could hang this
        // thread too. The handles are given up, not closed.
        if (cert->hDev != nullptr)
            TCORE_TRACE(TSRC_SKF, "%s is busy; the handles of %s are left open", p->path, cert->containerName);
        cert->hContainer = nullptr;
        cert->hApp = nullptr;
        cert->hDev = nullptr;
        return 0;
    }
    if (cert->hContainer != nullptr) {
        SKF_ULONG code = p->skf_closeContainer(cert->hContainer);
        if (code != SAR_OK) TCORE_TRACE(TSRC_SKF, "skf_closeContainer %s failed %8x", cert->containerName, code);
        cert->hContainer = nullptr;
    }
    if (cert->hApp != nullptr) {
        SKF_ULONG code = p->skf_closeApplication(cert->hApp);
        if (code != SAR_OK) TCORE_TRACE(TSRC_SKF, "skf_closeApplication %s failed %8x", cert->applicationName, code);
        cert->hApp = nullptr;
    }
    if (cert->hDev != nullptr) {
        SKF_ULONG code = p->skf_disConnectDev(cert->hDev);
        if (code != SAR_OK) TCORE_TRACE(TSRC_SKF, "skf_disConnectDev %s failed %8x", cert->deviceName, code);
        cert->hDev = nullptr;
    }
    return 0;
}

tutil_skf_cert* tutil_skf_cert_retain(tutil_skf_cert* cert)
{
    if (cert != nullptr) __atomic_add_fetch(&cert->refCount, 1, __ATOMIC_RELAXED);
    return cert;
}

tutil_skf_dev* tutil_skf_dev_retain(tutil_skf_dev* dev)
{
    if (dev != nullptr) __atomic_add_fetch(&dev->refCount, 1, __ATOMIC_RELAXED);
    return dev;
}

void tutil_skf_cert_release(void* item)
{
    auto* cert = static_cast<tutil_skf_cert*>(item);
    if (cert == nullptr) return;
    // A late call's thread may drop its reference while the caller drops
    // another: the count is atomic. The record goes with the last holder.
    if (__atomic_fetch_sub(&cert->refCount, 1, __ATOMIC_ACQ_REL) > 0) return;
    tutil_skf_cert_close(cert);
    std::memset(cert->pin, 0, sizeof cert->pin);  // the PIN does not outlive its record
    tcore_free(cert->certificate);
    tcore_free(cert);
}

void tutil_skf_dev_release(void* item)
{
    auto* dev = static_cast<tutil_skf_dev*>(item);
    if (dev == nullptr) return;
    if (__atomic_fetch_sub(&dev->refCount, 1, __ATOMIC_ACQ_REL) > 0) return;
    tcore_free(dev->devInfo);
    tcore_free(dev);
}
