#include "sntp/SntpPacket.h"

#include "sntp/TimestampText.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace
{

constexpr uint8_t kClientRequestHeader = 0x1B; // LI 0, version 3, mode 3
constexpr size_t kPrecisionOffset = 3;
constexpr size_t kRootDelayOffset = 4;
constexpr size_t kRootDispersionOffset = 8;
constexpr size_t kReferenceIdOffset = 12;
constexpr size_t kOriginateOffset = 24;
constexpr size_t kReceiveOffset = 32;
constexpr size_t kTransmitOffset = 40;
constexpr int kServerMode = 4;
constexpr int kLatestVersion = 4;
constexpr int kUnsynchronised = 3;
constexpr uint32_t kKissStratum = 0;
constexpr uint32_t kLowestStratum = 15;
// Root delay and dispersion are 16.16 fixed point seconds.
constexpr double kShortScale = 65536.0;
constexpr double kFixedScale = 4294967296.0;

uint32_t Read32(const uint8_t* bytes)
{
    return uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 | bytes[3];
}

// Wide enough for the sum of two differences of 64-bit fixed-point times.
__extension__ using Fixed128 = __int128;

// a - b of two NTP times in 32.32 fixed point, read as signed: right across an era's end.
Fixed128 FixedDifference(const CNtpTimestamp& a, const CNtpTimestamp& b)
{
    return static_cast<int64_t>(a.Value() - b.Value());
}

double FixedToSeconds(Fixed128 value)
{
    return static_cast<double>(value) / kFixedScale;
}

// The header checks, in the order that lets only our own server's answer speak: a datagram that
// does not echo our transmit time may not even ask us to go away.
AnswerVerdict Check(const uint8_t* buffer, size_t length, const CNtpTimestamp& sent)
{
    if (length < kSntpRequestSize) {
        return AnswerVerdict::TooShort;
    }
    if (CNtpTimestamp::FromNetwork(buffer + kOriginateOffset) != sent) {
        return AnswerVerdict::OriginateMismatch;
    }
    if ((buffer[0] & 7) != kServerMode) {
        return AnswerVerdict::NotServerMode;
    }
    const int version = buffer[0] >> 3 & 7;
    if (version < 1 || version > kLatestVersion) {
        return AnswerVerdict::BadVersion;
    }
    if (buffer[1] == kKissStratum) {
        return AnswerVerdict::KissOfDeath;
    }
    if ((buffer[0] >> 6) == kUnsynchronised) {
        return AnswerVerdict::Unsynchronised;
    }
    if (buffer[1] > kLowestStratum) {
        return AnswerVerdict::BadStratum;
    }
    if (CNtpTimestamp::FromNetwork(buffer + kReceiveOffset) == CNtpTimestamp()) {
        return AnswerVerdict::ZeroReceive;
    }
    if (CNtpTimestamp::FromNetwork(buffer + kTransmitOffset) == CNtpTimestamp()) {
        return AnswerVerdict::ZeroTransmit;
    }
    return AnswerVerdict::Accepted;
}

} // namespace

void BuildSntpRequest(const CNtpTimestamp& transmit, uint8_t request[kSntpRequestSize])
{
    std::memset(request, 0, kSntpRequestSize);
    request[0] = kClientRequestHeader;
    transmit.ToNetwork(request + kTransmitOffset);
}

AnswerVerdict ParseSntpAnswer(const uint8_t* data, size_t length, const CNtpTimestamp& sent,
                              const CNtpTimestamp& destination, SntpReply& reply,
                              std::string* kissCode, double localResolution)
{
    uint8_t buffer[kSntpAnswerSize] = {};
    if (data) {
        std::memcpy(buffer, data, std::min(length, kSntpAnswerSize));
    }
    const AnswerVerdict verdict = Check(buffer, data ? length : 0, sent);
    if (verdict == AnswerVerdict::KissOfDeath && kissCode) {
        *kissCode = ReferenceIdText(kKissStratum, Read32(buffer + kReferenceIdOffset));
    }
    if (verdict != AnswerVerdict::Accepted) {
        return verdict;
    }

    SntpReply parsed = reply;
    parsed.leapIndicator = buffer[0] >> 6;
    parsed.version = buffer[0] >> 3 & 7;
    parsed.mode = buffer[0] & 7;
    parsed.stratum = buffer[1];
    parsed.precision = std::ldexp(1.0, static_cast<int8_t>(buffer[kPrecisionOffset]));
    parsed.rootDelay = static_cast<int32_t>(Read32(buffer + kRootDelayOffset)) / kShortScale;
    parsed.rootDispersion = Read32(buffer + kRootDispersionOffset) / kShortScale;
    parsed.referenceId = Read32(buffer + kReferenceIdOffset);
    parsed.originate = sent;
    parsed.receive = CNtpTimestamp::FromNetwork(buffer + kReceiveOffset);
    parsed.transmit = CNtpTimestamp::FromNetwork(buffer + kTransmitOffset);
    parsed.destination = destination;
    ComputeDelayAndOffset(parsed);
    if (FixedDifference(parsed.transmit, parsed.receive) < 0 ||
        parsed.roundTripDelay < -(parsed.precision + localResolution)) {
        return AnswerVerdict::UnsoundTiming;
    }
    reply = std::move(parsed);
    return AnswerVerdict::Accepted;
}

void ComputeDelayAndOffset(SntpReply& reply)
{
    //   T1 originate   client sends          T2 receive    server receives
    //   T4 destination client receives       T3 transmit   server sends
    //   delay  = (T4 - T1) - (T3 - T2)        offset = ((T2 - T1) + (T3 - T4)) / 2
    const Fixed128 t21 = FixedDifference(reply.receive, reply.originate);
    const Fixed128 t34 = FixedDifference(reply.transmit, reply.destination);
    const Fixed128 t41 = FixedDifference(reply.destination, reply.originate);
    const Fixed128 t32 = FixedDifference(reply.transmit, reply.receive);
    reply.roundTripDelay = FixedToSeconds(t41 - t32);
    reply.clockOffset = FixedToSeconds(t21 + t34) / 2;
}

CNtpTimestamp AnswerTransmitTime(const uint8_t* data)
{
    return CNtpTimestamp::FromNetwork(data + kTransmitOffset);
}

std::string VerdictText(AnswerVerdict verdict, const std::string& kissCode)
{
    switch (verdict) {
    case AnswerVerdict::Accepted:
        return "";
    case AnswerVerdict::TooShort:
        return "answer rejected: shorter than 48 bytes";
    case AnswerVerdict::OriginateMismatch:
        return "answer rejected: originate mismatch";
    case AnswerVerdict::NotServerMode:
        return "answer rejected: not in server mode";
    case AnswerVerdict::BadVersion:
        return "answer rejected: unknown version";
    case AnswerVerdict::Unsynchronised:
        return "not synchronised (leap indicator 3)";
    case AnswerVerdict::KissOfDeath:
        return "kiss-o'-death " + kissCode;
    case AnswerVerdict::BadStratum:
        return "answer rejected: stratum above 15";
    case AnswerVerdict::ZeroReceive:
        return "answer rejected: no receive time";
    case AnswerVerdict::ZeroTransmit:
        return "answer rejected: no transmit time";
    case AnswerVerdict::UnsoundTiming:
        return "answer rejected: impossible round trip";
    }
    return "answer rejected";
}
