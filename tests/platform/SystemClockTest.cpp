#include "platform/LastError.h"
#include "platform/LinuxSystemClockApi.h"
#include "platform/SocketLibrary.h"
#include "platform/SystemTime.h"
#include "sntp/SntpClient.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <sys/capability.h>
#include <thread>

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

SYSTEMTIME Utc(int year, int month, int day, int hour, int minute, int second, int ms)
{
    return SYSTEMTIME{
        static_cast<uint16_t>(year),   static_cast<uint16_t>(month), 0,
        static_cast<uint16_t>(day),    static_cast<uint16_t>(hour),  static_cast<uint16_t>(minute),
        static_cast<uint16_t>(second), static_cast<uint16_t>(ms)};
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
    const SYSTEMTIME invalid[] = {
        Utc(2024, 0, 1, 0, 0, 0, 0),    Utc(2024, 13, 1, 0, 0, 0, 0), Utc(2024, 4, 31, 0, 0, 0, 0),
        Utc(2023, 2, 29, 0, 0, 0, 0),   Utc(2100, 2, 29, 0, 0, 0, 0), Utc(2024, 1, 0, 0, 0, 0, 0),
        Utc(2024, 1, 1, 24, 0, 0, 0),   Utc(2024, 1, 1, 0, 60, 0, 0), Utc(2024, 1, 1, 0, 0, 60, 0),
        Utc(2024, 1, 1, 0, 0, 0, 1000),
    };
    for (const SYSTEMTIME& st : invalid) {
        SetLastError(0);
        EXPECT_FALSE(SetSystemTime(&st)) << st.wYear << "-" << st.wMonth << "-" << st.wDay;
        EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EINVAL));
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
    EXPECT_FALSE(CapSysTime(CAP_EFFECTIVE));
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
    tm utc{};
    gmtime_r(&before, &utc);
    EXPECT_EQ(st.wYear, utc.tm_year + 1900);
    EXPECT_EQ(st.wDayOfWeek, utc.tm_wday);
    const int seconds = (st.wHour * 60 + st.wMinute) * 60 + st.wSecond;
    const int expected = (utc.tm_hour * 60 + utc.tm_min) * 60 + utc.tm_sec;
    EXPECT_LE((seconds - expected + 86400) % 86400, 1);
    EXPECT_LT(st.wMilliseconds, 1000);
}

TEST(SocketLibrary, GrantsVersion11AndLastErrorIsPerThread)
{
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(1, 1), &data), 0);
    EXPECT_EQ(data.wVersion, MAKEWORD(1, 1));
    EXPECT_TRUE(AfxSocketInit());
    EXPECT_EQ(WSACleanup(), 0);

    SetLastError(ETIMEDOUT);
    std::thread([] { EXPECT_EQ(GetLastError(), 0u); }).join();
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ETIMEDOUT));
}
