#pragma once

#include "platform/SystemTime.h"

#include <array>
#include <cstdint>

// An NTP time value: seconds since 1900-01-01 00:00:00 UTC in the high 32 bits, the fraction of a
// second in the low 32 bits. Zero means that no time is set.
class CNtpTimestamp
{
public:
    CNtpTimestamp() = default;
    explicit CNtpTimestamp(uint64_t value) : m_value(value) {}
    CNtpTimestamp(uint32_t seconds, uint32_t fraction)
        : m_value((static_cast<uint64_t>(seconds) << 32) | fraction)
    {
    }

    static CNtpTimestamp Now();
    static CNtpTimestamp FromSystemTime(const SYSTEMTIME& st);
    SYSTEMTIME ToSystemTime() const;

    // A POSIX time (seconds since 1970, nanoseconds) and back; the back way reads the seconds in
    // the era window of ToSystemTime (1968-01-20 to 2104-02-26). Nanoseconds survive the round
    // trip.
    static CNtpTimestamp FromUnixTime(int64_t seconds, uint32_t nanoseconds);
    int64_t UnixSeconds() const;
    uint32_t Nanoseconds() const;
    // The current time to the nanosecond (CLOCK_REALTIME).
    static CNtpTimestamp NowPrecise();

    // The 8 bytes at bytes, in network order.
    static CNtpTimestamp FromNetwork(const uint8_t* bytes);
    void ToNetwork(uint8_t* bytes) const;

    uint32_t Seconds() const { return static_cast<uint32_t>(m_value >> 32); }
    uint32_t Fraction() const { return static_cast<uint32_t>(m_value); }
    uint64_t Value() const { return m_value; }

    // This timestamp minus other, in seconds.
    double Difference(const CNtpTimestamp& other) const;
    // A new timestamp moved by the given (possibly negative) number of seconds.
    CNtpTimestamp AddSeconds(double seconds) const;

    bool operator==(const CNtpTimestamp&) const = default;

private:
    uint64_t m_value = 0;
};

// Seconds from 1900-01-01 to 1970-01-01.
constexpr int64_t kUnixToNtpSeconds = 2208988800;
// The last second that ToSystemTime reads in its era window: 2104-02-26 09:42:23 UTC.
constexpr int64_t kLastUnixSecondOfWindow = 0x7FFFFFFFLL + (1LL << 32) - kUnixToNtpSeconds;

// Julian Day Number of a Gregorian date, and its inverse.
int32_t DateToJulianDay(int32_t year, int32_t month, int32_t day);
void JulianDayToDate(int32_t julianDay, uint16_t& year, uint16_t& month, uint16_t& day);

// Milliseconds 0..999 to the fraction of the table, and a fraction to the nearest millisecond.
uint32_t MillisecondsToFraction(uint32_t milliseconds);
uint32_t FractionToMilliseconds(uint32_t fraction);

// Entry i is i * 2^32 / 1000, rounded to the nearest integer.
extern const std::array<uint32_t, 1000> g_millisecondFractions;
