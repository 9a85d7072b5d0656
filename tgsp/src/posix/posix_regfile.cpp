#include "posix_regfile.h"

#include <cstring>
#include <cwctype>

#include "posix_utf.h"
#include "tcore_sources.h"
#include "tcore_trace.h"

namespace {

std::wstring decodeFile(const std::string& bytes)
{
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t n = bytes.size();
    if (n >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
        std::wstring out;
        out.reserve(n / 2);
        for (size_t i = 2; i + 1 < n; i += 2) {
            char32_t unit = b[i] | (b[i + 1] << 8);
            if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < n) {
                char32_t low = b[i + 2] | (b[i + 3] << 8);
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                    i += 2;
                }
            }
            out.push_back(static_cast<wchar_t>(unit));
        }
        return out;
    }
    size_t skip = (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) ? 3 : 0;
    return posix_utf8ToWide(bytes.data() + skip, n - skip);
}

bool isBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

std::wstring trim(const std::wstring& s)
{
    size_t a = 0, b = s.size();
    while (a < b && isBlank(s[a])) ++a;
    while (b > a && isBlank(s[b - 1])) --b;
    return s.substr(a, b - a);
}

// Physical lines joined where a line ends in a backslash (long hex values).
std::vector<std::wstring> logicalLines(const std::wstring& text)
{
    std::vector<std::wstring> lines;
    std::wstring pending;
    bool continuing = false;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find(L'\n', pos);
        if (end == std::wstring::npos) end = text.size();
        std::wstring line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        pos = end + 1;
        std::wstring t = trim(line);
        if (continuing)
            pending += t;
        else
            pending = t;
        continuing = !pending.empty() && pending.back() == L'\\' && pending[0] != L'[' && pending[0] != L';';
        if (continuing) {
            pending.pop_back();
            if (pos <= text.size()) continue;
        }
        lines.push_back(pending);
        pending.clear();
    }
    return lines;
}

std::vector<std::wstring> splitPath(const std::wstring& path)
{
    std::vector<std::wstring> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(L'\\', start);
        if (end == std::wstring::npos) end = path.size();
        if (end > start) parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

bool isRootName(const std::wstring& name)
{
    static const wchar_t* roots[] = {L"HKEY_LOCAL_MACHINE", L"HKEY_CURRENT_USER", L"HKEY_CLASSES_ROOT", L"HKEY_USERS",
                                     L"HKEY_CURRENT_CONFIG"};
    std::wstring folded = posix_reg_fold(name);
    for (const wchar_t* r : roots)
        if (folded == r) return true;
    return false;
}

posix_regkey* createPath(posix_regkey& top, const std::vector<std::wstring>& parts)
{
    posix_regkey* key = &top;
    for (const auto& part : parts) {
        auto& slot = key->subkeys[posix_reg_fold(part)];
        if (!slot) {
            slot = std::make_unique<posix_regkey>();
            slot->name = part;
        }
        key = slot.get();
    }
    return key;
}

void deletePath(posix_regkey& top, const std::vector<std::wstring>& parts)
{
    posix_regkey* parent = &top;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        auto it = parent->subkeys.find(posix_reg_fold(parts[i]));
        if (it == parent->subkeys.end()) return;
        parent = it->second.get();
    }
    parent->subkeys.erase(posix_reg_fold(parts.back()));
}

// A quoted text starting at s[pos] == '"'; on success pos is behind the
// closing quote. Only \\ and \" are escapes, as regedit writes them.
bool parseQuoted(const std::wstring& s, size_t& pos, std::wstring& out)
{
    for (size_t i = pos + 1; i < s.size(); ++i) {
        if (s[i] == L'\\' && i + 1 < s.size() && (s[i + 1] == L'\\' || s[i + 1] == L'"')) {
            out.push_back(s[++i]);
        } else if (s[i] == L'"') {
            pos = i + 1;
            return true;
        } else {
            out.push_back(s[i]);
        }
    }
    return false;
}

int hexDigit(wchar_t c)
{
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

bool parseHexNumber(const std::wstring& s, unsigned maxDigits, DWORD& out)
{
    if (s.empty() || s.size() > maxDigits) return false;
    out = 0;
    for (wchar_t c : s) {
        int d = hexDigit(c);
        if (d < 0) return false;
        out = (out << 4) | static_cast<DWORD>(d);
    }
    return true;
}

bool parseHexBytes(const std::wstring& list, std::vector<BYTE>& out)
{
    std::wstring item;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(L',', start);
        if (end == std::wstring::npos) end = list.size();
        item = trim(list.substr(start, end - start));
        bool last = end == list.size();
        start = end + 1;
        if (item.empty() && last) break;  // nothing, or a trailing comma
        DWORD byte = 0;
        if (item.size() > 2 || !parseHexNumber(item, 2, byte)) return false;
        out.push_back(static_cast<BYTE>(byte));
    }
    return true;
}

void putWideText(const std::wstring& text, std::vector<BYTE>& out)
{
    out.resize((text.size() + 1) * sizeof(wchar_t));
    std::memcpy(out.data(), text.c_str(), out.size());
}

bool isStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// The size Windows stores: texts in UTF-16 units, not wchar_t.
size_t windowsSize(const posix_regvalue& value)
{
    return isStringType(value.type) ? value.data.size() / sizeof(wchar_t) * 2 : value.data.size();
}

// The longest text a value within the limit can take in a file: "hex(N):"
// and three characters ("xx,") per byte, with room for the line breaks.
constexpr size_t kMaxValueText = 4 * static_cast<size_t>(POSIX_REG_MAX_VALUE);

// String types arrive from hex(2)/hex(7) as UTF-16LE bytes; they are handed
// out in wchar_t units like REG_SZ.
void widenUtf16(std::vector<BYTE>& data)
{
    std::string raw(reinterpret_cast<const char*>(data.data()), data.size());
    std::wstring text = decodeFile(std::string("\xFF\xFE", 2) + raw);
    data.resize(text.size() * sizeof(wchar_t));
    std::memcpy(data.data(), text.data(), data.size());
}

// The part of a value line behind '='. Returns false when malformed; sets
// `remove` for "name"=-.
bool parseData(const std::wstring& s, posix_regvalue& value, bool& remove)
{
    remove = false;
    if (s == L"-") {
        remove = true;
        return true;
    }
    if (!s.empty() && s[0] == L'"') {
        size_t pos = 0;
        std::wstring text;
        if (!parseQuoted(s, pos, text) || !trim(s.substr(pos)).empty()) return false;
        value.type = REG_SZ;
        putWideText(text, value.data);
        return true;
    }
    std::wstring lower = s;
    for (auto& c : lower) c = static_cast<wchar_t>(std::towlower(c));
    if (lower.rfind(L"dword:", 0) == 0) {
        DWORD v = 0;
        if (!parseHexNumber(trim(s.substr(6)), 8, v)) return false;
        value.type = REG_DWORD;
        value.data = {static_cast<BYTE>(v), static_cast<BYTE>(v >> 8), static_cast<BYTE>(v >> 16),
                      static_cast<BYTE>(v >> 24)};
        return true;
    }
    if (lower.rfind(L"hex", 0) != 0) return false;
    size_t colon = lower.find(L':');
    if (colon == std::wstring::npos) return false;
    std::wstring kind = lower.substr(3, colon - 3);
    DWORD type = REG_BINARY;
    if (!kind.empty()) {
        if (kind.size() < 3 || kind.front() != L'(' || kind.back() != L')' ||
            !parseHexNumber(kind.substr(1, kind.size() - 2), 8, type))
            return false;
    }
    std::vector<BYTE> bytes;
    if (!parseHexBytes(s.substr(colon + 1), bytes)) return false;
    value.type = type;
    value.data = std::move(bytes);
    if (isStringType(type)) widenUtf16(value.data);
    return true;
}

}  // namespace

posix_regkey::~posix_regkey()
{
    std::vector<std::unique_ptr<posix_regkey>> pending;
    for (auto& [folded, child] : subkeys) pending.push_back(std::move(child));
    subkeys.clear();
    while (!pending.empty()) {
        std::unique_ptr<posix_regkey> key = std::move(pending.back());
        pending.pop_back();
        for (auto& [folded, child] : key->subkeys) pending.push_back(std::move(child));
        key->subkeys.clear();
    }  // each key is destroyed with no subkeys left
}

std::wstring posix_reg_fold(const std::wstring& name)
{
    std::wstring out = name;
    for (auto& c : out)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 32);
    return out;
}

bool posix_regfile_merge(posix_regkey& top, const std::string& fileBytes)
{
    std::vector<std::wstring> lines = logicalLines(decodeFile(fileBytes));
    size_t first = 0;
    while (first < lines.size() && lines[first].empty()) ++first;
    if (first == lines.size()) return false;
    if (lines[first] != L"Windows Registry Editor Version 5.00" && lines[first] != L"REGEDIT4") return false;

    posix_regkey* current = nullptr;
    for (size_t i = first + 1; i < lines.size(); ++i) {
        const std::wstring& line = lines[i];
        if (line.empty() || line[0] == L';') continue;
        if (line[0] == L'[') {
            current = nullptr;  // values after a bad section header go nowhere
            size_t close = line.rfind(L']');
            if (close == std::wstring::npos || !trim(line.substr(close + 1)).empty()) continue;
            std::wstring path = line.substr(1, close - 1);
            bool remove = !path.empty() && path[0] == L'-';
            std::vector<std::wstring> parts = splitPath(remove ? path.substr(1) : path);
            if (parts.empty() || !isRootName(parts[0])) continue;
            if (parts.size() - 1 > POSIX_REG_MAX_DEPTH) {
                TCORE_TRACE(TSRC_POSIX_REGFILE, "key of %u levels is deeper than %d, refused, continue",
                            static_cast<unsigned>(parts.size() - 1), POSIX_REG_MAX_DEPTH);
                continue;
            }
            if (remove) {
                if (parts.size() > 1) deletePath(top, parts);
            } else {
                current = createPath(top, parts);
            }
            continue;
        }
        if (current == nullptr) continue;
        std::wstring name;
        size_t pos = 0;
        if (line[0] == L'@') {
            pos = 1;
        } else if (line[0] != L'"' || !parseQuoted(line, pos, name)) {
            continue;
        }
        while (pos < line.size() && isBlank(line[pos])) ++pos;
        if (pos >= line.size() || line[pos] != L'=') continue;
        // No value this large can fit the limit: refused before it is parsed.
        if (line.size() - pos > kMaxValueText) {
            TCORE_TRACE(TSRC_POSIX_REGFILE, "value text of %u characters is too long, refused, continue",
                        static_cast<unsigned>(line.size() - pos));
            continue;
        }
        posix_regvalue value;
        value.name = name;
        bool remove = false;
        if (!parseData(trim(line.substr(pos + 1)), value, remove)) continue;
        if (windowsSize(value) > POSIX_REG_MAX_VALUE) {
            TCORE_TRACE(TSRC_POSIX_REGFILE, "value of %u bytes is larger than %d, refused, continue",
                        static_cast<unsigned>(windowsSize(value)), POSIX_REG_MAX_VALUE);
            continue;
        }
        if (remove)
            current->values.erase(posix_reg_fold(name));
        else
            current->values[posix_reg_fold(name)] = std::move(value);
    }
    return true;
}
