#include "platform/LastError.h"
#include "sntp/SntpClient.h"
#include "tests/common/CalendarText.h"
#include "tests/common/ProcessCapabilities.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <sys/capability.h>

namespace
{

// Whether CAP_SYS_TIME is in the bounding, effective or permitted set.
bool HoldsCapSysTime()
{
    return HasCapability(CAP_SYS_TIME, "CapBnd") || HasCapability(CAP_SYS_TIME, "CapEff") ||
           HasCapability(CAP_SYS_TIME, "CapPrm");
}

// Records the operating-system calls that setting the clock makes, refusing one step when asked
// to; sets nothing. A token that does not open fails with openError.
struct RecordingClockApi : SystemClockApi {
    uint32_t openError = 0;
    std::string refused; // "lookup", "enable" or "set"
    std::string calls;

    bool Record(const std::string& call)
    {
        calls += call + "; ";
        return refused.empty() || !call.starts_with(refused);
    }
    bool OpenProcessToken(TokenHandle* token) override
    {
        *token = 7;
        SetLastError(openError);
        return Record("open") && !openError;
    }
    bool LookupPrivilegeValue(const char*, LUID* luid) override
    {
        luid->LowPart = 25;
        return Record("lookup");
    }
    bool AdjustTokenPrivileges(TokenHandle token, const TOKEN_PRIVILEGES& p) override
    {
        EXPECT_TRUE(token == 7 && p.PrivilegeCount == 1 && p.Privileges[0].Luid.LowPart == 25);
        return Record(p.Privileges[0].Attributes & SE_PRIVILEGE_ENABLED ? "enable" : "disable");
    }
    void CloseHandle(TokenHandle token) override { Record("close " + std::to_string(token)); }
    bool SetSystemTime(const SYSTEMTIME& st) override { return Record("set " + CalendarText(st)); }
};

int64_t RealtimeMs()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

} // namespace

// The suite's guard: no test may run with the right to set this machine's clock.
TEST(CapabilityGuard, TheTestsCannotSetTheClock)
{
    EXPECT_FALSE(HoldsCapSysTime()) << "run the tests under capsh --drop=cap_sys_time";
}

// The real privilege steps and clock setter, reached only when the capability is surely absent.
TEST(SystemClock, WithoutTheCapabilityTheClockStaysAsItIs)
{
    ASSERT_FALSE(HoldsCapSysTime());
    const time_t before = time(nullptr);
    CSntpClient client;
    EXPECT_FALSE(client.AdjustSystemClockByOffset(10));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EPERM));
    EXPECT_EQ(client.FailureReason(), "no permission to set the clock");
    EXPECT_LT(time(nullptr) - before, 5);
}

// now + offset reaches the clock setter as that calendar time; an offset whose target lies
// outside the window (the clock target's own test has the edges) never reaches it.
TEST(SystemClock, ByOffsetSetsNowPlusOffsetOrRefuses)
{
    RecordingClockApi api;
    CSntpClient client(api);
    EXPECT_FALSE(client.AdjustSystemClockByOffset(-60 * 365.25 * 86400));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ERANGE));
    EXPECT_EQ(client.FailureReason(), "target time out of range");
    EXPECT_EQ(api.calls, "");
    const int64_t before = RealtimeMs();
    ASSERT_TRUE(client.AdjustSystemClockByOffset(10.5));
    EXPECT_EQ(client.FailureReason(), "");
    const int64_t after = RealtimeMs();
    const size_t at = api.calls.find("set ");
    ASSERT_NE(at, std::string::npos) << api.calls;
    timespec set{};
    ASSERT_TRUE(SystemTimeToTimespec(CalendarFromText(api.calls.substr(at + 4, 23)), set));
    EXPECT_GE(set.tv_sec * 1000 + set.tv_nsec / 1000000, before + 10500);
    EXPECT_LE(set.tv_sec * 1000 + set.tv_nsec / 1000000, after + 10501);
}

// The record the clock is set from becomes seconds and nanoseconds since 1970, exactly.
TEST(SystemClock, CalendarTimeToTimespec)
{
    const struct {
        const char* calendar;
        time_t seconds; // -1: refused
        long nanoseconds;
    } cases[] = {
        // clang-format off
        {"1970-01-01 00:00:00.000", 0, 0}, {"2026-12-07 00:30:00.001", 1796603400, 1000000},
        {"2000-02-29 23:59:59.999", 951868799, 999000000}, {"2104-02-26 09:42:23.500", 4233462143, 500000000},
        {"2001-02-29 00:00:00.000", -1, 0}, {"2026-13-01 00:00:00.000", -1, 0},
        {"2026-12-07 24:00:00.000", -1, 0}, {"2026-12-07 00:00:00.1000", -1, 0},
        // clang-format on
    };
    for (const auto& c : cases) {
        timespec ts{-1, -1};
        EXPECT_EQ(SystemTimeToTimespec(CalendarFromText(c.calendar), ts), c.seconds >= 0);
        EXPECT_TRUE(c.seconds < 0 || (ts.tv_sec == c.seconds && ts.tv_nsec == c.nanoseconds))
            << c.calendar << " read as " << ts.tv_sec << " s " << ts.tv_nsec << " ns";
    }
}

// The privilege is enabled just for the set and disabled after it; a refused step stops the
// rest and what was done is undone; a second call repeats the first, nothing carries over.
TEST(SystemClock, EnablesSetsDisablesAndClosesOnEveryCall)
{
    const struct {
        uint32_t openError;
        const char* refused;
        bool result;
        std::string calls;
    } cases[] = {
        // clang-format off
        {0, "", true, "open; lookup; enable; set 2023-08-02 21:20:00.250; disable; close 7; "},
        {kErrorCallNotImplemented, "", true, "open; set 2023-08-02 21:20:00.250; "}, // no support
        {EACCES, "", false, "open; "},
        {0, "lookup", false, "open; lookup; close 7; "},
        {0, "enable", false, "open; lookup; enable; disable; close 7; "},
        {0, "set", false, "open; lookup; enable; set 2023-08-02 21:20:00.250; disable; close 7; "},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.calls);
        RecordingClockApi api;
        api.openError = c.openError;
        api.refused = c.refused;
        CSntpClient client(api);
        for (int call = 0; call < 2; ++call) {
            EXPECT_EQ(client.AdjustSystemClock(CNtpTimestamp(3900000000u, 1u << 30)), c.result);
        }
        EXPECT_EQ(api.calls, c.calls + c.calls);
    }
}
