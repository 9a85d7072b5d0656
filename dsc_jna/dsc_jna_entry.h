// The frame every exported function runs in. The selected certificate, the
// log, the trace sink, the loaded token libraries, the store names and the
// chooser's language are process-wide, so an export runs whole under one
// process-wide lock: calls from several host threads are served one after
// the other. The lock stays held while the chooser waits for the user, so
// other threads wait until the user answers.
//
// A call on the thread that already holds the lock comes from inside one of
// the library's own calls: a token library calling an export, or a window
// procedure run by a vendor's PIN dialog or the chooser's message loop.
// Waiting for the lock there would wait for itself forever, and every other
// thread with it; running the body would tear the state the outer call is
// using. So such a call is refused at once, traced, with its own code.
//
// Nothing below the exports means to throw, but they use the standard
// library, and an exception unwinding into a JNA host's native frames is
// undefined behaviour. So the frame also catches whatever escapes the body:
// a failed allocation ends the process as every failed allocation of the
// library does; anything else is traced and answered with the internal-error
// code, in the shape the export returns.
#pragma once

#include <new>

#include "tcore_errors.h"
#include "tcore_mem.h"

void dsc_jna_lockExports();
void dsc_jna_unlockExports();
// Takes the lock only when no thread holds it: true when taken.
bool dsc_jna_tryLockExports();
// True while this thread holds the lock, or runs a token call for the
// thread that does.
bool dsc_jna_heldByThisThread();
// Traces a refused call from inside the library's own call.
void dsc_jna_traceReentry();

// Traces the exception being handled; called only inside a catch block.
void dsc_jna_traceEscapedException();

// The failure answer of an export returning an int, a text (the code in
// decimal, freed by Sgn_Free like any answer of Sgn_Sign) or nothing.
int dsc_jna_failure(int code, int*);
char* dsc_jna_failure(int code, char**);
inline void dsc_jna_failure(int, void*) {}

// Runs one export's body under the lock and returns what the body returns.
template <class Body>
auto dsc_jna_export(Body body) -> decltype(body())
{
    using Result = decltype(body());
    if (dsc_jna_heldByThisThread()) {
        dsc_jna_traceReentry();
        return dsc_jna_failure(DSC_JNA_ERR_REENTERED, static_cast<Result*>(nullptr));
    }
    struct Held {
        Held() { dsc_jna_lockExports(); }
        ~Held() { dsc_jna_unlockExports(); }
        Held(const Held&) = delete;
        Held& operator=(const Held&) = delete;
    } held;
    try {
        return body();
    } catch (const std::bad_alloc&) {
        tcore_exitNoMemory();
    } catch (...) {
        dsc_jna_traceEscapedException();
        return dsc_jna_failure(DSC_JNA_ERR_INTERNAL, static_cast<Result*>(nullptr));
    }
}
