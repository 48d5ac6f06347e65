#include "app/console/ServerQuery.h"

#include "sntp/ErrorBound.h"

ServerRow QueryServerRow(const std::string& server, const QueryOptions& options)
{
    ServerRow row;
    row.server = server;
    QueryResult result = Query(server, options);
    if (!result.reply) {
        row.failure = std::move(result.failure.reason);
        row.kissCode = std::move(result.failure.kissCode);
        return row;
    }
    row.errorBound = ErrorBound(*result.reply, LocalClockPrecision());
    row.reply = std::move(result.reply);
    return row;
}
