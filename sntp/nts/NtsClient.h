#pragma once

#include "sntp/NtsQuery.h"
#include "sntp/SntpClient.h"
#include "sntp/SntpReply.h"
#include "sntp/nts/AesSivCmac256.h"
#include "sntp/nts/NtsKeyExchange.h"

#include <string>

// The key-exchange host (brackets of an IPv6 address removed) and port (4460 when none is given).
bool ParseNtsServer(const std::string& server, std::string& host, uint16_t& port);

// One time query authenticated with Network Time Security (RFC 8915): a key exchange over TLS,
// then one NTPv4 exchange carrying a cookie, checked with the keys the exchange gave. Each of
// the two has its own limit of options.timeoutMs. Nothing but an authentic answer that passes
// the checks of a plain answer fills the reply.
class CNtsClient
{
public:
    explicit CNtsClient(QueryOptions options) : m_options(std::move(options)) {}

    // One query in this process: an NtsQuery.
    static NtsOutcome Run(const QueryOptions& options, const std::string& server, SntpReply& reply);

    bool Query(const std::string& server, SntpReply& reply);
    // The time exchange alone, with the keys and cookie of a finished key exchange.
    bool Exchange(const NtsSession& session, SntpReply& reply);

    // One short English line for the last failure; the kiss-o'-death code when one ended it.
    const std::string& FailureReason() const { return m_failureReason; }
    const std::string& KissCode() const { return m_kissCode; }

private:
    enum class Verdict { Accepted, Dropped, Refused };
    struct Request;
    Verdict Judge(const Request& request, NtsByteView answer, const CNtpTimestamp& destination,
                  SntpReply& reply);
    CNtpTimestamp TransmitTime() const;
    bool Fail(uint32_t error, std::string reason);

    QueryOptions m_options;
    CAesSivCmac256 m_aead;
    std::string m_failureReason;
    std::string m_kissCode;
    std::string m_rejection; // why the last answer was dropped, while the wait goes on
};
