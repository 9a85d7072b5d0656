// What the stand-ins keep between calls: a map bounded in entries and in
// bytes, and given back when the module is unloaded.
#pragma once

#include <cstddef>
#include <functional>
#include <mutex>
#include <type_traits>
#include <unordered_map>

static_assert(std::is_trivially_destructible_v<std::mutex>, "a kept map's lock must outlive every caller");

// Lives in static storage: only a lock, a pointer and the bounds, trivially
// destroyed, so a call still running while the process exits finds the map
// in place. Everything but lock(), findOrMake() and freeUnlessBusy() is
// called with lock() held. A new entry that would pass either bound empties
// the map first: the entries kept are then made again, never served stale
// or past the bounds.
template <typename Key, typename Value, typename Hash = std::hash<Key>>
class posix_KeptMap {
public:
    constexpr posix_KeptMap(size_t maxEntries, size_t maxBytes) : maxEntries_(maxEntries), maxBytes_(maxBytes) {}
    posix_KeptMap(const posix_KeptMap&) = delete;
    posix_KeptMap& operator=(const posix_KeptMap&) = delete;

    std::mutex& lock() { return lock_; }

    // The value kept under `key`, or null; valid until the map changes.
    Value* find(const Key& key)
    {
        if (map_ == nullptr) return nullptr;
        auto it = map_->entries.find(key);
        return it == map_->entries.end() ? nullptr : &it->second.value;
    }

    void forget(const Key& key)
    {
        if (map_ == nullptr) return;
        auto it = map_->entries.find(key);
        if (it == map_->entries.end()) return;
        map_->bytes -= it->second.bytes;
        map_->entries.erase(it);
    }

    // Keeps `value`, of `bytes`, under `key` in place of what was kept
    // there; a value larger than the whole bound is not kept.
    void keep(const Key& key, Value value, size_t bytes)
    {
        forget(key);
        if (bytes > maxBytes_ || maxEntries_ == 0) return;
        if (map_ == nullptr) map_ = new Map;
        if (map_->entries.size() >= maxEntries_ || map_->bytes + bytes > maxBytes_) {
            map_->entries.clear();
            map_->bytes = 0;
        }
        map_->bytes += bytes;
        map_->entries.emplace(key, Entry{std::move(value), bytes});
    }

    // The value kept under `key`, or else the one `make()` gives, kept
    // under `keyOf(value)` (equal to `key`, and valid while the value
    // lives) and counted as `bytesOf(value)`; a null value is given back but
    // not kept. Takes the lock itself, and runs `make` without it, so
    // callers making other values do not wait for this one.
    template <typename Make, typename KeyOf, typename BytesOf>
    Value findOrMake(const Key& key, Make make, KeyOf keyOf, BytesOf bytesOf)
    {
        {
            std::lock_guard<std::mutex> hold(lock_);
            if (Value* known = find(key)) return *known;
        }
        Value made = make();
        if (!made) return made;
        std::lock_guard<std::mutex> hold(lock_);
        keep(keyOf(made), made, bytesOf(made));
        return made;
    }

    size_t entries() const { return map_ == nullptr ? 0 : map_->entries.size(); }
    size_t bytes() const { return map_ == nullptr ? 0 : map_->bytes; }

    // Run when the module is unloaded (from a destructor function): frees
    // the map unless a call holds it, which then keeps it to the end.
    void freeUnlessBusy()
    {
        if (!lock_.try_lock()) return;
        delete map_;
        map_ = nullptr;
        lock_.unlock();
    }

private:
    struct Entry {
        Value value;
        size_t bytes;
    };
    struct Map {
        std::unordered_map<Key, Entry, Hash> entries;
        size_t bytes = 0;
    };

    std::mutex lock_;
    Map* map_ = nullptr;
    size_t maxEntries_, maxBytes_;
};
