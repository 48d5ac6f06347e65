#include "sntp/nts/TlsSession.h"

#include "sntp/ClockTarget.h"
#include "sntp/NameLookup.h"

#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <gnutls/gnutls.h>
#include <gnutls/x509.h>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

// TLS 1.3 only: NTS forbids the older versions.
constexpr const char* kPriorities = "NORMAL:-VERS-ALL:+VERS-TLS1.3";

bool IsAddress(const std::string& host)
{
    in6_addr buffer{};
    return inet_pton(AF_INET, host.c_str(), &buffer) == 1 ||
           inet_pton(AF_INET6, host.c_str(), &buffer) == 1;
}

// Everything but the dates, for a clock that cannot be trusted.
constexpr unsigned kNoDateChecks =
    GNUTLS_VERIFY_DISABLE_TIME_CHECKS | GNUTLS_VERIFY_DISABLE_TRUSTED_TIME_CHECKS;

// GnuTLS's own words for what is left, on one line without trailing blanks.
std::string GnutlsVerdict(unsigned status)
{
    gnutls_datum_t text{};
    if (gnutls_certificate_verification_status_print(status, GNUTLS_CRT_X509, &text, 0) < 0) {
        return "not trusted";
    }
    std::string result(reinterpret_cast<const char*>(text.data), text.size);
    gnutls_free(text.data);
    while (!result.empty() && std::isspace(static_cast<unsigned char>(result.back()))) {
        result.pop_back();
    }
    return result;
}

// The first failed check, as a person reads it: the issuer, then the name, then the dates.
std::string VerificationText(unsigned status, const std::string& host,
                             const CertificateValidity& validity)
{
    std::string text;
    if (status & (GNUTLS_CERT_SIGNER_NOT_FOUND | GNUTLS_CERT_SIGNER_NOT_CA)) {
        text = "untrusted issuer";
    } else if (status & GNUTLS_CERT_UNEXPECTED_OWNER) {
        text = "name mismatch: the certificate is not for " + host;
    } else if (status & (GNUTLS_CERT_NOT_ACTIVATED | GNUTLS_CERT_EXPIRED)) {
        text = CertificateDateProblem(validity, std::time(nullptr), "this computer's date");
    }
    return "certificate refused: " + (text.empty() ? GnutlsVerdict(status) : text);
}

struct CertificateDeleter {
    void operator()(gnutls_x509_crt_int* certificate) const { gnutls_x509_crt_deinit(certificate); }
};
using Certificate = std::unique_ptr<gnutls_x509_crt_int, CertificateDeleter>;

} // namespace

CTlsSession::~CTlsSession()
{
    if (m_session) {
        gnutls_deinit(m_session);
    }
    if (m_credentials) {
        gnutls_certificate_free_credentials(m_credentials);
    }
    if (m_socket >= 0) {
        close(m_socket);
    }
}

bool CTlsSession::Connect(const Peer& peer, const std::string& alpn, const std::string& caFile,
                          Deadline deadline, bool bootstrap)
{
    m_deadline = deadline;
    m_bootstrap = bootstrap || std::time(nullptr) < EarliestClockTarget();
    return ConnectTcp(peer) && Handshake(peer.host, alpn, caFile) && VerifyPeer(peer.host) &&
           CheckNegotiated(alpn);
}

bool CTlsSession::ConnectTcp(const Peer& peer)
{
    std::vector<SocketAddress> addresses;
    QueryFailure lookup;
    if (!LookUpAddresses(peer.host, peer.port, peer.family, m_deadline, addresses, lookup)) {
        return Fail(lookup.reason);
    }
    int error = ETIMEDOUT;
    for (const SocketAddress& a : addresses) {
        m_socket = socket(a.Family(), SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (m_socket < 0) {
            error = errno;
            continue;
        }
        // The request follows the handshake's last flight at once, not after a delayed ACK.
        const int on = 1;
        setsockopt(m_socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        if (connect(m_socket, reinterpret_cast<const sockaddr*>(&a.storage), a.length) == 0) {
            return true;
        }
        error = errno;
        socklen_t length = sizeof error;
        if (error == EINPROGRESS && WaitForSocket() &&
            getsockopt(m_socket, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0) {
            return true;
        }
        close(m_socket);
        m_socket = -1;
        if (error == EINPROGRESS) {
            error = ETIMEDOUT;
            break;
        }
    }
    return Fail(error == ECONNREFUSED ? "connection refused"
                : error == ETIMEDOUT  ? kKeyExchangeTimedOut
                                      : std::string("cannot connect: ") + std::strerror(error));
}

bool CTlsSession::Handshake(const std::string& host, const std::string& alpn,
                            const std::string& caFile)
{
    int rc = gnutls_certificate_allocate_credentials(&m_credentials);
    if (rc < 0) {
        return FailTls("TLS set-up failed", rc);
    }
    // The system store takes longer to read than the whole exchange: it is read only when the
    // CA given does not vouch for the server (VerifyPeer).
    if (!caFile.empty() && gnutls_certificate_set_x509_trust_file(m_credentials, caFile.c_str(),
                                                                  GNUTLS_X509_FMT_PEM) <= 0) {
        return Fail("cannot read the CA file " + caFile);
    }
    if (caFile.empty()) {
        // Without a CA file the system store is all there is; a machine without one then
        // refuses every certificate, which VerifyPeer reports.
        gnutls_certificate_set_x509_system_trust(m_credentials);
        m_systemTrustLoaded = true;
    }
    if (m_bootstrap) {
        gnutls_certificate_set_verify_flags(m_credentials, kNoDateChecks);
    }
    // A server that closes early must not kill the process with SIGPIPE.
    rc = gnutls_init(&m_session, GNUTLS_CLIENT | GNUTLS_NONBLOCK | GNUTLS_NO_SIGNAL);
    if (rc < 0) {
        m_session = nullptr;
        return FailTls("TLS set-up failed", rc);
    }
    const gnutls_datum_t protocol{reinterpret_cast<unsigned char*>(const_cast<char*>(alpn.data())),
                                  static_cast<unsigned>(alpn.size())};
    // Server name indication carries names only, never addresses.
    if ((rc = gnutls_priority_set_direct(m_session, kPriorities, nullptr)) < 0 ||
        (rc = gnutls_credentials_set(m_session, GNUTLS_CRD_CERTIFICATE, m_credentials)) < 0 ||
        (rc = gnutls_alpn_set_protocols(m_session, &protocol, 1, 0)) < 0 ||
        (!IsAddress(host) &&
         (rc = gnutls_server_name_set(m_session, GNUTLS_NAME_DNS, host.data(), host.size())) < 0)) {
        return FailTls("TLS set-up failed", rc);
    }
    gnutls_transport_set_int(m_session, m_socket);
    while ((rc = gnutls_handshake(m_session)) < 0) {
        if (rc == GNUTLS_E_NO_APPLICATION_PROTOCOL) {
            return Fail("server does not speak " + alpn + " (ALPN)");
        }
        if (gnutls_error_is_fatal(rc)) {
            return FailTls("TLS handshake failed", rc);
        }
        if (!WaitForSocket()) {
            return false;
        }
    }
    return true;
}

// After the handshake and before a byte of the request is sent: the chain against the trust
// anchors, the name, and (unless bootstrapping) the dates against this computer's clock.
bool CTlsSession::VerifyPeer(const std::string& host)
{
    unsigned status = 0;
    int rc = gnutls_certificate_verify_peers3(m_session, host.c_str(), &status);
    if (rc >= 0 && (status & GNUTLS_CERT_SIGNER_NOT_FOUND) && !m_systemTrustLoaded) {
        gnutls_certificate_set_x509_system_trust(m_credentials);
        m_systemTrustLoaded = true;
        rc = gnutls_certificate_verify_peers3(m_session, host.c_str(), &status);
    }
    if (rc < 0) {
        return FailTls("certificate refused", rc);
    }
    const CertificateValidity validity = ChainValidity();
    if (status != 0) {
        return Fail(VerificationText(status, host, validity));
    }
    if (m_bootstrap) {
        m_bootstrapValidity = validity;
    }
    return true;
}

// The server's chain and the trust anchor that issued its last certificate.
CertificateValidity CTlsSession::ChainValidity() const
{
    CertificateValidity validity;
    unsigned count = 0;
    const gnutls_datum_t* chain = gnutls_certificate_get_peers(m_session, &count);
    Certificate last;
    for (unsigned i = 0; chain && i < count; ++i) {
        gnutls_x509_crt_t raw = nullptr;
        if (gnutls_x509_crt_init(&raw) < 0) {
            continue;
        }
        Certificate certificate(raw);
        if (gnutls_x509_crt_import(raw, &chain[i], GNUTLS_X509_FMT_DER) < 0) {
            // Unreadable dates make the chain valid at no time at all.
            validity.Intersect(INT64_MAX, INT64_MIN);
            continue;
        }
        validity.Intersect(gnutls_x509_crt_get_activation_time(raw),
                           gnutls_x509_crt_get_expiration_time(raw));
        last = std::move(certificate);
    }
    gnutls_x509_crt_t issuer = nullptr;
    if (last && gnutls_certificate_get_issuer(m_credentials, last.get(), &issuer, 0) >= 0 &&
        issuer != nullptr) {
        validity.Intersect(gnutls_x509_crt_get_activation_time(issuer),
                           gnutls_x509_crt_get_expiration_time(issuer));
    }
    return validity;
}

// The protocol is checked here, once; TLS 1.3 is the only version kPriorities offers.
bool CTlsSession::CheckNegotiated(const std::string& alpn)
{
    gnutls_datum_t selected{};
    if (gnutls_alpn_get_selected_protocol(m_session, &selected) < 0 ||
        std::string(reinterpret_cast<const char*>(selected.data), selected.size) != alpn) {
        return Fail("server does not speak " + alpn + " (ALPN)");
    }
    return true;
}

bool CTlsSession::Write(NtsByteView data)
{
    while (!data.empty()) {
        const ssize_t rc = gnutls_record_send(m_session, data.data(), data.size());
        if (rc >= 0) {
            data = data.subspan(static_cast<size_t>(rc));
        } else if (gnutls_error_is_fatal(static_cast<int>(rc))) {
            return FailTls("TLS send failed", static_cast<int>(rc));
        } else if (!WaitForSocket()) {
            return false;
        }
    }
    return true;
}

bool CTlsSession::Read(NtsBytes& buffer, bool& closed)
{
    closed = false;
    uint8_t chunk[4096];
    for (;;) {
        const ssize_t rc = gnutls_record_recv(m_session, chunk, sizeof chunk);
        if (rc > 0) {
            buffer.insert(buffer.end(), chunk, chunk + rc);
            return true;
        }
        // A peer that closes the TCP stream without a TLS goodbye has still ended it.
        if (rc == 0 || rc == GNUTLS_E_PREMATURE_TERMINATION) {
            closed = true;
            return true;
        }
        if (gnutls_error_is_fatal(static_cast<int>(rc))) {
            return FailTls("TLS receive failed", static_cast<int>(rc));
        }
        if (!WaitForSocket()) {
            return false;
        }
    }
}

bool CTlsSession::ExportKey(const std::string& label, NtsByteView context, size_t size,
                            NtsBytes& key)
{
    key.assign(size, 0);
    const int rc = gnutls_prf_rfc5705(m_session, label.size(), label.data(), context.size(),
                                      reinterpret_cast<const char*>(context.data()), size,
                                      reinterpret_cast<char*>(key.data()));
    return rc >= 0 || FailTls("key export failed", rc);
}

bool CTlsSession::WaitForSocket()
{
    const bool writing = m_session ? gnutls_record_get_direction(m_session) == 1 : true;
    pollfd p{};
    p.fd = m_socket;
    p.events = writing ? POLLOUT : POLLIN;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            m_deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return Fail(kKeyExchangeTimedOut);
        }
        const int ready = poll(&p, 1, static_cast<int>(left.count()) + 1);
        if (ready > 0) {
            return true;
        }
        if (ready < 0 && errno != EINTR) {
            return Fail(std::string("poll failed: ") + std::strerror(errno));
        }
    }
}

bool CTlsSession::Fail(std::string reason)
{
    m_error = std::move(reason);
    return false;
}

bool CTlsSession::FailTls(const char* what, int code)
{
    return Fail(std::string(what) + ": " + gnutls_strerror(code));
}
