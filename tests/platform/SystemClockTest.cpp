#include "platform/EffectiveCapability.h"
#include "platform/LastError.h"
#include "platform/LinuxSystemClockApi.h"
#include "platform/SystemTime.h"
#include "tests/common/CalendarText.h"
#include "tests/common/ProcessCapabilities.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <latch>
#include <sys/capability.h>
#include <thread>
#include <tuple>
#include <unistd.h>
#include <vector>

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
    api.CloseHandle(token);
    EXPECT_LT(time(nullptr) - before, 5);
}

// The guard refuses when the clock capability could be used, and only then: an ordinary user
// keeps it in the bounding set without any way to use it.
TEST(SystemClock, GuardRefusesOnlyWhereTheCapabilityCouldBeUsed)
{
    const std::filesystem::path status =
        std::filesystem::temp_directory_path() / ("horalink-status-" + std::to_string(getpid()));
    // Uid line, CapPrm, CapEff, CapBnd (bit 25 is CAP_SYS_TIME: 0x2000000), then the verdict.
    const std::tuple<const char*, const char*, const char*, const char*, const char*> cases[] = {
        {"1000\t1000\t1000\t1000", "0", "0", "1ffffffffff", ""},
        {"1000\t1000\t1000\t1000", "2000000", "0", "1ffffffffff", "the process holds it"},
        {"1000\t1000\t1000\t1000", "0", "2000000", "1ffffffffff", "the process holds it"},
        {"1000\t0\t1000\t1000", "0", "0", "1ffffffffff", "root keeps it in the bounding set"},
        {"0\t0\t0\t0", "1fffdffffff", "1fffdffffff", "1fffdffffff", ""},
        {"0\t0\t0\t0", "1ffffffffff", "0", "1fffdffffff", "the process holds it"},
    };
    for (const auto& [uids, permitted, effective, bounding, verdict] : cases) {
        SCOPED_TRACE(std::string(uids) + " prm " + permitted + " eff " + effective);
        std::ofstream(status) << "Name:\ttest\nUid:\t" << uids << "\nCapInh:\t0\nCapPrm:\t"
                              << permitted << "\nCapEff:\t" << effective << "\nCapBnd:\t"
                              << bounding << "\n";
        // The status file stands in for the program: it has no file capability.
        EXPECT_EQ(WhyCapabilityIsReachable(CAP_SYS_TIME, status, status), verdict);
    }
    std::filesystem::remove(status);
    EXPECT_EQ(WhyCapabilityIsReachable(CAP_SYS_TIME, status, status), "the process holds it");
}

// A program file's capability attribute as the kernel lays it out: a revision word, then the
// permitted and inheritable words, all little-endian.
TEST(SystemClock, FileCapabilityThatGrantsTheClock)
{
    const auto attribute = [](uint32_t revision, uint32_t permitted, uint32_t inheritable,
                              size_t size) {
        std::vector<uint8_t> bytes(size);
        const uint32_t words[] = {revision, permitted, inheritable};
        for (size_t i = 0; i < size && i < 12; ++i) {
            bytes[i] = static_cast<uint8_t>(words[i / 4] >> (8 * (i % 4)));
        }
        return bytes;
    };
    const std::tuple<std::vector<uint8_t>, bool> cases[] = {
        {std::vector<uint8_t>{}, false},
        {attribute(0x02000001, 1u << 25, 0, 20), true},  // cap_sys_time+ep
        {attribute(0x02000000, 0, 1u << 25, 20), true},  // cap_sys_time+i
        {attribute(0x03000000, 1u << 25, 0, 24), true},  // with a namespace's root id
        {attribute(0x02000001, 1u << 23, 0, 20), false}, // cap_sys_nice only
        {attribute(0x01000000, 1u << 25, 0, 12), true},
        {attribute(0x05000000, 0, 0, 20), true}, // a revision not known: refuse
        {std::vector<uint8_t>{0}, true},         // unreadable
    };
    for (const auto& [bytes, grants] : cases) {
        SCOPED_TRACE(testing::PrintToString(bytes));
        EXPECT_EQ(FileCapabilityGrants(CAP_SYS_TIME, bytes), grants);
    }
}

// What names no clock time or no privilege of ours is refused as invalid before anything is
// tried: so the clock is never set from an unread record, and nothing is asked for no process.
TEST(SystemClock, RefusesWhatNamesNoTimeOrPrivilege)
{
    const SYSTEMTIME invalid = CalendarFromText("2026-02-30 00:00:00.000");
    for (const SYSTEMTIME* record : {&invalid, static_cast<const SYSTEMTIME*>(nullptr)}) {
        SetLastError(0);
        EXPECT_FALSE(SetSystemTime(record));
        EXPECT_EQ(GetLastError(), uint32_t{EINVAL});
    }
    LinuxSystemClockApi api;
    LUID luid;
    EXPECT_FALSE(api.LookupPrivilegeValue("SeShutdownPrivilege", &luid));
    TOKEN_PRIVILEGES none = Privilege(SE_PRIVILEGE_ENABLED);
    none.PrivilegeCount = 0;
    for (const auto& [token, privileges] :
         {std::pair(kInvalidToken, Privilege(SE_PRIVILEGE_ENABLED)), {TokenHandle{1}, none}}) {
        SetLastError(0);
        EXPECT_FALSE(api.AdjustTokenPrivileges(token, privileges));
        EXPECT_EQ(GetLastError(), uint32_t{EINVAL});
    }
}

// The record the clock is set from becomes seconds and nanoseconds since 1970, exactly, and
// the clock read back as a record is the clock.
TEST(SystemClock, CalendarTimeToTimespec)
{
    // The text, then seconds and nanoseconds since 1970 (seconds -1: refused).
    for (const auto& [calendar, seconds, nanoseconds] :
         {std::tuple("1970-01-01 00:00:00.000", time_t(0), 0L),
          {"2026-12-07 00:30:00.001", 1796603400, 1000000},
          {"2000-02-29 23:59:59.999", 951868799, 999000000},
          {"2104-02-26 09:42:23.500", 4233462143, 500000000},
          // Each field at its last value, then one past it.
          {"2026-12-31 23:59:59.999", 1798761599, 999000000},
          {"2400-02-29 12:00:00.000", 13574606400, 0},
          {"2026-13-01 00:00:00.000", -1, 0},
          {"2026-00-01 00:00:00.000", -1, 0},
          {"2026-12-00 00:00:00.000", -1, 0},
          {"2026-12-07 24:00:00.000", -1, 0},
          {"2026-12-07 00:60:00.000", -1, 0},
          {"2026-12-07 00:00:60.000", -1, 0},
          {"2026-12-07 00:00:00.1000", -1, 0}}) {
        timespec ts{-1, -1};
        SetLastError(0);
        EXPECT_EQ(SystemTimeToTimespec(CalendarFromText(calendar), ts), seconds >= 0);
        EXPECT_EQ(GetLastError(), seconds >= 0 ? 0u : uint32_t{EINVAL}) << calendar;
        EXPECT_TRUE(seconds < 0 || (ts.tv_sec == seconds && ts.tv_nsec == nanoseconds))
            << calendar << " read as " << ts.tv_sec << " s " << ts.tv_nsec << " ns";
    }

    // The last days of every month, and one past, in leap and common years: the C library's
    // timegm is the reference, a day it carries into the next month is no date.
    for (const int year : {2024, 2026, 2100, 2000}) {
        for (int month = 1; month <= 12; ++month) {
            for (int day = 28; day <= 32; ++day) {
                tm calendar{};
                calendar.tm_mday = day;
                calendar.tm_mon = month - 1;
                calendar.tm_year = year - 1900;
                const time_t seconds = timegm(&calendar);
                const bool valid = calendar.tm_mday == day;
                SYSTEMTIME st;
                st.wYear = static_cast<uint16_t>(year);
                st.wMonth = static_cast<uint16_t>(month);
                st.wDay = static_cast<uint16_t>(day);
                timespec ts{-1, -1};
                EXPECT_EQ(SystemTimeToTimespec(st, ts), valid) << CalendarText(st);
                EXPECT_TRUE(!valid || ts.tv_sec == seconds) << CalendarText(st);
            }
        }
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
