#include "sntp/NtpTimestamp.h"
#include "platform/SystemTime.h"
#include "sntp/ClockTarget.h"
#include "sntp/TimestampText.h"
#include "tests/common/CalendarText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <limits>

constexpr uint32_t k999Ms = 4290672329u;
constexpr uint32_t kFirstFractionOf1000Ms = 4292819812u;

// Every day of the era window against the C library's calendar, at a time of day that changes
// from day to day, converted to a timestamp and back, and as the clock setter reads it: its
// second and millisecond since 1970 exactly, and the day after the last of a month as no date.
TEST(NtpTimestamp, EveryDayFrom1968To2104RoundTrips)
{
    for (int32_t jd = DateToJulianDay(1968, 1, 21); jd <= DateToJulianDay(2104, 2, 25); ++jd) {
        const time_t unix = static_cast<time_t>(jd - 2440588) * 86400 + jd % 86400;
        const time_t next = unix + 86400;
        tm utc{}, tomorrow{};
        gmtime_r(&unix, &utc);
        gmtime_r(&next, &tomorrow);
        char text[32];
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &utc);
        const long ms = jd % 1000; // every millisecond of the table, read both ways
        const std::string expected = text + ("." + std::to_string(1000 + ms).substr(1));
        SYSTEMTIME st = CalendarFromText(expected);
        ASSERT_EQ(DateToJulianDay(st.wYear, st.wMonth, st.wDay), jd);
        const SYSTEMTIME back = CNtpTimestamp::FromSystemTime(st).ToSystemTime();
        ASSERT_EQ(CalendarText(back), expected);
        ASSERT_EQ(back.wDayOfWeek, utc.tm_wday) << expected;
        timespec ts{};
        ASSERT_TRUE(SystemTimeToTimespec(st, ts) && ts.tv_sec == unix && ts.tv_nsec == ms * 1000000)
            << expected;
        ++st.wDay;
        ASSERT_EQ(SystemTimeToTimespec(st, ts), tomorrow.tm_mday != 1) << expected;
    }
}

// Calendar time to value (when given) and value to calendar time. The wire form wraps on
// 2036-02-07 06:28:16 and the reading carries on into the next era; a fraction of 999.5 ms or
// more carries into the next second, and on into the next year.
TEST(NtpTimestamp, CalendarReadingsAtTheEdges)
{
    struct Case {
        const char* from;
        uint32_t seconds, fraction;
        const char* reads;
    } const cases[] = {
        // clang-format off
        {"1900-01-01 00:00:00.000", 0, 0, "2036-02-07 06:28:16.000"},
        {"2036-02-07 06:28:15.999", 0xFFFFFFFFu, k999Ms, "2036-02-07 06:28:15.999"},
        {"1968-01-20 03:14:08.000", 0x80000000u, 0, "1968-01-20 03:14:08.000"},
        {"2104-02-26 09:42:23.999", 0x7FFFFFFFu, k999Ms, "2104-02-26 09:42:23.999"},
        {nullptr, 0xFFFFFFFFu, kFirstFractionOf1000Ms - 1, "2036-02-07 06:28:15.999"},
        {nullptr, 0xFFFFFFFFu, kFirstFractionOf1000Ms, "2036-02-07 06:28:16.000"},
        {nullptr, 2016466303u, 0xFFFFFFFFu, "2100-01-01 00:00:00.000"},
        {"2036-02-07 06:28:15.1000", 0xFFFFFFFFu, k999Ms, "2036-02-07 06:28:15.999"}, // past the table
        // clang-format on
    };
    for (const Case& c : cases) {
        const CNtpTimestamp t(c.seconds, c.fraction);
        EXPECT_EQ(CalendarText(t.ToSystemTime()), c.reads) << c.seconds << "." << c.fraction;
        if (c.from) {
            EXPECT_EQ(CNtpTimestamp::FromSystemTime(CalendarFromText(c.from)), t) << c.from;
        }
    }
    // Differences and sums work modulo 2^64: they hold across the rollover, fractions included.
    EXPECT_NEAR(CNtpTimestamp(0, 0x80000000u).Difference({0xFFFFFFFFu, 0}), 1.5, 1e-9);
    EXPECT_NEAR(CNtpTimestamp(0xFFFFFFFFu, 0).Difference({0, 0x40000000u}), -1.25, 1e-9);
    EXPECT_DOUBLE_EQ(CNtpTimestamp(0x80000000u, 0).Difference({0, 0}), -2147483648.0); // as int64
    EXPECT_EQ(CNtpTimestamp(0, 0).AddSeconds(-1.0), CNtpTimestamp(0xFFFFFFFFu, 0));
    // On the wire: eight bytes in network order, and not one byte more.
    uint8_t wire[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0xA5};
    CNtpTimestamp(0x01020304u, 0x05060708u).ToNetwork(wire);
    EXPECT_EQ(std::vector(wire, wire + 9), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 0xA5}));
    EXPECT_EQ(CNtpTimestamp::FromNetwork(wire), CNtpTimestamp(0x01020304u, 0x05060708u));
    // The kernel's arrival times come back to the nanosecond, at both ends of the second, and
    // half a second is exactly half.
    for (const uint32_t ns : {1u, 123456789u, 999999999u}) {
        EXPECT_EQ(CNtpTimestamp::FromUnixTime(1796603400, ns).Nanoseconds(), ns);
    }
    EXPECT_EQ(CNtpTimestamp::FromUnixTime(0, 500000000), CNtpTimestamp(2208988800u, 0x80000000u));
}

// 2060-12-07 00:30:00.5 UTC, in the NTP era after 2036: later than any build's date, which a
// target may not precede.
constexpr timespec kNow = {2869605000, 500000000};
constexpr int64_t kLastSecond = 4233462143; // 2104-02-26 09:42:23 UTC
constexpr double kYear = 365.25 * 86400;

// The target is now + offset in 64-bit seconds, read back by the clock setter's calendar
// conversion as the same instant; anything before the build date, past the window's last
// second or not a number is refused, whatever the 32-bit NTP seconds would have wrapped to.
TEST(ClockTarget, FromOffsetInsideTheWindowOnly)
{
    const double toEnd = static_cast<double>(kLastSecond - kNow.tv_sec);
    const double toBuild = static_cast<double>(EarliestClockTarget() - kNow.tv_sec);
    const struct {
        double offset;
        const char* target; // nullptr: refused; "": taken
    } cases[] = {
        // clang-format off
        {10.25, "2060-12-07T00:30:10.750000000Z"},
        {0.000000123, "2060-12-07T00:30:00.500000123Z"},
        {toEnd - 0.5, "2104-02-26T09:42:23.000000000Z"},
        {0.499999999, "2060-12-07T00:30:00.999999999Z"},
        {toEnd + 0.5, nullptr}, {toBuild - 0.5, ""}, {toBuild - 1.0, nullptr},
        {-94 * kYear, nullptr}, // 1966: the pivot would read it as 2102
        {140 * kYear, nullptr}, {1e300, nullptr}, {std::nan(""), nullptr},
        {-std::numeric_limits<double>::infinity(), nullptr},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "offset " << c.offset);
        const std::optional<CNtpTimestamp> target = ClockTargetFromOffset(c.offset, kNow);
        const std::string text = target ? Rfc3339(*target) : "refused";
        EXPECT_EQ(target.has_value(), c.target != nullptr) << text;
        EXPECT_TRUE(!target || !c.target || !*c.target || text == c.target) << text;
    }
    EXPECT_TRUE(ClockTargetFromOffset(0.0)); // the running clock lies after the build date
}

// The reference identifier as the query tool and --json show it: an address above stratum 1;
// below, up to four letters (none for zero), or the value in hex when it holds anything but
// letters from space to tilde (a control byte must not reach the terminal).
TEST(TimestampText, ReferenceIds)
{
    // clang-format off
    for (const auto& [stratum, id, text] :
         {std::tuple(2u, 0xC0A80102u, "192.168.1.2"), {1u, 0x47505300u, "GPS"}, {1u, 0u, ""},
          {0u, 0x00414243u, "0x00414243"}, {1u, 0x207E4100u, " ~A"}, {1u, 0x411F4200u, "0x411F4200"},
          {1u, 0x417F4200u, "0x417F4200"}}) {
        // clang-format on
        EXPECT_EQ(ReferenceIdText(stratum, id), text);
    }
}
