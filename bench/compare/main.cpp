// horalink-compare-bench HORALINK [RUNS] [SERVERS] [WAIT_MS]: SERVERS (3) scripted time servers
// on port 123 of loopback addresses of the run's own (127.A.B.21, ...; root), each answering
// WAIT_MS (300) after a request. Runs `HORALINK --console --compare` against all of them RUNS
// (10) times, and for reference `HORALINK --console SERVER` for each in turn, and prints the
// median, minimum and maximum wall time of each beside the goal for --compare (the slowest
// server's time plus 150 ms). Refuses to run while the process could set the clock.
#include "tests/common/UdpResponder.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/capability.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{

constexpr uint16_t kNtpPort = 123;
constexpr int kDefaultRuns = 10;
constexpr int kDefaultServers = 3;
constexpr int kDefaultWaitMs = 300;
// Over the slowest server's time, milliseconds.
constexpr double kGoalOverMs = 150;

bool MayChangeClock()
{
    if (cap_get_bound(CAP_SYS_TIME) != 0) {
        return true;
    }
    cap_t caps = cap_get_proc();
    cap_flag_value_t effective = CAP_SET;
    if (caps) {
        cap_get_flag(caps, CAP_SYS_TIME, CAP_EFFECTIVE, &effective);
        cap_free(caps);
    }
    return effective == CAP_SET;
}

std::string RunAddress(int host)
{
    const unsigned pid = static_cast<unsigned>(::getpid());
    return "127." + std::to_string(1 + (pid >> 8) % 254) + "." + std::to_string(pid % 256) + "." +
           std::to_string(host);
}

// Runs the program with its output thrown away; milliseconds of wall time, or -1.
double TimedRun(std::vector<std::string> args)
{
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        return -1;
    }
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

void Print(const char* what, std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    std::printf("%-28s median %7.1f ms  min %7.1f ms  max %7.1f ms  (%zu runs)\n", what,
                times[times.size() / 2], times.front(), times.back(), times.size());
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s HORALINK [RUNS] [SERVERS] [WAIT_MS]\n", argv[0]);
        return 2;
    }
    if (MayChangeClock()) {
        std::fprintf(stderr, "run under capsh --drop=cap_sys_time\n");
        return 2;
    }
    const std::string program = argv[1];
    const int runs = argc > 2 ? std::atoi(argv[2]) : kDefaultRuns;
    const int count = argc > 3 ? std::atoi(argv[3]) : kDefaultServers;
    const int waitMs = argc > 4 ? std::atoi(argv[4]) : kDefaultWaitMs;
    if (runs < 1 || count < 1 || waitMs < 0) {
        std::fprintf(stderr, "RUNS and SERVERS from 1, WAIT_MS from 0\n");
        return 2;
    }

    std::vector<std::unique_ptr<UdpResponder>> servers;
    std::vector<std::string> compare = {program, "--console", "--compare"};
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
        names.push_back(RunAddress(21 + i));
        servers.push_back(std::make_unique<UdpResponder>(
            [waitMs](const UdpResponder::Bytes& request) {
                std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
                return UdpResponder::NtpServer({.stratum = 2})(request);
            },
            names.back(), kNtpPort));
        if (servers.back()->Port() != kNtpPort) {
            std::fprintf(stderr, "cannot listen on %s:123 (root?)\n", names.back().c_str());
            return 1;
        }
        compare.push_back(names.back());
    }

    std::vector<double> together, inTurn;
    for (int run = 0; run < runs; ++run) {
        const double all = TimedRun(compare);
        double sum = 0;
        for (const std::string& name : names) {
            const double one = TimedRun({program, "--console", name});
            sum = one < 0 || sum < 0 ? -1 : sum + one;
        }
        if (all < 0 || sum < 0) {
            std::fprintf(stderr, "a run failed\n");
            return 1;
        }
        together.push_back(all);
        inTurn.push_back(sum);
    }
    std::printf("%d servers, each answering after %d ms:\n", count, waitMs);
    Print("--compare, all at once", together);
    Print("one at a time, summed", inTurn);
    std::printf("goal for --compare: under %.0f ms\n", waitMs + kGoalOverMs);
    return 0;
}
