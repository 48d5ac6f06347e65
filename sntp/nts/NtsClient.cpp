#include "sntp/nts/NtsClient.h"

#include "platform/LastError.h"
#include "sntp/ClockTarget.h"
#include "sntp/SntpPacket.h"
#include "sntp/UdpSocket.h"
#include "sntp/nts/NtsExtensionFields.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <gnutls/crypto.h>
#include <gnutls/gnutls.h>
#include <optional>
#include <sys/socket.h>

namespace
{

constexpr uint8_t kNtpv4ClientHeader = 0x23; // leap indicator 0, version 4, mode 3
constexpr size_t kTransmitOffset = 40;
// Room for an answer with several new cookies; a longer one is cut and fails to open.
constexpr size_t kMaxAnswerSize = 4096;

using Clock = std::chrono::steady_clock;

std::string NtsCheckText(NtsAnswerCheck check)
{
    switch (check) {
    case NtsAnswerCheck::Authentic:
        break;
    case NtsAnswerCheck::Malformed:
        return "answer rejected: malformed NTS fields";
    case NtsAnswerCheck::Unauthenticated:
        return "answer rejected: not authenticated";
    case NtsAnswerCheck::IdentifierMismatch:
        return "answer rejected: unique identifier mismatch";
    case NtsAnswerCheck::AuthenticatorMismatch:
        return "answer rejected: authenticator mismatch";
    }
    return "";
}

std::string TimeoutText(uint32_t timeoutMs)
{
    char text[64];
    std::snprintf(text, sizeof text, "no answer within %g s", timeoutMs / 1000.0);
    return text;
}

NtsBytes RandomBytes(size_t size)
{
    NtsBytes bytes(size);
    gnutls_rnd(GNUTLS_RND_NONCE, bytes.data(), bytes.size());
    return bytes;
}

} // namespace

struct CNtsClient::Request {
    CNtpTimestamp transmit;
    NtsBytes uniqueId;
    NtsByteView serverKey;
};

bool ParseNtsServer(const std::string& server, std::string& host, uint16_t& port)
{
    if (!IsNtsServer(server)) {
        return false;
    }
    std::string name = server.substr(kNtsScheme.size());
    std::optional<std::string> portText;
    if (!name.empty() && name.front() == '[') {
        const size_t close = name.find(']');
        if (close == std::string::npos) {
            return false;
        }
        const std::string after = name.substr(close + 1);
        if (!after.empty() && after.front() != ':') {
            return false;
        }
        if (!after.empty()) {
            portText = after.substr(1);
        }
        name = name.substr(1, close - 1);
    } else if (const size_t colon = name.find(':');
               colon != std::string::npos && name.find(':', colon + 1) == std::string::npos) {
        // One colon separates the port; more make a bare IPv6 address.
        portText = name.substr(colon + 1);
        name.resize(colon);
    }
    unsigned value = kNtsKePort;
    if (portText) {
        const char* end = portText->data() + portText->size();
        const auto [stop, error] = std::from_chars(portText->data(), end, value);
        if (portText->empty() || error != std::errc() || stop != end || value == 0 ||
            value > UINT16_MAX) {
            return false;
        }
    }
    if (name.empty()) {
        return false;
    }
    host = name;
    port = static_cast<uint16_t>(value);
    return true;
}

NtsOutcome CNtsClient::Run(const QueryOptions& options, const std::string& server, SntpReply& reply)
{
    CNtsClient client(options);
    NtsOutcome outcome;
    outcome.answered = client.Query(server, reply);
    outcome.error = outcome.answered ? 0 : GetLastError();
    outcome.failureReason = client.FailureReason();
    outcome.kissCode = client.KissCode();
    return outcome;
}

bool CNtsClient::Query(const std::string& server, SntpReply& reply)
{
    m_kissCode.clear();
    CTlsSession::Peer peer;
    peer.family = SocketFamily(m_options.family);
    if (!ParseNtsServer(server, peer.host, peer.port)) {
        return Fail(EINVAL, "malformed NTS server " + server);
    }
    NtsSession session;
    std::string reason;
    const auto deadline = Clock::now() + std::chrono::milliseconds(m_options.timeoutMs);
    if (!RunNtsKeyExchange(peer, m_options.ntsCaFile, m_aead, deadline, session, reason,
                           m_options.ntsBootstrap)) {
        return Fail(reason == kKeyExchangeTimedOut ? kErrorTimedOut : EPROTO, reason);
    }
    SntpReply candidate = reply;
    if (!Exchange(session, candidate)) {
        return false;
    }
    if (session.bootstrapValidity) {
        reason = BootstrapTimeProblem(*session.bootstrapValidity, candidate.transmit.UnixSeconds(),
                                      EarliestClockTarget());
        if (!reason.empty()) {
            return Fail(EPROTO, reason);
        }
    }
    reply = std::move(candidate);
    return true;
}

bool CNtsClient::Exchange(const NtsSession& session, SntpReply& reply)
{
    m_kissCode.clear();
    m_rejection.clear();
    std::vector<SocketAddress> addresses;
    if (session.cookies.empty()) {
        return Fail(EPROTO, "key exchange gave no cookie");
    }
    if (!CUdpSocket::LookUp(session.server, session.port, m_options.family, addresses)) {
        return Fail(GetLastError(), "unknown host " + session.server);
    }
    const SocketAddress& address = addresses.front();
    CUdpSocket socket;
    const bool precise = m_options.precision == TimestampPrecision::Nanoseconds;
    if (!socket.Create(address.Family()) || !socket.Connect(address) ||
        (precise && !socket.EnableArrivalTimes())) {
        return Fail(GetLastError(), "cannot reach " + address.Text());
    }
    uint8_t header[kNtpHeaderSize] = {kNtpv4ClientHeader};
    const Request request{TransmitTime(), RandomBytes(kNtsUniqueIdSize), session.serverKey};
    request.transmit.ToNetwork(header + kTransmitOffset);
    const auto packet = BuildNtsRequest(header, request.uniqueId, session.cookies.front(), m_aead,
                                        session.clientKey, RandomBytes(kNtsNonceSize));
    if (!packet) {
        return Fail(EPROTO, "cannot seal the request");
    }
    if (!socket.Send(packet->data(), packet->size())) {
        return Fail(GetLastError(), "cannot send to " + address.Text());
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(m_options.timeoutMs);
    NtsBytes answer(kMaxAnswerSize);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        bool readable = false;
        if (left <= 0 || !socket.WaitReadable(static_cast<uint32_t>(left), readable) || !readable) {
            // Answers came, but none that passed: say which check the last one failed.
            return m_rejection.empty() ? Fail(kErrorTimedOut, TimeoutText(m_options.timeoutMs))
                                       : Fail(EPROTO, m_rejection);
        }
        timespec arrival{};
        const CNtpTimestamp now = TransmitTime();
        const int received = socket.Receive(answer.data(), answer.size(), &arrival);
        if (received == CUdpSocket::kSocketError) {
            const uint32_t error = GetLastError();
            return Fail(error, error == ECONNREFUSED ? "connection refused"
                                                     : "no answer from " + address.Text());
        }
        const CNtpTimestamp destination =
            precise && arrival.tv_sec != 0
                ? CNtpTimestamp::FromUnixTime(arrival.tv_sec,
                                              static_cast<uint32_t>(arrival.tv_nsec))
                : now;
        SntpReply candidate = reply;
        const Verdict verdict =
            Judge(request, NtsByteView(answer).first(static_cast<size_t>(received)), destination,
                  candidate);
        if (verdict == Verdict::Refused) {
            return false;
        }
        if (verdict == Verdict::Accepted) {
            candidate.address = address.Text();
            candidate.port = address.Port();
            candidate.nts = true;
            reply = std::move(candidate);
            m_failureReason.clear();
            return true;
        }
    }
}

// The header's own checks first, so that only the answer to our request counts; then the
// authenticator; a kiss-o'-death counts once it is known to answer our request.
CNtsClient::Verdict CNtsClient::Judge(const Request& request, NtsByteView answer,
                                      const CNtpTimestamp& destination, SntpReply& reply)
{
    std::string kissCode;
    const AnswerVerdict header = ParseSntpAnswer(answer.data(), answer.size(), request.transmit,
                                                 destination, reply, &kissCode);
    switch (header) {
    case AnswerVerdict::TooShort:
    case AnswerVerdict::OriginateMismatch:
    case AnswerVerdict::NotServerMode:
    case AnswerVerdict::BadVersion:
        m_rejection = VerdictText(header, kissCode);
        return Verdict::Dropped;
    default:
        break;
    }
    std::vector<NtsBytes> cookies;
    const NtsAnswerCheck check =
        CheckNtsAnswer(answer, request.uniqueId, m_aead, request.serverKey, cookies);
    if (header == AnswerVerdict::KissOfDeath &&
        (check == NtsAnswerCheck::Authentic || (check == NtsAnswerCheck::Unauthenticated &&
                                                HasUniqueIdentifier(answer, request.uniqueId)))) {
        m_kissCode = kissCode;
        Fail(EPROTO, VerdictText(header, kissCode));
        return Verdict::Refused;
    }
    if (check != NtsAnswerCheck::Authentic) {
        m_rejection = NtsCheckText(check);
        return Verdict::Dropped;
    }
    if (header != AnswerVerdict::Accepted) {
        m_rejection = VerdictText(header, kissCode);
        return Verdict::Dropped;
    }
    return Verdict::Accepted;
}

CNtpTimestamp CNtsClient::TransmitTime() const
{
    return m_options.precision == TimestampPrecision::Nanoseconds ? CNtpTimestamp::NowPrecise()
                                                                  : CNtpTimestamp::Now();
}

bool CNtsClient::Fail(uint32_t error, std::string reason)
{
    m_failureReason = std::move(reason);
    SetLastError(error);
    return false;
}
