#include "platform/EffectiveCapability.h"
#include "platform/LastError.h"
#include "platform/LinuxSystemClockApi.h"
#include "platform/SystemTime.h"
#include "tests/common/CalendarText.h"
#include "tests/common/ProcessCapabilities.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <latch>
#include <sys/capability.h>
#include <thread>
#include <tuple>
#include <unistd.h>

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

static TOKEN_PRIVILEGES Privilege(uint32_t attributes)
{
    return {1, {{{kCapability, 0}, attributes}}};
}

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

// The suite's guard: no test may run with the right to set this machine's clock. Sure of that,
// the real privilege steps and clock setter run: they must fail and leave the clock as it is.
// What names no clock time or no privilege of ours is refused as invalid before anything is
// tried: so the clock is never set from an unread record, and nothing is asked for no process.
TEST(SystemClock, WithoutTheCapabilityTheClockStaysAsItIs)
{
    const std::string reachable = WhyCapabilityIsReachable(CAP_SYS_TIME);
    ASSERT_EQ(reachable, "") << "CAP_SYS_TIME could be used (" << reachable
                             << "): run the tests under capsh --drop=cap_sys_time";
    const time_t before = time(nullptr);
    LinuxSystemClockApi api;
    TokenHandle token = kInvalidToken;
    ASSERT_TRUE(api.OpenProcessToken(&token));
    // Reports success whether or not the capability is held, as the design's call does.
    api.AdjustTokenPrivileges(token, Privilege(SE_PRIVILEGE_ENABLED));
    SYSTEMTIME st;
    GetSystemTime(&st);
    st.wYear = static_cast<decltype(st.wYear)>(st.wYear + 1);
    EXPECT_FALSE(api.SetSystemTime(st));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EPERM));
    EXPECT_LT(time(nullptr) - before, 5);

    // Each refused, with EINVAL as the last error.
    const auto refused = [](bool done) {
        const bool invalid = !done && GetLastError() == EINVAL;
        SetLastError(0);
        return invalid;
    };
    const SYSTEMTIME wrongDay = CalendarFromText("2026-02-30 00:00:00.000");
    LUID luid;
    TOKEN_PRIVILEGES none = Privilege(SE_PRIVILEGE_ENABLED);
    none.PrivilegeCount = 0;
    SetLastError(0);
    EXPECT_EQ((std::vector{refused(SetSystemTime(&wrongDay)), refused(SetSystemTime(nullptr)),
                           refused(api.LookupPrivilegeValue("SeShutdownPrivilege", &luid)),
                           refused(api.AdjustTokenPrivileges(kInvalidToken,
                                                             Privilege(SE_PRIVILEGE_ENABLED))),
                           refused(api.AdjustTokenPrivileges(token, none))}),
              std::vector<bool>(5, true));
}

// The clock setter's success, in a copy of this program whose clock_settime is the clock shim's,
// which writes the time down instead: true, the last error 0, and exactly the second given.
TEST(SystemClock, SetsTheClockWithClockSettime)
{
    if (std::getenv("HORALINK_CLOCK_RECORD") != nullptr) { // the copy
        const SYSTEMTIME st = CalendarFromText("2026-12-07 00:30:00.999");
        SetLastError(EPERM);
        EXPECT_TRUE(SetSystemTime(&st));
        EXPECT_EQ(GetLastError(), 0u);
        return;
    }
    // A name of this run's own: another user's run may have left its record in /tmp.
    const std::string record =
        testing::TempDir() + "horalink-clock-record-" + std::to_string(getpid());
    // Under AddressSanitizer its runtime would otherwise insist on coming first in the preloads.
    const char* asan = std::getenv("ASAN_OPTIONS");
    const std::string command = "ASAN_OPTIONS='verify_asan_link_order=0" +
                                (asan ? ":" + std::string(asan) : std::string()) +
                                "' HORALINK_CLOCK_RECORD=" + record +
                                " LD_PRELOAD=" HORALINK_CLOCK_SHIM " " +
                                std::filesystem::read_symlink("/proc/self/exe").string() +
                                " --gtest_filter=SystemClock.SetsTheClockWithClockSettime";
    ASSERT_EQ(std::system((command + " >/dev/null").c_str()), 0) << command;
    long long seconds = 0;
    std::ifstream(record) >> seconds;
    std::filesystem::remove(record);
    EXPECT_EQ(seconds, 1796603400);
}

// The guard refuses when the clock capability could be used, and only then: an ordinary user
// keeps it in the bounding set without any way to use it.
TEST(SystemClock, GuardRefusesOnlyWhereTheCapabilityCouldBeUsed)
{
    const std::filesystem::path status =
        std::filesystem::temp_directory_path() / ("horalink-status-" + std::to_string(getpid()));
    // Uid line, CapPrm, CapEff, CapBnd (bit 25 is CAP_SYS_TIME: 0x2000000), the program file (the
    // status file, which carries no capability, unless said), then the verdict.
    const std::tuple<const char*, const char*, const char*, const char*, std::string, const char*>
        cases[] = {
            // clang-format off
        {"1000\t1000\t1000\t1000", "0", "0", "1ffffffffff", status, ""},
        {"1000\t1000\t1000\t1000", "2000000", "0", "1ffffffffff", status, "the process holds it"},
        {"1000\t1000\t1000\t1000", "0", "2000000", "1ffffffffff", status, "the process holds it"},
        {"1000\t0\t1000\t1000", "0", "0", "1ffffffffff", status, "root keeps it in the bounding set"},
        {"1000\t1000\t1000\t1000", "0", "0", "1ffffffffff", "/nonexistent", "the program file may grant it"},
        {"0\t0\t0\t0", "1fffdffffff", "1fffdffffff", "1fffdffffff", "/nonexistent", ""},
        {"0\t0\t0\t0", "1ffffffffff", "0", "1fffdffffff", status, "the process holds it"},
            // clang-format on
        };
    for (const auto& [uids, permitted, effective, bounding, program, verdict] : cases) {
        SCOPED_TRACE(std::string(uids) + " prm " + permitted + " eff " + effective + " " + program);
        std::ofstream(status) << "Name:\ttest\nUid:\t" << uids << "\nCapInh:\t0\nCapPrm:\t"
                              << permitted << "\nCapEff:\t" << effective << "\nCapBnd:\t"
                              << bounding << "\n";
        EXPECT_EQ(WhyCapabilityIsReachable(CAP_SYS_TIME, status, program), verdict);
    }
    std::filesystem::remove(status);
    EXPECT_EQ(WhyCapabilityIsReachable(CAP_SYS_TIME, status, status), "the process holds it");
}

// The record the clock is set from is refused, as invalid, past the last value of any field
// (every day from 1968 to 2104 is read in NtpTimestamp's test), and the clock read back as a
// record is the clock.
TEST(SystemClock, CalendarTimeToTimespec)
{
    timespec ts{-1, -1};
    ASSERT_TRUE(SystemTimeToTimespec(CalendarFromText("2026-12-31 23:59:59.999"), ts));
    EXPECT_EQ(std::pair(ts.tv_sec, ts.tv_nsec), std::pair(time_t{1798761599}, 999000000L));
    for (const char* calendar :
         {"2026-13-01 00:00:00.000", "2026-00-01 00:00:00.000", "2026-12-00 00:00:00.000",
          "2026-12-07 24:00:00.000", "2026-12-07 00:60:00.000", "2026-12-07 00:00:60.000",
          "2026-12-07 00:00:00.1000"}) {
        SetLastError(0);
        EXPECT_FALSE(SystemTimeToTimespec(CalendarFromText(calendar), ts)) << calendar;
        EXPECT_EQ(GetLastError(), uint32_t{EINVAL}) << calendar;
    }

    // The clock read as a calendar time is the clock's second, millisecond and weekday
    // (1970-01-01 was a Thursday).
    timespec before{}, after{}, read{};
    SYSTEMTIME now;
    clock_gettime(CLOCK_REALTIME, &before);
    GetSystemTime(&now);
    clock_gettime(CLOCK_REALTIME, &after);
    ASSERT_TRUE(SystemTimeToTimespec(now, read)) << CalendarText(now);
    const auto ms = [](const timespec& t) { return t.tv_sec * 1000 + t.tv_nsec / 1000000; };
    EXPECT_LE(ms(before), ms(read));
    EXPECT_LE(ms(read), ms(after));
    EXPECT_EQ(now.wDayOfWeek, (read.tv_sec / 86400 + 4) % 7);
}
