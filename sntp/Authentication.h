#pragma once

#include "sntp/Query.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// How the exchange loop makes its requests and judges the answers: plain SNTP, or Network Time
// Security with its key exchange, extension fields and verification. One object serves all the
// samples of one query, on one thread.
class CAuthentication
{
public:
    enum class Verdict {
        Accepted,
        Dropped, // not ours, or not sound: the wait goes on
        Ends,    // the query ends with the failure given
    };

    // Where the time requests go.
    struct Target {
        std::string host;
        uint16_t port = 0;
    };

    virtual ~CAuthentication() = default;

    // Readies the next request before deadline (NTS: a key exchange when no cookie is left).
    virtual bool Prepare(Deadline deadline, Target& target, QueryFailure& failure) = 0;
    // The request datagram carrying transmit as its transmit time.
    virtual std::vector<uint8_t> Request(const CNtpTimestamp& transmit) = 0;
    // Judges an answer whose header checks gave header (and kissCode for a kiss-o'-death);
    // failure says why it was dropped or why the query ends.
    virtual Verdict Judge(const uint8_t* answer, size_t length, AnswerVerdict header,
                          const std::string& kissCode, QueryFailure& failure) = 0;
    virtual bool Authenticated() const = 0;
    // The longest answer worth reading; longer ones are cut.
    virtual size_t MaxAnswerSize() const = 0;
};
