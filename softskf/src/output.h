// How results reach the caller's buffers: the size probe (null buffer), the
// too-small answer, the double-NUL name lists, bounded fixed-width texts,
// and the hostile variants a fault may ask for.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "bytes.h"
#include "skfapi.h"
#include "state.h"

namespace softskf {

// `out` null: *size = needed, SAR_OK. *size too small: *size = needed,
// SAR_BUFFER_TOO_SMALL. Otherwise copies and sets *size.
SKF_ULONG put_bytes(Bytes data, SKF_BYTE* out, SKF_ULONG* size, const Fault* hostile);

// "A\0B\0\0"; an empty list is "\0\0".
Bytes name_list(const std::vector<std::string>& names);
SKF_ULONG put_name_list(const std::vector<std::string>& names, SKF_CHAR* out, SKF_ULONG* size, const Fault* hostile);

// Copies text into a fixed field, always leaving room for the NUL.
void put_text(SKF_CHAR* field, std::size_t width, const std::string& text);

// A caller's NUL-terminated text of 1..max_length bytes, never reading
// further than max_length + 1 bytes.
bool read_text(const char* text, std::size_t max_length, std::string& out);

}  // namespace softskf
