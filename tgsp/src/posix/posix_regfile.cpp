#include "posix_regfile.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <string_view>

#include "posix_utf.h"
#include "tcore_sources.h"
#include "tcore_trace.h"

namespace {

// Bytes read from a file at a time.
constexpr size_t kPiece = 64 * 1024;

// UTF-16LE units from b[i] on, appended as wchar_t (pairs joined); returns
// where it stopped: before a high surrogate whose low half may be in the
// next piece, or at an odd last byte.
size_t appendUtf16(const unsigned char* b, size_t n, size_t i, bool last, std::wstring& out)
{
    out.reserve(out.size() + (n - i) / 2);
    for (; i + 1 < n; i += 2) {
        char32_t unit = b[i] | (b[i + 1] << 8);
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (i + 3 < n) {
                char32_t low = b[i + 2] | (b[i + 3] << 8);
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                    i += 2;
                }
            } else if (!last) {
                break;  // its low half may be in the next piece
            }
        }
        out.push_back(static_cast<wchar_t>(unit));
    }
    return i;
}

// The file's bytes to wchar_t text, a piece at a time: UTF-16LE after its
// BOM, otherwise UTF-8 (with or without BOM). Bytes that may belong to a
// character completed by the next piece are held back, so the text is the
// same however the file is cut into pieces.
class Decoder {
public:
    // Appends to `out` what `bytes` completes; `last` when no bytes follow.
    void decode(const char* bytes, size_t n, bool last, std::wstring& out)
    {
        if (held_.empty()) {
            decodeFrom(bytes, n, last, out);
            return;
        }
        std::string joined = std::move(held_);
        held_.clear();
        joined.append(bytes, n);
        decodeFrom(joined.data(), joined.size(), last, out);
    }

private:
    enum class Kind { unknown, utf8, utf16 };

    void decodeFrom(const char* bytes, size_t n, bool last, std::wstring& out)
    {
        const auto* b = reinterpret_cast<const unsigned char*>(bytes);
        size_t used = 0;
        if (kind_ == Kind::unknown) {
            if (n < 3 && !last) {
                held_.assign(bytes, n);
                return;
            }
            if (n >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
                kind_ = Kind::utf16;
                used = 2;
            } else {
                kind_ = Kind::utf8;
                used = n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF ? 3 : 0;
            }
        }
        used = kind_ == Kind::utf16 ? appendUtf16(b, n, used, last, out) : decodeUtf8(bytes, n, used, last, out);
        // What is left waits for the next piece; at the end it is an odd
        // byte of a UTF-16 file, dropped.
        if (!last) held_.assign(bytes + used, n - used);
    }

    // A sequence cut at the end of the piece waits for the rest; the
    // converter restarts at every byte that is not a continuation byte, so
    // cutting before such a byte changes nothing.
    static size_t decodeUtf8(const char* bytes, size_t n, size_t start, bool last, std::wstring& out)
    {
        const auto* b = reinterpret_cast<const unsigned char*>(bytes);
        size_t end = n;
        if (!last) {
            for (size_t back = 1; back <= 3 && back <= end - start; ++back) {
                unsigned char c = b[end - back];
                if ((c & 0xC0) == 0x80) continue;
                size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
                if (c < 0xF8 && length > back) end -= back;
                break;
            }
        }
        posix_utf8AppendWide(bytes + start, end - start, out);
        return end;
    }

    Kind kind_ = Kind::unknown;
    std::string held_;  // bytes of a character the next piece completes
};

bool isBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

std::wstring_view trim(std::wstring_view s)
{
    size_t a = 0, b = s.size();
    while (a < b && isBlank(s[a])) ++a;
    while (b > a && isBlank(s[b - 1])) --b;
    return s.substr(a, b - a);
}

// One logical line. `length` counts every character of it; when it is
// larger than the joiner's limit, `cut` is set and `text` holds only the
// start.
struct Line {
    std::wstring_view text;
    size_t length;
    bool cut;
};

// Physical lines, each trimmed, joined where a line ends in a backslash
// (long hex values). A logical line longer than `limit` characters is not
// kept: only its start and its length, so a line of any length costs no more
// memory than the limit.
class LineJoiner {
public:
    explicit LineJoiner(size_t limit) : limit_(limit) {}

    // Feeds text; `onLine(const Line&)` returns false to stop reading.
    template <typename OnLine>
    bool feed(std::wstring_view text, OnLine&& onLine)
    {
        while (!text.empty()) {
            size_t nl = text.find(L'\n');
            append(text.substr(0, nl));
            if (nl == std::wstring_view::npos) break;
            if (!endPhysicalLine(false, onLine)) return false;
            text.remove_prefix(nl + 1);
        }
        return true;
    }

    template <typename OnLine>
    void finish(OnLine&& onLine)
    {
        endPhysicalLine(true, onLine);
    }

private:
    void append(std::wstring_view piece)
    {
        if (atLineStart_) {
            size_t skip = 0;
            while (skip < piece.size() && isBlank(piece[skip])) ++skip;
            piece.remove_prefix(skip);
            if (piece.empty()) return;
            atLineStart_ = false;
        }
        if (piece.empty()) return;
        // What a cut line's end will be, looked at when its physical line ends.
        lastChar_ = piece.back();
        for (size_t i = piece.size(); i-- > 0;) {
            if (isBlank(piece[i])) continue;
            beforeLast_ = lastNonBlank_;
            lastNonBlank_ = piece[i];
            // One more non-blank character before it, if the piece has one.
            for (size_t j = i; j-- > 0;) {
                if (!isBlank(piece[j])) {
                    beforeLast_ = piece[j];
                    break;
                }
            }
            break;
        }
        length_ += piece.size();
        if (cut_) return;
        if (pending_.size() + piece.size() > limit_) {
            cut_ = true;
            piece = piece.substr(0, limit_ - pending_.size());
        }
        // A long line gets room for the limit at once: growing by doubling
        // would copy it and hold both copies. Untouched room costs no memory.
        size_t needed = pending_.size() + piece.size();
        if (needed > pending_.capacity() && needed > kPiece) pending_.reserve(limit_);
        pending_.append(piece);
    }

    template <typename OnLine>
    bool endPhysicalLine(bool atEnd, OnLine&& onLine)
    {
        wchar_t end = 0;  // the last character of the trimmed physical line
        if (cut_) {
            end = lastChar_ == L'\r' ? beforeLast_ : lastNonBlank_;
            if (lastChar_ == L'\r') --length_;
        } else {
            size_t before = pending_.size();
            if (pending_.size() > physicalStart_ && pending_.back() == L'\r') pending_.pop_back();
            while (pending_.size() > physicalStart_ && isBlank(pending_.back())) pending_.pop_back();
            length_ -= before - pending_.size();
            if (pending_.size() > physicalStart_) end = pending_.back();
        }
        atLineStart_ = true;
        lastChar_ = lastNonBlank_ = beforeLast_ = 0;
        wchar_t first = pending_.empty() ? 0 : pending_[0];
        bool continuing = end == L'\\' && first != L'[' && first != L';';
        if (continuing) {
            if (!cut_) pending_.pop_back();
            --length_;
            physicalStart_ = pending_.size();
            if (!atEnd) return true;
        }
        bool more = onLine(Line{pending_, length_, cut_});
        pending_.clear();
        if (pending_.capacity() > kPiece) pending_.shrink_to_fit();
        physicalStart_ = length_ = 0;
        cut_ = false;
        return more;
    }

    size_t limit_;
    std::wstring pending_;      // the logical line so far
    size_t physicalStart_ = 0;  // where the current physical line starts in it
    size_t length_ = 0;
    bool cut_ = false;
    bool atLineStart_ = true;
    wchar_t lastChar_ = 0, lastNonBlank_ = 0, beforeLast_ = 0;
};

std::vector<std::wstring_view> splitPath(std::wstring_view path)
{
    std::vector<std::wstring_view> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(L'\\', start);
        if (end == std::wstring_view::npos) end = path.size();
        if (end > start) parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

std::wstring fold(std::wstring_view name)
{
    std::wstring out(name);
    for (auto& c : out)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 32);
    return out;
}

bool isRootName(std::wstring_view name)
{
    static const wchar_t* roots[] = {L"HKEY_LOCAL_MACHINE", L"HKEY_CURRENT_USER", L"HKEY_CLASSES_ROOT", L"HKEY_USERS",
                                     L"HKEY_CURRENT_CONFIG"};
    std::wstring folded = fold(name);
    for (const wchar_t* r : roots)
        if (folded == r) return true;
    return false;
}

posix_regkey* createPath(posix_regkey& top, const std::vector<std::wstring_view>& parts)
{
    posix_regkey* key = &top;
    for (const auto& part : parts) {
        auto& slot = key->subkeys[fold(part)];
        if (!slot) {
            slot = std::make_unique<posix_regkey>();
            slot->name = part;
        }
        key = slot.get();
    }
    return key;
}

void deletePath(posix_regkey& top, const std::vector<std::wstring_view>& parts)
{
    posix_regkey* parent = &top;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        auto it = parent->subkeys.find(fold(parts[i]));
        if (it == parent->subkeys.end()) return;
        parent = it->second.get();
    }
    parent->subkeys.erase(fold(parts.back()));
}

// A quoted text starting at s[pos] == '"'; on success pos is behind the
// closing quote. Only \\ and \" are escapes, as regedit writes them.
bool parseQuoted(std::wstring_view s, size_t& pos, std::wstring& out)
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

bool parseHexNumber(std::wstring_view s, unsigned maxDigits, DWORD& out)
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

bool parseHexBytes(std::wstring_view list, std::vector<BYTE>& out)
{
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(L',', start);
        if (end == std::wstring_view::npos) end = list.size();
        std::wstring_view item = trim(list.substr(start, end - start));
        bool last = end == list.size();
        start = end + 1;
        if (item.empty() && last) break;  // nothing, or a trailing comma
        DWORD byte = 0;
        if (!parseHexNumber(item, 2, byte)) return false;
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
// The longest line kept whole: such a value behind the longest quoted name.
constexpr size_t kMaxLineText = kMaxValueText + 64 * 1024;

// String types arrive from hex(2)/hex(7) as UTF-16LE bytes; they are handed
// out in wchar_t units like REG_SZ.
void widenUtf16(std::vector<BYTE>& data)
{
    std::wstring text;
    appendUtf16(data.data(), data.size(), 0, true, text);
    data.resize(text.size() * sizeof(wchar_t));
    std::memcpy(data.data(), text.data(), data.size());
}

// The part of a value line behind '='. Returns false when malformed; sets
// `remove` for "name"=-.
bool parseData(std::wstring_view s, posix_regvalue& value, bool& remove)
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
    auto startsWith = [s](std::wstring_view prefix) {
        if (s.size() < prefix.size()) return false;
        for (size_t i = 0; i < prefix.size(); ++i)
            if (static_cast<wchar_t>(std::towlower(s[i])) != prefix[i]) return false;
        return true;
    };
    if (startsWith(L"dword:")) {
        DWORD v = 0;
        if (!parseHexNumber(trim(s.substr(6)), 8, v)) return false;
        value.type = REG_DWORD;
        value.data = {static_cast<BYTE>(v), static_cast<BYTE>(v >> 8), static_cast<BYTE>(v >> 16),
                      static_cast<BYTE>(v >> 24)};
        return true;
    }
    if (!startsWith(L"hex")) return false;
    size_t colon = s.find(L':');
    if (colon == std::wstring_view::npos) return false;
    std::wstring_view kind = s.substr(3, colon - 3);
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

// Applies a file's logical lines to the tree, one at a time.
class Merger {
public:
    Merger(posix_regkey& top, std::vector<posix_regrefusal>& refusals) : top_(top), refusals_(refusals) {}

    // False once the file turns out to have no known header: reading stops.
    bool onLine(const Line& line)
    {
        if (!headerSeen_) {
            if (line.text.empty() && !line.cut) return true;
            headerSeen_ = !line.cut &&
                          (line.text == L"Windows Registry Editor Version 5.00" || line.text == L"REGEDIT4");
            return headerSeen_;
        }
        if (line.text.empty() || line.text[0] == L';') return true;
        if (line.text[0] == L'[') {
            onKeyLine(line);
        } else if (current_ != nullptr) {
            onValueLine(line);
        }
        return true;
    }

    bool accepted() const { return headerSeen_; }

private:
    void refuse(int line, const char* format, ...) TCORE_PRINTF(3, 4)
    {
        char text[256];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
        refusals_.push_back(posix_regrefusal{line, text});
    }

    void onKeyLine(const Line& line)
    {
        current_ = nullptr;  // values after a bad section header go nowhere
        if (line.cut) {
            // No key within the depth limit has a name this long.
            refuse(__LINE__, "key line of %zu characters is too long, refused, continue", line.length);
            return;
        }
        std::wstring_view text = line.text;
        size_t close = text.rfind(L']');
        if (close == std::wstring_view::npos || !trim(text.substr(close + 1)).empty()) return;
        std::wstring_view path = text.substr(1, close - 1);
        bool remove = !path.empty() && path[0] == L'-';
        std::vector<std::wstring_view> parts = splitPath(remove ? path.substr(1) : path);
        if (parts.empty() || !isRootName(parts[0])) return;
        if (parts.size() - 1 > POSIX_REG_MAX_DEPTH) {
            refuse(__LINE__, "key of %u levels is deeper than %d, refused, continue",
                   static_cast<unsigned>(parts.size() - 1), POSIX_REG_MAX_DEPTH);
            return;
        }
        if (remove) {
            if (parts.size() > 1) deletePath(top_, parts);
        } else {
            current_ = createPath(top_, parts);
        }
    }

    void onValueLine(const Line& line)
    {
        std::wstring_view text = line.text;
        std::wstring name;
        size_t pos = 0;
        if (text[0] == L'@') {
            pos = 1;
        } else if (text[0] != L'"' || !parseQuoted(text, pos, name)) {
            return;
        }
        while (pos < text.size() && isBlank(text[pos])) ++pos;
        if (pos >= text.size() || text[pos] != L'=') return;
        // No value this large can fit the limit: refused before it is parsed.
        // A cut line is refused however long its name is: only its start was
        // kept, and a value parsed from it would be cut short.
        if (line.cut || line.length - pos > kMaxValueText) {
            refuse(__LINE__, "value text of %zu characters is too long, refused, continue", line.length - pos);
            return;
        }
        posix_regvalue value;
        value.name = name;
        bool remove = false;
        if (!parseData(trim(text.substr(pos + 1)), value, remove)) return;
        if (windowsSize(value) > POSIX_REG_MAX_VALUE) {
            refuse(__LINE__, "value of %zu bytes is larger than %d, refused, continue", windowsSize(value),
                   POSIX_REG_MAX_VALUE);
            return;
        }
        if (remove)
            current_->values.erase(fold(name));
        else
            current_->values[fold(name)] = std::move(value);
    }

    posix_regkey& top_;
    std::vector<posix_regrefusal>& refusals_;
    posix_regkey* current_ = nullptr;
    bool headerSeen_ = false;
};

// Reads a file's bytes through the decoder and the joiner into the tree;
// `next()` gives the next piece of bytes, an empty one at the end.
template <typename Next>
bool mergeFrom(posix_regkey& top, std::vector<posix_regrefusal>& refusals, Next&& next)
{
    Merger merger(top, refusals);
    Decoder decoder;
    LineJoiner joiner(kMaxLineText);
    auto onLine = [&merger](const Line& line) { return merger.onLine(line); };
    std::wstring text;
    for (;;) {
        std::string_view bytes = next();
        text.clear();
        decoder.decode(bytes.data(), bytes.size(), bytes.empty(), text);
        if (!joiner.feed(text, onLine)) return false;
        if (bytes.empty()) break;
    }
    joiner.finish(onLine);
    return merger.accepted();
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

std::wstring posix_reg_fold(const std::wstring& name) { return fold(name); }

bool posix_regfile_merge(posix_regkey& top, const std::string& fileBytes, std::vector<posix_regrefusal>& refusals)
{
    std::string_view rest = fileBytes;
    return mergeFrom(top, refusals, [&rest] {
        std::string_view piece = rest.substr(0, kPiece);
        rest.remove_prefix(piece.size());
        return piece;
    });
}

bool posix_regfile_mergeFile(posix_regkey& top, const char* path, std::vector<posix_regrefusal>& refusals)
{
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return false;
    struct Closer {
        std::FILE* file;
        ~Closer() { std::fclose(file); }
    } closer{file};
    std::vector<char> buffer(kPiece);
    return mergeFrom(top, refusals, [&] {
        return std::string_view(buffer.data(), std::fread(buffer.data(), 1, buffer.size(), file));
    });
}

void posix_regfile_traceRefusals(const std::vector<posix_regrefusal>& refusals)
{
    for (const auto& refusal : refusals) tcore_trace(TSRC_POSIX_REGFILE, refusal.line, "%s", refusal.text.c_str());
}
