#pragma once

#include "sntp/nts/CertificateValidity.h"
#include "sntp/nts/NtsBytes.h"

#include <chrono>
#include <optional>
#include <string>

// The reason left when the deadline passes.
constexpr const char* kKeyExchangeTimedOut = "key exchange timed out";

struct gnutls_session_int;
struct gnutls_certificate_credentials_st;

// One TLS 1.3 client connection over TCP, with GnuTLS, for the NTS key exchange. Every call
// gives up at the deadline passed to Connect. Failures leave one short line in Error().
class CTlsSession
{
public:
    using Deadline = std::chrono::steady_clock::time_point;

    struct Peer {
        std::string host; // a name, or an IPv4 or IPv6 address without brackets
        uint16_t port = 0;
        int family = 0; // AF_UNSPEC, AF_INET or AF_INET6
    };

    CTlsSession() = default;
    ~CTlsSession();
    CTlsSession(const CTlsSession&) = delete;
    CTlsSession& operator=(const CTlsSession&) = delete;

    // Connects to the first address of the peer that accepts, then shakes hands offering only
    // alpn, and checks the certificate against caFile (when not empty), then the system's trust
    // store, and the host name or address. The dates are checked against this computer's clock,
    // unless bootstrap is asked or the clock lies before the build date: then they are left to
    // the caller, who judges the authenticated time against BootstrapValidity().
    bool Connect(const Peer& peer, const std::string& alpn, const std::string& caFile,
                 Deadline deadline, bool bootstrap = false);
    bool Write(NtsByteView data);
    // Appends what arrives next to buffer; closed tells that the server ended the stream.
    bool Read(NtsBytes& buffer, bool& closed);
    // RFC 5705 keying material for the label and context.
    bool ExportKey(const std::string& label, NtsByteView context, size_t size, NtsBytes& key);

    const std::string& Error() const { return m_error; }
    // After a bootstrap connection, the validity of the whole chain, trust anchor included;
    // empty when the dates were checked against this computer's clock.
    const std::optional<CertificateValidity>& BootstrapValidity() const
    {
        return m_bootstrapValidity;
    }

private:
    bool ConnectTcp(const Peer& peer);
    bool Handshake(const std::string& host, const std::string& alpn, const std::string& caFile);
    bool VerifyPeer(const std::string& host);
    CertificateValidity ChainValidity() const;
    bool CheckNegotiated(const std::string& alpn);
    // Waits until the socket can go on in the direction GnuTLS last asked for.
    bool WaitForSocket();
    bool Fail(std::string reason);
    bool FailTls(const char* what, int code);

    int m_socket = -1;
    Deadline m_deadline{};
    gnutls_session_int* m_session = nullptr;
    gnutls_certificate_credentials_st* m_credentials = nullptr;
    std::string m_error;
    bool m_bootstrap = false;
    bool m_systemTrustLoaded = false;
    std::optional<CertificateValidity> m_bootstrapValidity;
};
