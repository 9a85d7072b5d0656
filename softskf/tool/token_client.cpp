#include "token_client.h"

#include <cstdio>
#include <cstring>

#include "tool_error.h"

namespace {

const char* sar_name(SKF_ULONG rc)
{
    switch (rc) {
    case SAR_FAIL: return "SAR_FAIL";
    case SAR_NOTSUPPORTYETERR: return "SAR_NOTSUPPORTYETERR";
    case SAR_FILEERR: return "SAR_FILEERR (the state file is not readable JSON)";
    case SAR_INVALIDHANDLEERR: return "SAR_INVALIDHANDLEERR";
    case SAR_INVALIDPARAMERR: return "SAR_INVALIDPARAMERR";
    case SAR_WRITEFILEERR: return "SAR_WRITEFILEERR";
    case SAR_DEVICE_REMOVED: return "SAR_DEVICE_REMOVED";
    case SAR_PIN_INCORRECT: return "SAR_PIN_INCORRECT";
    case SAR_PIN_LOCKED: return "SAR_PIN_LOCKED";
    case SAR_PIN_LEN_RANGE: return "SAR_PIN_LEN_RANGE (PINs have 6 to 16 characters)";
    case SAR_APPLICATION_EXISTS: return "SAR_APPLICATION_EXISTS";
    case SAR_APPLICATION_NOT_EXISTS: return "SAR_APPLICATION_NOT_EXISTS";
    case SAR_APPLICATION_NAME_INVALID: return "SAR_APPLICATION_NAME_INVALID";
    case SAR_USER_NOT_LOGGED_IN: return "SAR_USER_NOT_LOGGED_IN";
    case SAR_FILE_ALREADY_EXIST: return "SAR_FILE_ALREADY_EXIST";
    case SAR_RSAMODULUSLENERR: return "SAR_RSAMODULUSLENERR (1024 or 2048 bits)";
    case SAR_KEYNOTFOUNTERR: return "SAR_KEYNOTFOUNTERR";
    default: return "";
    }
}

}  // namespace

void check_skf(SKF_ULONG rc, const char* function)
{
    if (rc == SAR_OK) return;
    char text[160];
    std::snprintf(text, sizeof text, "%s failed: 0x%08X %s", function, static_cast<unsigned>(rc), sar_name(rc));
    throw ToolError(text);
}

#define SKF_CALL(name, ...) check_skf(skf_.name(__VA_ARGS__), #name)

TokenClient::TokenClient(const std::string& module_path)
{
    if (!skf_.load(module_path)) throw ToolError("cannot load the token module: " + skf_.error());
}

DEVHANDLE TokenClient::connect(const std::string& device)
{
    DEVHANDLE h = nullptr;
    SKF_CALL(SKF_ConnectDev, const_cast<char*>(device.c_str()), &h);
    return h;
}

HAPPLICATION TokenClient::create_application(DEVHANDLE dev, const std::string& name, const std::string& admin_pin,
                                             unsigned admin_retries, const std::string& user_pin, unsigned user_retries)
{
    HAPPLICATION h = nullptr;
    SKF_CALL(SKF_CreateApplication, dev, const_cast<char*>(name.c_str()), const_cast<char*>(admin_pin.c_str()),
             admin_retries, const_cast<char*>(user_pin.c_str()), user_retries, SECURE_ANYONE_ACCOUNT, &h);
    return h;
}

HAPPLICATION TokenClient::open_application(DEVHANDLE dev, const std::string& name)
{
    HAPPLICATION h = nullptr;
    SKF_CALL(SKF_OpenApplication, dev, const_cast<char*>(name.c_str()), &h);
    return h;
}

std::vector<std::string> TokenClient::list_applications(DEVHANDLE dev)
{
    SKF_ULONG size = 0;
    SKF_CALL(SKF_EnumApplication, dev, nullptr, &size);
    std::vector<char> list(size + 2, '\0');
    SKF_CALL(SKF_EnumApplication, dev, list.data(), &size);
    std::vector<std::string> names;
    for (const char* p = list.data(); *p; p += std::strlen(p) + 1) names.emplace_back(p);
    return names;
}

bool TokenClient::has_application(DEVHANDLE dev, const std::string& name)
{
    for (const std::string& app : list_applications(dev))
        if (app == name) return true;
    return false;
}

void TokenClient::verify_user_pin(HAPPLICATION app, const std::string& pin)
{
    SKF_ULONG retries = 0;
    SKF_ULONG rc = skf_.SKF_VerifyPIN(app, USER_TYPE, const_cast<char*>(pin.c_str()), &retries);
    if (rc == SAR_PIN_INCORRECT) throw ToolError("wrong user PIN, " + std::to_string(retries) + " tries left");
    check_skf(rc, "SKF_VerifyPIN");
}

HCONTAINER TokenClient::create_container(HAPPLICATION app, const std::string& name)
{
    HCONTAINER h = nullptr;
    SKF_CALL(SKF_CreateContainer, app, const_cast<char*>(name.c_str()), &h);
    return h;
}

HCONTAINER TokenClient::open_container(HAPPLICATION app, const std::string& name)
{
    HCONTAINER h = nullptr;
    SKF_CALL(SKF_OpenContainer, app, const_cast<char*>(name.c_str()), &h);
    return h;
}

ECCPUBLICKEYBLOB TokenClient::generate_sm2(HCONTAINER con)
{
    ECCPUBLICKEYBLOB blob{};
    SKF_CALL(SKF_GenECCKeyPair, con, SGD_SM2_1, &blob);
    return blob;
}

RSAPUBLICKEYBLOB TokenClient::generate_rsa(HCONTAINER con, unsigned bits)
{
    RSAPUBLICKEYBLOB blob{};
    SKF_CALL(SKF_GenRSAKeyPair, con, bits, &blob);
    return blob;
}

void TokenClient::import_certificate(HCONTAINER con, const ByteString& der, bool signing)
{
    SKF_CALL(SKF_ImportCertificate, con, signing ? TRUE : FALSE, const_cast<unsigned char*>(der.data()),
             static_cast<SKF_ULONG>(der.size()));
}

SKF_ULONG TokenClient::container_type(HCONTAINER con)
{
    SKF_ULONG type = 0;
    SKF_CALL(SKF_GetContainerType, con, &type);
    return type;
}

ECCPUBLICKEYBLOB TokenClient::sm2_public_key(HCONTAINER con)
{
    ECCPUBLICKEYBLOB blob{};
    SKF_ULONG size = sizeof blob;
    SKF_CALL(SKF_ExportPublicKey, con, TRUE, reinterpret_cast<SKF_BYTE*>(&blob), &size);
    return blob;
}

ByteString TokenClient::digest(DEVHANDLE dev, SKF_ULONG algorithm, ECCPUBLICKEYBLOB* key, const ByteString& message)
{
    static unsigned char default_id[] = "1234567812345678";
    SKF_HANDLE hash = nullptr;
    SKF_CALL(SKF_DigestInit, dev, algorithm, key, key ? default_id : nullptr, key ? 16u : 0u, &hash);
    ByteString value(64);
    SKF_ULONG size = static_cast<SKF_ULONG>(value.size());
    SKF_ULONG rc = skf_.SKF_Digest(hash, const_cast<unsigned char*>(message.data()),
                                   static_cast<SKF_ULONG>(message.size()), value.data(), &size);
    skf_.SKF_CloseHandle(hash);
    check_skf(rc, "SKF_Digest");
    value.resize(size);
    return value;
}

ECCSIGNATUREBLOB TokenClient::sign_sm2(DEVHANDLE dev, HCONTAINER con, const ByteString& message)
{
    ECCPUBLICKEYBLOB key = sm2_public_key(con);
    ByteString e = digest(dev, SGD_SM3, &key, message);
    ECCSIGNATUREBLOB sig{};
    SKF_CALL(SKF_ECCSignData, con, e.data(), static_cast<SKF_ULONG>(e.size()), &sig);
    return sig;
}

ByteString TokenClient::sign_rsa(DEVHANDLE dev, HCONTAINER con, const ByteString& message, SKF_ULONG hash_algorithm)
{
    ByteString hash = digest(dev, hash_algorithm, nullptr, message);
    SKF_ULONG size = 0;
    SKF_CALL(SKF_RSASignData, con, hash.data(), static_cast<SKF_ULONG>(hash.size()), nullptr, &size);
    ByteString signature(size);
    SKF_CALL(SKF_RSASignData, con, hash.data(), static_cast<SKF_ULONG>(hash.size()), signature.data(), &size);
    signature.resize(size);
    return signature;
}
