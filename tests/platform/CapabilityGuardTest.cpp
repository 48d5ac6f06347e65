// The suite's guard: no test may run with the right to set this machine's clock.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace
{

constexpr int kCapSysTime = 25;

bool HasCapSysTime(const std::string& set)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(set + ":", 0) == 0)
            return (std::stoull(line.substr(set.size() + 1), nullptr, 16) >> kCapSysTime) & 1;
    ADD_FAILURE() << set << " not found in /proc/self/status";
    return true;
}

} // namespace

TEST(CapabilityGuard, TheTestsCannotSetTheClock)
{
    for (const char* set : {"CapBnd", "CapEff", "CapPrm"})
        EXPECT_FALSE(HasCapSysTime(set))
            << set << " holds CAP_SYS_TIME: run the tests under capsh --drop=cap_sys_time";
}
