#include "platform/LastError.h"
#include "sntp/SntpClient.h"
#include "tests/common/CalendarText.h"

#include <gtest/gtest.h>

#include <ctime>
#include <fstream>
#include <string>

namespace
{

// Whether CAP_SYS_TIME (bit 25) is in the bounding, effective or permitted set; what cannot be
// read counts as held, so as to refuse rather than risk the clock.
bool HoldsCapSysTime()
{
    std::ifstream status("/proc/self/status");
    int clear = 0;
    for (std::string line; std::getline(status, line);)
        for (const std::string set : {"CapBnd:", "CapEff:", "CapPrm:"})
            if (line.starts_with(set) &&
                !(std::stoull(line.substr(set.size()), nullptr, 16) >> 25 & 1))
                ++clear;
    return clear != 3;
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
    EXPECT_FALSE(client.AdjustSystemClock(CNtpTimestamp::Now().AddSeconds(10)));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EPERM));
    EXPECT_LT(time(nullptr) - before, 5);
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
        {0, "", true, "open; lookup; enable; set 2023-08-02 21:20:00.250; disable; close 7; "},
        {kErrorCallNotImplemented, "", true, "open; set 2023-08-02 21:20:00.250; "}, // no support
        {EACCES, "", false, "open; "},
        {0, "lookup", false, "open; lookup; close 7; "},
        {0, "enable", false, "open; lookup; enable; disable; close 7; "},
        {0, "set", false, "open; lookup; enable; set 2023-08-02 21:20:00.250; disable; close 7; "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.calls);
        RecordingClockApi api;
        api.openError = c.openError;
        api.refused = c.refused;
        CSntpClient client(api);
        for (int call = 0; call < 2; ++call)
            EXPECT_EQ(client.AdjustSystemClock(CNtpTimestamp(3900000000u, 1u << 30)), c.result);
        EXPECT_EQ(api.calls, c.calls + c.calls);
    }
}
