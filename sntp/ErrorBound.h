#pragma once

#include "sntp/SntpReply.h"

// How far the true offset may lie from a reply's measured one: the root distance of RFC 5905
// (section 11.2 and appendix A.5.5.2) for a single sample taken at the moment of its answer,
//
//     max(kMinDispersion, root delay + delay) / 2 + root dispersion + dispersion
//     dispersion = 2^server precision + 2^local precision + kFrequencyTolerance * (T4 - T1)
//
// with the delay no shorter than the local clock's precision. Seconds.
double ErrorBound(const SntpReply& reply, int localPrecision);

// This machine's clock precision, log2 seconds: the shortest step seen between two readings of
// the clock, rounded up to a power of two. Measured once per process.
int LocalClockPrecision();

// The frequency tolerance PHI the dispersion grows with: 15 ppm (seconds per second).
constexpr double kFrequencyTolerance = 15e-6;
// The smallest distance counted for the delays, seconds (RFC 5905's MINDISP).
constexpr double kMinDispersion = 0.005;
