#include "platform/LastError.h"
#include "sntp/SntpClient.h"
#include "sntp/SntpPacket.h"
#include "tests/common/ChronyServer.h"
#include "tests/common/UdpResponder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

const uint64_t kT2 = uint64_t{3900000000u} << 32;
const uint64_t kT3 = kT2 + (uint64_t{1} << 31);
constexpr uint32_t kAnyError = ~0u; // a failure whose reason depends on the machine

TEST(SntpExchange, OffsetAndDelayFromTheFourTimes)
{
    const CNtpTimestamp t1(100, 0);
    uint8_t answer[kSntpRequestSize] = {0x24, 2};
    t1.ToNetwork(answer + 24);
    t1.AddSeconds(0.6).ToNetwork(answer + 32);
    t1.AddSeconds(0.7).ToNetwork(answer + 40);
    SntpReply reply;
    ASSERT_EQ(ParseSntpAnswer(answer, sizeof answer, t1, t1.AddSeconds(0.3), reply),
              AnswerVerdict::Accepted);
    EXPECT_NEAR(reply.clockOffset, 0.5, 1e-9);
    EXPECT_NEAR(reply.roundTripDelay, 0.2, 1e-9);
}

// Exchanges in order through one client and one reply. The client sends one 48-byte request
// and takes the answer as it comes: version, mode, stratum and leap
// indicator are reported, the echoed originate is used even when it is not the one sent, and
// only the first 68 bytes count. A failure returns false with a reason and leaves the reply of
// the last success as it was; only a silent server makes it wait for the time-out.
TEST(SntpExchange, AgainstAScriptedServer)
{
    UdpResponder server;
    const unsigned port = server.Port();
    struct Case {
        std::optional<UdpResponder::NtpAnswer> answer; // none: no answer at all
        const char* host = "127.0.0.1";
        unsigned port = 0; // 0: the server's
        uint32_t error = 0;
    } const cases[] = {
        {{{.stratum = 2, .receive = kT2, .transmit = kT3}}, "localhost"},
        {{{.receive = kT2, .transmit = kT3, .length = 68}}, "127.1"},
        {{{.receive = kT2, .transmit = kT3, .length = 300}}},
        {{{.receive = kT2, .transmit = kT3, .length = 44}}}, // no transmit fraction: zero
        {{{.version = 4, .mode = 1, .receive = kT2, .transmit = kT3}}},
        {{{.leapIndicator = 3, .stratum = 0, .receive = kT2, .transmit = kT3}}},
        {{{.stratum = 2, .originate = kT2 - 1, .receive = kT2, .transmit = kT3}}},
        {{{.transmit = 0}}, "127.0.0.1", 0, EPROTO},
        {{{.length = 0}}, "127.0.0.1", 0, EPROTO},
        {std::nullopt, "127.0.0.1", 0, kErrorTimedOut},
        {std::nullopt, "127.0.0.1", FindFreeUdpPort(), ECONNREFUSED},
        {std::nullopt, "127.0.0.1", 65536u + port, EINVAL},
        {std::nullopt, "no-such-host.invalid", 0, kAnyError},
    };
    CSntpClient client;
    SntpReply reply, earlier;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << &c - cases);
        server.SetScript(c.answer ? UdpResponder::NtpServer(*c.answer) : UdpResponder::Script());
        const auto start = std::chrono::steady_clock::now();
        const bool ok = client.QueryServer(c.host, reply, c.port ? c.port : port);
        const std::chrono::duration<double> waited = std::chrono::steady_clock::now() - start;
        EXPECT_NEAR(waited.count(), c.error == kErrorTimedOut ? 5.0 : 0.0, 1.5);
        if (c.error) {
            EXPECT_FALSE(ok);
            const uint32_t error = GetLastError();
            EXPECT_TRUE(c.error == kAnyError ? error != 0 : error == c.error) << error;
            EXPECT_TRUE(reply.transmit == earlier.transmit && reply.stratum == earlier.stratum);
            continue;
        }
        ASSERT_TRUE(ok) << GetLastError();
        earlier = reply;
        const UdpResponder::Bytes request = server.Received().back();
        ASSERT_EQ(request.size(), 48u);
        EXPECT_EQ(request[0], 0x1B);
        EXPECT_TRUE(std::all_of(&request[1], &request[40], [](uint8_t b) { return !b; }));
        const CNtpTimestamp sent(UdpResponder::ReadTimestamp(request, 40));
        EXPECT_EQ(reply.leapIndicator, c.answer->leapIndicator);
        EXPECT_EQ(reply.stratum, c.answer->stratum);
        EXPECT_EQ(reply.originate.Value(), c.answer->originate.value_or(sent.Value()));
        EXPECT_EQ(reply.receive.Value(), kT2);
        EXPECT_EQ(reply.transmit.Value(), c.answer->length == 44 ? kT2 : kT3);
    }
    // Nothing but the ten scripted exchanges reached the server: an unresolved name sends nothing.
    EXPECT_EQ(server.Received().size(), 10u);
}

TEST(SntpExchange, RealChronydAnswersWithItsStratumAndClock)
{
    ChronyServer chrony({.port = 0, .stratum = 3});
    ASSERT_TRUE(chrony.Start()) << chrony.Error();
    CSntpClient client;
    SntpReply reply;
    ASSERT_TRUE(client.QueryServer("127.0.0.1", reply, chrony.Port())) << GetLastError();
    EXPECT_EQ(reply.stratum, 3u);
    // The request's time stamp and the answer's reading: same clock on both sides. Generous for
    // a busy machine; bench/accuracy measures the real figures.
    EXPECT_NEAR(reply.clockOffset, 0.0, 0.01);
    EXPECT_NEAR(reply.roundTripDelay, 0.0, 0.02);
}
