#include "files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "base64.h"

bool file_length(const std::string& path, std::uint64_t& length, std::string& error)
{
    std::error_code failure;
    length = std::filesystem::file_size(std::filesystem::path(path), failure);
    if (failure) error = "cannot open " + path + ": " + failure.message();
    return !failure;
}

bool read_file(const std::string& path, std::vector<unsigned char>& bytes, std::string& error)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    bytes.clear();
    // Sized once from the file's length, so a large file is held once.
    long size = std::fseek(f, 0, SEEK_END) == 0 ? std::ftell(f) : -1;
    bool ok = size >= 0 && std::fseek(f, 0, SEEK_SET) == 0;
    if (ok) {
        bytes.resize(static_cast<size_t>(size));
        ok = std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size();
        // A file that grew meanwhile keeps its tail: read what is left.
        unsigned char chunk[65536];
        size_t n;
        while (ok && (n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
        ok = ok && !std::ferror(f);
    }
    std::fclose(f);
    if (!ok) error = "cannot read " + path;
    return ok;
}

bool write_base64_as_binary(const std::string& path, const char* text, size_t len, size_t& written, std::string& error)
{
    written = 0;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    constexpr size_t kBlock = 64 * 1024;  // a multiple of 4: blocks end on whole groups
    std::vector<unsigned char> bytes;
    bool decoded = true, ok = true;
    for (size_t pos = 0; pos < len && decoded && ok; pos += kBlock) {
        decoded = base64_decode(std::string(text + pos, std::min(kBlock, len - pos)), bytes);
        ok = decoded && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        written += bytes.size();
    }
    ok = std::fclose(f) == 0 && ok;
    if (!decoded)
        error = "the library's signature is not base64";
    else if (!ok)
        error = "cannot write " + path;
    return ok;
}
