// Containers: list, open, close, create, delete, type, certificates and
// public keys.
#include "blobs.h"
#include "token_limits.h"
#include "output.h"
#include "session.h"

#include <algorithm>

using namespace softskf;

namespace {

Scope scope_of(const Resolved& r)
{
    return {r.device->name, r.application->name, r.container ? r.container->name : std::string()};
}

// Length of a DER TLV starting at `der`, or 0 if it is not one.
std::size_t der_length(const SKF_BYTE* der, std::size_t size)
{
    if (size < 2) return 0;
    std::size_t header = 2, length = der[1];
    if (length & 0x80) {
        std::size_t count = length & 0x7F;
        if (count == 0 || count > 3 || size < 2 + count) return 0;
        length = 0;
        for (std::size_t i = 0; i < count; ++i) length = length << 8 | der[2 + i];
        header += count;
    }
    return header + length;
}

bool looks_like_certificate(const SKF_BYTE* cert, SKF_ULONG length)
{
    return cert != nullptr && length > 0 && length <= limits::certificate_max && cert[0] == 0x30 &&
           der_length(cert, length) == length;
}

// Open, create, delete: the application, the container's name, and any
// fault asked for that container.
SKF_ULONG named_container(Call& call, HAPPLICATION app, const char* name_in, Resolved& r, std::string& name)
{
    if (SKF_ULONG rc = call.resolve(app, HandleKind::application, r)) return rc;
    if (!read_text(name_in, limits::container_name, name)) return SAR_INVALIDPARAMERR;
    return call.check_faults({r.device->name, r.application->name, name});
}

}  // namespace

extern "C" {

SKF_ULONG DEVAPI SKF_EnumContainer(HAPPLICATION hApplication, SKF_LPSTR szContainerName, SKF_ULONG* pulSize)
{
    return run_call("SKF_EnumContainer", [&](Call& call) -> SKF_ULONG {
        Resolved r;
        if (SKF_ULONG rc = call.resolve(hApplication, HandleKind::application, r)) return rc;
        if (pulSize == nullptr) return SAR_INVALIDPARAMERR;
        if (SKF_ULONG rc = call.check_faults(scope_of(r))) return rc;
        std::vector<std::string> names;
        for (const Container& c : r.application->containers) names.push_back(c.name);
        return put_name_list(names, szContainerName, pulSize, call.hostile());
    });
}

static SKF_HANDLE open_container(Call& call, SKF_HANDLE app_handle, const Resolved& r, const std::string& name)
{
    HandleEntry entry;
    entry.kind = HandleKind::container;
    entry.parent = reinterpret_cast<std::uintptr_t>(app_handle);
    entry.device = r.device->name;
    entry.application = r.application->name;
    entry.container = name;
    return call.open_handle(std::move(entry));
}

SKF_ULONG DEVAPI SKF_OpenContainer(HAPPLICATION hApplication, SKF_LPSTR szContainerName, HCONTAINER* phContainer)
{
    return run_call("SKF_OpenContainer", [&](Call& call) -> SKF_ULONG {
        if (phContainer == nullptr) return SAR_INVALIDPARAMERR;
        Resolved r;
        std::string name;
        if (SKF_ULONG rc = named_container(call, hApplication, szContainerName, r, name)) return rc;
        // The standard has no "no such container" code.
        if (!find_container(*r.application, name)) return SAR_FAIL;
        *phContainer = open_container(call, hApplication, r, name);
        return SAR_OK;
    });
}

SKF_ULONG DEVAPI SKF_CloseContainer(HCONTAINER hContainer)
{
    return run_call("SKF_CloseContainer",
                    [&](Call& call) -> SKF_ULONG { return call.close_call(hContainer, HandleKind::container); });
}

SKF_ULONG DEVAPI SKF_CreateContainer(HAPPLICATION hApplication, SKF_LPSTR szContainerName, HCONTAINER* phContainer)
{
    return run_call("SKF_CreateContainer", [&](Call& call) -> SKF_ULONG {
        if (phContainer == nullptr) return SAR_INVALIDPARAMERR;
        Resolved r;
        std::string name;
        if (SKF_ULONG rc = named_container(call, hApplication, szContainerName, r, name)) return rc;
        if (!call.logged_in(r.device->name, r.application->name, USER_TYPE)) return SAR_USER_NOT_LOGGED_IN;
        if (find_container(*r.application, name)) return SAR_FILE_ALREADY_EXIST;
        Container container;
        container.name = name;
        r.application->containers.push_back(std::move(container));
        if (SKF_ULONG rc = call.save()) return rc;
        *phContainer = open_container(call, hApplication, r, name);
        return SAR_OK;
    });
}

SKF_ULONG DEVAPI SKF_DeleteContainer(HAPPLICATION hApplication, SKF_LPSTR szContainerName)
{
    return run_call("SKF_DeleteContainer", [&](Call& call) -> SKF_ULONG {
        Resolved r;
        std::string name;
        if (SKF_ULONG rc = named_container(call, hApplication, szContainerName, r, name)) return rc;
        if (!call.logged_in(r.device->name, r.application->name, USER_TYPE)) return SAR_USER_NOT_LOGGED_IN;
        auto& list = r.application->containers;
        auto it = std::find_if(list.begin(), list.end(), [&](const Container& c) { return c.name == name; });
        if (it == list.end()) return SAR_FAIL;
        list.erase(it);
        if (SKF_ULONG rc = call.save()) return rc;
        call.close_handles_of(r.device->name, r.application->name, name);
        return SAR_OK;
    });
}

SKF_ULONG DEVAPI SKF_GetContainerType(HCONTAINER hContainer, SKF_ULONG* pulContainerType)
{
    return run_call("SKF_GetContainerType", [&](Call& call) -> SKF_ULONG {
        Resolved r;
        if (SKF_ULONG rc = call.resolve(hContainer, HandleKind::container, r)) return rc;
        if (pulContainerType == nullptr) return SAR_INVALIDPARAMERR;
        if (SKF_ULONG rc = call.check_faults(scope_of(r))) return rc;
        const Container& c = *r.container;
        const std::optional<KeyPair>& key = c.sign_key ? c.sign_key : c.enc_key;
        *pulContainerType = !key                        ? SKF_CONTAINER_TYPE_UNDEF
                            : key->type == KeyType::rsa ? SKF_CONTAINER_TYPE_RSA
                                                        : SKF_CONTAINER_TYPE_ECC;
        return SAR_OK;
    });
}

SKF_ULONG DEVAPI SKF_ImportCertificate(HCONTAINER hContainer, SKF_BOOL bSignFlag, SKF_BYTE* pbCert, SKF_ULONG ulCertLen)
{
    return run_call("SKF_ImportCertificate", [&](Call& call) -> SKF_ULONG {
        Resolved r;
        if (SKF_ULONG rc = call.resolve(hContainer, HandleKind::container, r)) return rc;
        if (!looks_like_certificate(pbCert, ulCertLen)) return SAR_INVALIDPARAMERR;
        if (SKF_ULONG rc = call.check_faults(scope_of(r))) return rc;
        if (!call.logged_in(r.device->name, r.application->name, USER_TYPE)) return SAR_USER_NOT_LOGGED_IN;
        (bSignFlag ? r.container->sign_cert : r.container->enc_cert).assign(pbCert, pbCert + ulCertLen);
        return call.save();
    });
}

SKF_ULONG DEVAPI SKF_ExportCertificate(HCONTAINER hContainer, SKF_BOOL bSignFlag, SKF_BYTE* pbCert,
                                       SKF_ULONG* pulCertLen)
{
    return run_call("SKF_ExportCertificate", [&](Call& call) -> SKF_ULONG {
        Resolved r;
        if (SKF_ULONG rc = call.resolve(hContainer, HandleKind::container, r)) return rc;
        if (pulCertLen == nullptr) return SAR_INVALIDPARAMERR;
        if (SKF_ULONG rc = call.check_faults(scope_of(r))) return rc;
        const Bytes& cert = bSignFlag ? r.container->sign_cert : r.container->enc_cert;
        if (cert.empty()) return SAR_CERTNOTFOUNTERR;
        return put_bytes(cert, pbCert, pulCertLen, call.hostile());
    });
}

SKF_ULONG DEVAPI SKF_ExportPublicKey(HCONTAINER hContainer, SKF_BOOL bSignFlag, SKF_BYTE* pbBlob, SKF_ULONG* pulBlobLen)
{
    return run_call("SKF_ExportPublicKey", [&](Call& call) -> SKF_ULONG {
        Resolved r;
        if (SKF_ULONG rc = call.resolve(hContainer, HandleKind::container, r)) return rc;
        if (pulBlobLen == nullptr) return SAR_INVALIDPARAMERR;
        if (SKF_ULONG rc = call.check_faults(scope_of(r))) return rc;
        const std::optional<KeyPair>& key = bSignFlag ? r.container->sign_key : r.container->enc_key;
        if (!key) return SAR_KEYNOTFOUNTERR;
        Bytes blob = key->type == KeyType::sm2 ? struct_bytes(ecc_public_blob(*key))
                                               : struct_bytes(rsa_public_blob(*key));
        return put_bytes(std::move(blob), pbBlob, pulBlobLen, call.hostile());
    });
}

}  // extern "C"
