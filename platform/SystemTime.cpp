#include "platform/SystemTime.h"

#include "platform/LastError.h"

#include <cerrno>
#include <ctime>

namespace
{

bool IsLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month)
{
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// wDayOfWeek is not checked: the clock is set from the date alone.
bool IsValid(const SYSTEMTIME& st)
{
    if (st.wMonth < 1 || st.wMonth > 12 || st.wDay < 1) {
        return false;
    }
    return st.wDay <= DaysInMonth(st.wYear, st.wMonth) && st.wHour < 24 && st.wMinute < 60 &&
           st.wSecond < 60 && st.wMilliseconds < 1000;
}

// Days from 1970-01-01 to a Gregorian date (proleptic), for any year of the record (0 on). The
// 400-year eras are counted from the year -400, so that none is negative.
int64_t DaysSinceUnixEpoch(int year, int month, int day)
{
    const int y = (month <= 2 ? year - 1 : year) + 400;
    const int era = y / 400;
    const int yearOfEra = y - era * 400;
    const int dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return static_cast<int64_t>(era - 1) * 146097 + dayOfEra - 719468;
}

} // namespace

void GetSystemTime(SYSTEMTIME* st)
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm utc{};
    gmtime_r(&now.tv_sec, &utc);
    st->wYear = static_cast<uint16_t>(utc.tm_year + 1900);
    st->wMonth = static_cast<uint16_t>(utc.tm_mon + 1);
    st->wDayOfWeek = static_cast<uint16_t>(utc.tm_wday);
    st->wDay = static_cast<uint16_t>(utc.tm_mday);
    st->wHour = static_cast<uint16_t>(utc.tm_hour);
    st->wMinute = static_cast<uint16_t>(utc.tm_min);
    // A leap second (tm_sec 60) never comes from CLOCK_REALTIME, which repeats a second instead.
    st->wSecond = static_cast<uint16_t>(utc.tm_sec);
    st->wMilliseconds = static_cast<uint16_t>(now.tv_nsec / 1000000);
}

bool SystemTimeToTimespec(const SYSTEMTIME& st, timespec& ts)
{
    if (!IsValid(st)) {
        SetLastError(EINVAL);
        return false;
    }
    const int64_t days = DaysSinceUnixEpoch(st.wYear, st.wMonth, st.wDay);
    ts.tv_sec = static_cast<time_t>(days * 86400 + st.wHour * 3600 + st.wMinute * 60 + st.wSecond);
    ts.tv_nsec = static_cast<long>(st.wMilliseconds) * 1000000;
    return true;
}

bool SetSystemTime(const SYSTEMTIME* st)
{
    timespec ts{};
    if (!st || !SystemTimeToTimespec(*st, ts)) {
        SetLastError(EINVAL);
        return false;
    }
    if (clock_settime(CLOCK_REALTIME, &ts) != 0) {
        SetLastError(static_cast<uint32_t>(errno));
        return false;
    }
    SetLastError(0);
    return true;
}
