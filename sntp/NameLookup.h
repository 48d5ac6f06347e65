#pragma once

#include "sntp/Query.h"
#include "sntp/UdpSocket.h"

#include <string>
#include <vector>

// The reason left when the deadline passes during the lookup.
constexpr const char* kLookupTimedOut = "name lookup timed out";

// Every address of host (a name, an IPv4 address, an IPv6 address without brackets) on port,
// in the resolver's order, restricted to family (AF_INET, AF_INET6 or AF_UNSPEC), found before
// deadline. The lookup is c-ares's (the hosts file, then DNS as resolv.conf says), run on the
// calling thread and left at the deadline; getaddrinfo cannot be left, and getaddrinfo_a
// answers on a thread that glibc starts behind the thread sanitizer's back. False with failure
// set: "unknown host" (ENXIO), "name lookup timed out" (ETIMEDOUT), or the resolver's error.
bool LookUpAddresses(const std::string& host, uint16_t port, int family, Deadline deadline,
                     std::vector<SocketAddress>& addresses, QueryFailure& failure);

// One short English line for an errno code ("connection refused", "unknown host").
std::string ErrorText(uint32_t error);
