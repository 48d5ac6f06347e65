#pragma once

#include "sntp/NtpTimestamp.h"
#include "sntp/SntpReply.h"

#include <cstddef>
#include <cstdint>

// The two SNTP datagrams of one exchange: the client's request and the server's answer.
constexpr size_t kSntpRequestSize = 48;
// The header plus the optional key identifier (4 bytes) and message digest (16 bytes).
constexpr size_t kSntpAnswerSize = 68;

// 48 bytes: leap indicator 0, version 3, mode 3 (client), everything zero but the transmit time.
void BuildSntpRequest(const CNtpTimestamp& transmit, uint8_t request[kSntpRequestSize]);

// Reads an answer of any length (missing bytes count as zero, bytes past 68 are ignored) into
// reply, with destination as T4 and the delay and offset derived from the four times. The
// version, mode, stratum and leap indicator are taken as they come. False, with reply untouched,
// when the answer carries no transmit time: a zero T3 would move the clock back to 1900.
bool ParseSntpAnswer(const uint8_t* data, size_t length, const CNtpTimestamp& destination,
                     SntpReply& reply);
