#pragma once

#include "app/console/ServerQuery.h"
#include "app/console/ServerRow.h"

#include <string>
#include <vector>

// Asks several servers at once: one thread and one engine object per server, all started
// together with the same timeout, so the whole takes as long as the slowest server, not the sum.
class CompareRun
{
public:
    // One row per server, in the order given. Each thread writes only its own row.
    static std::vector<ServerRow> AskAll(const std::vector<std::string>& servers,
                                         const QueryOptions& options);
};
