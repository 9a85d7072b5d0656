// One chooser row, "index:algorithm:name:issuer", built and split. The
// dialog, the Linux launcher and the dsc_chooser program all read rows the
// same way, over whatever character type their platform hands them.
#pragma once

#include <climits>
#include <string>
#include <string_view>
#include <utility>

template <typename Ch>
struct chooser_row {
    int index;
    std::basic_string<Ch> algorithm;
    std::basic_string<Ch> name;
    std::basic_string<Ch> issuer;
};

// A certificate name may hold a ':' (an organisation "Acme: Sales", a DN
// with a URI), which would shift every later column. In a row the text
// fields therefore write ':' as "\:" and '\' as "\\"; a reader that knows
// nothing of this still finds the index before the first ':'.
template <typename Ch>
std::basic_string<Ch> chooser_escapeField(std::basic_string_view<Ch> field)
{
    std::basic_string<Ch> out;
    out.reserve(field.size());
    for (Ch c : field) {
        if (c == Ch(':') || c == Ch('\\')) out += Ch('\\');
        out += c;
    }
    return out;
}

// The index field read as a signed decimal integer the way the C library's
// atoi reads it (optional sign, digits up to the first other character, 0
// when there are none), but held to the range of int instead of overflowing.
template <typename Ch>
int chooser_parseIndex(std::basic_string_view<Ch> text)
{
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == Ch('-') || text[i] == Ch('+'))) negative = text[i++] == Ch('-');
    long long value = 0;
    for (; i < text.size() && text[i] >= Ch('0') && text[i] <= Ch('9'); ++i) {
        value = value * 10 + (text[i] - Ch('0'));
        if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) return static_cast<int>(-value);
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

// Reads one field from `at`: up to the next unescaped ':' when `last` is
// false (false when there is none), else to the end, where a ':' is kept.
// A '\\' before any other character, or at the end, stands for itself.
template <typename Ch>
bool chooser_readField(std::basic_string_view<Ch> text, size_t* at, bool last, std::basic_string<Ch>* field)
{
    field->clear();
    size_t i = *at;
    while (i < text.size()) {
        Ch c = text[i];
        if (c == Ch('\\') && i + 1 < text.size() && (text[i + 1] == Ch(':') || text[i + 1] == Ch('\\'))) {
            *field += text[i + 1];
            i += 2;
            continue;
        }
        if (c == Ch(':') && !last) {
            *at = i + 1;
            return true;
        }
        *field += c;
        ++i;
    }
    *at = i;
    return last;
}

// Splits a row "index:algorithm:name:issuer" at its first three unescaped
// ':'; the issuer keeps any further ones. False (and `row` untouched) for a
// text with fewer than three.
template <typename Ch>
bool chooser_splitRow(std::basic_string_view<Ch> text, chooser_row<Ch>* row)
{
    size_t first = text.find(Ch(':'));
    if (first == text.npos) return false;
    size_t at = first + 1;
    chooser_row<Ch> read;
    if (!chooser_readField(text, &at, false, &read.algorithm) || !chooser_readField(text, &at, false, &read.name))
        return false;
    chooser_readField(text, &at, true, &read.issuer);
    read.index = chooser_parseIndex(text.substr(0, first));
    *row = std::move(read);
    return true;
}
