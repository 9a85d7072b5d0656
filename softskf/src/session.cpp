#include "session.h"

#include <new>
#include <random>
#include <set>
#include <utility>

#include "host_hooks.h"
#include "platform.h"

namespace softskf {

namespace {

struct Login {
    bool user = false;
    bool admin = false;
};

// Process-wide token runtime, shared by all calls into this copy of the module.
struct Runtime {
    std::mutex mutex;
    std::map<std::uintptr_t, HandleEntry> handles;
    std::uintptr_t next_handle = 0;
    std::map<std::pair<std::string, std::string>, Login> logins;
};

Runtime* created = nullptr;  // the runtime once made

Runtime& runtime()
{
    // Never destroyed, since calls may come during process exit; but held in
    // the module's own memory rather than the heap, so unloading the module
    // takes it along (what its maps own is given back below).
    alignas(Runtime) static unsigned char storage[sizeof(Runtime)];
    static Runtime* instance = [] {
        auto* rt = new (storage) Runtime;
        // Each copy of the module numbers its handles from its own base, so
        // a handle given to the wrong vendor's library is refused there.
        // Where pointers are 64 bits the handles need more than 32, as the
        // heap pointers x64 vendor libraries hand out do: a caller that kept
        // a handle in a 32-bit integer loses it.
        crypto::initialize();
        // The base needs no secret: the system's generator rather than
        // libgcrypt's pool, which on Windows polls the system's performance
        // data and leaves its buffers behind when the module is unloaded.
        const auto base = static_cast<std::uint16_t>(std::random_device{}());
        const std::uint64_t above4GiB = sizeof(std::uintptr_t) > 4 ? 0x1000000000ull : 0;
        rt->next_handle = static_cast<std::uintptr_t>(above4GiB + 0x10000000u + (std::uint64_t{base} << 12));
        created = rt;
        return rt;
    }();
    return *instance;
}

// At unload (and at exit) what the maps own goes back to the heap, under the
// lock, so a call still arriving finds them empty, never torn; the runtime
// itself stays. A call still holding the lock (one a "block" fault holds)
// keeps them as they are.
struct EmptiedAtUnload {
    ~EmptiedAtUnload()
    {
        if (created == nullptr) return;
        std::unique_lock<std::mutex> lock(created->mutex, std::try_to_lock);
        if (!lock.owns_lock()) return;
        created->handles.clear();
        created->logins.clear();
    }
} emptiedAtUnload;

bool matches(const std::string& wanted, const std::string& actual) { return wanted.empty() || wanted == actual; }

}  // namespace

Call::Call(const char* function) : lock_(runtime().mutex), function_(function)
{
    crypto::initialize();
    path_ = state_file_path();
    if (path_.empty()) {
        load_result_ = SAR_FILEERR;
        return;
    }
    std::string text;
    switch (read_whole_file(path_, text)) {
    case ReadResult::missing: return;  // a token with no devices yet
    case ReadResult::failed: load_result_ = SAR_READFILEERR; return;
    case ReadResult::ok: break;
    }
    auto parsed = parse_state(text);
    // A state we cannot understand is never overwritten: every call fails.
    if (!parsed) {
        load_result_ = SAR_FILEERR;
        return;
    }
    state_ = std::move(*parsed);
}

SKF_ULONG Call::check_faults(const Scope& scope)
{
    hostile_.reset();
    for (const Fault& f : state_.faults) {
        if (f.call != function_ || !matches(f.device, scope.device) || !matches(f.application, scope.application) ||
            !matches(f.container, scope.container))
            continue;
        if (f.kind == FaultKind::fail) return f.code;
        // These act before the call does its work, which then goes on.
        if (f.kind == FaultKind::call_host) {
            call_host(function_);
            continue;
        }
        if (f.kind == FaultKind::block) {
            block_until_released();
            continue;
        }
        if (!hostile_) hostile_ = f;
    }
    return SAR_OK;
}

SKF_HANDLE Call::open_handle(HandleEntry entry)
{
    Runtime& rt = runtime();
    std::uintptr_t id = rt.next_handle;
    rt.next_handle += 0x10;
    rt.handles.emplace(id, std::move(entry));
    return reinterpret_cast<SKF_HANDLE>(id);
}

SKF_ULONG Call::resolve(SKF_HANDLE handle, HandleKind kind, Resolved& out)
{
    out = Resolved{};
    auto it = runtime().handles.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == runtime().handles.end() || it->second.kind != kind) return SAR_INVALIDHANDLEERR;
    HandleEntry& entry = it->second;
    out.entry = &entry;
    out.device = find_device(state_, entry.device);
    if (!out.device) return SAR_INVALIDHANDLEERR;
    if (kind == HandleKind::device || kind == HandleKind::hash) return SAR_OK;
    out.application = find_application(*out.device, entry.application);
    if (!out.application) return SAR_INVALIDHANDLEERR;
    if (kind == HandleKind::application) return SAR_OK;
    out.container = find_container(*out.application, entry.container);
    return out.container ? SAR_OK : SAR_INVALIDHANDLEERR;
}

void Call::close_handle(SKF_HANDLE handle)
{
    auto& handles = runtime().handles;
    std::set<std::uintptr_t> doomed{reinterpret_cast<std::uintptr_t>(handle)};
    // Children were opened after their parents, so one pass in id order
    // catches grandchildren too.
    for (auto& [id, entry] : handles)
        if (doomed.count(entry.parent)) doomed.insert(id);
    for (std::uintptr_t id : doomed) handles.erase(id);
}

SKF_ULONG Call::close_call(SKF_HANDLE handle, HandleKind kind)
{
    Resolved r;
    SKF_ULONG rc = resolve(handle, kind, r);
    if (rc != SAR_OK && r.entry == nullptr) return rc;
    if (SKF_ULONG fault = check_faults({r.entry->device, r.entry->application, r.entry->container})) return fault;
    close_handle(handle);
    return SAR_OK;
}

void Call::close_handles_of(const std::string& device, const std::string& application, const std::string& container)
{
    std::set<std::uintptr_t> doomed;
    for (auto& [id, entry] : runtime().handles) {
        if (entry.kind == HandleKind::device || entry.kind == HandleKind::hash) continue;
        if (entry.device == device && entry.application == application &&
            (container.empty() || entry.container == container))
            doomed.insert(id);
    }
    for (std::uintptr_t id : doomed) close_handle(reinterpret_cast<SKF_HANDLE>(id));
}

bool Call::logged_in(const std::string& device, const std::string& application, SKF_ULONG pin_type) const
{
    auto& logins = runtime().logins;
    auto it = logins.find({device, application});
    if (it == logins.end()) return false;
    return pin_type == ADMIN_TYPE ? it->second.admin : it->second.user;
}

void Call::set_logged_in(const std::string& device, const std::string& application, SKF_ULONG pin_type)
{
    Login& login = runtime().logins[{device, application}];
    (pin_type == ADMIN_TYPE ? login.admin : login.user) = true;
}

void Call::log_out(const std::string& device, const std::string& application)
{
    runtime().logins.erase({device, application});
}

SKF_ULONG Call::save() { return replace_file_atomically(path_, format_state(state_)) ? SAR_OK : SAR_WRITEFILEERR; }

}  // namespace softskf
