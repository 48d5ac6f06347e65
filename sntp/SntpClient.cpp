#include "sntp/SntpClient.h"

#include "platform/LastError.h"

bool CSntpClient::QueryServer(const std::string& server, SntpReply& reply, unsigned port)
{
    QueryOptions options = m_options;
    options.port = static_cast<uint16_t>(port);
    m_last = Query(server, options);
    if (!m_last.reply) {
        SetLastError(m_last.failure.error);
        return false;
    }
    reply = *m_last.reply;
    return true;
}
