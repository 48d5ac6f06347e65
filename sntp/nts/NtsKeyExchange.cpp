#include "sntp/nts/NtsKeyExchange.h"

namespace
{

constexpr const char* kAlpn = "ntske/1";
constexpr const char* kExporterLabel = "EXPORTER-network-time-security";
constexpr uint8_t kClientToServer = 0;
constexpr uint8_t kServerToClient = 1;

// Protocol id, AEAD id, direction.
NtsBytes ExporterContext(uint16_t aead, uint8_t direction)
{
    NtsBytes context;
    AppendU16(context, kNtsProtocolNtpv4);
    AppendU16(context, aead);
    context.push_back(direction);
    return context;
}

bool ReadResponse(CTlsSession& tls, uint16_t aead, NtsKeResponse& response, std::string& reason)
{
    NtsBytes received;
    for (;;) {
        bool closed{}; // Read sets it
        if (!tls.Read(received, closed)) {
            reason = tls.Error();
            return false;
        }
        const NtsParseState state = ParseNtsKeResponse(received, aead, response, reason);
        if (state != NtsParseState::Incomplete) {
            return state == NtsParseState::Complete;
        }
        if (closed) {
            reason = "key exchange ended before its end record";
            return false;
        }
    }
}

} // namespace

bool RunNtsKeyExchange(const CTlsSession::Peer& peer, const std::string& caFile, const CAead& aead,
                       CTlsSession::Deadline deadline, NtsSession& session, std::string& reason,
                       bool bootstrap)
{
    CTlsSession tls;
    NtsKeResponse response;
    if (!tls.Connect(peer, kAlpn, caFile, deadline, bootstrap) ||
        !tls.Write(BuildNtsKeRequest(aead.Id()))) {
        reason = tls.Error();
        return false;
    }
    if (!ReadResponse(tls, aead.Id(), response, reason)) {
        return false;
    }
    NtsSession result;
    if (!tls.ExportKey(kExporterLabel, ExporterContext(aead.Id(), kClientToServer), aead.KeySize(),
                       result.clientKey) ||
        !tls.ExportKey(kExporterLabel, ExporterContext(aead.Id(), kServerToClient), aead.KeySize(),
                       result.serverKey)) {
        reason = tls.Error();
        return false;
    }
    result.cookies = std::move(response.cookies);
    result.server = response.server.empty() ? peer.host : response.server;
    result.port = response.port;
    result.bootstrapValidity = tls.BootstrapValidity();
    session = std::move(result);
    return true;
}
