#include "platform/EffectiveCapability.h"
#include "platform/LinuxSystemClockApi.h"
#include "tests/common/ProcessCapabilities.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <latch>
#include <string>
#include <sys/capability.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{

// CAP_SYS_NICE stands in for CAP_SYS_TIME: raising it is harmless.
constexpr int kCapability = CAP_SYS_NICE;

bool Effective(const std::string& status)
{
    return HasCapability(kCapability, "CapEff", status);
}

// The threads of this process whose effective set holds the capability.
int ThreadsHoldingIt()
{
    int holding = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        holding += Effective(task.path() / "status");
    }
    return holding;
}

TOKEN_PRIVILEGES Privilege(bool enable)
{
    TOKEN_PRIVILEGES p;
    p.PrivilegeCount = 1;
    p.Privileges[0].Luid.LowPart = kCapability;
    p.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
    return p;
}

} // namespace

// Dropped at start, the capability is off in every thread started after; the enable step
// really raises it in the calling thread alone, and the disable step drops it again.
TEST(EffectiveCapability, OffInEveryThreadButForTheCall)
{
    if (geteuid() != 0 || !HasCapability(kCapability, "CapPrm")) {
        GTEST_SKIP() << "needs root with CAP_SYS_NICE permitted";
    }
    ASSERT_TRUE(DropEffectiveCapability(kCapability));
    std::latch done(1);
    std::vector<std::thread> idle;
    for (int i = 0; i < 2; ++i) {
        idle.emplace_back([&] { done.wait(); });
    }
    EXPECT_EQ(ThreadsHoldingIt(), 0);

    std::thread setter([] {
        LinuxSystemClockApi api;
        TokenHandle token = kInvalidToken;
        ASSERT_TRUE(api.OpenProcessToken(&token));
        ASSERT_TRUE(api.AdjustTokenPrivileges(token, Privilege(true)));
        EXPECT_TRUE(Effective("/proc/thread-self/status")) << "the enable step raised nothing";
        EXPECT_EQ(ThreadsHoldingIt(), 1);
        ASSERT_TRUE(api.AdjustTokenPrivileges(token, Privilege(false)));
        EXPECT_FALSE(Effective("/proc/thread-self/status"));
    });
    setter.join();
    EXPECT_EQ(ThreadsHoldingIt(), 0);
    done.count_down();
    for (std::thread& t : idle) {
        t.join();
    }
    // Back as it was, for the tests that follow in this process.
    LinuxSystemClockApi().AdjustTokenPrivileges(0, Privilege(true));
}
