#include "sntp/Query.h"

#include "sntp/NtsModule.h"
#include "sntp/PlainAuthentication.h"
#include "sntp/ServerName.h"
#include "sntp/TimeQuery.h"

#include <cerrno>

QueryResult Query(const std::string& server, const QueryOptions& options)
{
    QueryResult result;
    const std::optional<ServerName> name = ParseServerName(server, options.port);
    if (!name) {
        result.failure = {FailureKind::BadServer, EINVAL, "malformed server name " + server, {}};
        return result;
    }
    std::unique_ptr<CAuthentication> authentication;
    if (!name->nts) {
        authentication =
            std::make_unique<CPlainAuthentication>(CAuthentication::Target{name->host, name->port});
    } else if (options.nts) {
        authentication = options.nts(*name, options);
    } else {
        authentication = NtsModule::Create(*name, options, result.failure);
    }
    if (!authentication) {
        return result;
    }
    return CTimeQuery(options, std::move(authentication)).Run();
}
