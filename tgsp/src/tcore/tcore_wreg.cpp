#include "tcore_wreg.h"

#include <windows.h>

#include <cstring>

#include "tcore_codepage.h"
#include "tcore_errors.h"
#include "tcore_mem.h"
#include "tcore_sources.h"
#include "tcore_trace.h"

namespace {

// The registry view of the process's own bitness, fixed when the library is
// built: a 32-bit library reads the 32-bit view (Wow6432Node on 64-bit
// Windows), where installers of 32-bit token software register the libraries
// it can load; an x64 library reads the 64-bit view, where 64-bit installers
// register theirs. A library registered for the other bitness could not be
// loaded into this process anyway.
constexpr REGSAM kView = sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
constexpr REGSAM kReadAccess = KEY_READ | kView;                     // 0x20219 in the 32-bit build
constexpr REGSAM kEnumerateAccess = KEY_ENUMERATE_SUB_KEYS | kView;  // 0x208 in the 32-bit build
constexpr int kMaxText = 255;
constexpr DWORD kNameUnits = 256;

// The key a call reads: one it opened and closes, or the root or a
// caller's opened key, which it leaves open.
struct KeyGuard {
    HKEY key = HKEY_LOCAL_MACHINE;
    bool owned = false;
    ~KeyGuard()
    {
        if (owned) RegCloseKey(key);
    }
};

HKEY rootOr(tcore_wreg_key parent) { return parent != nullptr ? static_cast<HKEY>(parent) : HKEY_LOCAL_MACHINE; }

struct Freed {
    void* p = nullptr;
    ~Freed() { tcore_free(p); }
};

// The registry functions return their error instead of setting the last
// error; the trace reads the last error, so put the real reason there.
int queryFailed(LSTATUS status)
{
    SetLastError(static_cast<DWORD>(status));
    TCORE_TRACE_SYS(TSRC_TCORE_MISC_WIN, "RegQueryValueEx");
    return TCORE_ERR_REG_QUERY;
}

// What tcore_wreg_queryValue does once the key is open.
int queryOpenKey(HKEY key, void* out, int cap, const WCHAR* valueName)
{
    DWORD size = 0;
    LSTATUS status = RegQueryValueExW(key, valueName, nullptr, nullptr, nullptr, &size);
    if (status != ERROR_SUCCESS) return queryFailed(status);
    if (out == nullptr) return static_cast<int>(size);
    if (cap < 0 || static_cast<DWORD>(cap) < size) return TCORE_ERR_BUFSIZE;
    std::memset(out, 0, static_cast<size_t>(cap));
    DWORD read = static_cast<DWORD>(cap);
    status = RegQueryValueExW(key, valueName, nullptr, nullptr, static_cast<BYTE*>(out), &read);
    if (status != ERROR_SUCCESS) return queryFailed(status);
    return static_cast<int>(read);
}

// Opens `subkey` under `parent` with `access` into `guard`; `parent`
// itself for a null or empty one.
int openUnder(HKEY parent, const WCHAR* subkey, REGSAM access, KeyGuard& guard)
{
    guard.key = parent;
    if (subkey == nullptr || lstrlenW(subkey) == 0) return 0;
    HKEY opened = nullptr;
    if (RegOpenKeyExW(parent, subkey, 0, access, &opened) != ERROR_SUCCESS) return TCORE_ERR_REG_OPEN;
    guard.key = opened;
    guard.owned = true;
    return 0;
}

int openForReading(const WCHAR* subkey, KeyGuard& guard)
{
    return openUnder(HKEY_LOCAL_MACHINE, subkey, kReadAccess, guard);
}

// The wide form of a key or value name into `out`; nothing for a null or
// empty one. 0 or the conversion's failure.
int widen(const char* text, Freed& out)
{
    if (text == nullptr || text[0] == 0) return 0;
    WCHAR* w = nullptr;
    int rc = tcore_mbToWide(text, 0, &w);
    if (rc < 0) return rc;
    out.p = w;
    return 0;
}

}  // namespace

int tcore_wreg_queryValue(void* out, const WCHAR* subkey, int cap, const WCHAR* valueName)
{
    KeyGuard guard;
    int opened = openForReading(subkey, guard);
    if (opened < 0) return opened;
    return queryOpenKey(guard.key, out, cap, valueName);
}

int tcore_wreg_getValue(const char* subkey, const char* valueName, char* out)
{
    return tcore_wreg_getValueUnder(nullptr, subkey, valueName, out);
}

int tcore_wreg_getValueUnder(tcore_wreg_key parent, const char* subkey, const char* valueName, char* out)
{
    Freed wideKey, wideName;
    int widened = widen(subkey, wideKey);
    if (widened == 0) widened = widen(valueName, wideName);
    if (widened < 0) return widened;
    auto* name = static_cast<const WCHAR*>(wideName.p);
    // The key is opened once for its size and its value.
    KeyGuard guard;
    int opened = openUnder(rootOr(parent), static_cast<const WCHAR*>(wideKey.p), kReadAccess, guard);
    if (opened < 0) return opened;
    int size = queryOpenKey(guard.key, nullptr, 0, name);
    if (size < 0) return size;
    // One wide unit more than the value, so the text is always terminated
    // even when the value was stored without its NUL.
    Freed raw{tcore_zalloc(static_cast<size_t>(size) + sizeof(WCHAR))};
    int read = queryOpenKey(guard.key, raw.p, size, name);
    if (read < 0) return read;

    int n = 0;
    Freed text;
    if (static_cast<const WCHAR*>(raw.p)[0] != 0) {
        char* mb = nullptr;
        n = tcore_wideToMb(static_cast<const WCHAR*>(raw.p), 0, &mb);
        if (n < 0) return n;
        text.p = mb;
    }
    if (out == nullptr) return n + 1;
    if (n > kMaxText) return TCORE_ERR_BUFSIZE;
    std::memset(out, 0, kMaxText);
    if (n > 0) std::memcpy(out, text.p, static_cast<size_t>(n));
    return n;
}

int tcore_wreg_getNumber(const char* subkey, const char* valueName, unsigned* out)
{
    if (out == nullptr) return TCORE_ERR_PARAM;
    Freed wideKey, wideName;
    if (widen(subkey, wideKey) < 0 || widen(valueName, wideName) < 0) return TCORE_ERR_PARAM;
    KeyGuard guard;
    int opened = openForReading(static_cast<const WCHAR*>(wideKey.p), guard);
    if (opened < 0) return opened;
    DWORD type = REG_NONE;
    DWORD number = 0;
    DWORD size = sizeof number;
    LSTATUS status = RegQueryValueExW(guard.key, static_cast<const WCHAR*>(wideName.p), nullptr, &type,
                                      reinterpret_cast<BYTE*>(&number), &size);
    if (status == ERROR_SUCCESS && type == REG_DWORD && size == sizeof number) {
        *out = number;
        return 0;
    }
    // A setting left out is the usual case, not a failure worth a trace.
    if (status == ERROR_FILE_NOT_FOUND) return TCORE_ERR_REG_QUERY;
    if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) return queryFailed(status);
    if (type != REG_SZ) return TCORE_ERR_PARAM;
    char text[kMaxText + 1] = {0};
    int rc = tcore_wreg_getValue(subkey, valueName, text);
    if (rc < 0) return rc;
    unsigned long long value = 0;
    int digits = 0;
    for (const char* c = text; *c != 0; ++c, ++digits) {
        if (*c < '0' || *c > '9' || digits >= 10) return TCORE_ERR_PARAM;
        value = value * 10 + static_cast<unsigned>(*c - '0');
    }
    if (digits == 0 || value > 0xFFFFFFFFull) return TCORE_ERR_PARAM;
    *out = static_cast<unsigned>(value);
    return 0;
}

int tcore_wreg_getKeys(const char* subkey, tcore_list** list)
{
    if (list == nullptr) return TCORE_ERR_PARAM;
    tcore_wreg_key key = nullptr;
    int opened = tcore_wreg_openParent(subkey, &key);
    if (opened < 0) return opened;
    int count = tcore_wreg_getKeysOf(key, list);
    tcore_wreg_closeParent(key);
    return count;
}

int tcore_wreg_openParent(const char* subkey, tcore_wreg_key* key)
{
    if (key == nullptr) return TCORE_ERR_PARAM;
    *key = nullptr;
    Freed wideKey;
    int widened = widen(subkey, wideKey);
    if (widened < 0) return widened;
    KeyGuard guard;
    int opened = openUnder(HKEY_LOCAL_MACHINE, static_cast<const WCHAR*>(wideKey.p), kEnumerateAccess, guard);
    if (opened < 0) return opened;
    if (guard.owned) *key = guard.key;
    guard.owned = false;
    return 0;
}

void tcore_wreg_closeParent(tcore_wreg_key key)
{
    if (key != nullptr) RegCloseKey(static_cast<HKEY>(key));
}

int tcore_wreg_getKeysOf(tcore_wreg_key key, tcore_list** list)
{
    if (list == nullptr) return TCORE_ERR_PARAM;
    int count = 0;
    WCHAR name[kNameUnits];
    for (DWORD index = 0;; ++index) {
        std::memset(name, 0, sizeof name);
        DWORD len = kNameUnits;
        LSTATUS status = RegEnumKeyExW(rootOr(key), index, name, &len, nullptr, nullptr, nullptr, nullptr);
        // A name too long for the buffer is skipped, so it cannot hide the
        // keys enumerated after it.
        if (status == ERROR_MORE_DATA) continue;
        if (status != ERROR_SUCCESS) break;
        char* mb = nullptr;
        if (tcore_wideToMb(name, static_cast<int>(len), &mb) < 0) continue;
        if (*list == nullptr) *list = tcore_list_new(tcore_free);
        tcore_list_append(*list, mb);
        ++count;
    }
    return count;
}

void* tcore_loadLibrary(const char* path)
{
    if (path == nullptr || path[0] == 0) return nullptr;
    WCHAR* wide = nullptr;
    if (tcore_mbToWide(path, 0, &wide) < 0) return nullptr;
    HMODULE module = LoadLibraryW(wide);
    tcore_free(wide);
    return module;
}

void tcore_pinThisModule()
{
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                            reinterpret_cast<LPCWSTR>(&tcore_pinThisModule), &self))
        TCORE_TRACE_SYS(TSRC_TCORE_MISC_WIN, "GetModuleHandleExW");
}
