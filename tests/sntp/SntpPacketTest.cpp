#include "sntp/SntpPacket.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace
{

std::vector<uint8_t> Answer(uint8_t header, uint8_t stratum, CNtpTimestamp t1, CNtpTimestamp t2,
                            CNtpTimestamp t3, size_t length = 48)
{
    std::vector<uint8_t> bytes(std::max<size_t>(length, 48), 0xEE);
    std::memset(bytes.data(), 0, 48);
    bytes[0] = header;
    bytes[1] = stratum;
    t1.ToNetwork(&bytes[24]);
    t2.ToNetwork(&bytes[32]);
    t3.ToNetwork(&bytes[40]);
    bytes.resize(length);
    return bytes;
}

const CNtpTimestamp kBase(3900000000u, 0);

} // namespace

TEST(SntpPacket, RequestIsAVersion3ClientHeaderWithTheTransmitTime)
{
    uint8_t request[kSntpRequestSize];
    std::memset(request, 0xAA, sizeof request);
    BuildSntpRequest(CNtpTimestamp(0x01020304u, 0x05060708u), request);
    uint8_t expected[kSntpRequestSize] = {0x1B};
    const uint8_t transmit[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    std::memcpy(expected + 40, transmit, 8);
    EXPECT_EQ(0, std::memcmp(request, expected, sizeof expected));
}

TEST(SntpPacket, OffsetAndDelayFromTheFourTimes)
{
    const CNtpTimestamp t1(100, 0);
    const auto bytes = Answer(0x24, 2, t1, t1.AddSeconds(0.6), t1.AddSeconds(0.7));
    SntpReply reply;
    ASSERT_TRUE(ParseSntpAnswer(bytes.data(), bytes.size(), t1.AddSeconds(0.3), reply));
    EXPECT_NEAR(reply.clockOffset, 0.5, 1e-9);
    EXPECT_NEAR(reply.roundTripDelay, 0.2, 1e-9);
    EXPECT_EQ(reply.originate, t1);
    EXPECT_EQ(reply.destination, t1.AddSeconds(0.3));
}

// Whatever the header says is reported, never judged; only the length and T3 matter.
TEST(SntpPacket, AcceptsAnyHeaderAndAnyLengthThatHoldsATransmitTime)
{
    const CNtpTimestamp t1 = kBase, t2 = kBase.AddSeconds(0.25), t3 = kBase.AddSeconds(0.5);
    struct Case {
        uint8_t header;
        uint8_t stratum;
        size_t length;
        int32_t leapIndicator;
        CNtpTimestamp transmit;
    } const cases[] = {
        {0x1C, 1, 48, 0, t3},                               // version 3, server
        {0x1C, 1, 68, 0, t3},                               // with key id and digest
        {0x1C, 1, 200, 0, t3},                              // bytes past 68 ignored
        {0x24, 2, 48, 0, t3},                               // version 4
        {0x1D, 3, 48, 0, t3},                               // mode 5
        {0xDC, 0, 48, 3, t3},                               // LI 3, stratum 0
        {0x1C, 255, 44, 0, CNtpTimestamp(t3.Seconds(), 0)}, // short: fraction reads as zero
    };
    for (const Case& c : cases) {
        const auto bytes = Answer(c.header, c.stratum, t1, t2, t3, c.length);
        SntpReply reply;
        ASSERT_TRUE(ParseSntpAnswer(bytes.data(), bytes.size(), kBase.AddSeconds(1), reply));
        EXPECT_EQ(reply.leapIndicator, c.leapIndicator);
        EXPECT_EQ(reply.stratum, c.stratum);
        EXPECT_EQ(reply.receive, t2);
        EXPECT_EQ(reply.transmit, c.transmit);
    }
}

TEST(SntpPacket, NoTransmitTimeIsNoAnswerAndLeavesTheReplyAlone)
{
    SntpReply reply;
    reply.stratum = 9;
    reply.destination = kBase;
    const std::vector<std::vector<uint8_t>> answers = {
        Answer(0x1C, 1, kBase, kBase, CNtpTimestamp()),
        Answer(0x1C, 1, kBase, kBase, kBase, 40),
        {},
    };
    for (const auto& bytes : answers) {
        EXPECT_FALSE(ParseSntpAnswer(bytes.data(), bytes.size(), kBase, reply));
        EXPECT_EQ(reply.stratum, 9u);
        EXPECT_EQ(reply.destination, kBase);
    }
}
