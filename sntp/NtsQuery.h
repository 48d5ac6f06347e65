#pragma once

#include "sntp/SntpReply.h"

#include <cstdint>
#include <string>
#include <string_view>

struct QueryOptions;

// The scheme that names a Network Time Security server: nts://HOST[:PORT].
constexpr std::string_view kNtsScheme = "nts://";

// Whether server is written with kNtsScheme (in any case).
bool IsNtsServer(const std::string& server);

// What one Network Time Security query left behind besides the reply.
struct NtsOutcome {
    bool answered = false;
    uint32_t error = 0;          // the last error of a failure
    std::string failureReason{}; // one short English line; empty after a success
    std::string kissCode{};      // the kiss-o'-death code that ended it, if one did
};

// One query of an nts://HOST[:PORT] server. The engine runs it through the module that carries
// TLS (NtsModule), so that a program that never asks an NTS server never loads it; tests and
// tools that link it give the in-process one (CNtsClient::Run).
using NtsQuery = NtsOutcome (*)(const QueryOptions& options, const std::string& server,
                                SntpReply& reply);
