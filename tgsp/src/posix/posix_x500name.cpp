#include "posix_x500name.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// One DER element inside [p, end).
struct Element {
    unsigned char tag = 0;
    const unsigned char* body = nullptr;
    size_t len = 0;
};

// Reads the element at `p`, which must lie wholly before `end`.
bool read(const unsigned char*& p, const unsigned char* end, Element* e)
{
    if (end - p < 2) return false;
    e->tag = p[0];
    size_t len = p[1];
    const unsigned char* q = p + 2;
    if (len >= 0x80) {
        size_t n = len - 0x80;
        if (n == 0 || n > 4 || static_cast<size_t>(end - q) < n) return false;
        len = 0;
        for (size_t i = 0; i < n; ++i) len = (len << 8) | *q++;
    }
    if (static_cast<size_t>(end - q) < len) return false;
    e->body = q;
    e->len = len;
    p = q + len;
    return true;
}

struct Key {
    const char* oid;
    const char* name;
};

// The X.500 keys Windows prints; any other attribute type is "OID." + dotted.
const Key kKeys[] = {
    {"2.5.4.3", "CN"},
    {"2.5.4.7", "L"},
    {"2.5.4.10", "O"},
    {"2.5.4.11", "OU"},
    {"1.2.840.113549.1.9.1", "E"},
    {"2.5.4.6", "C"},
    {"2.5.4.8", "S"},
    {"2.5.4.9", "STREET"},
    {"2.5.4.12", "T"},
    {"2.5.4.42", "G"},
    {"2.5.4.43", "I"},
    {"2.5.4.4", "SN"},
    {"0.9.2342.19200300.100.1.25", "DC"},
    {"2.5.4.13", "Description"},
    {"2.5.4.17", "PostalCode"},
    {"2.5.4.18", "POBox"},
    {"2.5.4.20", "Phone"},
    {"2.5.4.24", "X21Address"},
    {"2.5.4.46", "dnQualifier"},
    {"2.5.4.5", "SERIALNUMBER"},
};

bool dottedOid(const Element& e, std::string* out)
{
    if (e.tag != 0x06 || e.len == 0) return false;
    std::string text;
    uint64_t value = 0;
    bool first = true;
    for (size_t i = 0; i < e.len; ++i) {
        if (value >> 56) return false;
        value = (value << 7) | (e.body[i] & 0x7F);
        if (e.body[i] & 0x80) continue;
        if (first) {
            uint64_t top = value < 40 ? 0 : value < 80 ? 1 : 2;
            text = std::to_string(top) + "." + std::to_string(value - 40 * top);
            first = false;
        } else {
            text += "." + std::to_string(value);
        }
        value = 0;
    }
    if (e.body[e.len - 1] & 0x80) return false;
    *out = text;
    return true;
}

void append(std::u32string* out, const char* ascii)
{
    while (*ascii) out->push_back(static_cast<unsigned char>(*ascii++));
}

// Strict UTF-8; false on any invalid or cut sequence.
bool utf8(const unsigned char* s, size_t len, std::u32string* out, bool strict)
{
    for (size_t i = 0; i < len;) {
        unsigned char c = s[i];
        size_t need = c < 0x80                   ? 0
                      : (c >= 0xC2 && c <= 0xDF) ? 1
                      : (c >= 0xE0 && c <= 0xEF) ? 2
                      : (c >= 0xF0 && c <= 0xF4) ? 3
                                                 : 4;
        char32_t cp = need == 0 ? c : need == 1 ? (c & 0x1F) : need == 2 ? (c & 0x0F) : (c & 0x07);
        size_t j = 1;
        if (need < 4)
            for (; j <= need && i + j < len && (s[i + j] & 0xC0) == 0x80; ++j) cp = (cp << 6) | (s[i + j] & 0x3F);
        bool bad = need == 4 || j <= need || (need == 2 && cp < 0x800) ||
                   (need == 3 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF);
        if (bad) {
            if (strict) return false;
            // As MultiByteToWideChar does: the lead byte becomes U+FFFD.
            out->push_back(0xFFFD);
            ++i;
            continue;
        }
        out->push_back(cp);
        i += need + 1;
    }
    return true;
}

void latin1(const unsigned char* s, size_t len, std::u32string* out)
{
    for (size_t i = 0; i < len; ++i) out->push_back(s[i]);
}

void hexValue(const unsigned char* s, size_t len, std::u32string* out)
{
    static const char digits[] = "0123456789ABCDEF";
    out->push_back('#');
    for (size_t i = 0; i < len; ++i) {
        out->push_back(static_cast<unsigned char>(digits[s[i] >> 4]));
        out->push_back(static_cast<unsigned char>(digits[s[i] & 15]));
    }
}

// The value's characters by its string type, as Windows decodes them.
bool valueText(const Element& e, std::u32string* out)
{
    switch (e.tag) {
    case 0x0C:  // UTF8String
        return utf8(e.body, e.len, out, false);
    case 0x14: {  // T61String: UTF-8 when it is valid UTF-8, else 8-bit
        std::u32string decoded;
        if (utf8(e.body, e.len, &decoded, true))
            *out = decoded;
        else
            latin1(e.body, e.len, out);
        return true;
    }
    case 0x1E:  // BMPString, UCS-2 big-endian
        if (e.len % 2 != 0) return false;
        for (size_t i = 0; i < e.len; i += 2) out->push_back(static_cast<char32_t>(e.body[i] << 8 | e.body[i + 1]));
        return true;
    case 0x1C:  // UniversalString, UCS-4 big-endian
        if (e.len % 4 != 0) return false;
        for (size_t i = 0; i < e.len; i += 4)
            out->push_back(static_cast<char32_t>(uint32_t(e.body[i]) << 24 | uint32_t(e.body[i + 1]) << 16 |
                                                 uint32_t(e.body[i + 2]) << 8 | e.body[i + 3]));
        return true;
    case 0x12:
    case 0x13:
    case 0x15:
    case 0x16:
    case 0x19:
    case 0x1A:
    case 0x1B:  // 8-bit string types
        latin1(e.body, e.len, out);
        return true;
    default:  // octet strings and other types are written in hexadecimal
        hexValue(e.body, e.len, out);
        return true;
    }
}

bool isBlank(char32_t c) { return c == ' ' || (c >= 0x09 && c <= 0x0D); }

bool needsQuotes(const std::u32string& v)
{
    if (v.empty() || isBlank(v.front()) || isBlank(v.back())) return true;
    for (char32_t c : v)
        if (c < 0x80 && std::strchr(",+=\"\n<>#;", static_cast<int>(c)) != nullptr && c != 0) return true;
    return false;
}

void appendValue(std::u32string* out, const std::u32string& v)
{
    if (!needsQuotes(v)) {
        *out += v;
        return;
    }
    out->push_back('"');
    for (char32_t c : v) {
        if (c == '"') out->push_back('"');
        out->push_back(c);
    }
    out->push_back('"');
}

// The contents octets of a dotted OID of the table.
std::string encodedOid(const char* dotted)
{
    std::vector<uint64_t> arcs;
    for (const char* p = dotted; *p != 0;) {
        char* next = nullptr;
        arcs.push_back(std::strtoull(p, &next, 10));
        p = *next == '.' ? next + 1 : next;
    }
    std::string out;
    auto base128 = [&](uint64_t v) {
        char groups[10];
        int n = 0;
        do groups[n++] = static_cast<char>(v & 0x7F);
        while ((v >>= 7) != 0);
        while (n > 1) out.push_back(static_cast<char>(groups[--n] | 0x80));
        out.push_back(groups[0]);
    };
    base128(arcs[0] * 40 + arcs[1]);
    for (size_t i = 2; i < arcs.size(); ++i) base128(arcs[i]);
    return out;
}

// The key of a type whose contents are the encoding of a table OID; null
// for any other type. Comparing the octets spares the dotted text of the
// common types; an OID encoded another way still reads as its text does.
const char* keyOfEncoded(const Element& type)
{
    static const std::vector<std::string> encodings = [] {
        std::vector<std::string> all;
        for (const auto& k : kKeys) all.push_back(encodedOid(k.oid));
        return all;
    }();
    if (type.tag != 0x06) return nullptr;
    for (size_t i = 0; i < encodings.size(); ++i)
        if (encodings[i].size() == type.len && std::memcmp(encodings[i].data(), type.body, type.len) == 0)
            return kKeys[i].name;
    return nullptr;
}

bool renderAttribute(const Element& atv, std::u32string* out)
{
    const unsigned char* p = atv.body;
    const unsigned char* end = atv.body + atv.len;
    Element type, value;
    if (atv.tag != 0x30 || !read(p, end, &type) || !read(p, end, &value) || p != end) return false;
    const char* key = keyOfEncoded(type);
    std::string oid;
    if (key == nullptr && !dottedOid(type, &oid)) return false;
    if (key == nullptr)
        for (const auto& k : kKeys)
            if (oid == k.oid) key = k.name;
    if (key == nullptr) {
        append(out, "OID.");
        append(out, oid.c_str());
    } else {
        append(out, key);
    }
    out->push_back('=');
    std::u32string text;
    if (!valueText(value, &text)) return false;
    appendValue(out, text);
    return true;
}

}  // namespace

bool posix_x500_render(const unsigned char* der, size_t len, std::u32string* out)
{
    if (der == nullptr || out == nullptr) return false;
    const unsigned char* p = der;
    const unsigned char* end = der + len;
    Element name;
    if (!read(p, end, &name) || name.tag != 0x30) return false;
    std::u32string text;
    const unsigned char* r = name.body;
    const unsigned char* rEnd = name.body + name.len;
    while (r < rEnd) {
        Element rdn;
        if (!read(r, rEnd, &rdn) || rdn.tag != 0x31) return false;
        if (!text.empty()) append(&text, ", ");
        const unsigned char* a = rdn.body;
        const unsigned char* aEnd = rdn.body + rdn.len;
        bool firstAttribute = true;
        while (a < aEnd) {
            Element atv;
            if (!read(a, aEnd, &atv)) return false;
            if (!firstAttribute) append(&text, " + ");
            if (!renderAttribute(atv, &text)) return false;
            firstAttribute = false;
        }
    }
    *out = text;
    return true;
}
