#include "sntp/ClockTarget.h"
#include "sntp/TimestampText.h"
#include "tests/common/CalendarText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace
{

constexpr timespec kNow = {1796603400, 500000000}; // 2026-12-07 00:30:00.5 UTC
constexpr int64_t kLastSecond = 4233462143;        // 2104-02-26 09:42:23 UTC
constexpr double kYear = 365.25 * 86400;
constexpr double kInf = std::numeric_limits<double>::infinity();

} // namespace

// The target is now + offset in 64-bit seconds, read back by the clock setter's calendar
// conversion as the same instant; anything before the build date, past the window's last
// second or not a number is refused, whatever the 32-bit NTP seconds would have wrapped to.
TEST(ClockTarget, FromOffsetInsideTheWindowOnly)
{
    const double toEnd = static_cast<double>(kLastSecond - kNow.tv_sec);
    const double toBuild = static_cast<double>(EarliestClockTarget() - kNow.tv_sec);
    const struct {
        double offset;
        const char* target; // nullptr: refused
    } cases[] = {
        {0.0, "2026-12-07T00:30:00.500000000Z"},
        {10.25, "2026-12-07T00:30:10.750000000Z"},
        {-0.75, "2026-12-07T00:29:59.750000000Z"},
        {0.000000123, "2026-12-07T00:30:00.500000123Z"},
        {toEnd - 0.5, "2104-02-26T09:42:23.000000000Z"},
        {toEnd + 0.5, nullptr},
        {toEnd + 2.0, nullptr},
        {toBuild - 0.5, "nonnull"},
        {toBuild - 1.0, nullptr},
        {-60 * kYear, nullptr}, // 1966: the pivot would read it as 2102
        {-1.94e9, nullptr},     // a server that claims 1965
        {-70 * kYear, nullptr},
        {-130 * kYear, nullptr},
        {80 * kYear, nullptr},
        {140 * kYear, nullptr},
        {1e300, nullptr},
        {-1e300, nullptr},
        {std::nan(""), nullptr},
        {kInf, nullptr},
        {-kInf, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "offset " << c.offset);
        const std::optional<CNtpTimestamp> target = ClockTargetFromOffset(c.offset, kNow);
        if (!c.target) {
            EXPECT_FALSE(target) << Rfc3339(*target);
            continue;
        }
        ASSERT_TRUE(target);
        if (std::string(c.target) != "nonnull") {
            EXPECT_EQ(Rfc3339(*target), c.target);
        }
        // The clock setter's calendar reading agrees with the 64-bit target to the millisecond.
        const SYSTEMTIME st = target->ToSystemTime();
        EXPECT_EQ(CalendarText(st).substr(0, 19),
                  Rfc3339(*target).substr(0, 10) + " " + Rfc3339(*target).substr(11, 8));
    }
    EXPECT_TRUE(ClockTargetFromOffset(0.0)); // the running clock lies after the build date
}

TEST(TimestampText, Rfc3339AndReferenceIds)
{
    EXPECT_EQ(Rfc3339(CNtpTimestamp(0xE8000000u, 0)), "2023-05-05T22:21:52.000000000Z");
    EXPECT_EQ(Rfc3339(CNtpTimestamp(0, 0xFFFFFFFFu)), "2036-02-07T06:28:16.999999999Z");
    EXPECT_EQ(Rfc3339(CNtpTimestamp(0x80000000u, 0)), "1968-01-20T03:14:08.000000000Z");
    EXPECT_EQ(Rfc3339(CNtpTimestamp(0x7FFFFFFFu, 0)), "2104-02-26T09:42:23.000000000Z");
    for (const uint32_t ns : {0u, 1u, 499999999u, 999999999u})
        EXPECT_EQ(CNtpTimestamp::FromUnixTime(1796603400, ns).Nanoseconds(), ns);

    EXPECT_EQ(ReferenceIdText(0, 0x52415445), "RATE");
    EXPECT_EQ(ReferenceIdText(1, 0x47505300), "GPS");
    EXPECT_EQ(ReferenceIdText(1, 0x01020304), "0x01020304");
    EXPECT_EQ(ReferenceIdText(0, 0x00414243), "0x00414243");
    EXPECT_EQ(ReferenceIdText(0, 0), "");
    EXPECT_EQ(ReferenceIdText(2, 0x7F000001), "127.0.0.1");
}
