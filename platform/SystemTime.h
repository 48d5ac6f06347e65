#pragma once

#include <cstdint>
#include <ctime>

// Calendar time in the shape the time engine was designed around: eight unsigned 16-bit fields,
// UTC.
struct SYSTEMTIME {
    uint16_t wYear = 0;
    uint16_t wMonth = 0;        // 1 to 12
    uint16_t wDayOfWeek = 0;    // 0 = Sunday to 6 = Saturday
    uint16_t wDay = 0;          // 1 to 31
    uint16_t wHour = 0;         // 0 to 23
    uint16_t wMinute = 0;       // 0 to 59
    uint16_t wSecond = 0;       // 0 to 59
    uint16_t wMilliseconds = 0; // 0 to 999
};

// The system clock's current UTC time; milliseconds truncated as the clock gives them.
void GetSystemTime(SYSTEMTIME* st);

// Sets the system clock (CLOCK_REALTIME) to a UTC calendar time. False with the last error set
// (errno) when the calendar time is invalid or the process may not set the clock.
bool SetSystemTime(const SYSTEMTIME* st);

// The calendar time as seconds and nanoseconds since 1970 for clock_settime. False (EINVAL) for
// a record that names no real time.
bool SystemTimeToTimespec(const SYSTEMTIME& st, timespec& ts);
