#pragma once

#include "app/console/ServerRow.h"
#include "sntp/NtsQuery.h"
#include "sntp/SntpClient.h"

#include <string>

// How the console's queries are made: the engine's options, the port (123 but in tests) and the
// way nts:// servers are asked (the module's unless given).
struct ServerQuerySettings {
    QueryOptions options{};
    unsigned port = 0;
    NtsQuery ntsQuery = nullptr;
};

// One query of server through the engine, on the calling thread, with an engine object of its
// own, so that several may run at once. The one place the console meets the engine's entry.
ServerRow QueryServerRow(const std::string& server, const ServerQuerySettings& settings);
