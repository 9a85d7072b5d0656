#include <windows.h>

#include <wincrypt.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixtures.h"
#include "gcrypt_init.h"
#include "test_csp.h"

const char* const kTestCspName = "DSC Test SM2 CSP";

namespace {

std::wstring wide(const std::string& text)
{
    int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 1), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, out.data(), n);
    out.resize(out.size() - 1);
    return out;
}

// One hex field of the fixture's "sign_key" object.
std::string keyField(const std::string& keyFixture, const std::string& name)
{
    std::string json = fixture("tokens/" + keyFixture + ".json");
    size_t object = json.find("\"sign_key\"");
    size_t end = json.find('}', object);
    std::string field = "\"" + name + "\": \"";
    size_t start = json.find(field, object);
    if (object == std::string::npos || start == std::string::npos || start > end) {
        ADD_FAILURE() << keyFixture << " has no sign_key." << name;
        return {};
    }
    start += field.size();
    return json.substr(start, json.find('"', start) - start);
}

// The key files of the test CSP live in the Wine user's temporary folder,
// which goes away with the prefix of the test run.
std::string keyFilePath(const std::string& keyFixture)
{
    char temp[MAX_PATH + 1] = {0};
    GetTempPathA(MAX_PATH, temp);
    std::string dir = std::string(temp) + "dsc-test-csp";
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir + "\\" + keyFixture + ".key";
}

std::string writeSm2KeyFile(const std::string& keyFixture)
{
    std::string path = keyFilePath(keyFixture);
    std::string text = "type=sm2\r\nd=" + keyField(keyFixture, "d") + "\r\nx=" + keyField(keyFixture, "x") +
                       "\r\ny=" + keyField(keyFixture, "y") + "\r\n";
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    bool ok = file != INVALID_HANDLE_VALUE &&
              WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
              written == text.size();
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    EXPECT_TRUE(ok) << "cannot write " << path;
    return path;
}

struct Mpi {
    gcry_mpi_t v = nullptr;
    explicit Mpi(const std::string& bigEndian = "")
    {
        if (bigEndian.empty() || gcry_mpi_scan(&v, GCRYMPI_FMT_USG, bigEndian.data(), bigEndian.size(), nullptr))
            v = gcry_mpi_new(0);
    }
    ~Mpi() { gcry_mpi_release(v); }
    Mpi(const Mpi&) = delete;
    Mpi& operator=(const Mpi&) = delete;
};

// `value` little-endian in exactly `width` bytes, as CryptoAPI key blobs hold numbers.
void appendLittleEndian(std::vector<BYTE>& blob, gcry_mpi_t value, size_t width)
{
    std::vector<BYTE> big(width, 0);
    size_t length = 0;
    gcry_mpi_print(GCRYMPI_FMT_USG, nullptr, 0, &length, value);
    ASSERT_LE(length, width);
    if (length > 0) gcry_mpi_print(GCRYMPI_FMT_USG, big.data() + (width - length), length, nullptr, value);
    blob.insert(blob.end(), big.rbegin(), big.rend());
}

// PRIVATEKEYBLOB of an exchange key: header, RSAPUBKEY, then n, p, q,
// d mod (p-1), d mod (q-1), q^-1 mod p and d, each little-endian.
std::vector<BYTE> rsaPrivateKeyBlob(const std::string& keyFixture)
{
    gcrypt_init();
    Mpi n(unhex(keyField(keyFixture, "n"))), d(unhex(keyField(keyFixture, "d")));
    Mpi p(unhex(keyField(keyFixture, "p"))), q(unhex(keyField(keyFixture, "q")));
    Mpi pm1, qm1, dp, dq, qinv;
    gcry_mpi_sub_ui(pm1.v, p.v, 1);
    gcry_mpi_sub_ui(qm1.v, q.v, 1);
    gcry_mpi_mod(dp.v, d.v, pm1.v);
    gcry_mpi_mod(dq.v, d.v, qm1.v);
    EXPECT_TRUE(gcry_mpi_invm(qinv.v, q.v, p.v));
    unsigned long exponent = 0;
    std::string eBytes = unhex(keyField(keyFixture, "e"));
    EXPECT_LE(eBytes.size(), 4u) << "the public exponent must fit RSAPUBKEY.pubexp";
    for (unsigned char c : eBytes) exponent = (exponent << 8) | c;

    size_t modulusBytes = (gcry_mpi_get_nbits(n.v) + 7) / 8;
    size_t halfBytes = (modulusBytes + 1) / 2;
    std::vector<BYTE> blob(sizeof(BLOBHEADER) + sizeof(RSAPUBKEY));
    auto header = reinterpret_cast<BLOBHEADER*>(blob.data());
    header->bType = PRIVATEKEYBLOB;
    header->bVersion = CUR_BLOB_VERSION;
    header->reserved = 0;
    header->aiKeyAlg = CALG_RSA_KEYX;
    auto pub = reinterpret_cast<RSAPUBKEY*>(blob.data() + sizeof(BLOBHEADER));
    pub->magic = 0x32415352;  // "RSA2"
    pub->bitlen = static_cast<DWORD>(modulusBytes * 8);
    pub->pubexp = static_cast<DWORD>(exponent);
    appendLittleEndian(blob, n.v, modulusBytes);
    for (gcry_mpi_t half : {p.v, q.v, dp.v, dq.v, qinv.v}) appendLittleEndian(blob, half, halfBytes);
    appendLittleEndian(blob, d.v, modulusBytes);
    return blob;
}

// A fresh container of Wine's RSA provider holding the fixture's key as its
// exchange key and nothing else.
std::wstring importRsaContainer(const std::string& keyFixture)
{
    std::wstring container = wide("dsc-test-" + keyFixture);
    HCRYPTPROV prov = 0;
    CryptAcquireContextW(&prov, container.c_str(), MS_ENHANCED_PROV_W, PROV_RSA_FULL, CRYPT_DELETEKEYSET);
    if (!CryptAcquireContextW(&prov, container.c_str(), MS_ENHANCED_PROV_W, PROV_RSA_FULL, CRYPT_NEWKEYSET)) {
        ADD_FAILURE() << "cannot create the RSA container, error 0x" << std::hex << GetLastError();
        return container;
    }
    std::vector<BYTE> blob = rsaPrivateKeyBlob(keyFixture);
    HCRYPTKEY key = 0;
    if (CryptImportKey(prov, blob.data(), static_cast<DWORD>(blob.size()), 0, 0, &key))
        CryptDestroyKey(key);
    else
        ADD_FAILURE() << "cannot import the RSA key, error 0x" << std::hex << GetLastError();
    CryptReleaseContext(prov, 0);
    return container;
}

}  // namespace

void test_csp_register()
{
    // advapi32 loads the provider with LoadLibraryW: a Windows path with backslashes.
    std::string image = TEST_CSP_PATH;
    for (char& c : image)
        if (c == '/') c = '\\';
    std::wstring key = L"SOFTWARE\\Microsoft\\Cryptography\\Defaults\\Provider\\" + wide(kTestCspName);
    HKEY provider = nullptr;
    // advapi32 looks the provider up in the default view of the process, the
    // view of its own bitness: the one written here without a view flag.
    LONG rc = RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &provider,
                              nullptr);
    ASSERT_EQ(rc, ERROR_SUCCESS) << "cannot register the test CSP";
    std::wstring path = wide(image);
    DWORD type = PROV_RSA_FULL, sigInFile = 0;
    // "Image Path" must be REG_SZ: Wine refuses REG_EXPAND_SZ. SigInFile is
    // what Windows expects of a provider without a signature resource.
    RegSetValueExW(provider, L"Image Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                   static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
    RegSetValueExW(provider, L"Type", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&type), sizeof type);
    RegSetValueExW(provider, L"SigInFile", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&sigInFile), sizeof sigInFile);
    RegCloseKey(provider);
}

void test_stores_addWithKey(const char* storeName, const std::string& der, const std::string& keyFixture,
                            bool withProvInfo)
{
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER,
                                     wide(storeName).c_str());
    ASSERT_NE(store, nullptr) << "cannot open store " << storeName;
    // A copy added earlier goes first, with whatever key property it had:
    // replacing it would not drop the property.
    PCCERT_CONTEXT cert = CertCreateCertificateContext(X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                                       static_cast<DWORD>(der.size()));
    if (cert != nullptr) {
        if (PCCERT_CONTEXT old = CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, cert,
                                                            nullptr)) {
            CertDeleteCertificateFromStore(old);
            CertControlStore(store, 0, CERT_STORE_CTRL_COMMIT, nullptr);
        }
        CertFreeCertificateContext(cert);
        cert = nullptr;
    }
    if (!CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                          static_cast<DWORD>(der.size()), CERT_STORE_ADD_NEW, &cert)) {
        CertCloseStore(store, 0);
        FAIL() << "cannot add the certificate to " << storeName;
    }
    std::wstring container, provider;
    DWORD keySpec = 0;
    if (withProvInfo) {
        if (keyFixture.rfind("sm2_", 0) == 0) {
            test_csp_register();
            container = wide(writeSm2KeyFile(keyFixture));
            provider = wide(kTestCspName);
            keySpec = AT_SIGNATURE;
        } else {
            container = importRsaContainer(keyFixture);
            provider = MS_ENHANCED_PROV_W;
            keySpec = AT_KEYEXCHANGE;
        }
    }
    CRYPT_KEY_PROV_INFO info{};
    info.pwszContainerName = container.data();
    info.pwszProvName = provider.data();
    info.dwProvType = PROV_RSA_FULL;
    info.dwKeySpec = keySpec;
    BOOL set = !withProvInfo || CertSetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, 0, &info);
    CertFreeCertificateContext(cert);
    // Written out now: after a committed deletion Wine left the new copy
    // unwritten when the store was merely closed.
    CertControlStore(store, CERT_STORE_CTRL_COMMIT_FORCE_FLAG, CERT_STORE_CTRL_COMMIT, nullptr);
    CertCloseStore(store, 0);
    EXPECT_TRUE(set) << "cannot set the key property, error 0x" << std::hex << GetLastError();
}
