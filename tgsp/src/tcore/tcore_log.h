// A plain-text log file. Each line is written by opening the file, appending
// and closing it again, so several processes can share one log; the file is
// emptied when it has grown past its size limit.
#pragma once

#include <cstdarg>
#include <cstdio>

#define TCORE_LOG_ERR 1
#define TCORE_LOG_WAR 2
#define TCORE_LOG_INF 3

#define TCORE_LOG_PATH_MAX 255
#define TCORE_LOG_DEFAULT_KB 102400

struct tcore_log {
    std::FILE* file;                    // open only while one line is written
    char path[TCORE_LOG_PATH_MAX + 1];  // a longer path makes no log
    int maxSizeKB;                      // 0 or less: no limit
};

// Null for a null or empty path, and for a path longer than
// TCORE_LOG_PATH_MAX bytes (traced). No file is touched. A limit of 0 means
// TCORE_LOG_DEFAULT_KB.
tcore_log* tcore_log_new(const char* path, int maxSizeKB);
void tcore_log_free(tcore_log* log);

// One line "[pid] [LEVEL] [yyyy/mm/dd_hh:mm:ss] text\n". Levels 1 to 3 only.
// A file that cannot be written drops the line silently.
int tcore_log_write(tcore_log* log, int level, const char* text);

// The same with the text formatted from `format` and `args`, never cut; the
// message is written as it is formatted, not built in memory first.
int tcore_log_writeV(tcore_log* log, int level, const char* format, va_list args);

const char* tcore_log_levelName(int level);
