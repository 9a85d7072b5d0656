#include "dsc_acx_kind.h"

bool dsc_acx_isKind(const char* kind, const char* expected)
{
    if (kind == nullptr || expected == nullptr) return false;
    for (; *kind != 0 && *expected != 0; ++kind, ++expected) {
        char a = *kind >= 'a' && *kind <= 'z' ? static_cast<char>(*kind - 32) : *kind;
        char b = *expected >= 'a' && *expected <= 'z' ? static_cast<char>(*expected - 32) : *expected;
        if (a != b) return false;
    }
    return *kind == *expected;
}
