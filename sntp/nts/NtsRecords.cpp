#include "sntp/nts/NtsRecords.h"

#include <algorithm>

namespace
{

constexpr size_t kRecordHeaderSize = 4;
// Longest name or address a server record may carry (a DNS name's limit).
constexpr size_t kMaxServerNameSize = 255;

void AppendRecord(NtsBytes& out, uint16_t type, NtsByteView body)
{
    AppendU16(out, type);
    AppendU16(out, static_cast<uint16_t>(body.size()));
    Append(out, body);
}

std::string ErrorText(NtsByteView body)
{
    if (body.size() != 2) {
        return "key exchange error record";
    }
    static const char* const kNames[] = {"unrecognized critical record", "bad request",
                                         "internal server error"};
    const uint16_t code = ReadU16(body, 0);
    return "key exchange error " + std::to_string(code) +
           (code < std::size(kNames) ? std::string(" (") + kNames[code] + ")" : "");
}

// A body that is exactly one 16-bit value.
bool SingleU16(NtsByteView body, uint16_t expected)
{
    return body.size() == 2 && ReadU16(body, 0) == expected;
}

bool IsPrintableAscii(NtsByteView body)
{
    return std::all_of(body.begin(), body.end(), [](uint8_t c) { return c > 0x20 && c < 0x7F; });
}

// The state carried from record to record.
struct Parse {
    NtsKeResponse result;
    bool protocolSeen = false, aeadSeen = false, serverSeen = false, portSeen = false;
    std::string reason;

    bool Fail(std::string text)
    {
        reason = std::move(text);
        return false;
    }
    bool Record(uint16_t type, bool critical, NtsByteView body, uint16_t aead);
    bool Finish();
};

bool Parse::Record(uint16_t type, bool critical, NtsByteView body, uint16_t aead)
{
    switch (type) {
    case kNtsRecordNextProtocol:
        // The server names the one protocol it takes from those offered; an empty list is
        // its refusal.
        if (protocolSeen || !SingleU16(body, kNtsProtocolNtpv4)) {
            return Fail("key exchange refused NTPv4");
        }
        protocolSeen = true;
        return true;
    case kNtsRecordError:
        return Fail(ErrorText(body));
    case kNtsRecordWarning:
        return Fail("key exchange warning record");
    case kNtsRecordAead:
        if (aeadSeen || !SingleU16(body, aead)) {
            return Fail("key exchange chose no offered AEAD algorithm");
        }
        aeadSeen = true;
        result.aead = aead;
        return true;
    case kNtsRecordCookie:
        if (body.empty()) {
            return Fail("key exchange sent an empty cookie");
        }
        if (body.size() > kNtsMaxCookieSize) {
            return Fail("key exchange sent a cookie of " + std::to_string(body.size()) +
                        " bytes (at most " + std::to_string(kNtsMaxCookieSize) + ")");
        }
        if (result.cookies.size() < kNtsMaxCookies) {
            result.cookies.emplace_back(body.begin(), body.end());
        }
        return true;
    case kNtsRecordServer:
        if (serverSeen || body.empty() || body.size() > kMaxServerNameSize ||
            !IsPrintableAscii(body)) {
            return Fail("key exchange named a malformed server");
        }
        serverSeen = true;
        result.server.assign(body.begin(), body.end());
        return true;
    case kNtsRecordPort:
        if (portSeen || body.size() != 2 || ReadU16(body, 0) == 0) {
            return Fail("key exchange named a malformed port");
        }
        portSeen = true;
        result.port = ReadU16(body, 0);
        return true;
    default:
        if (critical) {
            return Fail("key exchange sent an unknown critical record " + std::to_string(type));
        }
        return true;
    }
}

bool Parse::Finish()
{
    if (!protocolSeen) {
        return Fail("key exchange named no protocol");
    }
    if (!aeadSeen) {
        return Fail("key exchange named no AEAD algorithm");
    }
    if (result.cookies.empty()) {
        return Fail("key exchange gave no cookie");
    }
    return true;
}

} // namespace

NtsBytes BuildNtsKeRequest(uint16_t aead)
{
    NtsBytes body;
    NtsBytes out;
    AppendU16(body, kNtsProtocolNtpv4);
    AppendRecord(out, kNtsRecordCritical | kNtsRecordNextProtocol, body);
    body.clear();
    AppendU16(body, aead);
    AppendRecord(out, kNtsRecordCritical | kNtsRecordAead, body);
    AppendRecord(out, kNtsRecordCritical | kNtsRecordEnd, {});
    return out;
}

NtsParseState ParseNtsKeResponse(NtsByteView data, uint16_t aead, NtsKeResponse& response,
                                 std::string& reason)
{
    Parse parse;
    for (size_t at = 0; data.size() - at >= kRecordHeaderSize;) {
        const uint16_t typeField = ReadU16(data, at);
        const size_t length = ReadU16(data, at + 2);
        if (data.size() - at - kRecordHeaderSize < length) {
            break;
        }
        const NtsByteView body = data.subspan(at + kRecordHeaderSize, length);
        at += kRecordHeaderSize + length;
        const uint16_t type = typeField & ~kNtsRecordCritical;
        if (type == kNtsRecordEnd) {
            if (!body.empty() || !parse.Finish()) {
                reason = body.empty() ? parse.reason : "key exchange sent a malformed end record";
                return NtsParseState::Failed;
            }
            response = std::move(parse.result);
            return NtsParseState::Complete;
        }
        if (!parse.Record(type, (typeField & kNtsRecordCritical) != 0, body, aead)) {
            reason = parse.reason;
            return NtsParseState::Failed;
        }
    }
    if (data.size() > kNtsMaxResponseSize) {
        reason = "key exchange answer too long";
        return NtsParseState::Failed;
    }
    return NtsParseState::Incomplete;
}
