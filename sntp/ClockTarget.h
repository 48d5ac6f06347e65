#pragma once

#include "sntp/NtpTimestamp.h"

#include <cstdint>
#include <ctime>
#include <optional>

// The time to set the clock to: now moved by a measured offset, computed in signed 64-bit
// seconds since 1970 (never through the wrapping 32-bit NTP seconds). Empty when the offset is
// not a number or the target lies before the build date or after the last second the clock
// setter's calendar conversion covers (2104-02-26 09:42:23 UTC).
std::optional<CNtpTimestamp> ClockTargetFromOffset(double offset);
// Why an offset without a target is not applied, whichever route would set the clock.
constexpr const char* kTargetOutOfRange = "target time out of range";
std::optional<CNtpTimestamp> ClockTargetFromOffset(double offset, const timespec& now);

// The earliest target accepted: the build date, in seconds since 1970.
int64_t EarliestClockTarget();
