// Whole-file reads and writes for the data, certificates and signatures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The file's length in bytes, read without opening it: 64 bits wide on every
// platform, where the C library's ftell is 32 bits on Windows.
bool file_length(const std::string& path, std::uint64_t& length, std::string& error);
bool read_file(const std::string& path, std::vector<unsigned char>& bytes, std::string& error);
// The binary behind a base64 text (no line breaks), decoded a block at a
// time so that a large signature is never held twice. `written` receives
// the number of bytes of the file.
bool write_base64_as_binary(const std::string& path, const char* text, size_t len, size_t& written, std::string& error);
