#pragma once

#include "sntp/NtpTimestamp.h"

#include <cstdint>
#include <string>

// RFC 3339 in UTC with nanoseconds, read in the era window 1968-2104:
// "2026-12-07T00:26:48.123456789Z".
std::string Rfc3339(const CNtpTimestamp& t);

// A reference identifier as people read it: the four ASCII letters of a kiss code or a stratum 1
// source ("GPS", "RATE"), a dotted IPv4 address above stratum 1, hex ("0x0A0B0C0D") when
// letters were expected but are not printable.
std::string ReferenceIdText(uint32_t stratum, uint32_t referenceId);
