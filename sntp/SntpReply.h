#pragma once

#include "sntp/NtpTimestamp.h"

#include <cstdint>

// The result of one SNTP exchange. Written only by a successful exchange; a zero destination
// means that none has succeeded yet.
struct SntpReply {
    int32_t leapIndicator = 0;
    uint32_t stratum = 0;
    CNtpTimestamp originate;     // T1, as the server echoes it
    CNtpTimestamp receive;       // T2
    CNtpTimestamp transmit;      // T3
    CNtpTimestamp destination;   // T4, the local clock when the answer became readable
    double roundTripDelay = 0.0; // (T4 - T1) - (T3 - T2)
    // ((T2 - T1) + (T3 - T4)) / 2; positive when the local clock is behind
    double clockOffset = 0.0;
};
