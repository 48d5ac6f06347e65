#include "sntp/nts/NtsRecords.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

constexpr uint16_t kAead = 15;
constexpr uint16_t kCritical = kNtsRecordCritical;

struct Record {
    uint16_t type;
    NtsBytes body;
};

NtsBytes U16(uint16_t value)
{
    return {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
}

NtsBytes Text(const std::string& text)
{
    return {text.begin(), text.end()};
}

NtsBytes Encode(const std::vector<Record>& records)
{
    NtsBytes out;
    for (const Record& r : records) {
        AppendU16(out, r.type);
        AppendU16(out, static_cast<uint16_t>(r.body.size()));
        Append(out, r.body);
    }
    return out;
}

const Record kProtocol{kCritical | kNtsRecordNextProtocol, U16(kNtsProtocolNtpv4)};
const Record kAeadRecord{kNtsRecordAead, U16(kAead)};
const Record kCookie{kNtsRecordCookie, NtsBytes(100, 0xC0)};
const Record kEnd{kCritical | kNtsRecordEnd, {}};

} // namespace

TEST(NtsRecords, RequestOffersNtpv4AndTheAead)
{
    EXPECT_EQ(BuildNtsKeRequest(kAead),
              (NtsBytes{0x80, 1, 0, 2, 0, 0, 0x80, 4, 0, 2, 0, 15, 0x80, 0, 0, 0}));
}

// Answers as servers could send them. reason: a part of the refusal's text, empty for an
// answer that is taken.
TEST(NtsRecords, ParsesOrRefusesAnswers)
{
    struct Case {
        const char* name;
        std::vector<Record> records;
        const char* reason;
        std::string server = "";
        uint16_t port = kNtpPort;
        size_t cookies = 1;
    } const cases[] = {
        {"minimal", {kProtocol, kAeadRecord, kCookie, kEnd}, ""},
        {"server, port, non-critical unknown record, bytes after the end",
         {kProtocol,
          kAeadRecord,
          {kNtsRecordServer, Text("ntp.example")},
          {kNtsRecordPort, U16(1234)},
          {0x1234, {1, 2, 3}},
          kCookie,
          kEnd,
          {kNtsRecordError, U16(1)}},
         "",
         "ntp.example",
         1234},
        {"order free, many cookies kept to eight",
         {kCookie, kCookie, kCookie, kCookie, kCookie, kAeadRecord, kCookie, kCookie, kCookie,
          kCookie, kCookie, kProtocol, kEnd},
         "",
         "",
         kNtpPort,
         kNtsMaxCookies},
        {"error record", {kProtocol, {kCritical | kNtsRecordError, U16(1)}, kEnd}, "bad request"},
        {"warning record",
         {kProtocol, kAeadRecord, kCookie, {kNtsRecordWarning, U16(0)}, kEnd},
         "warning"},
        {"unknown critical",
         {kProtocol, kAeadRecord, kCookie, {kCritical | 0x1234, {}}, kEnd},
         "unknown critical record 4660"},
        {"no cookie", {kProtocol, kAeadRecord, kEnd}, "no cookie"},
        {"empty cookie", {kProtocol, kAeadRecord, {kNtsRecordCookie, {}}, kEnd}, "empty cookie"},
        {"other AEAD", {kProtocol, {kNtsRecordAead, U16(1)}, kCookie, kEnd}, "AEAD"},
        {"no AEAD", {kProtocol, kCookie, kEnd}, "AEAD"},
        {"two AEADs", {kProtocol, kAeadRecord, kAeadRecord, kCookie, kEnd}, "AEAD"},
        {"protocol refused",
         {{kCritical | kNtsRecordNextProtocol, {}}, kAeadRecord, kEnd},
         "NTPv4"},
        {"other protocol",
         {{kCritical | kNtsRecordNextProtocol, U16(1)}, kAeadRecord, kCookie, kEnd},
         "NTPv4"},
        {"no protocol", {kAeadRecord, kCookie, kEnd}, "no protocol"},
        {"odd port", {kProtocol, kAeadRecord, kCookie, {kNtsRecordPort, {0, 1, 2}}, kEnd}, "port"},
        {"port 0", {kProtocol, kAeadRecord, kCookie, {kNtsRecordPort, U16(0)}, kEnd}, "port"},
        {"server with a blank",
         {kProtocol, kAeadRecord, kCookie, {kNtsRecordServer, Text("a b")}, kEnd},
         "server"},
        {"end with a body", {kProtocol, kAeadRecord, kCookie, {kNtsRecordEnd, {0}}}, "end record"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const NtsBytes data = Encode(c.records);
        NtsKeResponse response;
        std::string reason;
        const NtsParseState state = ParseNtsKeResponse(data, kAead, response, reason);
        if (*c.reason != '\0') {
            EXPECT_EQ(state, NtsParseState::Failed);
            EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
            continue;
        }
        ASSERT_EQ(state, NtsParseState::Complete) << reason;
        EXPECT_EQ(response.aead, kAead);
        EXPECT_EQ(response.server, c.server);
        EXPECT_EQ(response.port, c.port);
        ASSERT_EQ(response.cookies.size(), c.cookies);
        EXPECT_EQ(response.cookies.front(), kCookie.body);
    }
}

// The answer arrives in pieces: every cut before the end record waits for more, and an
// answer that never ends is refused once it grows past any real one.
TEST(NtsRecords, WaitsForTheEndRecord)
{
    const NtsBytes data = Encode({kProtocol, kAeadRecord, kCookie, kCookie, kEnd});
    for (size_t size = 0; size < data.size(); ++size) {
        NtsKeResponse response;
        std::string reason;
        EXPECT_EQ(ParseNtsKeResponse(NtsByteView(data).first(size), kAead, response, reason),
                  NtsParseState::Incomplete)
            << size;
    }
    std::vector<Record> endless(kNtsMaxResponseSize / kCookie.body.size() + 1, kCookie);
    NtsKeResponse response;
    std::string reason;
    EXPECT_EQ(ParseNtsKeResponse(Encode(endless), kAead, response, reason), NtsParseState::Failed);
}
