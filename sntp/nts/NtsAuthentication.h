#pragma once

#include "sntp/Authentication.h"
#include "sntp/ServerName.h"
#include "sntp/nts/AesSivCmac256.h"
#include "sntp/nts/NtsKeyExchange.h"

#include <memory>
#include <optional>

// Network Time Security (RFC 8915) for the exchange loop: a key exchange over TLS gives keys and
// cookies; each request carries a unique identifier and one cookie under an authenticator, and
// only an answer that opens with the server's key counts. The cookies of the key exchange and
// the fresh one of every authentic answer serve the following requests; a new key exchange
// comes only when none is left or the server refused one (kiss-o'-death NTSN).
class CNtsAuthentication : public CAuthentication
{
public:
    CNtsAuthentication(ServerName server, QueryOptions options)
        : m_server(std::move(server)), m_options(std::move(options))
    {
    }

    // An NtsFactory for programs that link this library.
    static std::unique_ptr<CAuthentication> Create(const ServerName& server,
                                                   const QueryOptions& options);

    bool Prepare(Deadline deadline, Target& target, QueryFailure& failure) override;
    std::vector<uint8_t> Request(const CNtpTimestamp& transmit) override;
    Verdict Judge(const uint8_t* answer, size_t length, AnswerVerdict header,
                  const std::string& kissCode, QueryFailure& failure) override;
    bool Authenticated() const override { return true; }
    size_t MaxAnswerSize() const override;

    // Key exchanges made so far.
    int KeyExchanges() const { return m_keyExchanges; }

private:
    void KeepCookies(std::vector<NtsBytes> cookies);

    ServerName m_server;
    QueryOptions m_options;
    CAesSivCmac256 m_aead;
    std::optional<NtsSession> m_session; // none before the first key exchange and after NTSN
    NtsBytes m_uniqueId;                 // of the request in flight
    int m_keyExchanges = 0;
};
