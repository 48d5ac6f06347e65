#include "platform/LastError.h"
#include "sntp/SntpClient.h"
#include "sntp/SntpPacket.h"
#include "tests/common/UdpResponder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>

namespace
{

using Answer = UdpResponder::NtpAnswer;
const uint64_t kT2 = uint64_t{3900000000u} << 32;
constexpr uint64_t kSecond = uint64_t{1} << 32;
const uint64_t kT3 = kT2 + kSecond / 2;
constexpr uint32_t kAnyError = ~0u; // a failure whose reason depends on the machine
constexpr uint32_t kShortWaitMs = 300;

// A sound answer at fixed times, with the fields a case changes.
Answer Sound(Answer answer)
{
    answer.receive = answer.receive.value_or(kT2);
    answer.transmit = answer.transmit.value_or(kT3);
    return answer;
}

} // namespace

// Full 32-bit fractions go through: a nanosecond-sized delay stays positive and exact.
TEST(SntpExchange, OffsetAndDelayFromTheFourTimes)
{
    const CNtpTimestamp t(100, 0);
    const struct {
        CNtpTimestamp t1, t2, t3, t4;
        double offset, delay;
    } cases[] = {
        // clang-format off
        {t, t.AddSeconds(0.6), t.AddSeconds(0.7), t.AddSeconds(0.3), 0.5, 0.2},
        {{3900000000u, 10}, {3900000000u, 12}, {3900000000u, 12}, {3900000000u, 14}, 0.0, 4 / 4294967296.0},
        {{0xFFFFFFFFu, 1}, {0, 1}, {0, 1}, {0, 1}, 0.5, 1.0}, // across the 2036 rollover
        // clang-format on
    };
    for (const auto& c : cases) {
        const auto answer = UdpResponder::NtpServer({.version = 4,
                                                     .originate = c.t1.Value(),
                                                     .receive = c.t2.Value(),
                                                     .transmit = c.t3.Value()})({})[0];
        SntpReply reply;
        ASSERT_EQ(ParseSntpAnswer(answer.data(), answer.size(), c.t1, c.t4, reply),
                  AnswerVerdict::Accepted);
        EXPECT_NEAR(reply.clockOffset, c.offset, 1e-9);
        EXPECT_NEAR(reply.roundTripDelay, c.delay, c.delay * 1e-6);
    }
}

// Only an answer that echoes every bit of the transmit time we sent is ours: one bit off
// anywhere is a mismatch, and a kiss-o'-death that is not ours asks nothing of us.
TEST(SntpExchange, OriginateMustMatchEveryBitBeforeAKissCounts)
{
    const CNtpTimestamp sent(kT2 | 0x5A5A5A5A);
    for (const uint8_t stratum : {1, 0}) {
        for (int bit = 0; bit < 64; ++bit) {
            SCOPED_TRACE(testing::Message() << "stratum " << int{stratum} << ", bit " << bit);
            const auto answer =
                UdpResponder::NtpServer(Sound({.stratum = stratum,
                                               .originate = sent.Value() ^ uint64_t{1} << bit,
                                               .referenceId = 0x52415445}))({})[0];
            SntpReply reply;
            std::string kissCode = "none";
            EXPECT_EQ(ParseSntpAnswer(answer.data(), answer.size(), sent, sent, reply, &kissCode),
                      AnswerVerdict::OriginateMismatch);
            EXPECT_EQ(kissCode, "none");
        }
    }
}

// Exchanges in order through one client and one reply. Each answer that fails a check is
// dropped and the client waits on to its time-out (a kiss-o'-death ends the wait at once); a
// failure leaves the reply of the last success as it was and says why.
TEST(SntpExchange, AgainstAScriptedServer)
{
    UdpResponder server;
    const unsigned port = server.Port();
    struct Case {
        std::optional<Answer> answer; // none: no answer at all
        uint32_t error = 0;
        const char* reason = "";
        bool waits = false; // to the time-out
        const char* host = "127.0.0.1";
        unsigned port = 0; // 0: the server's
    } const cases[] = {
        // clang-format off
        {Sound({.stratum = 2, .referenceId = 0x7F000001}), 0, "", false, "localhost"},
        {Sound({.version = 4, .length = 300})},
        {Sound({.version = 1})},
        // Each check, failed alone.
        {Sound({.originate = kT2 - 1}), EPROTO, "answer rejected: originate mismatch", true},
        {Sound({.mode = 1}), EPROTO, "answer rejected: not in server mode", true},
        {Sound({.version = 0}), EPROTO, "answer rejected: unknown version", true},
        {Sound({.version = 5}), EPROTO, "answer rejected: unknown version", true},
        {Sound({.leapIndicator = 3}), EPROTO, "not synchronised (leap indicator 3)", true},
        {Sound({.stratum = 16}), EPROTO, "answer rejected: stratum above 15", true},
        {Sound({.receive = 0}), EPROTO, "answer rejected: no receive time", true},
        {Sound({.transmit = 0}), EPROTO, "answer rejected: no transmit time", true},
        {Sound({.length = 44}), EPROTO, "answer rejected: shorter than 48 bytes", true},
        // Times no round trip gives: T3 before T2, and T3 - T2 10 s longer than T4 - T1.
        {Sound({.receive = kT3, .transmit = kT2}), EPROTO, "answer rejected: impossible round trip", true},
        {Sound({.transmit = kT2 + 10 * kSecond}), EPROTO, "answer rejected: impossible round trip", true},
        {Answer{.leapIndicator = 3, .stratum = 0, .referenceId = 0x52415445}, EPROTO,
         "kiss-o'-death RATE"},
        {std::nullopt, kErrorTimedOut, "no answer within 0.3 s", true},
        {std::nullopt, ECONNREFUSED, "connection refused", false, "127.0.0.1", UdpResponder().Port()},
        {std::nullopt, kAnyError, "unknown host", false, "no-such-host.invalid"},
        // clang-format on
    };
    CSntpClient client;
    // Every member without a default named: GCC 12 warns of one left out.
    client.SetOptions({.timeoutMs = kShortWaitMs, .ntsCaFile = {}});
    SntpReply reply, earlier;
    std::set<uint32_t> lowBits;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << &c - cases);
        server.SetScript(c.answer ? UdpResponder::NtpServer(*c.answer) : nullptr);
        const auto start = std::chrono::steady_clock::now();
        const bool ok = client.QueryServer(c.host, reply, c.port ? c.port : port);
        const std::chrono::duration<double> waited = std::chrono::steady_clock::now() - start;
        EXPECT_NEAR(waited.count(), c.waits ? kShortWaitMs / 1000.0 : 0.0, 0.2);
        if (c.error) {
            EXPECT_FALSE(ok);
            const uint32_t error = GetLastError();
            EXPECT_TRUE(c.error == kAnyError ? error != 0 : error == c.error) << error;
            EXPECT_EQ(client.FailureReason(), c.reason);
            EXPECT_EQ(client.KissCode(), c.answer && c.answer->stratum == 0 ? "RATE" : "");
            EXPECT_TRUE(reply.transmit == earlier.transmit && reply.stratum == earlier.stratum);
            continue;
        }
        ASSERT_TRUE(ok) << client.FailureReason();
        EXPECT_EQ(client.FailureReason(), "");
        earlier = reply;
        // T1 is the value sent; its random bits stay below half a millisecond, so that the
        // millisecond of the reading is kept.
        const CNtpTimestamp sent(UdpResponder::ReadTimestamp(server.Received().back(), 40));
        const uint32_t ms = FractionToMilliseconds(sent.Fraction());
        ASSERT_LT(ms, 1000u);
        EXPECT_LT(sent.Fraction() - g_millisecondFractions[ms], 1u << 21);
        lowBits.insert(sent.Fraction() - g_millisecondFractions[ms]);
        EXPECT_EQ(reply.originate, sent);
        EXPECT_EQ(std::tuple(reply.version, reply.stratum, reply.referenceId),
                  std::tuple(c.answer->version, c.answer->stratum, c.answer->referenceId));
        EXPECT_EQ(std::tuple(reply.receive.Value(), reply.transmit.Value(), reply.address),
                  std::tuple(kT2, kT3, std::string("127.0.0.1")));
    }
    EXPECT_GE(lowBits.size(), 3u) << "the transmit times carry no random bits";
    // Only the scripted exchanges reached the server: an unresolved name sends nothing.
    EXPECT_EQ(server.Received().size(), 16u);
}

// Datagrams that fail the checks do not end the wait: garbage, a forgery and a spoofed
// kiss-o'-death ahead of the real answer are skipped, and the answer is taken.
TEST(SntpExchange, SkipsGarbageAheadOfTheAnswer)
{
    UdpResponder server([](const UdpResponder::Bytes& request) {
        // The forgery is sound but for its originate time, and sent at another time.
        const auto forged = UdpResponder::NtpServer(Sound({.originate = 1, .transmit = kT2}));
        const auto answer = UdpResponder::NtpServer(Sound({}));
        const auto kiss =
            UdpResponder::NtpServer({.stratum = 0, .originate = 1, .referenceId = 0x52415445});
        return std::vector{UdpResponder::Bytes(48, 'A'), UdpResponder::Bytes(8, 0xFF),
                           forged(request)[0], kiss(request)[0], answer(request)[0]};
    });
    CSntpClient client;
    SntpReply reply;
    ASSERT_TRUE(client.QueryServer("127.0.0.1", reply, server.Port())) << client.FailureReason();
    EXPECT_EQ(reply.transmit.Value(), kT3);
}

// --samples can never pick an impossible round trip: among sound answers, one whose server
// claims to have held the request 10 s (a delay of -10 s, the lowest) is dropped, and alone it
// gives no time at all.
TEST(SntpExchange, SamplesNeverTakeANegativeDelay)
{
    std::atomic<int> requests = 0;
    const auto answer = [&requests](bool always) {
        return [&requests, always](const UdpResponder::Bytes& request) {
            const uint64_t now = UdpResponder::NtpNow();
            const bool forged = always || requests++ == 1;
            return UdpResponder::NtpServer(
                {.receive = now, .transmit = now + (forged ? 10 * kSecond : 0)})(request);
        };
    };
    UdpResponder server(answer(false));
    QueryOptions options;
    options.precision = TimestampPrecision::Nanoseconds;
    options.timeoutMs = kShortWaitMs;
    options.port = server.Port();
    options.samples = 4;
    options.sampleGapMs = 1;
    const QueryResult mixed = Query("127.0.0.1", options);
    ASSERT_TRUE(mixed.reply) << mixed.failure.reason;
    EXPECT_EQ(mixed.samples.size(), 3u);
    for (const SntpReply& sample : mixed.samples) {
        EXPECT_NEAR(sample.roundTripDelay, 0.0, 0.05);
        EXPECT_NEAR(sample.clockOffset, 0.0, 0.05);
    }
    server.SetScript(answer(true));
    const QueryResult alone = Query("127.0.0.1", options);
    EXPECT_FALSE(alone.reply);
    EXPECT_EQ(std::tuple(alone.failure.kind, alone.failure.reason, alone.samples.size()),
              std::tuple(FailureKind::Rejected,
                         std::string("answer rejected: impossible round trip"), size_t{0}));
}
