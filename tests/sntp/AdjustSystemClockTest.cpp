#include "platform/LastError.h"
#include "sntp/SntpClient.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace
{

// Records every operating-system call that setting the clock makes; sets nothing.
class RecordingClockApi : public SystemClockApi
{
public:
    uint32_t openError = 0; // 0: the token opens
    bool lookupSucceeds = true;
    bool adjustSucceeds = true;
    bool setSucceeds = true;
    std::vector<std::string> calls;
    std::vector<SYSTEMTIME> times;

    bool OpenProcessToken(TokenHandle* token) override
    {
        calls.push_back("open");
        if (openError != 0) {
            SetLastError(openError);
            return false;
        }
        *token = ++m_lastToken;
        return true;
    }
    bool LookupPrivilegeValue(const char* name, LUID* luid) override
    {
        calls.push_back(std::string("lookup ") + name);
        luid->LowPart = 25;
        return lookupSucceeds;
    }
    bool AdjustTokenPrivileges(TokenHandle token, const TOKEN_PRIVILEGES& p) override
    {
        const bool enable = p.Privileges[0].Attributes & SE_PRIVILEGE_ENABLED;
        calls.push_back((enable ? "enable " : "disable ") + std::to_string(token) + " count " +
                        std::to_string(p.PrivilegeCount) + " luid " +
                        std::to_string(p.Privileges[0].Luid.LowPart));
        return adjustSucceeds;
    }
    void CloseHandle(TokenHandle token) override
    {
        calls.push_back("close " + std::to_string(token));
    }
    bool SetSystemTime(const SYSTEMTIME& st) override
    {
        calls.push_back("set");
        times.push_back(st);
        if (!setSucceeds)
            SetLastError(EPERM);
        return setSucceeds;
    }

private:
    TokenHandle m_lastToken = 0;
};

std::string Calendar(const SYSTEMTIME& st)
{
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", st.wYear, st.wMonth,
                  st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
    return text;
}

const CNtpTimestamp kTime(3900000000u, MillisecondsToFraction(250)); // 2023-08-02 21:20:00.250

} // namespace

TEST(AdjustSystemClock, EnablesSetsDisablesAndClosesEachTime)
{
    RecordingClockApi api;
    CSntpClient client(api);
    const CNtpTimestamp second = kTime.AddSeconds(-3600.5);
    ASSERT_TRUE(client.AdjustSystemClock(kTime));
    ASSERT_TRUE(client.AdjustSystemClock(second));

    const std::vector<std::string> expected = {
        "open", "lookup SeSystemtimePrivilege", "enable 1 count 1 luid 25",
        "set",  "disable 1 count 1 luid 25",    "close 1",
        "open", "lookup SeSystemtimePrivilege", "enable 2 count 1 luid 25",
        "set",  "disable 2 count 1 luid 25",    "close 2"};
    EXPECT_EQ(api.calls, expected);
    ASSERT_EQ(api.times.size(), 2u);
    EXPECT_EQ(Calendar(api.times[0]), "2023-08-02 21:20:00.250");
    EXPECT_EQ(Calendar(api.times[1]), Calendar(second.ToSystemTime()));
    EXPECT_EQ(Calendar(api.times[1]), "2023-08-02 20:19:59.750");
}

TEST(AdjustSystemClock, EachFailingStepStopsItAndTheRestIsUndone)
{
    struct Case {
        const char* name;
        void (*configure)(RecordingClockApi&);
        bool result;
        std::vector<std::string> calls;
    } const cases[] = {
        {"no capability support: set without privilege steps",
         [](RecordingClockApi& a) { a.openError = kErrorCallNotImplemented; },
         true,
         {"open", "set"}},
        {"token refused", [](RecordingClockApi& a) { a.openError = EACCES; }, false, {"open"}},
        {"unknown privilege",
         [](RecordingClockApi& a) { a.lookupSucceeds = false; },
         false,
         {"open", "lookup SeSystemtimePrivilege", "close 1"}},
        {"enable refused",
         [](RecordingClockApi& a) { a.adjustSucceeds = false; },
         false,
         {"open", "lookup SeSystemtimePrivilege", "enable 1 count 1 luid 25",
          "disable 1 count 1 luid 25", "close 1"}},
        {"clock refused",
         [](RecordingClockApi& a) { a.setSucceeds = false; },
         false,
         {"open", "lookup SeSystemtimePrivilege", "enable 1 count 1 luid 25", "set",
          "disable 1 count 1 luid 25", "close 1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingClockApi api;
        c.configure(api);
        CSntpClient client(api);
        EXPECT_EQ(client.AdjustSystemClock(kTime), c.result);
        EXPECT_EQ(api.calls, c.calls);
    }
}

TEST(AdjustSystemClock, ATimeOf999Point5MsOrMoreSetsTheNextSecond)
{
    RecordingClockApi api;
    CSntpClient client(api);
    ASSERT_TRUE(client.AdjustSystemClock(CNtpTimestamp(3900000000u, 0xFFFFFFF0u)));
    ASSERT_EQ(api.times.size(), 1u);
    EXPECT_EQ(Calendar(api.times[0]), "2023-08-02 21:20:01.000");
}
