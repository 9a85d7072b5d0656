// The library's diagnostic log: on once per process (the first Sgn_SetLog
// that finds a path), off for good after Sgn_CloseLog. While it is on, every
// error-trace entry becomes an ERR line.
#pragma once

#define DSC_ACX_LOG_LIMIT_KB 10240

int dsc_acx_setLog(const char* path);
int dsc_acx_closeLog();
// Closes the log and forgets that it was ever set, as at load: only for the
// module's unload, after which the module's code is gone.
void dsc_acx_forgetLog();

void dsc_acx_logError(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
void dsc_acx_logInfo(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
