#include "platform/EffectiveCapability.h"
#include "platform/LastError.h"
#include "platform/LinuxSystemClockApi.h"
#include "platform/SystemTime.h"
#include "tests/common/CalendarText.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sys/capability.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>

// Whether a capability is in one set ("CapBnd", "CapEff", "CapPrm") of a task's status file.
// What cannot be read counts as held, so that a guard refuses rather than risks the clock.
static bool HasCapability(int capability, const std::string& set,
                          const std::string& status = "/proc/self/status")
{
    std::ifstream file(status);
    for (std::string line; std::getline(file, line);) {
        if (line.starts_with(set + ":")) {
            return std::stoull(line.substr(set.size() + 1), nullptr, 16) >> capability & 1;
        }
    }
    return true;
}

// Why this process could use a capability: it holds it (permitted or effective), or it keeps it
// in its bounding set and either its program file carries capabilities (any at all, or an
// attribute that cannot be read: no test program has a reason to carry one) or it is root in
// its real, effective or saved id, so that a program it starts holds it again. Empty when none
// holds: an ordinary user's shell keeps every capability in its bounding set and can still use
// none of them.
static std::string WhyCapabilityIsReachable(int capability)
{
    if (HasCapability(capability, "CapPrm") || HasCapability(capability, "CapEff")) {
        return "the process holds it";
    }
    if (!HasCapability(capability, "CapBnd")) {
        return "";
    }
    if (getxattr("/proc/self/exe", "security.capability", nullptr, 0) >= 0 ||
        (errno != ENODATA && errno != ENOTSUP)) {
        return "the program file may grant it";
    }
    uid_t real = 0, effective = 0, saved = 0;
    getresuid(&real, &effective, &saved);
    return real == 0 || effective == 0 || saved == 0 ? "root keeps it in the bounding set" : "";
}

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

static TOKEN_PRIVILEGES Privilege(uint32_t attributes = SE_PRIVILEGE_ENABLED)
{
    return {1, {{{kCapability, 0}, attributes}}};
}

// Dropped at start, the capability is off in every thread (that the program's threads start
// without it, e2e_capability_at_start checks); the enable step really raises it in the calling
// thread alone, and the disable step drops it again.
TEST(EffectiveCapability, OffInEveryThreadButForTheCall)
{
    if (geteuid() != 0 || !HasCapability(kCapability, "CapPrm")) {
        GTEST_SKIP() << "needs root with CAP_SYS_NICE permitted";
    }
    ASSERT_TRUE(DropEffectiveCapability(kCapability));
    EXPECT_EQ(ThreadsHoldingIt(), 0);
    std::thread([] {
        LinuxSystemClockApi api;
        TokenHandle token = kInvalidToken;
        ASSERT_TRUE(api.OpenProcessToken(&token));
        SetLastError(EINVAL); // left from an earlier call: the step that succeeds clears it
        ASSERT_TRUE(api.AdjustTokenPrivileges(token, Privilege()) && GetLastError() == 0);
        EXPECT_EQ(ThreadsHoldingIt(), 1);
        EXPECT_TRUE(HasCapability(kCapability, "CapEff", "/proc/thread-self/status"));
        // Raised again, nothing changes and nothing is left to report.
        EXPECT_TRUE(api.AdjustTokenPrivileges(token, Privilege()) && GetLastError() == 0);
        ASSERT_TRUE(api.AdjustTokenPrivileges(token, Privilege(0)));
        EXPECT_EQ(ThreadsHoldingIt(), 0);
    }).join();
    // Back as it was, for the tests that follow in this process.
    LinuxSystemClockApi().AdjustTokenPrivileges(0, Privilege());
}

// The suite's guard: no test may run with the right to set this machine's clock. Sure of that,
// the real privilege steps and clock setter run and must fail; the setter is asked for the time
// just read, so that even a guard gone wrong would leave the clock where it was. What names no
// clock time or no privilege of ours is refused as invalid before anything is tried: so the
// clock is never set from an unread record, and nothing is asked for no process.
TEST(SystemClock, WithoutTheCapabilityTheClockStaysAsItIs)
{
    const std::string reachable = WhyCapabilityIsReachable(CAP_SYS_TIME);
    ASSERT_EQ(reachable, "") << "CAP_SYS_TIME could be used (" << reachable
                             << "): run the tests under capsh --drop=cap_sys_time";
    LinuxSystemClockApi api;
    TokenHandle token = kInvalidToken;
    ASSERT_TRUE(api.OpenProcessToken(&token));
    // Reports success whether or not the capability is held, as the design's call does.
    api.AdjustTokenPrivileges(token, Privilege());
    SYSTEMTIME now;
    GetSystemTime(&now);
    EXPECT_FALSE(api.SetSystemTime(now));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EPERM));

    // Each refused, with EINVAL as the last error (EPERM above, so not left from before): records
    // past the last value of any field (every day from 1968 to 2104 is read in NtpTimestamp's
    // test), no record, and privileges other than the one name of ours, which is found.
    const auto refused = [](bool done) {
        const bool invalid = !done && GetLastError() == EINVAL;
        SetLastError(0);
        return invalid;
    };
    for (const char* calendar :
         {"2026-02-30 00:00:00.000", "2026-13-01 00:00:00.000", "2026-00-01 00:00:00.000",
          "2026-12-00 00:00:00.000", "2026-12-07 24:00:00.000", "2026-12-07 00:60:00.000",
          "2026-12-07 00:00:60.000", "2026-12-07 00:00:00.1000"}) {
        const SYSTEMTIME record = CalendarFromText(calendar);
        EXPECT_TRUE(refused(SetSystemTime(&record))) << calendar;
    }
    LUID luid;
    EXPECT_TRUE(api.LookupPrivilegeValue(SE_SYSTEMTIME_NAME, &luid) &&
                luid.LowPart == CAP_SYS_TIME);
    const TOKEN_PRIVILEGES none{0, {{{kCapability, 0}, SE_PRIVILEGE_ENABLED}}};
    EXPECT_EQ((std::vector{refused(SetSystemTime(nullptr)),
                           refused(api.LookupPrivilegeValue("SeShutdownPrivilege", &luid)),
                           refused(api.AdjustTokenPrivileges(kInvalidToken, Privilege())),
                           refused(api.AdjustTokenPrivileges(token, none))}),
              std::vector<bool>(4, true));

    // A thread starts with none and keeps its own: a worker's failure never reaches its caller.
    SetLastError(EPERM);
    std::thread([] {
        EXPECT_EQ(GetLastError(), 0u);
        SetLastError(EINVAL);
    }).join();
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EPERM));
}
