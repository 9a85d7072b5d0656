#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform.h"

namespace softskf {

std::string state_file_path()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&state_file_path), &info) == 0 || info.dli_fname == nullptr) return {};
    return std::string(info.dli_fname) + ".json";
}

ReadResult read_whole_file(const std::string& path, std::string& contents)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? ReadResult::missing : ReadResult::failed;
    contents.clear();
    char buffer[8192];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            close(fd);
            return ReadResult::failed;
        }
        if (n == 0) break;
        contents.append(buffer, static_cast<std::size_t>(n));
    }
    close(fd);
    return ReadResult::ok;
}

static bool write_all(int fd, const std::string& contents)
{
    std::size_t done = 0;
    while (done < contents.size()) {
        ssize_t n = write(fd, contents.data() + done, contents.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool replace_file_atomically(const std::string& path, const std::string& contents)
{
    std::string temp = path + ".XXXXXX";
    int fd = mkstemp(temp.data());
    if (fd < 0) return false;
    bool ok = write_all(fd, contents) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (ok) ok = rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) unlink(temp.c_str());
    return ok;
}

void keep_library_loaded(const void* address)
{
    Dl_info info{};
    if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) return;
    // The library is loaded already: this only marks it never to be unloaded.
    dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

}  // namespace softskf
