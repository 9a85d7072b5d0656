#include "output.h"

#include <algorithm>
#include <cstring>

namespace softskf {

SKF_ULONG put_bytes(Bytes data, SKF_BYTE* out, SKF_ULONG* size, const Fault* hostile)
{
    if (size == nullptr) return SAR_INVALIDPARAMERR;
    if (hostile && hostile->kind == FaultKind::length) data.resize(hostile->length, 0);
    const SKF_ULONG needed = static_cast<SKF_ULONG>(data.size());
    if (out == nullptr) {
        if (hostile && hostile->kind == FaultKind::size_only_in_error) return hostile->code;
        *size = needed;
        return SAR_OK;
    }
    if (hostile && hostile->kind == FaultKind::size_over_buffer) {
        // Fills what the caller has, then claims more than that.
        std::size_t n = std::min<std::size_t>(*size, data.size());
        if (n > 0) std::memcpy(out, data.data(), n);
        *size = *size + hostile->extra;
        return SAR_OK;
    }
    if (*size < needed) {
        *size = needed;
        return SAR_BUFFER_TOO_SMALL;
    }
    if (needed > 0) std::memcpy(out, data.data(), needed);
    *size = needed;
    return SAR_OK;
}

Bytes name_list(const std::vector<std::string>& names)
{
    Bytes list;
    for (const std::string& name : names) {
        list.insert(list.end(), name.begin(), name.end());
        list.push_back(0);
    }
    if (names.empty()) list.push_back(0);
    list.push_back(0);
    return list;
}

SKF_ULONG put_name_list(const std::vector<std::string>& names, SKF_CHAR* out, SKF_ULONG* size, const Fault* hostile)
{
    Bytes list = name_list(names);
    if (hostile && hostile->kind == FaultKind::list_without_final_nul) list.pop_back();
    return put_bytes(std::move(list), reinterpret_cast<SKF_BYTE*>(out), size, hostile);
}

void put_text(SKF_CHAR* field, std::size_t width, const std::string& text)
{
    std::memset(field, 0, width);
    std::memcpy(field, text.data(), std::min(text.size(), width - 1));
}

bool read_text(const char* text, std::size_t max_length, std::string& out)
{
    if (text == nullptr) return false;
    std::size_t length = strnlen(text, max_length + 1);
    if (length == 0 || length > max_length) return false;
    out.assign(text, length);
    return true;
}

}  // namespace softskf
