#include "platform/EffectiveCapability.h"
#include "platform/LinuxSystemClockApi.h"
#include "tests/common/ProcessCapabilities.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <latch>
#include <sys/capability.h>
#include <thread>
#include <unistd.h>

namespace
{

// CAP_SYS_NICE stands in for CAP_SYS_TIME: raising it is harmless.
constexpr int kCapability = CAP_SYS_NICE;

// The threads of this process whose effective set holds the capability.
int ThreadsHoldingIt()
{
    int holding = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        holding += HasCapability(kCapability, "CapEff", task.path() / "status");
    }
    return holding;
}

TOKEN_PRIVILEGES Privilege(uint32_t attributes)
{
    return {1, {{{kCapability, 0}, attributes}}};
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
