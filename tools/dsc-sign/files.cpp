#include "files.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "console.h"

bool is_standard_stream(const std::string& path) { return path == "-"; }

bool input_length(const std::string& path, std::uint64_t& length, bool& known, std::string& error)
{
    known = false;
    length = 0;
    if (is_standard_stream(path)) return true;
    std::error_code failure;
    std::filesystem::path p(path);
    auto status = std::filesystem::status(p, failure);
    if (failure) {
        error = "cannot open " + path + ": " + failure.message();
        return false;
    }
    if (!std::filesystem::is_regular_file(status)) return true;
    length = std::filesystem::file_size(p, failure);
    if (failure) error = "cannot open " + path + ": " + failure.message();
    known = !failure;
    return !failure;
}

bool read_input(const std::string& path, std::uint64_t limit, std::vector<unsigned char>& bytes, bool& tooLarge,
                std::string& error)
{
    bytes.clear();
    tooLarge = false;
    std::uint64_t length = 0;
    bool known = false;
    if (!input_length(path, length, known, error)) return false;
    bool standard = is_standard_stream(path);
    std::FILE* f = standard ? stdin : std::fopen(path.c_str(), "rb");
    if (!f) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    if (standard) console_binary(stdin);
    // Sized once from a regular file's length, so a large file is held once;
    // a pipe grows the buffer as it delivers.
    if (known && length <= limit) bytes.reserve(static_cast<size_t>(length));
    const size_t kChunk = 1 << 20;
    bool ok = true;
    for (;;) {
        size_t had = bytes.size();
        std::uint64_t room = limit + 1 - had;  // one byte past the limit tells that it was passed
        size_t want = room < kChunk ? static_cast<size_t>(room) : kChunk;
        bytes.resize(had + want);
        size_t n = std::fread(bytes.data() + had, 1, want, f);
        bytes.resize(had + n);
        if (bytes.size() > limit) {
            tooLarge = true;
            break;
        }
        if (n < want) {
            ok = !std::ferror(f);
            break;
        }
    }
    if (!standard) std::fclose(f);
    if (!ok) error = "cannot read " + path + ": " + std::strerror(errno);
    return ok;
}

bool read_input(const std::string& path, std::vector<unsigned char>& bytes, std::string& error)
{
    bool tooLarge = false;
    // Certificates and signatures: anything a 32-bit process can hold.
    if (!read_input(path, static_cast<std::uint64_t>(SIZE_MAX / 2), bytes, tooLarge, error)) return false;
    if (tooLarge) error = path + " is too large";
    return !tooLarge;
}

Output::~Output()
{
    if (finished_ || !f_ || f_ == stdout) return;
    std::fclose(f_);
    discard();
}

void Output::discard()
{
    if (created_) std::remove(path_.c_str());
}

bool Output::open(std::string& error)
{
    if (is_standard_stream(path_)) {
        f_ = stdout;
        console_binary(stdout);
        return true;
    }
    // Only a file this run created is removed after a failure: a path such as
    // /dev/stdout or a file the user already had is never deleted.
    std::error_code ignored;
    created_ = !std::filesystem::exists(std::filesystem::symlink_status(path_, ignored));
    f_ = std::fopen(path_.c_str(), "wb");
    created_ = created_ && f_ && std::filesystem::is_regular_file(std::filesystem::symlink_status(path_, ignored));
    if (!f_) error = "cannot create " + path_ + ": " + std::strerror(errno);
    return f_ != nullptr;
}

bool Output::finish(std::string& error)
{
    bool ok = std::fflush(f_) == 0 && !std::ferror(f_);
    if (f_ != stdout) ok = std::fclose(f_) == 0 && ok;
    if (!ok) discard();
    finished_ = true;
    f_ = nullptr;
    if (!ok) error = "cannot write " + (is_standard_stream(path_) ? std::string("standard output") : path_);
    return ok;
}
