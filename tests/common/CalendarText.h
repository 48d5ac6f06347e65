#pragma once

#include "platform/SystemTime.h"

#include <string>

// A UTC calendar time as "YYYY-MM-DD hh:mm:ss.mmm", both ways, for readable test tables.
// CalendarFromText leaves wDayOfWeek 0 and fields it cannot read 0; it does not validate.
std::string CalendarText(const SYSTEMTIME& st);
SYSTEMTIME CalendarFromText(const std::string& text);
