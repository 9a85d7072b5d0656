// One chooser row, "index:algorithm:name:issuer", split into its parts. The
// dialog, the Linux launcher and the dsc_chooser program all read rows the
// same way, over whatever character type their platform hands them.
#pragma once

#include <climits>
#include <string_view>

template <typename Ch>
struct chooser_row {
    int index;
    std::basic_string_view<Ch> algorithm;
    std::basic_string_view<Ch> name;
    std::basic_string_view<Ch> issuer;
};

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

// Splits at the first three ':'; the issuer keeps any further ones. False
// (and `row` untouched) for a text with fewer than three.
template <typename Ch>
bool chooser_splitRow(std::basic_string_view<Ch> text, chooser_row<Ch>* row)
{
    size_t first = text.find(Ch(':'));
    if (first == text.npos) return false;
    size_t second = text.find(Ch(':'), first + 1);
    if (second == text.npos) return false;
    size_t third = text.find(Ch(':'), second + 1);
    if (third == text.npos) return false;
    row->index = chooser_parseIndex(text.substr(0, first));
    row->algorithm = text.substr(first + 1, second - first - 1);
    row->name = text.substr(second + 1, third - second - 1);
    row->issuer = text.substr(third + 1);
    return true;
}
