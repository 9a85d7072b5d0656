#include "twcyt_dn.h"

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

// Calls `visit` for each attribute of the DN in text order.
template <typename Visit>
void forEachAttribute(const char* dn, Visit visit)
{
    Attribute a{};
    for (const char* p = dn; p != nullptr && readAttribute(p, &a); p = a.next) visit(a);
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

bool contains(const tcore_list* list, const char* text)
{
    for (int i = 0; i < list->count; ++i)
        if (std::strcmp(static_cast<const char*>(list->items[i]), text) == 0) return true;
    return false;
}

bool covers(const tcore_list* a, const tcore_list* b)
{
    for (int i = 0; i < a->count; ++i)
        if (!contains(b, static_cast<const char*>(a->items[i]))) return false;
    return true;
}

}  // namespace

int twcyt_dn_getRdnValues(const char* dn, const char* field, tcore_list** values)
{
    if (dn == nullptr || *dn == '\0' || field == nullptr || *field == '\0' || values == nullptr) return TCORE_ERR_PARAM;
    size_t fieldLen = std::strlen(field);
    int count = 0;
    forEachAttribute(dn, [&](const Attribute& a) {
        if (a.keyLen != fieldLen || std::strncmp(a.key, field, fieldLen) != 0) return;
        append(values, valueCopy(a));
        ++count;
    });
    return count;
}

int twcyt_dn_split(const char* dn, tcore_list** segments)
{
    if (dn == nullptr || *dn == '\0' || segments == nullptr) return TCORE_ERR_PARAM;
    int count = 0;
    const char* rdnStart = dn;
    forEachAttribute(dn, [&](const Attribute& a) {
        if (!a.endsRdn) return;
        append(segments, textCopy(rdnStart, static_cast<size_t>(a.value + a.valueLen - rdnStart)));
        ++count;
        rdnStart = a.next;
    });
    return count;
}

int twcyt_dn_compareUtf8(const char* a, const char* b)
{
    if (a == nullptr || *a == '\0' || b == nullptr || *b == '\0') return TCORE_ERR_PARAM;
    tcore_list* sa = nullptr;
    tcore_list* sb = nullptr;
    int na = twcyt_dn_split(a, &sa);
    int nb = twcyt_dn_split(b, &sb);
    // Texts without any "=" have no segments to compare: two of them are
    // the same DN only when they are the same text.
    bool equal = (na == 0 && nb == 0) ? std::strcmp(a, b) == 0 : na > 0 && na == nb && covers(sa, sb) && covers(sb, sa);
    tcore_list_free(sa);
    tcore_list_free(sb);
    return equal ? 0 : -1;
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
