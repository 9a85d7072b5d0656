#include "posix_store.h"

#include <windows.h>
#include <wincrypt.h>

#include <dirent.h>
#include <unistd.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "posix_keyfile.h"
#include "posix_nothrow.h"
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

// Every certificate a file holds: PEM blocks, or the whole file as DER.
std::vector<std::string> certificatesIn(const std::string& content)
{
    std::vector<std::string> ders;
    if (content.find("-----BEGIN") == std::string::npos) {
        ders.push_back(content);
        return ders;
    }
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_mem_buf(content.data(), static_cast<int>(content.size())),
                                                  BIO_free);
    while (X509* x = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr)) {
        unsigned char* der = nullptr;
        int len = i2d_X509(x, &der);
        if (len > 0) ders.emplace_back(reinterpret_cast<char*>(der), static_cast<size_t>(len));
        OPENSSL_free(der);
        X509_free(x);
    }
    return ders;
}

Store* openStore(const std::string& name)
{
    auto* store = new Store{};
    if (!isPlainName(name)) return store;
    std::string dir = posix_storesDirectory() + "/" + name;
    std::vector<std::string> files;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (isCertificateFile(e->d_name)) files.push_back(e->d_name);
        closedir(d);
    }
    std::sort(files.begin(), files.end());
    for (const auto& f : files) {
        // The private key of a certificate file is the file of the same name
        // with the extension ".key".
        std::string keyFile = dir + "/" + f.substr(0, f.rfind('.')) + ".key";
        bool hasKey = access(keyFile.c_str(), R_OK) == 0;
        std::ifstream in(dir + "/" + f, std::ios::binary);
        std::ostringstream content;
        content << in.rdbuf();
        for (const auto& der : certificatesIn(content.str())) {
            PCCERT_CONTEXT cert = CertCreateCertificateContext(
                X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()), static_cast<DWORD>(der.size()));
            if (cert == nullptr) continue;
            if (hasKey) posix_setKeyFile(cert, keyFile);
            store->certs.push_back(cert);
        }
    }
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
