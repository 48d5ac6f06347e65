// libFuzzer target: an answer of any length and content, with any destination time.
#include "sntp/SntpPacket.h"

#include <cmath>
#include <cstdlib>

static void Check(bool condition)
{
    if (!condition)
        std::abort();
}

// Every timestamp reads as a valid calendar time, and converting that back lands on the same
// second (or the next one, when the fraction rounded up to a whole second).
static void CheckCalendar(const CNtpTimestamp& t)
{
    const SYSTEMTIME st = t.ToSystemTime();
    Check(st.wYear >= 1968 && st.wYear <= 2104 && st.wMonth >= 1 && st.wMonth <= 12);
    Check(st.wDay >= 1 && st.wDay <= 31 && st.wHour < 24 && st.wMinute < 60 && st.wSecond < 60);
    Check(st.wMilliseconds < 1000 && st.wDayOfWeek < 7);
    const uint32_t back = CNtpTimestamp::FromSystemTime(st).Seconds();
    Check(back == t.Seconds() || back == t.Seconds() + 1);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CNtpTimestamp destination(0xE8000000u, 0);
    if (size >= 8) {
        destination = CNtpTimestamp::FromNetwork(data);
        data += 8;
        size -= 8;
    }
    SntpReply reply;
    if (!ParseSntpAnswer(data, size, destination, reply))
        return 0;
    Check(reply.transmit != CNtpTimestamp());
    Check(reply.leapIndicator >= 0 && reply.leapIndicator <= 3 && reply.stratum <= 255);
    Check(std::isfinite(reply.roundTripDelay) && std::isfinite(reply.clockOffset));
    for (const CNtpTimestamp& t : {reply.originate, reply.receive, reply.transmit, destination})
        CheckCalendar(t);
    CheckCalendar(destination.AddSeconds(reply.clockOffset));
    return 0;
}
