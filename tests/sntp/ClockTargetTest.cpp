#include "sntp/ClockTarget.h"
#include "sntp/TimestampText.h"
#include "tests/common/CalendarText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

constexpr timespec kNow = {1796603400, 500000000}; // 2026-12-07 00:30:00.5 UTC
constexpr int64_t kLastSecond = 4233462143;        // 2104-02-26 09:42:23 UTC
constexpr double kYear = 365.25 * 86400;
constexpr double kInf = std::numeric_limits<double>::infinity();

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
        {10.25, "2026-12-07T00:30:10.750000000Z"},
        {0.000000123, "2026-12-07T00:30:00.500000123Z"},
        {toEnd - 0.5, "2104-02-26T09:42:23.000000000Z"},
        {toEnd + 0.5, nullptr},
        {toBuild - 0.5, ""},
        {toBuild - 1.0, nullptr},
        {-60 * kYear, nullptr}, // 1966: the pivot would read it as 2102
        {140 * kYear, nullptr},
        {1e300, nullptr},
        {std::nan(""), nullptr},
        {-kInf, nullptr},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "offset " << c.offset);
        const std::optional<CNtpTimestamp> target = ClockTargetFromOffset(c.offset, kNow);
        ASSERT_EQ(target.has_value(), c.target != nullptr)
            << (target ? Rfc3339(*target) : "refused");
        if (!target) {
            continue;
        }
        const std::string text = Rfc3339(*target);
        EXPECT_TRUE(!*c.target || text == c.target) << text;
        // The clock setter's calendar reading agrees with the 64-bit target to the millisecond.
        EXPECT_EQ(CalendarText(target->ToSystemTime()).substr(0, 19),
                  text.substr(0, 10) + " " + text.substr(11, 8));
    }
    EXPECT_TRUE(ClockTargetFromOffset(0.0)); // the running clock lies after the build date
}

TEST(TimestampText, NanosecondsAndReferenceIds)
{
    EXPECT_EQ(Rfc3339(CNtpTimestamp(0, 0xFFFFFFFFu)), "2036-02-07T06:28:16.999999999Z");
    EXPECT_EQ(CNtpTimestamp::FromUnixTime(1796603400, 999999999).Nanoseconds(), 999999999u);
    EXPECT_EQ(ReferenceIdText(0, 0x52415445), "RATE");
    EXPECT_EQ(ReferenceIdText(0, 0x00414243), "0x00414243");
    EXPECT_EQ(ReferenceIdText(2, 0x7F000001), "127.0.0.1");
}
