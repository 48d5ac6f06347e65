// The NTS query end to end on loopback: against chronyd as an NTS server, against a scripted
// key-exchange server (Python's ssl) that answers wrongly, and against a scripted time server
// whose answers are forged.
#include "sntp/nts/NtsClient.h"
#include "platform/LastError.h"
#include "sntp/SntpClient.h"
#include "sntp/nts/NtsExtensionFields.h"
#include "tests/common/ChronyServer.h"
#include "tests/common/TestCertificate.h"
#include "tests/common/UdpResponder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

using Bytes = UdpResponder::Bytes;
using Clock = std::chrono::steady_clock;

constexpr uint16_t kAeadId = CAesSivCmac256::kId;
constexpr uint16_t kCritical = kNtsRecordCritical;

QueryOptions Options(std::string caFile = "", uint32_t timeoutMs = 5000)
{
    return {.precision = TimestampPrecision::Nanoseconds,
            .timeoutMs = timeoutMs,
            .ntsCaFile = std::move(caFile)};
}

std::string Hex(const NtsBytes& bytes)
{
    std::string text;
    char digits[3];
    for (const uint8_t b : bytes) {
        std::snprintf(digits, sizeof digits, "%02x", b);
        text += digits;
    }
    return text;
}

NtsBytes Record(uint16_t type, const NtsBytes& body)
{
    NtsBytes out;
    AppendU16(out, type);
    AppendU16(out, static_cast<uint16_t>(body.size()));
    Append(out, body);
    return out;
}

NtsBytes U16(uint16_t value)
{
    return {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
}

NtsBytes Records(const std::vector<NtsBytes>& records)
{
    NtsBytes out;
    for (const NtsBytes& r : records) {
        Append(out, r);
    }
    return out;
}

// A folder with a test certificate, removed at the end.
class CertificateFolder
{
public:
    CertificateFolder()
    {
        char pattern[] = "/tmp/horalink-nts.XXXXXX";
        m_dir = mkdtemp(pattern) ? pattern : "";
        m_made = !m_dir.empty() && MakeTestCertificate(m_dir, m_error);
    }
    ~CertificateFolder() { std::filesystem::remove_all(m_dir); }
    bool Made() const { return m_made; }
    const std::string& Error() const { return m_error; }
    std::string Cert() const { return m_dir + "/cert.pem"; }
    std::string Key() const { return m_dir + "/key.pem"; }

private:
    std::string m_dir, m_error;
    bool m_made = false;
};

// The scripted key-exchange server: tests/sntp/nts_ke_responder.py under Debian's Python.
class KeResponder
{
public:
    KeResponder(const CertificateFolder& certificate, const NtsBytes& answer,
                const std::string& alpn = "ntske/1")
    {
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        const std::string hex = Hex(answer), cert = certificate.Cert(), key = certificate.Key();
        const char* argv[] = {"python3",    HORALINK_NTS_KE_RESPONDER,
                              cert.c_str(), key.c_str(),
                              hex.c_str(),  alpn.c_str(),
                              nullptr};
        if (posix_spawn(&m_pid, "/usr/bin/python3", &actions, nullptr, const_cast<char**>(argv),
                        environ) != 0) {
            m_pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        m_stdin = in[1];
        std::string line;
        char c = 0;
        while (m_pid > 0 && read(out[0], &c, 1) == 1 && c != '\n') {
            line += c;
        }
        close(out[0]);
        m_port = static_cast<uint16_t>(std::atoi(line.c_str()));
    }
    ~KeResponder()
    {
        close(m_stdin); // the script ends when its input does
        if (m_pid > 0) {
            waitpid(m_pid, nullptr, 0);
        }
    }
    uint16_t Port() const { return m_port; }

private:
    pid_t m_pid = -1;
    int m_stdin = -1;
    uint16_t m_port = 0;
};

// The time server's side of one exchange: reads the request's transmit time and unique
// identifier, and answers as told.
struct ForgedAnswer {
    uint8_t first = 0x24; // leap indicator 0, version 4, mode 4
    uint8_t stratum = 2;
    uint32_t referenceId = 0;
    bool echoIdentifier = true;
    bool authenticate = true;
    NtsBytes key = {};
};

UdpResponder::Script TimeServer(ForgedAnswer forged)
{
    return [forged](const Bytes& request) -> std::optional<Bytes> {
        Bytes answer(kNtpHeaderSize, 0);
        answer[0] = forged.first;
        answer[1] = forged.stratum;
        for (int i = 0; i < 4; ++i) {
            answer[12 + i] = static_cast<uint8_t>(forged.referenceId >> (24 - 8 * i));
        }
        std::copy_n(request.begin() + 40, 8, answer.begin() + 24);
        const uint64_t now = UdpResponder::NtpNow();
        for (int i = 0; i < 8; ++i) {
            answer[32 + i] = answer[40 + i] = static_cast<uint8_t>(now >> (56 - 8 * i));
        }
        NtsBytes id(request.begin() + kNtpHeaderSize + kEfHeaderSize,
                    request.begin() + kNtpHeaderSize + kEfHeaderSize + kNtsUniqueIdSize);
        if (!forged.echoIdentifier) {
            id[0] ^= 1;
        }
        AppendExtensionField(answer, kEfUniqueIdentifier, id);
        NtsBytes cookie;
        AppendExtensionField(cookie, kEfCookie, NtsBytes(64, 0xC2));
        if (forged.authenticate) {
            AppendAuthenticator(answer, CAesSivCmac256(), forged.key, NtsBytes(16, 7), cookie);
        }
        return answer;
    };
}

} // namespace

// chronyd with a certificate for 127.0.0.1: trusted through the extra CA file it answers within
// a millisecond of the plain query; untrusted, or at a port without a server, it is refused.
TEST(NtsClient, AgainstChronyd)
{
    ChronyServer server({.port = 0, .stratum = 8, .nts = true});
    ASSERT_TRUE(server.Start()) << server.Error();
    const std::string url = "nts://127.0.0.1:" + std::to_string(server.NtsPort());

    CSntpClient client;
    client.SetOptions(Options(server.CertificateFile()));
    SntpReply nts, plain;
    ASSERT_TRUE(client.QueryServer(url, nts, 123)) << client.FailureReason();
    EXPECT_TRUE(nts.nts);
    EXPECT_EQ(nts.stratum, 8u);
    EXPECT_EQ(nts.version, 4);
    EXPECT_EQ(nts.address, "127.0.0.1");
    EXPECT_EQ(nts.port, server.Port());
    ASSERT_TRUE(client.QueryServer("127.0.0.1", plain, server.Port())) << client.FailureReason();
    EXPECT_FALSE(plain.nts);
    EXPECT_LT(std::fabs(nts.clockOffset - plain.clockOffset), 1e-3);

    const struct {
        std::string server, caFile, reason;
    } refusals[] = {
        {url, "", "certificate refused"},
        {url, "/nonexistent.pem", "cannot read the CA file"},
        {"nts://127.0.0.1:" + std::to_string(FindFreeUdpPort()), server.CertificateFile(),
         "connection refused"},
        {"nts://127.0.0.1:x", "", "malformed NTS server"},
    };
    for (const auto& r : refusals) {
        SCOPED_TRACE(r.server + " trusting " + r.caFile);
        SntpReply reply = nts;
        client.SetOptions(Options(r.caFile));
        EXPECT_FALSE(client.QueryServer(r.server, reply, 123));
        EXPECT_NE(client.FailureReason().find(r.reason), std::string::npos)
            << client.FailureReason();
        EXPECT_EQ(reply.destination, nts.destination);
    }
}

// Key-exchange answers that must not lead to a time exchange, and one whose server and port
// records send the time request elsewhere, where a plain answer is refused.
TEST(NtsClient, RefusesWrongKeyExchanges)
{
    CertificateFolder certificate;
    ASSERT_TRUE(certificate.Made()) << certificate.Error();
    UdpResponder plainServer(UdpResponder::NtpServer({.version = 4}));
    const NtsBytes protocol = Record(kCritical | kNtsRecordNextProtocol, U16(0));
    const NtsBytes aead = Record(kNtsRecordAead, U16(kAeadId));
    const NtsBytes cookie = Record(kNtsRecordCookie, NtsBytes(72, 0xC3));
    const NtsBytes end = Record(kCritical | kNtsRecordEnd, {});
    const NtsBytes here =
        Records({Record(kNtsRecordServer, {'1', '2', '7', '.', '0', '.', '0', '.', '1'}),
                 Record(kNtsRecordPort, U16(plainServer.Port()))});
    const struct {
        const char* name;
        NtsBytes answer;
        std::string alpn = "ntske/1";
        const char* reason;
    } cases[] = {
        {"no cookie", Records({protocol, aead, end}), "ntske/1", "no cookie"},
        {"error record", Records({protocol, Record(kCritical | kNtsRecordError, U16(1)), end}),
         "ntske/1", "bad request"},
        {"other AEAD", Records({protocol, Record(kNtsRecordAead, U16(1)), cookie, end}), "ntske/1",
         "AEAD"},
        {"no end record", Records({protocol, aead, cookie}), "ntske/1", "before its end record"},
        {"other protocol by ALPN", Records({protocol, aead, cookie, end}), "http/1.1", "ALPN"},
        {"silence", {}, "ntske/1", "key exchange timed out"},
        {"plain time answer", Records({protocol, aead, cookie, here, end}), "ntske/1",
         "not authenticated"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        KeResponder responder(certificate, c.answer, c.alpn);
        ASSERT_NE(responder.Port(), 0);
        CNtsClient client(Options(certificate.Cert(), 1000));
        SntpReply reply;
        const auto start = Clock::now();
        EXPECT_FALSE(client.Query("nts://127.0.0.1:" + std::to_string(responder.Port()), reply));
        EXPECT_NE(client.FailureReason().find(c.reason), std::string::npos)
            << client.FailureReason();
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1500));
        EXPECT_EQ(reply.destination, CNtpTimestamp());
    }
    // The request went where the key exchange said, with its cookie.
    const auto received = plainServer.Received();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0][kNtpHeaderSize + 36 + kEfHeaderSize], 0xC3);
}

// Time answers from a server that knows, or not, the keys of a finished key exchange.
TEST(NtsClient, RefusesForgedTimeAnswers)
{
    NtsSession session;
    session.clientKey = NtsBytes(32, 0x11);
    session.serverKey = NtsBytes(32, 0x22);
    session.cookies = {NtsBytes(64, 0xC1)};
    session.server = "127.0.0.1";
    const NtsBytes otherKey(32, 0x33);
    constexpr uint32_t kNtsn = 0x4E54534E;
    const struct {
        const char* name;
        ForgedAnswer answer;
        const char* reason; // empty: taken
        const char* kissCode = "";
    } cases[] = {
        {"authentic", {.key = session.serverKey}, ""},
        {"other identifier",
         {.echoIdentifier = false, .key = session.serverKey},
         "unique identifier mismatch"},
        {"other key", {.key = otherKey}, "authenticator mismatch"},
        {"not authenticated", {.authenticate = false}, "not authenticated"},
        {"unsynchronised", {.first = 0xE4, .key = session.serverKey}, "leap indicator 3"},
        {"cookie refused",
         {.stratum = 0, .referenceId = kNtsn, .authenticate = false},
         "kiss-o'-death NTSN",
         "NTSN"},
        {"someone else's kiss",
         {.stratum = 0, .referenceId = kNtsn, .echoIdentifier = false, .authenticate = false},
         "not authenticated"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        UdpResponder server(TimeServer(c.answer));
        session.port = server.Port();
        CNtsClient client(Options("", 500));
        SntpReply reply;
        const bool taken = client.Exchange(session, reply);
        EXPECT_EQ(taken, *c.reason == '\0') << client.FailureReason();
        EXPECT_NE(client.FailureReason().find(c.reason), std::string::npos)
            << client.FailureReason();
        EXPECT_EQ(client.KissCode(), c.kissCode);
        EXPECT_EQ(reply.nts, taken);
        if (taken) {
            EXPECT_LT(std::fabs(reply.clockOffset), 0.05);
        }
        EXPECT_EQ(server.Received().size(), 1u);
    }
}

TEST(NtsClient, ReadsServerNames)
{
    const struct {
        const char* text;
        const char* host; // nullptr: refused
        uint16_t port = kNtsKePort;
    } cases[] = {
        {"nts://time.example", "time.example"},
        {"NTS://time.example:1234", "time.example", 1234},
        {"nts://[::1]:4461", "::1", 4461},
        {"nts://[::1]", "::1"},
        {"nts://::1", "::1"},
        {"nts://127.0.0.1:65535", "127.0.0.1", 65535},
        {"nts://", nullptr},
        {"nts://host:", nullptr},
        {"nts://host:0", nullptr},
        {"nts://host:65536", nullptr},
        {"nts://[::1]x", nullptr},
        {"nts://[::1", nullptr},
        {"time.example", nullptr},
    };
    for (const auto& c : cases) {
        std::string host;
        uint16_t port = 0;
        EXPECT_EQ(ParseNtsServer(c.text, host, port), c.host != nullptr) << c.text;
        if (c.host) {
            EXPECT_EQ(host, c.host) << c.text;
            EXPECT_EQ(port, c.port) << c.text;
        }
    }
}
