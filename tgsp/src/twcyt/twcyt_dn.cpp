#include "twcyt_dn.h"

#include <algorithm>
#include <cstring>

#include "tcore_codepage.h"
#include "tcore_errors.h"
#include "tcore_mem.h"

namespace {

// One attribute ("KEY=value") of a DN text, as pointers into the text.
struct Attribute {
    const char* key;
    size_t keyLen;
    const char* value;  // as written: a quoted value keeps its quotes
    size_t valueLen;
    bool quoted;
    bool endsRdn;      // followed by "," or the end, not by "+"
    const char* next;  // start of the next attribute; null at the end
};

const char* skipBlanks(const char* p)
{
    while (*p == ' ') ++p;
    return p;
}

// A quoted value runs to the quote that is not doubled. Null when the text
// ends first or something other than a separator follows the closing quote:
// then the value is no quoted value after all.
const char* quotedEnd(const char* open)
{
    for (const char* p = open + 1; *p != '\0'; ++p) {
        if (*p != '"') continue;
        if (p[1] == '"') {
            ++p;
            continue;
        }
        const char* after = skipBlanks(p + 1);
        return *after == '\0' || *after == ',' || *after == '+' ? p + 1 : nullptr;
    }
    return nullptr;
}

// An unquoted value ends at the "," or "+" closest before the next "="; an
// "=" with no separator before it belongs to the value. The platform quotes
// every value holding one of them, so this only decides for texts written
// by hand ("O=Foo, Inc.").
const char* unquotedEnd(const char* value)
{
    // One pass: the separator seen last when an "=" comes is the one closest
    // before it (looking back from each "=" made a long value quadratic).
    const char* separator = nullptr;
    const char* p = value;
    for (; *p != '\0'; ++p) {
        if (*p == ',' || *p == '+') separator = p;
        if (*p == '=' && separator != nullptr) return separator;
    }
    return p;
}

// Reads the attribute at `p`; false when no "=" is left.
bool readAttribute(const char* p, Attribute* a)
{
    const char* equals = std::strchr(p, '=');
    if (equals == nullptr) return false;
    a->key = p;
    a->keyLen = static_cast<size_t>(equals - p);
    a->value = equals + 1;
    const char* end = *a->value == '"' ? quotedEnd(a->value) : nullptr;
    a->quoted = end != nullptr;
    if (end == nullptr) end = unquotedEnd(a->value);
    a->valueLen = static_cast<size_t>(end - a->value);
    const char* sep = skipBlanks(end);
    if (!a->quoted && *end == '+') {
        // The blank before " + " belongs to the separator.
        if (a->valueLen > 0 && end[-1] == ' ') --a->valueLen;
        sep = end;
    }
    a->endsRdn = *sep != '+';
    a->next = *sep == '\0' ? nullptr : skipBlanks(sep + 1);
    return true;
}

// Calls `visit` for each attribute of the DN in text order, while it
// returns true.
template <typename Visit>
void forEachAttribute(const char* dn, Visit visit)
{
    Attribute a{};
    for (const char* p = dn; p != nullptr && readAttribute(p, &a); p = a.next)
        if (!visit(a)) return;
}

// One RDN as written ("CN=a + OU=b", quotes kept), inside the DN text.
struct Segment {
    const char* text;
    size_t len;

    bool operator==(const Segment& o) const { return len == o.len && std::memcmp(text, o.text, len) == 0; }
};

// Calls `visit` for each RDN of the DN in text order, while it returns true.
template <typename Visit>
void forEachSegment(const char* dn, Visit visit)
{
    const char* rdnStart = dn;
    forEachAttribute(dn, [&](const Attribute& a) {
        if (!a.endsRdn) return true;
        Segment segment{rdnStart, static_cast<size_t>(a.value + a.valueLen - rdnStart)};
        rdnStart = a.next;
        return visit(segment);
    });
}

// The attribute's value without the quoting: outer quotes dropped, doubled
// quotes made single.
char* valueCopy(const Attribute& a)
{
    auto* out = static_cast<char*>(tcore_zalloc(a.valueLen + 1));
    if (!a.quoted) {
        std::memcpy(out, a.value, a.valueLen);
        return out;
    }
    size_t n = 0;
    for (size_t i = 1; i + 1 < a.valueLen; ++i) {
        out[n++] = a.value[i];
        if (a.value[i] == '"') ++i;  // the second of a doubled pair
    }
    return out;
}

char* textCopy(const char* from, size_t len)
{
    auto* out = static_cast<char*>(tcore_zalloc(len + 1));
    std::memcpy(out, from, len);
    return out;
}

void append(tcore_list** list, char* owned)
{
    if (*list == nullptr) *list = tcore_list_new(tcore_free);
    tcore_list_append(*list, owned);
}

}  // namespace

// The query's own copy of its text, and its RDNs inside that copy.
struct twcyt_dnQuery {
    char* text;
    Segment* segments;
    int count;
};

int twcyt_dn_getRdnValues(const char* dn, const char* field, tcore_list** values)
{
    if (dn == nullptr || *dn == '\0' || field == nullptr || *field == '\0' || values == nullptr) return TCORE_ERR_PARAM;
    size_t fieldLen = std::strlen(field);
    int count = 0;
    forEachAttribute(dn, [&](const Attribute& a) {
        if (a.keyLen != fieldLen || std::strncmp(a.key, field, fieldLen) != 0) return true;
        append(values, valueCopy(a));
        ++count;
        return true;
    });
    return count;
}

int twcyt_dn_split(const char* dn, tcore_list** segments)
{
    if (dn == nullptr || *dn == '\0' || segments == nullptr) return TCORE_ERR_PARAM;
    int count = 0;
    forEachSegment(dn, [&](const Segment& segment) {
        append(segments, textCopy(segment.text, segment.len));
        ++count;
        return true;
    });
    return count;
}

twcyt_dnQuery* twcyt_dn_prepare(const char* dn)
{
    if (dn == nullptr || *dn == '\0') return nullptr;
    auto* query = static_cast<twcyt_dnQuery*>(tcore_zalloc(sizeof(twcyt_dnQuery)));
    query->text = textCopy(dn, std::strlen(dn));
    forEachSegment(query->text, [&](const Segment&) {
        ++query->count;
        return true;
    });
    query->segments = static_cast<Segment*>(tcore_zalloc(sizeof(Segment) * static_cast<size_t>(query->count + 1)));
    int i = 0;
    forEachSegment(query->text, [&](const Segment& segment) {
        query->segments[i++] = segment;
        return true;
    });
    return query;
}

int twcyt_dn_compareWith(const twcyt_dnQuery* query, const char* dn)
{
    if (query == nullptr || dn == nullptr || *dn == '\0') return TCORE_ERR_PARAM;
    // Which of the query's RDNs the DN holds. Every RDN of the DN must be
    // one of the query's, every one of the query's one of the DN's, and
    // both must have as many.
    bool onStack[64] = {};
    bool* held = query->count <= 64 ? onStack : static_cast<bool*>(tcore_zalloc(static_cast<size_t>(query->count)));
    int count = 0;
    bool foreign = false;
    forEachSegment(dn, [&](const Segment& segment) {
        ++count;
        bool known = false;
        for (int i = 0; i < query->count; ++i)
            if (query->segments[i] == segment) held[i] = known = true;
        foreign = !known;
        return !foreign;
    });
    bool equal = false;
    if (count == 0 && query->count == 0) {
        // Texts without any "=" have no RDNs to compare: two of them are
        // the same DN only when they are the same text.
        equal = std::strcmp(dn, query->text) == 0;
    } else if (!foreign && count == query->count) {
        equal = std::all_of(held, held + query->count, [](bool h) { return h; });
    }
    if (held != onStack) tcore_free(held);
    return equal ? 0 : -1;
}

void twcyt_dn_freeQuery(twcyt_dnQuery* query)
{
    if (query == nullptr) return;
    tcore_free(query->segments);
    tcore_free(query->text);
    tcore_free(query);
}

int twcyt_dn_compareUtf8(const char* a, const char* b)
{
    if (a == nullptr || *a == '\0' || b == nullptr || *b == '\0') return TCORE_ERR_PARAM;
    twcyt_dnQuery* query = twcyt_dn_prepare(b);
    int rc = twcyt_dn_compareWith(query, a);
    twcyt_dn_freeQuery(query);
    return rc;
}

int twcyt_dn_compare(const char* a, const char* b)
{
    if (a == nullptr || *a == '\0' || b == nullptr || *b == '\0') return TCORE_ERR_PARAM;
    char* ua = nullptr;
    char* ub = nullptr;
    int rc = tcore_mbToUtf8(a, 0, &ua);
    if (rc >= 0) rc = tcore_mbToUtf8(b, 0, &ub);
    if (rc >= 0) rc = twcyt_dn_compareUtf8(ua, ub);
    tcore_free(ua);
    tcore_free(ub);
    return rc;
}
