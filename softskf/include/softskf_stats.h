/* Call statistics of one copy of the soft token: how often each SKF function
 * was called in this process and how long those calls took, so callers can
 * check which token calls a walk makes and what share of their time the
 * token takes. Each copy of the module (each path) counts on its own. */
#ifndef SOFTSKF_STATS_H
#define SOFTSKF_STATS_H

#include <stdint.h>

#include "skfapi.h"

#ifdef __cplusplus
extern "C" {
#endif

#define SOFTSKF_STAT_NAME 32

/* One SKF function's figures since the last reset. */
typedef struct softskf_CallStat {
    char name[SOFTSKF_STAT_NAME]; /* "SKF_EnumDev", NUL-terminated */
    uint64_t calls;
    uint64_t nanoseconds; /* wall time inside the calls, lock and state file included */
} softskf_CallStat;

/* Copies the figures of up to `capacity` functions, in name order, and
 * returns how many functions have figures (which may exceed `capacity`). */
SKF_ULONG DEVAPI softskf_callStats(softskf_CallStat* stats, SKF_ULONG capacity);

/* Starts counting afresh. */
void DEVAPI softskf_resetCallStats(void);

typedef SKF_ULONG(DEVAPI* softskf_callStats_fn)(softskf_CallStat*, SKF_ULONG);
typedef void(DEVAPI* softskf_resetCallStats_fn)(void);

#ifdef __cplusplus
}
#endif

#endif
