// Conversions between the system (ANSI) code page, UTF-8 and wide text.
// Each allocates its NUL-terminated result, stores it through `out` and
// returns the number of units converted (terminator not counted); the caller
// releases the result with tcore_free. Lengths <= 0 mean "up to the NUL".
// Wide text is the platform's WCHAR, which is wchar_t: the header needs no
// platform header of its own.
#pragma once

#include <cwchar>

int tcore_mbToWide(const char* src, int len, wchar_t** out);
int tcore_wideToMb(const wchar_t* src, int len, char** out);
int tcore_utf8ToWide(const char* src, wchar_t** out);
int tcore_wideToUtf8(const wchar_t* src, int len, char** out);
int tcore_mbToUtf8(const char* src, int len, char** out);
int tcore_utf8ToMb(const char* src, char** out);
