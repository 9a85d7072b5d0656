#include "dsc_acx_log.h"

#include <cstdarg>
#include <cstring>
#include <mutex>

#include "tcore_errors.h"
#include "dsc_acx_provider.h"
#include "tcore_log.h"
#include "tcore_trace.h"

namespace {

bool logSet = false;              // never cleared: a closed log stays closed
tcore_log* currentLog = nullptr;  // null before Sgn_SetLog and after Sgn_CloseLog
// Calls are one at a time, but the late answer of a token call that was
// given up on still writes its trace, from its own thread, whenever it
// comes: the log is opened, written and closed under this lock.
std::mutex logLock;

void writeLine(int level, const char* format, va_list args)
{
    std::lock_guard<std::mutex> hold(logLock);
    if (currentLog == nullptr) return;
    tcore_log_writeV(currentLog, level, format, args);
}

void traceToLog(const char* text) { dsc_acx_logError("%s", text); }

}  // namespace

int dsc_acx_setLog(const char* path)
{
    if (logSet) return 0;
    char fromRegistry[DSC_ACX_SLOT] = {0};
    if (dsc_acx_getLogPath(fromRegistry) < 0) fromRegistry[0] = 0;
    const char* chosen = path != nullptr && path[0] != 0 ? path : fromRegistry;
    if (chosen[0] == 0) return 0;
    tcore_log* log = tcore_log_new(chosen, DSC_ACX_LOG_LIMIT_KB);
    if (log == nullptr) return DSC_ACX_ERR_LOG_CREATE;
    tcore_setTraceSink(traceToLog);
    logSet = true;
    std::lock_guard<std::mutex> hold(logLock);
    currentLog = log;
    return 0;
}

int dsc_acx_closeLog()
{
    std::lock_guard<std::mutex> hold(logLock);
    tcore_log_free(currentLog);
    currentLog = nullptr;
    return 0;
}

void dsc_acx_forgetLog()
{
    tcore_setTraceSink(nullptr);
    dsc_acx_closeLog();
    logSet = false;
}

void dsc_acx_logError(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    writeLine(TCORE_LOG_ERR, format, args);
    va_end(args);
}

void dsc_acx_logInfo(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    writeLine(TCORE_LOG_INF, format, args);
    va_end(args);
}
