#include "tcore_mem.h"

#include <cstdlib>
#include <cstring>

#include "tcore_errors.h"

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>
#endif

namespace {

#if defined(__linux__)

constexpr size_t kHugePage = size_t{2} << 20;
// From this size on a block is mapped on its own. Below it the heap serves
// better: glibc keeps blocks up to 32 MiB in its heap once one has been freed
// and gives the same pages back to the next request, with no fault at all.
constexpr size_t kMappedFrom = size_t{32} << 20;

// The blocks mapped by tcore_allocLarge that tcore_free has not yet
// released, so that it unmaps those and gives every other pointer to free().
class Mappings {
public:
    void add(void* start, size_t length)
    {
        std::lock_guard<std::mutex> hold(lock);
        live.push_back({start, length});
        count.store(live.size(), std::memory_order_release);
    }
    // Unmaps `p` when it is one of the blocks; false for any other pointer.
    bool release(void* p)
    {
        if (count.load(std::memory_order_acquire) == 0) return false;
        size_t length = 0;
        {
            std::lock_guard<std::mutex> hold(lock);
            auto it = live.begin();
            while (it != live.end() && it->start != p) ++it;
            if (it == live.end()) return false;
            length = it->length;
            *it = live.back();
            live.pop_back();
            count.store(live.size(), std::memory_order_release);
        }
        munmap(p, length);
        return true;
    }

private:
    struct Mapping {
        void* start;
        size_t length;
    };
    std::mutex lock;
    std::vector<Mapping> live;
    std::atomic<size_t> count{0};
};

// Never destroyed: a block may be given back during the process's exit.
Mappings& mappings()
{
    static auto* instance = new Mappings;
    return *instance;
}

// A mapping of `size` bytes (whole pages) that starts on a huge-page
// boundary, so that every whole 2 MiB of it can be one huge page: mapped
// with a huge page to spare, then trimmed at both ends. Null when the
// system has no room.
void* mapForHugePages(size_t size)
{
    const auto page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    if (size > SIZE_MAX / 2) return nullptr;
    const size_t length = (size + page - 1) / page * page;
    void* raw = mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    const auto rawAt = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t startAt = (rawAt + kHugePage - 1) & ~(kHugePage - 1);
    auto* start = reinterpret_cast<char*>(startAt);
    if (startAt > rawAt) munmap(raw, startAt - rawAt);
    if (startAt - rawAt < kHugePage) munmap(start + length, kHugePage - (startAt - rawAt));
    // Advice only: where huge pages are off the block works with small ones.
    madvise(start, length, MADV_HUGEPAGE);
    mappings().add(start, length);
    return start;
}

#endif

}  // namespace

void tcore_exitNoMemory() { std::exit(TCORE_EXIT_NO_MEMORY); }

void* tcore_zalloc(size_t size)
{
    // calloc of zero bytes may legally return null; one byte keeps the
    // "never null" promise.
    void* p = std::calloc(1, size == 0 ? 1 : size);
    if (p == nullptr) tcore_exitNoMemory();
    return p;
}

void* tcore_allocLarge(size_t size)
{
#if defined(__linux__)
    if (size >= kMappedFrom) {
        void* p = mapForHugePages(size);
        if (p == nullptr) tcore_exitNoMemory();
        return p;
    }
#endif
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) tcore_exitNoMemory();
    return p;
}

void tcore_free(void* p)
{
#if defined(__linux__)
    if (mappings().release(p)) return;
#endif
    std::free(p);
}

char* tcore_strdup(const char* text)
{
    size_t n = std::strlen(text);
    auto* copy = static_cast<char*>(tcore_zalloc(n + 1));
    std::memcpy(copy, text, n);
    return copy;
}
