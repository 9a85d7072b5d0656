// The frame every exported function runs in. The selected certificate, the
// log, the trace sink, the loaded token libraries, the store names and the
// chooser's language are process-wide, so an export runs whole under one
// process-wide lock: calls from several host threads are served one after
// the other. The lock is not re-entrant, and it stays held while the chooser
// waits for the user, so other threads wait until the user answers.
#pragma once

void dsc_jna_lockExports();
void dsc_jna_unlockExports();

// Runs one export's body under the lock and returns what the body returns.
template <class Body>
auto dsc_jna_export(Body body) -> decltype(body())
{
    struct Held {
        Held() { dsc_jna_lockExports(); }
        ~Held() { dsc_jna_unlockExports(); }
        Held(const Held&) = delete;
        Held& operator=(const Held&) = delete;
    } held;
    return body();
}
