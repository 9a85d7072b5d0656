#include "posix_store.h"

#include <windows.h>
#include <wincrypt.h>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "posix_keyfile.h"
#include "posix_nothrow.h"
#include "posix_storefiles.h"
#include "posix_utf.h"

namespace {

struct Store {
    std::vector<PCCERT_CONTEXT> certs;  // one reference each
};

std::string lowerExtension(const std::string& name)
{
    size_t dot = name.rfind('.');
    if (dot == std::string::npos) return {};
    std::string ext = name.substr(dot);
    for (auto& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return ext;
}

bool isCertificateFile(const std::string& name)
{
    std::string ext = lowerExtension(name);
    return ext == ".cer" || ext == ".crt" || ext == ".der" || ext == ".pem";
}

// A store name is one directory name: nothing that leads elsewhere.
bool isPlainName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

Store* openStore(const std::string& name)
{
    auto* store = new Store{};
    if (!isPlainName(name)) return store;
    std::string dir = posix_storesDirectory() + "/" + name;
    DIR* d = opendir(dir.c_str());
    if (d == nullptr) return store;
    // Names are looked up in the open directory, so the path to it is
    // walked once, not once for each file.
    std::vector<std::string> files, all;
    while (dirent* e = readdir(d)) {
        all.push_back(e->d_name);
        if (isCertificateFile(e->d_name)) files.push_back(e->d_name);
    }
    std::sort(files.begin(), files.end());
    std::sort(all.begin(), all.end());
    for (const auto& f : files) {
        // The private key of a certificate file is the file of the same name
        // with the extension ".key"; a name the directory does not list is
        // not there to read.
        std::string keyName = f.substr(0, f.rfind('.')) + ".key";
        bool hasKey = std::binary_search(all.begin(), all.end(), keyName) &&
                      faccessat(dirfd(d), keyName.c_str(), R_OK, 0) == 0;
        for (auto& decoded : posix_storeFileCerts(dirfd(d), dir, f)) {
            PCCERT_CONTEXT cert = posix_contextOf(std::move(decoded));
            if (hasKey) posix_setKeyFile(cert, dir + "/" + keyName);
            store->certs.push_back(cert);
        }
    }
    closedir(d);
    return store;
}

}  // namespace

std::string posix_storesDirectory()
{
    if (const char* stores = std::getenv("DSC_JNA_STORES"); stores != nullptr && stores[0] != 0) return stores;
    const char* data = std::getenv("XDG_DATA_HOME");
    std::string base = data != nullptr && data[0] != 0
                           ? data
                           : std::string(std::getenv("HOME") ? std::getenv("HOME") : "") + "/.local/share";
    return base + "/dsc_jna/stores";
}

HCERTSTORE CertOpenSystemStoreW(HCRYPTPROV_LEGACY, LPCWSTR storeName)
{
    if (storeName == nullptr) {
        SetLastError(static_cast<DWORD>(E_INVALIDARG));
        return nullptr;
    }
    return posix_noThrow([&]() -> HCERTSTORE {
        return openStore(posix_wideToUtf8(storeName, static_cast<size_t>(lstrlenW(storeName))));
    });
}

PCCERT_CONTEXT CertEnumCertificatesInStore(HCERTSTORE handle, PCCERT_CONTEXT previous)
{
    auto* store = static_cast<Store*>(handle);
    if (store == nullptr) {
        SetLastError(static_cast<DWORD>(E_INVALIDARG));
        return nullptr;
    }
    // As on Windows: the previous context is released, the next one comes
    // with a reference of its own.
    size_t next = 0;
    if (previous != nullptr) {
        auto it = std::find(store->certs.begin(), store->certs.end(), previous);
        next = it == store->certs.end() ? store->certs.size() : static_cast<size_t>(it - store->certs.begin()) + 1;
        CertFreeCertificateContext(previous);
    }
    if (next >= store->certs.size()) {
        SetLastError(static_cast<DWORD>(CRYPT_E_NOT_FOUND));
        return nullptr;
    }
    return CertDuplicateCertificateContext(store->certs[next]);
}

BOOL CertCloseStore(HCERTSTORE handle, DWORD)
{
    auto* store = static_cast<Store*>(handle);
    if (store == nullptr) return TRUE;
    for (PCCERT_CONTEXT cert : store->certs) CertFreeCertificateContext(cert);
    delete store;
    return TRUE;
}
