// UTF-8 <-> wchar_t (UTF-32 on Linux) with the replacement rules of the
// Windows converters: every byte that does not start a valid sequence, and
// every code point that is not a Unicode scalar value, becomes U+FFFD.
#pragma once

#include <string>

std::wstring posix_utf8ToWide(const char* src, size_t len);
// The same, appended to `out` (no text of its own to allocate and copy).
void posix_utf8AppendWide(const char* src, size_t len, std::wstring& out);
std::string posix_wideToUtf8(const wchar_t* src, size_t len);
// Code points (as the X.500 name renderer yields them) to UTF-8, with the
// same replacement rule.
std::string posix_codePointsToUtf8(const std::u32string& text);
