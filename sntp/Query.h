#pragma once

#include "sntp/SntpPacket.h"
#include "sntp/SntpReply.h"
#include "sntp/UdpSocket.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CAuthentication;
struct ServerName;
struct QueryOptions;

// Every wait of a query ends at one point of the steady clock.
using Deadline = std::chrono::steady_clock::time_point;

// How T1 and T4 are read: the window's whole milliseconds (Now), or the clock and the kernel's
// arrival time to the nanosecond (console and query tool).
enum class TimestampPrecision { Milliseconds, Nanoseconds };

// Makes the authentication of an nts:// server. The engine's own loads it from the NTS module,
// so that a program that never asks an NTS server never loads TLS; tests and tools that link
// the module's library give CNtsAuthentication::Create.
using NtsFactory = std::unique_ptr<CAuthentication> (*)(const ServerName& server,
                                                        const QueryOptions& options);

struct QueryOptions {
    TimestampPrecision precision = TimestampPrecision::Milliseconds;
    AddressFamily family = AddressFamily::Any;
    // The whole of one sample: name lookup, key exchange and the wait for a valid answer.
    uint32_t timeoutMs = 5000;
    std::string ntsCaFile{}; // one more trusted CA for nts:// servers
    // Certificate dates judged against the authenticated time rather than the local clock (also
    // chosen whenever the local clock lies before the build date).
    bool ntsBootstrap = false;
    uint16_t port = kNtpPort; // of a plain server
    int samples = 1;          // exchanges; the one with the lowest delay counts
    uint32_t sampleGapMs = 1000;
    NtsFactory nts = nullptr; // nullptr: the NTS module
};

// What went wrong, for a caller that decides by it; the reason says it to a person.
enum class FailureKind {
    None,
    BadServer,   // the server's name cannot be read
    Lookup,      // the name has no address, or the lookup failed or timed out
    KeyExchange, // the NTS key exchange failed or timed out
    Network,     // a socket call failed (refused, unreachable)
    NoAnswer,    // no valid answer before the deadline
    Rejected,    // answers came, but none passed the checks
    Kiss,        // the server sent a kiss-o'-death that counts
    Unavailable, // Network Time Security cannot be loaded
};

struct QueryFailure {
    FailureKind kind = FailureKind::None;
    uint32_t error = 0;     // an errno code
    std::string reason{};   // one short English line
    std::string kissCode{}; // the four letters of a kiss-o'-death that counted
};

struct QueryResult {
    std::optional<SntpReply> reply; // the sample with the lowest delay
    bool authenticated = false;     // the reply came with Network Time Security
    QueryFailure failure{};         // of the last sample that failed; kind None with a reply
    std::vector<SntpReply> samples; // every accepted answer, in order
};

// Asks server (a host name, an IPv4 or IPv6 address with or without brackets, or
// nts://HOST[:PORT]) options.samples times, options.sampleGapMs apart, each sample within
// options.timeoutMs from its start. Blocks the calling thread; shares nothing with other calls.
QueryResult Query(const std::string& server, const QueryOptions& options);
