// The private key that belongs to a certificate read from a store file: the
// store records the key file's path on the context it makes.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <string>

// A property id outside the ranges Windows and the library use.
#define POSIX_KEY_FILE_PROP_ID 0x7FFF0001u

void posix_setKeyFile(PCCERT_CONTEXT cert, const std::string& path);
std::string posix_keyFileOf(PCCERT_CONTEXT cert);
