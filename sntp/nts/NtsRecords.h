#pragma once

#include "sntp/SntpPacket.h"
#include "sntp/nts/NtsBytes.h"

#include <string>

// The records of the NTS key exchange (RFC 8915): two bytes of type (the top bit marks a
// critical record), two of body length, the body.
constexpr uint16_t kNtsRecordCritical = 0x8000;
constexpr uint16_t kNtsRecordEnd = 0;
constexpr uint16_t kNtsRecordNextProtocol = 1;
constexpr uint16_t kNtsRecordError = 2;
constexpr uint16_t kNtsRecordWarning = 3;
constexpr uint16_t kNtsRecordAead = 4;
constexpr uint16_t kNtsRecordCookie = 5;
constexpr uint16_t kNtsRecordServer = 6;
constexpr uint16_t kNtsRecordPort = 7;

constexpr uint16_t kNtsProtocolNtpv4 = 0;

// A server's answer larger than this is refused: a real one holds eight cookies of a few
// hundred bytes.
constexpr size_t kNtsMaxResponseSize = 16384;
// Cookies kept at a time; each request uses one.
constexpr size_t kNtsMaxCookies = 8;
// Cookies longer than this are refused, so that a request never needs IP fragments (bytes).
constexpr size_t kNtsMaxCookieSize = 1024;

// What a complete key-exchange answer agreed on.
struct NtsKeResponse {
    uint16_t aead = 0;
    std::vector<NtsBytes> cookies;
    std::string server; // empty: the key-exchange server's own address
    uint16_t port = kNtpPort;
};

enum class NtsParseState { Incomplete, Complete, Failed };

// The request: NTPv4 as the next protocol, the given AEAD algorithm, end of message.
NtsBytes BuildNtsKeRequest(uint16_t aead);

// Reads the records received so far. Incomplete while the End of Message record has not
// arrived; Failed, with a short reason, for an answer that cannot be used: an error or warning
// record, an unknown critical record, a malformed body, a protocol or algorithm that was not
// offered, or no cookie. Bytes after End of Message are ignored.
NtsParseState ParseNtsKeResponse(NtsByteView data, uint16_t aead, NtsKeResponse& response,
                                 std::string& reason);
