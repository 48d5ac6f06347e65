#include "platform/LastError.h"
#include "platform/LinuxSystemClockApi.h"
#include "sntp/SntpClient.h"
#include "tests/common/CalendarText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <sys/capability.h>

namespace
{

bool CapSysTime(cap_flag_t set)
{
    cap_t caps = cap_get_proc();
    cap_flag_value_t value = CAP_SET; // unreadable counts as held: refuse rather than risk it
    if (caps)
        cap_get_flag(caps, CAP_SYS_TIME, set, &value);
    cap_free(caps);
    return value == CAP_SET;
}

double Now(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

// Every test here reaches the real clock setter: none may run with the right to use it.
class SystemClock : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(CapSysTime(CAP_PERMITTED) || CapSysTime(CAP_EFFECTIVE))
            << "CAP_SYS_TIME is held; run under capsh --drop=cap_sys_time";
    }
};

} // namespace

TEST_F(SystemClock, InvalidCalendarTimesAreRefused)
{
    for (const char* text :
         {"2024-00-01 00:00:00.000", "2024-13-01 00:00:00.000", "2024-04-31 00:00:00.000",
          "2023-02-29 00:00:00.000", "2100-02-29 00:00:00.000", "2024-01-00 00:00:00.000",
          "2024-01-01 24:00:00.000", "2024-01-01 00:60:00.000", "2024-01-01 00:00:60.000",
          "2024-01-01 00:00:00.1000"}) {
        const SYSTEMTIME st = CalendarFromText(text);
        SetLastError(0);
        EXPECT_FALSE(SetSystemTime(&st)) << text;
        EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EINVAL)) << text;
    }
}

TEST_F(SystemClock, WithoutTheCapabilityTheClockStaysAsItIs)
{
    const double realBefore = Now(CLOCK_REALTIME), monoBefore = Now(CLOCK_MONOTONIC);
    CSntpClient client;
    EXPECT_FALSE(client.AdjustSystemClock(CNtpTimestamp::Now().AddSeconds(10)));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EPERM));
    const double drift = (Now(CLOCK_REALTIME) - realBefore) - (Now(CLOCK_MONOTONIC) - monoBefore);
    EXPECT_LT(std::fabs(drift), 1.0);
}

// Enabling a privilege that is not held succeeds and changes nothing, as the design expects.
TEST_F(SystemClock, LinuxPrivilegeStepsOverCapSysTime)
{
    LinuxSystemClockApi api;
    TokenHandle token = kInvalidToken;
    ASSERT_TRUE(api.OpenProcessToken(&token));
    TOKEN_PRIVILEGES privileges{};
    EXPECT_FALSE(api.LookupPrivilegeValue("SeShutdownPrivilege", &privileges.Privileges[0].Luid));
    ASSERT_TRUE(api.LookupPrivilegeValue(SE_SYSTEMTIME_NAME, &privileges.Privileges[0].Luid));
    EXPECT_EQ(privileges.Privileges[0].Luid.LowPart, static_cast<uint32_t>(CAP_SYS_TIME));
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    EXPECT_TRUE(api.AdjustTokenPrivileges(token, privileges));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EPERM));
    EXPECT_FALSE(CapSysTime(CAP_EFFECTIVE));
    api.CloseHandle(token);
}

TEST(SystemTime, ReadsTheClockInUtcWithMilliseconds)
{
    const time_t before = time(nullptr);
    SYSTEMTIME st;
    GetSystemTime(&st);
    const time_t after = time(nullptr);
    tm utc{};
    utc.tm_year = st.wYear - 1900;
    utc.tm_mon = st.wMonth - 1;
    utc.tm_mday = st.wDay;
    utc.tm_hour = st.wHour;
    utc.tm_min = st.wMinute;
    utc.tm_sec = st.wSecond;
    const time_t read = timegm(&utc);
    EXPECT_GE(read, before);
    EXPECT_LE(read, after);
    EXPECT_EQ(st.wDayOfWeek, utc.tm_wday);
    EXPECT_LT(st.wMilliseconds, 1000);
}
