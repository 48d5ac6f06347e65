#pragma once

#include "sntp/NtpTimestamp.h"

#include <cstdint>
#include <string>

// The result of one SNTP exchange. Written only by a successful exchange; a zero destination
// means that none has succeeded yet.
struct SntpReply {
    int32_t leapIndicator{};
    uint32_t stratum{};
    CNtpTimestamp originate;   // T1, the transmit time the request carried (and the answer echoed)
    CNtpTimestamp receive;     // T2
    CNtpTimestamp transmit;    // T3
    CNtpTimestamp destination; // T4, the local clock when the answer arrived
    double roundTripDelay = 0.0; // (T4 - T1) - (T3 - T2)
    // ((T2 - T1) + (T3 - T4)) / 2; positive when the local clock is behind
    double clockOffset = 0.0;

    int32_t version{};
    int32_t mode{};
    uint32_t referenceId{};      // as sent, first byte in the top bits
    double rootDelay = 0.0;      // seconds
    double rootDispersion = 0.0; // seconds
    double precision = 0.0;      // seconds: how finely the server reads its clock
    std::string address;         // numeric address that answered, without brackets
    unsigned port{};
    bool nts = false; // the exchange was authenticated with Network Time Security
};
