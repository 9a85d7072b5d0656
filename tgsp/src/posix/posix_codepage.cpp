// MultiByteToWideChar / WideCharToMultiByte. Code page 0 (the system code
// page) is the codeset of the process locale as the environment names it
// (LC_ALL, then LC_CTYPE, then LANG): the codeset in the name, or for a name
// without one the codeset the C library has for that locale; UTF-8 when none
// is named or the locale is C. Codesets
// other than UTF-8 go through iconv. As on Windows with flags 0, bad input is
// never an error: undecodable bytes become U+FFFD, unrepresentable characters
// become the default character "?".
#include <windows.h>

#include "posix_nothrow.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "posix_utf.h"

namespace {

// The codeset the C library gives a locale named without one ("zh_CN" is
// GB2312, "zh_TW" BIG5), asked of a locale object of its own so the host's
// locale is never touched. UTF-8 for C and POSIX, and for a locale the
// system does not have.
std::string installedCodeset(const std::string& name)
{
    if (name == "C" || name == "POSIX") return "UTF-8";
    locale_t loc = newlocale(LC_CTYPE_MASK, name.c_str(), static_cast<locale_t>(nullptr));
    if (loc == static_cast<locale_t>(nullptr)) return "UTF-8";
    std::string codeset = nl_langinfo_l(CODESET, loc);
    freelocale(loc);
    return codeset.empty() ? "UTF-8" : codeset;
}

std::string localeCodeset()
{
    for (const char* var : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(var);
        if (value == nullptr || value[0] == 0) continue;
        std::string name(value);
        size_t dot = name.find('.');
        if (dot == std::string::npos) return installedCodeset(name);
        std::string codeset = name.substr(dot + 1);
        size_t at = codeset.find('@');
        if (at != std::string::npos) codeset.resize(at);
        return codeset.empty() ? "UTF-8" : codeset;
    }
    return "UTF-8";
}

bool isUtf8Name(const std::string& codeset)
{
    std::string n;
    for (char c : codeset)
        if (c != '-' && c != '_') n.push_back(static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c));
    return n == "UTF8";
}

// The iconv name of a code page, or empty for UTF-8 (handled without iconv).
std::string codesetOf(UINT codePage)
{
    if (codePage == CP_UTF8) return {};
    std::string codeset = codePage == CP_ACP ? localeCodeset() : "CP" + std::to_string(codePage);
    return isUtf8Name(codeset) ? std::string() : codeset;
}

struct Iconv {
    iconv_t cd;
    explicit Iconv(const std::string& to, const std::string& from) : cd(iconv_open(to.c_str(), from.c_str())) {}
    ~Iconv()
    {
        if (ok()) iconv_close(cd);
    }
    bool ok() const { return cd != reinterpret_cast<iconv_t>(-1); }
};

std::wstring bytesToWide(const std::string& codeset, const char* src, size_t len)
{
    Iconv conv("WCHAR_T", codeset);
    if (!conv.ok()) return posix_utf8ToWide(src, len);
    std::wstring out;
    char* in = const_cast<char*>(src);
    size_t inLeft = len;
    wchar_t buf[256];
    while (inLeft > 0) {
        char* o = reinterpret_cast<char*>(buf);
        size_t oLeft = sizeof buf;
        size_t rc = iconv(conv.cd, &in, &inLeft, &o, &oLeft);
        out.append(buf, (sizeof buf - oLeft) / sizeof(wchar_t));
        if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
            out.push_back(0xFFFD);
            ++in, --inLeft;
            iconv(conv.cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    return out;
}

std::string wideToBytes(const std::string& codeset, const wchar_t* src, size_t len, bool* usedDefault)
{
    Iconv conv(codeset, "WCHAR_T");
    if (!conv.ok()) return posix_wideToUtf8(src, len);
    std::string out;
    char* in = reinterpret_cast<char*>(const_cast<wchar_t*>(src));
    size_t inLeft = len * sizeof(wchar_t);
    char buf[512];
    while (inLeft > 0) {
        char* o = buf;
        size_t oLeft = sizeof buf;
        size_t rc = iconv(conv.cd, &in, &inLeft, &o, &oLeft);
        out.append(buf, sizeof buf - oLeft);
        if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
            out.push_back('?');
            *usedDefault = true;
            in += sizeof(wchar_t), inLeft -= sizeof(wchar_t);
            iconv(conv.cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    return out;
}

// Shared tail of both directions: the size query, the copy and the errors.
template <typename Unit>
int deliver(const std::basic_string<Unit>& converted, Unit* dst, int dstLen)
{
    if (dstLen == 0) return static_cast<int>(converted.size());
    if (converted.size() > static_cast<size_t>(dstLen)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(dst, converted.data(), converted.size() * sizeof(Unit));
    return static_cast<int>(converted.size());
}

}  // namespace

static int MultiByteToWideCharImpl(UINT codePage, DWORD flags, LPCSTR src, int srcLen, LPWSTR dst, int dstLen)
{
    (void)flags;
    if (src == nullptr || srcLen == 0 || srcLen < -1 || dstLen < 0 || (dst == nullptr && dstLen != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // -1 means NUL-terminated, and the terminator is converted too.
    size_t len = srcLen == -1 ? std::strlen(src) + 1 : static_cast<size_t>(srcLen);
    std::string codeset = codesetOf(codePage);
    std::wstring wide = codeset.empty() ? posix_utf8ToWide(src, len) : bytesToWide(codeset, src, len);
    return deliver(wide, dst, dstLen);
}

static int WideCharToMultiByteImpl(UINT codePage, DWORD flags, LPCWSTR src, int srcLen, LPSTR dst, int dstLen,
                                   LPCSTR defaultChar, LPBOOL usedDefaultChar)
{
    (void)flags;
    (void)defaultChar;
    if (src == nullptr || srcLen == 0 || srcLen < -1 || dstLen < 0 || (dst == nullptr && dstLen != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t len = srcLen == -1 ? static_cast<size_t>(lstrlenW(src)) + 1 : static_cast<size_t>(srcLen);
    std::string codeset = codesetOf(codePage);
    bool usedDefault = false;
    std::string bytes = codeset.empty() ? posix_wideToUtf8(src, len) : wideToBytes(codeset, src, len, &usedDefault);
    if (usedDefaultChar != nullptr) *usedDefaultChar = usedDefault ? TRUE : FALSE;
    return deliver(bytes, dst, dstLen);
}

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR src, int srcLen, LPWSTR dst, int dstLen)
{
    return posix_noThrow([&] { return MultiByteToWideCharImpl(codePage, flags, src, srcLen, dst, dstLen); });
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR src, int srcLen, LPSTR dst, int dstLen, LPCSTR defaultChar,
                        LPBOOL usedDefaultChar)
{
    return posix_noThrow([&] {
        return WideCharToMultiByteImpl(codePage, flags, src, srcLen, dst, dstLen, defaultChar, usedDefaultChar);
    });
}
