// The error trace: where a failure is first seen, one line naming the source
// and the line of the check, handed at once to the process-wide sink (the
// log, once it is on). Nothing is kept; with no sink, nothing is formatted.
#pragma once

typedef void (*tcore_traceSink)(const char* text);

void tcore_setTraceSink(tcore_traceSink sink);
tcore_traceSink tcore_getTraceSink();

#if defined(__GNUC__)
#define TCORE_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define TCORE_PRINTF(fmt, args)
#endif

void tcore_trace(const char* file, int line, const char* format, ...) TCORE_PRINTF(3, 4);

// For a failed operating-system call: the last system error code is read
// when this is called. It is the one trace function that calls the platform,
// so it lives in tcore_trace_sys.cpp, above the platform layer, while the
// rest of the trace sits below it (the stand-ins trace their refusals).
void tcore_traceSysError(const char* file, int line, const char* what);

#define TCORE_TRACE(src, ...) tcore_trace((src), __LINE__, __VA_ARGS__)
#define TCORE_TRACE_SYS(src, what) tcore_traceSysError((src), __LINE__, (what))
