#pragma once

#include "sntp/ServerName.h"
#include "sntp/nts/Aead.h"
#include "sntp/nts/NtsRecords.h"
#include "sntp/nts/TlsSession.h"

#include <string>

// What a key exchange hands to the time exchange: the two keys, the cookies and where to ask.
struct NtsSession {
    NtsBytes clientKey; // client to server
    NtsBytes serverKey; // server to client
    std::vector<NtsBytes> cookies;
    std::string server; // as the key exchange named it, or the key-exchange server itself
    uint16_t port = kNtpPort;
    // Set when the certificate dates were not checked against the local clock: the time the
    // server gives must then lie inside it (BootstrapTimeProblem).
    std::optional<CertificateValidity> bootstrapValidity;
};

// The key exchange with peer over TLS 1.3 (ALPN "ntske/1"), for NTPv4 with the given AEAD, all
// of it before the deadline. False with a one-line reason.
bool RunNtsKeyExchange(const CTlsSession::Peer& peer, const std::string& caFile, const CAead& aead,
                       CTlsSession::Deadline deadline, NtsSession& session, std::string& reason,
                       bool bootstrap = false);
