#include "posix_storefiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <type_traits>

#include "posix_keptmap.h"

namespace {

// What identifies one version of a file without reading it. The inode
// changes when a file is replaced; the times, to the nanosecond, when it
// is written in place (the change time also when its times are set back).
struct FileKey {
    dev_t device;
    ino_t inode;
    off_t size;
    int64_t modified, changed;  // nanoseconds since the epoch

    bool operator==(const FileKey&) const = default;
};

int64_t nanosecondsOf(const timespec& t) { return int64_t{t.tv_sec} * 1000000000 + t.tv_nsec; }

FileKey keyOf(const struct stat& st)
{
    return {st.st_dev, st.st_ino, st.st_size, nanosecondsOf(st.st_mtim), nanosecondsOf(st.st_ctim)};
}

int64_t now()
{
    timespec t{};
    clock_gettime(CLOCK_REALTIME, &t);
    return nanosecondsOf(t);
}

// A file's times advance in ticks of the file system's clock (a few
// milliseconds, two seconds on some), so a write in the same tick as a read
// can leave size and times as they were. A file is taken as unchanged from
// its times alone only when it had not been touched for this long before
// the read; a younger file is read again and compared.
constexpr int64_t kSettled = int64_t{2} * 1000000000;

struct Entry {
    FileKey key;
    int64_t readAt;       // when the content below was read
    std::string content;  // to compare a re-read file with
    posix_StoreFileCerts certs;
};

// Bounds of what is kept: a store of this many files, or this many bytes
// of file content, is read again in full by every selection.
constexpr size_t kMaxFiles = 4096;
constexpr size_t kMaxBytes = size_t{16} << 20;

// The files read, by path, counted by their content's size.
constinit posix_KeptMap<std::string, Entry> files(kMaxFiles, kMaxBytes);
static_assert(std::is_trivially_destructible_v<decltype(files)>, "the files read must outlive every caller");

bool trusted(const Entry& e, const FileKey& key)
{
    return e.key == key && std::max(key.modified, key.changed) + kSettled <= e.readAt;
}

// The whole file, and its key after the read; false when it cannot be read.
bool readFile(int dirFd, const std::string& name, std::string* content, FileKey* key)
{
    int fd = openat(dirFd, name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    content->clear();
    char block[16384];
    ssize_t n = 0;
    while ((n = read(fd, block, sizeof block)) > 0) content->append(block, static_cast<size_t>(n));
    struct stat st {};
    bool ok = n == 0 && fstat(fd, &st) == 0;
    close(fd);
    if (ok) *key = keyOf(st);
    return ok;
}

// Every certificate the content holds: PEM blocks, or the whole of it as DER.
posix_StoreFileCerts decodeFile(const std::string& content)
{
    posix_StoreFileCerts certs;
    auto add = [&](const unsigned char* der, size_t len) {
        if (len == 0) return;
        if (auto decoded = posix_decodeCert(der, static_cast<DWORD>(len))) certs.push_back(std::move(decoded));
    };
    if (content.find("-----BEGIN") == std::string::npos) {
        add(reinterpret_cast<const unsigned char*>(content.data()), content.size());
        return certs;
    }
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_mem_buf(content.data(), static_cast<int>(content.size())),
                                                  BIO_free);
    while (X509* x = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr)) {
        unsigned char* der = nullptr;
        int len = i2d_X509(x, &der);
        if (len > 0) add(der, static_cast<size_t>(len));
        OPENSSL_free(der);
        X509_free(x);
    }
    return certs;
}

// Run by dlclose and at the process's exit. A call that holds the files
// keeps them; the contexts it made hold their certificates themselves.
__attribute__((destructor)) void forgetAll() { files.freeUnlessBusy(); }

}  // namespace

posix_StoreFileCerts posix_storeFileCerts(int dirFd, const std::string& dir, const std::string& name)
{
    const std::string path = dir + "/" + name;
    std::lock_guard<std::mutex> hold(files.lock());
    Entry* known = files.find(path);
    struct stat st {};
    if (known != nullptr && fstatat(dirFd, name.c_str(), &st, 0) == 0 && trusted(*known, keyOf(st)))
        return known->certs;

    Entry fresh;
    fresh.readAt = now();
    if (!readFile(dirFd, name, &fresh.content, &fresh.key)) {
        files.forget(path);
        return {};
    }
    fresh.certs = known != nullptr && known->content == fresh.content ? known->certs : decodeFile(fresh.content);
    posix_StoreFileCerts certs = fresh.certs;
    const size_t size = fresh.content.size();
    files.keep(path, std::move(fresh), size);
    return certs;
}
