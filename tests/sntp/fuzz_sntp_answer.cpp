// libFuzzer target: the transmit time sent, the arrival time, then an answer of any length and
// content, through the checks, the offset and the clock target computed from that offset.
#include "platform/SystemTime.h"
#include "sntp/ClockTarget.h"
#include "sntp/SntpPacket.h"

#include <cmath>
#include <cstdlib>

static void Check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

static bool Same(const SntpReply& a, const SntpReply& b)
{
    return a.leapIndicator == b.leapIndicator && a.stratum == b.stratum &&
           a.originate == b.originate && a.receive == b.receive && a.transmit == b.transmit &&
           a.destination == b.destination && a.roundTripDelay == b.roundTripDelay &&
           a.clockOffset == b.clockOffset && a.version == b.version && a.mode == b.mode &&
           a.referenceId == b.referenceId && a.rootDelay == b.rootDelay &&
           a.rootDispersion == b.rootDispersion;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 16) {
        return 0;
    }
    const CNtpTimestamp sent = CNtpTimestamp::FromNetwork(data);
    const CNtpTimestamp destination = CNtpTimestamp::FromNetwork(data + 8);
    SntpReply reply;
    reply.stratum = 77; // a sentinel: an earlier reply that a rejection must leave alone
    reply.clockOffset = -3.5;
    const SntpReply before = reply;
    const AnswerVerdict verdict = ParseSntpAnswer(data + 16, size - 16, sent, destination, reply);
    if (verdict != AnswerVerdict::Accepted) {
        Check(Same(reply, before));
        return 0;
    }
    Check(reply.originate == sent && reply.destination == destination);
    Check(reply.mode == 4 && reply.version >= 1 && reply.version <= 4);
    Check(reply.leapIndicator != 3 && reply.stratum >= 1 && reply.stratum <= 15);
    Check(std::isfinite(reply.roundTripDelay) && std::isfinite(reply.clockOffset));

    // The clock is set only to a time inside the window, read back as the same second.
    const timespec now = {static_cast<time_t>(destination.UnixSeconds()),
                          static_cast<long>(destination.Nanoseconds())};
    const std::optional<CNtpTimestamp> target = ClockTargetFromOffset(reply.clockOffset, now);
    if (!target) {
        return 0;
    }
    const int64_t seconds = target->UnixSeconds();
    Check(seconds >= EarliestClockTarget() && seconds <= kLastUnixSecondOfWindow);
    timespec set{};
    Check(SystemTimeToTimespec(target->ToSystemTime(), set));
    Check(set.tv_sec == seconds || set.tv_sec == seconds + 1); // 999.5 ms and up round up
    return 0;
}
