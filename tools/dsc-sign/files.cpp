#include "files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

bool read_file(const std::string& path, std::vector<unsigned char>& bytes, std::string& error)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    bytes.clear();
    unsigned char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
    bool ok = !std::ferror(f);
    std::fclose(f);
    if (!ok) error = "cannot read " + path;
    return ok;
}

bool write_file(const std::string& path, const std::vector<unsigned char>& bytes, std::string& error)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok) error = "cannot write " + path;
    return ok;
}
