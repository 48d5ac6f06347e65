#include "sntp/ErrorBound.h"

#include <algorithm>
#include <cmath>
#include <ctime>

namespace
{

int64_t NowNs()
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

// Enough readings to see the clock tick; a few microseconds in all.
constexpr int kPrecisionReadings = 200;
// The finest step counted: one nanosecond, the clock's unit.
constexpr int kFinestPrecision = -30;

} // namespace

double ErrorBound(const SntpReply& reply, int localPrecision)
{
    const double local = std::ldexp(1.0, localPrecision);
    const double delay = std::max(reply.roundTripDelay, local);
    const double sinceRequest = reply.destination.Difference(reply.originate);
    const double dispersion =
        reply.precision + local + kFrequencyTolerance * std::max(sinceRequest, 0.0);
    return std::max(kMinDispersion, reply.rootDelay + delay) / 2 + reply.rootDispersion +
           dispersion;
}

int LocalClockPrecision()
{
    static const int precision = [] {
        int64_t shortest = 0;
        int64_t last = NowNs();
        for (int i = 0; i < kPrecisionReadings; ++i) {
            const int64_t now = NowNs();
            if (now > last) {
                shortest = shortest == 0 ? now - last : std::min(shortest, now - last);
            }
            last = now;
        }
        if (shortest == 0) {
            return kFinestPrecision;
        }
        return std::max(kFinestPrecision, static_cast<int>(std::ceil(
                                              std::log2(static_cast<double>(shortest) * 1e-9))));
    }();
    return precision;
}
