#include "posix_utf.h"

namespace {

constexpr wchar_t kReplacement = 0xFFFD;

bool isContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

std::wstring posix_utf8ToWide(const char* src, size_t len)
{
    std::wstring out;
    posix_utf8AppendWide(src, len, out);
    return out;
}

void posix_utf8AppendWide(const char* src, size_t len, std::wstring& out)
{
    out.reserve(out.size() + len);
    const auto* s = reinterpret_cast<const unsigned char*>(src);
    size_t i = 0;
    while (i < len) {
        unsigned char c = s[i];
        if (c < 0x80) {
            // A run of ASCII goes in at once.
            size_t run = i + 1;
            while (run < len && s[run] < 0x80) ++run;
            out.append(s + i, s + run);
            i = run;
            continue;
        }
        size_t need = 0;
        char32_t cp = 0;
        char32_t min = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            need = 1, cp = c & 0x1F, min = 0x80;
        } else if (c >= 0xE0 && c <= 0xEF) {
            need = 2, cp = c & 0x0F, min = 0x800;
        } else if (c >= 0xF0 && c <= 0xF4) {
            need = 3, cp = c & 0x07, min = 0x10000;
        } else {
            out.push_back(kReplacement);
            ++i;
            continue;
        }
        size_t j = 1;
        for (; j <= need && i + j < len && isContinuation(s[i + j]); ++j) cp = (cp << 6) | (s[i + j] & 0x3F);
        if (j <= need || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            // An invalid or cut sequence: one replacement for the lead byte,
            // the bytes behind it are looked at again on their own.
            out.push_back(kReplacement);
            ++i;
            continue;
        }
        out.push_back(static_cast<wchar_t>(cp));
        i += need + 1;
    }
}

namespace {

template <typename Unit>
std::string codePointsToUtf8(const Unit* src, size_t len)
{
    std::string out;
    out.reserve(len);
    for (size_t i = 0; i < len; ++i) {
        auto cp = static_cast<char32_t>(src[i]);
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacement;
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

}  // namespace

std::string posix_wideToUtf8(const wchar_t* src, size_t len) { return codePointsToUtf8(src, len); }

std::string posix_codePointsToUtf8(const std::u32string& text) { return codePointsToUtf8(text.data(), text.size()); }
