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
#include <type_traits>
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
// A fixed table, constant-initialised and trivially destroyed: nothing is
// allocated for it, nothing is left behind when the library is unloaded, and
// it still works while the process exits. A host holds a few signature texts
// at once at most; a large block beyond the table comes from the heap.
class Mappings {
public:
    // False when the table is full.
    bool add(void* start, size_t length)
    {
        std::lock_guard<std::mutex> hold(lock);
        for (Mapping& slot : live) {
            if (slot.start != nullptr) continue;
            slot = {start, length};
            count.fetch_add(1, std::memory_order_release);
            return true;
        }
        return false;
    }
    // Unmaps `p` when it is one of the blocks; false for any other pointer.
    bool release(void* p)
    {
        if (p == nullptr || count.load(std::memory_order_acquire) == 0) return false;
        size_t length = 0;
        {
            std::lock_guard<std::mutex> hold(lock);
            Mapping* found = nullptr;
            for (Mapping& slot : live)
                if (slot.start == p) found = &slot;
            if (found == nullptr) return false;
            length = found->length;
            *found = {};
            count.fetch_sub(1, std::memory_order_release);
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
    Mapping live[64] = {};
    std::atomic<int> count{0};
};

static_assert(std::is_trivially_destructible_v<Mappings>, "the table must outlive every caller");
constinit Mappings mappings;

// A mapping of `size` bytes (whole pages) that starts on a huge-page
// boundary, so that every whole 2 MiB of it can be one huge page: mapped
// with a huge page to spare, then trimmed at both ends. Null when the
// system has no room or the table of mapped blocks is full.
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
    if (!mappings.add(start, length)) {
        munmap(start, length);
        return nullptr;
    }
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
    if (size >= kMappedFrom)
        if (void* p = mapForHugePages(size)) return p;
#endif
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) tcore_exitNoMemory();
    return p;
}

void tcore_free(void* p)
{
#if defined(__linux__)
    if (mappings.release(p)) return;
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
