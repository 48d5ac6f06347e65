#include "platform/EffectiveCapability.h"
#include "platform/LastError.h"
#include "platform/LinuxSystemClockApi.h"
#include "sntp/SntpClient.h"
#include "tests/common/CalendarText.h"
#include "tests/common/ProcessCapabilities.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <latch>
#include <sys/capability.h>
#include <thread>
#include <tuple>
#include <unistd.h>

// CAP_SYS_NICE stands in for CAP_SYS_TIME: raising it is harmless.
constexpr int kCapability = CAP_SYS_NICE;

// The threads of this process whose effective set holds the capability.
static int ThreadsHoldingIt()
{
    int holding = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        holding += HasCapability(kCapability, "CapEff", task.path() / "status");
    }
    return holding;
}

static TOKEN_PRIVILEGES Privilege(uint32_t attributes)
{
    return {1, {{{kCapability, 0}, attributes}}};
}

// Dropped at start, the capability is off in every thread started after; the enable step
// really raises it in the calling thread alone, and the disable step drops it again.
TEST(EffectiveCapability, OffInEveryThreadButForTheCall)
{
    if (geteuid() != 0 || !HasCapability(kCapability, "CapPrm")) {
        GTEST_SKIP() << "needs root with CAP_SYS_NICE permitted";
    }
    ASSERT_TRUE(DropEffectiveCapability(kCapability));
    std::latch done(1);
    std::thread idle([&] { done.wait(); });
    EXPECT_EQ(ThreadsHoldingIt(), 0);
    std::thread([] {
        LinuxSystemClockApi api;
        TokenHandle token = kInvalidToken;
        ASSERT_TRUE(api.OpenProcessToken(&token));
        ASSERT_TRUE(api.AdjustTokenPrivileges(token, Privilege(SE_PRIVILEGE_ENABLED)));
        EXPECT_EQ(ThreadsHoldingIt(), 1);
        EXPECT_TRUE(HasCapability(kCapability, "CapEff", "/proc/thread-self/status"));
        ASSERT_TRUE(api.AdjustTokenPrivileges(token, Privilege(0)));
        EXPECT_EQ(ThreadsHoldingIt(), 0);
    }).join();
    done.count_down();
    idle.join();
    // Back as it was, for the tests that follow in this process.
    LinuxSystemClockApi().AdjustTokenPrivileges(0, Privilege(SE_PRIVILEGE_ENABLED));
}

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

// The record the clock is set from becomes seconds and nanoseconds since 1970, exactly, and
// the clock read back as a record is the clock.
TEST(SystemClock, CalendarTimeToTimespec)
{
    // The text, then seconds and nanoseconds since 1970 (seconds -1: refused).
    for (const auto& [calendar, seconds, nanoseconds] :
         {std::tuple("1970-01-01 00:00:00.000", time_t(0), 0L),
          {"2026-12-07 00:30:00.001", 1796603400, 1000000},
          {"2000-02-29 23:59:59.999", 951868799, 999000000},
          {"2104-02-26 09:42:23.500", 4233462143, 500000000},
          // Each field at its last value, then one past it; the leap-year rules.
          {"2026-12-31 23:59:59.999", 1798761599, 999000000},
          {"2026-01-31 00:00:00.000", 1769817600, 0},
          {"2024-02-29 00:00:00.000", 1709164800, 0},
          {"2400-02-29 12:00:00.000", 13574606400, 0},
          {"2001-02-29 00:00:00.000", -1, 0},
          {"2100-02-29 00:00:00.000", -1, 0},
          {"2026-04-31 00:00:00.000", -1, 0},
          {"2026-13-01 00:00:00.000", -1, 0},
          {"2026-00-01 00:00:00.000", -1, 0},
          {"2026-12-00 00:00:00.000", -1, 0},
          {"2026-12-07 24:00:00.000", -1, 0},
          {"2026-12-07 00:60:00.000", -1, 0},
          {"2026-12-07 00:00:60.000", -1, 0},
          {"2026-12-07 00:00:00.1000", -1, 0}}) {
        timespec ts{-1, -1};
        EXPECT_EQ(SystemTimeToTimespec(CalendarFromText(calendar), ts), seconds >= 0);
        EXPECT_TRUE(seconds < 0 || (ts.tv_sec == seconds && ts.tv_nsec == nanoseconds))
            << calendar << " read as " << ts.tv_sec << " s " << ts.tv_nsec << " ns";
    }

    // The clock read as a calendar time is the clock's second, millisecond and weekday
    // (1970-01-01 was a Thursday).
    timespec before{}, after{}, read{};
    SYSTEMTIME now;
    clock_gettime(CLOCK_REALTIME, &before);
    GetSystemTime(&now);
    clock_gettime(CLOCK_REALTIME, &after);
    ASSERT_TRUE(SystemTimeToTimespec(now, read)) << CalendarText(now);
    const auto ms = [](const timespec& t) { return t.tv_sec * 1000 + t.tv_nsec / 1000000; };
    EXPECT_LE(ms(before), ms(read));
    EXPECT_LE(ms(read), ms(after));
    EXPECT_EQ(now.wDayOfWeek, (read.tv_sec / 86400 + 4) % 7);
}
