#pragma once

#include "platform/SystemTime.h"

#include <cstdio>
#include <string>

// A UTC calendar time as "YYYY-MM-DD hh:mm:ss.mmm", both ways, for readable test tables.
inline std::string CalendarText(const SYSTEMTIME& st)
{
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", st.wYear, st.wMonth,
                  st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
    return text;
}

// Leaves wDayOfWeek 0 and fields it cannot read 0; it does not validate.
inline SYSTEMTIME CalendarFromText(const std::string& text)
{
    SYSTEMTIME st;
    std::sscanf(text.c_str(), "%hu-%hu-%hu %hu:%hu:%hu.%hu", &st.wYear, &st.wMonth, &st.wDay,
                &st.wHour, &st.wMinute, &st.wSecond, &st.wMilliseconds);
    return st;
}
