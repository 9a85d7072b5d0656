// Conversions between the system (ANSI) code page, UTF-8 and wide text.
// Each allocates its NUL-terminated result, stores it through `out` and
// returns the number of units converted (terminator not counted); the caller
// releases the result with tcore_free. Lengths <= 0 mean "up to the NUL".
#pragma once

#include <windows.h>

int tcore_mbToWide(const char* src, int len, WCHAR** out);
int tcore_wideToMb(const WCHAR* src, int len, char** out);
int tcore_utf8ToWide(const char* src, WCHAR** out);
int tcore_wideToUtf8(const WCHAR* src, int len, char** out);
int tcore_mbToUtf8(const char* src, int len, char** out);
int tcore_utf8ToMb(const char* src, char** out);
