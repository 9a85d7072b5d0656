#include "call_stats.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>

#include "softskf_stats.h"

namespace softskf {

namespace {

// A fixed table: recording never allocates, so it cannot fail inside a call
// that is already returning. Room for every export with some to spare.
constexpr std::size_t kSlots = 64;

struct Table {
    std::mutex mutex;
    softskf_CallStat slots[kSlots] = {};
    std::size_t used = 0;
};

Table& table()
{
    // Never destroyed, since calls may come during process exit; but held in
    // the module's own memory rather than the heap, so unloading the module
    // takes it along.
    alignas(Table) static unsigned char storage[sizeof(Table)];
    static Table* instance = new (storage) Table;
    return *instance;
}

}  // namespace

void record_call(const char* function, std::uint64_t nanoseconds) noexcept
{
    Table& t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    softskf_CallStat* slot = nullptr;
    for (std::size_t i = 0; i < t.used && slot == nullptr; ++i)
        if (std::strncmp(t.slots[i].name, function, SOFTSKF_STAT_NAME) == 0) slot = &t.slots[i];
    if (slot == nullptr) {
        if (t.used == kSlots) return;
        slot = &t.slots[t.used++];
        std::strncpy(slot->name, function, SOFTSKF_STAT_NAME - 1);
    }
    ++slot->calls;
    slot->nanoseconds += nanoseconds;
}

}  // namespace softskf

using namespace softskf;

extern "C" {

SKF_ULONG DEVAPI softskf_callStats(softskf_CallStat* stats, SKF_ULONG capacity)
{
    Table& t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    softskf_CallStat sorted[kSlots];
    std::copy(t.slots, t.slots + t.used, sorted);
    std::sort(sorted, sorted + t.used,
              [](const softskf_CallStat& a, const softskf_CallStat& b) { return std::strcmp(a.name, b.name) < 0; });
    if (stats != nullptr) std::copy(sorted, sorted + std::min<std::size_t>(t.used, capacity), stats);
    return static_cast<SKF_ULONG>(t.used);
}

void DEVAPI softskf_resetCallStats(void)
{
    Table& t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    std::fill(t.slots, t.slots + kSlots, softskf_CallStat{});
    t.used = 0;
}

}  // extern "C"
