#include "sntp/SntpPacket.h"

#include <algorithm>
#include <cstring>

namespace
{

constexpr uint8_t kClientRequestHeader = 0x1B; // LI 0, version 3, mode 3
constexpr size_t kOriginateOffset = 24;
constexpr size_t kReceiveOffset = 32;
constexpr size_t kTransmitOffset = 40;

} // namespace

void BuildSntpRequest(const CNtpTimestamp& transmit, uint8_t request[kSntpRequestSize])
{
    std::memset(request, 0, kSntpRequestSize);
    request[0] = kClientRequestHeader;
    transmit.ToNetwork(request + kTransmitOffset);
}

bool ParseSntpAnswer(const uint8_t* data, size_t length, const CNtpTimestamp& destination,
                     SntpReply& reply)
{
    uint8_t buffer[kSntpAnswerSize] = {};
    if (data)
        std::memcpy(buffer, data, std::min(length, kSntpAnswerSize));

    const CNtpTimestamp t3 = CNtpTimestamp::FromNetwork(buffer + kTransmitOffset);
    if (t3 == CNtpTimestamp())
        return false;
    const CNtpTimestamp t1 = CNtpTimestamp::FromNetwork(buffer + kOriginateOffset);
    const CNtpTimestamp t2 = CNtpTimestamp::FromNetwork(buffer + kReceiveOffset);
    const CNtpTimestamp& t4 = destination;

    reply.leapIndicator = buffer[0] >> 6;
    reply.stratum = buffer[1];
    reply.originate = t1;
    reply.receive = t2;
    reply.transmit = t3;
    reply.destination = t4;
    reply.roundTripDelay = t4.Difference(t1) - t3.Difference(t2);
    reply.clockOffset = (t2.Difference(t1) + t3.Difference(t4)) * 0.5;
    return true;
}
