// A platform-encoded X.500 name as the DN text certificates are compared and
// shown by, for the modules of this layer that hold the name itself.
#pragma once

#include <windows.h>
#include <wincrypt.h>

// The name in the platform's X.500 form, UTF-8, into `cap` bytes (with a
// null `out`, the room it needs); the length with its NUL.
int twcyt_name_toStr(const CERT_NAME_BLOB* name, DWORD encodingType, char* out, int cap);
