// The query end to end on loopback: against chronyd as a plain and an NTS server (also through
// horalink-query), against a scripted key-exchange server (Python's ssl) that cannot be trusted,
// and against scripted time servers whose answers are forged, kisses without authentication or
// stay silent.
#include "platform/LastError.h"
#include "sntp/Query.h"
#include "sntp/TimeQuery.h"
#include "sntp/nts/AesSivCmac256.h"
#include "sntp/nts/CertificateValidity.h"
#include "sntp/nts/NtsAuthentication.h"
#include "sntp/nts/NtsExtensionFields.h"
#include "sntp/nts/NtsRecords.h"
#include "tests/common/ChronyServer.h"
#include "tests/common/UdpResponder.h"
#include "tests/sntp/NtsTestBytes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sys/wait.h>

namespace
{

using Clock = std::chrono::steady_clock;
constexpr uint32_t kNtsn = 0x4E54534E, kRate = 0x52415445; // "NTSN", "RATE"
// Where the request carries its unique identifier and its cookie; a cookie of 70 bytes, which
// the request pads to 72.
constexpr size_t kUniqueIdAt = kNtpHeaderSize + kEfHeaderSize;
constexpr size_t kCookieAt = kUniqueIdAt + kNtsUniqueIdSize + kEfHeaderSize;
const NtsBytes kCookie = Record(kNtsRecordCookie, NtsBytes(70, 0xC3));

QueryOptions Options(std::string caFile, uint32_t timeoutMs = 5000, size_t samples = 1)
{
    return {.precision = TimestampPrecision::Nanoseconds,
            .timeoutMs = timeoutMs,
            .ntsCaFile = std::move(caFile),
            .samples = static_cast<int>(samples),
            .sampleGapMs = 1,
            .nts = &CNtsAuthentication::Create};
}

// One NTS query through a strategy the test keeps hold of, and the key exchanges it made.
std::pair<QueryResult, int> CountedQuery(uint16_t port, const QueryOptions& options)
{
    auto nts = std::make_unique<CNtsAuthentication>(ServerName{"127.0.0.1", port, true}, options);
    const CNtsAuthentication* counter = nts.get();
    CTimeQuery query(options, std::move(nts));     // owns the strategy: read it while it lives
    return {query.Run(), counter->KeyExchanges()}; // in this order
}

// A key-exchange answer: NTPv4, AES-SIV-CMAC-256, the records given, the end record; with a
// server, its time requests go to that scripted server.
NtsBytes KeAnswer(NtsBytes records = kCookie, const UdpResponder* server = nullptr)
{
    if (server) {
        Append(records,
               Join({Record(kNtsRecordServer, {'1', '2', '7', '.', '0', '.', '0', '.', '1'}),
                     Record(kNtsRecordPort, U16(server->Port()))}));
    }
    return Join({Record(kNtsRecordCritical | kNtsRecordNextProtocol, U16(0)),
                 Record(kNtsRecordAead, U16(CAesSivCmac256::kId)), records,
                 Record(kNtsRecordCritical | kNtsRecordEnd, {})});
}
// Sends the time requests to the scripted key-exchange server's own time server (see the script).
const NtsBytes kToItsOwnTimeServer = KeAnswer(Join({kCookie, Record(kNtsRecordPort, U16(0))}));

struct KeResponderOptions {
    TestCertificateOptions certificate{};
    std::string alpn = "ntske/1"; // none: no ALPN at all
    std::string tlsVersion = "1.3";
    std::string cookies = ""; // not empty: an NTS time server too (see the script)
    // The script's switches: NTS_KE_GOODBYE=1 ends each connection with TLS's close_notify,
    // NTS_KE_NO_TLS=1 takes each connection and stays silent, NTS_KE_SNI=NAME answers only
    // connections that indicated that name.
    std::string switches = "";
};

// The scripted key-exchange server, tests/sntp/nts_ke_responder.py under Debian's Python, with a
// test certificate in a folder of its own, answering every connection with the given bytes
// (none: holds the connection open); stopped by its pid.
struct KeResponder {
    explicit KeResponder(const NtsBytes& answer, const KeResponderOptions& options = {})
        : error(MakeTestCertificate(dir, options.certificate))
    {
        const std::string command =
            options.switches + " exec /usr/bin/python3 " HORALINK_NTS_KE_RESPONDER " " + dir +
            "/cert.pem " + dir + "/key.pem '" + ToHex(answer) + "' " + options.alpn + " " +
            options.tlsVersion + " " + options.cookies + " </dev/null";
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
    const std::string trust = dir + "/ca.pem";
    FILE* output = nullptr;
    uint16_t port = 0;
    pid_t pid = -1;
};

// A time answer with the request's unique identifier in the clear. Sealed: by a server that
// does not know the keys of the key exchange, sealing a new cookie with a key of its own. Not
// sealed: as a server that cannot read the cookie sends a kiss-o'-death, or anyone on the path.
UdpResponder::Script NtsTimeAnswer(UdpResponder::NtpAnswer fields, bool sealed)
{
    return [fields, sealed](const UdpResponder::Bytes& request) {
        auto answer = UdpResponder::NtpServer(fields)(request);
        const auto id = request.begin() + kUniqueIdAt;
        AppendExtensionField(answer[0], kEfUniqueIdentifier, NtsBytes(id, id + kNtsUniqueIdSize));
        if (sealed) {
            AppendAuthenticator(answer[0], CAesSivCmac256(), NtsBytes(32, 0x33), NtsBytes(16, 7),
                                Field(kEfCookie, NtsBytes(64, 0xC2)));
        }
        return answer;
    };
}

// horalink-query's exit code and its standard output and error, together; with mounts (mount
// commands joined by &&), run in user and mount namespaces of its own where they took place.
std::pair<int, std::string> RunTool(const std::string& args, const std::string& mounts = "")
{
    const std::string tool = HORALINK_QUERY_TOOL " " + args;
    const std::string command =
        mounts.empty() ? tool : "unshare -Urm sh -c '" + mounts + " && exec " + tool + "'";
    FILE* output = popen((command + " 2>&1").c_str(), "r");
    std::string text;
    char buffer[4096];
    for (size_t n; output && (n = fread(buffer, 1, sizeof buffer, output)) > 0;) {
        text.append(buffer, n);
    }
    const int status = output ? pclose(output) : -1;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text};
}

} // namespace

// chronyd serves its own clock, and a scripted server the same clock over IPv6: no sound plain
// answer is rejected, in either precision, and the nanosecond path measures the shared clock to
// well under a millisecond with no negative delay. Its certificate trusted through the extra CA
// file, four NTS samples measure it as closely with one key exchange, whose cookies and the
// answers' fresh ones serve every request, also when the server is asked by name.
TEST(NtsQuery, AgainstChronydByAddressAndByNameAndOverIpv6)
{
    ChronyServer v4({.stratum = 8, .nts = true});
    ASSERT_TRUE(v4.Start()) << v4.Error();
    UdpResponder v6(UdpResponder::NtpServer({.stratum = 4}), "::1");
    using enum TimestampPrecision;
    // The scripted server reads its receive time after its thread woke: a looser bound.
    for (const auto& [host, port, stratum, precision, bound] :
         {std::tuple{"127.0.0.1", v4.Port(), 8u, Milliseconds, 0.01},
          {"127.0.0.1", v4.Port(), 8u, Nanoseconds, 0.001},
          {"::1", v6.Port(), 4u, Nanoseconds, 0.05}}) {
        SCOPED_TRACE(testing::Message() << host << " precision " << int(precision));
        const QueryResult result = Query(host, {.precision = precision, .port = port});
        ASSERT_TRUE(result.reply) << result.failure.reason;
        const SntpReply& reply = *result.reply;
        EXPECT_EQ(
            std::tuple(reply.stratum, reply.address, reply.port, reply.nts, result.authenticated),
            std::tuple(stratum, std::string(host), unsigned{port}, false, false));
        // Generous for a busy machine; bench/accuracy measures the real figures.
        EXPECT_NEAR(reply.clockOffset, 0.0, bound);
        EXPECT_NEAR(reply.roundTripDelay, 0.0, std::max(0.02, 2 * bound));
        // No negative delay to the nanosecond; to the millisecond, the bound above is the only one.
        EXPECT_GE(reply.roundTripDelay, precision == Milliseconds ? -1.0 : 0.0);
    }
    const auto [nts, keyExchanges] =
        CountedQuery(v4.NtsPort(), Options(v4.CertificateFile(), 5000, 4));
    ASSERT_TRUE(nts.reply) << nts.failure.reason;
    EXPECT_EQ(std::tuple(nts.reply->stratum, nts.reply->address, nts.reply->port, nts.authenticated,
                         nts.samples.size(), keyExchanges),
              std::tuple(8u, std::string("127.0.0.1"), unsigned{v4.Port()}, true, size_t{4}, 1));
    EXPECT_NEAR(nts.reply->clockOffset, 0.0, 0.001);

    // By name, which also goes to the key-exchange server as the TLS server name.
    const QueryResult byName =
        Query("nts://localhost:" + std::to_string(v4.NtsPort()), Options(v4.CertificateFile()));
    EXPECT_TRUE(byName.authenticated) << byName.failure.reason;
}

// Every check between a key-exchange server and the keys, and between the time server named and
// its answer, each alone failing its own case with the whole line a person reads and its error
// (ETIMEDOUT for what timed out, EPROTO for the rest). The certificate is trusted through the CA
// file unless said. A plain answer, a forged one, an unauthenticated kiss-o'-death and a forged
// NTSN (which would throw the keys away) are dropped and the wait goes on to the one deadline.
TEST(NtsQuery, RefusesUntrustworthyServersAndAnswers)
{
    UdpResponder plain(UdpResponder::NtpServer({.version = 4})),
        forger(NtsTimeAnswer({.version = 4, .stratum = 2}, true)),
        rateKiss(NtsTimeAnswer({.version = 4, .stratum = 0, .referenceId = kRate}, false)),
        forgedNtsn(NtsTimeAnswer({.version = 4, .stratum = 0, .referenceId = kNtsn}, true)), silent;
    constexpr long long kDay = 86400;
    // A refusal's dates, given in days from today.
    const auto dates = [](long long from, long long to) {
        const time_t now = std::time(nullptr);
        return "valid from " + CertificateDateText(now + from * kDay) + " to " +
               CertificateDateText(now + to * kDay) + "; this computer's date is " +
               CertificateDateText(now);
    };
    const NtsBytes unended = Record(kNtsRecordCritical | kNtsRecordNextProtocol, U16(0));
    const struct {
        const char* name;
        NtsBytes answer;
        KeResponderOptions server;
        std::string reason;
        bool waits = false;       // to the deadline
        const char* ca = nullptr; // the CA file; none: the responder's, "": the system store
    } cases[] = {
        // clang-format off
        {"issued for another name", KeAnswer(), {.certificate = {.names = "DNS:time.example,IP:127.0.0.2"}},
         "certificate refused: name mismatch: the certificate is not for 127.0.0.1"},
        {"untrusted issuer", KeAnswer(), {}, "certificate refused: untrusted issuer", false, ""},
        {"CA file without a certificate", KeAnswer(), {}, "cannot read the CA file /dev/null", false, "/dev/null"},
        {"expired", KeAnswer(), {.certificate = {.shiftSeconds = -10 * kDay}}, "certificate refused: expired: " + dates(-10, -8)},
        {"not yet valid", KeAnswer(), {.certificate = {.shiftSeconds = 10 * kDay}}, "certificate refused: not yet valid: " + dates(10, 12)},
        {"issuer expired before the certificate", KeAnswer(), {.certificate = {.shiftSeconds = -10 * kDay, .days = 12, .caDays = 2}},
         "certificate refused: expired: " + dates(-10, -8)},
        {"signed with SHA-1", KeAnswer(), {.certificate = {.caDays = 2, .digest = "sha1"}},
         "certificate refused: The certificate is NOT trusted. The certificate chain uses insecure algorithm."},
        {"other ALPN", KeAnswer(), {.alpn = "ntske/2"}, "server does not speak ntske/1 (ALPN)"},
        {"no ALPN", KeAnswer(), {.alpn = "none"}, "server does not speak ntske/1 (ALPN)"},
        {"TLS 1.2", KeAnswer(), {.tlsVersion = "1.2"}, "TLS handshake failed: A TLS fatal alert has been received."},
        {"key exchange that never answers", {}, {}, "key exchange timed out", true},
        {"key exchange without a TLS handshake", {}, {.switches = "NTS_KE_NO_TLS=1"}, "key exchange timed out", true},
        {"key exchange closed before its end", unended, {}, "key exchange ended before its end record"},
        {"key exchange said goodbye before its end", unended, {.switches = "NTS_KE_GOODBYE=1"}, "key exchange ended before its end record"},
        {"plain time answer", KeAnswer(kCookie, &plain), {}, "answer rejected: not authenticated", true},
        {"forged time answer", KeAnswer(kCookie, &forger), {}, "answer rejected: authenticator mismatch", true},
        {"unauthenticated RATE", KeAnswer(kCookie, &rateKiss), {}, "answer rejected: not authenticated", true},
        {"forged NTSN", KeAnswer(kCookie, &forgedNtsn), {}, "answer rejected: authenticator mismatch", true},
        {"silent time port", KeAnswer(kCookie, &silent), {}, "no answer within 1 s", true},
        // clang-format on
    };
    const auto openFiles = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
    };
    const auto open = openFiles();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        KeResponder responder(c.answer, c.server);
        ASSERT_NE(responder.port, 0) << responder.error;
        const auto start = Clock::now();
        const std::clock_t cpu = std::clock();
        const QueryResult result = Query("nts://127.0.0.1:" + std::to_string(responder.port),
                                         Options(c.ca ? c.ca : responder.trust, 1000));
        const std::chrono::duration<double> took = Clock::now() - start;
        EXPECT_FALSE(result.reply);
        const bool late = c.reason.ends_with("timed out") || c.reason.starts_with("no answer");
        EXPECT_EQ(std::tuple(result.failure.reason, result.failure.kissCode, result.failure.error),
                  std::tuple(c.reason, std::string(), late ? kErrorTimedOut : uint32_t{EPROTO}));
        EXPECT_LT(took.count(), 1.2);
        EXPECT_GT(took.count(), c.waits ? 0.95 : 0.0);
        // A wait sleeps until the socket is ready.
        EXPECT_LT(static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC, 0.4);
    }
    // None of them, nor a key-exchange server without an address (a failure of the look-up) or one
    // where nothing listens, leaves a file of this process open or closes one.
    const std::string refusing = "nts://127.0.0.1:" + std::to_string(UdpResponder().Port());
    for (const auto& [server, reason, kind] :
         {std::tuple(std::string("nts://no-such-host.invalid"), "unknown host",
                     FailureKind::Lookup),
          {refusing, "connection refused", FailureKind::KeyExchange}}) {
        const QueryFailure failure = Query(server, Options("", 1000)).failure;
        EXPECT_EQ(std::pair(failure.reason, failure.kind), std::pair(std::string(reason), kind));
    }
    EXPECT_EQ(openFiles(), open);
    // One request went where each key exchange said, of the size RFC 8915 lays out: the header,
    // the unique identifier (4 + 32 bytes), the cookie (4 + 70 + 2 of padding), the authenticator
    // (4, nonce length 2, ciphertext length 2, the 16-byte nonce, the 16-byte tag that seals
    // nothing). chronyd checks the fields themselves.
    for (const UdpResponder* server : {&plain, &forger, &rateKiss, &forgedNtsn, &silent}) {
        const auto received = server->Received();
        ASSERT_EQ(received.size(), 1u);
        EXPECT_EQ(received[0].size(), 48u + 36 + 76 + 40);
    }
}

// NTSN carrying the request's identifier ends the sample at once with its own reason, and the
// next sample makes a new key exchange: its request carries the first cookie again, not the
// second one of the first exchange. An authentic time server of another make (the script's, with
// Python's AES-SIV and keys it exports from the key exchange itself) sends 20 new cookies in its
// first answer and none after: eight are kept, so that the tenth of ten samples makes a new key
// exchange. A new cookie is kept up to 1024 bytes.
TEST(NtsQuery, NewKeyExchangesOnNtsnAndWhenTheCookiesRunOut)
{
    UdpResponder refusing(NtsTimeAnswer({.version = 4, .stratum = 0, .referenceId = kNtsn}, false));
    KeResponder responder(
        KeAnswer(Join({kCookie, Record(kNtsRecordCookie, NtsBytes(72, 0xC4))}), &refusing));
    ASSERT_NE(responder.port, 0) << responder.error;
    const auto start = Clock::now();
    const auto [result, keyExchanges] =
        CountedQuery(responder.port, Options(responder.trust, 1000, 2));
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(900));
    EXPECT_EQ(std::tuple(result.reply.has_value(), result.failure.kind, result.failure.reason,
                         result.failure.kissCode, keyExchanges),
              std::tuple(false, FailureKind::KeyExchange,
                         "the server no longer accepts the cookie (kiss-o'-death NTSN)", "NTSN",
                         2));
    const auto received = refusing.Received();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(std::tuple(received[0][kCookieAt], received[1][kCookieAt]), std::tuple(0xC3, 0xC3));

    // Then: 20 new cookies, of which eight are kept; a new cookie of 1024 bytes serves the next
    // sample, and a longer one is dropped.
    for (const auto& [cookies, samples, exchanges] :
         {std::tuple("20,0", size_t{10}, 2), {"1x1024,0", 3, 2}, {"1x1028,0", 3, 3}}) {
        KeResponder authentic(kToItsOwnTimeServer, {.cookies = cookies});
        ASSERT_NE(authentic.port, 0) << authentic.error;
        const auto [served, made] =
            CountedQuery(authentic.port, Options(authentic.trust, 2000, samples));
        EXPECT_EQ(std::tuple(served.samples.size(), served.authenticated, made),
                  std::tuple(samples, true, exchanges))
            << cookies << ": " << served.failure.reason;
    }
}

// A name of two addresses, ::1 first, where nothing listens: the refusal there sends the query
// on to 127.0.0.1, where the answer comes from, reported field by field; a failure is one line. A
// CA file that does not vouch for a key-exchange server leaves it to the system store, which here
// holds the server's certificate: the report names the key exchange and the authentication.
TEST(QueryTool, TriesTheNextAddressOfANameAndTheSystemStore)
{
    if (std::system("unshare -Urm true 2>/dev/null") != 0) {
        GTEST_SKIP() << "no user namespaces here";
    }
    const std::string hosts = testing::TempDir() + "horalink-hosts-" + std::to_string(getpid());
    std::ofstream(hosts) << "::1 localhost\n127.0.0.1 localhost\n";
    UdpResponder server(UdpResponder::NtpServer({}));
    const auto [code, text] = RunTool("localhost " + std::to_string(server.Port()),
                                      "mount --bind " + hosts + " /etc/hosts");
    EXPECT_EQ(code, 0) << text;
    std::filesystem::remove(hosts);
    // The whole report of the scripted server's answer, each field on its own line.
    const std::string at = " +[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{9}Z\n";
    EXPECT_TRUE(std::regex_match(
        text,
        std::regex("Server: +localhost\nAddress: +127\\.0\\.0\\.1 port [0-9]+\nAuthenticated: +no\n"
                   "Version: +3\nLeap indicator: +0\nStratum: +1\nReference id: +\n"
                   "Root delay: +0\\.0{9} s\nRoot dispersion: +0\\.0{9} s\nOriginate \\(T1\\):" +
                   at + "Receive \\(T2\\):" + at + "Transmit \\(T3\\):" + at +
                   "Destination \\(T4\\):" + at + "Delay: +[0-9.]+ s\nOffset: +[-+][0-9.]+ s\n")))
        << text;
    EXPECT_EQ(server.Received().size(), 1u);

    EXPECT_EQ(RunTool("").first, 2); // usage
    const std::string closed = std::to_string(UdpResponder().Port());
    EXPECT_EQ(RunTool("--timeout 0.1 127.0.0.1 " + closed),
              std::pair(1, "horalink-query: no time from 127.0.0.1 port " + closed +
                               ": connection refused\n"));
    KeResponder authentic(kToItsOwnTimeServer,
                          {.cookies = "1", .switches = "NTS_KE_SNI=localhost"}),
        other({});
    const std::string ke = std::to_string(authentic.port);
    const auto [ntsCode, nts] =
        RunTool("--timeout 1 --nts-ca " + other.trust + " nts://localhost:" + ke,
                "mount --bind " + authentic.trust + " /etc/ssl/certs/ca-certificates.crt");
    EXPECT_EQ(ntsCode, 0) << nts;
    EXPECT_TRUE(std::regex_search(nts, std::regex("\nKey exchange:     localhost port " + ke +
                                                  "\nAddress:          127\\.0\\.0\\.1 port [0-9]+"
                                                  "\nAuthenticated:    NTS\n")))
        << nts;
}
