// Current time and FILETIME conversions, as Windows gives them.
#include <windows.h>

#include <ctime>

#include "posix_time.h"

namespace {

constexpr uint64_t kTicksPerSecond = 10000000;
constexpr int64_t kSecondsPerDay = 86400;
// Days from 1601-01-01 to 1970-01-01.
constexpr int64_t kDays1601To1970 = 134774;

// Days since 1970-01-01 of a civil date (H. Hinnant's algorithm).
int64_t daysFromCivil(int64_t y, int64_t m, int64_t d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(int64_t z, int64_t* y, int64_t* m, int64_t* d)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    *d = doy - (153 * mp + 2) / 5 + 1;
    *m = mp < 10 ? mp + 3 : mp - 9;
    *y = yoe + era * 400 + (*m <= 2);
}

}  // namespace

uint64_t posix_fileTimeOf(int year, int month, int day, int hour, int minute, int second)
{
    int64_t days = daysFromCivil(year, month, day) + kDays1601To1970;
    int64_t seconds = days * kSecondsPerDay + hour * 3600 + minute * 60 + second;
    return static_cast<uint64_t>(seconds) * kTicksPerSecond;
}

FILETIME posix_toFileTime(uint64_t ticks)
{
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

uint64_t posix_ticksOf(const FILETIME& fileTime)
{
    return (static_cast<uint64_t>(fileTime.dwHighDateTime) << 32) | fileTime.dwLowDateTime;
}

void GetSystemTimeAsFileTime(LPFILETIME now)
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    uint64_t ticks = static_cast<uint64_t>(ts.tv_sec + kDays1601To1970 * kSecondsPerDay) * kTicksPerSecond +
                     static_cast<uint64_t>(ts.tv_nsec) / 100;
    *now = posix_toFileTime(ticks);
}

BOOL FileTimeToSystemTime(const FILETIME* fileTime, LPSYSTEMTIME systemTime)
{
    if (fileTime == nullptr || systemTime == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    uint64_t ticks = posix_ticksOf(*fileTime);
    // Windows refuses times with the top bit set.
    if (ticks >> 63) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto seconds = static_cast<int64_t>(ticks / kTicksPerSecond);
    int64_t days = seconds / kSecondsPerDay;
    int64_t rest = seconds % kSecondsPerDay;
    int64_t y = 0, m = 0, d = 0;
    civilFromDays(days - kDays1601To1970, &y, &m, &d);
    systemTime->wYear = static_cast<WORD>(y);
    systemTime->wMonth = static_cast<WORD>(m);
    systemTime->wDay = static_cast<WORD>(d);
    // 1601-01-01 was a Monday.
    systemTime->wDayOfWeek = static_cast<WORD>((days + 1) % 7);
    systemTime->wHour = static_cast<WORD>(rest / 3600);
    systemTime->wMinute = static_cast<WORD>(rest / 60 % 60);
    systemTime->wSecond = static_cast<WORD>(rest % 60);
    systemTime->wMilliseconds = static_cast<WORD>(ticks / 10000 % 1000);
    return TRUE;
}

void GetLocalTime(LPSYSTEMTIME now)
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm local{};
    localtime_r(&ts.tv_sec, &local);  // localtime() shares one buffer between threads
    now->wYear = static_cast<WORD>(local.tm_year + 1900);
    now->wMonth = static_cast<WORD>(local.tm_mon + 1);
    now->wDayOfWeek = static_cast<WORD>(local.tm_wday);
    now->wDay = static_cast<WORD>(local.tm_mday);
    now->wHour = static_cast<WORD>(local.tm_hour);
    now->wMinute = static_cast<WORD>(local.tm_min);
    now->wSecond = static_cast<WORD>(local.tm_sec);
    now->wMilliseconds = static_cast<WORD>(ts.tv_nsec / 1000000);
}
