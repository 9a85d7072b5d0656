#include "twcyt_dn.h"

#include <cstring>

#include "tcore_codepage.h"
#include "tcore_errors.h"
#include "tcore_mem.h"

namespace {

// Walks the RDN segments of `w` (a private copy, cut in place). `visit`
// gets each segment as a NUL-terminated text and the position of its first
// "=". The separating comma is the one closest before the next "="; an "="
// with no comma before it since the segment's own "=" belongs to the value
// (the platform quotes such values, CN="a=b"). After the comma any blanks
// are skipped, so "CN=a,O=b" reads like "CN=a, O=b".
template <typename Visit>
void walkSegments(char* w, Visit visit)
{
    char* start = w;
    char* equals = std::strchr(w, '=');
    if (equals == nullptr) return;
    char* search = equals + 1;
    for (;;) {
        char* next = std::strchr(search, '=');
        char* comma = nullptr;
        if (next != nullptr) {
            for (char* q = next - 1; q > equals; --q)
                if (*q == ',') {
                    comma = q;
                    break;
                }
            if (comma == nullptr) {
                search = next + 1;
                continue;
            }
            *comma = '\0';
        }
        visit(start, equals);
        if (next == nullptr) return;
        start = comma + 1;
        while (*start == ' ') ++start;
        equals = next;
        search = next + 1;
    }
}

void appendCopy(tcore_list** list, const char* text)
{
    if (*list == nullptr) *list = tcore_list_new(tcore_free);
    tcore_list_append(*list, tcore_strdup(text));
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
    if (dn == nullptr || *dn == '\0' || field == nullptr || *field == '\0' || values == nullptr)
        return TCORE_ERR_PARAM;
    char* w = tcore_strdup(dn);
    int count = 0;
    walkSegments(w, [&](char* segment, char* equals) {
        *equals = '\0';
        if (std::strcmp(segment, field) == 0) {
            appendCopy(values, equals + 1);
            ++count;
        }
    });
    tcore_free(w);
    return count;
}

int twcyt_dn_split(const char* dn, tcore_list** segments)
{
    if (dn == nullptr || *dn == '\0' || segments == nullptr) return TCORE_ERR_PARAM;
    char* w = tcore_strdup(dn);
    int count = 0;
    walkSegments(w, [&](char* segment, char*) {
        appendCopy(segments, segment);
        ++count;
    });
    tcore_free(w);
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
    bool equal = (na == 0 && nb == 0) ? std::strcmp(a, b) == 0
                                      : na > 0 && na == nb && covers(sa, sb) && covers(sb, sa);
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
