// One export call's view of the token: the process-wide lock is held, the
// state has just been read from the file beside the module, and handles and
// the security state (which PINs were verified) live in this process only.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#include "call_stats.h"
#include "crypto.h"
#include "skfapi.h"
#include "state.h"

namespace softskf {

enum class HandleKind { device, application, container, hash };

struct HandleEntry {
    HandleKind kind = HandleKind::device;
    std::uintptr_t parent = 0;  // the handle it was opened from, 0 for devices
    std::string device, application, container;
    std::unique_ptr<crypto::Hash> hash;
};

// The objects a handle stands for, looked up in the state just read.
struct Resolved {
    HandleEntry* entry = nullptr;
    Device* device = nullptr;
    Application* application = nullptr;
    Container* container = nullptr;
};

// What an injected fault may be scoped to.
struct Scope {
    std::string device, application, container;
};

class Call {
public:
    explicit Call(const char* function);
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

    // SAR_OK, or why the state could not be read.
    SKF_ULONG load_result() const { return load_result_; }
    State& state() { return state_; }

    // SAR_OK, or the code of an injected failure for this call and scope.
    // A non-failing (hostile) fault for the scope is kept for hostile().
    SKF_ULONG check_faults(const Scope& scope);
    const Fault* hostile() const { return hostile_ ? &*hostile_ : nullptr; }

    SKF_HANDLE open_handle(HandleEntry entry);
    // SAR_INVALIDHANDLEERR when the handle is unknown, of another kind, or
    // its object no longer exists in the state.
    SKF_ULONG resolve(SKF_HANDLE handle, HandleKind kind, Resolved& out);
    // Closes the handle and everything opened from it.
    void close_handle(SKF_HANDLE handle);
    // The Close/DisConnect calls: the handle must be known and of `kind`,
    // but its object may have been deleted meanwhile; faults apply.
    SKF_ULONG close_call(SKF_HANDLE handle, HandleKind kind);
    // Invalidates every handle of an application or container that was deleted.
    void close_handles_of(const std::string& device, const std::string& application, const std::string& container);

    bool logged_in(const std::string& device, const std::string& application, SKF_ULONG pin_type) const;
    void set_logged_in(const std::string& device, const std::string& application, SKF_ULONG pin_type);
    void log_out(const std::string& device, const std::string& application);

    // Writes the state back: SAR_OK or SAR_WRITEFILEERR.
    SKF_ULONG save();

private:
    std::lock_guard<std::mutex> lock_;
    const char* function_;
    State state_;
    std::string path_;
    SKF_ULONG load_result_ = SAR_OK;
    std::optional<Fault> hostile_;
};

// Runs one export body under a Call; no exception leaves the module. Every
// call is counted and timed, whatever it returns.
template <class Body>
SKF_ULONG run_call(const char* function, Body&& body)
{
    CallTimer timer(function);
    try {
        Call call(function);
        if (call.load_result() != SAR_OK) return call.load_result();
        return body(call);
    } catch (const std::bad_alloc&) {
        return SAR_MEMORYERR;
    } catch (...) {
        return SAR_FAIL;
    }
}

}  // namespace softskf
