#include "sntp/TimestampText.h"

#include <cstdio>
#include <ctime>

std::string Rfc3339(const CNtpTimestamp& t)
{
    const time_t seconds = static_cast<time_t>(t.UnixSeconds());
    tm utc{};
    gmtime_r(&seconds, &utc);
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%09uZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  t.Nanoseconds());
    return text;
}

std::string ReferenceIdText(uint32_t stratum, uint32_t referenceId)
{
    char text[32];
    if (stratum > 1) {
        std::snprintf(text, sizeof text, "%u.%u.%u.%u", referenceId >> 24, referenceId >> 16 & 0xFF,
                      referenceId >> 8 & 0xFF, referenceId & 0xFF);
        return text;
    }
    std::string letters;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto c = static_cast<char>(referenceId >> shift);
        if (c == '\0') {
            break; // a code shorter than four letters is padded with zeros
        }
        if (c < 0x20 || c >= 0x7F) {
            std::snprintf(text, sizeof text, "0x%08X", referenceId);
            return text;
        }
        letters += c;
    }
    if (letters.empty() && referenceId != 0) {
        std::snprintf(text, sizeof text, "0x%08X", referenceId);
        return text;
    }
    return letters;
}
