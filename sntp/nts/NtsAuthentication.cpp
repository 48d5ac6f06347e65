#include "sntp/nts/NtsAuthentication.h"

#include "sntp/ClockTarget.h"
#include "sntp/NameLookup.h"
#include "sntp/SntpPacket.h"
#include "sntp/nts/CertificateValidity.h"
#include "sntp/nts/NtsExtensionFields.h"

#include <cerrno>
#include <gnutls/crypto.h>
#include <gnutls/gnutls.h>
#include <sys/socket.h>

namespace
{

constexpr uint8_t kNtpv4ClientHeader = 0x23; // leap indicator 0, version 4, mode 3
constexpr size_t kTransmitOffset = 40;
// Room for an answer with several new cookies; a longer one is cut and fails to open.
constexpr size_t kMaxAnswerSize = 4096;
// The kiss-o'-death of a server that could not use the cookie (RFC 8915, section 5.7).
constexpr const char* kNtsNak = "NTSN";

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

NtsBytes RandomBytes(size_t size)
{
    NtsBytes bytes(size);
    gnutls_rnd(GNUTLS_RND_NONCE, bytes.data(), bytes.size());
    return bytes;
}

CAuthentication::Verdict Drop(QueryFailure& failure, std::string reason)
{
    failure = {FailureKind::Rejected, EPROTO, std::move(reason), {}};
    return CAuthentication::Verdict::Dropped;
}

} // namespace

std::unique_ptr<CAuthentication> CNtsAuthentication::Create(const ServerName& server,
                                                            const QueryOptions& options)
{
    return std::make_unique<CNtsAuthentication>(server, options);
}

size_t CNtsAuthentication::MaxAnswerSize() const
{
    return kMaxAnswerSize;
}

bool CNtsAuthentication::Prepare(Deadline deadline, Target& target, QueryFailure& failure)
{
    if (!m_session || m_session->cookies.empty()) {
        const CTlsSession::Peer peer{m_server.host, m_server.port, SocketFamily(m_options.family)};
        NtsSession session;
        std::string reason;
        ++m_keyExchanges;
        if (!RunNtsKeyExchange(peer, m_options.ntsCaFile, m_aead, deadline, session, reason,
                               m_options.ntsBootstrap)) {
            const bool lookup = reason == kLookupTimedOut || reason == ErrorText(ENXIO);
            const bool late = reason == kKeyExchangeTimedOut || reason == kLookupTimedOut;
            failure = {lookup ? FailureKind::Lookup : FailureKind::KeyExchange,
                       late ? static_cast<uint32_t>(ETIMEDOUT) : static_cast<uint32_t>(EPROTO),
                       reason,
                       {}};
            return false;
        }
        m_session = std::move(session);
    }
    target = {m_session->server, m_session->port};
    return true;
}

std::vector<uint8_t> CNtsAuthentication::Request(const CNtpTimestamp& transmit)
{
    if (!m_session || m_session->cookies.empty()) {
        return {};
    }
    uint8_t header[kNtpHeaderSize] = {kNtpv4ClientHeader};
    transmit.ToNetwork(header + kTransmitOffset);
    m_uniqueId = RandomBytes(kNtsUniqueIdSize);
    // Each cookie goes out once: a second use would link the requests.
    const NtsBytes cookie = std::move(m_session->cookies.front());
    m_session->cookies.erase(m_session->cookies.begin());
    auto packet = BuildNtsRequest(header, m_uniqueId, cookie, m_aead, m_session->clientKey,
                                  RandomBytes(kNtsNonceSize));
    return packet ? std::move(*packet) : std::vector<uint8_t>{};
}

// The header's own checks first, so that only the answer to our request counts; then the
// authenticator. A kiss-o'-death counts only authenticated, except NTSN, which a server sends
// when it cannot read the cookie and so cannot authenticate: it must carry our identifier.
CAuthentication::Verdict CNtsAuthentication::Judge(const uint8_t* data, size_t length,
                                                   AnswerVerdict header,
                                                   const std::string& kissCode,
                                                   QueryFailure& failure)
{
    switch (header) {
    case AnswerVerdict::TooShort:
    case AnswerVerdict::OriginateMismatch:
    case AnswerVerdict::NotServerMode:
    case AnswerVerdict::BadVersion:
        return Drop(failure, VerdictText(header, kissCode));
    default:
        break;
    }
    const NtsByteView answer(data, length);
    std::vector<NtsBytes> cookies;
    const NtsAnswerCheck check =
        CheckNtsAnswer(answer, m_uniqueId, m_aead, m_session->serverKey, cookies);
    if (header == AnswerVerdict::KissOfDeath && kissCode == kNtsNak &&
        (check == NtsAnswerCheck::Authentic ||
         (check == NtsAnswerCheck::Unauthenticated && HasUniqueIdentifier(answer, m_uniqueId)))) {
        // The keys and cookies are of no use any more: the next sample exchanges new ones.
        m_session.reset();
        failure = {FailureKind::KeyExchange, EPROTO,
                   "the server no longer accepts the cookie (kiss-o'-death NTSN)", kissCode};
        return Verdict::Ends;
    }
    if (check != NtsAnswerCheck::Authentic) {
        return Drop(failure, NtsCheckText(check));
    }
    if (header == AnswerVerdict::KissOfDeath) {
        failure = {FailureKind::Kiss, EPROTO, VerdictText(header, kissCode), kissCode};
        return Verdict::Ends;
    }
    if (header != AnswerVerdict::Accepted) {
        return Drop(failure, VerdictText(header, kissCode));
    }
    if (m_session->bootstrapValidity) {
        // The certificate dates were not judged by the local clock: the authenticated time must
        // lie inside them, and after the build.
        std::string problem =
            BootstrapTimeProblem(*m_session->bootstrapValidity,
                                 AnswerTransmitTime(data).UnixSeconds(), EarliestClockTarget());
        if (!problem.empty()) {
            failure = {FailureKind::Rejected, EPROTO, std::move(problem), ""};
            return Verdict::Ends;
        }
    }
    KeepCookies(std::move(cookies));
    return Verdict::Accepted;
}

void CNtsAuthentication::KeepCookies(std::vector<NtsBytes> cookies)
{
    for (NtsBytes& cookie : cookies) {
        if (cookie.size() <= kNtsMaxCookieSize && m_session->cookies.size() < kNtsMaxCookies) {
            m_session->cookies.push_back(std::move(cookie));
        }
    }
}
