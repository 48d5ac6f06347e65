#include "platform/LastError.h"
#include "sntp/SntpClient.h"
#include "tests/common/CalendarText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

// Records every operating-system call that setting the clock makes; sets nothing.
class RecordingClockApi : public SystemClockApi
{
public:
    uint32_t openError = 0; // 0: the token opens
    bool lookupSucceeds = true, adjustSucceeds = true, setSucceeds = true;
    std::vector<std::string> calls;

    bool OpenProcessToken(TokenHandle* token) override
    {
        calls.push_back("open");
        SetLastError(openError);
        *token = openError ? kInvalidToken : ++m_tokens;
        return openError == 0;
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
        calls.push_back((enable ? "enable " : "disable ") + std::to_string(token) + " " +
                        std::to_string(p.PrivilegeCount) + "x" +
                        std::to_string(p.Privileges[0].Luid.LowPart));
        return adjustSucceeds;
    }
    void CloseHandle(TokenHandle token) override
    {
        calls.push_back("close " + std::to_string(token));
    }
    bool SetSystemTime(const SYSTEMTIME& st) override
    {
        calls.push_back("set " + CalendarText(st));
        return setSucceeds;
    }

private:
    TokenHandle m_tokens = 0;
};

const CNtpTimestamp kTime(3900000000u, MillisecondsToFraction(250));

} // namespace

TEST(AdjustSystemClock, EnablesSetsDisablesAndClosesEachTime)
{
    RecordingClockApi api;
    CSntpClient client(api);
    ASSERT_TRUE(client.AdjustSystemClock(kTime));
    ASSERT_TRUE(client.AdjustSystemClock(kTime.AddSeconds(-3600.5)));
    ASSERT_TRUE(client.AdjustSystemClock(CNtpTimestamp(3900000000u, 0xFFFFFFF0u)));
    const std::vector<std::string> expected = {"open",           "lookup SeSystemtimePrivilege",
                                               "enable 1 1x25",  "set 2023-08-02 21:20:00.250",
                                               "disable 1 1x25", "close 1",
                                               "open",           "lookup SeSystemtimePrivilege",
                                               "enable 2 1x25",  "set 2023-08-02 20:19:59.750",
                                               "disable 2 1x25", "close 2",
                                               "open",           "lookup SeSystemtimePrivilege",
                                               "enable 3 1x25",  "set 2023-08-02 21:20:01.000",
                                               "disable 3 1x25", "close 3"};
    EXPECT_EQ(api.calls, expected);
}

TEST(AdjustSystemClock, EachFailingStepStopsItAndTheRestIsUndone)
{
    const std::string set = "set 2023-08-02 21:20:00.250";
    struct Case {
        const char* name;
        void (*configure)(RecordingClockApi&);
        bool result;
        std::vector<std::string> calls;
    } const cases[] = {
        {"no capability support: set without privilege steps",
         [](RecordingClockApi& a) { a.openError = kErrorCallNotImplemented; },
         true,
         {"open", set}},
        {"token refused", [](RecordingClockApi& a) { a.openError = EACCES; }, false, {"open"}},
        {"unknown privilege",
         [](RecordingClockApi& a) { a.lookupSucceeds = false; },
         false,
         {"open", "lookup SeSystemtimePrivilege", "close 1"}},
        {"enable refused",
         [](RecordingClockApi& a) { a.adjustSucceeds = false; },
         false,
         {"open", "lookup SeSystemtimePrivilege", "enable 1 1x25", "disable 1 1x25", "close 1"}},
        {"clock refused",
         [](RecordingClockApi& a) { a.setSucceeds = false; },
         false,
         {"open", "lookup SeSystemtimePrivilege", "enable 1 1x25", set, "disable 1 1x25",
          "close 1"}},
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
