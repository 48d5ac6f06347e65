#include "sntp/NtpTimestamp.h"

#include <endian.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>

namespace
{

constexpr int32_t kJulianDay1900 = 2415021;
constexpr uint64_t kSecondsPerDay = 86400;
// A fraction of 0xFFFFFFFF is one whole second.
constexpr double kFractionScale = 4294967295.0;
// From 1968-01-20 03:14:08 on, seconds with the top bit clear belong to the next era.
constexpr uint32_t kEraPivot = 0x80000000u;
constexpr uint64_t kEraSeconds = uint64_t{1} << 32;
constexpr uint64_t kNanosecondsPerSecond = 1000000000;

constexpr std::array<uint32_t, 1000> BuildMillisecondTable()
{
    std::array<uint32_t, 1000> table{};
    for (uint64_t i = 0; i < table.size(); ++i) {
        table[i] = static_cast<uint32_t>(((i << 32) + 500) / 1000);
    }
    return table;
}

// Magnitude in seconds of a 64-bit timestamp difference.
double ToSeconds(uint64_t difference)
{
    return static_cast<double>(difference >> 32) +
           static_cast<double>(static_cast<uint32_t>(difference)) * (1 / kFractionScale);
}

// A non-negative number of seconds as a 64-bit timestamp step, whole seconds modulo 2^32.
uint64_t ToDelta(double seconds)
{
    double whole = 0.0;
    const double part = std::modf(seconds, &whole);
    const auto wholeSeconds = static_cast<uint64_t>(std::fmod(whole, 4294967296.0));
    return (wholeSeconds << 32) + static_cast<uint64_t>(part * kFractionScale);
}

} // namespace

const std::array<uint32_t, 1000> g_millisecondFractions = BuildMillisecondTable();

int32_t DateToJulianDay(int32_t year, int32_t month, int32_t day)
{
    // The computational year starts in March, so that February's length comes last.
    const int64_t m = month > 2 ? month - 3 : month + 9;
    const int64_t y = month > 2 ? year : int64_t{year} - 1;
    const int64_t k = y / 100;
    const int64_t ya = y - 100 * k;
    return static_cast<int32_t>((146097 * k) / 4 + (1461 * ya) / 4 + (153 * m + 2) / 5 + day +
                                1721119);
}

void JulianDayToDate(int32_t julianDay, uint16_t& year, uint16_t& month, uint16_t& day)
{
    int64_t t = 4 * int64_t{julianDay} - 6884477;
    const int64_t k = t / 146097;
    int64_t d = (t - 146097 * k) / 4;
    t = 4 * d + 3;
    const int64_t ya = t / 1461;
    d = (t - 1461 * ya + 4) / 4;
    t = 5 * d - 3;
    const int64_t m = t / 153;
    day = static_cast<uint16_t>((t - 153 * m + 5) / 5);
    const int64_t y = 100 * k + ya;
    month = static_cast<uint16_t>(m < 10 ? m + 3 : m - 9);
    year = static_cast<uint16_t>(m < 10 ? y : y + 1);
}

uint32_t MillisecondsToFraction(uint32_t milliseconds)
{
    // The table ends at 999; the record's field never holds more, but stay inside it anyway.
    return g_millisecondFractions[std::min<uint32_t>(milliseconds, 999)];
}

uint32_t FractionToMilliseconds(uint32_t fraction)
{
    return static_cast<uint32_t>(fraction * (1000 / kFractionScale) + 0.5);
}

CNtpTimestamp CNtpTimestamp::Now()
{
    SYSTEMTIME st;
    GetSystemTime(&st);
    return FromSystemTime(st);
}

CNtpTimestamp CNtpTimestamp::FromSystemTime(const SYSTEMTIME& st)
{
    const int64_t days = DateToJulianDay(st.wYear, st.wMonth, st.wDay) - kJulianDay1900;
    const int64_t seconds = ((days * 24 + st.wHour) * 60 + st.wMinute) * 60 + st.wSecond;
    return CNtpTimestamp((static_cast<uint64_t>(seconds) << 32) +
                         MillisecondsToFraction(st.wMilliseconds));
}

SYSTEMTIME CNtpTimestamp::ToSystemTime() const
{
    // Seconds since 1900 with the era restored: the wire form keeps only their low 32 bits.
    uint64_t seconds = Seconds() < kEraPivot ? Seconds() + kEraSeconds : Seconds();
    uint32_t milliseconds = FractionToMilliseconds(Fraction());
    if (milliseconds == 1000) {
        // 999.5 ms and above round up into the next second.
        milliseconds = 0;
        ++seconds;
    }
    const auto julianDay = static_cast<int32_t>(seconds / kSecondsPerDay + kJulianDay1900);
    SYSTEMTIME st;
    st.wSecond = static_cast<uint16_t>(seconds % 60);
    st.wMinute = static_cast<uint16_t>(seconds / 60 % 60);
    st.wHour = static_cast<uint16_t>(seconds / 3600 % 24);
    st.wDayOfWeek = static_cast<uint16_t>((julianDay + 1) % 7);
    JulianDayToDate(julianDay, st.wYear, st.wMonth, st.wDay);
    st.wMilliseconds = static_cast<uint16_t>(milliseconds);
    return st;
}

// Era arithmetic lives here and in ToSystemTime: seconds with the top bit clear belong to the era
// that starts in 2036.
int64_t CNtpTimestamp::UnixSeconds() const
{
    const uint64_t seconds = Seconds() < kEraPivot ? Seconds() + kEraSeconds : Seconds();
    return static_cast<int64_t>(seconds) - kUnixToNtpSeconds;
}

uint32_t CNtpTimestamp::Nanoseconds() const
{
    return static_cast<uint32_t>((uint64_t{Fraction()} * kNanosecondsPerSecond) >> 32);
}

CNtpTimestamp CNtpTimestamp::FromUnixTime(int64_t seconds, uint32_t nanoseconds)
{
    // Rounded up, so that Nanoseconds (rounding down) gives the same count back.
    const uint64_t fraction =
        ((uint64_t{nanoseconds} << 32) + kNanosecondsPerSecond - 1) / kNanosecondsPerSecond;
    const auto ntpSeconds = static_cast<uint64_t>(seconds + kUnixToNtpSeconds);
    return CNtpTimestamp((ntpSeconds << 32) + fraction);
}

CNtpTimestamp CNtpTimestamp::NowPrecise()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return FromUnixTime(now.tv_sec, static_cast<uint32_t>(now.tv_nsec));
}

CNtpTimestamp CNtpTimestamp::FromNetwork(const uint8_t* bytes)
{
    uint64_t bigEndian;
    std::memcpy(&bigEndian, bytes, sizeof bigEndian);
    return CNtpTimestamp(be64toh(bigEndian));
}

void CNtpTimestamp::ToNetwork(uint8_t* bytes) const
{
    const uint64_t bigEndian = htobe64(m_value);
    std::memcpy(bytes, &bigEndian, sizeof bigEndian);
}

double CNtpTimestamp::Difference(const CNtpTimestamp& other) const
{
    // The difference modulo 2^64 read as signed: right for any two times less than 68 years
    // apart, across the end of an era too.
    const uint64_t difference = m_value - other.m_value;
    if (difference < (uint64_t{1} << 63)) {
        return ToSeconds(difference);
    }
    return -ToSeconds(other.m_value - m_value);
}

CNtpTimestamp CNtpTimestamp::AddSeconds(double seconds) const
{
    // Not a number or infinite: there is no sensible time to move to.
    if (!std::isfinite(seconds)) {
        return *this;
    }
    if (seconds >= 0) {
        return CNtpTimestamp(m_value + ToDelta(seconds));
    }
    return CNtpTimestamp(m_value - ToDelta(-seconds));
}
