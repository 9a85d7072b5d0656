// Calendar arithmetic for the FILETIME stand-ins: 100 ns units since
// 1601-01-01 00:00:00 UTC, proleptic Gregorian calendar.
#pragma once

#include <windows.h>

#include <cstdint>

uint64_t posix_fileTimeOf(int year, int month, int day, int hour, int minute, int second);
FILETIME posix_toFileTime(uint64_t ticks);
uint64_t posix_ticksOf(const FILETIME& fileTime);
