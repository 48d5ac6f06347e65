#pragma once

#include "app/console/ServerRow.h"
#include "sntp/Query.h"

#include <string>

// One query of server through the engine, on the calling thread and with a query of its own, so
// that several may run at once. The one place the console's compare meets the engine's entry.
ServerRow QueryServerRow(const std::string& server, const QueryOptions& options);
