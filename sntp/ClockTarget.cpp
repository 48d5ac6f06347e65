#include "sntp/ClockTarget.h"

#include <cmath>

namespace
{

constexpr double kNanosecondsPerSecond = 1e9;
// About 35,000 years: beyond this the double offset no longer maps safely onto 64-bit seconds.
constexpr double kLargestOffset = 1e12;

} // namespace

int64_t EarliestClockTarget()
{
    return HORALINK_BUILD_EPOCH;
}

std::optional<CNtpTimestamp> ClockTargetFromOffset(double offset, const timespec& now)
{
    if (!std::isfinite(offset) || std::fabs(offset) > kLargestOffset) {
        return std::nullopt;
    }
    const double whole = std::floor(offset);
    int64_t seconds = now.tv_sec + static_cast<int64_t>(whole);
    int64_t nanoseconds =
        now.tv_nsec + std::llround((offset - whole) * kNanosecondsPerSecond); // 0 to 2e9
    seconds += nanoseconds / 1000000000;
    nanoseconds %= 1000000000;
    if (seconds < EarliestClockTarget() || seconds > kLastUnixSecondOfWindow) {
        return std::nullopt;
    }
    return CNtpTimestamp::FromUnixTime(seconds, static_cast<uint32_t>(nanoseconds));
}

std::optional<CNtpTimestamp> ClockTargetFromOffset(double offset)
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return ClockTargetFromOffset(offset, now);
}
