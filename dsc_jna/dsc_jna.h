/* dsc_jna_v3: the exported interface. Plain C functions with the platform's
 * default C calling convention; texts are NUL-terminated byte strings in the
 * system's ANSI code page; results are 0 (or a count) on success and a
 * negative code on failure. */
#ifndef DSC_JNA_H
#define DSC_JNA_H

#ifdef __cplusplus
extern "C" {
#endif

/* Releases a text returned by the library; null is ignored. */
void Sgn_Free(void* p);

/* Turns the diagnostic log on (once per process). A null or empty path takes
 * the registry value "SignLogPath". 0, or -3009. */
int Sgn_SetLog(const char* path);

/* Turns the log off for the life of the process. Always 0. */
int Sgn_CloseLog(void);

#ifdef __cplusplus
}
#endif

#endif
