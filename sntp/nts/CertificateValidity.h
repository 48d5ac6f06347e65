#pragma once

#include <cstdint>
#include <optional>
#include <string>

// When a certificate chain may be used: the intersection of the validity periods of all its
// certificates, in seconds since 1970 (UTC), both ends included.
struct CertificateValidity {
    int64_t notBefore = INT64_MIN;
    int64_t notAfter = INT64_MAX;

    // Narrows the period to the part that also lies inside [from, to].
    void Intersect(int64_t from, int64_t to);
};

// A day as "2026-03-01" (UTC).
std::string CertificateDateText(int64_t seconds);

// What is wrong with the chain's dates at the given time, as one line naming whose date it is
// ("expired: valid from 2026-03-01 to 2027-03-01; this computer's date is 2028-01-01"); empty
// when the time lies inside the validity.
std::string CertificateDateProblem(const CertificateValidity& validity, int64_t now,
                                   const std::string& whoseDate);

// The rule for a clock that cannot be trusted: the time an authenticated answer gave is accepted
// only after the earliest trusted time (the build date) and inside the chain's validity. Empty
// when accepted, else the one-line reason.
std::string BootstrapTimeProblem(const CertificateValidity& validity, int64_t serverTime,
                                 int64_t earliest);
