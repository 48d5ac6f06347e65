#include "app/console/ServerQuery.h"

#include "sntp/ErrorBound.h"

ServerRow QueryServerRow(const std::string& server, const ServerQuerySettings& settings)
{
    ServerRow row;
    row.server = server;
    CSntpClient client;
    client.SetOptions(settings.options);
    if (settings.ntsQuery != nullptr) {
        client.SetNtsQuery(settings.ntsQuery);
    }
    SntpReply reply;
    if (!client.QueryServer(server, reply, settings.port)) {
        row.failure = client.FailureReason();
        row.kissCode = client.KissCode();
        return row;
    }
    row.errorBound = ErrorBound(reply, LocalClockPrecision());
    row.reply = reply;
    return row;
}
