#include "tcore_log.h"

#include <io.h>
#include <windows.h>

#include <cstring>

#include "tcore_errors.h"
#include "tcore_mem.h"
#include "tcore_sources.h"
#include "tcore_trace.h"

namespace {

// Size of an existing file, or -1 when it is larger than `long` can tell (a
// file of 2 GiB or more on 32-bit Windows), which is past any limit.
long fileSize(std::FILE* f)
{
    if (std::fseek(f, 0, SEEK_END) != 0) return -1;
    return std::ftell(f);
}

// Creates the file when it is missing; empties it when it has grown past
// the limit. Nothing here reports: a line that cannot be written is dropped.
void prepareFile(const tcore_log* log)
{
    std::FILE* f = std::fopen(log->path, "rb");
    if (f == nullptr) {
        // Append mode creates without truncating, should the file exist but
        // refuse reading.
        if (std::FILE* created = std::fopen(log->path, "ab")) std::fclose(created);
        return;
    }
    long size = fileSize(f);
    std::fclose(f);
    if (log->maxSizeKB <= 0) return;
    if (size < 0 || size > static_cast<long>(log->maxSizeKB) * 1024) {
        if (std::FILE* emptied = std::fopen(log->path, "wb")) std::fclose(emptied);
    }
}

// "[pid] [LEVEL] [yyyy/mm/dd_hh:mm:ss] ": the head of every line.
int formatHead(char* out, size_t cap, int level)
{
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return std::snprintf(out, cap, "[%d] [%s] [%d/%02d/%02d_%02d:%02d:%02d] ", static_cast<int>(GetCurrentProcessId()),
                         tcore_log_levelName(level), now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
                         now.wSecond);
}

}  // namespace

const char* tcore_log_levelName(int level)
{
    static const char* const names[] = {"UNK", "ERR", "WAR", "INF", "DEB", "DEM"};
    if (level >= 0 && level <= 5) return names[level];
    return "UNKNOWN";
}

tcore_log* tcore_log_new(const char* path, int maxSizeKB)
{
    if (path == nullptr || path[0] == 0) return nullptr;
    // A cut path names another file, possibly in another directory, and may
    // end inside a multi-byte character.
    if (std::strlen(path) > TCORE_LOG_PATH_MAX) {
        TCORE_TRACE(TSRC_TCORE_LOG, "log path of %u bytes is longer than %d, no log",
                    static_cast<unsigned>(std::strlen(path)), TCORE_LOG_PATH_MAX);
        return nullptr;
    }
    auto* log = static_cast<tcore_log*>(tcore_zalloc(sizeof(tcore_log)));
    std::strncpy(log->path, path, TCORE_LOG_PATH_MAX);
    log->maxSizeKB = maxSizeKB == 0 ? TCORE_LOG_DEFAULT_KB : maxSizeKB;
    return log;
}

void tcore_log_free(tcore_log* log)
{
    if (log == nullptr) return;
    if (log->file != nullptr) std::fclose(log->file);
    tcore_free(log);
}

namespace {

// Lines up to this size are built in memory and go out in one write; longer
// ones (a large signature's data or text) are formatted straight into the
// file rather than held a second time.
constexpr size_t kLineArea = 8192;

// A line that could not be written whole (a full disk) is taken out again,
// so the next line does not continue it. `start` is where the line began.
void finishLine(std::FILE* f, long start, bool whole)
{
    if (!whole && start >= 0) _chsize(_fileno(f), start);
    std::fclose(f);
}

// Opens the file for one line, writes it, closes it.
int writeLine(tcore_log* log, int level, const char* format, va_list args)
{
    if (log == nullptr || level < TCORE_LOG_ERR || level > TCORE_LOG_INF) return TCORE_ERR_PARAM;
    if (format == nullptr) format = "";
    char* line = static_cast<char*>(tcore_zalloc(kLineArea));
    size_t headLen = static_cast<size_t>(formatHead(line, kLineArea, level));
    va_list copy;
    va_copy(copy, args);
    int bodyLen = std::vsnprintf(line + headLen, kLineArea - headLen, format, copy);
    va_end(copy);
    bool fits = bodyLen >= 0 && headLen + static_cast<size_t>(bodyLen) + 1 < kLineArea;

    prepareFile(log);
    log->file = std::fopen(log->path, "ab");
    if (log->file != nullptr) {
        std::FILE* f = log->file;
        // Unbuffered for a short line: it is one write, which appending
        // processes cannot interleave. (Set before any other use of the file.)
        if (fits) std::setvbuf(f, nullptr, _IONBF, 0);
        std::fseek(f, 0, SEEK_END);
        const long start = std::ftell(f);
        bool whole;
        if (fits) {
            size_t len = headLen + static_cast<size_t>(bodyLen);
            line[len++] = '\n';
            whole = std::fwrite(line, 1, len, f) == len;
        } else {
            std::fwrite(line, 1, headLen, f);
            va_copy(copy, args);
            std::vfprintf(f, format, copy);
            va_end(copy);
            std::fputc('\n', f);
            whole = std::fflush(f) == 0 && std::ferror(f) == 0;
        }
        finishLine(f, start, whole);
        log->file = nullptr;
    }
    tcore_free(line);
    return TCORE_OK;
}

int writeFormatted(tcore_log* log, int level, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int rc = writeLine(log, level, format, args);
    va_end(args);
    return rc;
}

}  // namespace

int tcore_log_write(tcore_log* log, int level, const char* text)
{
    return writeFormatted(log, level, "%s", text != nullptr ? text : "");
}

int tcore_log_writeV(tcore_log* log, int level, const char* format, va_list args)
{
    return writeLine(log, level, format, args);
}
