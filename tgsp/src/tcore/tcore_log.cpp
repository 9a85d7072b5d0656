#include "tcore_log.h"

#include <windows.h>

#include <cstring>
#include <ctime>

#include "tcore_errors.h"
#include "tcore_mem.h"

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

void formatTime(char* out, size_t cap)
{
    std::time_t now = std::time(nullptr);
    std::tm local{};
    if (const std::tm* t = std::localtime(&now)) local = *t;
    std::snprintf(out, cap, "%d/%02d/%02d_%02d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                  local.tm_hour, local.tm_min, local.tm_sec);
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

// Opens the file for one line, writes its head and then the body, closes it.
template <class Body>
int writeLine(tcore_log* log, int level, Body body)
{
    if (log == nullptr || level < TCORE_LOG_ERR || level > TCORE_LOG_INF) return TCORE_ERR_PARAM;
    char when[64] = {0};
    formatTime(when, sizeof when);
    prepareFile(log);
    log->file = std::fopen(log->path, "ab+");
    if (log->file == nullptr) return TCORE_OK;
    std::fprintf(log->file, "[%d] [%s] [%s] ", static_cast<int>(GetCurrentProcessId()), tcore_log_levelName(level),
                 when);
    body(log->file);
    std::fputc('\n', log->file);
    std::fclose(log->file);
    log->file = nullptr;
    return TCORE_OK;
}

}  // namespace

int tcore_log_write(tcore_log* log, int level, const char* text)
{
    return writeLine(log, level, [&](std::FILE* f) { std::fputs(text != nullptr ? text : "", f); });
}

int tcore_log_writeV(tcore_log* log, int level, const char* format, va_list args)
{
    // Formatted straight into the file: a line that carries a large
    // signature's data or text is never held in memory a second time.
    return writeLine(log, level, [&](std::FILE* f) {
        va_list copy;
        va_copy(copy, args);
        std::vfprintf(f, format != nullptr ? format : "", copy);
        va_end(copy);
    });
}
