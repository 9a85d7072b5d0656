// Text-oriented registry and loader helpers. The registry root is always
// HKEY_LOCAL_MACHINE, read in the view of the library's own bitness: the
// 32-bit view (WOW6432Node on 64-bit Windows) for the 32-bit library, the
// 64-bit view for the x64 one. Texts are in the system code page.
#pragma once

#include "tcore_list.h"

// Size in bytes of the value; with `out`, reads it into `cap` zeroed bytes
// and returns the bytes read. -110021 missing key, -110027 missing value,
// -10003 when `cap` is too small.
int tcore_wreg_queryValue(void* out, const wchar_t* subkey, int cap, const wchar_t* valueName);

// The value as text into a 256-byte area: its length (at most 255), or with
// `out` null the length plus one. An empty subkey is the root, an empty value
// name the key's default value.
int tcore_wreg_getValue(const char* subkey, const char* valueName, char* out);

// A number: a REG_DWORD value, or a text of decimal digits. 0 with the
// number in *out; -110021 missing key, -110027 missing value (neither is
// traced: a setting may be left out), -10002 for a value of another type or
// a text that is not a number below 2^32.
int tcore_wreg_getNumber(const char* subkey, const char* valueName, unsigned* out);

// The subkey names, in the registry's enumeration order, into a list created
// on the first name (items released with tcore_free). Returns the count.
int tcore_wreg_getKeys(const char* subkey, tcore_list** list);

// A key opened once to list its subkeys and read values under them, instead
// of opening the whole path from the root for each; null stands for the
// root itself.
typedef void* tcore_wreg_key;
// Opens `subkey` (null or empty: the root) as tcore_wreg_getKeys does: 0,
// -110021 when it cannot be opened, -10002 without `key`.
int tcore_wreg_openParent(const char* subkey, tcore_wreg_key* key);
void tcore_wreg_closeParent(tcore_wreg_key key);
// tcore_wreg_getKeys of an opened key.
int tcore_wreg_getKeysOf(tcore_wreg_key key, tcore_list** list);
// tcore_wreg_getValue of `subkey` under `parent`.
int tcore_wreg_getValueUnder(tcore_wreg_key parent, const char* subkey, const char* valueName, char* out);

// The loaded module (an HMODULE), or null for a null or empty path or when
// the library cannot be loaded.
void* tcore_loadLibrary(const char* path);

// Keeps the module holding this code loaded until the process ends, however
// often the host unloads it: for when a thread of ours may still run in it.
void tcore_pinThisModule();
