/* GM/T 0016-2012 (SKF) smart-token interface: the standard's types, packed
 * structures, constants and prototypes. One definition shared by the token
 * layer of the library (which calls vendor libraries through function
 * pointers) and by the soft token (which implements them).
 *
 * ULONG, BOOL and DWORD are 32 bits on every platform, as the standard says;
 * the handles are pointers, so 64 bits wide in an x64 process. DEVAPI is
 * __stdcall on 32-bit Windows, where a mismatch corrupts the stack; x64 has a
 * single calling convention, so there it is empty. */
#ifndef SKFAPI_H
#define SKFAPI_H

#include <stddef.h>
#include <stdint.h>
#ifdef __cplusplus
#include <type_traits>
#endif

#if defined(_WIN32) && !defined(_WIN64)
#define DEVAPI __stdcall
#else
#define DEVAPI
#endif

typedef int8_t INT8;
typedef int16_t INT16;
typedef int32_t INT32;
typedef uint8_t UINT8;
typedef uint16_t UINT16;
typedef uint32_t UINT32;
typedef int32_t SKF_BOOL;
typedef uint8_t SKF_BYTE;
typedef char SKF_CHAR;
typedef int32_t SKF_LONG;
typedef uint32_t SKF_ULONG;
typedef uint32_t SKF_DWORD;
typedef uint32_t FLAGS;
typedef char* SKF_LPSTR;
typedef void* SKF_HANDLE;
typedef SKF_HANDLE DEVHANDLE;
typedef SKF_HANDLE HAPPLICATION;
typedef SKF_HANDLE HCONTAINER;

/* The standard's own spellings. On Windows, <windows.h> already defines
 * BYTE, CHAR, LONG, ULONG, DWORD, BOOL, LPSTR and HANDLE with the same sizes
 * (LONG and ULONG stay 32 bits on x64 too); define them here only where
 * nothing else does. */
#if !defined(_WIN32) && !defined(_WINDEF_) && !defined(_MINWINDEF_) && !defined(SKF_NO_PLAIN_TYPES)
typedef SKF_BOOL BOOL;
typedef SKF_BYTE BYTE;
typedef SKF_CHAR CHAR;
typedef SKF_LONG LONG;
typedef SKF_ULONG ULONG;
typedef SKF_DWORD DWORD;
typedef SKF_LPSTR LPSTR;
typedef SKF_HANDLE HANDLE;
#endif

#ifndef TRUE
#define TRUE 0x00000001
#endif
#ifndef FALSE
#define FALSE 0x00000000
#endif

#define ADMIN_TYPE 0
#define USER_TYPE 1

#define MAX_RSA_MODULUS_LEN 256
#define MAX_RSA_EXPONENT_LEN 4
#define ECC_MAX_XCOORDINATE_BITS_LEN 512
#define ECC_MAX_YCOORDINATE_BITS_LEN 512
#define ECC_MAX_MODULUS_BITS_LEN 512
#define MAX_IV_LEN 32

/* Algorithm ids (SKF numbering) */
#define SGD_SM1_ECB 0x00000101
#define SGD_SM4_ECB 0x00000401
#define SGD_RSA 0x00010000
#define SGD_SM2_1 0x00020100
#define SGD_SM2_2 0x00020200
#define SGD_SM2_3 0x00020400
#define SGD_SM3 0x00000001
#define SGD_SHA1 0x00000002
#define SGD_SHA256 0x00000004

/* Container types */
#define SKF_CONTAINER_TYPE_UNDEF 0
#define SKF_CONTAINER_TYPE_RSA 1
#define SKF_CONTAINER_TYPE_ECC 2

/* Device states */
#define DEV_ABSENT_STATE 0x00000000
#define DEV_PRESENT_STATE 0x00000001
#define DEV_UNKNOW_STATE 0x00000002

/* Access rights */
#define SECURE_NEVER_ACCOUNT 0x00000000
#define SECURE_ADM_ACCOUNT 0x00000001
#define SECURE_USER_ACCOUNT 0x00000010
#define SECURE_ANYONE_ACCOUNT 0x000000FF

/* Return codes (Appendix A) */
#define SAR_OK 0x00000000
#define SAR_FAIL 0x0A000001
#define SAR_UNKNOWNERR 0x0A000002
#define SAR_NOTSUPPORTYETERR 0x0A000003
#define SAR_FILEERR 0x0A000004
#define SAR_INVALIDHANDLEERR 0x0A000005
#define SAR_INVALIDPARAMERR 0x0A000006
#define SAR_READFILEERR 0x0A000007
#define SAR_WRITEFILEERR 0x0A000008
#define SAR_NAMELENERR 0x0A000009
#define SAR_KEYUSAGEERR 0x0A00000A
#define SAR_MODULUSLENERR 0x0A00000B
#define SAR_NOTINITIALIZEERR 0x0A00000C
#define SAR_OBJERR 0x0A00000D
#define SAR_MEMORYERR 0x0A00000E
#define SAR_TIMEOUTERR 0x0A00000F
#define SAR_INDATALENERR 0x0A000010
#define SAR_INDATAERR 0x0A000011
#define SAR_GENRANDERR 0x0A000012
#define SAR_HASHOBJERR 0x0A000013
#define SAR_HASHERR 0x0A000014
#define SAR_GENRSAKEYERR 0x0A000015
#define SAR_RSAMODULUSLENERR 0x0A000016
#define SAR_CSPIMPRTPUBKEYERR 0x0A000017
#define SAR_RSAENCERR 0x0A000018
#define SAR_RSADECERR 0x0A000019
#define SAR_HASHNOTEQUALERR 0x0A00001A
#define SAR_KEYNOTFOUNTERR 0x0A00001B
#define SAR_CERTNOTFOUNTERR 0x0A00001C
#define SAR_NOTEXPORTERR 0x0A00001D
#define SAR_DECRYPTPADERR 0x0A00001E
#define SAR_MACLENERR 0x0A00001F
#define SAR_BUFFER_TOO_SMALL 0x0A000020
#define SAR_KEYINFOTYPEERR 0x0A000021
#define SAR_NOT_EVENTERR 0x0A000022
#define SAR_DEVICE_REMOVED 0x0A000023
#define SAR_PIN_INCORRECT 0x0A000024
#define SAR_PIN_LOCKED 0x0A000025
#define SAR_PIN_INVALID 0x0A000026
#define SAR_PIN_LEN_RANGE 0x0A000027
#define SAR_USER_ALREADY_LOGGED_IN 0x0A000028
#define SAR_USER_PIN_NOT_INITIALIZED 0x0A000029
#define SAR_USER_TYPE_INVALID 0x0A00002A
#define SAR_APPLICATION_NAME_INVALID 0x0A00002B
#define SAR_APPLICATION_EXISTS 0x0A00002C
#define SAR_USER_NOT_LOGGED_IN 0x0A00002D
#define SAR_APPLICATION_NOT_EXISTS 0x0A00002E
#define SAR_FILE_ALREADY_EXIST 0x0A00002F
#define SAR_NO_ROOM 0x0A000030
#define SAR_FILE_NOT_EXIST 0x0A000031
#define SAR_REACH_MAX_CONTAINER_COUNT 0x0A000032

#pragma pack(push, 1)

typedef struct Struct_Version {
    SKF_BYTE major;
    SKF_BYTE minor;
} VERSION;

typedef struct Struct_DEVINFO {
    VERSION Version;
    SKF_CHAR Manufacturer[64];
    SKF_CHAR Issuer[64];
    SKF_CHAR Label[32];
    SKF_CHAR SerialNumber[32];
    VERSION HWVersion;
    VERSION FirmwareVersion;
    SKF_ULONG AlgSymCap;
    SKF_ULONG AlgAsymCap;
    SKF_ULONG AlgHashCap;
    SKF_ULONG DevAuthAlgId;
    SKF_ULONG TotalSpace;
    SKF_ULONG FreeSpace;
    SKF_ULONG MaxECCBufferSize;
    SKF_ULONG MaxBufferSize;
    SKF_BYTE Reserved[64];
} DEVINFO, *PDEVINFO;

typedef struct Struct_RSAPUBLICKEYBLOB {
    SKF_ULONG AlgID;
    SKF_ULONG BitLen;
    SKF_BYTE Modulus[MAX_RSA_MODULUS_LEN];
    SKF_BYTE PublicExponent[MAX_RSA_EXPONENT_LEN];
} RSAPUBLICKEYBLOB, *PRSAPUBLICKEYBLOB;

typedef struct Struct_ECCPUBLICKEYBLOB {
    SKF_ULONG BitLen;
    SKF_BYTE XCoordinate[ECC_MAX_XCOORDINATE_BITS_LEN / 8];
    SKF_BYTE YCoordinate[ECC_MAX_YCOORDINATE_BITS_LEN / 8];
} ECCPUBLICKEYBLOB, *PECCPUBLICKEYBLOB;

typedef struct Struct_ECCSIGNATUREBLOB {
    SKF_BYTE r[ECC_MAX_XCOORDINATE_BITS_LEN / 8];
    SKF_BYTE s[ECC_MAX_XCOORDINATE_BITS_LEN / 8];
} ECCSIGNATUREBLOB, *PECCSIGNATUREBLOB;

#pragma pack(pop)

#ifdef __cplusplus
/* The standard lays the structures out byte by byte; a vendor library fills
 * them at these offsets whatever our compiler would choose. */
#define SKF_LAYOUT(type, member, offset) static_assert(offsetof(type, member) == (offset), #type "." #member " offset");
SKF_LAYOUT(DEVINFO, Version, 0)
SKF_LAYOUT(DEVINFO, Manufacturer, 2)
SKF_LAYOUT(DEVINFO, Issuer, 66)
SKF_LAYOUT(DEVINFO, Label, 130)
SKF_LAYOUT(DEVINFO, SerialNumber, 162)
SKF_LAYOUT(DEVINFO, HWVersion, 194)
SKF_LAYOUT(DEVINFO, FirmwareVersion, 196)
SKF_LAYOUT(DEVINFO, AlgSymCap, 198)
SKF_LAYOUT(DEVINFO, AlgAsymCap, 202)
SKF_LAYOUT(DEVINFO, AlgHashCap, 206)
SKF_LAYOUT(DEVINFO, DevAuthAlgId, 210)
SKF_LAYOUT(DEVINFO, TotalSpace, 214)
SKF_LAYOUT(DEVINFO, FreeSpace, 218)
SKF_LAYOUT(DEVINFO, MaxECCBufferSize, 222)
SKF_LAYOUT(DEVINFO, MaxBufferSize, 226)
SKF_LAYOUT(DEVINFO, Reserved, 230)
SKF_LAYOUT(RSAPUBLICKEYBLOB, AlgID, 0)
SKF_LAYOUT(RSAPUBLICKEYBLOB, BitLen, 4)
SKF_LAYOUT(RSAPUBLICKEYBLOB, Modulus, 8)
SKF_LAYOUT(RSAPUBLICKEYBLOB, PublicExponent, 264)
SKF_LAYOUT(ECCPUBLICKEYBLOB, BitLen, 0)
SKF_LAYOUT(ECCPUBLICKEYBLOB, XCoordinate, 4)
SKF_LAYOUT(ECCPUBLICKEYBLOB, YCoordinate, 68)
SKF_LAYOUT(ECCSIGNATUREBLOB, r, 0)
SKF_LAYOUT(ECCSIGNATUREBLOB, s, 64)
#undef SKF_LAYOUT
static_assert(sizeof(DEVINFO) == 294, "DEVINFO layout");
static_assert(sizeof(RSAPUBLICKEYBLOB) == 268, "RSAPUBLICKEYBLOB layout");
static_assert(sizeof(ECCPUBLICKEYBLOB) == 132, "ECCPUBLICKEYBLOB layout");
static_assert(sizeof(ECCSIGNATUREBLOB) == 128, "ECCSIGNATUREBLOB layout");
static_assert(sizeof(SKF_ULONG) == 4 && sizeof(SKF_BOOL) == 4 && sizeof(SKF_DWORD) == 4, "32-bit ULONG, BOOL, DWORD");
extern "C" {
#endif

/* The nineteen functions the library calls */
SKF_ULONG DEVAPI SKF_EnumDev(SKF_BOOL bPresent, SKF_LPSTR szNameList, SKF_ULONG* pulSize);
SKF_ULONG DEVAPI SKF_ConnectDev(SKF_LPSTR szName, DEVHANDLE* phDev);
SKF_ULONG DEVAPI SKF_DisConnectDev(DEVHANDLE hDev);
SKF_ULONG DEVAPI SKF_GetDevInfo(DEVHANDLE hDev, DEVINFO* pDevInfo);
SKF_ULONG DEVAPI SKF_ChangePIN(HAPPLICATION hApplication, SKF_ULONG ulPINType, SKF_LPSTR szOldPin, SKF_LPSTR szNewPin,
                               SKF_ULONG* pulRetryCount);
SKF_ULONG DEVAPI SKF_VerifyPIN(HAPPLICATION hApplication, SKF_ULONG ulPINType, SKF_LPSTR szPIN,
                               SKF_ULONG* pulRetryCount);
SKF_ULONG DEVAPI SKF_EnumApplication(DEVHANDLE hDev, SKF_LPSTR szAppName, SKF_ULONG* pulSize);
SKF_ULONG DEVAPI SKF_OpenApplication(DEVHANDLE hDev, SKF_LPSTR szAppName, HAPPLICATION* phApplication);
SKF_ULONG DEVAPI SKF_CloseApplication(HAPPLICATION hApplication);
SKF_ULONG DEVAPI SKF_OpenContainer(HAPPLICATION hApplication, SKF_LPSTR szContainerName, HCONTAINER* phContainer);
SKF_ULONG DEVAPI SKF_CloseContainer(HCONTAINER hContainer);
SKF_ULONG DEVAPI SKF_EnumContainer(HAPPLICATION hApplication, SKF_LPSTR szContainerName, SKF_ULONG* pulSize);
SKF_ULONG DEVAPI SKF_GetContainerType(HCONTAINER hContainer, SKF_ULONG* pulContainerType);
SKF_ULONG DEVAPI SKF_ExportCertificate(HCONTAINER hContainer, SKF_BOOL bSignFlag, SKF_BYTE* pbCert,
                                       SKF_ULONG* pulCertLen);
SKF_ULONG DEVAPI SKF_RSASignData(HCONTAINER hContainer, SKF_BYTE* pbData, SKF_ULONG ulDataLen, SKF_BYTE* pbSignature,
                                 SKF_ULONG* pulSignLen);
SKF_ULONG DEVAPI SKF_ECCSignData(HCONTAINER hContainer, SKF_BYTE* pbData, SKF_ULONG ulDataLen,
                                 PECCSIGNATUREBLOB pSignature);
SKF_ULONG DEVAPI SKF_ExportPublicKey(HCONTAINER hContainer, SKF_BOOL bSignFlag, SKF_BYTE* pbBlob,
                                     SKF_ULONG* pulBlobLen);
SKF_ULONG DEVAPI SKF_DigestInit(DEVHANDLE hDev, SKF_ULONG ulAlgID, ECCPUBLICKEYBLOB* pPubKey, unsigned char* pucID,
                                SKF_ULONG ulIDLen, SKF_HANDLE* phHash);
SKF_ULONG DEVAPI SKF_Digest(SKF_HANDLE hHash, SKF_BYTE* pbData, SKF_ULONG ulDataLen, SKF_BYTE* pbHashData,
                            SKF_ULONG* pulHashLen);

/* Further standard functions a complete token offers */
SKF_ULONG DEVAPI SKF_GetDevState(SKF_LPSTR szDevName, SKF_ULONG* pulDevState);
SKF_ULONG DEVAPI SKF_SetLabel(DEVHANDLE hDev, SKF_LPSTR szLabel);
SKF_ULONG DEVAPI SKF_GetPINInfo(HAPPLICATION hApplication, SKF_ULONG ulPINType, SKF_ULONG* pulMaxRetryCount,
                                SKF_ULONG* pulRemainRetryCount, SKF_BOOL* pbDefaultPin);
SKF_ULONG DEVAPI SKF_UnblockPIN(HAPPLICATION hApplication, SKF_LPSTR szAdminPIN, SKF_LPSTR szNewUserPIN,
                                SKF_ULONG* pulRetryCount);
SKF_ULONG DEVAPI SKF_ClearSecureState(HAPPLICATION hApplication);
SKF_ULONG DEVAPI SKF_CreateApplication(DEVHANDLE hDev, SKF_LPSTR szAppName, SKF_LPSTR szAdminPin,
                                       SKF_DWORD dwAdminPinRetryCount, SKF_LPSTR szUserPin,
                                       SKF_DWORD dwUserPinRetryCount, SKF_DWORD dwCreateFileRights,
                                       HAPPLICATION* phApplication);
SKF_ULONG DEVAPI SKF_DeleteApplication(DEVHANDLE hDev, SKF_LPSTR szAppName);
SKF_ULONG DEVAPI SKF_CreateContainer(HAPPLICATION hApplication, SKF_LPSTR szContainerName, HCONTAINER* phContainer);
SKF_ULONG DEVAPI SKF_DeleteContainer(HAPPLICATION hApplication, SKF_LPSTR szContainerName);
SKF_ULONG DEVAPI SKF_GenECCKeyPair(HCONTAINER hContainer, SKF_ULONG ulAlgId, ECCPUBLICKEYBLOB* pBlob);
SKF_ULONG DEVAPI SKF_GenRSAKeyPair(HCONTAINER hContainer, SKF_ULONG ulBitsLen, RSAPUBLICKEYBLOB* pBlob);
SKF_ULONG DEVAPI SKF_ImportCertificate(HCONTAINER hContainer, SKF_BOOL bSignFlag, SKF_BYTE* pbCert,
                                       SKF_ULONG ulCertLen);
SKF_ULONG DEVAPI SKF_DigestUpdate(SKF_HANDLE hHash, SKF_BYTE* pbData, SKF_ULONG ulDataLen);
SKF_ULONG DEVAPI SKF_DigestFinal(SKF_HANDLE hHash, SKF_BYTE* pHashData, SKF_ULONG* pulHashLen);
SKF_ULONG DEVAPI SKF_ECCVerify(DEVHANDLE hDev, ECCPUBLICKEYBLOB* pECCPubKeyBlob, SKF_BYTE* pbData, SKF_ULONG ulDataLen,
                               PECCSIGNATUREBLOB pSignature);
SKF_ULONG DEVAPI SKF_RSAVerify(DEVHANDLE hDev, RSAPUBLICKEYBLOB* pRSAPubKeyBlob, SKF_BYTE* pbData, SKF_ULONG ulDataLen,
                               SKF_BYTE* pbSignature, SKF_ULONG ulSignLen);
SKF_ULONG DEVAPI SKF_GenRandom(DEVHANDLE hDev, SKF_BYTE* pbRandom, SKF_ULONG ulRandomLen);
SKF_ULONG DEVAPI SKF_CloseHandle(SKF_HANDLE hHandle);

#ifdef __cplusplus
}

#if defined(_WIN32) && !defined(_WIN64)
/* Every function above is called through a pointer typed after its
 * prototype. On 32-bit Windows a vendor library's function pops its own
 * arguments (__stdcall); a pointer typed cdecl would pop them again and
 * corrupt the stack only at run time, so the convention is pinned here, in
 * the type, where a change fails the build. */
#define SKF_STDCALL(name, params)                                                                                      \
    static_assert(std::is_same_v<decltype(&name), SKF_ULONG(__stdcall*) params>, #name " is __stdcall");
SKF_STDCALL(SKF_EnumDev, (SKF_BOOL, SKF_LPSTR, SKF_ULONG*))
SKF_STDCALL(SKF_ConnectDev, (SKF_LPSTR, DEVHANDLE*))
SKF_STDCALL(SKF_DisConnectDev, (DEVHANDLE))
SKF_STDCALL(SKF_GetDevInfo, (DEVHANDLE, DEVINFO*))
SKF_STDCALL(SKF_ChangePIN, (HAPPLICATION, SKF_ULONG, SKF_LPSTR, SKF_LPSTR, SKF_ULONG*))
SKF_STDCALL(SKF_VerifyPIN, (HAPPLICATION, SKF_ULONG, SKF_LPSTR, SKF_ULONG*))
SKF_STDCALL(SKF_EnumApplication, (DEVHANDLE, SKF_LPSTR, SKF_ULONG*))
SKF_STDCALL(SKF_OpenApplication, (DEVHANDLE, SKF_LPSTR, HAPPLICATION*))
SKF_STDCALL(SKF_CloseApplication, (HAPPLICATION))
SKF_STDCALL(SKF_OpenContainer, (HAPPLICATION, SKF_LPSTR, HCONTAINER*))
SKF_STDCALL(SKF_CloseContainer, (HCONTAINER))
SKF_STDCALL(SKF_EnumContainer, (HAPPLICATION, SKF_LPSTR, SKF_ULONG*))
SKF_STDCALL(SKF_GetContainerType, (HCONTAINER, SKF_ULONG*))
SKF_STDCALL(SKF_ExportCertificate, (HCONTAINER, SKF_BOOL, SKF_BYTE*, SKF_ULONG*))
SKF_STDCALL(SKF_RSASignData, (HCONTAINER, SKF_BYTE*, SKF_ULONG, SKF_BYTE*, SKF_ULONG*))
SKF_STDCALL(SKF_ECCSignData, (HCONTAINER, SKF_BYTE*, SKF_ULONG, PECCSIGNATUREBLOB))
SKF_STDCALL(SKF_ExportPublicKey, (HCONTAINER, SKF_BOOL, SKF_BYTE*, SKF_ULONG*))
SKF_STDCALL(SKF_DigestInit, (DEVHANDLE, SKF_ULONG, ECCPUBLICKEYBLOB*, unsigned char*, SKF_ULONG, SKF_HANDLE*))
SKF_STDCALL(SKF_Digest, (SKF_HANDLE, SKF_BYTE*, SKF_ULONG, SKF_BYTE*, SKF_ULONG*))
#undef SKF_STDCALL
#endif
#endif

#endif /* SKFAPI_H */
