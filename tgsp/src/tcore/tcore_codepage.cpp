#include "tcore_codepage.h"

#include <windows.h>

#include <cstring>

#include "tcore_errors.h"
#include "tcore_mem.h"
#include "tcore_sources.h"
#include "tcore_trace.h"

namespace {

// The two-call pattern: ask for the size, allocate once, convert.
int toWide(UINT codePage, const char* src, int len, WCHAR** out, int failure)
{
    if (src == nullptr || out == nullptr) return TCORE_ERR_PARAM;
    if (len <= 0) len = static_cast<int>(std::strlen(src));
    int n = MultiByteToWideChar(codePage, 0, src, len, nullptr, 0);
    if (n == 0) {
        TCORE_TRACE_SYS(TSRC_TCORE_MISC_WIN, "MultiByteToWideChar");
        return failure;
    }
    auto* wide = static_cast<WCHAR*>(tcore_zalloc((static_cast<size_t>(n) + 1) * sizeof(WCHAR)));
    *out = wide;
    return MultiByteToWideChar(codePage, 0, src, len, wide, n);
}

int fromWide(UINT codePage, const WCHAR* src, int len, char** out, int failure)
{
    if (src == nullptr || out == nullptr) return TCORE_ERR_PARAM;
    if (len <= 0) len = lstrlenW(src);
    int n = WideCharToMultiByte(codePage, 0, src, len, nullptr, 0, nullptr, nullptr);
    if (n == 0) {
        TCORE_TRACE_SYS(TSRC_TCORE_MISC_WIN, "WideCharToMultiByte");
        return failure;
    }
    auto* bytes = static_cast<char*>(tcore_zalloc(static_cast<size_t>(n) + 1));
    *out = bytes;
    return WideCharToMultiByte(codePage, 0, src, len, bytes, n, nullptr, nullptr);
}

// Two steps through wide text; the intermediate text is released and a
// failure of the first step leaves `out` untouched.
template <typename First, typename Second>
int throughWide(First first, Second second, char** out)
{
    WCHAR* wide = nullptr;
    int n = first(&wide);
    if (n < 0) return n;
    int result = second(wide, n, out);
    tcore_free(wide);
    return result;
}

}  // namespace

int tcore_mbToWide(const char* src, int len, WCHAR** out) { return toWide(CP_ACP, src, len, out, TCORE_ERR_MBTOWIDE); }

int tcore_wideToMb(const WCHAR* src, int len, char** out)
{
    return fromWide(CP_ACP, src, len, out, TCORE_ERR_WIDETOMB);
}

int tcore_utf8ToWide(const char* src, WCHAR** out) { return toWide(CP_UTF8, src, 0, out, TCORE_ERR_UTF8TOWIDE); }

int tcore_wideToUtf8(const WCHAR* src, int len, char** out)
{
    return fromWide(CP_UTF8, src, len, out, TCORE_ERR_WIDETOUTF8);
}

int tcore_mbToUtf8(const char* src, int len, char** out)
{
    if (src == nullptr || out == nullptr) return TCORE_ERR_PARAM;
    return throughWide([&](WCHAR** wide) { return tcore_mbToWide(src, len, wide); }, tcore_wideToUtf8, out);
}

int tcore_utf8ToMb(const char* src, char** out)
{
    if (src == nullptr || out == nullptr) return TCORE_ERR_PARAM;
    return throughWide([&](WCHAR** wide) { return tcore_utf8ToWide(src, wide); }, tcore_wideToMb, out);
}
