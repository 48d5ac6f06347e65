#include "tests/common/CalendarText.h"

#include <cstdio>

std::string CalendarText(const SYSTEMTIME& st)
{
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", st.wYear, st.wMonth,
                  st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
    return text;
}

SYSTEMTIME CalendarFromText(const std::string& text)
{
    SYSTEMTIME st;
    std::sscanf(text.c_str(), "%hu-%hu-%hu %hu:%hu:%hu.%hu", &st.wYear, &st.wMonth, &st.wDay,
                &st.wHour, &st.wMinute, &st.wSecond, &st.wMilliseconds);
    return st;
}
