/* Hooks of one copy of the soft token for tests of a host that must survive
 * a misbehaving vendor library: the fault kinds "call_host" (the token calls
 * back into its host from inside an SKF call) and "block" (the call waits
 * until the test releases it) act through them. Each copy of the module
 * (each path) has its own. */
#ifndef SOFTSKF_HOOKS_H
#define SOFTSKF_HOOKS_H

#include "skfapi.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Called with the SKF function's name ("SKF_EnumDev") from inside that call,
 * on the caller's thread, when a "call_host" fault applies to it. */
typedef void(DEVAPI* softskf_hostCallback)(const char* function);

/* Sets the callback (null: none; a "call_host" fault then does nothing). */
void DEVAPI softskf_setHostCallback(softskf_hostCallback callback);

/* Lets every call that a "block" fault holds return, now and from now on,
 * and returns how many calls were blocked at that moment. */
SKF_ULONG DEVAPI softskf_releaseBlocked(void);

/* How many calls a "block" fault holds right now. */
SKF_ULONG DEVAPI softskf_blockedCalls(void);

typedef void(DEVAPI* softskf_setHostCallback_fn)(softskf_hostCallback);
typedef SKF_ULONG(DEVAPI* softskf_releaseBlocked_fn)(void);
typedef SKF_ULONG(DEVAPI* softskf_blockedCalls_fn)(void);

#ifdef __cplusplus
}
#endif

#endif
