#include "sntp/nts/TlsSession.h"

#include "sntp/NameLookup.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <gnutls/gnutls.h>
#include <gnutls/x509.h>
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

// The certificate check's verdict, as GnuTLS words it, on one line.
std::string VerificationText(unsigned status)
{
    gnutls_datum_t text{};
    if (gnutls_certificate_verification_status_print(status, GNUTLS_CRT_X509, &text, 0) < 0) {
        return "certificate refused";
    }
    std::string result(reinterpret_cast<const char*>(text.data), text.size);
    gnutls_free(text.data);
    return "certificate refused: " + result;
}

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
                          Deadline deadline)
{
    m_deadline = deadline;
    return ConnectTcp(peer) && Handshake(peer.host, alpn, caFile) && CheckNegotiated(alpn);
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
        if (connect(m_socket, reinterpret_cast<const sockaddr*>(&a.storage), a.length) == 0) {
            return true;
        }
        error = errno;
        pollfd p{m_socket, POLLOUT, 0};
        socklen_t length = sizeof error;
        if (error == EINPROGRESS && WaitForSocket() && poll(&p, 1, 0) == 1 &&
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
    // A machine without a system store can still trust the one CA it was given.
    gnutls_certificate_set_x509_system_trust(m_credentials);
    if (!caFile.empty() && gnutls_certificate_set_x509_trust_file(m_credentials, caFile.c_str(),
                                                                  GNUTLS_X509_FMT_PEM) <= 0) {
        return Fail("cannot read the CA file " + caFile);
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
        (rc = gnutls_alpn_set_protocols(m_session, &protocol, 1, GNUTLS_ALPN_MANDATORY)) < 0 ||
        (!IsAddress(host) &&
         (rc = gnutls_server_name_set(m_session, GNUTLS_NAME_DNS, host.data(), host.size())) < 0)) {
        return FailTls("TLS set-up failed", rc);
    }
    gnutls_session_set_verify_cert(m_session, host.c_str(), 0);
    gnutls_transport_set_int(m_session, m_socket);
    while ((rc = gnutls_handshake(m_session)) < 0) {
        if (rc == GNUTLS_E_CERTIFICATE_VERIFICATION_ERROR) {
            return Fail(VerificationText(gnutls_session_get_verify_cert_status(m_session)));
        }
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

bool CTlsSession::CheckNegotiated(const std::string& alpn)
{
    if (gnutls_protocol_get_version(m_session) != GNUTLS_TLS1_3) {
        return Fail("server did not use TLS 1.3");
    }
    gnutls_datum_t selected{};
    if (gnutls_alpn_get_selected_protocol(m_session, &selected) < 0 ||
        std::string(reinterpret_cast<const char*>(selected.data), selected.size) != alpn) {
        return Fail("server does not speak " + alpn + " (ALPN)");
    }
    return true;
}

bool CTlsSession::Write(NtsByteView data)
{
    size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t rc = gnutls_record_send(m_session, data.data() + sent, data.size() - sent);
        if (rc >= 0) {
            sent += static_cast<size_t>(rc);
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
    pollfd p{m_socket, static_cast<short>(writing ? POLLOUT : POLLIN), 0};
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
