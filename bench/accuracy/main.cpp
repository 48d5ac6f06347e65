// horalink-accuracy [N]: queries one loopback chronyd N times with the time engine and N times
// with ntpdig (Debian's sntp), and prints the median and 95th percentile of |offset| and of the
// round-trip delay for both. Both clients read the same clock as the server, so the offsets are
// pure measurement error. ntpdig has no port option: the server runs on 127.0.0.1:123 (root).
// Refuses to run while the process could set the clock.
#include "platform/LastError.h"
#include "sntp/SntpClient.h"
#include "tests/common/ChronyServer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/capability.h>
#include <vector>

namespace
{

constexpr uint16_t kPeerPort = 123;
constexpr int kDefaultRuns = 50;

struct Samples {
    std::vector<double> offsets; // |offset|, seconds
    std::vector<double> delays;  // seconds
    int failures = 0;
};

// In the bounding set (or unknown to the kernel), or already in hand.
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
        FILE* out = popen("ntpdig -d -t 2 127.0.0.1 2>&1", "r");
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

void PrintRow(const char* name, const Figures& f, const char* unit, double scale, int failures)
{
    std::printf("%-22s %10.1f %10.1f %10.1f %10.1f %s", name, f.offset50 * scale,
                f.offset95 * scale, f.delay50 * scale, f.delay95 * scale, unit);
    if (failures >= 0)
        std::printf("   (%d failed)", failures);
    std::printf("\n");
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::atoi(argv[1]) : kDefaultRuns;
    if (runs <= 0) {
        std::fprintf(stderr, "usage: horalink-accuracy [N]\n");
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
    const Figures e = Summarise(engine), p = Summarise(peer);

    std::printf("chronyd -x on 127.0.0.1:%u, %d exchanges per client\n\n", server.Port(), runs);
    std::printf("%-22s %10s %10s %10s %10s\n", "", "|offset|50", "|offset|95", "delay 50",
                "delay 95");
    PrintRow("horalink engine", e, "us", 1e6, engine.failures);
    PrintRow("ntpdig (sntp)", p, "us", 1e6, peer.failures);
    const Figures ratio = {e.offset50 / p.offset50, e.offset95 / p.offset95, e.delay50 / p.delay50,
                           e.delay95 / p.delay95};
    std::printf("%-22s %10.2f %10.2f %10.2f %10.2f\n", "ratio engine / ntpdig", ratio.offset50,
                ratio.offset95, ratio.delay50, ratio.delay95);
    return engine.failures == 0 && peer.failures == 0 ? 0 : 1;
}
