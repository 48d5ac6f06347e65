#include "sntp/NtpTimestamp.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>

namespace
{

SYSTEMTIME Utc(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
               int ms = 0)
{
    SYSTEMTIME st;
    st.wYear = static_cast<uint16_t>(year);
    st.wMonth = static_cast<uint16_t>(month);
    st.wDay = static_cast<uint16_t>(day);
    st.wHour = static_cast<uint16_t>(hour);
    st.wMinute = static_cast<uint16_t>(minute);
    st.wSecond = static_cast<uint16_t>(second);
    st.wMilliseconds = static_cast<uint16_t>(ms);
    return st;
}

void ExpectCalendar(const SYSTEMTIME& actual, const SYSTEMTIME& expected)
{
    EXPECT_EQ(actual.wYear, expected.wYear);
    EXPECT_EQ(actual.wMonth, expected.wMonth);
    EXPECT_EQ(actual.wDay, expected.wDay);
    EXPECT_EQ(actual.wHour, expected.wHour);
    EXPECT_EQ(actual.wMinute, expected.wMinute);
    EXPECT_EQ(actual.wSecond, expected.wSecond);
    EXPECT_EQ(actual.wMilliseconds, expected.wMilliseconds);
}

constexpr uint32_t kFirstFractionOf1000Ms = 4292819812u;

} // namespace

// Every day of the era window, checked against the C library's own calendar, and every time of
// day (hour, minute, second and millisecond vary from day to day) converted there and back.
TEST(NtpTimestampCalendar, EveryDayFrom1968To2104RoundTrips)
{
    const int32_t first = DateToJulianDay(1968, 1, 21);
    const int32_t last = DateToJulianDay(2104, 2, 25);
    for (int32_t jd = first; jd <= last; ++jd) {
        const time_t unix = static_cast<time_t>(jd - 2440588) * 86400;
        tm expected{};
        gmtime_r(&unix, &expected);
        const SYSTEMTIME st = Utc(expected.tm_year + 1900, expected.tm_mon + 1, expected.tm_mday,
                                  jd % 24, jd % 60, (jd / 7) % 60, jd % 1000);
        ASSERT_EQ(DateToJulianDay(st.wYear, st.wMonth, st.wDay), jd);

        const SYSTEMTIME back = CNtpTimestamp::FromSystemTime(st).ToSystemTime();
        ExpectCalendar(back, st);
        ASSERT_EQ(back.wDayOfWeek, expected.tm_wday) << st.wYear << "-" << st.wMonth;
    }
}

TEST(NtpTimestampCalendar, KnownDatesAndEdgesOfTheEraWindow)
{
    EXPECT_EQ(DateToJulianDay(1900, 1, 1), 2415021);
    EXPECT_EQ(DateToJulianDay(2000, 1, 1), 2451545);
    EXPECT_EQ(DateToJulianDay(1900, 3, 1) - DateToJulianDay(1900, 2, 28), 1);
    EXPECT_EQ(DateToJulianDay(2000, 3, 1) - DateToJulianDay(2000, 2, 28), 2);

    EXPECT_EQ(CNtpTimestamp::FromSystemTime(Utc(1900, 1, 1)).Value(), 0u);
    EXPECT_EQ(CNtpTimestamp::FromSystemTime(Utc(1970, 1, 1)).Seconds(), 2208988800u);
    EXPECT_EQ(CNtpTimestamp::FromSystemTime(Utc(2000, 1, 1)).Seconds(), 3155673600u);
    EXPECT_EQ(CNtpTimestamp::FromSystemTime(Utc(2000, 1, 1)).ToSystemTime().wDayOfWeek, 6);
    EXPECT_EQ(CNtpTimestamp::FromSystemTime(Utc(2036, 2, 7, 6, 28, 15, 999)),
              CNtpTimestamp(4294967295u, 4290672329u));
    // The wire form wraps; the calendar reading carries on into the next era.
    const CNtpTimestamp wrapped = CNtpTimestamp::FromSystemTime(Utc(2036, 2, 7, 6, 28, 16));
    EXPECT_EQ(wrapped.Value(), 0u);
    ExpectCalendar(wrapped.ToSystemTime(), Utc(2036, 2, 7, 6, 28, 16));

    const SYSTEMTIME windowEdges[] = {Utc(1968, 1, 20, 3, 14, 8), Utc(2104, 2, 26, 9, 42, 23, 999)};
    for (const SYSTEMTIME& st : windowEdges)
        ExpectCalendar(CNtpTimestamp::FromSystemTime(st).ToSystemTime(), st);
    // One second before the window is read as the window's last second.
    ExpectCalendar(CNtpTimestamp::FromSystemTime(Utc(1968, 1, 20, 3, 14, 7)).ToSystemTime(),
                   Utc(2104, 2, 26, 9, 42, 23));
}

TEST(NtpTimestampCalendar, FractionsOf999Point5MsCarryIntoTheNextSecond)
{
    struct Case {
        SYSTEMTIME from;
        SYSTEMTIME to;
    } const cases[] = {
        {Utc(2024, 5, 6, 7, 8, 9), Utc(2024, 5, 6, 7, 8, 10)},
        {Utc(2099, 12, 31, 23, 59, 59), Utc(2100, 1, 1)},
        {Utc(2100, 2, 28, 23, 59, 59), Utc(2100, 3, 1)},
        {Utc(2036, 2, 7, 6, 28, 15), Utc(2036, 2, 7, 6, 28, 16)},
    };
    for (const Case& c : cases) {
        const uint32_t seconds = CNtpTimestamp::FromSystemTime(c.from).Seconds();
        ExpectCalendar(CNtpTimestamp(seconds, kFirstFractionOf1000Ms).ToSystemTime(), c.to);
        ExpectCalendar(CNtpTimestamp(seconds, 0xFFFFFFFFu).ToSystemTime(), c.to);
        EXPECT_EQ(CNtpTimestamp(seconds, kFirstFractionOf1000Ms - 1).ToSystemTime().wMilliseconds,
                  999);
    }
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

TEST(NtpTimestampNow, MatchesTheSystemClockToTheMillisecond)
{
    const time_t before = time(nullptr);
    const CNtpTimestamp now = CNtpTimestamp::Now();
    const uint64_t expected = static_cast<uint64_t>(before) + 2208988800u;
    EXPECT_LE(static_cast<uint32_t>(now.Seconds() - static_cast<uint32_t>(expected)), 1u);
    EXPECT_EQ(MillisecondsToFraction(FractionToMilliseconds(now.Fraction())), now.Fraction());
}
