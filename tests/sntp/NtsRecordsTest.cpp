#include "sntp/nts/NtsRecords.h"
#include "tests/sntp/NtsTestBytes.h"

#include <gtest/gtest.h>

constexpr uint16_t kAeadId = 15, kCritical = kNtsRecordCritical;
const NtsBytes kCookieBody(100, 0xC0);
const NtsBytes kProtocol = Record(kCritical | kNtsRecordNextProtocol, U16(kNtsProtocolNtpv4));
const NtsBytes kAead = Record(kNtsRecordAead, U16(kAeadId));
const NtsBytes kCookie = Record(kNtsRecordCookie, kCookieBody);
const NtsBytes kEnd = Record(kCritical | kNtsRecordEnd, {});

// The request, byte for byte as RFC 8915 lays it out: critical NTPv4 (0), critical AEAD, end.
// Answers as servers could send them. reason: a part of the refusal's text, empty for an answer
// that is taken.
TEST(NtsRecords, RequestAnswersAndAnswersInPieces)
{
    EXPECT_EQ(ToHex(BuildNtsKeRequest(kAeadId)), "80010002000080040002000f80000000");
    const NtsBytes many = Join({kCookie, kCookie, kCookie, kCookie, kCookie, kCookie, kCookie});
    struct Case {
        const char* name;
        NtsBytes data;
        const char* reason;
        std::string server = "";
        uint16_t port = kNtpPort;
        size_t cookies = 1;
        size_t cookieSize = kCookieBody.size();
    } const cases[] = {
        // clang-format off
        {"server, port, non-critical unknown record, bytes after the end",
         Join({kProtocol, kAead, Record(kNtsRecordServer, {'n', 't', 'p', '.', 't', 'e', 's', 't'}), Record(kNtsRecordPort, U16(1234)),
               Record(0x1234, {1, 2, 3}), kCookie, kEnd, Record(kNtsRecordError, U16(1))}), "", "ntp.test", 1234},
        {"order free, many cookies kept to eight", Join({many, kAead, kCookie, kCookie, kProtocol, kEnd}), "", "",
         kNtpPort, kNtsMaxCookies},
        // A request with a 1,024-byte cookie stays below the 1,280 bytes every IPv6 link carries.
        {"cookie of 1,024 bytes", Join({kProtocol, kAead, Record(kNtsRecordCookie, NtsBytes(1024, 1)), kEnd}), "", "", kNtpPort, 1, 1024},
        {"cookie of 1,025 bytes", Join({kProtocol, kAead, Record(kNtsRecordCookie, NtsBytes(1025, 1)), kEnd}), "cookie of 1025 bytes"},
        {"empty cookie", Join({kProtocol, kAead, Record(kNtsRecordCookie, {}), kEnd}), "empty cookie"},
        {"no cookie", Join({kProtocol, kAead, kEnd}), "gave no cookie"},
        {"unknown critical", Join({kProtocol, kAead, kCookie, Record(kCritical | 0x1234, {}), kEnd}), "unknown critical record 4660"},
        {"error record", Join({kProtocol, Record(kCritical | kNtsRecordError, U16(1)), kEnd}), "key exchange error 1 (bad request)"},
        {"warning record", Join({kProtocol, kAead, kCookie, Record(kNtsRecordWarning, U16(1)), kEnd}), "warning"},
        {"other AEAD", Join({kProtocol, Record(kNtsRecordAead, U16(kAeadId + 1)), kCookie, kEnd}), "no offered AEAD"},
        {"no AEAD", Join({kProtocol, kCookie, kEnd}), "no AEAD"},
        {"other protocol", Join({Record(kCritical | kNtsRecordNextProtocol, U16(1)), kAead, kCookie, kEnd}), "refused NTPv4"},
        {"no protocol", Join({kAead, kCookie, kEnd}), "no protocol"},
        {"port 0", Join({kProtocol, kAead, kCookie, Record(kNtsRecordPort, U16(0)), kEnd}), "malformed port"},
        {"unknown error code", Join({kProtocol, Record(kCritical | kNtsRecordError, U16(3)), kEnd}), "key exchange error 3"},
        {"server with a blank", Join({kProtocol, kAead, kCookie, Record(kNtsRecordServer, {'a', ' ', 'b'}), kEnd}), "malformed server"},
        {"server with a delete", Join({kProtocol, kAead, kCookie, Record(kNtsRecordServer, {'a', 0x7F}), kEnd}), "malformed server"},
        {"server of 255 bytes", Join({kProtocol, kAead, kCookie, Record(kNtsRecordServer, NtsBytes(255, 'a')), kEnd}), "", std::string(255, 'a')},
        {"server of 256 bytes", Join({kProtocol, kAead, kCookie, Record(kNtsRecordServer, NtsBytes(256, 'a')), kEnd}), "malformed server"},
        {"end with a body", Join({kProtocol, kAead, kCookie, Record(kNtsRecordEnd, {0})}), "malformed end record"},
        // clang-format on
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NtsKeResponse response;
        std::string reason;
        const NtsParseState state = ParseNtsKeResponse(c.data, kAeadId, response, reason);
        if (*c.reason != '\0') {
            EXPECT_EQ(state, NtsParseState::Failed);
            EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
            continue;
        }
        ASSERT_EQ(state, NtsParseState::Complete) << reason;
        EXPECT_EQ(std::tuple(response.aead, response.server, response.port, response.cookies.size(),
                             response.cookies.front().size()),
                  std::tuple(kAeadId, c.server, c.port, c.cookies, c.cookieSize));
    }
    // The answer arrives in pieces: every cut before the end record waits for more, and an answer
    // that never ends is refused once it grows past any real one.
    const NtsBytes data = Join({kProtocol, kAead, kCookie, kCookie, kEnd});
    // A record announced longer than any answer, cut at the longest answer taken.
    NtsBytes endless = Join({U16(kNtsRecordCookie), U16(0xFFFF)});
    endless.resize(kNtsMaxResponseSize, 1);
    NtsKeResponse response;
    std::string reason;
    for (size_t size = 0; size < data.size(); ++size) {
        EXPECT_EQ(ParseNtsKeResponse(NtsByteView(data).first(size), kAeadId, response, reason),
                  NtsParseState::Incomplete)
            << size;
    }
    EXPECT_EQ(ParseNtsKeResponse(endless, kAeadId, response, reason), NtsParseState::Incomplete);
    endless.push_back(1);
    EXPECT_EQ(ParseNtsKeResponse(endless, kAeadId, response, reason), NtsParseState::Failed);
}
