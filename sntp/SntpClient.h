#pragma once

#include "sntp/Query.h"
#include "sntp/SntpReply.h"

#include <string>

// A caller of Query that keeps the last result, for callers that ask one server at a time and
// want the reply filled in place. Like the query itself, it belongs to one thread.
class CSntpClient
{
public:
    // One query of server (see Query) with the client's options on port (plain servers). True
    // fills reply; false leaves it as it was, with the reason in FailureReason() and the errno
    // code as the thread's last error.
    bool QueryServer(const std::string& server, SntpReply& reply, unsigned port);

    void SetOptions(QueryOptions options) { m_options = std::move(options); }
    const QueryOptions& Options() const { return m_options; }

    const QueryResult& LastResult() const { return m_last; }
    // Why the last query failed; empty after a success.
    const std::string& FailureReason() const { return m_last.failure.reason; }
    // The four-letter code of the kiss-o'-death that ended the last query, empty when none.
    const std::string& KissCode() const { return m_last.failure.kissCode; }

private:
    QueryOptions m_options;
    QueryResult m_last;
};
