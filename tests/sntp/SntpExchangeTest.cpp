#include "platform/LastError.h"
#include "platform/SocketLibrary.h"
#include "sntp/ErrorBound.h"
#include "sntp/ServerName.h"
#include "sntp/SntpClient.h"
#include "sntp/SntpPacket.h"
#include "tests/common/UdpResponder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <pthread.h>
#include <set>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;

namespace
{

using Answer = UdpResponder::NtpAnswer;
constexpr uint64_t kSecond = uint64_t{1} << 32;
constexpr uint64_t kT2 = uint64_t{3900000000u} << 32, kT3 = kT2 + kSecond / 2;
constexpr uint32_t kRate = 0x52415445; // "RATE"
constexpr uint32_t kAnyError = ~0u;    // a failure whose reason depends on the machine
constexpr uint32_t kShortWaitMs = 300;

// A sound answer at fixed times, with the fields a case changes.
Answer Sound(Answer answer)
{
    answer.receive = answer.receive.value_or(kT2);
    answer.transmit = answer.transmit.value_or(kT3);
    return answer;
}

// The answer, after garbage (an empty datagram among it), a forgery that is sound but for its
// originate time (and sent at another time) and a spoofed kiss-o'-death: all of them to be
// skipped.
UdpResponder::Script AfterForgeries(const Answer& answer)
{
    return [answer](const UdpResponder::Bytes& request) {
        const auto forged = UdpResponder::NtpServer(Sound({.originate = 1, .transmit = kT2}));
        const auto kiss =
            UdpResponder::NtpServer({.stratum = 0, .originate = 1, .referenceId = kRate});
        return std::vector{UdpResponder::Bytes(48, 'A'),
                           UdpResponder::Bytes(8, 0xFF),
                           UdpResponder::Bytes(),
                           forged(request)[0],
                           kiss(request)[0],
                           UdpResponder::NtpServer(answer)(request)[0]};
    };
}

// From here on, SIGUSR1 interrupts a waiting call (no SA_RESTART) and keeps the thread busy for
// busyMs; nothing else sends it.
void HandleSignals(long busyMs)
{
    static std::atomic<long> s_busyMs;
    s_busyMs = busyMs;
    struct sigaction action = {};
    action.sa_handler = [](int) {
        const timespec busy{0, s_busyMs * 1000000};
        nanosleep(&busy, nullptr); // async-signal-safe
    };
    sigaction(SIGUSR1, &action, nullptr);
}

} // namespace

// Full 32-bit fractions go through: a nanosecond-sized delay stays positive and exact; a negative
// one is sound down to minus the server's precision (here 1 s). Only an
// answer that echoes every bit of the transmit time we sent is ours: one bit off anywhere is a
// mismatch, and a kiss-o'-death that is not ours asks nothing of us.
TEST(SntpExchange, TheFourTimesOfOurOwnAnswerOnly)
{
    const CNtpTimestamp t(100, 0);
    const struct {
        CNtpTimestamp t1, t2, t3, t4;
        double offset, delay;
    } cases[] = {
        // clang-format off
        {t, t.AddSeconds(0.6), t.AddSeconds(0.7), t.AddSeconds(0.3), 0.5, 0.2},
        {{3900000000u, 10}, {3900000000u, 12}, {3900000000u, 12}, {3900000000u, 14}, 0.0, 4 / 4294967296.0},
        {t, t.AddSeconds(1), t.AddSeconds(2), t, 1.5, -1.0}, // as negative as the server's precision
        {{0xFFFFFFFFu, 1}, {0, 1}, {0, 1}, {0, 1}, 0.5, 1.0}, // across the 2036 rollover
        // clang-format on
    };
    SntpReply reply;
    for (const auto& c : cases) {
        const auto answer = UdpResponder::NtpServer({.version = 4,
                                                     .originate = c.t1.Value(),
                                                     .receive = c.t2.Value(),
                                                     .transmit = c.t3.Value()})({})[0];
        ASSERT_EQ(ParseSntpAnswer(answer.data(), answer.size(), c.t1, c.t4, reply),
                  AnswerVerdict::Accepted);
        EXPECT_NEAR(reply.clockOffset, c.offset, 1e-9);
        EXPECT_NEAR(reply.roundTripDelay, c.delay, std::abs(c.delay) * 1e-6);
    }
    // RFC 5905's root distance of the last, whose answer came 1 s after the request, across the
    // rollover: half the delay, both precisions (the server's is 1 s) and 15 ppm of that second.
    EXPECT_NEAR(ErrorBound(reply, -20), 0.5 + 1 + 0x1p-20 + 15e-6, 1e-9);
    // Two readings of this clock that differ lie more than a nanosecond apart.
    EXPECT_GT(LocalClockPrecision(), -30);
    const CNtpTimestamp sent(kT2 | 0x5A5A5A5A);
    for (const uint8_t stratum : {1, 0}) {
        for (int bit = 0; bit < 64; ++bit) {
            SCOPED_TRACE(testing::Message() << "stratum " << int{stratum} << ", bit " << bit);
            const auto answer =
                UdpResponder::NtpServer(Sound({.stratum = stratum,
                                               .originate = sent.Value() ^ uint64_t{1} << bit,
                                               .referenceId = kRate}))({})[0];
            std::string kissCode = "none";
            EXPECT_EQ(ParseSntpAnswer(answer.data(), answer.size(), sent, sent, reply, &kissCode),
                      AnswerVerdict::OriginateMismatch);
            EXPECT_EQ(kissCode, "none");
        }
    }
}

// A server as a person writes it: brackets around a whole IPv6 address only, the scheme in any
// case, the key exchange's own port unless another is given; nothing for no host or a port that
// is not one.
TEST(ServerName, PlainAndNtsForms)
{
    const std::pair<const char*, const char*> cases[] = {
        // clang-format off
        {"[::1]", "::1 123"}, {"time.example", "time.example 123"},
        {"NTS://time.example", "time.example 4460 nts"}, {"nts://[::1]:65535", "::1 65535 nts"},
        {"nts://[::1]", "::1 4460 nts"}, {"nts://::1", "::1 4460 nts"},
        {"nts://127.0.0.1:1", "127.0.0.1 1 nts"},
        {"nts://[::1]1", ""}, {"nts://[::1", ""}, {"nts://time.example:0", ""},
        {"nts://time.example:65536", ""}, {"nts://time.example:", ""}, {"nts://:4460", ""},
        {"[]", ""}, {"", ""},
        // clang-format on
    };
    for (const auto& [text, parsed] : cases) {
        const auto name = ParseServerName(text, 123);
        EXPECT_EQ(name ? name->host + " " + std::to_string(name->port) + (name->nts ? " nts" : "")
                       : "",
                  parsed)
            << text;
    }
}

// Exchanges in order through one client and one reply, each answer after forgeries that fail
// the checks and do not end the wait. Each answer that fails a check is dropped and the client
// waits on to its time-out (a kiss-o'-death ends the wait at once); a failure leaves the reply
// of the last success as it was and says why.
TEST(SntpExchange, AgainstAScriptedServer)
{
    UdpResponder server;
    struct Case {
        std::optional<Answer> answer; // none: no answer at all
        uint32_t error = 0;
        const char* reason = "";
        bool waits = false; // to the time-out
        const char* host = "127.0.0.1";
        unsigned port = 0; // 0: the server's
    } const cases[] = {
        // clang-format off
        {Sound({.stratum = 2, .referenceId = 0x7F000001, .rootDelay = 0x8000, .rootDispersion = 0x4000}),
         0, "", false, "localhost"},
        {Sound({.leapIndicator = 1, .version = 4, .stratum = 15, .length = 300, .precision = 5, .rootDelay = 0xFFFF0000})},
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
        {Answer{.leapIndicator = 3, .stratum = 0, .referenceId = kRate}, EPROTO, "kiss-o'-death RATE"},
        {std::nullopt, kErrorTimedOut, "no answer within 0.3 s", true},
        {std::nullopt, ECONNREFUSED, "connection refused", false, "127.0.0.1", UdpResponder().Port()},
        {std::nullopt, kAnyError, "unknown host", false, "no-such-host.invalid"},
        // clang-format on
    };
    const auto openFiles = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
    };
    const auto openBefore = openFiles();
    ASSERT_TRUE(AfxSocketInit()); // its trial socket is closed again
    CSntpClient client;
    // Every member without a default named: GCC 12 warns of one left out.
    client.SetOptions({.timeoutMs = kShortWaitMs, .ntsCaFile = {}});
    SntpReply reply, earlier;
    std::set<uint32_t> lowBits;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << &c - cases);
        server.SetScript(c.answer ? AfterForgeries(*c.answer) : nullptr);
        const auto start = std::chrono::steady_clock::now();
        const bool ok = client.QueryServer(c.host, reply, c.port ? c.port : server.Port());
        const std::chrono::duration<double> waited = std::chrono::steady_clock::now() - start;
        EXPECT_NEAR(waited.count(), c.waits ? kShortWaitMs / 1000.0 : 0.0, 0.2);
        EXPECT_EQ(client.FailureReason(), c.reason);
        if (c.error) {
            const uint32_t error = GetLastError();
            EXPECT_FALSE(ok);
            EXPECT_TRUE(c.error == kAnyError ? error != 0 : error == c.error) << error;
            EXPECT_EQ(client.KissCode(), c.answer && c.answer->stratum == 0 ? "RATE" : "");
            EXPECT_TRUE(reply.transmit == earlier.transmit && reply.stratum == earlier.stratum);
            continue;
        }
        ASSERT_TRUE(ok);
        earlier = reply;
        // T1 is the value sent; its random bits stay below half a millisecond, so that the
        // millisecond of the reading is kept.
        const CNtpTimestamp sent(UdpResponder::ReadTimestamp(server.Received().back(), 40));
        const uint32_t below =
            sent.Fraction() - g_millisecondFractions.at(FractionToMilliseconds(sent.Fraction()));
        EXPECT_LT(below, 1u << 21);
        lowBits.insert(below);
        const Answer& a = *c.answer;
        EXPECT_EQ(std::tuple(reply.originate, reply.leapIndicator, reply.version, reply.mode,
                             reply.stratum, reply.referenceId, reply.precision, reply.rootDelay,
                             reply.rootDispersion, reply.receive.Value(), reply.transmit.Value(),
                             reply.address),
                  std::tuple(sent, a.leapIndicator, a.version, 4, a.stratum, a.referenceId,
                             std::ldexp(1.0, a.precision),
                             static_cast<int32_t>(a.rootDelay) / 65536.0,
                             a.rootDispersion / 65536.0, kT2, kT3, std::string("127.0.0.1")));
        // The first answer's error bound: half its root delay (0.5 s) and the round trip (the
        // local precision: T3 - T2 is longer than T4 - T1), its root dispersion (0.25 s) and
        // precision (1 s), and this clock's precision.
        const double bound = ErrorBound(reply, LocalClockPrecision());
        EXPECT_TRUE(&c != cases || (bound > 1.5 && bound < 1.501)) << bound;
    }
    EXPECT_EQ(openFiles(), openBefore) << "a socket was left open";
    EXPECT_GE(lowBits.size(), 3u) << "the transmit times carry no random bits";
    // Only the scripted exchanges reached the server: an unresolved name sends nothing.
    EXPECT_EQ(server.Received().size(), 16u);

    // With no file descriptor left, no socket can be made: a failure that says why.
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
    const int lowestFree = open("/dev/null", O_RDONLY);
    ASSERT_EQ(close(lowestFree), 0);
    const rlimit none{static_cast<rlim_t>(lowestFree), limit.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &none), 0);
    const bool started = AfxSocketInit();
    const bool ok = client.QueryServer("127.0.0.1", reply, server.Port());
    setrlimit(RLIMIT_NOFILE, &limit);
    EXPECT_FALSE(started || ok);
    EXPECT_EQ(client.FailureReason(), "too many open files");
}

// --samples takes the kernel's arrival time as T4, to the nanosecond (a microsecond reading
// would always end in 000), not the reading after the wait: a signal handler keeps the client
// busy for 400 ms while the first answer arrives, and the delay stays that of the network. It
// never picks an impossible round trip: the second server claims to have held the request 10 s
// (a delay of -10 s, the lowest), and that sample is dropped. Then signals every few
// milliseconds interrupt the wait on a silent server again and again; the query still ends at
// its one deadline instead of starting the wait over.
TEST(SntpExchange, SignalsMoveNeitherTheArrivalTimeNorTheDeadline)
{
    HandleSignals(400);
    const pthread_t client = pthread_self();
    std::atomic<int> requests = 0;
    UdpResponder server([client, &requests](const UdpResponder::Bytes& request) {
        const int n = requests++;
        if (n == 0) {
            pthread_kill(client, SIGUSR1);
            std::this_thread::sleep_for(20ms);
        }
        const uint64_t now = UdpResponder::NtpNow();
        return UdpResponder::NtpServer(
            {.receive = now, .transmit = now + (n == 1 ? 10 * kSecond : 0)})(request);
    });
    // A time-out longer than the handler keeps the client busy.
    QueryOptions options{.timeoutMs = 1000, .port = server.Port(), .samples = 8, .sampleGapMs = 1};
    options.precision = TimestampPrecision::Nanoseconds;
    const QueryResult result = Query("127.0.0.1", options);
    ASSERT_EQ(result.samples.size(), 7u) << result.failure.reason;
    int finerThanMicroseconds = 0;
    for (const SntpReply& sample : result.samples) {
        EXPECT_NEAR(sample.roundTripDelay, 0.0, 0.1);
        EXPECT_NEAR(sample.clockOffset, 0.0, 0.05);
        finerThanMicroseconds += sample.destination.Nanoseconds() % 1000 != 0;
    }
    EXPECT_GT(finerThanMicroseconds, 0);

    HandleSignals(0);
    std::atomic<bool> done{false};
    std::thread signaller([&] {
        for (int i = 0; i < 1000 && !done; ++i) {
            pthread_kill(client, SIGUSR1);
            std::this_thread::sleep_for(3ms);
        }
    });
    server.SetScript(nullptr);
    options.timeoutMs = 300;
    options.samples = 1;
    const auto start = std::chrono::steady_clock::now();
    const QueryResult silent = Query("127.0.0.1", options);
    const auto waited = std::chrono::steady_clock::now() - start;
    done = true;
    signaller.join();
    EXPECT_EQ(silent.failure.reason, "no answer within 0.3 s");
    EXPECT_GT(waited, 250ms);
    EXPECT_LT(waited, 1000ms);
}
