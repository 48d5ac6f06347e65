#pragma once

#include "sntp/NtpTimestamp.h"
#include "sntp/SntpReply.h"

#include <cstddef>
#include <cstdint>
#include <string>

// The port time servers answer on, for plain and authenticated exchanges alike.
constexpr uint16_t kNtpPort = 123;

// The two SNTP datagrams of one exchange: the client's request and the server's answer.
constexpr size_t kSntpRequestSize = 48;
// The header plus the optional key identifier (4 bytes) and message digest (16 bytes).
constexpr size_t kSntpAnswerSize = 68;

// 48 bytes: leap indicator 0, version 3, mode 3 (client), everything zero but the transmit time.
void BuildSntpRequest(const CNtpTimestamp& transmit, uint8_t request[kSntpRequestSize]);

// What the checks of an answer found; only Accepted fills the reply.
enum class AnswerVerdict {
    Accepted,
    TooShort,          // less than the 48-byte header: its times would be cut
    OriginateMismatch, // not the answer to the request we sent
    NotServerMode,
    BadVersion,
    Unsynchronised, // leap indicator 3
    KissOfDeath,    // stratum 0: the server asks us to go away
    BadStratum,     // above 15
    ZeroReceive,
    ZeroTransmit,
    UnsoundTiming, // T3 before T2, or a round trip shorter than the clocks can tell from zero
};

// Checks an answer of any length against the transmit time the request carried (RFC 4330,
// section 5) and, when it passes, reads it into reply with destination as T4 and the delay and
// offset derived from the four times. Bytes past 68 are ignored. Anything but Accepted leaves
// reply untouched; a kiss-o'-death puts its four-letter code into kissCode. Times no real round
// trip gives are refused: T3 before T2, or a delay below minus the answer's precision and
// localResolution (seconds, how finely T1 and T4 were read).
AnswerVerdict ParseSntpAnswer(const uint8_t* data, size_t length, const CNtpTimestamp& sent,
                              const CNtpTimestamp& destination, SntpReply& reply,
                              std::string* kissCode = nullptr, double localResolution = 0.0);

// One short English line for a rejected answer ("answer rejected: originate mismatch").
std::string VerdictText(AnswerVerdict verdict, const std::string& kissCode);

// The server's transmit time of an answer of at least kSntpRequestSize bytes.
CNtpTimestamp AnswerTransmitTime(const uint8_t* data);

// The four times to delay and offset in 64-bit fixed point, so that no fraction bit is lost
// before the result.
void ComputeDelayAndOffset(SntpReply& reply);
