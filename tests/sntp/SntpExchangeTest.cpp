#include "platform/LastError.h"
#include "sntp/SntpClient.h"
#include "tests/common/ChronyServer.h"
#include "tests/common/UdpResponder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

namespace
{

using Answer = UdpResponder::NtpAnswer;
using Clock = std::chrono::steady_clock;

// Generous for a busy machine; bench/accuracy measures the real figures.
constexpr double kOffsetTolerance = 0.01;
constexpr double kDelayTolerance = 0.02;

const uint64_t kT2 = uint64_t{3900000000u} << 32;
const uint64_t kT3 = kT2 + (uint64_t{1} << 31);

bool SameReply(const SntpReply& a, const SntpReply& b)
{
    return a.leapIndicator == b.leapIndicator && a.stratum == b.stratum &&
           a.originate == b.originate && a.receive == b.receive && a.transmit == b.transmit &&
           a.destination == b.destination && a.roundTripDelay == b.roundTripDelay &&
           a.clockOffset == b.clockOffset;
}

double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

} // namespace

TEST(SntpExchange, SendsOneClientRequestStampedWithTheLocalTime)
{
    UdpResponder server(UdpResponder::NtpServer({}));
    CSntpClient client;
    SntpReply reply;
    const uint64_t before = UdpResponder::NtpNow();
    ASSERT_TRUE(client.QueryServer("127.0.0.1", reply, server.Port())) << GetLastError();

    const auto received = server.Received();
    ASSERT_EQ(received.size(), 1u);
    const UdpResponder::Bytes& request = received[0];
    ASSERT_EQ(request.size(), 48u);
    EXPECT_EQ(request[0], 0x1B);
    EXPECT_TRUE(
        std::all_of(request.begin() + 1, request.begin() + 40, [](uint8_t b) { return !b; }));
    const CNtpTimestamp t1(UdpResponder::ReadTimestamp(request, 40));
    EXPECT_NEAR(t1.Difference(CNtpTimestamp(before)), 0.0, 0.1);
    EXPECT_EQ(reply.originate, t1);
    // Same clock on both sides: only the engine's whole milliseconds and scheduling remain.
    EXPECT_NEAR(reply.clockOffset, 0.0, kOffsetTolerance);
    EXPECT_NEAR(reply.roundTripDelay, 0.0, kDelayTolerance);
}

// The answer is taken as it comes: version, mode, stratum and leap indicator are reported, the
// echoed originate is used even when it is not the one sent, and only the first 68 bytes count.
TEST(SntpExchange, AcceptsWhatTheServerSays)
{
    const uint64_t foreignT1 = kT2 - (uint64_t{3} << 32);
    struct Case {
        const char* name;
        Answer answer;
    } const cases[] = {
        {"48 bytes", {.stratum = 2, .receive = kT2, .transmit = kT3}},
        {"68 bytes", {.stratum = 2, .receive = kT2, .transmit = kT3, .length = 68}},
        {"300 bytes", {.stratum = 2, .receive = kT2, .transmit = kT3, .length = 300}},
        {"version 4", {.version = 4, .stratum = 2, .receive = kT2, .transmit = kT3}},
        {"mode 1", {.mode = 1, .stratum = 2, .receive = kT2, .transmit = kT3}},
        {"LI 3 stratum 0", {.leapIndicator = 3, .stratum = 0, .receive = kT2, .transmit = kT3}},
        {"short", {.stratum = 2, .receive = kT2, .transmit = kT3, .length = 44}},
        {"foreign T1", {.stratum = 2, .originate = foreignT1, .receive = kT2, .transmit = kT3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UdpResponder server(UdpResponder::NtpServer(c.answer));
        CSntpClient client;
        SntpReply reply;
        ASSERT_TRUE(client.QueryServer("127.0.0.1", reply, server.Port())) << GetLastError();
        EXPECT_EQ(reply.leapIndicator, c.answer.leapIndicator);
        EXPECT_EQ(reply.stratum, c.answer.stratum);
        EXPECT_EQ(reply.receive.Value(), kT2);
        // A 44-byte answer lacks the transmit fraction, which reads as zero.
        EXPECT_EQ(reply.transmit.Value(), c.answer.length == 44 ? kT3 >> 32 << 32 : kT3);
        EXPECT_EQ(reply.originate.Value(), c.answer.originate.value_or(reply.originate.Value()));
        EXPECT_DOUBLE_EQ(reply.roundTripDelay, reply.destination.Difference(reply.originate) -
                                                   reply.transmit.Difference(reply.receive));
    }
}

TEST(SntpExchange, DottedAddressesAndNamesReachTheServer)
{
    UdpResponder server(UdpResponder::NtpServer({}));
    for (const char* host : {"127.0.0.1", "127.1", "localhost"}) {
        CSntpClient client;
        SntpReply reply;
        EXPECT_TRUE(client.QueryServer(host, reply, server.Port()))
            << host << ": " << GetLastError();
    }
    EXPECT_EQ(server.ReceivedCount(), 3u);
}

// Each failure returns false with a reason, and leaves an earlier successful reply as it was.
TEST(SntpExchange, FailuresLeaveTheEarlierReplyUntouched)
{
    UdpResponder server(UdpResponder::NtpServer({.stratum = 4}));
    CSntpClient client;
    SntpReply reply;
    ASSERT_TRUE(client.QueryServer("127.0.0.1", reply, server.Port()));
    const SntpReply earlier = reply;
    const uint16_t refusedPort = FindFreeUdpPort();

    struct Case {
        const char* name;
        UdpResponder::Script script;
        const char* host;
        unsigned port;
        uint32_t error;
    } const cases[] = {
        {"zero transmit", UdpResponder::NtpServer({.transmit = 0}), "127.0.0.1", server.Port(),
         EPROTO},
        {"no transmit bytes", UdpResponder::NtpServer({.length = 40}), "127.0.0.1", server.Port(),
         EPROTO},
        {"empty datagram", UdpResponder::Fixed({}), "127.0.0.1", server.Port(), EPROTO},
        {"nobody listening", UdpResponder::Silent(), "127.0.0.1", refusedPort, ECONNREFUSED},
        {"port beyond 16 bits", UdpResponder::Silent(), "127.0.0.1", 65536u + server.Port(),
         EINVAL},
        {"broadcast address", UdpResponder::Silent(), "255.255.255.255", server.Port(), EACCES},
        {"unknown name", UdpResponder::Silent(), "no-such-host.invalid", server.Port(), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.SetScript(c.script);
        const auto start = Clock::now();
        EXPECT_FALSE(client.QueryServer(c.host, reply, c.port));
        // None of these waits for the time-out.
        EXPECT_LT(Seconds(Clock::now() - start), 2.0);
        if (c.error != 0) {
            EXPECT_EQ(GetLastError(), c.error) << std::strerror(static_cast<int>(GetLastError()));
        } else {
            EXPECT_NE(GetLastError(), 0u);
        }
        EXPECT_TRUE(SameReply(reply, earlier));
    }
    // Only the three answered requests and the first one ever reached the server.
    EXPECT_EQ(server.ReceivedCount(), 4u);
}

TEST(SntpExchange, NoAnswerFailsAfterTheTimeOut)
{
    UdpResponder server;
    CSntpClient client;
    SntpReply reply;
    const auto start = Clock::now();
    EXPECT_FALSE(client.QueryServer("127.0.0.1", reply, server.Port()));
    EXPECT_EQ(GetLastError(), kErrorTimedOut);
    EXPECT_NEAR(Seconds(Clock::now() - start), 5.0, 1.5);
    EXPECT_EQ(reply.destination, CNtpTimestamp());
    EXPECT_EQ(server.ReceivedCount(), 1u);
}

TEST(SntpExchange, RealChronydAnswersWithItsStratumAndClock)
{
    for (const int stratum : {3, 10}) {
        ChronyServer chrony({.port = 0, .stratum = stratum});
        ASSERT_TRUE(chrony.Start()) << chrony.Error();
        CSntpClient client;
        SntpReply reply;
        ASSERT_TRUE(client.QueryServer("127.0.0.1", reply, chrony.Port())) << GetLastError();
        EXPECT_EQ(reply.leapIndicator, 0);
        EXPECT_EQ(reply.stratum, static_cast<uint32_t>(stratum));
        EXPECT_NEAR(reply.clockOffset, 0.0, kOffsetTolerance);
        EXPECT_NEAR(reply.roundTripDelay, 0.0, kDelayTolerance);
    }
}
