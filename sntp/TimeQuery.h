#pragma once

#include "sntp/Authentication.h"
#include "sntp/Query.h"

#include <memory>
#include <vector>

// One query: the samples, each one exchange loop that sends, waits, drops what is not sound and
// tries the next address, with the authentication's requests and verdicts. Made and used by one
// thread; nothing of it outlives the query but the result.
class CTimeQuery
{
public:
    CTimeQuery(QueryOptions options, std::unique_ptr<CAuthentication> authentication)
        : m_options(std::move(options)), m_authentication(std::move(authentication))
    {
    }

    QueryResult Run();

private:
    enum class Attempt { Answered, TryNext, Stop };

    bool Sample(Deadline deadline, SntpReply& reply, QueryFailure& failure);
    Attempt Ask(const SocketAddress& address, Deadline deadline, SntpReply& reply,
                QueryFailure& failure);
    CNtpTimestamp TransmitTime() const;
    // The local clock's resolution in seconds, as T1 and T4 are read.
    double LocalResolution() const;

    QueryOptions m_options;
    std::unique_ptr<CAuthentication> m_authentication;
    CAuthentication::Target m_looked{}; // whose addresses these are
    std::vector<SocketAddress> m_addresses;
};
