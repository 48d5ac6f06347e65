#include "platform/LastError.h"
#include "sntp/SntpClient.h"
#include "tests/common/CalendarText.h"
#include "tests/common/ProcessCapabilities.h"

#include <gtest/gtest.h>

#include <ctime>
#include <sys/capability.h>

// The suite's guard: no test may run with the right to set this machine's clock. Sure of that,
// the real privilege steps and clock setter run: they must fail and leave the clock as it is.
TEST(SystemClock, WithoutTheCapabilityTheClockStaysAsItIs)
{
    ASSERT_FALSE(HasCapability(CAP_SYS_TIME, "CapBnd") || HasCapability(CAP_SYS_TIME, "CapEff") ||
                 HasCapability(CAP_SYS_TIME, "CapPrm"))
        << "run the tests under capsh --drop=cap_sys_time";
    const time_t before = time(nullptr);
    CSntpClient client;
    EXPECT_FALSE(client.AdjustSystemClockByOffset(10));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EPERM));
    EXPECT_EQ(client.FailureReason(), "no permission to set the clock");
    EXPECT_LT(time(nullptr) - before, 5);
}

// The record the clock is set from becomes seconds and nanoseconds since 1970, exactly.
TEST(SystemClock, CalendarTimeToTimespec)
{
    const struct {
        const char* calendar;
        time_t seconds; // -1: refused
        long nanoseconds;
    } cases[] = {
        {"1970-01-01 00:00:00.000", 0, 0},
        {"2026-12-07 00:30:00.001", 1796603400, 1000000},
        {"2000-02-29 23:59:59.999", 951868799, 999000000},
        {"2104-02-26 09:42:23.500", 4233462143, 500000000},
        {"2001-02-29 00:00:00.000", -1, 0},
        {"2026-13-01 00:00:00.000", -1, 0},
        {"2026-12-07 24:00:00.000", -1, 0},
        {"2026-12-07 00:00:00.1000", -1, 0},
    };
    for (const auto& c : cases) {
        timespec ts{-1, -1};
        EXPECT_EQ(SystemTimeToTimespec(CalendarFromText(c.calendar), ts), c.seconds >= 0);
        EXPECT_TRUE(c.seconds < 0 || (ts.tv_sec == c.seconds && ts.tv_nsec == c.nanoseconds))
            << c.calendar << " read as " << ts.tv_sec << " s " << ts.tv_nsec << " ns";
    }
}
