#include "sntp/NtpTimestamp.h"
#include "tests/common/CalendarText.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <limits>

namespace
{

constexpr uint32_t kFirstFractionOf1000Ms = 4292819812u;

uint32_t SecondsOf(const char* utc)
{
    return CNtpTimestamp::FromSystemTime(CalendarFromText(utc)).Seconds();
}

} // namespace

// Every day of the era window against the C library's calendar, at a time of day that changes
// from day to day, converted to a timestamp and back.
TEST(NtpTimestampCalendar, EveryDayFrom1968To2104RoundTrips)
{
    for (int32_t jd = DateToJulianDay(1968, 1, 21); jd <= DateToJulianDay(2104, 2, 25); ++jd) {
        const time_t unix = static_cast<time_t>(jd - 2440588) * 86400 + jd % 86400;
        tm utc{};
        gmtime_r(&unix, &utc);
        char text[32];
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &utc);
        const std::string expected = text + std::string(".") + std::to_string(100 + jd % 900);
        const SYSTEMTIME st = CalendarFromText(expected);
        ASSERT_EQ(DateToJulianDay(st.wYear, st.wMonth, st.wDay), jd);
        const SYSTEMTIME back = CNtpTimestamp::FromSystemTime(st).ToSystemTime();
        ASSERT_EQ(CalendarText(back), expected);
        ASSERT_EQ(back.wDayOfWeek, utc.tm_wday) << expected;
    }
}

// The wire form wraps on 2036-02-07 06:28:16; the calendar reading carries on into the next
// era, so the round trip holds from 1968-01-20 03:14:08 to 2104-02-26 09:42:23.
TEST(NtpTimestampCalendar, KnownValuesAndTheEraWindow)
{
    struct Case {
        const char* utc;
        uint32_t seconds, fraction;
        const char* back; // when not the same
    } const cases[] = {
        {"1900-01-01 00:00:00.000", 0, 0, "2036-02-07 06:28:16.000"},
        {"1970-01-01 00:00:00.000", 2208988800u, 0, nullptr},
        {"2000-01-01 00:00:00.000", 3155673600u, 0, nullptr},
        {"2036-02-07 06:28:15.999", 4294967295u, 4290672329u, nullptr},
        {"2036-02-07 06:28:16.000", 0, 0, nullptr},
        {"1968-01-20 03:14:08.000", 0x80000000u, 0, nullptr},
        {"2104-02-26 09:42:23.999", 0x7FFFFFFFu, 4290672329u, nullptr},
        {"1968-01-20 03:14:07.000", 0x7FFFFFFFu, 0, "2104-02-26 09:42:23.000"},
    };
    for (const Case& c : cases) {
        const CNtpTimestamp t = CNtpTimestamp::FromSystemTime(CalendarFromText(c.utc));
        EXPECT_EQ(t, CNtpTimestamp(c.seconds, c.fraction)) << c.utc;
        EXPECT_EQ(CalendarText(t.ToSystemTime()), c.back ? c.back : c.utc);
    }
    EXPECT_EQ(DateToJulianDay(1900, 1, 1), 2415021);
    EXPECT_EQ(DateToJulianDay(2000, 1, 1), 2451545);
}

TEST(NtpTimestampCalendar, FractionsOf999Point5MsCarryIntoTheNextSecond)
{
    struct Case {
        const char* second;
        uint32_t fraction;
        const char* expected;
    } const cases[] = {
        {"2024-05-06 07:08:09", kFirstFractionOf1000Ms - 1, "2024-05-06 07:08:09.999"},
        {"2024-05-06 07:08:09", kFirstFractionOf1000Ms, "2024-05-06 07:08:10.000"},
        {"2099-12-31 23:59:59", 0xFFFFFFFFu, "2100-01-01 00:00:00.000"},
        {"2100-02-28 23:59:59", kFirstFractionOf1000Ms, "2100-03-01 00:00:00.000"},
        {"2036-02-07 06:28:15", kFirstFractionOf1000Ms, "2036-02-07 06:28:16.000"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CalendarText(CNtpTimestamp(SecondsOf(c.second), c.fraction).ToSystemTime()),
                  c.expected);
}

TEST(NtpTimestampMilliseconds, TableAndConversionAgree)
{
    const std::pair<uint32_t, uint32_t> known[] = {{0, 0},
                                                   {1, 4294967},
                                                   {2, 8589935},
                                                   {3, 12884902},
                                                   {4, 17179869},
                                                   {500, 2147483648u},
                                                   {997, 4282082394u},
                                                   {998, 4286377361u},
                                                   {999, 4290672329u}};
    for (const auto& [ms, fraction] : known)
        EXPECT_EQ(MillisecondsToFraction(ms), fraction) << ms;
    for (uint32_t ms = 0; ms < 1000; ++ms)
        ASSERT_EQ(FractionToMilliseconds(g_millisecondFractions[ms]), ms);
    EXPECT_EQ(FractionToMilliseconds(kFirstFractionOf1000Ms - 1), 999u);
    EXPECT_EQ(FractionToMilliseconds(kFirstFractionOf1000Ms), 1000u);
    // Beyond the table the last entry stands, rather than a read past its end.
    EXPECT_EQ(MillisecondsToFraction(1000), 4290672329u);
}

TEST(NtpTimestampArithmetic, DifferencesAtTheirEdges)
{
    const uint32_t s = 3900000000u;
    struct Case {
        CNtpTimestamp a, b;
        double expected;
    } const cases[] = {
        {{s, 12345}, {s, 12345}, 0.0},
        {{s, 0xFFFFFFFFu}, {s, 0}, 1.0},
        {{s, 0}, {s + 1, 0}, -1.0},
        {{0, 0}, {0xFFFFFFFFu, 0}, 1.0}, // across the 2036 rollover
        {{0xFFFFFFFFu, 0}, {0, 0}, -1.0},
        {{5, 0x80000000u}, {0xFFFFFFF0u, 0}, 21.0 + 0x80000000u / 4294967295.0},
        {{0x7FFFFFFFu, 0}, {0, 0}, 2147483647.0},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(c.a.Difference(c.b), c.expected) << c.a.Value() << " - " << c.b.Value();
}

TEST(NtpTimestampArithmetic, AdditionsAtTheirEdges)
{
    const uint32_t s = 3900000000u;
    struct Case {
        CNtpTimestamp from;
        double seconds;
        CNtpTimestamp expected;
    } const cases[] = {
        {{s, 7}, 0.0, {s, 7}},
        {{s, 0}, 1.25, {s + 1, 1073741823u}},
        {{s, 0}, 0.5, {s, 2147483647u}},
        {{s, 0}, -0.5, {s - 1, 2147483649u}},
        {{0xFFFFFFFFu, 0}, 1.0, {0, 0}},
        {{0, 0}, -1.0, {0xFFFFFFFFu, 0}},
        {{s, 5}, std::numeric_limits<double>::quiet_NaN(), {s, 5}},
        {{s, 5}, std::numeric_limits<double>::infinity(), {s, 5}},
        {{s, 0}, 4294967296.0 * 3 + 2, {s + 2, 0}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.from.AddSeconds(c.seconds), c.expected) << c.seconds;
}

TEST(NtpTimestampWire, BigEndianBothWays)
{
    const uint8_t bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    const CNtpTimestamp t = CNtpTimestamp::FromNetwork(bytes);
    EXPECT_EQ(t, CNtpTimestamp(0x01020304u, 0x05060708u));
    uint8_t out[8] = {};
    t.ToNetwork(out);
    EXPECT_EQ(0, std::memcmp(out, bytes, 8));
}
