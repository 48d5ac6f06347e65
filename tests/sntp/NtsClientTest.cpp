// The query end to end on loopback: against chronyd as a plain and an NTS server, against a
// scripted key-exchange server (Python's ssl) that answers wrongly, and against a scripted time
// server whose answers are forged.
#include "sntp/nts/NtsClient.h"
#include "sntp/SntpClient.h"
#include "sntp/nts/AesSivCmac256.h"
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

QueryOptions Options(std::string caFile = "", uint32_t timeoutMs = 5000)
{
    return {.precision = TimestampPrecision::Nanoseconds,
            .timeoutMs = timeoutMs,
            .ntsCaFile = std::move(caFile)};
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

// A time server that does not know the keys of the key exchange: an answer with the request's
// unique identifier and an authenticator sealing a new cookie with a key of its own.
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

} // namespace

// chronyd serves its own clock on both families: no sound plain answer is rejected, in either
// precision, and the nanosecond path measures the shared clock to well under a millisecond with
// no negative delay. Its certificate trusted through the extra CA file, the NTS answer measures
// it as closely; untrusted, the certificate is refused and the earlier reply stays.
TEST(NtsClient, AgainstChronydOnBothFamilies)
{
    ChronyServer v4({.port = 0, .stratum = 8, .nts = true});
    ASSERT_TRUE(v4.Start()) << v4.Error();
    ChronyServer v6({.port = 0, .stratum = 4, .address = "::1"});
    ASSERT_TRUE(v6.Start()) << v6.Error();
    CSntpClient client;
    client.SetNtsQuery(&CNtsClient::Run);
    for (const auto precision :
         {TimestampPrecision::Milliseconds, TimestampPrecision::Nanoseconds}) {
        for (const auto& [host, port, stratum] :
             {std::tuple{"127.0.0.1", v4.Port(), 8u}, {"::1", v6.Port(), 4u}}) {
            SCOPED_TRACE(testing::Message() << host << " precision " << int(precision));
            client.SetOptions({.precision = precision, .ntsCaFile = {}});
            SntpReply reply;
            ASSERT_TRUE(client.QueryServer(host, reply, port)) << client.FailureReason();
            EXPECT_EQ(std::tuple(reply.stratum, reply.address, reply.nts),
                      std::tuple(stratum, std::string(host), false));
            // Generous for a busy machine; bench/accuracy measures the real figures.
            const bool precise = precision == TimestampPrecision::Nanoseconds;
            EXPECT_NEAR(reply.clockOffset, 0.0, precise ? 0.001 : 0.01);
            EXPECT_NEAR(reply.roundTripDelay, 0.0, 0.02);
            EXPECT_TRUE(!precise || reply.roundTripDelay >= 0.0) << reply.roundTripDelay;
        }
    }
    const std::string url = "nts://127.0.0.1:" + std::to_string(v4.NtsPort());
    client.SetOptions(Options(v4.CertificateFile()));
    SntpReply nts;
    ASSERT_TRUE(client.QueryServer(url, nts, 123)) << client.FailureReason();
    EXPECT_EQ(std::tuple(nts.stratum, nts.address, nts.port, nts.nts),
              std::tuple(8u, std::string("127.0.0.1"), unsigned{v4.Port()}, true));
    EXPECT_NEAR(nts.clockOffset, 0.0, 0.001);

    SntpReply reply = nts;
    client.SetOptions(Options());
    EXPECT_FALSE(client.QueryServer(url, reply, 123));
    EXPECT_NE(client.FailureReason().find("certificate refused"), std::string::npos)
        << client.FailureReason();
    EXPECT_EQ(reply.destination, nts.destination);
}

// Key-exchange answers that must not lead to a time exchange, and two whose server and port
// records send the time request elsewhere, where a plain answer and a forged one are refused.
TEST(NtsClient, RefusesWrongKeyExchanges)
{
    UdpResponder plainServer(UdpResponder::NtpServer({.version = 4})), forger(ForgedTimeAnswer);
    const NtsBytes protocol = Record(kNtsRecordCritical | kNtsRecordNextProtocol, U16(0));
    const NtsBytes aead = Record(kNtsRecordAead, U16(CAesSivCmac256::kId));
    const NtsBytes cookie = Record(kNtsRecordCookie, NtsBytes(72, 0xC3));
    const NtsBytes end = Record(kNtsRecordCritical | kNtsRecordEnd, {});
    const auto at = [](const UdpResponder& server) {
        return Join({Record(kNtsRecordServer, {'1', '2', '7', '.', '0', '.', '0', '.', '1'}),
                     Record(kNtsRecordPort, U16(server.Port()))});
    };
    const struct {
        const char* name;
        NtsBytes answer;
        const char* reason;
    } cases[] = {
        // clang-format off
        {"no cookie", Join({protocol, aead, end}), "no cookie"},
        {"error record", Join({protocol, Record(kNtsRecordCritical | kNtsRecordError, U16(1)), end}), "bad request"},
        {"other AEAD", Join({protocol, Record(kNtsRecordAead, U16(1)), cookie, end}), "AEAD"},
        {"plain time answer", Join({protocol, aead, cookie, at(plainServer), end}), "not authenticated"},
        {"forged time answer", Join({protocol, aead, cookie, at(forger), end}), "authenticator mismatch"},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        KeResponder responder(c.answer);
        ASSERT_NE(responder.port, 0) << responder.error;
        CNtsClient client(Options(responder.dir + "/cert.pem", 1000));
        SntpReply reply;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(client.Query("nts://127.0.0.1:" + std::to_string(responder.port), reply));
        EXPECT_NE(client.FailureReason().find(c.reason), std::string::npos)
            << client.FailureReason();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
        EXPECT_EQ(reply.destination, CNtpTimestamp());
    }
    // The requests went where the key exchange said, with its cookie.
    for (const UdpResponder* server : {&plainServer, &forger}) {
        const auto received = server->Received();
        ASSERT_EQ(received.size(), 1u);
        EXPECT_EQ(received[0][kNtpHeaderSize + 36 + kEfHeaderSize], 0xC3);
    }
}

// Every check between a key-exchange server and the keys, each alone failing its own case, with
// the whole line a person reads. The certificate is trusted through the CA file unless said.
TEST(NtsClient, RefusesUntrustworthyKeyExchangeServers)
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
        CNtsClient client(Options(c.trusted ? responder.dir + "/cert.pem" : "", 2000));
        SntpReply reply;
        EXPECT_FALSE(client.Query("nts://127.0.0.1:" + std::to_string(responder.port), reply));
        EXPECT_EQ(client.FailureReason(), c.reason);
        EXPECT_EQ(reply.destination, CNtpTimestamp());
    }
}
