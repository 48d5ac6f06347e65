// horalink-accuracy [N] [M]: one loopback chronyd, queried N times (200) by the engine with
// nanosecond timestamps and N times by ntpdig (Debian's sntp), and measured M times (5) by
// `chronyd -Q`, a one-shot chronyd client. Prints the median and 95th percentile of |offset| and
// of the round-trip delay for each, beside the engine's goal. Every client reads the server's own
// clock, so the offsets are pure measurement error. ntpdig has no port option: the server runs on
// 127.0.0.1:123 (root). HORALINK_CHRONYD and HORALINK_NTPDIG name the programs. Refuses to run
// while the process could set the clock.
#include "platform/LastError.h"
#include "sntp/SntpClient.h"
#include "tests/common/ChronyServer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/capability.h>
#include <vector>

namespace
{

constexpr uint16_t kPeerPort = 123;
constexpr int kDefaultRuns = 200;
constexpr int kDefaultOneShotRuns = 5;
// The engine's goal, in seconds.
constexpr double kGoalMedian = 5e-6;
constexpr double kGoal95 = 25e-6;

struct Samples {
    std::vector<double> offsets; // |offset|, seconds
    std::vector<double> delays;  // seconds
    int failures = 0;
};

// In the bounding set (or unknown to the kernel), or already in hand.
std::string Program(const char* variable, const char* fallback)
{
    const char* value = std::getenv(variable);
    return value && *value ? value : fallback;
}

bool MayChangeClock()
{
    if (cap_get_bound(CAP_SYS_TIME) != 0)
        return true;
    cap_t caps = cap_get_proc();
    cap_flag_value_t effective = CAP_SET, permitted = CAP_SET;
    if (caps) {
        cap_get_flag(caps, CAP_SYS_TIME, CAP_EFFECTIVE, &effective);
        cap_get_flag(caps, CAP_SYS_TIME, CAP_PERMITTED, &permitted);
        cap_free(caps);
    }
    return effective == CAP_SET || permitted == CAP_SET;
}

void Add(Samples& samples, double offset, double delay)
{
    samples.offsets.push_back(std::fabs(offset));
    samples.delays.push_back(delay);
}

Samples RunEngine(int runs, uint16_t port)
{
    Samples samples;
    CSntpClient client;
    client.SetOptions({.precision = TimestampPrecision::Nanoseconds});
    for (int i = 0; i < runs; ++i) {
        SntpReply reply;
        if (client.QueryServer("127.0.0.1", reply, port))
            Add(samples, reply.clockOffset, reply.roundTripDelay);
        else
            ++samples.failures;
    }
    return samples;
}

// ntpdig -d prints t2 - t1 and t3 - t4; offset and delay follow from those two.
Samples RunPeer(int runs)
{
    Samples samples;
    for (int i = 0; i < runs; ++i) {
        const std::string command =
            Program("HORALINK_NTPDIG", "ntpdig") + " -d -t 2 127.0.0.1 2>&1";
        FILE* out = popen(command.c_str(), "r");
        bool parsed = false;
        char line[512];
        while (out && fgets(line, sizeof line, out)) {
            double t21 = 0, t34 = 0;
            if (std::sscanf(line, "rec-org t21: %lf xmt-dst t34: %lf", &t21, &t34) == 2) {
                Add(samples, (t21 + t34) / 2, t21 - t34);
                parsed = true;
            }
        }
        if (!out || pclose(out) != 0 || !parsed)
            ++samples.failures;
    }
    return samples;
}

// `chronyd -Q` measures with a few exchanges and prints "System clock wrong by X seconds"; it
// has no delay to report.
Samples RunOneShot(int runs, uint16_t port)
{
    Samples samples;
    char dir[] = "/tmp/horalink-oneshot.XXXXXX";
    if (!mkdtemp(dir)) {
        samples.failures = runs;
        return samples;
    }
    const std::string config = std::string(dir) + "/chrony.conf";
    std::ofstream(config) << "server 127.0.0.1 port " << port
                          << " iburst maxsamples 4\ncmdport 0\npidfile " << dir << "/pid\n";
    const std::string command =
        Program("HORALINK_CHRONYD", "/usr/sbin/chronyd") + " -Q -x -u root -f " + config + " 2>&1";
    for (int i = 0; i < runs; ++i) {
        FILE* out = popen(command.c_str(), "r");
        bool parsed = false;
        char line[512];
        while (out && fgets(line, sizeof line, out)) {
            const char* found = std::strstr(line, "System clock wrong by ");
            double offset = 0;
            if (found && std::sscanf(found, "System clock wrong by %lf", &offset) == 1) {
                samples.offsets.push_back(std::fabs(offset));
                parsed = true;
            }
        }
        if (!out || pclose(out) != 0 || !parsed)
            ++samples.failures;
    }
    std::filesystem::remove_all(dir);
    return samples;
}

// Nearest-rank percentile.
double Percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return NAN;
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<size_t>(std::ceil(p / 100 * values.size()));
    return values[std::clamp<size_t>(rank, 1, values.size()) - 1];
}

struct Figures {
    double offset50, offset95, delay50, delay95;
};

Figures Summarise(const Samples& s)
{
    return {Percentile(s.offsets, 50), Percentile(s.offsets, 95), Percentile(s.delays, 50),
            Percentile(s.delays, 95)};
}

void PrintRow(const char* name, const Samples& s, const char* note = "")
{
    const Figures f = Summarise(s);
    std::printf("| %-16s | %5zu | %10.1f | %10.1f | ", name, s.offsets.size(), f.offset50 * 1e6,
                f.offset95 * 1e6);
    if (s.delays.empty()) {
        std::printf("%10s | %10s | %10s |", "-", "-", "-");
    } else {
        std::printf("%10.1f | %10.1f | %10.1f |", f.delay50 * 1e6, f.delay95 * 1e6,
                    *std::min_element(s.delays.begin(), s.delays.end()) * 1e6);
    }
    std::printf(" %d failed%s\n", s.failures, note);
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::atoi(argv[1]) : kDefaultRuns;
    const int oneShotRuns = argc > 2 ? std::atoi(argv[2]) : kDefaultOneShotRuns;
    if (runs <= 0 || oneShotRuns < 0) {
        std::fprintf(stderr, "usage: horalink-accuracy [N] [M]\n");
        return 2;
    }
    if (MayChangeClock()) {
        std::fprintf(stderr, "horalink-accuracy: CAP_SYS_TIME is within reach; run it under "
                             "capsh --drop=cap_sys_time (bench/accuracy/run does)\n");
        return 1;
    }
    ChronyServer server({.port = kPeerPort, .stratum = 8});
    if (!server.Start()) {
        std::fprintf(stderr, "horalink-accuracy: %s\n", server.Error().c_str());
        return 1;
    }

    const Samples engine = RunEngine(runs, server.Port());
    const Samples peer = RunPeer(runs);
    const Samples oneShot = RunOneShot(oneShotRuns, server.Port());
    const Figures e = Summarise(engine);
    const bool met = e.offset50 <= kGoalMedian && e.offset95 <= kGoal95 && !engine.delays.empty() &&
                     *std::min_element(engine.delays.begin(), engine.delays.end()) >= 0;

    std::printf("chronyd -x on 127.0.0.1:%u; microseconds\n\n", server.Port());
    std::printf("| %-16s | %5s | %10s | %10s | %10s | %10s | %10s |\n", "client", "runs",
                "|offset| 50", "|offset| 95", "delay 50", "delay 95", "delay min");
    std::printf("|---|---|---|---|---|---|---|\n");
    PrintRow("horalink engine", engine, met ? "; goal met" : "; goal MISSED");
    PrintRow("ntpdig (sntp)", peer);
    PrintRow("chronyd -Q", oneShot);
    std::printf("\ngoal of the engine: |offset| median <= %.0f us, p95 <= %.0f us, delay never "
                "negative\n",
                kGoalMedian * 1e6, kGoal95 * 1e6);
    return engine.failures == 0 && met ? 0 : 1;
}
