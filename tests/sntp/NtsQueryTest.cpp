// The query end to end on loopback: against chronyd as a plain and an NTS server, against a
// scripted key-exchange server (Python's ssl) that answers wrongly, and against a scripted time
// server whose answers are forged, kisses without authentication or stays silent.
#include "sntp/Query.h"
#include "sntp/TimeQuery.h"
#include "sntp/nts/AesSivCmac256.h"
#include "sntp/nts/NtsAuthentication.h"
#include "sntp/nts/NtsExtensionFields.h"
#include "sntp/nts/NtsRecords.h"
#include "tests/common/ChronyServer.h"
#include "tests/common/TestCertificate.h"
#include "tests/common/UdpResponder.h"
#include "tests/sntp/NtsTestBytes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>

namespace
{

using Clock = std::chrono::steady_clock;
constexpr uint32_t kNtsn = 0x4E54534E; // "NTSN"
constexpr uint32_t kRate = 0x52415445; // "RATE"
// Where the request carries its unique identifier and its cookie.
constexpr size_t kUniqueIdAt = kNtpHeaderSize + kEfHeaderSize;
constexpr size_t kCookieAt = kNtpHeaderSize + kEfHeaderSize + kNtsUniqueIdSize + kEfHeaderSize;

QueryOptions Options(std::string caFile = "", uint32_t timeoutMs = 5000)
{
    QueryOptions options;
    options.precision = TimestampPrecision::Nanoseconds;
    options.timeoutMs = timeoutMs;
    options.ntsCaFile = std::move(caFile);
    options.sampleGapMs = 1;
    options.nts = &CNtsAuthentication::Create;
    return options;
}

// One NTS query through a strategy the test keeps hold of, to count its key exchanges.
QueryResult CountedQuery(const std::string& host, uint16_t port, const QueryOptions& options,
                         int& keyExchanges)
{
    auto nts = std::make_unique<CNtsAuthentication>(ServerName{host, port, true}, options);
    const CNtsAuthentication* counter = nts.get();
    CTimeQuery query(options, std::move(nts));
    QueryResult result = query.Run();
    keyExchanges = counter->KeyExchanges();
    return result;
}

// The scripted key-exchange server, tests/sntp/nts_ke_responder.py under Debian's Python, with a
// test certificate in a folder of its own, answering every connection with the given bytes;
// stopped by its pid.
struct KeResponderOptions {
    TestCertificateOptions certificate{};
    std::string alpn = "ntske/1";
    std::string tlsVersion = "1.3";
};

struct KeResponder {
    using Options = KeResponderOptions;
    explicit KeResponder(const NtsBytes& answer, const Options& options = {})
        : error(MakeTestCertificate(dir, options.certificate))
    {
        const std::string command = "exec /usr/bin/python3 " HORALINK_NTS_KE_RESPONDER " " + dir +
                                    "/cert.pem " + dir + "/key.pem '" + ToHex(answer) + "' " +
                                    options.alpn + " " + options.tlsVersion + " </dev/null";
        output = popen(command.c_str(), "r");
        if (output && std::fscanf(output, "%hu %d", &port, &pid) != 2) {
            port = 0;
        }
    }
    ~KeResponder()
    {
        if (pid > 0) {
            kill(pid, SIGTERM);
        }
        if (output) {
            pclose(output);
        }
        std::filesystem::remove_all(dir);
    }
    char pattern[32] = "/tmp/horalink-nts.XXXXXX";
    const std::string dir = mkdtemp(pattern) ? pattern : "/nonexistent";
    const std::string error; // empty when the certificate was made
    FILE* output = nullptr;
    uint16_t port = 0;
    pid_t pid = -1;
};

// The day of now + seconds, as "2026-03-01".
std::string Day(long long seconds)
{
    const time_t t = std::time(nullptr) + seconds;
    tm parts{};
    gmtime_r(&t, &parts);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &parts);
    return text;
}

// A time server that does not know the keys of the key exchange: an answer with the request's
// unique identifier and an authenticator sealing a new cookie with a key of its own.
std::vector<UdpResponder::Bytes> ForgedTimeAnswer(const UdpResponder::Bytes& request)
{
    auto answer = UdpResponder::NtpServer({.version = 4, .stratum = 2})(request);
    const auto id = request.begin() + kNtpHeaderSize + kEfHeaderSize;
    AppendExtensionField(answer[0], kEfUniqueIdentifier, NtsBytes(id, id + kNtsUniqueIdSize));
    NtsBytes cookie;
    AppendExtensionField(cookie, kEfCookie, NtsBytes(64, 0xC2));
    AppendAuthenticator(answer[0], CAesSivCmac256(), NtsBytes(32, 0x33), NtsBytes(16, 7), cookie);
    return answer;
}

// An unauthenticated kiss-o'-death with the request's unique identifier in the clear, as a
// server that cannot read the cookie sends it, or as anyone on the path can.
UdpResponder::Script Kiss(uint32_t code)
{
    return [code](const UdpResponder::Bytes& request) {
        auto answer =
            UdpResponder::NtpServer({.version = 4, .stratum = 0, .referenceId = code})(request);
        const auto id = request.begin() + kUniqueIdAt;
        AppendExtensionField(answer[0], kEfUniqueIdentifier, NtsBytes(id, id + kNtsUniqueIdSize));
        return answer;
    };
}

} // namespace

// chronyd serves its own clock on both families: no sound plain answer is rejected, in either
// precision, and the nanosecond path measures the shared clock to well under a millisecond with
// no negative delay. Its certificate trusted through the extra CA file, four NTS samples measure
// it as closely with one key exchange, whose cookies and the answers' fresh ones serve every
// request; untrusted, the certificate is refused.
TEST(NtsQuery, AgainstChronydOnBothFamilies)
{
    ChronyServer v4({.port = 0, .stratum = 8, .nts = true});
    ASSERT_TRUE(v4.Start()) << v4.Error();
    ChronyServer v6({.port = 0, .stratum = 4, .address = "::1"});
    ASSERT_TRUE(v6.Start()) << v6.Error();
    for (const auto precision :
         {TimestampPrecision::Milliseconds, TimestampPrecision::Nanoseconds}) {
        for (const auto& [host, port, stratum] :
             {std::tuple{"127.0.0.1", v4.Port(), 8u}, {"::1", v6.Port(), 4u}}) {
            SCOPED_TRACE(testing::Message() << host << " precision " << int(precision));
            QueryOptions options = Options();
            options.precision = precision;
            options.port = port;
            const QueryResult result = Query(host, options);
            ASSERT_TRUE(result.reply) << result.failure.reason;
            const SntpReply& reply = *result.reply;
            EXPECT_EQ(std::tuple(reply.stratum, reply.address, reply.nts, result.authenticated),
                      std::tuple(stratum, std::string(host), false, false));
            // Generous for a busy machine; bench/accuracy measures the real figures.
            const bool precise = precision == TimestampPrecision::Nanoseconds;
            EXPECT_NEAR(reply.clockOffset, 0.0, precise ? 0.001 : 0.01);
            EXPECT_NEAR(reply.roundTripDelay, 0.0, 0.02);
            EXPECT_TRUE(!precise || reply.roundTripDelay >= 0.0) << reply.roundTripDelay;
        }
    }
    QueryOptions options = Options(v4.CertificateFile());
    options.samples = 4;
    int keyExchanges = 0;
    const QueryResult nts = CountedQuery("127.0.0.1", v4.NtsPort(), options, keyExchanges);
    ASSERT_TRUE(nts.reply) << nts.failure.reason;
    EXPECT_EQ(std::tuple(nts.reply->stratum, nts.reply->address, nts.reply->port, nts.authenticated,
                         nts.samples.size(), keyExchanges),
              std::tuple(8u, std::string("127.0.0.1"), unsigned{v4.Port()}, true, size_t{4}, 1));
    EXPECT_NEAR(nts.reply->clockOffset, 0.0, 0.001);

    const std::string url = "nts://127.0.0.1:" + std::to_string(v4.NtsPort());
    const QueryResult untrusted = Query(url, Options());
    EXPECT_FALSE(untrusted.reply);
    EXPECT_EQ(untrusted.failure.kind, FailureKind::KeyExchange);
    EXPECT_NE(untrusted.failure.reason.find("certificate refused"), std::string::npos)
        << untrusted.failure.reason;
}

// Key-exchange answers that must not lead to a time exchange, and some whose server and port
// records send the time request to a scripted server: a plain answer, a forged one and an
// unauthenticated kiss-o'-death are dropped and the wait goes on to the deadline; NTSN with the
// request's identifier ends it at once. Every case ends within the one deadline of the query.
TEST(NtsQuery, RefusesWrongKeyExchangesAndAnswers)
{
    UdpResponder plainServer(UdpResponder::NtpServer({.version = 4})), forger(ForgedTimeAnswer),
        rateKiss(Kiss(kRate)), silent;
    const NtsBytes protocol = Record(kNtsRecordCritical | kNtsRecordNextProtocol, U16(0));
    const NtsBytes aead = Record(kNtsRecordAead, U16(CAesSivCmac256::kId));
    const NtsBytes cookie = Record(kNtsRecordCookie, NtsBytes(72, 0xC3));
    const NtsBytes end = Record(kNtsRecordCritical | kNtsRecordEnd, {});
    const auto at = [](const UdpResponder& server) {
        return Join({Record(kNtsRecordServer, {'1', '2', '7', '.', '0', '.', '0', '.', '1'}),
                     Record(kNtsRecordPort, U16(server.Port()))});
    };
    constexpr uint32_t kTimeoutMs = 1000;
    const struct {
        const char* name;
        NtsBytes answer;
        const char* reason;
        bool waits; // to the deadline
    } cases[] = {
        // clang-format off
        {"no cookie", Join({protocol, aead, end}), "no cookie", false},
        {"error record", Join({protocol, Record(kNtsRecordCritical | kNtsRecordError, U16(1)), end}), "bad request", false},
        {"other AEAD", Join({protocol, Record(kNtsRecordAead, U16(1)), cookie, end}), "AEAD", false},
        {"key exchange that never answers", {}, "key exchange timed out", true},
        {"plain time answer", Join({protocol, aead, cookie, at(plainServer), end}), "answer rejected: not authenticated", true},
        {"forged time answer", Join({protocol, aead, cookie, at(forger), end}), "answer rejected: authenticator mismatch", true},
        {"unauthenticated RATE", Join({protocol, aead, cookie, at(rateKiss), end}), "answer rejected: not authenticated", true},
        {"silent time port", Join({protocol, aead, cookie, at(silent), end}), "no answer within 1 s", true},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        KeResponder responder(c.answer);
        ASSERT_NE(responder.port, 0) << responder.error;
        const auto start = Clock::now();
        const QueryResult result = Query("nts://127.0.0.1:" + std::to_string(responder.port),
                                         Options(responder.dir + "/cert.pem", kTimeoutMs));
        const std::chrono::duration<double> took = Clock::now() - start;
        EXPECT_FALSE(result.reply);
        EXPECT_EQ(result.failure.kissCode, "");
        EXPECT_NE(result.failure.reason.find(c.reason), std::string::npos) << result.failure.reason;
        EXPECT_LT(took.count(), kTimeoutMs / 1000.0 + 0.2);
        EXPECT_GT(took.count(), c.waits ? kTimeoutMs / 1000.0 - 0.05 : 0.0);
    }
    // The requests went where the key exchange said, with its cookie.
    for (const UdpResponder* server : {&plainServer, &forger, &rateKiss, &silent}) {
        const auto received = server->Received();
        ASSERT_EQ(received.size(), 1u);
        EXPECT_EQ(received[0][kCookieAt], 0xC3);
    }
}

// NTSN carrying the request's identifier ends the sample at once with its own reason, and the
// next sample makes a new key exchange: its request carries the first cookie again, not the
// second one of the first exchange.
TEST(NtsQuery, NtsnAsksForANewKeyExchange)
{
    UdpResponder refusing(Kiss(kNtsn));
    const NtsBytes answer = Join(
        {Record(kNtsRecordCritical | kNtsRecordNextProtocol, U16(0)),
         Record(kNtsRecordAead, U16(CAesSivCmac256::kId)),
         Record(kNtsRecordCookie, NtsBytes(72, 0xC3)), Record(kNtsRecordCookie, NtsBytes(72, 0xC4)),
         Record(kNtsRecordServer, {'1', '2', '7', '.', '0', '.', '0', '.', '1'}),
         Record(kNtsRecordPort, U16(refusing.Port())),
         Record(kNtsRecordCritical | kNtsRecordEnd, {})});
    KeResponder responder(answer);
    ASSERT_NE(responder.port, 0) << responder.error;
    QueryOptions options = Options(responder.dir + "/cert.pem", 1000);
    options.samples = 2;
    int keyExchanges = 0;
    const auto start = Clock::now();
    const QueryResult result = CountedQuery("127.0.0.1", responder.port, options, keyExchanges);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(900));
    EXPECT_FALSE(result.reply);
    EXPECT_EQ(std::tuple(result.failure.kind, result.failure.kissCode, keyExchanges),
              std::tuple(FailureKind::KeyExchange, std::string("NTSN"), 2));
    EXPECT_EQ(result.failure.reason,
              "the server no longer accepts the cookie (kiss-o'-death NTSN)");
    const auto received = refusing.Received();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(std::tuple(received[0][kCookieAt], received[1][kCookieAt]), std::tuple(0xC3, 0xC3));
}

// Every check between a key-exchange server and the keys, each alone failing its own case, with
// the whole line a person reads. The certificate is trusted through the CA file unless said.
TEST(NtsQuery, RefusesUntrustworthyKeyExchangeServers)
{
    const NtsBytes answer = Join({Record(kNtsRecordCritical | kNtsRecordNextProtocol, U16(0)),
                                  Record(kNtsRecordAead, U16(CAesSivCmac256::kId)),
                                  Record(kNtsRecordCookie, NtsBytes(72, 0xC3)),
                                  Record(kNtsRecordCritical | kNtsRecordEnd, {})});
    constexpr long long kDay = 86400;
    const struct {
        const char* name;
        KeResponder::Options server;
        bool trusted;
        std::string reason;
    } cases[] = {
        // clang-format off
        {"issued for another name", {.certificate = {.names = "DNS:time.example,IP:127.0.0.2"}}, true,
         "certificate refused: name mismatch: the certificate is not for 127.0.0.1"},
        {"untrusted issuer", {}, false, "certificate refused: untrusted issuer"},
        {"expired", {.certificate = {.shiftSeconds = -10 * kDay}}, true,
         "certificate refused: expired: valid from " + Day(-10 * kDay) + " to " + Day(-8 * kDay) +
         "; this computer's date is " + Day(0)},
        {"not yet valid", {.certificate = {.shiftSeconds = 10 * kDay}}, true,
         "certificate refused: not yet valid: valid from " + Day(10 * kDay) + " to " +
         Day(12 * kDay) + "; this computer's date is " + Day(0)},
        {"other ALPN", {.alpn = "ntske/2"}, true, "server does not speak ntske/1 (ALPN)"},
        {"no ALPN", {.alpn = "none"}, true, "server does not speak ntske/1 (ALPN)"},
        {"TLS 1.2", {.tlsVersion = "1.2"}, true,
         "TLS handshake failed: A TLS fatal alert has been received."},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        KeResponder responder(answer, c.server);
        ASSERT_NE(responder.port, 0) << responder.error;
        const QueryResult result =
            Query("nts://127.0.0.1:" + std::to_string(responder.port),
                  Options(c.trusted ? responder.dir + "/cert.pem" : "", 2000));
        EXPECT_FALSE(result.reply);
        EXPECT_EQ(result.failure.reason, c.reason);
    }
}
